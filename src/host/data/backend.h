// Opens the ERP database named by a connection URI: "sqlite:PATH", or "sqlserver:ODBC-STRING"
// and its synonym "odbc:ODBC-STRING" (SQL Server, or SQLite files through SQLite's ODBC driver:
// "odbc:Driver=SQLite3;Database=PATH").
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/sqlite/sqlite_dialect.h"
#include "module/common/database.h"

namespace zodadovez {

// Throws ConfigError for an unknown scheme or a missing database file, DataError when the
// server refuses the connection (naming the server, never the password). `gyms` says how gym
// databases that are SQLite files are attached, by the embedded backend or through SQLite's
// ODBC driver (a server's own permissions govern its databases).
std::unique_ptr<Database> OpenDatabase(std::string_view uri, GymAccess gyms = GymAccess::kReadOnly);

// Creates the stand-in ERP schema and an empty gym database `gym_name` with the gym schema.
// Embedded: the ERP file (which must not exist yet) and "<gym_name>.db" beside it; on failure
// both files are removed again. SQL Server: the same DDL in the connection's database, then the
// stand-in procedures SPMG_ESPLKIT and SPCO_AGGIORNA_ANAG_FROM_CG16, and the gym database,
// created when missing. Throws ConfigError or DataError.
void InitDatabases(std::string_view uri, const std::string& gym_name);

// Creates in an existing ERP database what the import needs besides the ERP's own tables: the
// module's configuration tables (ZevSchema()) and, when missing, the stand-in host's settings
// table HOST_SETTINGS. Returns the tables created. Throws ConfigError, creating nothing, when a
// configuration table exists already; DataError when the database refuses.
std::vector<std::string> InstallModuleTables(std::string_view uri);

// Runs a T-SQL script batch by batch (batches end at "GO" lines). Throws DataError naming the
// batch's number and first line.
void RunScript(Database& db, std::string_view script);

}  // namespace zodadovez
