// Service-to-article coding: subscriptions, agenda services, tickets, bar products and the
// pre-check of bar articles.
#include "module/articles/codifica.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

// A shown window as the row logic leaves it before coding a row of company 1.
ImportRun& Ready(WindowFixture& f, const std::string& service_type) {
  ImportRun& w = f.Show();
  w.state.gym_database = "Palestra";
  w.state.configuration_id = 7;
  w.document.row.service_type = service_type;
  w.state.abort = 99;  // left over by an earlier anomaly
  f.log.Clear();
  return w;
}

std::vector<std::string> Texts(const StatementLog& log, StatementRecord::Kind kind) {
  std::vector<std::string> texts;
  for (const StatementRecord& r : log.records()) {
    if (r.kind == kind) texts.push_back(r.text);
  }
  return texts;
}
std::string FirstRead(const StatementLog& log) {
  std::vector<std::string> reads = Texts(log, StatementRecord::Kind::kOpen);
  return reads.empty() ? std::string() : reads.front();
}

// The rows of a query as "a|b;c|d", Null as "-".
std::string Rows(Database& db, const std::string& sql) {
  Recordset rs = db.open(sql);
  std::string out;
  for (; !rs.eof(); rs.move_next()) {
    if (!out.empty()) out += ";";
    for (std::size_t i = 0; i < rs.fields().size(); ++i) {
      if (i > 0) out += "|";
      out += rs.at(i).is_null() ? "-" : rs.at(i).ToText();
    }
  }
  return out;
}

// --- CodificaArticolo_Abb ---------------------------------------------------------------

void SeedSubscription(WindowFixture& f, const std::string& category, const std::string& abb,
                      const std::string& duration, const std::string& period) {
  f.Exec(
      "INSERT INTO Palestra.dbo.AbbonamentiMacroCategorie (IDMacroCategoria, Descrizione) "
      "VALUES (2, 'Fitness  ')");
  f.Exec(
      "INSERT INTO Palestra.dbo.AbbonamentiCategorie (IDCategoria, IDMacroCategoria, "
      "Descrizione) VALUES (" +
      category + ", 2, 'Sala pesi')");
  f.Exec("INSERT INTO Palestra.dbo.Abbonamenti (IDAbbonamento, IDCategoria, Descrizione) VALUES (" +
         abb + ", " + category + ", 'Open ')");
  f.Exec(
      "INSERT INTO Palestra.dbo.AbbonamentiDurata (IDDurata, IDAbbonamento, Durata, Periodo) "
      "VALUES (5, " +
      abb + ", " + duration + ", " + period + ")");
  f.Exec(
      "INSERT INTO Palestra.dbo.AbbonamentiIscrizione (IDIscrizione, IDUtente, IDDurata) "
      "VALUES (501, 1, 5)");
}

TEST(CodificaArticoloAbbTest, CodesTheSubscriptionAndItsClassification) {
  WindowFixture f;
  ImportRun& w = Ready(f, "ABB");
  w.document.row.family_description = "ABBONAMENTI ";
  SeedSubscription(f, "15", "37", "12", "'M'");

  CodificaArticolo_Abb(w, 501);

  EXPECT_EQ(FirstRead(f.log),
            " select distinct M.idMacroCategoria As CodMacroCateg, M.descrizione as "
            "DescMacroCateg,   G.idcategoria AS CodCateg, G.descrizione as DescCateg,  "
            "ABB.idabbonamento As CodAbb, ABB.descrizione as DescAbb,   D.iddurata as CodDurata, "
            "D.durata as Durata, D.periodo as Periodo  FROM  Palestra.dbo.AbbonamentiIscrizione "
            "as I With (NOLOCK)  left outer join Palestra.dbo.AbbonamentiDurata as D  With "
            "(NOLOCK)      on I.iddurata=D.iddurata  left outer join Palestra.dbo.Abbonamenti as "
            "B  With (NOLOCK)      on D.idabbonamento=B.idabbonamento  left outer join "
            "Palestra.dbo.AbbonamentiCategorie as G  With (NOLOCK)      on "
            "B.idcategoria=G.idcategoria  left outer join Palestra.dbo.AbbonamentiMacroCategorie "
            "as M  With (NOLOCK)      on G.idmacrocategoria=M.idmacrocategoria  left outer join "
            "Palestra.dbo.Abbonamenti as ABB  With (NOLOCK)      on "
            "D.idabbonamento=ABB.idabbonamento  where I.Idiscrizione = 501");
  const RowFields& row = w.document.row;
  EXPECT_EQ(row.article_code, "A-0002-001-000037-012-M");
  EXPECT_EQ(row.project_code, "A-0002-001-000037");
  EXPECT_EQ(row.subfamily_code, "0002");
  EXPECT_EQ(row.group_code, "0015");
  EXPECT_EQ(row.brand_code, "A000037");
  EXPECT_EQ(row.stat_group1, "012");
  EXPECT_EQ(row.stat_group2, "M");
  EXPECT_EQ(row.article_description, "ABBONAMENTI Fitness Open");
  EXPECT_EQ(w.state.abort, 0);
  EXPECT_FALSE(w.anomaly);

  // The classification rows the article will point to.
  Database& db = f.db();
  EXPECT_EQ(Rows(db, "SELECT MG54_CODSFAM FROM MG54_SOTTOFAM"), "0002");
  EXPECT_EQ(Rows(db, "SELECT MG55_CODGRUPPO, MG55_DESCRGRUPPO FROM MG55_GRUPPI"), "0015|Sala pesi");
  EXPECT_EQ(Rows(db, "SELECT MG64_CODMARCA FROM MG64_MARCHEART"), "A000037");
  EXPECT_EQ(Rows(db, "SELECT MG74_CODGRUSTAT1 FROM MG74_GRUSTAT1"), "012");
  EXPECT_EQ(Rows(db, "SELECT MG75_CODGRUSTAT2 FROM MG75_GRUSTAT2"), "M");
}

TEST(CodificaArticoloAbbTest, CutsTheCategoryAndSubscriptionAndZeroesMissingDuration) {
  WindowFixture f;
  ImportRun& w = Ready(f, "ABB");
  SeedSubscription(f, "1234", "1234567", "NULL", "NULL");

  CodificaArticolo_Abb(w, 501);

  const RowFields& row = w.document.row;
  // Only three digits of the category enter the code; the group keeps all four.
  EXPECT_EQ(row.group_code, "1234");
  EXPECT_EQ(row.brand_code, "A234567");
  EXPECT_EQ(row.project_code, "A-0002-123-234567");
  EXPECT_EQ(row.article_code, "A-0002-123-234567-000-");
  EXPECT_EQ(row.stat_group1, "000");
  EXPECT_EQ(row.stat_group2, "");

  // An enrolment the gym does not hold codes nothing.
  w.document.row = RowFields();
  w.document.row.service_type = "ABB";
  f.log.Clear();
  CodificaArticolo_Abb(w, 999);
  EXPECT_EQ(w.document.row.article_code, "");
  EXPECT_EQ(w.document.row.subfamily_code, "");
  EXPECT_TRUE(Texts(f.log, StatementRecord::Kind::kInsert).empty());
}

// --- CodificaArticolo_Agenda ------------------------------------------------------------

TEST(CodificaArticoloAgendaTest, BrandCarriesTheWholeServiceTypeAndTheCodeItsLetter) {
  WindowFixture f;
  ImportRun& w = Ready(f, "AG");
  f.Exec(
      "INSERT INTO Palestra.dbo.A2Servizi (IDA2Servizio, DescrizioneServizio) "
      "VALUES (15, 'Massaggio')");
  f.Exec("INSERT INTO Palestra.dbo.A2Impegni (IDA2Impegno, IDA2Servizio) VALUES (3, 15)");
  f.Exec("INSERT INTO Palestra.dbo.A2Appuntamenti (IDA2Appuntamento, IDA2Impegno) VALUES (4, 3)");
  f.Exec(
      "INSERT INTO Palestra.dbo.A2Iscrizioni (IDA2Iscrizione, IDA2Appuntamento) VALUES (701, 4)");

  CodificaArticolo_Agenda(w, 701);

  EXPECT_EQ(FirstRead(f.log),
            " select distinct  S.IDA2Servizio as CodMarca, S.descrizioneservizio as DescMarca "
            "from Palestra.dbo.A2Iscrizioni as ISC   left outer join Palestra.dbo.A2Appuntamenti "
            "as P on ISC.IDA2Appuntamento=P.IDA2Appuntamento  left outer join "
            "Palestra.dbo.A2Impegni as I on P.IDA2Impegno=I.IDA2Impegno  left outer join "
            "Palestra.dbo.A2Servizi as S on I.IDA2Servizio=S.IDA2Servizio  left outer join "
            "Palestra.dbo.A2ServiziCategorie as SC on "
            "S.ida2servizicategoria=SC.ida2servizicategoria  where  IDA2Iscrizione = 701");
  const RowFields& row = w.document.row;
  EXPECT_EQ(row.brand_code, "AG000015");
  EXPECT_EQ(row.article_code, "A-000015");
  EXPECT_EQ(row.article_description, "Massaggio");
  EXPECT_EQ(row.project_code, "");  // the row logic sets it from the article code
  EXPECT_EQ(Rows(f.db(), "SELECT MG64_CODMARCA, MG64_DESCRMARCA FROM MG64_MARCHEART"),
            "AG000015|Massaggio");
  EXPECT_EQ(w.state.abort, 0);
}

// --- CodificaArticolo_Ticket ------------------------------------------------------------

void SeedTicketSale(WindowFixture& f, int till_movement, const std::string& till_type) {
  const std::string id = std::to_string(till_movement);
  f.Exec("INSERT INTO Palestra.dbo.CassaMovimenti (IDCassaMovimento, TipoServizio) VALUES (" + id +
         ", '" + till_type + "')");
  f.Exec(
      "INSERT INTO Palestra.dbo.CentriRicavoMovimenti (IDCentroRicavoMovimento, "
      "IDCassaMovimento, IDTicketEmessi) VALUES (" +
      id + ", " + id + ", 60)");
}

TEST(CodificaArticoloTicketTest, CodesTheTicketOfATicketingTillMovement) {
  WindowFixture f;
  ImportRun& w = Ready(f, "TK");
  w.service_type_ticket = "T";
  f.Exec("INSERT INTO Palestra.dbo.Ticket (IDTicket, Descrizione) VALUES (8, 'Ingresso')");
  f.Exec("INSERT INTO Palestra.dbo.TicketEmessi (ID, IDTicket) VALUES (60, 8)");
  SeedTicketSale(f, 901, "T");

  CodificaArticolo_Ticket(w, 901);

  EXPECT_EQ(FirstRead(f.log),
            " select K.IDTicket as CodTicket, K.Descrizione  as DescTicket  from "
            "Palestra.dbo.CassaMovimenti as C   left outer join Palestra.dbo.CentriRicavoMovimenti "
            "as RIC on C.idcassamovimento=RIC.idcassamovimento  left outer join "
            "Palestra.dbo.TicketEmessi as TE on RIC.IDTicketEmessi=TE.ID  left outer join "
            "Palestra.dbo.Ticket as K on TE.IDTicket=K.IDTicket  left outer join "
            "Palestra.dbo.TicketCategorie as TC on K.IDTicketCategoria=TC.IDTicketCategoria  "
            "where tiposervizio='T' and C.idcassamovimento = 901");
  const RowFields& row = w.document.row;
  EXPECT_EQ(row.brand_code, "TK000008");
  EXPECT_EQ(row.brand_description, "Ingresso");
  EXPECT_EQ(row.article_code, "T-000008");
  EXPECT_EQ(row.article_description, "Ingresso");
  EXPECT_EQ(Rows(f.db(), "SELECT MG64_CODMARCA FROM MG64_MARCHEART"), "TK000008");

  // A till movement of another service type is no ticket sale.
  w.document.row = RowFields();
  w.document.row.service_type = "TK";
  SeedTicketSale(f, 902, "B");
  CodificaArticolo_Ticket(w, 902);
  EXPECT_EQ(w.document.row.article_code, "");
  EXPECT_EQ(w.document.row.brand_code, "");
}

// --- Search_Articolo and Leggi_Articolo -------------------------------------------------

TEST(SearchArticoloTest, CodesBarProductsAndKits) {
  struct Case {
    const char* name;
    const char* service_type;
    const char* category;  // SQL literal
    const char* code;
    const char* kind;
    bool found;
  };
  const Case cases[] = {
      {"ordinary product", "BAR", "'Bevande'", "B-COCA", "Bevande", true},
      {"blank service type", "", "'Bevande'", "V-COCA", "Bevande", false},
      {"kit in any case, blanks around", "BAR", "' kit '", "COCA", " kit ", true},
      {"no category", "BAR", "NULL", "B-COCA", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowFixture f;
    ImportRun& w = Ready(f, c.service_type);
    f.Exec("INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_PERCIVA) VALUES ('22', 22)");
    f.Exec(
        "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART, MG66_ALIVA_CG28) VALUES "
        "(1, 'B-COCA', '22'), (1, 'COCA', '22')");
    f.Exec(std::string("INSERT INTO Palestra.dbo.BarProdottiCategoria (IDProdottoCategoria, "
                       "Descrizione) VALUES (4, ") +
           c.category + ")");
    f.Exec(
        "INSERT INTO Palestra.dbo.BarProdotti (IDProdotto, IDProdottoCategoria, Codice) "
        "VALUES (9, 4, 'COCA')");
    f.Exec(
        "INSERT INTO Palestra.dbo.BarMovimenti (IDBarMovimento, IDBarTotale, IDProdotto) "
        "VALUES (1, 301, 9)");
    w.document.row.article_vat_rate = Decimal(7);

    Search_Articolo(w, 301);

    const RowFields& row = w.document.row;
    EXPECT_EQ(row.article_code, c.code);
    EXPECT_EQ(row.article_kind, c.kind);
    EXPECT_EQ(row.article_found, c.found);
    // A missing article keeps the rate read before.
    EXPECT_EQ(row.article_vat_rate, Decimal(c.found ? 22 : 7));
    EXPECT_EQ(w.state.abort, 99) << "the abort flag is not Search_Articolo's";
  }
}

TEST(SearchArticoloTest, UnknownBarSaleClearsTheArticle) {
  WindowFixture f;
  ImportRun& w = Ready(f, "BAR");
  w.document.row.article_code = "B-OLD";
  w.document.row.article_kind = "KIT";
  w.document.row.article_found = true;

  Search_Articolo(w, 301);

  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen),
            std::vector<std::string>{
                "select BP.Codice, BP.Descrizione, BPC.Descrizione As Tipo from "
                "Palestra.dbo.BarMovimenti AS BR WITH (NOLOCK) left outer join "
                "Palestra.dbo.BarProdotti AS BP WITH (NOLOCK) on BR.IDProdotto = BP.IDProdotto "
                "left outer join Palestra.dbo.BarProdottiCategoria as BPC WITH (NOLOCK) on "
                "BPC.IDProdottoCategoria = BP.IDProdottoCategoria where IDBarTotale = 301"});
  EXPECT_EQ(w.document.row.article_code, "");
  EXPECT_EQ(w.document.row.article_kind, "");
  EXPECT_FALSE(w.document.row.article_found);
}

TEST(LeggiArticoloTest, FindsTheArticleAndItsVatRate) {
  WindowFixture f;
  ImportRun& w = Ready(f, "BAR");
  f.Exec("INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_PERCIVA) VALUES ('10', 10)");
  f.Exec(
      "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART, MG66_ALIVA_CG28) VALUES "
      "(1, 'B-L''ACQUA', '10'), (1, 'B-SENZA', NULL), (2, 'B-ALTRA', '10')");

  Leggi_Articolo(w, "B-L'ACQUA");
  EXPECT_EQ(FirstRead(f.log),
            "SELECT CG28_PERCIVA, MG66_ALIVA_CG28 FROM MG66_ANAGRART WITH (NOLOCK)  LEFT OUTER "
            "JOIN CG28_TABCODIVA WITH (NOLOCK) ON MG66_ALIVA_CG28 = CG28_CODICE WHERE "
            "MG66_DITTA_CG18 = 1 AND MG66_CODART = 'B-L''ACQUA'");
  EXPECT_TRUE(w.document.row.article_found);
  EXPECT_EQ(w.document.row.article_vat_rate, Decimal(10));

  // An article without VAT code is found, at rate 0.
  Leggi_Articolo(w, "B-SENZA");
  EXPECT_TRUE(w.document.row.article_found);
  EXPECT_EQ(w.document.row.article_vat_rate, Decimal(0));

  // Another company's article is not the company's.
  w.document.row.article_vat_rate = Decimal(10);
  Leggi_Articolo(w, "B-ALTRA");
  EXPECT_FALSE(w.document.row.article_found);
  EXPECT_EQ(w.document.row.article_vat_rate, Decimal(10));
  EXPECT_FALSE(w.anomaly);
}

// --- Check_Articoli ---------------------------------------------------------------------

// A configuration of company 1 with gym company 10, the bar service type BAR and a catalogue
// of bar products.
class CheckArticoliTest : public ::testing::Test {
 protected:
  ImportRun& Start() {
    ImportRun& w = f_.Show();
    w.state.gym_database = "Palestra";
    w.state.configuration_id = 7;
    w.service_type_bar = "BAR";
    w.last_imported_date = Value(MakeDateTime(2024, 6, 1));
    w.company_parameters.article_vat_code = "22A";
    w.price_list = 1;
    w.document.deposit = "01";
    w.state.abort = 99;
    f_.Exec("INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_PERCIVA) VALUES ('22A', 22)");
    f_.Exec(
        "INSERT INTO ZEV91_DITTE (ZEV91_DITTA_VT, ZEV91_IDPARAM_ZEV90, ZEV91_IDAZIENDA) "
        "VALUES (1, 7, 10)");
    f_.Exec(
        "INSERT INTO ZEV03_TIPISERVIZI (ZEV03_DITTA_CG18, ZEV03_TIPOSERVIZIO, ZEV03_DESCR, "
        "ZEV03_INDTIPOSERV, ZEV03_FLGIMPORTA, ZEV03_FLGCOIN) VALUES "
        "(1, 'BAR', 'Bar', 3, 1, 0), (1, 'ABB', 'Abbonamenti', 1, 1, 0)");
    f_.Exec(
        "INSERT INTO Palestra.dbo.BarMacroCategorieProdotti (IDMacroCategoriaProdotto, "
        "Descrizione) VALUES (7, 'Bevande')");
    f_.Exec(
        "INSERT INTO Palestra.dbo.BarProdottiCategoria (IDProdottoCategoria, "
        "IDMacroCategoriaProdotto, Descrizione) VALUES (42, 7, 'Bibite'), (43, 7, 'KIT'), "
        "(44, 7, 'Kit')");
    f_.Exec(
        "INSERT INTO Palestra.dbo.BarProdotti (IDProdotto, IDProdottoCategoria, Codice, "
        "Descrizione, Prezzo) VALUES (1, 42, 'COCA', 'Coca cola', 2.5), "
        "(2, 43, 'KITBOX', 'Kit box', 30), (3, 44, 'MIX', 'Mix', 0), "
        "(4, NULL, 'ACQUA', 'Acqua', 1), (5, 42, 'VECCHIO', 'Vecchio', 1), "
        "(6, 42, 'ALTRA', 'Altra azienda', 1), (7, 42, 'ABBO', 'Non bar', 1), "
        "(8, 42, '', 'Senza codice', 1)");
    return w;
  }

  // Receipt `receipt` of gym company `gym_company` on `date`, selling `product` under the till
  // service type `till_type`.
  void Sale(int receipt, int gym_company, const std::string& date, int product,
            const std::string& till_type = "BAR") {
    const std::string id = std::to_string(receipt);
    f_.Exec(
        "INSERT INTO Palestra.dbo.RicevuteTestata (IDRicevuta, IDRicevuteAzienda, "
        "DataRicevuta) VALUES (" +
        id + ", " + std::to_string(gym_company) + ", '" + date + "')");
    f_.Exec(
        "INSERT INTO Palestra.dbo.CassaMovimenti (IDCassaMovimento, TipoServizio, "
        "IDIscrizione) VALUES (" +
        id + ", '" + till_type + "', " + id + ")");
    f_.Exec(
        "INSERT INTO Palestra.dbo.RicevuteRiga (IDRicevuteRiga, IDRicevuta, "
        "IDCassaMovimento) VALUES (" +
        id + ", " + id + ", " + id + ")");
    f_.Exec(
        "INSERT INTO Palestra.dbo.BarMovimenti (IDBarMovimento, IDBarTotale, IDProdotto) "
        "VALUES (" +
        id + ", " + id + ", " + std::to_string(product) + ")");
  }

  WindowFixture f_;
};

TEST_F(CheckArticoliTest, CreatesTheBarArticlesSoldSinceTheLastImport) {
  ImportRun& w = Start();
  Sale(1, 10, "2024-06-02 00:00:00", 1);
  Sale(2, 10, "2024-06-03 00:00:00", 1);  // the same product twice
  Sale(3, 10, "2024-06-02 00:00:00", 2);  // a kit
  Sale(4, 10, "2024-06-02 00:00:00", 3);  // category "Kit": an ordinary product, price 0
  Sale(5, 10, "2024-06-02 00:00:00", 4);  // no category
  Sale(6, 10, "2024-06-01 00:00:00", 5);  // sold on the last imported date
  Sale(7, 11, "2024-06-02 00:00:00", 6);  // a gym company outside the configuration
  Sale(8, 10, "2024-06-02 00:00:00", 7, "ABB");
  Sale(9, 10, "2024-06-02 00:00:00", 8);
  f_.log.Clear();

  Check_Articoli(w);

  EXPECT_EQ(FirstRead(f_.log),
            "SELECT distinct BP.Codice, BP.Descrizione, BPC.Descrizione As Tipo, BP.Prezzo,  "
            "BP.IDProdottoCategoria AS CodCatProd,  BPC.IDMacroCategoriaProdotto As CodMacro, "
            "BPM.Descrizione As DescrMacro,  TIPOSERV.ZEV03_INDTIPOSERV, TIPOSERV.ZEV03_DESCR, "
            "TIPOSERV.ZEV03_FLGCOIN    from Palestra.dbo.RicevuteRiga As RR WITH (NOLOCK)   "
            "inner join Palestra.dbo.RicevuteTestata as RT WITH (NOLOCK)      on RR.IDRicevuta = "
            "RT.IDRicevuta  Inner join Palestra.dbo.CassaMovimenti AS CM With (NOLOCK)      ON "
            "RR.IDCassaMovimento = CM.IDCassaMovimento  Inner join Palestra.dbo.BarMovimenti AS "
            "BR With (NOLOCK)     on CM.IDIscrizione = BR.IDBarTotale  left outer join "
            "Palestra.dbo.BarProdotti AS BP With (NOLOCK)     on BR.IDProdotto = BP.IDProdotto  "
            "left outer join Palestra.dbo.BarProdottiCategoria as BPC With (NOLOCK)     on "
            "BPC.IDProdottoCategoria = BP.IDProdottoCategoria  left outer join "
            "Palestra.dbo.BarMacroCategorieProdotti as BPM With (NOLOCK)          on "
            "BPC.IDMacroCategoriaProdotto = BPM.IDMacroCategoriaProdotto INNER JOIN "
            "ZEV03_TIPISERVIZI AS TIPOSERV WITH (NOLOCK)      ON CM.TipoServizio = "
            "ZEV03_TIPOSERVIZIO  collate Latin1_General_CI_AS        Where "
            "TIPOSERV.ZEV03_INDTIPOSERV = 3 AND TIPOSERV.ZEV03_DITTA_CG18 = 1 and DataRicevuta > "
            "'2024-06-01 00:00:00' and ISNULL(BP.CODICE, '') <> '' And RT.IDRicevuteAzienda IN "
            "(SELECT ZEV91_IDAZIENDA FROM ZEV91_DITTE WITH (NOLOCK) WHERE ZEV91_DITTA_VT = 1)");
  Database& db = f_.db();
  EXPECT_EQ(Rows(db,
                 "SELECT MG66_CODART, MG66_FAM_MG53, MG66_SFAM_MG54, MG66_GRUPPO_MG55, "
                 "MG66_ALIVA_CG28, MG66_MARCA_MG64 FROM MG66_ANAGRART ORDER BY MG66_CODART"),
            "B-ACQUA|BAR|000|000|22A|-;B-COCA|BAR|007|042|22A|-;B-MIX|BAR|007|044|22A|-");
  EXPECT_EQ(Rows(db,
                 "SELECT MG87_CODART_MG66, MG87_DESCART FROM MG87_ARTDESC WHERE "
                 "MG87_CODART_MG66 = 'B-COCA'"),
            "B-COCA|COCA COLA");
  // Bar subfamilies and groups, width 3, without analytic classes.
  EXPECT_EQ(
      Rows(db, "SELECT MG54_CODSFAM, MG54_DESCRSFAM FROM MG54_SOTTOFAM ORDER BY MG54_CODSFAM"),
      "000|-;007|Bevande");
  EXPECT_EQ(Rows(db, "SELECT MG55_CODGRUPPO FROM MG55_GRUPPI ORDER BY MG55_CODGRUPPO"),
            "000;042;044");
  // Price-list entries for the priced products only.
  EXPECT_EQ(Rows(db,
                 "SELECT LI10_CODART_MG66, LI10_NUMLIST, LI10_PREZZO FROM LI10_LISTARTIC "
                 "ORDER BY LI10_CODART_MG66"),
            "B-ACQUA|1|1;B-COCA|1|2,5");
  EXPECT_EQ(w.state.abort, 0);
  EXPECT_FALSE(w.anomaly);
  EXPECT_EQ(w.document.row.service_type, "BAR");
  EXPECT_EQ(w.document.row.project_code, "");
}

TEST_F(CheckArticoliTest, BlankBarServiceTypeCodesWithV) {
  ImportRun& w = Start();
  w.service_type_bar = " ";
  f_.Exec("UPDATE ZEV03_TIPISERVIZI SET ZEV03_DESCR = NULL WHERE ZEV03_TIPOSERVIZIO = 'BAR'");
  Sale(1, 10, "2024-06-02 00:00:00", 1);

  Check_Articoli(w);

  EXPECT_EQ(Rows(f_.db(), "SELECT MG66_CODART, MG66_FAM_MG53 FROM MG66_ANAGRART"), "V-COCA|V");
  EXPECT_EQ(w.document.row.family_description, "VENDITE");
}

TEST_F(CheckArticoliTest, AFailingSelectionSetsTheAbortFlag) {
  ImportRun& w = Start();
  Sale(1, 10, "2024-06-02 00:00:00", 1);
  w.state.gym_database = "Palestra.dbo.Nessuna";  // a name the server cannot resolve

  Check_Articoli(w);

  EXPECT_EQ(w.state.abort, 99);
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "Check_Articoli");
  ASSERT_EQ(f_.messages.shown().size(), 1u);
  EXPECT_NE(f_.messages.shown()[0].text.find("Check_Articoli"), std::string::npos);
  EXPECT_EQ(Rows(f_.db(), "SELECT MG66_CODART FROM MG66_ANAGRART"), "");
}

}  // namespace
}  // namespace zodadovez
