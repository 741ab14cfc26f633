// Kits: the check of kit bills before the receipt loop, and the expansion of kit rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "module/common/value.h"

namespace zodadovez {

class ImportRun;
class Recordset;

// Lists in #TempKit the receipts sold since the last import that sell a kit product without a
// kit bill, so that the selection holds them back, and reports each in the results file. Sets
// run.state.abort to 99 when a receipt cannot be listed; other errors are recorded under
// "Check_KIT".
void Check_KIT(ImportRun& run);
// The kit test of the current row: explodes `quantity` kits of `article` through SPMG_ESPLKIT
// into run.document.row.kit_components and sets run.document.row.kit_article when there is at
// least one component. Errors propagate to the receipt document procedure.
void TestKit(ImportRun& run, const std::string& article, double quantity);
// Adds one row per component of the current kit row to the host document object, after the
// confirmed kit row: article, description, deposit, quantity, the bill's cost as price, and
// the kit row's VAT code. Errors are recorded under "GeneraRigheDocKit -- > ".
void GeneraRigheDocKit(ImportRun& run);

// The pieces of Check_KIT and GeneraRigheDocKit.

// (Re)creates #TempKit and sets run.state.kit_table. A failure drops the table again and leaves
// the flag false; it records no anomaly.
void PreparaTempKit(ImportRun& run);
// The CREATE TABLE of #TempKit for a server whose "DBMS Version" is `dbms_version`: servers
// after version 7 get the database's collation on the text columns.
std::string TempKitDdl(std::string_view dbms_version);
// Adds the Check_KIT row on which `receipt` stands (IDRICEVUTA, CODICE, DESCRIZIONE, TIPO) to
// #TempKit, preparing the table first when needed. A failure sets run.state.abort to 99 and records
// no anomaly.
void InserisciTempKit(ImportRun& run, const Recordset& receipt);
// True when the company has a kit bill (PD95_DISBA of type 50) for the article. Errors
// propagate.
bool EsisteDistintaKit(ImportRun& run, const std::string& article);
// PD96_COSTODB of the bill link; 0 when the link is missing or has no cost. Errors propagate.
double CostoComponente(ImportRun& run, const Value& bill_id, const Value& link_id);

}  // namespace zodadovez
