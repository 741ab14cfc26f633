// Ledger accounts of the documents: the revenue account of a row (CG24_TABPDC) from its gym
// revenue centre or category, and the journal fix that moves the counterpart of a saved
// document's accounting movements to the gym company's cash account.
#pragma once

#include <string>

namespace zodadovez {

class ImportRun;

// The revenue account of the row whose revenue category (CPMERCE) and centre (CPMERCECR) are
// given, chosen by run.document.company.account_type: 1 the centre, 2 the category, 3 and 4 the
// same codes mapped through ZEV05_CPMERCE; any other type gives "". An account missing from the
// company's chart of accounts gives "" and a "Contropartita non codificata = " results line.
// Errors (a code without mapping among them) are recorded under "Controlla_CPMerce" and give "".
std::string Controlla_CPMerce(ImportRun& run, std::string& category, std::string& centre);

// "Aggiorna Rec. Coge": in the ledger movements of the registration that the document's
// registration `registration_number` refers to, replaces the host's default counterpart account
// with run.document.cash_account. Sets run.document.journal_fix_status to 0, or to 99 after an
// error, which is recorded under "Aggiorna Rec. Coge".
void AggiornaRecCoge(ImportRun& run, std::string& registration_number);

}  // namespace zodadovez
