// The import configurations (ZEV90_PARAMETRI and the tables that refine it).
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class FRMZEV_ZODADOVEZ;
struct CompanySettings;

// A column of a host grid: field, caption, width in twips.
struct GridColumn {
  const char* field;
  const char* caption;
  int width;
};

// GRID_IMPORT: key field "ZEV90_ID".
inline constexpr GridColumn kConfigurationGrid[] = {
    {"ZEV90_ID", "Config.", 1514},
    {"ZEV90_DESCR", "Descrizione", 3870},
    {"SELEZIONE", "Selezione", 1514},
};

// Lists the company's configurations, every one ticked, into w.configurations (a detached
// copy) and, unless unattended, into the grid. Errors go the window's error route.
void ListaConfigurazioni(FRMZEV_ZODADOVEZ& w);

// The service type code of `kind` (first row), or "" when there is none.
std::string LeggiTipoServizio(FRMZEV_ZODADOVEZ& w, int kind);

// Reads the service type codes of kinds 4, 2, 3 and 12 into the window, with the defaults
// "I", "T", "V", "U" for the missing ones.
void LeggiTipiServizio(FRMZEV_ZODADOVEZ& w);

// Loads the ZEV01_AZIENDE row of the gym company into `settings`: the fields that the read
// clears are cleared first; when no row exists the cleared values stand.
void LeggiAzienda(FRMZEV_ZODADOVEZ& w, std::int64_t gym_company, CompanySettings& settings);

}  // namespace zodadovez
