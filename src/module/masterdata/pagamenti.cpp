// Payment terms: the gym payment type's effect type, the terms made from it, and the test for
// an instalment of effect type 1.
#include "module/masterdata/pagamenti.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <string>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// The gym payment type as the bare number ZEV04_TIPOPAG_GYM is compared with. Terms codes that
// come from the company or document settings need not be numbers: those match no gym payment
// type, and the lookup fails with a ConversionError instead of a statement the server refuses.
std::string GymPaymentType(const Value& value) {
  if (value.is_number()) return value.ToDecimal().ToString();
  Decimal number;
  if (value.is_text() && Decimal::TryParse(value.as_text(), &number)) return number.ToString();
  throw ConversionError("ZEV04_TIPOPAG: the gym payment type " + value.Describe() +
                        " is not a number");
}

std::int16_t SmallInt(const Value& value) {
  std::int64_t n = NzDec(value).ToInteger();
  if (n < std::numeric_limits<std::int16_t>::min() ||
      n > std::numeric_limits<std::int16_t>::max()) {
    throw ArithmeticError("ZEV04_TIPOPAG: effect type " + value.Describe() + " out of range",
                          ArithmeticError::kOverflow);
  }
  return static_cast<std::int16_t>(n);
}

}  // namespace

void Trova_TipoEffetto(ImportRun& run, const Value& gym_payment_type) {
  DocumentContext& d = run.document;
  d.effect_type = 1;
  d.effect_subtype = 1;
  try {
    Recordset rs =
        run.db().open("SELECT * FROM ZEV04_TIPOPAG WITH (NOLOCK) WHERE ZEV04_TIPOPAG_GYM = " +
                    GymPaymentType(gym_payment_type));
    if (rs.eof()) return;
    if (!rs["ZEV04_TIPOEFF_VT"].is_null()) d.effect_type = SmallInt(rs["ZEV04_TIPOEFF_VT"]);
    if (!rs["ZEV04_SOTTOTIPO"].is_null()) d.effect_subtype = SmallInt(rs["ZEV04_SOTTOTIPO"]);
  } catch (const std::exception&) {
    // A payment type without a usable mapping is paid as effect type 1, subtype 1: not an
    // anomaly of the import.
  }
}

void ScrivoCondPag(ImportRun& run) {
  DocumentContext& d = run.document;
  try {
    Trova_TipoEffetto(run, Value(d.payment_code));

    WritableRecordset header = run.db().open_for_insert(
        "SELECT TOP 1 * FROM CG62_CONDPAGDES WHERE CG62_CODPAG = " + SqlQuote(d.payment_code));
    if (header.eof()) {
      header.add_new();
      header.set("CG62_CODPAG", d.payment_code);
      header.set("CG62_FLGDESC", 0);
      header.set("CG62_DESCPAG", d.payment_description);
      header.update_batch();
    }

    // Only instalment 1 is looked at: terms that already have it are the ERP's to keep.
    WritableRecordset instalment = run.db().open_for_insert(
        "SELECT TOP 1 * FROM CG63_CONDPAGDET WHERE CG63_CODPAG_CG62 = " + SqlQuote(d.payment_code) +
        " AND CG63_PROG = 1");
    if (instalment.eof()) {
      instalment.add_new();
      instalment.set("CG63_CODPAG_CG62", d.payment_code);
      instalment.set("CG63_PROG", 1);
      instalment.set("CG63_TIPOEFF", NzDec(Value(d.effect_type)));
      instalment.set("CG63_STIPOEFF", NzDec(Value(d.effect_subtype)));
      instalment.set("CG63_GGDECOR", 0);
      instalment.set("CG63_INDDATARIF", 1);
      instalment.set("CG63_FLGFRPERCIMP", 1);
      instalment.set("CG63_PERCIMP", 100);
      instalment.set("CG63_FLGFRPERCIVA", 1);
      instalment.set("CG63_PERCIVA", 100);
      instalment.set("CG63_INDIMPFIX", 0);
      instalment.set("CG63_INDTIPODECOR", 0);
      instalment.update_batch();
    }
  } catch (const std::exception&) {
    // The document names the terms all the same; what could not be written is left to the ERP
    // user, without an anomaly.
  }
}

void Verifica_TipoEff(ImportRun& run, std::string& payment_code) {
  run.document.effect_type1 = 0;
  try {
    Recordset rs = run.db().open(
        "SELECT CG63_TIPOEFF FROM CG63_CONDPAGDET WITH (NOLOCK) WHERE CG63_CODPAG_CG62 = " +
        SqlQuote(Nz(Value(payment_code)).ToText()) + " AND CG63_TIPOEFF = 1");
    if (!rs.eof()) run.document.effect_type1 = 1;
  } catch (const std::exception&) {
    // No answer means no journal fix: the document stays as the ERP saved it.
  }
}

}  // namespace zodadovez
