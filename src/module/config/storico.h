// The run history ZEV99_RESULT: creation, the run row, the listing and the proposed date.
#pragma once

#include "module/config/configurazioni.h"

namespace zodadovez {

class FRMZEV_ZODADOVEZ;

// GRID_RESULT: key field "ZEV99_ID".
inline constexpr GridColumn kHistoryGrid[] = {
    {"ZEV99_DITTA_CG18", "Azienda", 780},       {"ZEV99_DATA_WORK", "Data Elabor.", 1185},
    {"ZEV99_DATA_INIZIO", "Data Inizio Doc.", 1305}, {"ZEV99_DATA_FINE", "Data Fine Doc.", 1200},
    {"ZEV99_IDRICEVUTA", "IDRicevuta", 1020},  {"ZEV99_TOTREC", "Totale doc.", 1140},
    {"ZEV99_TOTIMP", "Doc. Importati", 1140},  {"ZEV99_NUMERR", "Doc. Scartati", 1080},
    {"DESCTIPO", "Tipo Elab.", 1514},
};

// Creates ZEV99_RESULT when EsisteTabella says it is missing.
void CreaTabellaStorico(FRMZEV_ZODADOVEZ& w);
// Writes (first call of a run) or updates (later calls) the run's row.
void ScriviStorico(FRMZEV_ZODADOVEZ& w);
// Lists the company's history into the grid and proposes the start date of the next
// "Normale" run (w.last_imported_date and TXT_DATA_INI).
void ListaStorico(FRMZEV_ZODADOVEZ& w);

}  // namespace zodadovez
