// Kits: the check of kit bills before the receipt loop, and the expansion of kit rows.
#pragma once

#include <cstdint>
#include <string>

#include "module/common/value.h"

namespace zodadovez {

class FRMZEV_ZODADOVEZ;
class Recordset;

// Lists in #TempKit the receipts that sell a kit without a bill, so that the selection holds
// them back; sets the abort flag when the check itself fails.
void Check_KIT(FRMZEV_ZODADOVEZ& w);
// The kit test of a row: sets the kit article flag and the components of `quantity` kits.
void TestKit(FRMZEV_ZODADOVEZ& w, const std::string& article, double quantity);
// Adds the component rows of the current kit row to the host document object.
void GeneraRigheDocKit(FRMZEV_ZODADOVEZ& w);

}  // namespace zodadovez
