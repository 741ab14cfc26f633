// The SQL Server backend, through the ODBC C API (unixODBC with FreeTDS on Linux).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "host/data/odbc/odbc_retry.h"
#include "module/common/database.h"

namespace zodadovez {

// Statements are sent to the server unchanged. Writable recordsets become parameterised
// INSERT or UPDATE statements by the table's primary key (read from the server's metadata),
// prepared once per table and column set. DECIMAL and NUMERIC columns read back exactly.
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
class OdbcDatabase : public Database {
 public:
  // Connects with an ODBC connection string, for example
  // "Driver={FreeTDS};Server=host;Port=1433;Database=ERP;UID=u;PWD=p;TDS_Version=7.4".
  // Throws DataError naming the server (never the password) when the connection fails, after
  // the last try when the failure was transient.
  explicit OdbcDatabase(const std::string& connection_string, odbc::ConnectOptions options = {});
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
  // session. Waits in the server, up to `wait`.
  bool AcquireLock(std::string_view resource, std::chrono::milliseconds wait) override;
  void ReleaseLock(std::string_view resource) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zodadovez
