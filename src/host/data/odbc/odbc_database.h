// The SQL Server backend, through the ODBC C API (unixODBC with FreeTDS on Linux).
#pragma once

#include <memory>
#include <string>

#include "module/common/database.h"

namespace zodadovez {

// Statements are sent to the server unchanged. Writable recordsets become parameterised
// INSERT or UPDATE statements by the table's primary key (read from the server's metadata),
// prepared once per table and column set.
class OdbcDatabase : public Database {
 public:
  // Throws DataError naming the server (never the password) when the connection fails.
  explicit OdbcDatabase(const std::string& connection_string);
  ~OdbcDatabase() override;

  std::int64_t execute(std::string_view sql) override;
  Recordset open(std::string_view sql) override;
  std::string server_name() override;
  std::string dbms_version() override;
  std::string date_text(DateTime value) const override;
  std::optional<std::int64_t> insert_row(const RowWrite& write) override;
  std::int64_t update_row(const RowWrite& write) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zodadovez
