// Payment terms of the documents: the gym payment type id is the ERP payment terms code
// (CG62_CONDPAGDES with instalment 1 in CG63_CONDPAGDET), created when missing, and the test
// for an instalment of effect type 1 that decides the journal fix.
#pragma once

#include <string>

#include "module/common/value.h"

namespace zodadovez {

class ImportRun;

// Sets run.document.effect_type and effect_subtype from the ZEV04_TIPOPAG row of the gym payment
// type; 1 and 1 when there is no row, a column is null, or the type is not a number. Errors
// end it quietly, without an anomaly.
void Trova_TipoEffetto(ImportRun& run, const Value& gym_payment_type);

// Makes sure payment terms run.document.payment_code exist: the header (described by
// run.document.payment_description) and instalment 1 of 100 % of amount and VAT at 0 days, with
// the effect type and subtype of Trova_TipoEffetto. Existing rows are never changed. Errors end
// it quietly, leaving what was already written.
void ScrivoCondPag(ImportRun& run);

// Sets run.document.effect_type1 to 1 when the terms `payment_code` have an instalment of effect
// type 1, else 0 (also on an error, which ends it quietly).
void Verifica_TipoEff(ImportRun& run, std::string& payment_code);

}  // namespace zodadovez
