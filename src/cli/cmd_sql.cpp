// zodadovez sql: runs T-SQL on the ERP database and prints the rows as TSV.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "host/data/backend.h"
#include "host/data/sqlite/sqlite_database.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "host/data/tsv.h"
#include "module/common/errors.h"

namespace zodadovez::cli {
namespace {

void PrintRows(Recordset& rs) {
  std::string line;
  for (std::size_t i = 0; i < rs.fields().size(); ++i) {
    line += (i == 0 ? "" : "\t") + rs.fields()[i].name;
  }
  fmt::print("{}\n", line);
  for (rs.move_first(); !rs.eof(); rs.move_next()) fmt::print("{}\n", FormatTsvRow(rs));
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
