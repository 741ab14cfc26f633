// The run history ZEV99_RESULT: creation, the run row, the listing and the proposed date.
#pragma once

#include <string>

#include "module/common/database.h"
#include "module/config/configurazioni.h"

namespace zodadovez {

class ImportRun;

// GRID_RESULT: key field "ZEV99_ID".
inline constexpr GridColumn kHistoryGrid[] = {
    {"ZEV99_DITTA_CG18", "Azienda", 780},
    {"ZEV99_DATA_WORK", "Data Elabor.", 1185},
    {"ZEV99_DATA_INIZIO", "Data Inizio Doc.", 1305},
    {"ZEV99_DATA_FINE", "Data Fine Doc.", 1200},
    {"ZEV99_IDRICEVUTA", "IDRicevuta", 1020},
    {"ZEV99_TOTREC", "Totale doc.", 1140},
    {"ZEV99_TOTIMP", "Doc. Importati", 1140},
    {"ZEV99_NUMERR", "Doc. Scartati", 1080},
    {"DESCTIPO", "Tipo Elab.", 1514},
};

// Creates ZEV99_RESULT when EsisteTabella says it is missing.
void CreaTabellaStorico(ImportRun& run);
// Writes (first call of a run) or updates (later calls) the run's row.
void ScriviStorico(ImportRun& run);
// Lists the company's history (closed when there is none) and proposes the start date of the
// next "Normale" run (run.last_imported_date); the window shows both.
Recordset ListaStorico(ImportRun& run);
// The proposed start date as TXT_DATA_INI shows it (dd/mm/yyyy).
std::string ProposedStartText(const Value& proposed);

}  // namespace zodadovez
