// zodadovez sql: runs T-SQL on the ERP database and prints the rows as TSV.
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

int RunSql(const SqlCommand& command) {
  std::string script = command.text;
  if (!command.file.empty()) {
    std::ifstream in(command.file, std::ios::binary);
    if (!in) throw ConfigError(fmt::format("cannot read the file {}", command.file));
    std::stringstream buffer;
    buffer << in.rdbuf();
    script = buffer.str();
  }
  if (script.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw ConfigError("no SQL given: pass the statement as text or --file F");
  }
  std::unique_ptr<Database> db = OpenDatabase(command.erp);
  auto* embedded = dynamic_cast<SqliteDatabase*>(db.get());
  if (command.show_translation && embedded == nullptr) {
    throw ConfigError("--show-translation needs the embedded backend (sqlite:PATH)");
  }
  for (const std::string& batch : bridge::SplitBatches(script)) {
    if (command.show_translation) fmt::print("{}", embedded->ShowTranslation(batch));
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
}

}  // namespace zodadovez::cli
