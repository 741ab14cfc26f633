// ERP lookups: currency decimals, net-from-gross rounding, price list, document type defaults.
#include "module/masterdata/lookups.h"

#include <fmt/format.h>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

void CaricaValute(ImportRun& run) {
  CurrencyState& c = run.currency;
  if (c.loaded) c.list.close();
  c.list = run.db().open(
      " SELECT    CG08_CODICE,    CG08_NUMDEC,    MG49_NUMDEC FROM    CG08_TABVALUTE WITH "
      "(NOLOCK) LEFT JOIN MG49_PARMAGAZDEC WITH (NOLOCK) ON    MG49_DITTA_CG18 = " +
      std::to_string(run.company) +
      " AND    MG49_CODICE_CG08 = CG08_CODICE ORDER BY    CG08_CODICE");
  c.loaded = true;
}

}  // namespace

bool Leggi_Decimali(ImportRun& run, const Value& currency) {
  CurrencyState& c = run.currency;
  std::string code = RTrimNz(currency);
  if (code == c.last_code) return true;
  if (!c.loaded) CaricaValute(run);
  std::string criteria = "CG08_CODICE = " + SqlQuote(code);
  c.list.filter(criteria);
  if (c.list.record_count() == 0) {
    // The list may be older than a currency added since: read it once more.
    CaricaValute(run);
    c.list.filter(criteria);
  }
  if (c.list.record_count() == 0) {
    c.amount_decimals = 2;
    c.warehouse_decimals = 2;
    c.last_code.clear();
    return false;
  }
  c.list.move_first();
  c.amount_decimals = static_cast<std::int16_t>(NzDec(c.list["CG08_NUMDEC"]).ToInteger());
  c.warehouse_decimals = static_cast<std::int16_t>(NzDec(c.list["MG49_NUMDEC"]).ToInteger());
  c.last_code = code;
  return true;
}

double Scorporo(ImportRun& run, const Value& amount, const Value& rate,
                const std::string& currency) {
  try {
    Leggi_Decimali(run, Value(currency));
    Decimal divisor = (NzDec(rate).ToDecimal() + Decimal(100)) / Decimal(100);
    double net = (NzDec(amount).ToDecimal() / divisor).ToDouble();
    return RoundDec(net, run.currency.amount_decimals);
  } catch (const std::exception&) {
    return 0;
  }
}

std::int32_t LeggiListino(ImportRun& run) {
  try {
    Recordset rs = run.db().open(
        "SELECT MG44_NUMLIST FROM MG44_PARMAGLIST WITH (NOLOCK) WHERE MG44_DITTA_CG18 = " +
        std::to_string(run.company) + " AND    MG44_FLGVENACQ = 0 ORDER BY MG44_NUMLIST");
    if (rs.eof()) return 0;
    return static_cast<std::int32_t>(NzDec(rs["MG44_NUMLIST"]).ToInteger());
  } catch (const std::exception&) {
    return 0;
  }
}

void LeggiSezioneDefault(ImportRun& run, const std::string& document_type) {
  run.document.section_default.clear();
  try {
    Recordset rs = run.db().open(fmt::format(
        "SELECT TOP 1 MG3G_SEZDEFAULT FROM MG3G_DOCDITTA WITH (NOLOCK) WHERE MG3G_DITTA_CG18 = "
        "{} AND MG3G_CODDOCUM_MG36 = '{}'",
        run.company, SqlEscape(document_type)));
    if (!rs.eof()) run.document.section_default = Nz(rs["MG3G_SEZDEFAULT"], "").ToText();
  } catch (const std::exception&) {
    run.document.section_default.clear();
  }
}

void LeggiTipoDocumento(ImportRun& run) {
  run.no_footer_defaults = false;
  try {
    Recordset rs = run.db().open(fmt::format(
        "SELECT TOP 1 MG36_INDDEFPIE FROM MG36_DOCUMENTI WITH (NOLOCK) WHERE MG36_CODDOCUM = "
        "'{}'",
        SqlEscape(run.state.bound_document_type)));
    if (!rs.eof() && NzDec(rs["MG36_INDDEFPIE"]).ToDecimal().is_zero()) {
      run.no_footer_defaults = true;
    }
  } catch (const std::exception&) {
    run.no_footer_defaults = false;
  }
}

}  // namespace zodadovez

namespace zodadovez {

void CollegaDocumento(ImportRun& run, const std::string& document_type) {
  std::string type = RTrimNz(Value(document_type));
  if (!run.sales_document) {
    run.sales_document = run.host().CreateSalesDocument();
    SalesDocument::Settings settings;
    settings.first_option = true;
    settings.connection = &run.db();
    settings.connection_string = run.host().Globals().ConnectionString();
    settings.company = run.company;
    settings.document_type = document_type;
    run.sales_document->Configure(settings);
    run.sales_document->Start();
    return;
  }
  if (RTrimNz(Value(run.sales_document->document_type())) != type) {
    run.sales_document->End();
    run.sales_document->SetDocumentType(type);
    run.sales_document->Start();
  }
}

void RilasciaDocumento(ImportRun& run) {
  if (!run.sales_document) return;
  run.sales_document->End();
  run.sales_document.reset();
}

}  // namespace zodadovez
