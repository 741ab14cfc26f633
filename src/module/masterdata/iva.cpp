// TrovaIva: the ERP VAT code of a receipt row, and the CG28_TABCODIVA row it needs.
#include "module/masterdata/iva.h"

#include <exception>
#include <string>

#include "module/common/database.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/engine/reports.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// Nz(value, "") as text: "" for Empty, Null and blanks, else the value's own text.
std::string Text(const Value& value) { return Nz(value).ToText(); }

// The columns of a new VAT code that start at 0, in the order they are assigned.
constexpr const char* kZeroFlags[] = {"CG28_FLGINDET",   "CG28_CODPLAFOND",    "CG28_FLGCORRVENT",
                                      "CG28_FLGSOSPIMP", "CG28_FLGNOTVAR",     "CG28_FLGALLCLIFOR",
                                      "CG28_FLGIVAEDIT", "CG28_INDTIPOPART",   "CG28_FLGAUTOUE",
                                      "CG28_FLGAGRI",    "CG28_FLGMONOFASERSM"};

std::string SelectVatCode(const std::string& code) {
  return "SELECT TOP 1 * FROM CG28_TABCODIVA WHERE CG28_CODICE = " + SqlQuote(code);
}

}  // namespace

void TrovaIva(ImportRun& run, const Value& gym_code, std::string& description) {
  std::string& vat_code = run.document.row.vat_code;
  vat_code.clear();
  try {
    std::string code = Text(gym_code);
    const bool has_description = !Text(Value(description)).empty();
    // A row without VAT description cannot tell which gym entry its rate belongs to: the
    // configuration's default code stands for it.
    if (!has_description) code = run.state.default_vat_code;

    {
      Recordset found = run.db().open(SelectVatCode(Text(Value(code))));
      if (!found.eof()) vat_code = Text(found["CG28_CODICE"]);
    }
    if (!vat_code.empty()) return;

    // The ERP lacks the code: ask the gym's VAT table. A described row is taken as exempt of
    // that description; an undescribed one by its rate, which the gym code expresses.
    std::string condition = has_description
                                ? " Descrizione = " + SqlQuote(description) + " AND  Iva = 0"
                                : " Iva = " + NzDec(gym_code).ToDecimal().ToString();
    {
      Recordset gym = run.db().open("SELECT TOP 1 * FROM " + run.state.gym_database +
                                  ".dbo.RicevuteIva WITH (NOLOCK) WHERE " + condition);
      code = !gym.eof() ? Text(gym["CodiceIva"]) : run.company_parameters.default_vat_code;
    }

    WritableRecordset rs = run.db().open_for_insert(SelectVatCode(code));
    if (Text(gym_code).empty()) {
      // The line names only the code used: the gym row had no code of its own to name.
      run.state.result_text = std::string("Iva non codificata = ") + " Utilizzato Codice " + code;
      ScriviRisultato(run);
    }
    if (rs.eof()) {
      // A non-zero gym code is a rate in percent: the code is created taxable at that rate;
      // otherwise it is an exemption named after the row's description.
      const Decimal rate = NzDec(gym_code).ToDecimal();
      rs.add_new();
      rs.set("CG28_CODICE", code);
      if (!rate.is_zero()) {
        rs.set("CG28_DESCR", "Aliquota IVA " + Text(gym_code));
        rs.set("CG28_TIPOLOGIA", 1);
        rs.set("CG28_PERCIVA", rate);
      } else {
        rs.set("CG28_DESCR", has_description ? description : std::string("Esente"));
        rs.set("CG28_TIPOLOGIA", 3);
      }
      for (const char* flag : kZeroFlags) rs.set(flag, 0);
      rs.update_batch();
    }
    vat_code = Text(rs["CG28_CODICE"]);
  } catch (const std::exception& e) {
    run.RecordError("TrovaIva", e);
  }
}

}  // namespace zodadovez
