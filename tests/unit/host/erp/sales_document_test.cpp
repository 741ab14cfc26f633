#include "host/erp/sales_document.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host/data/backend.h"
#include "host/data/faulty_database.h"
#include "host/erp/stand_in_host.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/transaction.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

class SalesDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* setup[] = {
        "INSERT INTO MG36_DOCUMENTI (MG36_CODDOCUM, MG36_TIPODOC) VALUES ('FTC', 1), ('NCC', 6)",
        "INSERT INTO MG3G_DOCDITTA (MG3G_DITTA_CG18, MG3G_CODDOCUM_MG36, MG3G_SEZDEFAULT) VALUES "
        "(1, 'FTC', 'A'), (1, 'NCC', 'N')",
        "INSERT INTO CG08_TABVALUTE (CG08_CODICE, CG08_NUMDEC) VALUES ('EURO', 2), ('LIT', 0)",
        "INSERT INTO CG16_ANAGGEN (CG16_CODICE, CG16_RAGSOANAG, CG16_PARTIVA) VALUES "
        "(1, 'ROSSI MARIO', '01234567890')",
        // Customer 101 pays "RD" unless told otherwise; 500 is a supplier.
        "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR, CG44_CODICE_CG16, "
        "CG44_CODPAG_CG62) VALUES (1, 0, 101, 1, 'RD'), (1, 1, 500, 1, NULL)",
        "INSERT INTO CG62_CONDPAGDES (CG62_CODPAG) VALUES ('RD'), ('1'), ('3060')",
        // Effect type 1 (cash): all of "1", the second instalment of "3060", nothing of "RD".
        "INSERT INTO CG63_CONDPAGDET (CG63_CODPAG_CG62, CG63_PROG, CG63_TIPOEFF) VALUES "
        "('RD', 1, 2), ('1', 1, 1), ('3060', 1, 2), ('3060', 2, 1)",
        "INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_PERCIVA) VALUES ('22', 22), ('E1', NULL)",
        "INSERT INTO MG87_ARTDESC (MG87_DITTA_CG18, MG87_CODART_MG66, MG87_LINGUA_MG52, "
        "MG87_DESCART) VALUES (1, 'ABB12', 'EN', 'Yearly pass'), (1, 'ABB12', '', 'Abbonamento')",
        "INSERT INTO HOST_SETTINGS (HOST_DITTA, HOST_CHIAVE, HOST_VALORE) VALUES "
        "(0, 'CONTO_CONTROPARTITA', '1800000'), (1, 'CONTO_CONTROPARTITA', '1899999')",
    };
    for (const char* sql : setup) f_.Exec(sql);
  }

  std::unique_ptr<StandInSalesDocument> Bound(const std::string& type, Database* db = nullptr) {
    auto doc = std::make_unique<StandInSalesDocument>(f_.clock_);
    SalesDocument::Settings settings;
    settings.connection = db != nullptr ? db : &f_.db();
    settings.company = 1;
    settings.document_type = type;
    doc->Configure(settings);
    doc->Start();
    return doc;
  }

  // The header of a receipt of customer 101 paid with `terms`.
  static void Header(SalesDocument& doc, const std::string& terms, std::int64_t number = 0) {
    for (int i = 0; i < 7; ++i) doc.Prepare("1=0");
    doc.NewDocument();
    doc.SetCustomer(Value(101));
    doc.SetPayment(terms);
    if (number != 0) doc.SetNumber(number);
    doc.SetDate(Value("05/02/2024"));
  }

  static void AddRow(SalesDocument& doc, const std::string& article, double price, double quantity,
                     const std::string& vat = "22") {
    doc.NewRow();
    doc.Row().Set("DO30_INDTIPORIGA", article.empty() ? 1 : 0);
    doc.SetArticle(article);
    doc.SetPrice(price);
    doc.SetQuantity(quantity);
    doc.SetVatCode(vat);
    doc.ConfirmRow();
  }

  std::int64_t Count(const std::string& table) {
    return f_.db().open("SELECT COUNT(*) AS N FROM " + table)["N"].ToInteger();
  }
  std::int64_t Progressive() {
    Recordset rs =
        f_.db().open("SELECT CG26_VALPROG FROM CG26_PROGANAG WHERE CG26_CODICE = 'NUMREG_CO99_1'");
    return rs.eof() ? -1 : rs["CG26_VALPROG"].ToInteger();
  }
  void ExpectNothingWritten() {
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 0);
    EXPECT_EQ(Count("CG41_PRIMANOTA"), 0);
    EXPECT_EQ(Count("CG42_MOVCONT"), 0);
  }

  WindowFixture f_;
};

TEST_F(SalesDocumentTest, SavesHeaderAndConfirmedRows) {
  StandInOptions options;
  options.connection = f_.dir().Uri();
  options.clock = &f_.clock_;
  StandInHost host(options);
  std::unique_ptr<SalesDocument> doc = host.CreateSalesDocument();
  SalesDocument::Settings settings;
  settings.connection = &f_.db();
  settings.company = 1;
  settings.document_type = "FTC ";
  doc->Configure(settings);
  doc->Start();

  Header(*doc, "RD", 1001);
  EXPECT_EQ(doc->Header().Get("do11_tipodoc"), Value(1));
  doc->Header().Set("do11_codsede_cg31", 3);
  EXPECT_THROW(doc->Header().Set("DO11_NON_ESISTE", 1), DataError);
  AddRow(*doc, "ABB12", 10.5, 3);
  EXPECT_EQ(doc->Row().Get("DO30_IMPORTO").ToDecimal(), Decimal::Parse("31.5"));
  doc->NewRow();
  doc->Row().Set("DO30_INDTIPORIGA", 1);
  doc->Row().Set("DO30_DESCART", "Quota associativa");
  doc->SetArticle("");
  doc->SetQuantity(1);
  doc->SetPrice(30);
  doc->SetVatCode("E1");
  doc->SetRowPayment("1");
  doc->SetRevenueAccount("5801001");
  doc->SetCompetenceStart(Value("01/02/2024"));
  doc->SetCompetenceEnd(Value("31/01/2025"));
  doc->Recompute();
  doc->ConfirmRow();
  doc->NewRow();  // never confirmed: not part of the document
  doc->SetArticle("ABB12");
  doc->SetPrice(99);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();

  Recordset h = f_.db().open("SELECT * FROM DO11_DOCTESTATA");
  ASSERT_EQ(h.record_count(), 1u);
  EXPECT_EQ(RTrimNz(h["DO11_DOCUM_MG36"]), "FTC");
  EXPECT_EQ(RTrimNz(h["DO11_SEZDOC"]), "A");
  EXPECT_EQ(h["DO11_NUMDOC"].ToInteger(), 1001);
  EXPECT_EQ(h["DO11_DATADOC"].ToDate(), MakeDateTime(2024, 2, 5));
  EXPECT_EQ(h["DO11_DATAREG"].ToDate(), MakeDateTime(2024, 7, 15));  // the host's clock
  EXPECT_EQ(h["DO11_CLIFOR_CG44"].ToInteger(), 101);
  EXPECT_EQ(RTrimNz(h["DO11_RAGSOANAG"]), "ROSSI MARIO");
  EXPECT_EQ(RTrimNz(h["DO11_CODPAG_CG62"]), "RD");
  EXPECT_EQ(h["DO11_CODSEDE_CG31"].ToInteger(), 3);
  // 31.50 at 22 % and 30 exempt.
  EXPECT_EQ(h["DO11_TOTIMPONIBILE"].ToDecimal(), Decimal::Parse("61.5"));
  EXPECT_EQ(h["DO11_TOTIVA"].ToDecimal(), Decimal::Parse("6.93"));
  EXPECT_EQ(h["DO11_TOTDOC"].ToDecimal(), Decimal::Parse("68.43"));
  std::string registration = RTrimNz(h["DO11_NUMREG_CO99"]);
  EXPECT_EQ(doc->LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99"), registration);
  EXPECT_EQ(doc->LastValue("do11_doctestata", "DO11_CODPAG_CG62"), "RD");

  Recordset r = f_.db().open("SELECT * FROM DO30_DOCRIGHE ORDER BY DO30_RIGA");
  ASSERT_EQ(r.record_count(), 2u);
  EXPECT_EQ(RTrimNz(r["DO30_NUMREG_DO11"]), registration);
  EXPECT_EQ(r["DO30_RIGA"].ToInteger(), 1);
  EXPECT_EQ(RTrimNz(r["DO30_DESCART"]), "Abbonamento");  // the language-neutral text
  EXPECT_EQ(RTrimNz(r["DO30_CODPAG_CG62"]), "RD");       // the header's, when the row has none
  r.move_next();
  EXPECT_EQ(r["DO30_RIGA"].ToInteger(), 2);
  EXPECT_EQ(RTrimNz(r["DO30_DESCART"]), "Quota associativa");
  EXPECT_TRUE(r["DO30_CODART_MG66"].is_null());
  EXPECT_EQ(r["DO30_IMPORTO"].ToDecimal(), Decimal(30));
  EXPECT_EQ(RTrimNz(r["DO30_CODPAG_CG62"]), "1");
  EXPECT_EQ(RTrimNz(r["DO30_CONTO_CG24"]), "5801001");
  EXPECT_EQ(r["DO30_DATAFINCOMP"].ToDate(), MakeDateTime(2025, 1, 31));
  EXPECT_EQ(doc->LastValue("DO30_DOCRIGHE", "DO30_RIGA"), "2");

  // Terms without an instalment of effect type 1: no registration.
  EXPECT_EQ(Count("CG41_PRIMANOTA"), 0);
  EXPECT_EQ(Count("CG42_MOVCONT"), 0);
}

TEST_F(SalesDocumentTest, AmountsRoundHalfAwayFromZeroToTheCurrencyDecimals) {
  struct Case {
    const char* currency;
    double price;
    double quantity;
    const char* amount;
  } cases[] = {
      {"EURO", 0.335, 3, "1.01"},    // 1.005: half a cent goes up
      {"EURO", -0.335, 3, "-1.01"},  // and away from zero below it
      {"EURO", 0.1, 3, "0.3"},       // no binary noise from the doubles
      {"LIT", 2.5, 1, "3"},          // a currency without decimals
      {"XYZ", 1.234, 1, "1.23"},     // an unknown currency counts 2 decimals
  };
  auto doc = Bound("FTC");
  for (const Case& c : cases) {
    Header(*doc, "RD");
    doc->Header().Set("DO11_CODVAL_CG08", c.currency);
    doc->NewRow();
    doc->SetArticle("ABB12");
    doc->SetPrice(c.price);
    doc->SetQuantity(c.quantity);
    EXPECT_EQ(doc->Row().Get("DO30_IMPORTO").ToDecimal(), Decimal::Parse(c.amount))
        << c.currency << " " << c.price << " x " << c.quantity;
  }
}

TEST_F(SalesDocumentTest, NumbersADocumentWithoutNumberWithinTypeSectionAndYear) {
  const char* existing[] = {"'FTC', 'A', 2024, 7, 9001", "'FTC', 'B', 2024, 50, 9002",
                            "'FTC', 'A', 2023, 90, 9003", "'NCC', 'A', 2024, 99, 9004"};
  for (const char* values : existing) {
    f_.Exec(std::string("INSERT INTO DO11_DOCTESTATA (DO11_DOCUM_MG36, DO11_SEZDOC, "
                        "DO11_ANNODOC, DO11_NUMDOC, DO11_NUMREG_CO99, DO11_DITTA_CG18) VALUES (") +
            values + ", 1)");
  }
  auto doc = Bound("FTC");
  std::vector<std::string> numbers;
  for (const char* section : {"A", "A", "B"}) {
    Header(*doc, "RD");
    doc->Header().Set("DO11_SEZDOC", section);
    AddRow(*doc, "ABB12", 10, 1);
    doc->Save();
    ASSERT_EQ(doc->error(), 0) << doc->error_description();
    numbers.push_back(doc->LastValue("DO11_DOCTESTATA", "DO11_NUMDOC"));
  }
  EXPECT_EQ(numbers, (std::vector<std::string>{"8", "9", "51"}));
  // A number given is kept, even one already used.
  Header(*doc, "RD", 7);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(doc->LastValue("DO11_DOCTESTATA", "DO11_NUMDOC"), "7");
}

TEST_F(SalesDocumentTest, TakesTheRegistrationNumberFromTheProgressive) {
  auto doc = Bound("FTC");
  // No progressive yet: it starts after the numbers documents and journal already use.
  f_.Exec(
      "INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_NUMDOC) VALUES "
      "(1, 5001, 1)");
  f_.Exec("INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG) VALUES (1, 7001)");
  f_.Exec("INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG) VALUES (2, 9999)");
  Header(*doc, "RD", 1);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(doc->LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99"), "7002");
  EXPECT_EQ(Progressive(), 7002);

  f_.Exec("UPDATE CG26_PROGANAG SET CG26_VALPROG = 8000 WHERE CG26_CODICE = 'NUMREG_CO99_1'");
  Header(*doc, "RD", 2);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(doc->LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99"), "8001");
  EXPECT_EQ(Progressive(), 8001);
}

TEST_F(SalesDocumentTest, FailedSaveLeavesNothingWritten) {
  auto doc = Bound("FTC");
  EXPECT_THROW(doc->SetCustomer(Value(4242)), Error);
  EXPECT_THROW(doc->SetCustomer(Value(500)), Error);  // a supplier, not a customer

  // A customer unknown to the company, written straight into the header.
  Header(*doc, "1", 1);
  AddRow(*doc, "ABB12", 10, 1);
  doc->Header().Set("DO11_CLIFOR_CG44", 4242);
  doc->Save();
  EXPECT_NE(doc->error(), 0);
  EXPECT_NE(doc->error_description().find("4242"), std::string::npos);
  EXPECT_EQ(doc->LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99"), "");
  ExpectNothingWritten();
  EXPECT_EQ(Count("DO30_DOCRIGHE"), 0);
  EXPECT_EQ(Progressive(), -1);

  // A row that collides with one already there, after the header and the first row.
  f_.Exec("INSERT INTO CG26_PROGANAG (CG26_CODICE, CG26_VALPROG) VALUES ('NUMREG_CO99_1', 40)");
  f_.Exec(
      "INSERT INTO DO30_DOCRIGHE (DO30_DITTA_CG18, DO30_NUMREG_DO11, DO30_RIGA, DO30_DESCART) "
      "VALUES (1, 41, 2, 'orphan')");
  Header(*doc, "1", 1);
  AddRow(*doc, "ABB12", 10, 1);
  AddRow(*doc, "ABB12", 20, 1);
  AddRow(*doc, "ABB12", 30, 1);
  doc->Save();
  EXPECT_NE(doc->error(), 0);
  ExpectNothingWritten();
  EXPECT_EQ(Count("DO30_DOCRIGHE"), 1);  // the row that was there
  EXPECT_EQ(Progressive(), 40);

  // A journal movement in the way, after the document and both registrations were written.
  f_.Exec("DELETE FROM DO30_DOCRIGHE");
  f_.Exec(
      "INSERT INTO CG42_MOVCONT (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_RIGA) VALUES (1, 42, 1)");
  doc->Save();
  EXPECT_NE(doc->error(), 0);
  EXPECT_EQ(Count("DO11_DOCTESTATA"), 0);
  EXPECT_EQ(Count("DO30_DOCRIGHE"), 0);
  EXPECT_EQ(Count("CG41_PRIMANOTA"), 0);
  EXPECT_EQ(Count("CG42_MOVCONT"), 1);
  EXPECT_EQ(Progressive(), 40);

  // The document in memory is untouched by the failures: once the way is clear it is stored.
  f_.Exec("DELETE FROM CG42_MOVCONT");
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(doc->error_description(), "");
  EXPECT_EQ(doc->LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99"), "41");
  EXPECT_EQ(Count("DO30_DOCRIGHE"), 3);
}

// Failing at each statement of a save in turn, alone or inside a caller's transaction: the save
// tells the failure and leaves nothing of the document, nor of the numbers it took, and a
// caller's own work stays.
TEST_F(SalesDocumentTest, ASaveFailingAtAnyStatementLeavesNoPartOfTheDocument) {
  FaultPlan plan;
  std::vector<std::string> statements;
  FaultyDatabase db(OpenDatabase(f_.dir().Uri()), &plan);
  auto doc = Bound("FTC", &db);
  Header(*doc, "1");  // cash terms: registrations and movements too
  AddRow(*doc, "ABB12", 10, 1);
  AddRow(*doc, "ABB12", 20, 2);
  doc->Save();  // the first save reads what the object then remembers
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  plan.record = &statements;
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  plan.record = nullptr;
  ASSERT_EQ(statements.front(), "BEGIN TRANSACTION");
  ASSERT_EQ(statements.back(), "COMMIT TRANSACTION");

  auto state = [&] {
    std::vector<std::int64_t> counts;
    for (const char* table : {"DO11_DOCTESTATA", "DO30_DOCRIGHE", "CG41_PRIMANOTA", "CG42_MOVCONT",
                              "CG26_PROGANAG WHERE CG26_CODICE LIKE 'CALLER%'"}) {
      counts.push_back(Count(table));
    }
    counts.push_back(Progressive());
    return counts;
  };
  std::vector<std::int64_t> expected = state();
  for (bool nested : {false, true}) {
    // A nested save sets a savepoint instead of beginning, and commits nothing itself.
    const std::size_t count = nested ? statements.size() - 1 : statements.size();
    for (std::size_t k = 1; k <= count; ++k) {
      SCOPED_TRACE(::testing::Message()
                   << (nested ? "nested, " : "") << "statement " << k << ": " << statements[k - 1]);
      std::optional<Transaction> caller;
      if (nested) {
        caller.emplace(db);
        db.execute("INSERT INTO CG26_PROGANAG (CG26_CODICE, CG26_VALPROG) VALUES ('CALLER" +
                   std::to_string(k) + "', 1)");
        ++expected[4];
      }
      plan.fail_at = plan.statements + static_cast<std::int64_t>(k);
      doc->Save();
      EXPECT_NE(doc->error(), 0);
      EXPECT_NE(doc->error_description().find("injected fault"), std::string::npos)
          << doc->error_description();
      if (nested) caller->Commit();
      caller.reset();
      EXPECT_EQ(state(), expected);
    }
  }
  // Once the faults are gone the same document is stored whole.
  plan.fail_at = 0;
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(Count("DO30_DOCRIGHE"), 6);
  EXPECT_EQ(Count("CG42_MOVCONT"), 6);
  EXPECT_EQ(Progressive(), 6);
}

// A process killed at any moment while it saves documents leaves each one whole or absent.
TEST_F(SalesDocumentTest, AKilledProcessLeavesEveryDocumentWholeOrAbsent) {
  std::mt19937 random(std::random_device{}());
  std::int64_t documents = 0;
  for (int round = 0; round < 4; ++round) {
    f_.CloseDb();  // no connection crosses the fork
    int saved[2];
    ASSERT_EQ(pipe(saved), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(saved[0]);
      try {
        auto db = OpenDatabase(f_.dir().Uri());
        auto doc = Bound("FTC", db.get());
        for (;;) {
          Header(*doc, "1");
          for (int row = 1; row <= 3; ++row) AddRow(*doc, "ABB12", row, 1);
          doc->Save();
          if (doc->error() != 0 || write(saved[1], "s", 1) != 1) _exit(2);
        }
      } catch (...) {
        _exit(3);
      }
    }
    close(saved[1]);
    // Killed after a random number of saves, somewhere inside the next one.
    int wait_for = std::uniform_int_distribution<int>(1, 20)(random);
    char byte;
    for (int i = 0; i < wait_for && read(saved[0], &byte, 1) == 1; ++i) {
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(saved[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process ended by itself: " << status;

    // Every header has its three rows, its registration and the cash registration's two
    // movements; no row, registration or movement is without its document; the progressive
    // is past every number taken.
    Database& db = f_.db();
    std::int64_t headers = Count("DO11_DOCTESTATA");
    EXPECT_GE(headers, documents + wait_for);
    documents = headers;
    EXPECT_EQ(Count("DO30_DOCRIGHE"), 3 * headers);
    EXPECT_EQ(Count("CG41_PRIMANOTA"), 2 * headers);
    EXPECT_EQ(Count("CG42_MOVCONT"), 2 * headers);
    EXPECT_EQ(db.open("SELECT COUNT(*) AS N FROM DO11_DOCTESTATA H INNER JOIN CG41_PRIMANOTA D ON "
                      "D.CG41_NUMREG = H.DO11_NUMREG_CO99 INNER JOIN CG41_PRIMANOTA C ON "
                      "C.CG41_NUMREG = D.CG41_RIFFIGLIA")["N"]
                  .ToInteger(),
              headers);
    EXPECT_EQ(db.open("SELECT COUNT(*) AS N FROM DO11_DOCTESTATA H WHERE (SELECT COUNT(*) FROM "
                      "DO30_DOCRIGHE R WHERE R.DO30_NUMREG_DO11 = H.DO11_NUMREG_CO99) = 3")["N"]
                  .ToInteger(),
              headers);
    EXPECT_EQ(Progressive(), 2 * headers);
  }
}

TEST_F(SalesDocumentTest, CashTermsWriteTheRegistrationThatTheJournalFixCorrects) {
  auto doc = Bound("FTC");
  Header(*doc, "1", 1001);
  AddRow(*doc, "ABB12", 100, 1);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  std::string registration = doc->LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99");

  Recordset reg = f_.db().open("SELECT * FROM CG41_PRIMANOTA WHERE CG41_NUMREG = " + registration);
  ASSERT_FALSE(reg.eof());
  std::string cash = RTrimNz(reg["CG41_RIFFIGLIA"]);
  ASSERT_FALSE(cash.empty());
  EXPECT_NE(cash, registration);
  EXPECT_EQ(f_.db()
                .open("SELECT COUNT(*) AS N FROM CG41_PRIMANOTA WHERE CG41_NUMREG = " + cash)["N"]
                .ToInteger(),
            1);
  Recordset moves = f_.db().open("SELECT * FROM CG42_MOVCONT WHERE CG42_NUMREG_CG41 = " + cash +
                                 " ORDER BY CG42_RIGA");
  ASSERT_EQ(moves.record_count(), 2u);
  // The customer is credited against the default counterpart (the company's, not the global).
  EXPECT_EQ(moves["CG42_CLIFOR_CG44"].ToInteger(), 101);
  EXPECT_EQ(RTrimNz(moves["CG42_CONTOPAR_CG24"]), "1899999");
  EXPECT_EQ(RTrimNz(moves["CG42_SEGNO"]), "A");
  EXPECT_EQ(moves["CG42_IMPORTO"].ToDecimal(), Decimal(122));  // 100 and 22 % VAT
  moves.move_next();
  EXPECT_EQ(RTrimNz(moves["CG42_CONTO_CG24"]), "1899999");
  EXPECT_EQ(RTrimNz(moves["CG42_SEGNO"]), "D");
  EXPECT_EQ(moves["CG42_IMPORTO"].ToDecimal(), Decimal(122));

  // The import's journal fix finds the default counterpart and moves it to the gym's cash.
  std::int64_t fixed = f_.db().execute(
      " UPDATE CG42_MOVCONT  SET CG42_CONTOPAR_CG24 = '1801001' FROM CG42_MOVCONT  INNER JOIN "
      "CG41_PRIMANOTA   ON CG41_DITTA_CG18 = CG42_DITTA_CG18  AND CG41_RIFFIGLIA = "
      "CG42_NUMREG_CG41  WHERE CG41_DITTA_CG18 = 1 AND CG41_NUMREG = '" +
      registration + "' AND CG42_CONTOPAR_CG24 = '1899999'  ");
  EXPECT_EQ(fixed, 1);

  // An instalment of effect type 1 anywhere in the terms is enough; none, no registration.
  Header(*doc, "3060", 1002);
  AddRow(*doc, "ABB12", 10, 1);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(Count("CG41_PRIMANOTA"), 4);
  Header(*doc, "RD", 1003);
  AddRow(*doc, "ABB12", 10, 1);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(Count("CG41_PRIMANOTA"), 4);
  EXPECT_EQ(Count("CG42_MOVCONT"), 4);
}

TEST_F(SalesDocumentTest, RebindingTakesTheNewTypesKindAndSection) {
  auto doc = Bound("FTC");
  doc->NewDocument();
  EXPECT_EQ(doc->Header().Get("DO11_TIPODOC"), Value(1));
  doc->End();
  EXPECT_THROW(doc->NewDocument(), Error);
  doc->SetDocumentType("NCC");
  doc->Start();
  EXPECT_EQ(doc->document_type(), "NCC");
  Header(*doc, "RD", 5);
  EXPECT_EQ(RTrimNz(doc->Header().Get("DO11_DOCUM_MG36")), "NCC");
  EXPECT_EQ(doc->Header().Get("DO11_TIPODOC"), Value(6));
  EXPECT_EQ(RTrimNz(doc->Header().Get("DO11_SEZDOC")), "N");
  AddRow(*doc, "ABB12", 10, 1);
  doc->Save();
  ASSERT_EQ(doc->error(), 0) << doc->error_description();
  EXPECT_EQ(RTrimNz(f_.db().open("SELECT DO11_DOCUM_MG36 FROM DO11_DOCTESTATA")["DO11_DOCUM_MG36"]),
            "NCC");

  doc->End();
  doc->SetDocumentType("STRSQL");
  EXPECT_THROW(doc->Start(), Error);
}

TEST_F(SalesDocumentTest, RefusesWhatTheErpRefuses) {
  auto doc = Bound("FTC");
  EXPECT_THROW(doc->Prepare("DO11_NUMREG_CO99 = 5"), Error);
  Header(*doc, "RD", 1);
  EXPECT_THROW(doc->Row(), Error);
  EXPECT_THROW(doc->SetPayment("ZZ"), Error);
  doc->NewRow();
  EXPECT_THROW(doc->SetVatCode("99"), Error);
  EXPECT_THROW(doc->SetRowPayment("ZZ"), Error);
  EXPECT_THROW(doc->ConfirmRow(), Error);  // an article row without article
  doc->SetArticle("ABB12");
  doc->SetCompetenceStart(Value("01/03/2024"));
  doc->SetCompetenceEnd(Value("28/02/2024"));
  EXPECT_THROW(doc->Recompute(), Error);
  EXPECT_THROW(doc->LastValue("CG41_PRIMANOTA", "CG41_NUMREG"), Error);
}

}  // namespace
}  // namespace zodadovez
