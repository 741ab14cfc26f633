// VAT codes of the document rows: the gym's VAT code of a receipt row turned into an ERP VAT
// code (CG28_TABCODIVA), created when the ERP lacks it.
#pragma once

#include <string>

#include "module/common/value.h"

namespace zodadovez {

class ImportRun;

// Sets run.document.row.vat_code from the row's gym VAT code (`gym_code`, Nz(CodIva, "")) and
// VAT description (Nz(IvaDescrizione, "")). A row without description takes the run's default
// VAT code; a code the ERP lacks is looked up in the gym's RicevuteIva, else the company's
// default VAT code is used, and the chosen code is added to CG28_TABCODIVA when missing.
// On an error the anomaly is recorded under "TrovaIva" and the code stays as reached (empty
// unless the first lookup found it).
void TrovaIva(ImportRun& run, const Value& gym_code, std::string& description);

}  // namespace zodadovez
