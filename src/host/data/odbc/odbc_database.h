// The SQL Server backend, through the ODBC C API (unixODBC with FreeTDS on Linux).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "host/data/odbc/odbc_retry.h"
#include "host/data/sqlite/sqlite_dialect.h"
#include "host/data/statement_log.h"
#include "module/common/database.h"

namespace zodadovez {

// Through SQLite's ODBC driver (the driver reports DBMS "SQLite"), the connection stands for the
// embedded backend on the same files: each statement goes through the same T-SQL bridge before
// the driver sees it, the ERP's text collation comes from the extension zodadovez_sqlite_ext
// (loaded by the driver), gym databases are attached as the embedded backend attaches them
// (read-only unless `gyms` says otherwise), ERP procedures are the registered stand-ins, values
// are stored and read back as that backend stores and reads them, transaction statements keep
// SQL Server's count as that backend keeps it (sqlite::Transactions), and locks are that
// backend's lock files beside the ERP file (sqlite::FileLocks).
//
// Otherwise (SQL Server) statements are sent to the server unchanged. Writable recordsets become
// parameterised INSERT or UPDATE statements by the table's primary key (read from the server's
// metadata), prepared once per table and column set. DECIMAL and NUMERIC columns read back exactly.
//
// Every refusal throws DataError "while executing "<sql>": <driver message> (SQLSTATE xxxxx)"
// with all the driver's diagnostic records. When the link to the server breaks (SQLSTATE
// 08S01, 08003, 08007) the message says the connection to the server was lost, and every
// later call throws at once: open a new OdbcDatabase to go on. The connection is not opened
// again behind the caller's back: its temporary tables and its transaction are gone with it.
//
// Tried again, within the limits of ConnectOptions: opening the connection, on a transient
// failure (odbc::IsTransientConnectFailure), and a read (odbc::IsRetryableRead) outside any
// transaction that failed for a passing reason (odbc::IsTransientStatementFailure). Nothing
// that writes is ever sent twice.
class OdbcDatabase : public Database, public KeyedTables {
 public:
  // Connects with an ODBC connection string, for example
  // "Driver={FreeTDS};Server=host;Port=1433;Database=ERP;UID=u;PWD=p;TDS_Version=7.4", or
  // "Driver=SQLite3;Database=/path/erp.db" (the extension, a busy timeout, WAL and NoCreat=1
  // are added unless the string sets them; throws ConfigError for a missing file).
  // Throws DataError naming the server (never the password) when the connection fails, after
  // the last try when the failure was transient. `gyms` matters on SQLite's driver only.
  explicit OdbcDatabase(const std::string& connection_string, odbc::ConnectOptions options = {},
                        GymAccess gyms = GymAccess::kReadOnly);
  ~OdbcDatabase() override;

  // Consumes every result, so that a batch or a procedure that prints or returns rows leaves
  // the connection free. Returns the count of the last statement that reported one.
  std::int64_t execute(std::string_view sql) override;
  Recordset open(std::string_view sql) override;
  std::string server_name() override;
  std::string dbms_version() override;
  std::string date_text(DateTime value) const override;
  // Texts assigned to numeric or date columns convert as the platform converts them (the
  // Italian forms); decimals are bound at the column's precision and scale.
  std::optional<std::int64_t> insert_row(const RowWrite& write) override;
  std::int64_t update_row(const RowWrite& write) override;
  // sp_getapplock with @LockOwner = 'Session': the lock outlives transactions and ends with the
  // session. Waits in the server, up to `wait`. On SQLite's driver, the lock file beside the
  // ERP file, as the embedded backend locks.
  bool AcquireLock(std::string_view resource, std::chrono::milliseconds wait) override;
  void ReleaseLock(std::string_view resource) override;
  std::vector<std::string> PrimaryKey(const std::string& table) override;

  // SQLite's driver: registers the stand-in for a stored procedure (name compared ignoring
  // case). Unused on SQL Server, whose own procedures run.
  void RegisterProcedure(const std::string& name, sqlite::StandInProcedure procedure);
  // True when the driver is SQLite's.
  bool is_sqlite() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zodadovez
