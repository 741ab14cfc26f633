// Grouped daily documents: one document per day and section, rows summed by price, VAT and
// service, competence dates by the gym's patch level.
#include "module/engine/accorpati.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "module/common/mdlzev_zodadovez.h"
#include "module/engine/selezione.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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

const char kCondition[] =
    " WHERE RicevuteTestata.IDRicevuteAzienda IN (10, 11) And RicevuteTestata.Annullata <> -1 "
    "AND ZEV03_FLGIMPORTA = 1 AND PREZZOUNITARIO <> 0 ";

// Configuration 1 of company 1 groups receipt type "G" of gym companies 10 (section A) and 11
// (section B), both to customer 101; type "R" makes single documents. Services: "A"
// subscriptions with competence period, "V" bar sales, "X" not imported.
//   05/02/2024: 2001 (company 10) a subscription of 50 (enrolment 01/02–30/04) and 2 drinks
//               at 3; 2002 (company 10) 1 drink at 3, a free drink, a row of service X;
//               2004 (company 11) 1 drink at 3; 2005 (company 10, cancelled) 5 drinks;
//               2006 (type R) 7 drinks.
//   06/02/2024: 2003 (company 10) 1 drink at 3.
void Seed(WindowFixture& f) {
  const char* setup[] = {
      "INSERT INTO ZEV90_PARAMETRI (ZEV90_ID, ZEV90_DITTA_CG18, ZEV90_DB_NAME) VALUES (1, 1, "
      "'Palestra')",
      "INSERT INTO ZEV91_DITTE (ZEV91_DITTA_VT, ZEV91_IDPARAM_ZEV90, ZEV91_IDAZIENDA) VALUES "
      "(1, 1, 10), (1, 1, 11)",
      "INSERT INTO ZEV01_AZIENDE (ZEV01_DITTA_CG18, ZEV01_IDPARAM_ZEV90, ZEV01_AZIENDA, "
      "ZEV01_SEZDOC, ZEV01_CLIFOR_CG44, ZEV01_CODDEP_MG58, ZEV01_CODPAG_CG62, ZEV01_TIPOCONTO) "
      "VALUES (1, 1, 10, 'A', 101, '01', 'RD', 1), (1, 1, 11, 'B', 101, NULL, NULL, 1)",
      "INSERT INTO ZEV02_GYMVELTA (ZEV02_DITTA_CG18, ZEV02_TIPORICEVUTA, ZEV02_TRAS_IN_VT, "
      "ZEV02_ACCORPADOC, ZEV02_DOCUM_MG36) VALUES (1, 'G', 1, 1, 'FTC'), (1, 'R', 1, 0, 'FTC')",
      "INSERT INTO ZEV03_TIPISERVIZI (ZEV03_DITTA_CG18, ZEV03_TIPOSERVIZIO, ZEV03_DESCR, "
      "ZEV03_INDTIPOSERV, ZEV03_FLGIMPORTA, ZEV03_FLGDATACOMP) VALUES (1, 'A', 'Abbonamento "
      "palestra', 1, 1, 1), (1, 'V', NULL, 3, 1, 0), (1, 'X', 'Altro', 5, 0, 0)",
      "INSERT INTO MG36_DOCUMENTI (MG36_CODDOCUM, MG36_TIPODOC, MG36_INDDEFPIE) VALUES ('FTC', "
      "1, 1)",
      "INSERT INTO CG08_TABVALUTE (CG08_CODICE, CG08_NUMDEC) VALUES ('EURO', 2)",
      "INSERT INTO CG16_ANAGGEN (CG16_CODICE, CG16_RAGSOANAG) VALUES (1, 'CLIENTE PALESTRA')",
      "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR, CG44_CODICE_CG16) "
      "VALUES (1, 0, 101, 1)",
      "INSERT INTO CG62_CONDPAGDES (CG62_CODPAG) VALUES ('RD')",
      "INSERT INTO CG63_CONDPAGDET (CG63_CODPAG_CG62, CG63_PROG, CG63_TIPOEFF) VALUES ('RD', 1, "
      "2)",
      "INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_PERCIVA) VALUES ('22', 22)",
      "INSERT INTO HOST_SETTINGS (HOST_DITTA, HOST_CHIAVE, HOST_VALORE) VALUES (1, "
      "'GRUPPO_PDC', '1')",
      "INSERT INTO CG24_TABPDC (CG24_GRUPPO_CG10, CG24_CONTO) VALUES ('1', 'R1')",
      "INSERT INTO Palestra.dbo.RicevuteIva (IDRicevuteIva, Iva, Descrizione, CodiceIva) VALUES "
      "(1, 22, '22%', '22')",
      "INSERT INTO Palestra.dbo.CentriRicavo (IDCentro, Codice) VALUES (1, 'R1')",
      "INSERT INTO Palestra.dbo.AbbonamentiIscrizione (IDIscrizione, DataInizio, DataFine) "
      "VALUES (900, '2024-02-01 00:00:00', '2024-04-30 00:00:00')",
      "INSERT INTO Palestra.dbo.RicevuteTestata (IDRicevuta, IDRicevuteAzienda, TipoRicevuta, "
      "NumeroRicevuta, DataRicevuta, Annullata) VALUES "
      "(2001, 10, 'G', 1, '2024-02-05 00:00:00', 0), (2002, 10, 'G', 2, '2024-02-05 00:00:00', "
      "0), (2003, 10, 'G', 3, '2024-02-06 00:00:00', 0), (2004, 11, 'G', 4, '2024-02-05 "
      "00:00:00', 0), (2005, 10, 'G', 5, '2024-02-05 00:00:00', -1), (2006, 10, 'R', 6, "
      "'2024-02-05 00:00:00', 0)",
      "INSERT INTO Palestra.dbo.RicevuteRiga (IDRicevuteRiga, IDRicevuta, IDCassaMovimento, "
      "IDCentroRicavo, Qta, PrezzoUnitario, Iva, IvaDescrizione) VALUES "
      "(1, 2001, 1, 1, 1, 50, 22, '22%'), (2, 2001, 2, NULL, 2, 3, 22, '22%'), "
      "(3, 2002, 3, NULL, 1, 3, 22, '22%'), (4, 2002, 4, NULL, 1, 0, 22, '22%'), "
      "(5, 2002, 5, NULL, 1, 9, 22, '22%'), (6, 2003, 6, NULL, 1, 3, 22, '22%'), "
      "(7, 2004, 7, NULL, 1, 3, 22, '22%'), (8, 2005, 8, NULL, 5, 3, 22, '22%'), "
      "(9, 2006, 9, NULL, 7, 3, 22, '22%')",
      "INSERT INTO Palestra.dbo.CassaMovimenti (IDCassaMovimento, TipoServizio, IDIscrizione) "
      "VALUES (1, 'A', 900), (2, 'V', NULL), (3, 'V', NULL), (4, 'V', NULL), (5, 'X', NULL), "
      "(6, 'V', NULL), (7, 'V', NULL), (8, 'V', NULL), (9, 'V', NULL)",
  };
  for (const char* sql : setup) f.Exec(sql);
}

ImportRun& ShowConfiguration(WindowFixture& f) {
  ImportRun& w = f.Show();
  w.state.gym_database = "Palestra";
  w.state.configuration_id = 1;
  w.state.errors_folder = f.dir().path().string();
  w.state.present = Value(0);
  w.state.imported = Value(0);
  return w;
}

const char kDocuments[] =
    "SELECT DO11_DATADOC, DO11_SEZDOC, DO11_DOCUM_MG36, DO11_CLIFOR_CG44, DO11_CODPAG_CG62, "
    "DO11_CODDEP FROM DO11_DOCTESTATA ORDER BY DO11_DATADOC, DO11_SEZDOC";
const char kRows[] =
    "SELECT DO11_DATADOC, DO11_SEZDOC, DO30_INDTIPORIGA, DO30_CODART_MG66, DO30_DESCART, "
    "DO30_QTA1, DO30_PREZZO, DO30_IMPORTO, DO30_CODIVA_CG28, DO30_CONTO_CG24, DO30_DATAINICOMP, "
    "DO30_DATAFINCOMP FROM DO30_DOCRIGHE INNER JOIN DO11_DOCTESTATA ON DO11_DITTA_CG18 = "
    "DO30_DITTA_CG18 AND DO11_NUMREG_CO99 = DO30_NUMREG_DO11 ORDER BY DO11_DATADOC, "
    "DO11_SEZDOC, DO30_DESCART";

TEST(GestDocAccorpatoTest, OneDocumentPerDayAndSectionWithSummedRows) {
  WindowFixture f;
  Seed(f);
  ImportRun& w = ShowConfiguration(f);
  w.state.patch_level = 514100;
  f.log.Clear();

  EXPECT_TRUE(GestDocAccorpato(w, kCondition, 1));

  EXPECT_FALSE(w.anomaly) << w.error.label << ": " << w.error.description;
  EXPECT_EQ(Rows(w.db(), kDocuments),
            (std::vector<std::string>{"05/02/2024|A|FTC|101|RD|01", "05/02/2024|B|FTC|101||",
                                      "06/02/2024|A|FTC|101|RD|01"}));
  // Cancelled receipts, free rows, services not imported and receipt types not grouped stay
  // out; the two drinks of 2001 and the one of 2002 make one row.
  EXPECT_EQ(Rows(w.db(), kRows),
            (std::vector<std::string>{
                "05/02/2024|A|1||Abbonamento palestra|1|50|50|22|R1|01/02/2024|30/04/2024",
                "05/02/2024|A|1||Vendite|3|3|9|22|||",
                "05/02/2024|B|1||Vendite|1|3|3|22|||",
                "06/02/2024|A|1||Vendite|1|3|3|22|||",
            }));
  EXPECT_EQ(w.state.present, Value(3));
  EXPECT_EQ(w.state.imported.ToText(), "3");
  std::string results = ReadAll(w.state.results.path);
  for (const char* line :
       {"Documenti Presenti = 3", "Documenti Importati = 3", "Documenti Scartati = 0"}) {
    EXPECT_NE(results.find(line), std::string::npos) << line << "\n" << results;
  }
  EXPECT_FALSE(w.sales_document) << "the host document object is released";

  std::vector<std::string> texts;
  for (const StatementRecord& r : f.log.records()) texts.push_back(r.text);
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[0], "IF OBJECT_ID('tempdb..#TEMPDOC') IS NOT NULL DROP TABLE #TEMPDOC ");
  EXPECT_EQ(
      texts[1],
      "SELECT ZEV01_DITTA_CG18, ZEV01_AZIENDA, ZEV01_SEZDOC, ZEV01_CASSA_CG24,ZEV01_CLIFOR_CG44,"
      "ZEV02_DOCUM_MG36, ZEV01_CODDEP_MG58, ZEV01_TIPOCONTO, ZEV01_CODPAG_CG62,ZEV01_CODICE_CG31, "
      "DATARICEVUTA, PREZZOUNITARIO, IvaDescrizione, CENTRIRICAVOCATEGORIE.CODICE AS CPMERCE, "
      "CENTRIRICAVO.CODICE AS CPMERCECR, CASSAMOVIMENTI.TIPOSERVIZIO, "
      "TIPOSERV.ZEV03_INDTIPOSERV, TIPOSERV.ZEV03_TIPOSERVIZIO, TIPOSERV.ZEV03_DESCR, "
      "TIPOSERV.ZEV03_FLGDATACOMP, CASE WHEN TIPOSERV.ZEV03_FLGDATACOMP = 1 THEN "
      "ISNULL(RICEVUTERIGA.DataInizioOrigine, AI.DataInizio) ELSE NULL END as DataInizio,CASE "
      "WHEN TIPOSERV.ZEV03_FLGDATACOMP = 1 THEN ISNULL(RICEVUTERIGA.DataFineOrigine, "
      "AI.DataFine) ELSE NULL END as DataFine, (SELECT TOP 1 CODICEIVA FROM "
      "Palestra.DBO.RICEVUTEIVA WITH (NOLOCK) WHERE  RICEVUTEIVA.IVA = RICEVUTERIGA.IVA AND "
      "RICEVUTERIGA.IVADESCRIZIONE = RICEVUTEIVA.DESCRIZIONE) AS CODIVA, SUM(QTA) AS QTA INTO "
      "#TEMPDOC FROM ZEV90_PARAMETRI WITH (NOLOCK) INNER JOIN ZEV91_DITTE WITH (NOLOCK) ON "
      "ZEV90_ID = ZEV91_IDPARAM_ZEV90 AND ZEV90_DITTA_CG18 = ZEV91_DITTA_VT INNER JOIN "
      "ZEV01_AZIENDE WITH (NOLOCK) ON ZEV01_IDPARAM_ZEV90 = ZEV91_IDPARAM_ZEV90 AND "
      "ZEV01_AZIENDA = ZEV91_IDAZIENDA AND ZEV01_DITTA_CG18 = ZEV91_DITTA_VT INNER JOIN "
      "ZEV02_GYMVELTA WITH (NOLOCK) ON ZEV01_DITTA_CG18 = ZEV02_DITTA_CG18 AND "
      "ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 AND ISNULL(ZEV02_ACCORPADOC,0) = 1 INNER JOIN "
      "Palestra.DBO.RICEVUTETESTATA WITH (NOLOCK) ON RICEVUTETESTATA.TIPORICEVUTA = "
      "ZEV02_TIPORICEVUTA COLLATE LATIN1_GENERAL_CI_AS AND RICEVUTETESTATA.IDRICEVUTEAZIENDA = "
      "ZEV01_AZIENDA INNER JOIN Palestra.DBO.RICEVUTERIGA WITH (NOLOCK) ON "
      "RICEVUTETESTATA.IDRicevuta = RICEVUTERIGA.IDRicevuta LEFT OUTER JOIN "
      "Palestra.DBO.CASSAMOVIMENTI WITH (NOLOCK) ON RICEVUTERIGA.IDCASSAMOVIMENTO = "
      "CASSAMOVIMENTI.IDCASSAMOVIMENTO LEFT OUTER JOIN ZEV03_TIPISERVIZI AS TIPOSERV WITH "
      "(NOLOCK)  ON CASSAMOVIMENTI.TIPOSERVIZIO = ZEV03_TIPOSERVIZIO COLLATE LATIN1_GENERAL_CI_AS "
      "AND ZEV90_PARAMETRI.ZEV90_DITTA_CG18 = TIPOSERV.ZEV03_DITTA_CG18 left outer join "
      "Palestra.dbo.AbbonamentiIscrizione as AI with (NOLOCK) on "
      "CASSAMOVIMENTI.idiscrizione=AI.idiscrizione LEFT OUTER JOIN Palestra.DBO.CENTRIRICAVO "
      "WITH (NOLOCK) ON CENTRIRICAVO.IDCENTRO  = CASE WHEN CASSAMOVIMENTI.TIPOSERVIZIO = 'B'    "
      "                      THEN (SELECT IDCENTRO FROM Palestra.DBO.BE WHERE "
      "BE.IDBE=Cassamovimenti.IDServizio)                          ELSE "
      "RICEVUTERIGA.IDCENTRORICAVO END LEFT OUTER JOIN Palestra.DBO.CENTRIRICAVOCATEGORIE WITH "
      "(NOLOCK) ON CENTRIRICAVOCATEGORIE.IDCENTROCATEGORIA = CENTRIRICAVO.IDCENTROCATEGORIA  "
      "WHERE RicevuteTestata.IDRicevuteAzienda IN (10, 11) And RicevuteTestata.Annullata <> -1 "
      "AND ZEV03_FLGIMPORTA = 1 AND PREZZOUNITARIO <> 0  AND ZEV90_ID = 1 GROUP BY "
      "ZEV01_DITTA_CG18, ZEV01_AZIENDA, ZEV01_SEZDOC, ZEV01_CASSA_CG24,ZEV01_CLIFOR_CG44,"
      "ZEV02_DOCUM_MG36, ZEV01_CODDEP_MG58, ZEV01_TIPOCONTO,  ZEV01_CODPAG_CG62,"
      "ZEV01_CODICE_CG31, DATARICEVUTA, PREZZOUNITARIO, IVA, IvaDescrizione,  "
      "CENTRIRICAVOCATEGORIE.CODICE , CASSAMOVIMENTI.TIPOSERVIZIO, TIPOSERV.ZEV03_INDTIPOSERV, "
      "TIPOSERV.ZEV03_TIPOSERVIZIO, TIPOSERV.ZEV03_DESCR, TIPOSERV.ZEV03_FLGDATACOMP ,CASE WHEN "
      "TIPOSERV.ZEV03_FLGDATACOMP = 1 THEN ISNULL(RICEVUTERIGA.DataInizioOrigine, AI.DataInizio) "
      "ELSE NULL END,CASE WHEN TIPOSERV.ZEV03_FLGDATACOMP = 1 THEN "
      "ISNULL(RICEVUTERIGA.DataFineOrigine, AI.DataFine) ELSE NULL END,CENTRIRICAVO.CODICE ORDER "
      "BY DATARICEVUTA, ZEV01_SEZDOC ");
  EXPECT_EQ(texts[2],
            "SELECT DISTINCT DATARICEVUTA, ZEV01_SEZDOC FROM #TEMPDOC ORDER BY DATARICEVUTA, "
            "ZEV01_SEZDOC");
  EXPECT_EQ(texts[3],
            "SELECT * FROM #TEMPDOC WHERE DATARICEVUTA = '2024-02-05 00:00:00' AND ZEV01_SEZDOC = "
            "'A'");
}

TEST(GestDocAccorpatoTest, NoCompetenceDatesBelowPatchLevel514100) {
  WindowFixture f;
  Seed(f);
  ImportRun& w = ShowConfiguration(f);
  w.state.patch_level = 514099;
  EXPECT_TRUE(GestDocAccorpato(w, kCondition, 1));
  std::vector<std::string> rows = Rows(w.db(), kRows);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], "05/02/2024|A|1||Abbonamento palestra|1|50|50|22|R1||");
}

TEST(GestDocAccorpatoTest, NothingToGroupRepeatsTheCountersOfTheSingleDocuments) {
  WindowFixture f;
  Seed(f);
  f.Exec("UPDATE ZEV02_GYMVELTA SET ZEV02_ACCORPADOC = 0");
  ImportRun& w = ShowConfiguration(f);
  w.state.present = Value(4);
  w.state.imported = Value(3);

  EXPECT_FALSE(GestDocAccorpato(w, kCondition, 1));

  EXPECT_FALSE(w.anomaly) << w.error.description;
  EXPECT_TRUE(Rows(w.db(), "SELECT * FROM #TEMPDOC").empty());
  EXPECT_TRUE(Rows(w.db(), kDocuments).empty());
  std::string results = ReadAll(w.state.results.path);
  for (const char* line :
       {"Documenti Presenti = 4", "Documenti Importati = 3", "Documenti Scartati = 1"}) {
    EXPECT_NE(results.find(line), std::string::npos) << line << "\n" << results;
  }
}

TEST(GestDocAccorpatoTest, GroupThatCannotBeStoredIsRecordedAndTheOthersGoOn) {
  WindowFixture f;
  Seed(f);
  // Gym company 11 sends its documents to a customer the ERP lacks.
  f.Exec("UPDATE ZEV01_AZIENDE SET ZEV01_CLIFOR_CG44 = 999 WHERE ZEV01_AZIENDA = 11");
  ImportRun& w = ShowConfiguration(f);

  EXPECT_TRUE(GestDocAccorpato(w, kCondition, 1));

  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "Inserimento Documento Accorpato-- >  FTC");
  EXPECT_EQ(Rows(w.db(),
                 "SELECT DO11_DATADOC, DO11_SEZDOC FROM DO11_DOCTESTATA ORDER BY "
                 "DO11_DATADOC, DO11_SEZDOC"),
            (std::vector<std::string>{"05/02/2024|A", "06/02/2024|A"}));
  std::string results = ReadAll(w.state.results.path);
  EXPECT_NE(results.find("Documenti Presenti = 3"), std::string::npos) << results;
  EXPECT_NE(results.find("Documenti Scartati = 1"), std::string::npos) << results;
}

TEST(GestDocAccorpatoTest, SelectionBuildsTheGroupsAfterTheSingleDocuments) {
  WindowFixture f;
  Seed(f);
  f.Exec(
      "INSERT INTO Palestra.dbo.IMPOSTAZIONI (DESCRIZIONE, VALORE) VALUES ('ULTIMOPATCH', "
      "'514100')");
  ImportRun& w = ShowConfiguration(f);
  w.last_imported_date = Value("01/01/2024");
  std::vector<std::string> singles;
  w.engine.receipt_document = [&singles](ImportRun&, Recordset& receipt, std::string&) {
    singles.push_back(receipt["IdRicevuta"].ToText());
  };
  w.engine.check_kit = nullptr;
  w.engine.check_articoli = nullptr;

  ZODADOVEZ_FileS2_MOVMA(w);

  EXPECT_FALSE(w.anomaly) << w.error.label << ": " << w.error.description;
  EXPECT_EQ(singles, std::vector<std::string>{"2006"});
  EXPECT_EQ(Rows(w.db(), kDocuments).size(), 3u);
  std::string results = ReadAll(w.state.results.path);
  // The single documents' counters first, then the groups'.
  std::size_t single = results.find("Documenti Presenti = 1");
  std::size_t grouped = results.find("Documenti Presenti = 3");
  EXPECT_NE(single, std::string::npos) << results;
  EXPECT_NE(grouped, std::string::npos) << results;
  EXPECT_LT(single, grouped);
  EXPECT_EQ(results.find("Nessun Record"), std::string::npos) << results;
  // The summary of the configuration counts both.
  EXPECT_EQ(w.state.present_before_groups, 1);
  EXPECT_EQ(NzDec(w.state.present).ToInteger(), 3);
}

}  // namespace
}  // namespace zodadovez
