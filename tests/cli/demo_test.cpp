// The demo databases and `zodadovez demo`: the same seed gives the same data, the data holds
// together as the import needs it, and a second run imports nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/demo_data.h"
#include "host/data/backend.h"
#include "module/common/database.h"
#include "module/common/errors.h"
#include "tests/support/temp_dir.h"

namespace zodadovez::cli {
namespace {

using zodadovez::testing::TempDir;

std::unique_ptr<Database> OpenErp(const std::filesystem::path& dir) {
  return OpenDatabase("sqlite:" + DemoErpFile(dir).string());
}

// Every row of a query as text, one line per row.
std::string Dump(Database& db, const std::string& sql) {
  Recordset rs = db.open(sql);
  std::string out;
  for (; !rs.eof(); rs.move_next()) {
    for (std::size_t i = 0; i < rs.fields().size(); ++i) out += rs.at(i).Describe() + "|";
    out += "\n";
  }
  return out;
}

std::int64_t Count(Database& db, const std::string& sql) {
  Recordset rs = db.open(sql);
  return rs.eof() ? -1 : rs.at(0).ToInteger();
}

std::string KeyTables(const std::filesystem::path& dir) {
  auto db = OpenErp(dir);
  std::string out;
  for (const char* gym : {"Palestra", "GYM_2.Mare"}) {
    for (const char* query : {"SELECT * FROM {}.dbo.RicevuteTestata ORDER BY IDRicevuta",
                              "SELECT * FROM {}.dbo.RicevuteRiga ORDER BY IDRicevuteRiga",
                              "SELECT * FROM {}.dbo.CassaMovimenti ORDER BY IDCassaMovimento",
                              "SELECT * FROM {}.dbo.Utenti ORDER BY IDUtente",
                              "SELECT * FROM {}.dbo.AbbonamentiIscrizione ORDER BY IDIscrizione"}) {
      std::string sql(query);
      sql.replace(sql.find("{}"), 2, gym);
      out += Dump(*db, sql);
    }
  }
  out += Dump(*db, "SELECT * FROM CG16_ANAGGEN ORDER BY CG16_CODICE");
  out += Dump(*db, "SELECT * FROM ZEV01_AZIENDE ORDER BY ZEV01_IDPARAM_ZEV90, ZEV01_AZIENDA");
  return out;
}

TEST(DemoDataTest, SameSeedGivesSameRowsAndAnotherSeedOthers) {
  TempDir a, b, c;
  CreateDemoDatabases({a.path(), 40, 7});
  CreateDemoDatabases({b.path(), 40, 7});
  CreateDemoDatabases({c.path(), 40, 8});
  std::string first = KeyTables(a.path());
  EXPECT_GT(first.size(), 10000u);
  EXPECT_EQ(first, KeyTables(b.path()));
  EXPECT_NE(first, KeyTables(c.path()));

  // The files are there, and a second creation in the same place is refused.
  for (const auto& file : DemoDatabaseFiles(a.path())) EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_THROW(CreateDemoDatabases({a.path(), 40, 7}), ConfigError);
}

TEST(DemoDataTest, HoldsWhatTheImportNeeds) {
  TempDir dir;
  std::vector<std::int64_t> progress;
  CreateDemoDatabases({dir.path(), 40, 1}, [&](std::int64_t done, std::int64_t total) {
    EXPECT_EQ(total, 40);
    progress.push_back(done);
  });
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 40);
  auto db = OpenErp(dir.path());

  // The configuration list of company 1 offers both configurations; the first is on the ERP's
  // own server, the second behind a linked server.
  EXPECT_EQ(Dump(*db,
                 "SELECT DISTINCT ZEV90_ID, ZEV90_NOME_SERVER, ZEV90_CODIVA_CG28 FROM "
                 "ZEV90_PARAMETRI INNER JOIN ZEV91_DITTE ON ZEV90_DITTA_CG18 = ZEV91_DITTA_VT AND "
                 "ZEV90_ID = ZEV91_IDPARAM_ZEV90 WHERE ZEV90_DITTA_CG18 = 1 ORDER BY ZEV90_ID"),
            "1|\"" + db->server_name() + "\"|\"22\"|\n2|\"GYMSRV2\"|\"22\"|\n");
  Recordset errors = db->open("SELECT DISTINCT ZEV90_PATH_ERRORI FROM ZEV90_PARAMETRI");
  ASSERT_EQ(errors.record_count(), 1u);
  EXPECT_EQ(errors.at(0).as_text(), (dir.path() / "log").string());
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "log"));
  // Every gym company is set up: account type, default customer that exists, the accounts.
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM ZEV91_DITTE INNER JOIN ZEV01_AZIENDE ON ZEV91_DITTA_VT = "
                  "ZEV01_DITTA_CG18 AND ZEV91_IDPARAM_ZEV90 = ZEV01_IDPARAM_ZEV90 AND "
                  "ZEV91_IDAZIENDA = ZEV01_AZIENDA INNER JOIN CG44_CLIFOR ON CG44_DITTA_CG18 = 1 "
                  "AND CG44_TIPOCF = 0 AND CG44_CLIFOR = ZEV01_CLIFOR_CG44 INNER JOIN CG24_TABPDC "
                  "ON CG24_CONTO = ZEV01_CASSA_CG24 WHERE ZEV01_TIPOCONTO BETWEEN 1 AND 4"),
            4);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM CG63_CONDPAGDET WHERE CG63_TIPOEFF = 1"), 1);

  for (const std::string gym : {"Palestra", "GYM_2.Mare"}) {
    SCOPED_TRACE(gym);
    std::string g = gym + ".dbo.";
    // Receipts of every kind the selection tells apart (the seaside centre's few receipts
    // need not show them all).
    std::string receipts = "SELECT COUNT(*) FROM " + g +
                           "RicevuteTestata R INNER JOIN ZEV02_GYMVELTA ON ZEV02_TIPORICEVUTA = "
                           "R.TipoRicevuta WHERE ";
    if (gym == "Palestra") {
      EXPECT_GT(Count(*db, receipts + "R.Annullata = -1"), 0);
      EXPECT_GT(Count(*db, receipts + "R.IDUtente IS NULL AND ZEV02_ACCORPADOC = 0"), 0);
      EXPECT_GT(Count(*db, receipts + "ZEV02_TRAS_IN_VT = 0"), 0);
      EXPECT_GT(Count(*db, receipts + "ZEV02_ACCORPADOC = 1 AND R.Annullata = 0"), 0);
    }
    EXPECT_GT(Count(*db, receipts + "R.IDUtente IS NOT NULL AND ZEV02_TRAS_IN_VT = 1 AND "
                                    "ZEV02_ACCORPADOC = 0 AND R.Annullata = 0"),
              0);
    // No receipt refers to a user, row or VAT rate that is not there.
    EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM " + g + "RicevuteTestata R LEFT JOIN " + g +
                             "Utenti U ON U.IDUtente = R.IDUtente WHERE R.IDUtente IS NOT NULL "
                             "AND U.IDUtente IS NULL"),
              0);
    EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM " + g +
                             "RicevuteTestata R WHERE NOT EXISTS "
                             "(SELECT 1 FROM " +
                             g +
                             "RicevuteRiga W WHERE W.IDRicevuta = "
                             "R.IDRicevuta)"),
              0);
    EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM " + g + "RicevuteRiga W LEFT JOIN " + g +
                             "RicevuteIva I ON I.Iva = W.Iva AND I.Descrizione = "
                             "W.IvaDescrizione LEFT JOIN CG28_TABCODIVA ON CG28_CODICE = "
                             "I.CodiceIva WHERE CG28_CODICE IS NULL"),
              0);
    // Every till movement has a configured service type, and what it sold is in the
    // catalogues the article coding reads.
    std::string movements = "SELECT COUNT(*) FROM " + g + "CassaMovimenti C ";
    EXPECT_EQ(Count(*db, movements + "LEFT JOIN ZEV03_TIPISERVIZI ON ZEV03_TIPOSERVIZIO = "
                                     "C.TipoServizio WHERE ZEV03_TIPOSERVIZIO IS NULL"),
              0);
    EXPECT_EQ(Count(*db, movements + "LEFT JOIN " + g +
                             "AbbonamentiIscrizione I ON "
                             "I.IDIscrizione = C.IDIscrizione LEFT JOIN " +
                             g +
                             "AbbonamentiDurata D ON D.IDDurata = I.IDDurata WHERE "
                             "C.TipoServizio = 'A' AND (D.IDDurata IS NULL OR I.DataFine "
                             "< I.DataInizio)"),
              0);
    EXPECT_EQ(Count(*db, movements + "LEFT JOIN " + g +
                             "BarMovimenti B ON B.IDBarTotale = "
                             "C.IDIscrizione LEFT JOIN " +
                             g +
                             "BarProdotti P ON "
                             "P.IDProdotto = B.IDProdotto LEFT JOIN " +
                             g +
                             "BE ON BE.IDBE = C.IDServizio WHERE C.TipoServizio = 'B' AND "
                             "(P.Codice IS NULL OR BE.IDCentro IS NULL)"),
              0);
    EXPECT_EQ(Count(*db, movements + "LEFT JOIN " + g +
                             "CentriRicavoMovimenti M ON "
                             "M.IDCassaMovimento = C.IDCassaMovimento LEFT JOIN " +
                             g + "TicketEmessi E ON E.ID = M.IDTicketEmessi LEFT JOIN " + g +
                             "Ticket T ON T.IDTicket = E.IDTicket WHERE C.TipoServizio = "
                             "'T' AND T.IDTicket IS NULL"),
              0);
    EXPECT_EQ(Count(*db, movements + "LEFT JOIN " + g +
                             "A2Iscrizioni I ON I.IDA2Iscrizione = "
                             "C.IDIscrizione LEFT JOIN " +
                             g +
                             "A2Appuntamenti P ON "
                             "P.IDA2Appuntamento = I.IDA2Appuntamento LEFT JOIN " +
                             g + "A2Impegni M ON M.IDA2Impegno = P.IDA2Impegno LEFT JOIN " + g +
                             "A2Servizi S ON S.IDA2Servizio = M.IDA2Servizio WHERE "
                             "C.TipoServizio = 'G' AND S.IDA2Servizio IS NULL"),
              0);
    // Each row's revenue centre leads to a ledger account, as its company's account type
    // finds it: the centre or category code itself (1, 2) or its mapping (3, 4).
    EXPECT_EQ(
        Count(*db, "SELECT COUNT(*) FROM " + g + "RicevuteRiga W INNER JOIN " + g +
                       "RicevuteTestata R ON R.IDRicevuta = W.IDRicevuta INNER JOIN " + g +
                       "CassaMovimenti C ON C.IDCassaMovimento = W.IDCassaMovimento LEFT JOIN " +
                       g + "BE ON BE.IDBE = C.IDServizio AND C.TipoServizio = 'B' LEFT JOIN " + g +
                       "CentriRicavo N ON N.IDCentro = ISNULL(BE.IDCentro, W.IDCentroRicavo) "
                       "LEFT JOIN " +
                       g +
                       "CentriRicavoCategorie K ON K.IDCentroCategoria = N.IDCentroCategoria "
                       "INNER JOIN ZEV01_AZIENDE A ON A.ZEV01_AZIENDA = R.IDRicevuteAzienda AND "
                       "A.ZEV01_IDPARAM_ZEV90 = " +
                       (gym == "Palestra" ? "1" : "2") +
                       " LEFT JOIN ZEV05_CPMERCE M ON M.ZEV05_IDPARAM_ZEV90 = "
                       "A.ZEV01_IDPARAM_ZEV90 AND M.ZEV05_AZIENDA = A.ZEV01_AZIENDA AND "
                       "M.ZEV05_CONTO_GYM = CASE A.ZEV01_TIPOCONTO WHEN 3 THEN N.Codice ELSE "
                       "K.Codice END LEFT JOIN CG24_TABPDC P ON P.CG24_CONTO = CASE "
                       "A.ZEV01_TIPOCONTO WHEN 1 THEN N.Codice WHEN 2 THEN K.Codice ELSE "
                       "M.ZEV05_CONTO_CG24 END WHERE P.CG24_CONTO IS NULL"),
        0);
    // The last day with receipts has a receipt the selection takes one by one: a "Normale" run
    // ends on that day, so that the next one finds nothing newer.
    EXPECT_GT(Count(*db, "SELECT COUNT(*) FROM " + g +
                             "RicevuteTestata R INNER JOIN "
                             "ZEV02_GYMVELTA ON ZEV02_TIPORICEVUTA = R.TipoRicevuta AND "
                             "ZEV02_TRAS_IN_VT = 1 AND ZEV02_ACCORPADOC = 0 WHERE R.Annullata = "
                             "0 AND R.DataRicevuta = (SELECT MAX(DataRicevuta) FROM " +
                             g + "RicevuteTestata)"),
              0);
  }
  // Grouped receipts are the city gym's only: the seaside centre's run keeps its end date.
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM GYM_2.Mare.dbo.RicevuteTestata WHERE TipoRicevuta = "
                  "'S'"),
            0);
  // Users carry tax codes of the right form and check letter; some towns are missing from the
  // ERP's town table.
  Recordset users = db->open("SELECT CodiceFiscale FROM Palestra.dbo.Utenti");
  for (; !users.eof(); users.move_next()) {
    std::string code = users.at(0).as_text();
    ASSERT_EQ(code.size(), 16u) << code;
    EXPECT_EQ(code[15], CodiceFiscaleCheck(code.substr(0, 15))) << code;
  }
  EXPECT_GT(Count(*db,
                  "SELECT COUNT(*) FROM Palestra.dbo.Utenti U LEFT JOIN CG01_ANAGCOMUNI ON "
                  "CG01_DESCR = U.Indirizzo_Citta WHERE CG01_CODICE IS NULL"),
            0);
  EXPECT_GT(Count(*db,
                  "SELECT COUNT(*) FROM Palestra.dbo.Utenti U INNER JOIN CG01_ANAGCOMUNI "
                  "ON CG01_DESCR = U.Indirizzo_Citta"),
            0);
}

TEST(DemoDataTest, ReceiptsAddUpAndNumbersDoNotRepeat) {
  TempDir dir;
  CreateDemoDatabases({dir.path(), 120, 3});
  auto db = OpenErp(dir.path());
  for (const std::string gym : {"Palestra", "GYM_2.Mare"}) {
    SCOPED_TRACE(gym);
    std::string g = gym + ".dbo.";
    // The header total is the sum of its rows, each till movement the amount of its row.
    EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM " + g +
                             "RicevuteTestata R WHERE ABS(R.Totale - (SELECT SUM(ISNULL(W.Qta, 1) "
                             "* W.PrezzoUnitario) FROM " +
                             g + "RicevuteRiga W WHERE W.IDRicevuta = R.IDRicevuta)) > 0.001"),
              0);
    EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM " + g + "RicevuteRiga W INNER JOIN " + g +
                             "CassaMovimenti C ON C.IDCassaMovimento = W.IDCassaMovimento "
                             "INNER JOIN " +
                             g +
                             "RicevuteTestata R ON R.IDRicevuta = W.IDRicevuta WHERE "
                             "C.IDRicevuteRiga <> W.IDRicevuteRiga OR C.IDRicevutaAzienda <> "
                             "R.IDRicevuteAzienda OR ABS(C.Importo - ISNULL(W.Qta, 1) * "
                             "W.PrezzoUnitario) > 0.001"),
              0);
    // A receipt number is used once per gym company, and numbers grow with the dates: the
    // import would otherwise flag documents as already present.
    EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM " + g + "RicevuteTestata A INNER JOIN " + g +
                             "RicevuteTestata B ON A.IDRicevuteAzienda = B.IDRicevuteAzienda AND "
                             "A.IDRicevuta < B.IDRicevuta WHERE A.NumeroRicevuta >= "
                             "B.NumeroRicevuta OR A.DataRicevuta > B.DataRicevuta"),
              0);
  }
  // Subscription rows carry their period from patch level 514100 on, as the enrolment has it;
  // below it the period is the enrolment's only.
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM Palestra.dbo.RicevuteRiga W INNER JOIN "
                  "Palestra.dbo.CassaMovimenti C ON C.IDCassaMovimento = W.IDCassaMovimento "
                  "INNER JOIN Palestra.dbo.AbbonamentiIscrizione I ON I.IDIscrizione = "
                  "C.IDIscrizione WHERE C.TipoServizio = 'A' AND (W.DataInizioOrigine IS NULL OR "
                  "W.DataInizioOrigine <> I.DataInizio OR W.DataFineOrigine <> I.DataFine)"),
            0);
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM GYM_2.Mare.dbo.RicevuteRiga WHERE "
                  "DataInizioOrigine IS NOT NULL"),
            0);
  EXPECT_EQ(Dump(*db,
                 "SELECT DESCRIZIONE, VALORE FROM Palestra.dbo.IMPOSTAZIONI WHERE "
                 "DESCRIZIONE = 'ULTIMOPATCH' UNION ALL SELECT DESCRIZIONE, VALORE FROM "
                 "GYM_2.Mare.dbo.IMPOSTAZIONI WHERE DESCRIZIONE = 'ULTIMOPATCH'"),
            "\"ULTIMOPATCH\"|\"514230\"|\n\"ULTIMOPATCH\"|\"513800\"|\n");
}

TEST(DemoDataTest, TaxCodesAndVatNumbers) {
  EXPECT_EQ(CodiceFiscale("Rossi", "Mario", 1980, 1, 1, false, "H501"), "RSSMRA80A01H501U");
  // A woman's day is raised by 40; a first name of four consonants or more skips the second.
  EXPECT_EQ(CodiceFiscale("Rossi", "Maria", 1985, 3, 1, true, "H501").substr(0, 15),
            "RSSMRA85C41H501");
  EXPECT_EQ(CodiceFiscale("Bianchi", "Gianfranco", 1972, 12, 25, false, "F205").substr(0, 11),
            "BNCGFR72T25");
  // Short names are filled with vowels, then X; apostrophes and blanks do not count.
  EXPECT_EQ(CodiceFiscale("Fo", "Al", 2001, 6, 9, false, "F205").substr(0, 6), "FOXLAX");
  EXPECT_EQ(CodiceFiscale("D'Angelo", "Paola", 1990, 5, 10, true, "I274").substr(0, 6), "DNGPLA");
  EXPECT_EQ(CodiceFiscale("De Luca", "Anna", 1990, 5, 10, true, "I274").substr(0, 6), "DLCNNA");
  EXPECT_EQ(PartitaIvaCheck("0123456789"), '7');
  EXPECT_EQ(PartitaIvaCheck("0000000000"), '0');
}

// --- The command ---------------------------------------------------------------------------

struct Result {
  int code;
  std::string out;  // standard output and standard error together
};

Result RunCommand(const std::string& args) {
  std::string command = std::string(ZODADOVEZ_BINARY) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string out;
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.append(buffer.data(), n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Kits: every bar product of the category "KIT" is an ERP article with a bill of materials,
// but for the one left without on purpose; an import explodes the others into their
// components and holds back the receipts of that one, saying so.
TEST(DemoCommandTest, EveryKitHasItsBillOrDeliberatelyNone) {
  TempDir dir;
  Result run = RunCommand("demo --dir '" + (dir.path() / "d").string() + "' --receipts 1500");
  ASSERT_EQ(run.code, 0) << run.out;
  auto db = OpenErp(dir.path() / "d");

  std::string kits;
  for (const char* gym : {"Palestra", "GYM_2.Mare"}) {
    kits += Dump(*db, std::string("SELECT P.Codice, COUNT(DISTINCT B.IDBarMovimento), "
                                  "COUNT(DISTINCT A.MG66_CODART), COUNT(DISTINCT D.PD95_IDDISBA) "
                                  "FROM ") +
                          gym + ".dbo.BarProdotti P INNER JOIN " + gym +
                          ".dbo.BarProdottiCategoria C ON C.IDProdottoCategoria = "
                          "P.IDProdottoCategoria LEFT JOIN " +
                          gym +
                          ".dbo.BarMovimenti B ON B.IDProdotto = P.IDProdotto LEFT JOIN "
                          "MG66_ANAGRART A ON A.MG66_DITTA_CG18 = 1 AND A.MG66_CODART = "
                          "P.Codice LEFT JOIN PD95_DISBA D ON D.PD95_DITTA_CG18 = 1 AND "
                          "D.PD95_CODART_MG66 = P.Codice AND D.PD95_TIPO_DISTINTA = 50 WHERE "
                          "C.Descrizione = 'KIT' GROUP BY P.Codice ORDER BY P.Codice");
  }
  // Code, sales, article, bill: each kit sold at this size, each an article.
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = kits.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = kits.substr(at, end - at);
    std::string code = line.substr(0, line.find('|'));
    lines.push_back(code);
    std::string rest = line.substr(code.size() + 1);
    EXPECT_NE(rest.substr(0, 2), "0|") << line;
    EXPECT_EQ(rest.substr(rest.find('|') + 1), code == "\"KITSAUNA\"" ? "1|0|" : "1|1|") << line;
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"\"KITBENV\"", "\"KITNUOTO\"", "\"KITSAUNA\"",
                                             "\"KITMARE\""}));
  // No other product has a bill, and every component is an article with a description.
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM PD95_DISBA WHERE PD95_CODART_MG66 NOT LIKE 'KIT%'"),
            0);
  EXPECT_EQ(Count(*db,
                  "SELECT COUNT(*) FROM PD96_LEGAMIDISBA L LEFT JOIN MG87_ARTDESC D ON "
                  "D.MG87_DITTA_CG18 = 1 AND D.MG87_CODART_MG66 = L.PD96_CODART_MG66 WHERE "
                  "D.MG87_DESCART IS NULL"),
            0);

  EXPECT_GT(Count(*db, "SELECT COUNT(*) FROM DO30_DOCRIGHE WHERE DO30_CODART_MG66 = 'KC-CUFFIA'"),
            0);
  EXPECT_GT(Count(*db, "SELECT COUNT(*) FROM DO30_DOCRIGHE WHERE DO30_CODART_MG66 = 'KC-TELO'"), 0);
  EXPECT_EQ(Count(*db, "SELECT COUNT(*) FROM DO30_DOCRIGHE WHERE DO30_CODART_MG66 = 'KITSAUNA'"),
            0);
  std::string results;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(dir.path() / "d" / "log")) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    results.append(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_NE(results.find("Kit non presente x l'articolo --> KITSAUNAID Documento N. "),
            std::string::npos);
  EXPECT_EQ(results.find("--> KITBENVID"), std::string::npos);
}

TEST(DemoCommandTest, SecondRunImportsNothingAndFreshStartsOver) {
  TempDir dir;
  std::string demo = "demo --dir '" + (dir.path() / "d").string() + "' --receipts 40";
  const std::string documents = "SELECT COUNT(*) FROM DO11_DOCTESTATA";

  Result first = RunCommand(demo);
  ASSERT_EQ(first.code, 0) << first.out;
  EXPECT_NE(first.out.find("Created the demo databases"), std::string::npos) << first.out;
  std::int64_t imported = Count(*OpenErp(dir.path() / "d"), documents);
  EXPECT_GT(imported, 0);

  Result second = RunCommand(demo);
  ASSERT_EQ(second.code, 0) << second.out;
  EXPECT_NE(second.out.find("Using the demo databases already in"), std::string::npos);
  EXPECT_NE(second.out.find("Nothing new to import: the receipts up to 29/06/2024"),
            std::string::npos)
      << second.out;
  auto db = OpenErp(dir.path() / "d");
  EXPECT_EQ(Count(*db, documents), imported);
  EXPECT_EQ(Count(*db, "SELECT ISNULL(SUM(ZEV99_TOTIMP), 0) FROM ZEV99_RESULT WHERE ZEV99_ID > 2"),
            0);
  db.reset();

  // Part of the databases gone: the command says to start over, and --fresh does.
  std::filesystem::remove(DemoDatabaseFiles(dir.path() / "d")[2]);
  Result partial = RunCommand(demo);
  EXPECT_EQ(partial.code, 2) << partial.out;
  EXPECT_NE(partial.out.find("--fresh"), std::string::npos) << partial.out;
  Result fresh = RunCommand(demo + " --fresh");
  ASSERT_EQ(fresh.code, 0) << fresh.out;
  EXPECT_EQ(Count(*OpenErp(dir.path() / "d"), documents), imported);
}

}  // namespace
}  // namespace zodadovez::cli
