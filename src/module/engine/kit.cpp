// Kits: receipts held back for kits without a bill (#TempKit), the explosion of a kit row
// through SPMG_ESPLKIT and the component rows it adds to the document.
#include "module/engine/kit.h"

#include <fmt/format.h>

#include <cctype>

#include "module/articles/codifica.h"
#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/engine/documento.h"
#include "module/engine/import_run.h"
#include "module/engine/reports.h"
#include "module/masterdata/lookups.h"

namespace zodadovez {
namespace {

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// Drops #TempKit; a table that does not exist is no error here.
void DropTempKit(ImportRun& run) {
  try {
    run.db().execute("DROP TABLE #TempKit");
  } catch (const std::exception&) {
  }
}

// A quantity as the explosion procedure takes it: a bare number with a decimal point.
std::string NumberText(double value) { return Decimal::FromDouble(value).Normalized().ToString(); }

}  // namespace

std::string TempKitDdl(std::string_view dbms_version) {
  // The major version is the number in the first two characters ("16.00.1000" gives 16);
  // SQL Server 7 knows no COLLATE clause.
  int major = 0;
  for (std::size_t i = 0; i < dbms_version.size() && i < 2; ++i) {
    if (std::isdigit(static_cast<unsigned char>(dbms_version[i])) == 0) break;
    major = major * 10 + (dbms_version[i] - '0');
  }
  if (major > 7) {
    return "CREATE TABLE #TempKit (K_IDRICEVUTA Int, K_CODICE VARCHAR(20)  COLLATE "
           "DATABASE_DEFAULT, K_DESCRIZIONE VARCHAR(50) COLLATE DATABASE_DEFAULT, K_TIPO "
           "VARCHAR(20) COLLATE DATABASE_DEFAULT) ";
  }
  return "CREATE TABLE #TempKit (K_IDRICEVUTA int, K_CODICE VARCHAR (20), K_DESCRIZIONE VARCHAR "
         "(50), K_TIPO CHAR (20))";
}

void PreparaTempKit(ImportRun& run) {
  DropTempKit(run);
  run.state.abort = 0;
  try {
    run.db().execute(TempKitDdl(run.db().dbms_version()));
    run.state.kit_table = true;
  } catch (const std::exception&) {
    // Without the table no receipt can be held back: the insert that needs it fails and stops
    // the configuration.
    DropTempKit(run);
    run.state.kit_table = false;
  }
}

void InserisciTempKit(ImportRun& run, const Recordset& receipt) {
  run.state.abort = 0;
  try {
    if (!run.state.kit_table) {
      PreparaTempKit(run);
      if (run.state.abort != 0) return;
    }
    run.db().execute(fmt::format(
        "INSERT INTO #TempKit (K_IDRICEVUTA, K_CODICE, K_DESCRIZIONE, K_TIPO)  VALUES ({}, '{}', "
        "'{}', '{}')",
        NzDec(receipt["IDRICEVUTA"]).ToDecimal().ToString(),
        SqlEscape(Nz(receipt["CODICE"], "").ToText()),
        SqlEscape(Nz(receipt["DESCRIZIONE"], "").ToText()),
        SqlEscape(Nz(receipt["TIPO"], "").ToText())));
  } catch (const std::exception&) {
    run.state.abort = 99;
  }
}

bool EsisteDistintaKit(ImportRun& run, const std::string& article) {
  Recordset rs = run.db().open(fmt::format(
      "SELECT PD95_CODART_MG66 FROM PD95_DISBA WITH (NOLOCK) WHERE PD95_DITTA_CG18 = {} AND "
      "PD95_CODART_MG66 = '{}' AND PD95_TIPO_DISTINTA = 50",
      run.company, SqlEscape(article)));
  return !rs.eof();
}

double CostoComponente(ImportRun& run, const Value& bill_id, const Value& link_id) {
  Recordset rs = run.db().open(
      fmt::format("SELECT * FROM PD96_LEGAMIDISBA WITH (NOLOCK) WHERE PD96_IDDISBA_PD95 = {} AND "
                  "PD96_IDLEGAME = {}",
                  NzDec(bill_id).ToDecimal().ToString(), NzDec(link_id).ToDecimal().ToString()));
  if (rs.eof()) return 0;
  return NzDec(rs["PD96_COSTODB"]).ToDouble();
}

void Check_KIT(ImportRun& run) {
  run.state.abort = 0;
  try {
    // The bar sales of kit products since the last import, whatever range the window holds.
    Recordset sales = run.db().open(fmt::format(
        "SELECT distinct RR.IDricevuta, BP.Codice, BP.Descrizione, BPC.Descrizione As Tipo,   "
        "TIPOSERV.ZEV03_INDTIPOSERV   from {0}.dbo.RicevuteRiga As RR WITH (NOLOCK)   inner join "
        "{0}.dbo.RicevuteTestata as RT WITH (NOLOCK)      on RR.IDRicevuta = RT.IDRicevuta  "
        "Inner join {0}.dbo.CassaMovimenti AS CM With (NOLOCK)      ON RR.IDCassaMovimento = "
        "CM.IDCassaMovimento  Inner join {0}.dbo.BarMovimenti AS BR With (NOLOCK)     on "
        "CM.IDIscrizione = BR.IDBarTotale  left outer join {0}.dbo.BarProdotti AS BP With "
        "(NOLOCK)     on BR.IDProdotto = BP.IDProdotto  left outer join "
        "{0}.dbo.BarProdottiCategoria as BPC With (NOLOCK)     on BPC.IDProdottoCategoria = "
        "BP.IDProdottoCategoria  INNER JOIN ZEV03_TIPISERVIZI AS TIPOSERV WITH (NOLOCK)      ON "
        "CM.TipoServizio = ZEV03_TIPOSERVIZIO  collate Latin1_General_CI_AS        Where "
        "TIPOSERV.ZEV03_INDTIPOSERV = 3  AND TIPOSERV.ZEV03_DITTA_CG18 = {1} and DataRicevuta > "
        "'{2}' and UPPER(BPC.Descrizione) = 'kit'  And RT.IDRicevuteAzienda IN (SELECT "
        "ZEV91_IDAZIENDA FROM ZEV91_DITTE WITH (NOLOCK) WHERE ZEV91_DITTA_VT = {1})",
        run.state.gym_database, run.company, SqlEscape(run.DateDB(run.last_imported_date))));
    for (; !sales.eof(); sales.move_next()) {
      std::string code = Nz(sales["Codice"], "").ToText();
      if (EsisteDistintaKit(run, code)) continue;
      InserisciTempKit(run, sales);
      if (run.state.abort != 0) return;
      run.state.result_label = "Controllo Kit";
      run.state.result_text = "Kit non presente x l'articolo --> " + code + "ID Documento N. " +
                              NzDec(sales["IDricevuta"]).ToText() + " NON sarà importato";
      ScriviRisultato(run);
    }
  } catch (const std::exception& e) {
    run.RecordError("Check_KIT", e);
  }
}

void TestKit(ImportRun& run, const std::string& article, double quantity) {
  DocumentContext& d = run.document;
  d.row.kit_article = true;
  std::string deposit = Blank(d.deposit) ? "00" : d.deposit;
  d.row.kit_components = run.db().open(fmt::format(
      "SPMG_ESPLKIT @DITTA={}, @CODICE_ARTICOLO = '{}', @VARIANTE_ARTICOLO = ' ', "
      "@CODICE_DEPOSITO = '{}', @QTA_DA_ESPLODERE = {}, @LIVELLO_ESPLOSIONE = 999, "
      "@ESPLODI_DIBA_STANDARD = 0, @RITORNA_LIVELLI_INTERMEDI = 0, @ELABORA_LEGAMI_OPZIONALI = 0, "
      "@AGGIORNA_COSTO_ULTIMO = 0, @COSTO_UNITARIO = 0",
      run.company, SqlEscape(article), SqlEscape(deposit), NumberText(quantity)));
  // A kit whose bill yields no component is sold as an ordinary article.
  if (d.row.kit_components.eof()) d.row.kit_article = false;
}

void GeneraRigheDocKit(ImportRun& run) {
  DocumentContext& d = run.document;
  try {
    SalesDocument& doc = *run.sales_document;
    // The components take the VAT code of their kit row; reading a component's article must
    // not change it.
    const std::string kit_vat_code = d.row.vat_code;
    Recordset components = d.row.kit_components;
    for (components.move_first(); !components.eof(); components.move_next()) {
      std::string component = Nz(components["ESPKIT_COMPON"], "").ToText();
      doc.NewRow();
      Leggi_Articolo(run, component);
      doc.Row().Set("DO30_INDTIPORIGA", 0);
      doc.SetArticle(component);
      doc.Row().Set("DO30_DESCART",
                    FirstCharacters(Nz(components["ESPKIT_DESCART"], "").ToText(), 1600));
      if (!Blank(d.deposit)) doc.Row().Set("DO30_CODDEP_MG58", d.deposit);
      doc.SetQuantity(NzDec(components["ESPKIT_QTA1"]).ToDouble());
      // A component with a cost in the bill is priced at it, net of VAT when the document
      // type leaves the footer without defaults; one without keeps the host's price.
      double cost =
          CostoComponente(run, components["ESPKIT_IDDISBA"], components["ESPKIT_IDLEGAME"]);
      if (cost != 0) {
        if (run.no_footer_defaults) {
          doc.SetPrice(Scorporo(run, Value(cost), Value(d.row.article_vat_rate), "EURO"));
        } else {
          doc.SetPrice(cost);
        }
      }
      doc.SetVatCode(kit_vat_code);
      doc.ConfirmRow();
    }
  } catch (const std::exception& e) {
    run.RecordError("GeneraRigheDocKit -- > ", e);
  }
}

}  // namespace zodadovez
