// The embedded backend: the ERP database as a SQLite file, T-SQL translated by the bridge.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/data/sqlite/sqlite_dialect.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "host/data/statement_log.h"
#include "module/common/database.h"

struct sqlite3;

namespace zodadovez {

class SqliteDatabase;

// Gym databases named "Palestra" live in "Palestra.db" beside the ERP file; behind linked server
// GYM_3 in "linked/GYM_3/Palestra.db" below the ERP file's folder. Each is attached the first
// time a statement names it, which must be outside a transaction. Dates are stored as text
// "yyyy-mm-dd hh:mm:ss".
//
// The ERP file is in WAL mode with synchronous=NORMAL: a commit costs no flush to disk, and a
// crash of the process or the machine leaves every transaction whole or absent (the last ones
// may be lost on a power cut, never half of one). A writer waits up to five seconds for another.
//
// Transactions behave as on SQL Server (sqlite::Transactions): BEGIN TRANSACTION counts
// (@@TRANCOUNT) and only the outermost begins one, COMMIT really commits at a count of 1,
// ROLLBACK without a savepoint's name rolls everything back, SAVE TRANSACTION sets a savepoint
// that ROLLBACK TRANSACTION <name> returns to. A COMMIT or ROLLBACK with no transaction open is
// an error. A failed statement inside a transaction undoes itself only, as on SQL Server.
//
// Locks (AcquireLock) are advisory locks on the file "<ERP file>.<resource>.lock" beside the
// ERP file (sqlite::FileLocks), held by this connection until released or closed.
class SqliteDatabase : public Database, public KeyedTables {
 public:
  // Opens (or, with `create`, creates) the ERP file. Throws ConfigError naming a missing file.
  SqliteDatabase(const std::filesystem::path& erp_file, bool create,
                 GymAccess gyms = GymAccess::kReadOnly);
  ~SqliteDatabase() override;

  std::int64_t execute(std::string_view sql) override;
  Recordset open(std::string_view sql) override;
  std::string server_name() override;
  std::string dbms_version() override;
  std::string date_text(DateTime value) const override;
  std::optional<std::int64_t> insert_row(const RowWrite& write) override;
  std::int64_t update_row(const RowWrite& write) override;
  bool AcquireLock(std::string_view resource, std::chrono::milliseconds wait) override;
  void ReleaseLock(std::string_view resource) override;
  std::vector<std::string> PrimaryKey(const std::string& table) override;

  // Registers the stand-in for a stored procedure (name compared ignoring case).
  void RegisterProcedure(const std::string& name, sqlite::StandInProcedure procedure);
  // The SQLite text a T-SQL statement becomes (for `zodadovez sql --show-translation`).
  std::string ShowTranslation(std::string_view tsql);
  // Runs SQLite SQL directly, without the bridge (for stand-in procedures and set-up).
  void ExecuteNative(const std::string& sql);
  const std::filesystem::path& erp_file() const { return erp_file_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::filesystem::path erp_file_;
};

}  // namespace zodadovez
