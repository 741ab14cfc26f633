// Hostile gym data: texts with apostrophes, SQL of their own, non-Latin letters, 5,000
// characters, blanks only or NULL in every text column a receipt reaches, and numbers that are
// zero, negative or huge. The import goes on, writes what its rules say, and sends no statement
// of anyone else's making.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "host/data/sqlite/tsql_lexer.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/text_compare.h"
#include "module/common/utf8.h"
#include "module/engine/documento.h"
#include "tests/support/window_fixture.h"
#include "tests/unit/reliability/gym_builder.h"

namespace zodadovez {
namespace {

using testing::AddReceipt;
using testing::AddUser;
using testing::GymReceipt;
using testing::GymRow;
using testing::InsertGym;
using testing::WindowFixture;

// 5,000 characters, apostrophes and two-byte letters among them.
std::string LongText() {
  std::string text;
  for (int i = 0; text.size() < 5000; ++i) text += i % 7 == 0 ? "'" : i % 5 == 0 ? "à" : "x";
  // Whole characters only: count them, not bytes.
  std::string out;
  int count = 0;
  for (std::size_t i = 0; i < text.size() && count < 5000; ++count) {
    std::size_t n = (static_cast<unsigned char>(text[i]) & 0x80) ? 2 : 1;
    out += text.substr(i, n);
    i += n;
  }
  return out;
}

const std::vector<Value>& HostileTexts() {
  static const std::vector<Value> texts = {
      Value("D'Angelo l'''ultimo '"),
      Value("'; DROP TABLE DO11_DOCTESTATA; --"),
      Value("東京ジム نادي 健身 🏋️"),
      Value(LongText()),
      Value("     "),
      Value(Null{}),
      Value(std::string("Ro\0ssi", 6)),  // a NUL byte: dropped, and said
      Value("Citt\xE0 Alta"),            // Latin-1, not UTF-8: read as such, and said
  };
  return texts;
}

// The statement with every literal written as "?": the statement as the module composed it.
std::string Shape(std::string_view sql) {
  std::string shape;
  for (const bridge::Token& t : bridge::Lex(sql)) {
    if (t.kind == bridge::TokenKind::kEnd) break;
    bool literal = t.kind == bridge::TokenKind::kString || t.kind == bridge::TokenKind::kNString ||
                   t.kind == bridge::TokenKind::kNumber;
    shape += (shape.empty() ? "" : " ") + (literal ? std::string("?") : std::string(t.text));
  }
  return shape;
}

bool IsBlank(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// Every statement the run sent: its text is one statement and nothing else (no comment, no
// second statement after a ";"), it drops no table but the run's own temporary ones, and its
// shape is one the module composes (`known`). Returns the shapes seen.
std::set<std::string> CheckStatements(const StatementLog& log, const std::set<std::string>* known) {
  std::set<std::string> shapes;
  for (const StatementRecord& r : log.records()) {
    if (r.kind == StatementRecord::Kind::kInsert || r.kind == StatementRecord::Kind::kUpdate) {
      // Writes carry their values as parameters; only the table name is text.
      EXPECT_TRUE(IsPlainSqlName(r.write.table)) << r.write.table;
      continue;
    }
    std::vector<bridge::Token> tokens;
    try {
      tokens = bridge::Lex(r.text);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    std::size_t end = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      const bridge::Token& t = tokens[i];
      EXPECT_TRUE(IsBlank(std::string_view(r.text).substr(end, t.offset - end)))
          << "text between tokens (a comment?) in: " << r.text.substr(0, 300);
      end = t.offset + t.text.size();
      if (t.kind == bridge::TokenKind::kPunctuation) {
        EXPECT_NE(t.text, std::string_view(";")) << r.text.substr(0, 300);
      }
      if (t.kind == bridge::TokenKind::kIdentifier && bridge::EqualsIgnoreCase(t.value, "DROP")) {
        EXPECT_TRUE(i + 2 < tokens.size() &&
                    bridge::EqualsIgnoreCase(tokens[i + 1].value, "TABLE") &&
                    tokens[i + 2].kind == bridge::TokenKind::kTempTable)
            << r.text.substr(0, 300);
      }
    }
    EXPECT_TRUE(IsBlank(std::string_view(r.text).substr(end))) << r.text.substr(0, 300);
    std::string shape = Shape(r.text);
    if (known != nullptr) {
      EXPECT_TRUE(known->count(shape)) << "a statement the module does not compose: " << shape;
    }
    shapes.insert(std::move(shape));
  }
  return shapes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// For every text: a user, a payment type, a ticket and a bar product whose texts are all that
// text, and a receipt of that user whose texts are that text, with one row of each kind.
void AddTextReceipts(Database& db, const std::function<Value(std::size_t)>& text_of) {
  for (std::size_t i = 0; i < HostileTexts().size(); ++i) {
    const Value text = text_of(i);
    const int n = static_cast<int>(i);
    AddUser(db, 300 + n, text);
    InsertGym(db, "CassaTipiPagamenti", {{"IDTipoPagamento", 40 + n}, {"Descrizione", text}});
    InsertGym(db, "Ticket",
              {{"IDTicket", 40 + n}, {"IDTicketCategoria", 1}, {"Descrizione", text}});
    InsertGym(db, "TicketEmessi", {{"ID", 400 + n}, {"IDTicket", 40 + n}});
    InsertGym(db, "BarProdotti",
              {{"IDProdotto", 40 + n},
               {"IDProdottoCategoria", 42},
               {"Codice", text},
               {"Descrizione", text},
               {"Prezzo", Decimal(3)}});
    InsertGym(db, "BarMovimenti",
              {{"IDBarMovimento", 400 + n},
               {"IDBarTotale", 4000 + n},
               {"IDProdotto", 40 + n},
               {"Quantita", Decimal(1)}});
    GymReceipt r;
    r.id = 7000 + n;
    r.date = MakeDateTime(2025, 3, 1 + n);
    r.user = 300 + n;
    r.customer = r.vat_number = r.address1 = r.address2 = text;
    GymRow plain;
    plain.description = plain.vat_description = text;
    plain.payment = 40 + n;
    GymRow ticket = plain;
    ticket.service = "T";
    GymRow bar = plain;
    bar.service = "B";
    bar.enrolment = 4000 + n;
    r.rows = {plain, ticket, bar};
    AddReceipt(db, r);
    InsertGym(db, "CentriRicavoMovimenti",
              {{"IDCentroRicavoMovimento", 400 + n},
               {"IDCassaMovimento", testing::RowId(r.id, 1)},
               {"IDTicketEmessi", 400 + n}});
  }
}

// Imports the receipts of 2025 (the example data's own are of 2024) of configuration 1.
ImportRun& Import(WindowFixture& f) {
  ParameterSet set;
  set.configurations = {1};
  set.mode = 1;
  set.date_from = "01/01/2025";
  set.date_to = "31/12/2025";
  return f.Import(set);
}

// One column of one row, or Empty when the query finds none.
Value Column(Database& db, const std::string& select) {
  Recordset rs = db.open(select);
  return rs.eof() ? Value() : rs.at(0);
}

TEST(HostileDataTest, TextsTravelAsValuesAndNoStatementOfTheirOwnRuns) {
  // The same receipts with plain texts: the statements the module composes for them.
  WindowFixture twin;
  twin.LoadExample();
  AddTextReceipts(twin.db(), [](std::size_t i) { return Value(fmt::format("Testo {}", i)); });
  ASSERT_EQ(Import(twin).outcomes.size(), 1u);
  const std::set<std::string> known = CheckStatements(twin.log, nullptr);

  WindowFixture f;
  f.LoadExample();
  AddTextReceipts(f.db(), [](std::size_t i) { return HostileTexts()[i]; });
  ImportRun* w = nullptr;
  ASSERT_NO_THROW(w = &Import(f));
  ASSERT_EQ(w->outcomes.size(), 1u);
  CheckStatements(f.log, &known);

  // Every receipt became its document, nothing went the anomaly route.
  const auto receipts = static_cast<std::int64_t>(HostileTexts().size());
  EXPECT_EQ(w->outcomes[0].present, receipts);
  EXPECT_EQ(w->outcomes[0].imported, receipts);
  EXPECT_FALSE(w->anomaly) << ReadFile(w->outcomes[0].anomalies_path);
  Database& db = f.db();
  EXPECT_EQ(Column(db, "SELECT COUNT(*) FROM DO11_DOCTESTATA").ToInteger(), receipts + 1);
  // The repaired texts and the customer without any name are each said, with their receipt.
  const std::string results = ReadFile(w->outcomes[0].results_path);
  for (int n : {6, 7}) {
    EXPECT_NE(results.find(fmt::format("in RicevuteTestata (Cliente, PIVA, Indirizzo_1, "
                                       "Indirizzo_2) della ricevuta: IDRicevuta = {}",
                                       7000 + n)),
              std::string::npos)
        << results;
  }
  EXPECT_NE(results.find("creato senza nome (utente 305 senza cognome"), std::string::npos)
      << results;

  for (std::size_t i = 0; i < HostileTexts().size(); ++i) {
    SCOPED_TRACE(i);
    const Value& text = HostileTexts()[i];
    // As the gym hands them over: blanks and NULL read as "", texts cut to their columns.
    auto as_read = [&](int size) {
      if (RTrimNz(text).empty()) return std::string();
      std::string whole = text.as_text();
      RepairText(whole);
      return testing::FirstChars(whole, size);
    };
    const int n = static_cast<int>(i);
    Recordset doc = db.open(fmt::format(
        "SELECT * FROM DO11_DOCTESTATA WHERE DO11_NUMDOC = {} AND DO11_ANNODOC = 2025", 7000 + n));
    ASSERT_FALSE(doc.eof());
    EXPECT_EQ(doc["DO11_CLIFOR_CG44"].ToInteger(), 300 + n);
    // The receipt row's description, up to the ERP's 1,600 characters, on every row.
    Recordset rows = db.open("SELECT DO30_DESCART FROM DO30_DOCRIGHE WHERE DO30_NUMREG_DO11 = " +
                             doc["DO11_NUMREG_CO99"].ToText());
    EXPECT_EQ(rows.record_count(), 3u);
    for (; !rows.eof(); rows.move_next()) {
      EXPECT_EQ(RTrimNz(rows["DO30_DESCART"]), as_read(1600));
    }
    // The payment type's description names the payment terms made from it.
    EXPECT_EQ(RTrimNz(Column(db, "SELECT CG62_DESCPAG FROM CG62_CONDPAGDES WHERE CG62_CODPAG = " +
                                     SqlQuote(std::to_string(40 + n)))),
              as_read(50));
  }
  // The customers made from the users, found by their alias: surname and name, upper case, cut
  // to the ERP's 40 characters.
  auto customer = [&](int user) {
    return RTrimNz(Column(db, "SELECT CG16_RAGSOANAG FROM CG16_ANAGGEN WHERE CG16_ALIAS = " +
                                  SqlQuote(std::to_string(user))));
  };
  EXPECT_EQ(customer(300), "D'ANGELO L'''ULTIMO ' D'ANGELO L'''ULTIM");
  EXPECT_EQ(customer(301), "'; DROP TABLE DO11_DOCTESTATA; -- '; DRO");
  EXPECT_EQ(customer(302),
            testing::FirstChars(
                "東京ジム نادي 健身 🏋️ 東京ジム نادي 健身 🏋️", 40));
  EXPECT_EQ(customer(303).substr(0, 8), "'XXXXÀX");
  // The bar product's code, cut to the gym's 20 characters, is an article code like any other.
  EXPECT_FALSE(Column(db, "SELECT MG66_CODART FROM MG66_ANAGRART WHERE MG66_CODART = " +
                              SqlQuote("B-'; DROP TABLE DO11_D"))
                   .is_empty());
}

TEST(HostileDataTest, NumbersZeroNegativeOrHuge) {
  WindowFixture f;
  f.LoadExample();
  Database& db = f.db();
  struct Case {
    Value number;
    Value quantity;
    Value price;
    Value user;
  };
  const Value big = Decimal::FromDouble(99999999999.99);
  const Value huge = Decimal::FromDouble(9999999999999.99);
  const Case cases[] = {
      {0, Decimal(0), Decimal(0), 101},                          // the host numbers it
      {-7, Decimal(-3), Value(Decimal::FromDouble(-12.5)), -1},  // an unknown user
      {2147483647, Decimal(1), big, 102},                        // at the ERP's limits
      {7103, huge, huge, 2147483647},                            // past them
  };
  int id = 7100;
  for (const Case& c : cases) {
    GymReceipt r;
    r.id = id++;
    r.number = c.number;
    r.user = c.user;
    r.date = MakeDateTime(2025, 4, 1);
    GymRow row;
    row.quantity = c.quantity;
    row.price = c.price;
    r.rows = {row, row};
    AddReceipt(db, r);
  }
  ImportRun* w = nullptr;
  ASSERT_NO_THROW(w = &Import(f));
  ASSERT_EQ(w->outcomes.size(), 1u);
  EXPECT_EQ(w->outcomes[0].present, 4);
  EXPECT_EQ(w->outcomes[0].imported, 3);
  EXPECT_FALSE(w->anomaly) << ReadFile(w->outcomes[0].anomalies_path);

  auto document = [&](const std::string& where) {
    return db.open("SELECT * FROM DO11_DOCTESTATA WHERE DO11_ANNODOC = 2025 AND " + where);
  };
  auto amounts = [&](const Recordset& doc) {
    Recordset rows = db.open(
        "SELECT DO30_QTA1, DO30_PREZZO, DO30_IMPORTO FROM DO30_DOCRIGHE WHERE DO30_NUMREG_DO11 = " +
        doc["DO11_NUMREG_CO99"].ToText());
    return std::vector<Decimal>{rows["DO30_QTA1"].ToDecimal(), rows["DO30_PREZZO"].ToDecimal(),
                                rows["DO30_IMPORTO"].ToDecimal()};
  };
  // Number 0: the receipt id goes to DO11_NUMDOCORIG and the host numbers the document.
  Recordset zero = document("DO11_NUMDOCORIG = 7100");
  ASSERT_FALSE(zero.eof());
  EXPECT_EQ(amounts(zero), (std::vector<Decimal>{Decimal(0), Decimal(0), Decimal(0)}));
  // A negative number is the document's number; an unknown user gives the default customer;
  // a negative quantity at a negative price is a positive amount.
  Recordset negative = document("DO11_NUMDOC = -7");
  ASSERT_FALSE(negative.eof());
  EXPECT_EQ(negative["DO11_CLIFOR_CG44"].ToInteger(), 9999);
  EXPECT_EQ(amounts(negative), (std::vector<Decimal>{Decimal(-3), Decimal::FromDouble(-12.5),
                                                     Decimal::FromDouble(37.5)}));
  Recordset big_one = document("DO11_NUMDOC = 2147483647");
  ASSERT_FALSE(big_one.eof());
  EXPECT_EQ(big_one["DO11_TOTIMPONIBILE"].ToDecimal(), Decimal::FromDouble(199999999999.98));
  // Past the ERP's amounts: the save refuses the document whole, leaves no row behind, and the
  // results file says so.
  EXPECT_TRUE(document("DO11_NUMDOC = 7103").eof());
  EXPECT_EQ(Column(db, "SELECT COUNT(*) FROM DO30_DOCRIGHE").ToInteger(), 2 + 3 * 2);
  const std::string results = ReadFile(w->outcomes[0].results_path);
  EXPECT_NE(results.find("Riscontrato problema nella memorizzazione del Documento VT N. --> 7103"),
            std::string::npos)
      << results;
  EXPECT_NE(results.find("Utente -1 non trovato"), std::string::npos) << results;
}

TEST(HostileConfigurationTest, NamesSplicedIntoStatementsArePlainOrRefused) {
  const std::string longest(128, 'g');
  const std::vector<std::string> good = {"Palestra", "_gym2", "GYM_3", "P", longest};
  const std::vector<std::string> bad = {"",           longest + "g", "3Palestra", "Palestra.dbo",
                                        "[Palestra]", "Pale stra",   "Palèstra",  "GYM_-1",
                                        "Palestra;",  "Pal'estra",   "Palestra\n"};
  for (const std::string& name : good) EXPECT_TRUE(IsPlainSqlName(name)) << name;
  for (const std::string& name : bad) EXPECT_FALSE(IsPlainSqlName(name)) << name;

  // A configuration whose database name would end the name: reported, skipped, never sent.
  WindowFixture f;
  f.LoadExample();
  const std::string name = "Palestra.dbo.Utenti; DROP TABLE DO11_DOCTESTATA --";
  f.Exec("UPDATE ZEV90_PARAMETRI SET ZEV90_DB_NAME = " + SqlQuote(name) + " WHERE ZEV90_ID = 1");
  ParameterSet set;
  set.configurations = {1};
  ImportRun& w = f.Import(set);
  ASSERT_EQ(w.outcomes.size(), 1u);
  EXPECT_TRUE(w.outcomes[0].skipped);
  EXPECT_EQ(w.outcomes[0].present, 0);
  // The results file is named after the run label, and names the value refused.
  EXPECT_NE(w.outcomes[0].results_path.find("/GYM_1_1_Risultati_"), std::string::npos)
      << w.outcomes[0].results_path;
  const std::string results = ReadFile(w.outcomes[0].results_path);
  EXPECT_NE(results.find("Nome database non valido su parametri di Import"), std::string::npos)
      << results;
  EXPECT_NE(results.find("DataBase: '" + name + "'"), std::string::npos) << results;
  for (const StatementRecord& r : f.log.records()) {
    EXPECT_EQ(r.text.find("DROP TABLE DO11"), std::string::npos) << r.text;
  }
  EXPECT_EQ(Column(f.db(), "SELECT COUNT(*) FROM DO11_DOCTESTATA").ToInteger(), 1);
}

}  // namespace
}  // namespace zodadovez
