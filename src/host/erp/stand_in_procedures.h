// The ERP's stored procedures that the module calls, as the embedded backend's stand-ins.
#pragma once

namespace zodadovez {

class SqliteDatabase;

// Registers SPMG_ESPLKIT and SPCO_AGGIORNA_ANAG_FROM_CG16 on the connection.
void RegisterStandInProcedures(SqliteDatabase& db);

}  // namespace zodadovez
