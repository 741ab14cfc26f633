// The stand-in schemas, T-SQL scripts compiled into the binary (batches separated by GO).
#pragma once

#include <string_view>

namespace zodadovez {

// Every ERP table and column the module reads or writes, with keys and lookup indexes.
std::string_view ErpSchema();
// Every gym table and column the module's statements read.
std::string_view GymSchema();
// The stand-in ERP procedures SPMG_ESPLKIT and SPCO_AGGIORNA_ANAG_FROM_CG16 in T-SQL, for a
// SQL Server (the embedded backend runs their C++ twins instead).
std::string_view ProceduresSchema();
// The module's configuration tables ZEV90_PARAMETRI ... ZEV05_CPMERCE, as in ErpSchema(), for
// an ERP database that lacks them.
std::string_view ZevSchema();

}  // namespace zodadovez
