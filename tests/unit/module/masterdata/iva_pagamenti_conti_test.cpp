// VAT codes, payment terms, revenue accounts and the journal fix.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "module/common/mdlzev_zodadovez.h"
#include "module/engine/reports.h"
#include "module/masterdata/conti.h"
#include "module/masterdata/iva.h"
#include "module/masterdata/pagamenti.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

// A shown window as the run driver leaves it for a configuration of company 1.
ImportRun& Ready(WindowFixture& f) {
  ImportRun& w = f.Show();
  w.state.gym_database = "Palestra";
  w.state.errors_folder = f.dir().path().string();
  w.state.configuration_id = 7;
  w.document.gym_company = 10;
  w.state.default_vat_code = "CFG";
  w.company_parameters.default_vat_code = "DEF";
  w.company_parameters.chart_group = "1";
  w.company_parameters.counterpart_account = "DEFPAR";
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
std::vector<std::string> Reads(const StatementLog& log) {
  return Texts(log, StatementRecord::Kind::kOpen);
}

// The description column of the results lines after the file's header.
std::vector<std::string> ResultTexts(ImportRun& w) {
  std::vector<std::string> texts;
  if (!w.state.results.open) return texts;
  std::ifstream in(w.state.results.path);
  std::string line;
  for (int i = 0; std::getline(in, line); ++i) {
    if (i < 5) continue;
    EXPECT_EQ(line, ResultLine("", "", line.substr(42))) << "a line with a label";
    texts.push_back(RTrimNz(line.substr(42)));
  }
  return texts;
}

// One row of a table as text, for comparisons: "a|b|c", Null as "-".
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

struct VatCase {
  const char* name;
  const char* erp_codes;  // CG28_TABCODIVA rows to seed, "" for none
  const char* gym_code;
  const char* description;
  const char* expected;  // the row VAT code
  const char* created;   // the CG28 row made, as Row() shows it, or "none"
  const char* message;   // the results line, or ""
};

TEST(TrovaIvaTest, ChoosesAndCreatesTheCodeInOrder) {
  const VatCase cases[] = {
      {"gym code known", "('22')", "22", "22%", "22", "none", ""},
      {"host default known", "('DEF')", "22", "22%", "DEF", "none", ""},
      {"host default made taxable", "", "22", "22%", "DEF", "DEF|Aliquota IVA 22|1|22", ""},
      {"undescribed takes configured default", "('CFG')", "10", "", "CFG", "none", ""},
      {"undescribed by gym rate", "", "10", "", "R10", "R10|Aliquota IVA 10|1|10", ""},
      {"no gym code, exempt entry", "", "", "Esente art.10", "E1", "E1|Esente art.10|3|-",
       "Iva non codificata =  Utilizzato Codice E1"},
      {"no gym code, known exempt", "('E1')", "", "Esente art.10", "E1", "none",
       "Iva non codificata =  Utilizzato Codice E1"},
      {"apostrophe in description", "", "", "Fuori campo d'IVA", "FC", "FC|Fuori campo d'IVA|3|-",
       "Iva non codificata =  Utilizzato Codice FC"},
      {"nothing at all", "", "", "", "E1", "E1|Esente|3|-",
       "Iva non codificata =  Utilizzato Codice E1"},
      {"code that is no rate", "", "E9", "Esente", "", "none", ""},
  };
  for (const VatCase& c : cases) {
    SCOPED_TRACE(c.name);
    WindowFixture f;
    ImportRun& w = Ready(f);
    if (*c.erp_codes)
      f.Exec(std::string("INSERT INTO CG28_TABCODIVA (CG28_CODICE) VALUES ") + c.erp_codes);
    f.Exec(
        "INSERT INTO Palestra.dbo.RicevuteIva (IDRicevuteIva, Iva, Descrizione, CodiceIva) "
        "VALUES (1, 10, 'Ridotta', 'R10'), (2, 0, 'Esente art.10', 'E1'), "
        "(3, 0, 'Fuori campo d''IVA', 'FC'), (4, 22, '22%', '22')");
    std::string description = c.description;
    w.document.row.vat_code = "stale";

    TrovaIva(w, Value(c.gym_code), description);

    EXPECT_EQ(w.document.row.vat_code, c.expected);
    EXPECT_EQ(w.anomaly, std::string(c.expected).empty());
    std::string made = "none";
    if (!Texts(f.log, StatementRecord::Kind::kInsert).empty()) {
      made = Row(f.db(),
                 "SELECT CG28_CODICE, CG28_DESCR, CG28_TIPOLOGIA, CG28_PERCIVA FROM "
                 "CG28_TABCODIVA WHERE CG28_CODICE = '" +
                     std::string(c.expected) + "'");
    }
    EXPECT_EQ(made, c.created);
    std::vector<std::string> expected_messages;
    if (*c.message) expected_messages.push_back(c.message);
    EXPECT_EQ(ResultTexts(w), expected_messages);
  }
}

TEST(TrovaIvaTest, CreatesTheMissingCodeWithEveryColumn) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  std::string description = "22%";
  TrovaIva(w, Value("22"), description);

  EXPECT_EQ(Reads(f.log),
            (std::vector<std::string>{
                "SELECT TOP 1 * FROM CG28_TABCODIVA WHERE CG28_CODICE = '22'",
                "SELECT TOP 1 * FROM Palestra.dbo.RicevuteIva WITH (NOLOCK) WHERE  Descrizione = "
                "'22%' AND  Iva = 0",
                "SELECT TOP 1 * FROM CG28_TABCODIVA WHERE CG28_CODICE = 'DEF'"}));
  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kInsert),
            std::vector<std::string>{
                "INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_DESCR, CG28_TIPOLOGIA, "
                "CG28_PERCIVA, CG28_FLGINDET, CG28_CODPLAFOND, CG28_FLGCORRVENT, CG28_FLGSOSPIMP, "
                "CG28_FLGNOTVAR, CG28_FLGALLCLIFOR, CG28_FLGIVAEDIT, CG28_INDTIPOPART, "
                "CG28_FLGAUTOUE, CG28_FLGAGRI, CG28_FLGMONOFASERSM) VALUES (?, ?, ?, ?, ?, ?, ?, "
                "?, ?, ?, ?, ?, ?, ?, ?)"});
  EXPECT_EQ(Row(f.db(), "SELECT * FROM CG28_TABCODIVA"),
            "DEF|Aliquota IVA 22|1|22|0|0|0|0|0|0|0|0|0|0|0");

  // Without description the gym entry is asked by rate.
  f.log.Clear();
  description.clear();
  TrovaIva(w, Value("4,5"), description);
  EXPECT_EQ(Reads(f.log).at(1),
            "SELECT TOP 1 * FROM Palestra.dbo.RicevuteIva WITH (NOLOCK) WHERE  Iva = 4.5");
}

TEST(ScrivoCondPagTest, CreatesOnlyWhatIsMissing) {
  const char* const kHeader = "INSERT INTO CG62_CONDPAGDES VALUES ('3', 1, 'Carta')";
  struct Case {
    const char* name;
    const char* code;
    const char* header_seed;  // T-SQL run before, or ""
    const char* instalment_seed;
    const char* header;
    const char* instalment;
    std::size_t inserts;
  };
  const Case cases[] = {
      {"new terms", "3", "", "", "3|0|CARTA DI CREDITO", "3|1|4|2|0|1|1|100|1|100|0|0", 2},
      {"terms complete", "3", kHeader,
       "INSERT INTO CG63_CONDPAGDET (CG63_CODPAG_CG62, CG63_PROG, CG63_TIPOEFF) VALUES ('3', 1, 9)",
       "3|1|Carta", "3|1|9|-|-|-|-|-|-|-|-|-", 0},
      {"header without instalment", "3", kHeader, "", "3|1|Carta", "3|1|4|2|0|1|1|100|1|100|0|0",
       1},
      {"null effect type", "5", "", "", "5|0|CARTA DI CREDITO", "5|1|1|2|0|1|1|100|1|100|0|0", 2},
      {"null subtype", "6", "", "", "6|0|CARTA DI CREDITO", "6|1|4|1|0|1|1|100|1|100|0|0", 2},
      {"no mapping", "9", "", "", "9|0|CARTA DI CREDITO", "9|1|1|1|0|1|1|100|1|100|0|0", 2},
      // A code of the company settings is no gym payment type: effect 1, subtype 1.
      {"code of the settings", "R30", "", "", "R30|0|CARTA DI CREDITO",
       "R30|1|1|1|0|1|1|100|1|100|0|0", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowFixture f;
    ImportRun& w = Ready(f);
    f.Exec("INSERT INTO ZEV04_TIPOPAG VALUES (3, 4, 2), (5, NULL, 2), (6, 4, NULL)");
    if (*c.header_seed) f.Exec(c.header_seed);
    if (*c.instalment_seed) f.Exec(c.instalment_seed);
    f.log.Clear();
    w.document.payment_code = c.code;
    w.document.payment_description = "CARTA DI CREDITO";

    ScrivoCondPag(w);

    std::string where = std::string(" = '") + c.code + "'";
    EXPECT_EQ(Row(f.db(), "SELECT * FROM CG62_CONDPAGDES WHERE CG62_CODPAG" + where), c.header);
    EXPECT_EQ(Row(f.db(), "SELECT * FROM CG63_CONDPAGDET WHERE CG63_CODPAG_CG62" + where),
              c.instalment);
    EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kInsert).size(), c.inserts);
    // The mapping is asked with the bare number; a code that is none is not sent at all.
    EXPECT_EQ(Reads(f.log).at(0),
              std::isdigit(c.code[0])
                  ? "SELECT * FROM ZEV04_TIPOPAG WITH (NOLOCK) WHERE ZEV04_TIPOPAG_GYM = " +
                        std::string(c.code)
                  : "SELECT TOP 1 * FROM CG62_CONDPAGDES WHERE CG62_CODPAG = 'R30'");
  }
}

TEST(VerificaTipoEffTest, FlagsTermsWithAnInstalmentOfEffectTypeOne) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec(
      "INSERT INTO CG63_CONDPAGDET (CG63_CODPAG_CG62, CG63_PROG, CG63_TIPOEFF) VALUES "
      "('RB', 1, 2), ('RB', 2, 1), ('RI', 1, 2)");
  const std::pair<std::string, std::int16_t> cases[] = {{"RB", 1}, {"RI", 0}, {"XX", 0}};
  for (const auto& [code, flag] : cases) {
    std::string c = code;
    w.document.effect_type1 = 1;
    Verifica_TipoEff(w, c);
    EXPECT_EQ(w.document.effect_type1, flag) << code;
  }
  EXPECT_EQ(Reads(f.log).back(),
            "SELECT CG63_TIPOEFF FROM CG63_CONDPAGDET WITH (NOLOCK) WHERE CG63_CODPAG_CG62 = "
            "'XX' AND CG63_TIPOEFF = 1");
}

TEST(ControllaCPMerceTest, FindsTheRevenueAccountByTheCompanysType) {
  struct Case {
    std::int16_t type;
    const char* category;
    const char* centre;
    const char* account;
    const char* message;  // "" for none
    bool anomaly;
  };
  const Case cases[] = {
      {1, "PISCINA", "0501", "0501", "", false},
      {1, "PISCINA", "0502", "", "Contropartita non codificata = 0502", false},
      // Group codes compare as numbers ("01" is group 1); one that is no number is no group.
      {1, "PISCINA", "0620", "0620", "", false},
      {1, "PISCINA", "0630", "", "Contropartita non codificata = 0630", false},
      {2, "PISCINA", "0501", "", "Contropartita non codificata = PISCINA", false},
      {4, "PISCINA", "0501", "0610", "", false},
      {4, "SALA", "0501", "", "Contropartita non codificata = SALA / 0699", false},
      // The file keeps no trailing blank: the text ends in " / " and the empty account.
      {3, "PISCINA", "C1", "", "Contropartita non codificata = C1 /", false},
      {3, "PISCINA", "C2", "", "", true},
      {0, "PISCINA", "0501", "", "", false},
      {5, "PISCINA", "0501", "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + c.category + " " + c.centre);
    WindowFixture f;
    ImportRun& w = Ready(f);
    // 0502 and 0699 exist only in another chart group; the mappings of gym company 11 and of
    // configuration 8 must not be taken.
    f.Exec(
        "INSERT INTO CG24_TABPDC (CG24_GRUPPO_CG10, CG24_CONTO) VALUES ('1', '0501'), "
        "('1', '0610'), ('2', '0502'), ('2', '0699'), (' 01', '0620'), ('1A', '0630')");
    f.Exec(
        "INSERT INTO ZEV05_CPMERCE VALUES (1, 7, 10, 'PISCINA', '0610'), (1, 7, 10, 'SALA', "
        "'0699'), (1, 7, 10, 'C1', NULL), (1, 7, 11, 'C2', '0501'), (1, 8, 10, 'C2', '0501')");
    w.document.company.account_type = c.type;
    std::string category = c.category;
    std::string centre = c.centre;

    EXPECT_EQ(Controlla_CPMerce(w, category, centre), c.account);
    std::vector<std::string> messages;
    if (*c.message) messages.push_back(c.message);
    EXPECT_EQ(ResultTexts(w), messages);
    EXPECT_EQ(w.anomaly, c.anomaly);
    if (c.anomaly) {
      EXPECT_EQ(w.error.label, "Controlla_CPMerce");
    }
    if (c.type < 1 || c.type > 4) {
      EXPECT_TRUE(Reads(f.log).empty());
    }
  }
}

TEST(ControllaCPMerceTest, StatementTexts) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec("INSERT INTO ZEV05_CPMERCE VALUES (1, 7, 10, 'D''ANNA', '0610')");
  w.document.company.account_type = 4;
  std::string category = "D'ANNA";
  std::string centre;
  f.log.Clear();
  Controlla_CPMerce(w, category, centre);
  EXPECT_EQ(
      Reads(f.log),
      (std::vector<std::string>{
          "SELECT ZEV05_CONTO_CG24 FROM ZEV05_CPMERCE WITH (NOLOCK) WHERE ZEV05_DITTA_CG18 "
          "= 1 AND ZEV05_IDPARAM_ZEV90 = 7 AND ZEV05_AZIENDA = 10 AND ZEV05_CONTO_GYM = "
          "'D''ANNA'",
          "SELECT CG24_GRUPPO_CG10 FROM CG24_TABPDC WITH (NOLOCK) WHERE CG24_CONTO = '0610'"}));
}

TEST(AggiornaRecCogeTest, MovesTheDefaultCounterpartToTheCashAccount) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  // Registration 100 of company 1 refers to 200; company 2 has the same numbers.
  f.Exec(
      "INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG, CG41_RIFFIGLIA) VALUES "
      "(1, 100, 200), (1, 300, 400), (2, 100, 200)");
  f.Exec(
      "INSERT INTO CG42_MOVCONT (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_RIGA, "
      "CG42_CONTOPAR_CG24) VALUES (1, 200, 1, 'DEFPAR'), (1, 200, 2, 'ALTRO'), "
      "(1, 400, 1, 'DEFPAR'), (2, 200, 1, 'DEFPAR'), (1, 100, 1, 'DEFPAR')");
  w.document.cash_account = "CASSA01";
  w.document.journal_fix_status = 99;
  std::string registration = "100";
  f.log.Clear();

  AggiornaRecCoge(w, registration);

  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kExecute),
            std::vector<std::string>{
                " UPDATE CG42_MOVCONT  SET CG42_CONTOPAR_CG24 = 'CASSA01' FROM CG42_MOVCONT  "
                "INNER JOIN CG41_PRIMANOTA   ON CG41_DITTA_CG18 = CG42_DITTA_CG18  AND "
                "CG41_RIFFIGLIA = CG42_NUMREG_CG41  WHERE CG41_DITTA_CG18 = 1 AND CG41_NUMREG = "
                "'100' AND CG42_CONTOPAR_CG24 = 'DEFPAR'  "});
  EXPECT_EQ(w.document.journal_fix_status, 0);
  Recordset rs = f.db().open(
      "SELECT CG42_CONTOPAR_CG24 FROM CG42_MOVCONT ORDER BY CG42_DITTA_CG18, CG42_NUMREG_CG41, "
      "CG42_RIGA");
  std::vector<std::string> accounts;
  for (; !rs.eof(); rs.move_next()) accounts.push_back(RTrimNz(rs["CG42_CONTOPAR_CG24"]));
  EXPECT_EQ(accounts, (std::vector<std::string>{"DEFPAR", "CASSA01", "ALTRO", "DEFPAR", "DEFPAR"}));
  EXPECT_FALSE(w.anomaly);
}

TEST(AggiornaRecCogeTest, AFailureIsAnAnomalyWithStatus99) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec("DROP TABLE CG42_MOVCONT");
  w.document.cash_account = "CASSA01";
  std::string registration = "100";
  AggiornaRecCoge(w, registration);
  EXPECT_EQ(w.document.journal_fix_status, 99);
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "Aggiorna Rec. Coge");
}

}  // namespace
}  // namespace zodadovez
