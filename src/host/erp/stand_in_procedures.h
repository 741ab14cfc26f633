// The ERP's stored procedures that the module calls, as stand-ins for connections to SQLite
// files (the embedded backend, and the ODBC backend on SQLite's driver).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/data/sqlite/sqlite_dialect.h"

namespace zodadovez {

// SPMG_ESPLKIT and SPCO_AGGIORNA_ANAG_FROM_CG16, by name.
std::vector<std::pair<std::string, sqlite::StandInProcedure>> StandInProcedures();

}  // namespace zodadovez
