// zodadovez sql: runs T-SQL on the ERP database and prints the rows as TSV.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "host/data/backend.h"
#include "host/data/sqlite/sqlite_database.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/errors.h"

namespace zodadovez::cli {
namespace {

// One field as TSV: NULL for a database NULL; tabs and line breaks escaped.
std::string Field(const Value& v) {
  std::string s;
  switch (v.kind()) {
    case ValueKind::kEmpty:
      return "";
    case ValueKind::kNull:
      return "NULL";
    case ValueKind::kBool:
      return v.as_bool() ? "1" : "0";
    case ValueKind::kInteger:
      return std::to_string(v.as_integer());
    case ValueKind::kDecimal:
      return v.as_decimal().ToString();
    case ValueKind::kDouble:
      return fmt::format("{}", v.as_double());
    case ValueKind::kDate:
      return FormatIsoDate(v.as_date());
    case ValueKind::kText:
      for (char c : v.as_text()) {
        if (c == '\t') {
          s += "\\t";
        } else if (c == '\n') {
          s += "\\n";
        } else if (c == '\r') {
          s += "\\r";
        } else if (c == '\\') {
          s += "\\\\";
        } else {
          s.push_back(c);
        }
      }
      return s;
  }
  return s;
}

void PrintRows(Recordset& rs) {
  std::string line;
  for (std::size_t i = 0; i < rs.fields().size(); ++i) {
    line += (i == 0 ? "" : "\t") + rs.fields()[i].name;
  }
  fmt::print("{}\n", line);
  for (rs.move_first(); !rs.eof(); rs.move_next()) {
    line.clear();
    for (std::size_t i = 0; i < rs.fields().size(); ++i) {
      line += (i == 0 ? "" : "\t") + Field(rs.at(i));
    }
    fmt::print("{}\n", line);
  }
}

}  // namespace

Action AddSql(CLI::App& app) {
  struct Options {
    std::string erp;
    std::string file;
    std::string text;
    bool show_translation = false;
  };
  auto o = std::make_shared<Options>();
  auto* cmd = app.add_subcommand("sql", "Run T-SQL on the ERP database; rows print as TSV");
  cmd->add_option("--erp", o->erp, "ERP database: sqlite:PATH or sqlserver:CONNECTION-STRING")
      ->envname("ZODADOVEZ_ERP")
      ->required();
  auto* file = cmd->add_option("--file", o->file, "A file of T-SQL batches separated by GO lines");
  auto* text = cmd->add_option("text", o->text, "The T-SQL to run");
  file->excludes(text);
  cmd->add_flag("--show-translation", o->show_translation,
                "Print the SQLite text each statement becomes (embedded backend)");
  return [o] {
    std::string script = o->text;
    if (!o->file.empty()) {
      std::ifstream in(o->file, std::ios::binary);
      if (!in) throw ConfigError(fmt::format("cannot read the file {}", o->file));
      std::stringstream buffer;
      buffer << in.rdbuf();
      script = buffer.str();
    }
    if (script.find_first_not_of(" \t\r\n") == std::string::npos) {
      throw ConfigError("no SQL given: pass the statement as text or --file F");
    }
    std::unique_ptr<Database> db = OpenDatabase(o->erp);
    auto* embedded = dynamic_cast<SqliteDatabase*>(db.get());
    if (o->show_translation && embedded == nullptr) {
      throw ConfigError("--show-translation needs the embedded backend (sqlite:PATH)");
    }
    for (const std::string& batch : bridge::SplitBatches(script)) {
      if (o->show_translation) fmt::print("{}", embedded->ShowTranslation(batch));
      Recordset rs;
      try {
        rs = db->open(batch);
      } catch (const TranslateError&) {
        throw;
      } catch (const DataError& e) {
        // The statement was refused: bad input, not a failure to run.
        throw ConfigError(e.what());
      }
      if (rs.is_open()) PrintRows(rs);
    }
    return kExitOk;
  };
}

}  // namespace zodadovez::cli
