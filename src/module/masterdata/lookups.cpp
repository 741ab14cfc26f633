// ERP lookups: currency decimals, net-from-gross rounding, price list, document type defaults.
#include "module/masterdata/lookups.h"

#include <fmt/format.h>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/shell/frmzev_zodadovez.h"

namespace zodadovez {
namespace {

void CaricaValute(FRMZEV_ZODADOVEZ& w) {
  CurrencyState& c = w.currency;
  if (c.loaded) c.list.close();
  c.list = w.db().open(
      " SELECT    CG08_CODICE,    CG08_NUMDEC,    MG49_NUMDEC FROM    CG08_TABVALUTE WITH "
      "(NOLOCK) LEFT JOIN MG49_PARMAGAZDEC WITH (NOLOCK) ON    MG49_DITTA_CG18 = " +
      std::to_string(w.company) +
      " AND    MG49_CODICE_CG08 = CG08_CODICE ORDER BY    CG08_CODICE");
  c.loaded = true;
}

}  // namespace

bool Leggi_Decimali(FRMZEV_ZODADOVEZ& w, const Value& currency) {
  CurrencyState& c = w.currency;
  std::string code = RTrimNz(currency);
  if (code == c.last_code) return true;
  if (!c.loaded) CaricaValute(w);
  std::string criteria = "CG08_CODICE = " + SqlQuote(code);
  c.list.filter(criteria);
  if (c.list.record_count() == 0) {
    // The list may be older than a currency added since: read it once more.
    CaricaValute(w);
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

double Scorporo(FRMZEV_ZODADOVEZ& w, const Value& amount, const Value& rate,
                const std::string& currency) {
  try {
    Leggi_Decimali(w, Value(currency));
    Decimal divisor = (NzDec(rate).ToDecimal() + Decimal(100)) / Decimal(100);
    double net = (NzDec(amount).ToDecimal() / divisor).ToDouble();
    return RoundDec(net, w.currency.amount_decimals);
  } catch (const std::exception&) {
    return 0;
  }
}

std::int32_t LeggiListino(FRMZEV_ZODADOVEZ& w) {
  try {
    Recordset rs = w.db().open(
        "SELECT MG44_NUMLIST FROM MG44_PARMAGLIST WITH (NOLOCK) WHERE MG44_DITTA_CG18 = " +
        std::to_string(w.company) + " AND    MG44_FLGVENACQ = 0 ORDER BY MG44_NUMLIST");
    if (rs.eof()) return 0;
    return static_cast<std::int32_t>(NzDec(rs["MG44_NUMLIST"]).ToInteger());
  } catch (const std::exception&) {
    return 0;
  }
}

void LeggiSezioneDefault(FRMZEV_ZODADOVEZ& w, const std::string& document_type) {
  w.document.section_default.clear();
  try {
    Recordset rs = w.db().open(fmt::format(
        "SELECT TOP 1 MG3G_SEZDEFAULT FROM MG3G_DOCDITTA WITH (NOLOCK) WHERE MG3G_DITTA_CG18 = "
        "{} AND MG3G_CODDOCUM_MG36 = '{}'",
        w.company, SqlEscape(document_type)));
    if (!rs.eof()) w.document.section_default = Nz(rs["MG3G_SEZDEFAULT"], "").ToText();
  } catch (const std::exception&) {
    w.document.section_default.clear();
  }
}

void LeggiTipoDocumento(FRMZEV_ZODADOVEZ& w) {
  w.document.no_footer_defaults = false;
  try {
    Recordset rs = w.db().open(fmt::format(
        "SELECT TOP 1 MG36_INDDEFPIE FROM MG36_DOCUMENTI WITH (NOLOCK) WHERE MG36_CODDOCUM = "
        "'{}'",
        SqlEscape(w.run.bound_document_type)));
    if (!rs.eof() && NzDec(rs["MG36_INDDEFPIE"]).ToDecimal().is_zero()) {
      w.document.no_footer_defaults = true;
    }
  } catch (const std::exception&) {
    w.document.no_footer_defaults = false;
  }
}

}  // namespace zodadovez

namespace zodadovez {

void CollegaDocumento(FRMZEV_ZODADOVEZ& w, const std::string& document_type) {
  std::string type = RTrimNz(Value(document_type));
  if (!w.sales_document) {
    w.sales_document = w.host().CreateSalesDocument();
    SalesDocument::Settings settings;
    settings.first_option = true;
    settings.connection = &w.db();
    settings.connection_string = w.host().Globals().ConnectionString();
    settings.company = w.company;
    settings.document_type = document_type;
    w.sales_document->Configure(settings);
    w.sales_document->Start();
    return;
  }
  if (RTrimNz(Value(w.sales_document->document_type())) != type) {
    w.sales_document->End();
    w.sales_document->SetDocumentType(type);
    w.sales_document->Start();
  }
}

void RilasciaDocumento(FRMZEV_ZODADOVEZ& w) {
  if (!w.sales_document) return;
  w.sales_document->End();
  w.sales_document.reset();
}

}  // namespace zodadovez
