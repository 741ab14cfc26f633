// Payment terms of the documents: the gym payment type id is the ERP payment terms code
// (CG62_CONDPAGDES with instalment 1 in CG63_CONDPAGDET), created when missing, and the test
// for an instalment of effect type 1 that decides the journal fix.
#pragma once

#include <string>

#include "module/common/value.h"

namespace zodadovez {

class FRMZEV_ZODADOVEZ;

// Sets w.document.effect_type and effect_subtype from the ZEV04_TIPOPAG row of the gym payment
// type; 1 and 1 when there is no row, a column is null, or the type is not a number. Errors
// end it quietly, without an anomaly.
void Trova_TipoEffetto(FRMZEV_ZODADOVEZ& w, const Value& gym_payment_type);

// Makes sure payment terms w.document.payment_code exist: the header (described by
// w.document.payment_description) and instalment 1 of 100 % of amount and VAT at 0 days, with
// the effect type and subtype of Trova_TipoEffetto. Existing rows are never changed. Errors end
// it quietly, leaving what was already written.
void ScrivoCondPag(FRMZEV_ZODADOVEZ& w);

// Sets w.document.effect_type1 to 1 when the terms `payment_code` have an instalment of effect
// type 1, else 0 (also on an error, which ends it quietly).
void Verifica_TipoEff(FRMZEV_ZODADOVEZ& w, std::string& payment_code);

}  // namespace zodadovez
