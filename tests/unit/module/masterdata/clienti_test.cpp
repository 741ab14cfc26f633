// Customers: address line split, gym user reading, customer search and creation.
#include "module/masterdata/clienti.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/common/mdlzev_zodadovez.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

constexpr const char* kSearch =
    "SELECT * FROM CG44_CLIFOR WITH (NOLOCK) INNER JOIN CG16_ANAGGEN WITH (NOLOCK) ON "
    "CG44_CODICE_CG16 = CG16_CODICE WHERE CG44_DITTA_CG18 = 1 AND CG44_TIPOCF = 0";

ImportRun& Ready(WindowFixture& f) {
  ImportRun& w = f.Show();
  w.state.gym_database = "Palestra";
  w.state.errors_folder = f.dir().path().string();
  return w;
}

std::vector<std::string> Texts(const StatementLog& log, StatementRecord::Kind kind) {
  std::vector<std::string> texts;
  for (const StatementRecord& r : log.records()) {
    if (r.kind == kind) texts.push_back(r.text);
  }
  return texts;
}

// The conditions of the customer searches sent, in order ("" for a search without key).
std::vector<std::string> Searches(const StatementLog& log) {
  std::vector<std::string> keys;
  const std::string prefix = kSearch;
  for (const std::string& text : Texts(log, StatementRecord::Kind::kOpen)) {
    if (text.rfind(prefix, 0) == 0) keys.push_back(text.substr(prefix.size()));
  }
  return keys;
}

// One row as "a|b|c", Null as "-"; "none" when there is no row.
std::string Row(Database& db, const std::string& sql) {
  Recordset rs = db.open(sql);
  if (rs.eof()) return "none";
  std::string out;
  for (std::size_t i = 0; i < rs.fields().size(); ++i) {
    if (i > 0) out += "|";
    out += rs.at(i).is_null() ? "-" : rs.at(i).ToText();
  }
  return out;
}

std::int64_t Count(Database& db, const std::string& table) {
  return NzDec(db.open("SELECT COUNT(*) AS N FROM " + table)["N"]).ToInteger();
}

// The customer fields as the header of a receipt of gym user `id` leaves them.
void Receipt(ImportRun& w, int id) {
  w.document = DocumentContext();
  w.document.gym_customer = id;
  w.document.gym_customer_raw = Value(id);
  w.document.erp_customer = Value(id);
}

// An ERP customer: master record `master`, customer code `code`, the rest as given.
void Customer(WindowFixture& f, int master, int code, const std::string& alias,
              const std::string& name, const std::string& vat, const std::string& tax,
              const std::string& payment) {
  f.Exec(
      "INSERT INTO CG16_ANAGGEN (CG16_CODICE, CG16_RAGSOANAG, CG16_ALIAS, CG16_PARTIVA, "
      "CG16_CODFISCALE) VALUES (" +
      std::to_string(master) + ", '" + name + "', '" + alias + "', '" + vat + "', '" + tax + "')");
  f.Exec(
      "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR, CG44_CODICE_CG16, "
      "CG44_CODPAG_CG62) VALUES (1, 0, " +
      std::to_string(code) + ", " + std::to_string(master) + ", '" + payment + "')");
}

void User(WindowFixture& f, const std::string& values) {
  f.Exec(
      "INSERT INTO Palestra.dbo.Utenti (IDUtente, IdSocio, Cognome, Nome, CodiceFiscale, PIVA, "
      "Indirizzo_Via, Indirizzo_NumeroCivico, Indirizzo_Cap, Indirizzo_Citta, Indirizzo_Pv, "
      "Luogo_Nascita, Data_Nascita, Provincia_Nascita, Sesso, Telefono_1, Telefono_2, "
      "DataCreazione, DataModifica) VALUES (" +
      values + ")");
}

// --- Dividi_Localita ---------------------------------------------------------------------------

TEST(DividiLocalitaTest, SplitsPostalCodeTownAndProvince) {
  struct Case {
    const char* line;
    const char* postal_code;
    const char* town;
    const char* province;
  };
  // "old" marks a field the line leaves as it was.
  const Case cases[] = {
      {"20100 MILANO MI", "20100", "MILANO ", "MI"},
      {"MILANO MI", "old", "MILANO ", "MI"},
      {"20100 MILANO", "20100", "MILANO", "old"},
      {"ROMA X", "old", "ROMA X", "old"},
      {"I-00100 ROMA RM", "old", "I-00100 ROMA ", "RM"},
      {"", "old", "", "old"},
      {"20100 MILANO MI   ", "20100", "MILANO ", "MI"},
      {"00100  ROMA rm", "00100", "ROMA ", "rm"},
      {"MI", "old", "", "MI"},
      {"47121 FORLÌ FÒ", "47121", "FORLÌ ", "FÒ"},
      {"1234 ROMA", "1234", "ROMA", "old"},
      {"SAN DONÀ", "old", "SAN DONÀ", "old"},
  };
  WindowFixture f;
  ImportRun& w = Ready(f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    CustomerFields& fields = w.document.customer;
    fields.postal_code = Value("old");
    fields.town = Value("old");
    fields.province = Value("old");
    std::string line = c.line;
    Dividi_Localita(w, line);
    EXPECT_EQ(fields.postal_code, Value(c.postal_code));
    EXPECT_EQ(fields.town, Value(c.town));
    EXPECT_EQ(fields.province, Value(c.province));
    EXPECT_EQ(line, c.line);
  }
}

// --- Leggi_Utente ------------------------------------------------------------------------------

TEST(LeggiUtenteTest, ReadsTheUserIntoTheCustomerFields) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  User(f,
       "101, 7, 'd''Angelo  ', 'Paola', 'DNGPLA80A41H501X', NULL, 'Via Roma  ', '12 ', "
       "'001001234', 'sant''angelo lodigiano', 'lo', NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
       "NULL");
  User(f,
       "102, 0, 'Rossi', NULL, NULL, '01122334455', NULL, NULL, NULL, NULL, NULL, NULL, "
       "NULL, NULL, NULL, NULL, NULL, NULL, NULL");
  User(f,
       "103, NULL, 'Bianchi', 'Ugo', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
       "NULL, NULL, NULL, NULL, NULL, NULL");

  Receipt(w, 101);
  w.document.vat_number = Value("99999999999");
  f.log.Clear();
  ASSERT_TRUE(Leggi_Utente(w));
  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen),
            std::vector<std::string>{
                "SELECT * FROM Palestra.dbo.Utenti WITH (NOLOCK) WHERE IDUtente = 101"});
  const DocumentContext& d = w.document;
  EXPECT_TRUE(d.member);
  EXPECT_EQ(d.customer.tax_code, Value("DNGPLA80A41H501X"));
  EXPECT_EQ(d.vat_number, Value(""));  // the user's own, even when empty
  EXPECT_EQ(d.customer_name, "D'ANGELO PAOLA");
  EXPECT_EQ(d.address1, "Via Roma,12");
  EXPECT_EQ(d.customer.postal_code, Value("00100123"));
  EXPECT_EQ(d.customer.town, Value("SANT'ANGELO LODIGIANO"));
  EXPECT_EQ(d.customer.province, Value("LO"));
  EXPECT_TRUE(d.customer.user.is_open());
  EXPECT_FALSE(w.anomaly);

  // IdSocio 0 or NULL leaves the member flag as it was.
  for (int id : {102, 103}) {
    for (bool member : {false, true}) {
      Receipt(w, id);
      w.document.member = member;
      ASSERT_TRUE(Leggi_Utente(w));
      EXPECT_EQ(w.document.member, member) << id;
    }
  }
  EXPECT_EQ(w.document.customer_name, "BIANCHI UGO");
  EXPECT_EQ(w.document.address1, ",");
  Receipt(w, 102);
  ASSERT_TRUE(Leggi_Utente(w));
  EXPECT_EQ(w.document.customer_name, "ROSSI ");
  EXPECT_EQ(w.document.vat_number, Value("01122334455"));
}

TEST(LeggiUtenteTest, MissingUserChangesNothing) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  Receipt(w, 555);
  w.document.customer_name = "CLIENTE RICEVUTA";
  w.document.customer.town = Value("ROMA");
  EXPECT_FALSE(Leggi_Utente(w));
  EXPECT_EQ(w.document.customer_name, "CLIENTE RICEVUTA");
  EXPECT_EQ(w.document.customer.town, Value("ROMA"));
  EXPECT_FALSE(w.document.customer.user.is_open());
  EXPECT_FALSE(w.anomaly);

  // A gym database that is not there is an anomaly of its own, not a missing user.
  w.state.gym_database = "Assente";
  EXPECT_FALSE(Leggi_Utente(w));
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "Leggi_Utente");
}

// --- Cerca_CliFor ------------------------------------------------------------------------------

TEST(CercaCliForTest, SearchesByEachKey) {
  struct Case {
    const char* key;
    const char* condition;
    bool found;
  };
  const Case cases[] = {
      {"P", " AND CG16_PARTIVA = '01122334455'", true},
      {"F", " AND CG16_CODFISCALE = 'DNGPLA80A41H501X'", true},
      {"R", " AND CG16_RAGSOANAG = 'D''ANGELO PAOLA'", true},
      {"C", " AND CG44_CLIFOR = 101", false},
      {"A", " AND CG16_ALIAS = '101'", true},
      {"X", "", true},
  };
  WindowFixture f;
  ImportRun& w = Ready(f);
  Customer(f, 1, 500, "101", "D''ANGELO PAOLA", "01122334455", "DNGPLA80A41H501X", "RD");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    Receipt(w, 101);
    w.document.vat_number = Value("01122334455");
    w.document.customer.tax_code = Value("DNGPLA80A41H501X");
    w.document.customer_name = "D'ANGELO PAOLA";
    w.document.customer.found = true;
    f.log.Clear();
    std::int16_t kind = 0;
    std::string key = c.key;
    Cerca_CliFor(w, kind, key);
    EXPECT_EQ(Searches(f.log), std::vector<std::string>{c.condition});
    EXPECT_EQ(w.document.customer.found, c.found);
    EXPECT_EQ(NzDec(w.document.erp_customer), NzDec(Value(c.found ? 500 : 101)));
    EXPECT_EQ(w.document.payment_code, c.found ? "RD" : "");
  }
  EXPECT_FALSE(w.anomaly);
}

TEST(CercaCliForTest, KeepsTheDocumentsPaymentTermsAndTrapsErrors) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  Customer(f, 1, 500, "101", "ROSSI", "", "", "RD");
  Receipt(w, 101);
  w.document.payment_code = "BB30";
  std::int16_t kind = 0;
  std::string key = "A";
  Cerca_CliFor(w, kind, key);
  EXPECT_TRUE(w.document.customer.found);
  EXPECT_EQ(w.document.payment_code, "BB30");

  Receipt(w, 101);
  w.document.payment_code = "  ";
  Cerca_CliFor(w, kind, key);
  EXPECT_EQ(w.document.payment_code, "RD");

  // A gym user id that is no number cannot be searched by code.
  Receipt(w, 101);
  w.document.gym_customer_raw = Value("abc");
  key = "C";
  Cerca_CliFor(w, kind, key);
  EXPECT_FALSE(w.document.customer.found);
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "Cerca_CliFor");
}

// --- Trova_Cliente -----------------------------------------------------------------------------

TEST(TrovaClienteTest, SearchesInTheOrderOfTheModeAndCreatesWhenNoneFinds) {
  struct Case {
    const char* name;
    int mode;
    bool user;         // the receipt names a gym user
    const char* seed;  // "alias", "code", "vat", "name" or "" for no ERP customer
    std::vector<std::string> searches;
    int customer;  // the ERP customer code at the end
    bool created;
  };
  const std::string alias = " AND CG16_ALIAS = '101'";
  const std::string code = " AND CG44_CLIFOR = 101";
  const std::string vat = " AND CG16_PARTIVA = '01122334455'";
  const std::string tax = " AND CG16_CODFISCALE = 'RSSMRA80A01F205X'";
  const std::string name = " AND CG16_RAGSOANAG = 'D''ANGELO PAOLA'";
  const Case cases[] = {
      {"mode 0 by alias", 0, true, "alias", {alias}, 500, false},
      {"mode 0 by code", 0, true, "code", {alias, code}, 101, false},
      {"mode 0 creates under the user id", 0, true, "", {alias, code}, 101, true},
      {"mode 1 alias only", 1, true, "vat", {alias}, 101, true},
      {"mode 2 alias first", 2, true, "alias", {alias}, 500, false},
      {"mode 2 then vat", 2, true, "vat", {alias, vat}, 500, false},
      {"mode 2 none", 2, true, "", {alias, vat, tax}, 101, true},
      {"mode 3 fiscal keys", 3, true, "alias", {vat, tax}, 101, true},
      {"mode 4 no name with a user", 4, true, "name", {vat, tax}, 101, true},
      {"mode 4 name without a user", 4, false, "name", {vat, tax, name}, 500, false},
      {"mode 7 never searches", 7, true, "alias", {}, 101, true},
      {"mode -1 never searches", -1, true, "alias", {}, 101, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowFixture f;
    ImportRun& w = Ready(f);
    std::string seed = c.seed;
    if (seed == "alias") Customer(f, 1, 500, "101", "ALTRO", "", "", "");
    if (seed == "code") Customer(f, 1, 101, "", "ALTRO", "", "", "");
    if (seed == "vat") Customer(f, 1, 500, "", "ALTRO", "01122334455", "", "");
    if (seed == "name") Customer(f, 1, 500, "", "D''ANGELO PAOLA", "", "", "");
    User(f,
         "101, NULL, 'D''Angelo', 'Paola', 'RSSMRA80A01F205X', '01122334455', NULL, NULL, "
         "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL");
    Receipt(w, 101);
    w.document.company.search_mode = c.mode;
    ASSERT_TRUE(Leggi_Utente(w));
    if (!c.user) w.document.gym_customer_raw = Value(Null{});
    std::int64_t before = Count(f.db(), "CG16_ANAGGEN");
    f.log.Clear();

    Trova_Cliente(w);

    EXPECT_EQ(Searches(f.log), c.searches);
    EXPECT_TRUE(w.document.customer.found);
    EXPECT_EQ(NzDec(w.document.erp_customer), NzDec(Value(c.customer)));
    EXPECT_EQ(Count(f.db(), "CG16_ANAGGEN"), before + (c.created ? 1 : 0));
    // Only mode 0 trusts its search by code and keeps the user id without checking it.
    bool checked = false;
    for (const std::string& text : Texts(f.log, StatementRecord::Kind::kOpen)) {
      checked = checked || text.rfind("SELECT TOP 1 1 FROM CG44_CLIFOR", 0) == 0;
    }
    EXPECT_EQ(checked, c.created && c.mode != 0);
    EXPECT_FALSE(w.anomaly) << w.error.description;
  }
}

TEST(TrovaClienteTest, FindsTheNewCustomerByItsAliasOnTheNextReceipt) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  Customer(f, 1, 101, "", "ALTRO", "", "", "");  // the user id is taken as a code
  User(f,
       "101, NULL, 'Verdi', 'Anna', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
       "NULL, NULL, NULL, NULL, NULL, NULL");
  for (int receipt = 0; receipt < 2; ++receipt) {
    SCOPED_TRACE(receipt);
    Receipt(w, 101);
    w.document.company.search_mode = 1;
    ASSERT_TRUE(Leggi_Utente(w));
    Trova_Cliente(w);
    EXPECT_TRUE(w.document.customer.found);
    EXPECT_EQ(NzDec(w.document.erp_customer), NzDec(Value(102)));
  }
  EXPECT_EQ(Count(f.db(), "CG16_ANAGGEN"), 2);
  EXPECT_EQ(Count(f.db(), "CG44_CLIFOR"), 2);
  EXPECT_FALSE(w.anomaly) << w.error.description;
}

// --- InsertAnagrafica ----------------------------------------------------------------------------

constexpr const char* kMasterColumns =
    "SELECT CG16_CODICE, CG16_RAGSOANAG, CG16_ALIAS, CG16_INDIRIZZO, CG16_COMANA_CG01, CG16_CAP, "
    "CG16_PROV, CG16_CITTA, CG16_CODICE_CG07, CG16_FLGPRSFIS, CG16_RAGSOFISC, CG16_COMFIS_CG01, "
    "CG16_CAPFISC, CG16_CITTAFISC, CG16_PROVFISC, CG16_COGNOME, CG16_NOME, CG16_COMNASCITA, "
    "CG16_DATANASCITA, CG16_PROVNASCITA, CG16_CODFISCALE, CG16_PARTIVA, CG16_SESSO, "
    "CG16_TEL1NUM, CG16_TEL2NUM, CG16_LASTCHANGE, CG16_FLGOMONIMO, CG16_INDSOGGRIT, "
    "CG16_FLGANAGVAL, CG16_INDAGGCF FROM CG16_ANAGGEN WHERE CG16_CODICE = ";

void Create(ImportRun& w, bool code_check) {
  std::int16_t kind = 0;
  bool progress = false;
  InsertAnagrafica(w, kind, progress, code_check);
}

TEST(InsertAnagraficaTest, WritesThePersonsThreeRecords) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  w.company_parameters.customer_group = "GR1";
  w.price_list = 3;
  f.Exec("INSERT INTO CG26_PROGANAG (CG26_CODICE, CG26_VALPROG) VALUES ('ANAGG', 3)");
  f.Exec("INSERT INTO CG01_ANAGCOMUNI VALUES ('I274', 'SANT''ANGELO LODIGIANO', '00000', 'LO')");
  User(f,
       "101, 1, 'd''Angelo', 'Maria Giovanna Francesca Teresa Lucia', 'DNGMRA85C41I274Y', NULL, "
       "'Via Roma', '1', '26866', 'sant''angelo lodigiano', 'mi', 'Lodi', '1985-03-01', 'lo', "
       "'F', '0371123456', '  ', '2020-05-01 10:00:00', '2023-02-03 11:12:13'");
  Receipt(w, 101);
  ASSERT_TRUE(Leggi_Utente(w));
  w.document.payment_code = " RD ";
  f.log.Clear();

  Create(w, false);

  ASSERT_TRUE(w.document.customer.found) << w.error.description;
  EXPECT_EQ(NzDec(w.document.erp_customer), NzDec(Value(101)));
  EXPECT_EQ(Row(f.db(), std::string(kMasterColumns) + "4"),
            "4|D'ANGELO MARIA GIOVANNA FRANCESCA TERESA|101|Via Roma,1|I274|26866|LO|"
            "SANT'ANGELO LODIGIANO|86|1|D'ANGELO MARIA GIOVANNA FRANCESCA TERESA|I274|26866|"
            "SANT'ANGELO LODIGIANO|LO|D'ANGELO|MARIA GIOVANNA FRANC|LODI|01/03/1985|LO|"
            "DNGMRA85C41I274Y|-|1|0371123456|-|03/02/2023|0|0|1|0");
  EXPECT_EQ(Row(f.db(), "SELECT * FROM CG44_CLIFOR"), "1|0|101|4|GR1|RD|15/07/2024");
  EXPECT_EQ(Row(f.db(), "SELECT * FROM MG19_CLIFORVA"),
            "1|0|101|15/07/2024|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|15/07/2024|0|0|0|0|3");
  EXPECT_EQ(Row(f.db(), "SELECT CG26_VALPROG FROM CG26_PROGANAG WHERE CG26_CODICE = 'ANAGG'"), "4");

  // The statements a creation sends, in order, as the server sees them.
  std::vector<std::string> texts;
  for (const StatementRecord& r : f.log.records()) {
    // The progressive's own statements belong to the host.
    bool host = r.text.find("CG26_PROGANAG") != std::string::npos ||
                r.text.find("AS ULTIMO") != std::string::npos;
    if (!host) texts.push_back(r.text);
  }
  EXPECT_EQ(
      texts,
      (std::vector<std::string>{
          "BEGIN TRANSACTION",
          "SELECT * FROM CG16_ANAGGEN WITH (NOLOCK) WHERE 1 = 0",
          "SELECT * FROM CG01_ANAGCOMUNI WITH (NOLOCK) WHERE CG01_DESCR = 'SANT''ANGELO "
          "LODIGIANO'",
          "INSERT INTO CG16_ANAGGEN (CG16_CODICE, CG16_RAGSOANAG, CG16_ALIAS, CG16_INDIRIZZO, "
          "CG16_COMANA_CG01, CG16_CAP, CG16_PROV, CG16_CITTA, CG16_CODICE_CG07, CG16_FLGPRSFIS, "
          "CG16_RAGSOFISC, CG16_COMFIS_CG01, CG16_CAPFISC, CG16_CITTAFISC, CG16_PROVFISC, "
          "CG16_COGNOME, CG16_NOME, CG16_COMNASCITA, CG16_DATANASCITA, CG16_PROVNASCITA, "
          "CG16_CODFISCALE, CG16_SESSO, CG16_TEL1NUM, CG16_LASTCHANGE, CG16_FLGOMONIMO, "
          "CG16_INDSOGGRIT, CG16_FLGANAGVAL, CG16_INDAGGCF) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
          "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
          "EXEC SPCO_AGGIORNA_ANAG_FROM_CG16 4",
          "SELECT * FROM CG44_CLIFOR WITH (NOLOCK) WHERE CG44_DITTA_CG18 = 1 AND "
          "CG44_CODICE_CG16 = 4",
          "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR, CG44_CODICE_CG16, "
          "CG44_GRUPPO_CG10, CG44_CODPAG_CG62, CG44_LASTCHANGE) VALUES (?, ?, ?, ?, ?, ?, ?)",
          "SELECT * FROM MG19_CLIFORVA WITH (NOLOCK) WHERE MG19_DITTA_CG18 = 1 AND "
          "MG19_TIPOCF_CG44 = 0 AND MG19_CLIFOR_CG44 = 101",
          "INSERT INTO MG19_CLIFORVA (MG19_DITTA_CG18, MG19_TIPOCF_CG44, MG19_CLIFOR_CG44, "
          "MG19_DATACREAZ, MG19_INDCLIFAT, MG19_FLGDATICLFAT, MG19_TIPOCLXDOC, "
          "MG19_INDDESDOCEST, MG19_SC1PERCOR, MG19_SC2PERCOR, MG19_SC3PERCOR, MG19_SCIMPCOR, "
          "MG19_MAGPERCOR, MG19_MAGIMPCOR, MG19_SCPERPIEDE, MG19_FLGSPEINC, MG19_FLGSPBOL, "
          "MG19_INDSPESECUM, MG19_SCAGLSPBANC, MG19_FLGESCLSPEPOR, MG19_INDCLIBLOC, "
          "MG19_INDTESTOF1, MG19_INDTESTOF2, MG19_DATAULTVAR, MG19_FLGPRZCAMP, MG19_INDARRL96, "
          "MG19_INDARRINFAT, MG19_INDGESFIDO, MG19_LISTMAG) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
          "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
          "COMMIT TRANSACTION",
      }));
}

TEST(InsertAnagraficaTest, PersonOrCompanyAndTheirColumns) {
  struct Case {
    const char* name;
    const char* user;  // the Utenti values after the id
    const char* vat;   // the receipt's VAT number after Leggi_Utente
    const char* expected;
  };
  const Case cases[] = {
      {"company: no personal data",
       "NULL, 'Palestra Fitness Club Società Sportiva Dilettantistica', 'srl', NULL, "
       "'01122334455', NULL, NULL, NULL, 'Roma', NULL, 'Roma', '1980-01-01', 'RM', 'M', "
       "NULL, '06 1234 5678 9012 3456 789', NULL, NULL",
       "01122334455",
       "PALESTRA FITNESS CLUB SOCIETÀ SPORTIVA D|101|,|-|||ROMA|86|0|"
       "PALESTRA FITNESS CLUB SOCIETÀ SPORTIVA D|-||ROMA||-|-|-|-|-|-|01122334455|0|-|"
       "06 1234 5678 9012 34|-|0|0|1|0"},
      {"person without birth data or dates",
       "NULL, 'Neri Bianchi Rossi Verdi Gialli Viola', 'Ugo', 'NRENGU70A01H501Z', NULL, "
       "'P.zza Duomo', NULL, '20121', 'Milano', 'mi', NULL, NULL, NULL, 'f', NULL, NULL, NULL, "
       "NULL",
       "",
       "NERI BIANCHI ROSSI VERDI GIALLI VIOLA UG|101|P.zza Duomo,|-|20121|MI|MILANO|86|1|"
       "NERI BIANCHI ROSSI VERDI GIALLI VIOLA UG|-|20121|MILANO|MI|NERI BIANCHI ROSSI VERDI GIALL|"
       "UGO||-|-|NRENGU70A01H501Z|-|0|-|-|-|0|0|1|0"},
      {"person created on a date",
       "NULL, 'Neri', 'Ada', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 'F', "
       "NULL, NULL, '2019-06-30 18:00:00', NULL",
       "", "NERI ADA|101|,|-||||86|1|NERI ADA|-||||NERI|ADA||-|-|-|-|1|-|-|30/06/2019|0|0|1|0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowFixture f;
    ImportRun& w = Ready(f);
    User(f, std::string("101, ") + c.user);
    Receipt(w, 101);
    ASSERT_TRUE(Leggi_Utente(w));
    w.document.vat_number = Value(c.vat);
    Create(w, false);
    ASSERT_TRUE(w.document.customer.found) << w.error.description;
    std::string row = Row(f.db(), std::string(kMasterColumns) + "1");
    EXPECT_EQ(row.substr(row.find('|') + 1), c.expected);
    // Without payment terms the customer has none of its own.
    EXPECT_EQ(Row(f.db(), "SELECT CG44_GRUPPO_CG10, CG44_CODPAG_CG62 FROM CG44_CLIFOR"), "|-");
  }
}

TEST(InsertAnagraficaTest, TakenCodeAsksForNumbersUntilOneIsFree) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  Customer(f, 1, 101, "", "A", "", "", "");
  Customer(f, 2, 90, "", "B", "", "", "");
  Customer(f, 3, 103, "", "C", "", "", "");
  // Another company's codes take nothing from this one.
  f.Exec("INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR) VALUES (2, 0, 200)");
  User(f,
       "101, NULL, 'Verdi', 'Anna', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
       "NULL, NULL, NULL, NULL, NULL, NULL");
  Receipt(w, 101);
  ASSERT_TRUE(Leggi_Utente(w));
  f.log.Clear();
  Create(w, true);
  ASSERT_TRUE(w.document.customer.found) << w.error.description;
  EXPECT_EQ(NzDec(w.document.erp_customer), NzDec(Value(104)));
  EXPECT_EQ(Row(f.db(),
                "SELECT CG44_CLIFOR, CG44_CODICE_CG16 FROM CG44_CLIFOR WHERE "
                "CG44_CODICE_CG16 = 4"),
            "104|4");
  EXPECT_EQ(Row(f.db(), "SELECT MG19_CLIFOR_CG44 FROM MG19_CLIFORVA"), "104");
  std::vector<std::string> checks;
  for (const std::string& text : Texts(f.log, StatementRecord::Kind::kOpen)) {
    if (text.find("CG44_TIPOCF = 0 AND CG44_CLIFOR") != std::string::npos) checks.push_back(text);
  }
  EXPECT_EQ(checks,
            (std::vector<std::string>{
                "SELECT TOP 1 1 FROM CG44_CLIFOR WITH (NOLOCK) WHERE CG44_DITTA_CG18 = 1 AND "
                "CG44_TIPOCF = 0 AND CG44_CLIFOR = 101",
                "SELECT CG44_CLIFOR FROM CG44_CLIFOR  WITH (NOLOCK) WHERE CG44_DITTA_CG18 = 1 AND "
                "CG44_TIPOCF = 0 AND CG44_CLIFOR = 104"}));

  // A user id free in the company is kept as it is.
  User(f,
       "200, NULL, 'Gialli', 'Eva', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
       "NULL, NULL, NULL, NULL, NULL, NULL");
  Receipt(w, 200);
  ASSERT_TRUE(Leggi_Utente(w));
  Create(w, true);
  EXPECT_EQ(NzDec(w.document.erp_customer), NzDec(Value(200)));
  EXPECT_EQ(Row(f.db(), "SELECT CG44_CLIFOR FROM CG44_CLIFOR WHERE CG44_CODICE_CG16 = 5"), "200");
}

TEST(InsertAnagraficaTest, FailureLeavesNothingAndClearsTheFoundFlag) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  Customer(f, 1, 101, "", "A", "", "", "");
  User(f,
       "101, NULL, 'Verdi', 'Anna', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
       "NULL, NULL, NULL, NULL, NULL, NULL");
  Receipt(w, 101);
  ASSERT_TRUE(Leggi_Utente(w));
  w.document.customer.found = true;
  // Without the code check the taken code 101 is refused by the customer table's key.
  Create(w, false);
  EXPECT_FALSE(w.document.customer.found);
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "InsertAnagrafica ");
  // The master record written before the refusal goes with it: no half customer stays.
  EXPECT_EQ(Count(f.db(), "CG16_ANAGGEN"), 1);
  EXPECT_EQ(Count(f.db(), "CG44_CLIFOR"), 1);
  EXPECT_EQ(Count(f.db(), "MG19_CLIFORVA"), 0);
}

// --- Cerca_Comune --------------------------------------------------------------------------------

TEST(CercaComuneTest, NormalisesTheTownAgainstTheTownTable) {
  struct Case {
    const char* town;
    const char* postal_before;
    const char* postal_code;
    const char* town_after;
    const char* province;
    const char* town_code;
  };
  const Case cases[] = {
      {"milano ", "20100", "20121", "MILANO", "MI", "F205"},
      {"ROMA", "00199", "00199", "ROMA", "RM", "H501"},  // "00000" keeps the gym's postal code
      {"SANT'ANGELO LODIGIANO", "26866", "26866", "SANT'ANGELO LODIGIANO", "LO", "I274"},
      {"ATLANTIDE", "00199", "00199", "ATLANTIDE", "XX", ""},
      {"", "00199", "00199", "", "XX", ""},
  };
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec(
      "INSERT INTO CG01_ANAGCOMUNI VALUES ('F205', 'MILANO', '20121', 'MI'), "
      "('H501', 'ROMA', '00000', 'RM'), ('I274', 'SANT''ANGELO LODIGIANO', NULL, 'LO')");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.town);
    CustomerFields& fields = w.document.customer;
    fields.town = Value(c.town);
    fields.postal_code = Value(c.postal_before);
    fields.province = Value("XX");
    fields.town_code = Value("OLD");
    Cerca_Comune(w);
    EXPECT_EQ(fields.postal_code, Value(c.postal_code));
    EXPECT_EQ(fields.town, Value(c.town_after));
    EXPECT_EQ(fields.province, Value(c.province));
    EXPECT_EQ(fields.town_code, Value(c.town_code));
  }
}

}  // namespace
}  // namespace zodadovez
