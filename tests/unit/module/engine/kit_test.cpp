// Kits: receipts held back for kits without a bill, the explosion of a kit row and its
// component rows.
#include "module/engine/kit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "module/common/mdlzev_zodadovez.h"
#include "module/engine/selezione.h"
#include "module/masterdata/lookups.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The rows of a query as "a|b|c" lines.
std::vector<std::string> Rows(Database& db, const std::string& select) {
  std::vector<std::string> out;
  for (Recordset rs = db.open(select); !rs.eof(); rs.move_next()) {
    std::string line;
    for (std::size_t i = 0; i < rs.fields().size(); ++i) {
      line += (i == 0 ? "" : "|") + Nz(rs.at(i), "").ToText();
    }
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> Texts(const StatementLog& log) {
  std::vector<std::string> texts;
  for (const StatementRecord& r : log.records()) texts.push_back(r.text);
  return texts;
}

// Company 1 imports gym companies 10 and 11 of configuration 1; service "V" sells bar products.
// Receipts of gym company 10 (the last import was on 01/02/2024):
//   1000 of 31/01/2024: kit KITFIT without bill, before the last import.
//   1001 of 05/02/2024: kits KITFIT and KITSPA, both without bill.
//   1002 of 06/02/2024: kit KITOK, which has its bill.
//   1003 of 07/02/2024: a drink, no kit.
// and 1004 of 08/02/2024 of gym company 12, which no configuration imports: KITFIT again.
void SeedKitSales(WindowFixture& f) {
  f.Exec(
      "INSERT INTO ZEV91_DITTE (ZEV91_DITTA_VT, ZEV91_IDPARAM_ZEV90, ZEV91_IDAZIENDA) VALUES "
      "(1, 1, 10), (1, 1, 11)");
  f.Exec(
      "INSERT INTO ZEV01_AZIENDE (ZEV01_DITTA_CG18, ZEV01_IDPARAM_ZEV90, ZEV01_AZIENDA, "
      "ZEV01_TIPOCONTO) VALUES (1, 1, 10, 1), (1, 1, 11, 1)");
  f.Exec(
      "INSERT INTO ZEV02_GYMVELTA (ZEV02_DITTA_CG18, ZEV02_TIPORICEVUTA, ZEV02_TRAS_IN_VT, "
      "ZEV02_ACCORPADOC, ZEV02_DOCUM_MG36) VALUES (1, 'R', 1, 0, 'FTC')");
  f.Exec(
      "INSERT INTO ZEV03_TIPISERVIZI (ZEV03_DITTA_CG18, ZEV03_TIPOSERVIZIO, ZEV03_INDTIPOSERV, "
      "ZEV03_FLGIMPORTA) VALUES (1, 'V', 3, 1)");
  f.Exec(
      "INSERT INTO PD95_DISBA (PD95_IDDISBA, PD95_DITTA_CG18, PD95_CODART_MG66, "
      "PD95_TIPO_DISTINTA) VALUES (1, 1, 'KITOK', 50), (2, 1, 'KITFIT', 10), (3, 2, 'KITSPA', "
      "50)");
  f.Exec(
      "INSERT INTO Palestra.dbo.RicevuteTestata (IDRicevuta, IDRicevuteAzienda, TipoRicevuta, "
      "NumeroRicevuta, DataRicevuta) VALUES (1000, 10, 'R', 1, '2024-01-31 00:00:00'), "
      "(1001, 10, 'R', 2, '2024-02-05 00:00:00'), (1002, 10, 'R', 3, '2024-02-06 00:00:00'), "
      "(1003, 10, 'R', 4, '2024-02-07 00:00:00'), (1004, 12, 'R', 5, '2024-02-08 00:00:00')");
  f.Exec(
      "INSERT INTO Palestra.dbo.RicevuteRiga (IDRicevuteRiga, IDRicevuta, IDCassaMovimento) "
      "VALUES (10000, 1000, 100), (10010, 1001, 101), (10011, 1001, 102), (10020, 1002, 103), "
      "(10030, 1003, 104), (10040, 1004, 105)");
  f.Exec(
      "INSERT INTO Palestra.dbo.CassaMovimenti (IDCassaMovimento, TipoServizio, IDIscrizione) "
      "VALUES (100, 'V', 500), (101, 'v', 501), (102, 'V', 502), (103, 'V', 503), "
      "(104, 'V', 504), (105, 'V', 505)");
  f.Exec(
      "INSERT INTO Palestra.dbo.BarMovimenti (IDBarMovimento, IDBarTotale, IDProdotto) VALUES "
      "(1, 500, 1), (2, 501, 1), (3, 502, 2), (4, 503, 3), (5, 504, 4), (6, 505, 1)");
  f.Exec(
      "INSERT INTO Palestra.dbo.BarProdottiCategoria (IDProdottoCategoria, Descrizione) VALUES "
      "(1, 'Kit'), (2, 'Bibite')");
  f.Exec(
      "INSERT INTO Palestra.dbo.BarProdotti (IDProdotto, IDProdottoCategoria, Codice, "
      "Descrizione) VALUES (1, 1, 'KITFIT', 'Kit dell''atleta'), (2, 1, 'KITSPA', 'Kit spa'), "
      "(3, 1, 'KITOK', 'Kit completo'), (4, 2, 'ACQUA', 'Acqua')");
}

ImportRun& ShowForKits(WindowFixture& f) {
  ImportRun& w = f.Show();
  w.state.gym_database = "Palestra";
  w.state.configuration_id = 1;
  w.state.errors_folder = f.dir().path().string();
  w.last_imported_date = Value("01/02/2024");
  return w;
}

TEST(CheckKitTest, ListsAndReportsEachKitWithoutBill) {
  WindowFixture f;
  SeedKitSales(f);
  ImportRun& w = ShowForKits(f);
  f.log.Clear();

  Check_KIT(w);
  std::vector<std::string> texts = Texts(f.log);

  EXPECT_FALSE(w.anomaly) << w.error.description;
  EXPECT_EQ(w.state.abort, 0);
  EXPECT_TRUE(w.state.kit_table);
  // The bill of another type or another company does not count.
  EXPECT_EQ(
      Rows(w.db(),
           "SELECT K_IDRICEVUTA, K_CODICE, K_DESCRIZIONE, K_TIPO FROM #TempKit "
           "ORDER BY K_CODICE"),
      (std::vector<std::string>{"1001|KITFIT|Kit dell'atleta|Kit", "1001|KITSPA|Kit spa|Kit"}));
  std::string results = ReadAll(w.state.results.path);
  EXPECT_NE(results.find("Kit non presente x l'articolo --> KITFITID Documento N. 1001 NON sarà "
                         "importato"),
            std::string::npos)
      << results;
  EXPECT_NE(results.find("Kit non presente x l'articolo --> KITSPAID Documento N. 1001 NON sarà "
                         "importato"),
            std::string::npos)
      << results;
  EXPECT_EQ(results.find("KITOK"), std::string::npos) << results;

  const std::string query =
      "SELECT distinct RR.IDricevuta, BP.Codice, BP.Descrizione, BPC.Descrizione As Tipo,   "
      "TIPOSERV.ZEV03_INDTIPOSERV   from Palestra.dbo.RicevuteRiga As RR WITH (NOLOCK)   inner "
      "join Palestra.dbo.RicevuteTestata as RT WITH (NOLOCK)      on RR.IDRicevuta = "
      "RT.IDRicevuta  Inner join Palestra.dbo.CassaMovimenti AS CM With (NOLOCK)      ON "
      "RR.IDCassaMovimento = CM.IDCassaMovimento  Inner join Palestra.dbo.BarMovimenti AS BR "
      "With (NOLOCK)     on CM.IDIscrizione = BR.IDBarTotale  left outer join "
      "Palestra.dbo.BarProdotti AS BP With (NOLOCK)     on BR.IDProdotto = BP.IDProdotto  left "
      "outer join Palestra.dbo.BarProdottiCategoria as BPC With (NOLOCK)     on "
      "BPC.IDProdottoCategoria = BP.IDProdottoCategoria  INNER JOIN ZEV03_TIPISERVIZI AS "
      "TIPOSERV WITH (NOLOCK)      ON CM.TipoServizio = ZEV03_TIPOSERVIZIO  collate "
      "Latin1_General_CI_AS        Where TIPOSERV.ZEV03_INDTIPOSERV = 3  AND "
      "TIPOSERV.ZEV03_DITTA_CG18 = 1 and DataRicevuta > '2024-02-01 00:00:00' and "
      "UPPER(BPC.Descrizione) = 'kit'  And RT.IDRicevuteAzienda IN (SELECT ZEV91_IDAZIENDA FROM "
      "ZEV91_DITTE WITH (NOLOCK) WHERE ZEV91_DITTA_VT = 1)";
  auto bill = [](const std::string& code) {
    return "SELECT PD95_CODART_MG66 FROM PD95_DISBA WITH (NOLOCK) WHERE PD95_DITTA_CG18 = 1 AND "
           "PD95_CODART_MG66 = '" +
           code + "' AND PD95_TIPO_DISTINTA = 50";
  };
  // The failed DROP of a table that does not exist yet is not logged.
  std::vector<std::string> expected = {
      query,
      bill("KITFIT"),
      "CREATE TABLE #TempKit (K_IDRICEVUTA Int, K_CODICE VARCHAR(20)  COLLATE DATABASE_DEFAULT, "
      "K_DESCRIZIONE VARCHAR(50) COLLATE DATABASE_DEFAULT, K_TIPO VARCHAR(20) COLLATE "
      "DATABASE_DEFAULT) ",
      "INSERT INTO #TempKit (K_IDRICEVUTA, K_CODICE, K_DESCRIZIONE, K_TIPO)  VALUES (1001, "
      "'KITFIT', 'Kit dell''atleta', 'Kit')",
      bill("KITOK"),
      bill("KITSPA"),
      "INSERT INTO #TempKit (K_IDRICEVUTA, K_CODICE, K_DESCRIZIONE, K_TIPO)  VALUES (1001, "
      "'KITSPA', 'Kit spa', 'Kit')",
  };
  ASSERT_EQ(texts.size(), expected.size()) << ::testing::PrintToString(texts);
  // The order of the rows of the sales query is the database's; compare it as a set.
  std::sort(texts.begin() + 1, texts.end());
  std::sort(expected.begin() + 1, expected.end());
  EXPECT_EQ(texts, expected);
}

TEST(CheckKitTest, SelectionSkipsHeldBackReceiptsWithoutCountingThem) {
  WindowFixture f;
  SeedKitSales(f);
  ImportRun& w = ShowForKits(f);
  std::vector<std::string> handled;
  w.engine.receipt_document = [&handled](ImportRun& win, Recordset& receipt, std::string&) {
    handled.push_back(receipt["IdRicevuta"].ToText());
    win.state.imported = Value(NzDec(win.state.imported).ToDecimal() + Decimal(1));
  };
  w.engine.check_articoli = nullptr;
  w.engine.grouped_documents = nullptr;
  w.last_imported_date = Value("01/01/2024");

  ZODADOVEZ_FileS2_MOVMA(w);

  EXPECT_FALSE(w.anomaly) << w.error.description;
  // 1000 is listed too now: its date is after the last import.
  EXPECT_EQ(Rows(w.db(), "SELECT DISTINCT K_IDRICEVUTA FROM #TempKit ORDER BY K_IDRICEVUTA"),
            (std::vector<std::string>{"1000", "1001"}));
  EXPECT_EQ(handled, (std::vector<std::string>{"1002", "1003"}));
  std::string results = ReadAll(w.state.results.path);
  EXPECT_NE(results.find("Documenti Presenti = 2"), std::string::npos) << results;
  EXPECT_NE(results.find("Documenti Scartati = 0"), std::string::npos) << results;
}

TEST(CheckKitTest, ReceiptThatCannotBeListedStopsTheConfiguration) {
  WindowFixture f;
  SeedKitSales(f);
  ImportRun& w = ShowForKits(f);
  bool selected = false;
  w.engine.receipt_document = [&selected](ImportRun&, Recordset&, std::string&) {
    selected = true;
  };
  w.engine.check_articoli = nullptr;
  // The flag says the table exists, but this connection has none: the insert fails.
  w.engine.check_kit = [](ImportRun& win) {
    win.state.kit_table = true;
    Check_KIT(win);
  };

  ZODADOVEZ_FileS2_MOVMA(w);

  EXPECT_EQ(w.state.abort, 99);
  EXPECT_FALSE(w.anomaly);  // no anomaly line: the abort flag says it all
  EXPECT_FALSE(selected);
  EXPECT_EQ(ReadAll(w.state.results.path).find("Kit non presente"), std::string::npos);
}

TEST(TempKitDdlTest, CollationClausesFromVersion8On) {
  const std::string with_collation =
      "CREATE TABLE #TempKit (K_IDRICEVUTA Int, K_CODICE VARCHAR(20)  COLLATE DATABASE_DEFAULT, "
      "K_DESCRIZIONE VARCHAR(50) COLLATE DATABASE_DEFAULT, K_TIPO VARCHAR(20) COLLATE "
      "DATABASE_DEFAULT) ";
  const std::string without =
      "CREATE TABLE #TempKit (K_IDRICEVUTA int, K_CODICE VARCHAR (20), K_DESCRIZIONE VARCHAR "
      "(50), K_TIPO CHAR (20))";
  EXPECT_EQ(TempKitDdl("07.00.0623"), without);
  EXPECT_EQ(TempKitDdl("7"), without);
  EXPECT_EQ(TempKitDdl(""), without);
  EXPECT_EQ(TempKitDdl("08.00.2039"), with_collation);
  EXPECT_EQ(TempKitDdl("16.00.1000 (SQLite 3.40.1)"), with_collation);
}

TEST(ScorporoTest, AmountNetOfVatRoundedToTheCurrencyDecimals) {
  WindowFixture f;
  f.Exec("INSERT INTO CG08_TABVALUTE (CG08_CODICE, CG08_NUMDEC) VALUES ('EURO', 2), ('LIT', 0)");
  ImportRun& w = f.Show();
  EXPECT_DOUBLE_EQ(Scorporo(w, Value(10), Value(22), "EURO"), 8.2);
  EXPECT_DOUBLE_EQ(Scorporo(w, Value(122), Value(22), "EURO"), 100);
  EXPECT_DOUBLE_EQ(Scorporo(w, Value(5), Value(Decimal(22)), "EURO"), 4.1);
  EXPECT_DOUBLE_EQ(Scorporo(w, Value(1000), Value(22), "LIT"), 820);
}

// A document bound to `type` with its kit row of `quantity` KITFIT confirmed, as the receipt
// rows leave it before the kit test. KITFIT's bill: 2 ACQUA at cost 10, 1 BARRETTA without
// cost, 1 TELO at cost 5 (an article of 4 % VAT).
class KitRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* setup[] = {
        "INSERT INTO MG36_DOCUMENTI (MG36_CODDOCUM, MG36_TIPODOC, MG36_INDDEFPIE) VALUES "
        "('FTC', 1, 0), ('FTN', 1, 1)",
        "INSERT INTO CG08_TABVALUTE (CG08_CODICE, CG08_NUMDEC) VALUES ('EURO', 2)",
        "INSERT INTO CG16_ANAGGEN (CG16_CODICE, CG16_RAGSOANAG) VALUES (1, 'ROSSI MARIO')",
        "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR, CG44_CODICE_CG16) "
        "VALUES (1, 0, 101, 1)",
        "INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_PERCIVA) VALUES ('22', 22), ('4', 4)",
        "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART, MG66_ALIVA_CG28) VALUES "
        "(1, 'KITFIT', '22'), (1, 'ACQUA', '22'), (1, 'BARRETTA', '22'), (1, 'TELO', '4')",
        "INSERT INTO MG87_ARTDESC (MG87_DITTA_CG18, MG87_CODART_MG66, MG87_LINGUA_MG52, "
        "MG87_DESCART) VALUES (1, 'ACQUA', '', 'Acqua naturale'), (1, 'TELO', '', 'Telo "
        "spugna'), (1, 'BARRETTA', '', 'Barretta')",
        "INSERT INTO PD95_DISBA (PD95_IDDISBA, PD95_DITTA_CG18, PD95_CODART_MG66, "
        "PD95_TIPO_DISTINTA, PD95_QTABASE) VALUES (7, 1, 'KITFIT', 50, 1)",
        "INSERT INTO PD96_LEGAMIDISBA (PD96_IDDISBA_PD95, PD96_IDLEGAME, PD96_SEQUENZA, "
        "PD96_CODART_MG66, PD96_QTA, PD96_COSTODB) VALUES (7, 71, 1, 'ACQUA', 2, 10), "
        "(7, 72, 2, 'BARRETTA', 1, 0), (7, 73, 3, 'TELO', 1, 5)",
    };
    for (const char* sql : setup) f_.Exec(sql);
  }

  ImportRun& KitRow(const std::string& type, double quantity) {
    ImportRun& w = f_.Show();
    DocumentContext& d = w.document;
    w.state.bound_document_type = type;
    d.document_type = type;
    d.deposit = "01";
    LeggiTipoDocumento(w);
    CollegaDocumento(w, type);
    SalesDocument& doc = *w.sales_document;
    doc.NewDocument();
    doc.SetCustomer(Value(101));
    doc.Header().Set("DO11_CODDEP", d.deposit);
    doc.NewRow();
    doc.SetArticle("KITFIT");
    doc.SetPrice(30);
    doc.SetQuantity(quantity);
    doc.SetVatCode("22");
    doc.ConfirmRow();
    d.row.vat_code = "22";
    d.row.quantity = quantity;
    return w;
  }

  std::vector<std::string> SavedRows(ImportRun& w) {
    w.sales_document->Save();
    EXPECT_EQ(w.sales_document->error(), 0) << w.sales_document->error_description();
    return Rows(w.db(),
                "SELECT DO30_RIGA, DO30_INDTIPORIGA, DO30_CODART_MG66, DO30_DESCART, "
                "DO30_CODDEP_MG58, DO30_QTA1, DO30_PREZZO, DO30_CODIVA_CG28 FROM DO30_DOCRIGHE "
                "ORDER BY DO30_RIGA");
  }

  WindowFixture f_;
};

TEST_F(KitRowsTest, ComponentsForTheQuantityAskedPricedAtTheirCostNetOfVat) {
  ImportRun& w = KitRow("FTC", 3);
  ASSERT_TRUE(w.no_footer_defaults);
  f_.log.Clear();

  TestKit(w, "KITFIT", 3);
  ASSERT_TRUE(w.document.row.kit_article);
  EXPECT_EQ(w.document.row.kit_components.record_count(), 3u);
  GeneraRigheDocKit(w);

  EXPECT_FALSE(w.anomaly) << w.error.description;
  // Costs net of the component's own VAT: 10 at 22 % is 8.2, 5 at 4 % is 4.81; no cost keeps
  // the host's price. Every component takes the kit row's VAT code.
  EXPECT_EQ(SavedRows(w), (std::vector<std::string>{
                              "1|0|KITFIT||01|3|30|22",
                              "2|0|ACQUA|Acqua naturale|01|6|8,2|22",
                              "3|0|BARRETTA|Barretta|01|3|0|22",
                              "4|0|TELO|Telo spugna|01|3|4,81|22",
                          }));
  std::vector<std::string> texts = Texts(f_.log);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0],
            "SPMG_ESPLKIT @DITTA=1, @CODICE_ARTICOLO = 'KITFIT', @VARIANTE_ARTICOLO = ' ', "
            "@CODICE_DEPOSITO = '01', @QTA_DA_ESPLODERE = 3, @LIVELLO_ESPLOSIONE = 999, "
            "@ESPLODI_DIBA_STANDARD = 0, @RITORNA_LIVELLI_INTERMEDI = 0, "
            "@ELABORA_LEGAMI_OPZIONALI = 0, @AGGIORNA_COSTO_ULTIMO = 0, @COSTO_UNITARIO = 0");
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "SELECT * FROM PD96_LEGAMIDISBA WITH (NOLOCK) WHERE PD96_IDDISBA_PD95 = 7 "
                      "AND PD96_IDLEGAME = 73"),
            texts.end());
}

TEST_F(KitRowsTest, DocumentTypeWithFooterDefaultsTakesTheCostAsItIs) {
  ImportRun& w = KitRow("FTN", 1);
  ASSERT_FALSE(w.no_footer_defaults);
  TestKit(w, "KITFIT", 1);
  GeneraRigheDocKit(w);
  EXPECT_EQ(SavedRows(w), (std::vector<std::string>{
                              "1|0|KITFIT||01|1|30|22",
                              "2|0|ACQUA|Acqua naturale|01|2|10|22",
                              "3|0|BARRETTA|Barretta|01|1|0|22",
                              "4|0|TELO|Telo spugna|01|1|5|22",
                          }));
}

TEST_F(KitRowsTest, KitWithoutComponentsIsAnOrdinaryRow) {
  ImportRun& w = KitRow("FTC", 2.5);
  w.document.deposit = "";
  f_.log.Clear();
  TestKit(w, "KITVUOTO", 2.5);
  EXPECT_FALSE(w.document.row.kit_article);
  EXPECT_EQ(w.document.row.kit_components.record_count(), 0u);
  ASSERT_FALSE(f_.log.records().empty());
  // A blank deposit is asked as "00"; the quantity is a bare number.
  EXPECT_EQ(f_.log.records()[0].text,
            "SPMG_ESPLKIT @DITTA=1, @CODICE_ARTICOLO = 'KITVUOTO', @VARIANTE_ARTICOLO = ' ', "
            "@CODICE_DEPOSITO = '00', @QTA_DA_ESPLODERE = 2.5, @LIVELLO_ESPLOSIONE = 999, "
            "@ESPLODI_DIBA_STANDARD = 0, @RITORNA_LIVELLI_INTERMEDI = 0, "
            "@ELABORA_LEGAMI_OPZIONALI = 0, @AGGIORNA_COSTO_ULTIMO = 0, @COSTO_UNITARIO = 0");
}

TEST_F(KitRowsTest, FailingComponentIsRecordedAndKeepsTheRowsBeforeIt) {
  ImportRun& w = KitRow("FTC", 1);
  TestKit(w, "KITFIT", 1);
  // A VAT code the ERP lacks: the host refuses the first component's row.
  w.document.row.vat_code = "99";
  GeneraRigheDocKit(w);
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "GeneraRigheDocKit -- > ");
  EXPECT_EQ(SavedRows(w), (std::vector<std::string>{"1|0|KITFIT||01|1|30|22"}));
}

}  // namespace
}  // namespace zodadovez
