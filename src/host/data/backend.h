// Opens the ERP database named by a connection URI: "sqlite:PATH" or "sqlserver:ODBC-STRING".
#pragma once

#include <memory>
#include <string_view>

#include "module/common/database.h"

namespace zodadovez {

struct OpenOptions {
  // Embedded backend: create the ERP file when missing (init); otherwise a missing file is an
  // error naming it.
  bool create = false;
};

// Throws ConfigError for an unknown scheme or a missing file, DataError when the server
// refuses the connection (naming the server, never the password).
std::unique_ptr<Database> OpenDatabase(std::string_view uri, const OpenOptions& options = {});

}  // namespace zodadovez
