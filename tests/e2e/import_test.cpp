// End to end: a fixed gym fixture imported through the real SQL on the embedded backend; the
// ERP rows written and the results file compared with the expected ones, column by column.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "host/data/backend.h"
#include "host/data/sqlite/tsql_lexer.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "host/data/tsv.h"
#include "module/common/errors.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

const std::string kData = ZODADOVEZ_TEST_DATA;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Compares `actual` with the expected file, or writes it when ZODADOVEZ_UPDATE_GOLDEN is set.
void ExpectGolden(const std::string& name, const std::string& actual) {
  const std::string path = kData + "/e2e/expected/" + name;
  if (std::getenv("ZODADOVEZ_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::string expected = ReadFile(path);
  // Line by line, so that a difference names its line.
  std::istringstream a(actual), e(expected);
  std::string al, el;
  int line = 0;
  while (true) {
    bool more_a = static_cast<bool>(std::getline(a, al));
    bool more_e = static_cast<bool>(std::getline(e, el));
    ++line;
    if (!more_a && !more_e) break;
    ASSERT_TRUE(more_a && more_e) << name << ": " << (more_a ? "extra" : "missing") << " line "
                                  << line << ": " << (more_a ? al : el);
    EXPECT_EQ(al, el) << name << " line " << line;
  }
}

std::string Dump(Database& db, const std::string& select) {
  Recordset rs = db.open(select);
  std::string out;
  for (std::size_t i = 0; i < rs.fields().size(); ++i) {
    out += (i ? "\t" : "") + rs.fields()[i].name;
  }
  out += "\n";
  for (; !rs.eof(); rs.move_next()) out += FormatTsvRow(rs) + "\n";
  return out;
}

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override { errors_ = f_.LoadExample(); }
  FRMZEV_ZODADOVEZ& Import(const ParameterSet& set) { return f_.Import(set); }

  testing::WindowFixture f_;
  std::string errors_;
};

TEST_F(ImportTest, WritesTheExpectedDocumentsMasterDataAndResults) {
  ParameterSet set;
  set.configurations = {1, 2};
  set.mode = 1;
  set.date_from = "01/01/2024";
  set.date_to = "31/12/2024";
  FRMZEV_ZODADOVEZ& w = Import(set);
  ASSERT_EQ(w.outcomes.size(), 2u);
  // The grouped documents found one day and section: the counters at the end are theirs.
  EXPECT_EQ(w.outcomes[0].present, 1);

  Database& db = f_.db();
  const std::pair<const char*, const char*> tables[] = {
      {"DO11_DOCTESTATA.tsv", "SELECT * FROM DO11_DOCTESTATA ORDER BY DO11_NUMREG_CO99"},
      {"DO30_DOCRIGHE.tsv", "SELECT * FROM DO30_DOCRIGHE ORDER BY DO30_NUMREG_DO11, DO30_RIGA"},
      {"CG16_ANAGGEN.tsv", "SELECT * FROM CG16_ANAGGEN ORDER BY CG16_CODICE"},
      {"CG44_CLIFOR.tsv", "SELECT * FROM CG44_CLIFOR ORDER BY CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR"},
      {"MG19_CLIFORVA.tsv", "SELECT * FROM MG19_CLIFORVA ORDER BY MG19_DITTA_CG18, MG19_TIPOCF_CG44, MG19_CLIFOR_CG44"},
      {"CG28_TABCODIVA.tsv", "SELECT * FROM CG28_TABCODIVA ORDER BY CG28_CODICE"},
      {"CG62_CONDPAGDES.tsv", "SELECT * FROM CG62_CONDPAGDES ORDER BY CG62_CODPAG"},
      {"CG63_CONDPAGDET.tsv", "SELECT * FROM CG63_CONDPAGDET ORDER BY CG63_CODPAG_CG62, CG63_PROG"},
      {"CG42_MOVCONT.tsv", "SELECT * FROM CG42_MOVCONT ORDER BY CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_RIGA"},
      {"CG41_PRIMANOTA.tsv", "SELECT * FROM CG41_PRIMANOTA ORDER BY 1, 2"},
      // The anomaly file's path holds the test's folder: checked apart below.
      {"ZEV99_RESULT.tsv",
       "SELECT ZEV99_ID, ZEV99_DITTA_CG18, ZEV99_DATA_WORK, ZEV99_DATA_INIZIO, ZEV99_DATA_FINE, "
       "ZEV99_IDRICEVUTA, ZEV99_TOTREC, ZEV99_NUMERR, ZEV99_TOTIMP, ZEV99_TIPOELABORA FROM "
       "ZEV99_RESULT ORDER BY ZEV99_ID"},
  };
  // The article master data: every table the article coding writes.
  for (const char* table :
       {"MG53_FAMIGLIE", "MG54_SOTTOFAM", "MG55_GRUPPI", "MG64_MARCHEART", "MG74_GRUSTAT1",
        "MG75_GRUSTAT2", "PD1F_CLASSEAPROG", "PD1G_CLASSEBPROG", "PD1H_CLASSECPROG",
        "MG66_ANAGRART", "MG43_ARTPERS", "MG67_SCORTE", "MG68_CONFART", "MG87_ARTDESC",
        "PC03_ANAGPDC", "PD68_PROGETTI", "LI10_LISTARTIC"}) {
    SCOPED_TRACE(table);
    ExpectGolden(std::string(table) + ".tsv",
                 Dump(db, std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3"));
  }
  for (const auto& [file, select] : tables) {
    SCOPED_TRACE(file);
    ExpectGolden(file, Dump(db, select));
  }
  Recordset history = db.open("SELECT ZEV99_EXPORT FROM ZEV99_RESULT ORDER BY ZEV99_ID");
  ASSERT_FALSE(history.eof());
  EXPECT_EQ(history["ZEV99_EXPORT"].ToText(),
            errors_ + "/Log_15_07_2024/1_Errori_15_07_2024.21.30.05.txt");
  // The results file of configuration 1, its folder and name fixed by the clock.
  const std::string results =
      errors_ + "/Log_15_07_2024/Palestra_1_Risultati_15_07_2024.21.30.05.txt";
  EXPECT_EQ(w.outcomes[0].results_path, results);
  ExpectGolden("risultati_1.txt", ReadFile(results));
}

TEST_F(ImportTest, EveryStatementTranslatesAndTheShapesAreListed) {
  ParameterSet set;
  set.configurations = {1};
  Import(set);
  // Every statement the import sent, translated again by a fresh bridge: none is refused.
  bridge::Translator translator;
  std::set<std::string> shapes;
  for (const StatementRecord& r : f_.log.records()) {
    if (r.kind != StatementRecord::Kind::kExecute && r.kind != StatementRecord::Kind::kOpen) {
      shapes.insert(r.text);  // a write: its text is already the parameterised shape
      continue;
    }
    EXPECT_NO_THROW(translator.Translate(r.text)) << r.text;
    // The shape: the statement's tokens with every literal written as "?".
    std::string shape;
    for (const bridge::Token& t : bridge::Lex(r.text)) {
      if (t.kind == bridge::TokenKind::kEnd) break;
      bool literal = t.kind == bridge::TokenKind::kString ||
                     t.kind == bridge::TokenKind::kNString || t.kind == bridge::TokenKind::kNumber;
      shape += (shape.empty() ? "" : " ") + (literal ? std::string("?") : std::string(t.text));
    }
    shapes.insert(shape);
  }
  std::string listing;
  for (const std::string& s : shapes) listing += s + "\n";
  ExpectGolden("shapes.txt", listing);
}

}  // namespace
}  // namespace zodadovez
