// The import configurations (ZEV90_PARAMETRI and the tables that refine it).
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class ImportRun;
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

// Lists the company's configurations, every one ticked, into run.configurations (a detached
// copy that the window's grid shares). Errors go the anomaly route.
void ListaConfigurazioni(ImportRun& run);

// The service type code of `kind` (first row), or "" when there is none.
std::string LeggiTipoServizio(ImportRun& run, int kind);

// Reads the service type codes of kinds 4, 2, 3 and 12 into the window, with the defaults
// "I", "T", "V", "U" for the missing ones.
void LeggiTipiServizio(ImportRun& run);

// Loads the ZEV01_AZIENDE row of the gym company into `settings`: the fields that the read
// clears are cleared first; when no row exists the cleared values stand.
void LeggiAzienda(ImportRun& run, std::int64_t gym_company, CompanySettings& settings);

}  // namespace zodadovez
