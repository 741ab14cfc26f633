// Ledger accounts: the revenue account of a document row and the journal fix "Aggiorna Rec.
// Coge" of a saved document's accounting movements.
#include "module/masterdata/conti.h"

#include <fmt/format.h>

#include <exception>
#include <string>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/engine/import_run.h"
#include "module/engine/reports.h"

namespace zodadovez {
namespace {

// The platform's "no current record", raised when a mapping row is read that is not there.
constexpr long kNoCurrentRecord = 3021;

std::string Text(const Value& value) { return Nz(value).ToText(); }

// The company's chart-of-accounts group as a number.
Decimal ChartGroup(const ImportRun& run) {
  const std::string& group = run.company_parameters.chart_group;
  Decimal number;
  if (!Decimal::TryParse(group, &number)) {
    throw ConversionError("CG24_TABPDC: the chart-of-accounts group \"" + group +
                          "\" is not a number");
  }
  return number;
}

// CG24_GRUPPO_CG10 is a text column holding the group's number. Compared with a bare number on
// SQL Server, every code of the table would be converted, and one that is not a number would
// make the statement fail; so the codes are compared here, as the server would convert them: a
// whole number with blanks around it and an optional sign ("05" is group 5, "AB" no group).
bool SameGroup(const Value& code, const Decimal& group) {
  std::string text = RTrimNz(code);
  text.erase(0, text.find_first_not_of(' '));
  if (text.empty() || text.find_first_not_of("+-0123456789") != std::string::npos) return false;
  Decimal number;
  return Decimal::TryParse(text, &number) && number == group;
}

}  // namespace

std::string Controlla_CPMerce(ImportRun& run, std::string& category, std::string& centre) {
  try {
    const std::int16_t type = run.document.company.account_type;
    if (type < 1 || type > 4) return {};
    // Types 1 and 3 post by revenue centre, 2 and 4 by its category; 3 and 4 translate the
    // gym's code through the configuration's mapping, 1 and 2 take it as the account itself.
    const std::string& gym_code = (type == 1 || type == 3) ? centre : category;
    const bool mapped = type >= 3;

    std::string account = gym_code;
    if (mapped) {
      Recordset map = run.db().open(fmt::format(
          "SELECT ZEV05_CONTO_CG24 FROM ZEV05_CPMERCE WITH (NOLOCK) WHERE ZEV05_DITTA_CG18 = {} "
          "AND ZEV05_IDPARAM_ZEV90 = {} AND ZEV05_AZIENDA = {} AND ZEV05_CONTO_GYM = {}",
          run.company, run.state.configuration_id, run.document.gym_company, SqlQuote(gym_code)));
      if (map.eof()) {
        throw DataError(
            fmt::format("ZEV05_CPMERCE: no account mapped for the gym code \"{}\"", gym_code),
            kNoCurrentRecord);
      }
      account = Text(map["ZEV05_CONTO_CG24"]);
    }

    const Decimal group = ChartGroup(run);
    Recordset found = run.db().open(
        "SELECT CG24_GRUPPO_CG10 FROM CG24_TABPDC WITH (NOLOCK) WHERE "
        "CG24_CONTO = " +
        SqlQuote(Text(Value(account))));
    for (; !found.eof(); found.move_next()) {
      if (SameGroup(found["CG24_GRUPPO_CG10"], group)) return account;
    }

    // The row is still written, without account: the results file says which code lacks one.
    run.state.result_text = "Contropartita non codificata = " + Text(Value(gym_code));
    if (mapped) run.state.result_text += " / " + account;
    ScriviRisultato(run);
    return {};
  } catch (const std::exception& e) {
    run.RecordError("Controlla_CPMerce", e);
    return {};
  }
}

void AggiornaRecCoge(ImportRun& run, std::string& registration_number) {
  run.document.journal_fix_status = 0;
  try {
    // The ERP posts the receipt's payment against its default counterpart; a gym receipt is
    // cashed at the till, so those movements belong on the gym company's cash account.
    run.db().execute(
        " UPDATE CG42_MOVCONT  SET CG42_CONTOPAR_CG24 = " +
        SqlQuote(Text(Value(run.document.cash_account))) +
        " FROM CG42_MOVCONT  INNER JOIN CG41_PRIMANOTA   ON CG41_DITTA_CG18 = CG42_DITTA_CG18  "
        "AND CG41_RIFFIGLIA = CG42_NUMREG_CG41  WHERE CG41_DITTA_CG18 = " +
        std::to_string(run.company) + " AND CG41_NUMREG = " +
        SqlQuote(Text(Value(registration_number))) + " AND CG42_CONTOPAR_CG24 = " +
        SqlQuote(Text(Value(run.company_parameters.counterpart_account))) + "  ");
  } catch (const std::exception& e) {
    run.document.journal_fix_status = 99;
    run.RecordError("Aggiorna Rec. Coge", e);
  }
}

}  // namespace zodadovez
