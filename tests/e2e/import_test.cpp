// End to end: a fixed gym fixture imported through the real SQL, on the embedded backend, on the
// ODBC backend through SQLite's ODBC driver and, when ZODADOVEZ_TEST_SQLSERVER names one, on a
// SQL Server; the ERP rows written and the results file compared with the same expected ones,
// column by column.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "host/data/backend.h"
#include "host/data/faulty_database.h"
#include "host/data/sqlite/tsql_lexer.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "host/data/statement_log.h"
#include "host/data/tsv.h"
#include "host/erp/stand_in_host.h"
#include "module/common/errors.h"
#include "module/shell/clszev_zodadovez.h"
#include "module/shell/frmzev_zodadovez.h"
#include "tests/support/e2e_databases.h"

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

using testing::Backend;

// One suite for every backend, after SOCI's manner: each backend supplies its databases, the
// expectations are the same.
class ImportTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    std::string why;
    databases_ = testing::E2eDatabases::Create(GetParam(), &why);
    if (!databases_) GTEST_SKIP() << why;
    errors_ = databases_->LoadExample();
  }

  // Runs the import unattended with `selections`, as a command-line run does.
  ImportRun& Import(const ParameterSet& selections, FaultPlan* faults = nullptr) {
    StandInOptions o;
    o.connection = databases_->uri();
    o.company = 1;
    o.clock = &clock_;
    o.statement_log = &log_;
    o.faults = faults;
    plugin_.reset();  // the plug-in of an earlier run goes before the host it speaks to
    host_ = std::make_unique<StandInHost>(o);
    plugin_ = std::make_unique<CLSZEV_ZODADOVEZ>(*host_);
    plugin_->unattended = true;
    plugin_->selections = selections;
    plugin_->Cinterface_ShowForm();
    return plugin_->Cinterface_Cwindow()->run();
  }

  Database& db() { return databases_->db(); }
  // A text of the run with the gym database under its embedded name, so that one expectation
  // serves every backend.
  std::string AsEmbedded(std::string text) const {
    const std::string& gym = databases_->gym();
    for (std::size_t at = text.find(gym); at != std::string::npos; at = text.find(gym, at + 8)) {
      text.replace(at, gym.size(), "Palestra");
    }
    return text;
  }

  std::unique_ptr<testing::E2eDatabases> databases_;
  std::string errors_;
  FixedClock clock_{MakeDateTime(2024, 7, 15, 21, 30, 5)};
  StatementLog log_;
  std::unique_ptr<StandInHost> host_;
  std::unique_ptr<CLSZEV_ZODADOVEZ> plugin_;  // declared last: goes first, before its host
};

INSTANTIATE_TEST_SUITE_P(Backends, ImportTest,
                         ::testing::Values(Backend::kEmbedded, Backend::kSqliteOdbc,
                                           Backend::kSqlServer),
                         [](const ::testing::TestParamInfo<Backend>& param) {
                           return testing::BackendName(param.param);
                         });

TEST_P(ImportTest, WritesTheExpectedDocumentsMasterDataAndResults) {
  ParameterSet set;
  set.configurations = {1, 2};
  set.mode = 1;
  set.date_from = "01/01/2024";
  set.date_to = "31/12/2024";
  ImportRun& w = Import(set);
  ASSERT_EQ(w.outcomes.size(), 2u);
  // The results file counts the single documents, then the one day and section of grouped
  // documents; the configuration's summary adds both.
  EXPECT_EQ(w.outcomes[0].present, 5 + 1);
  EXPECT_EQ(w.outcomes[0].imported, 4 + 1);

  const std::pair<const char*, const char*> tables[] = {
      {"DO11_DOCTESTATA.tsv", "SELECT * FROM DO11_DOCTESTATA ORDER BY DO11_NUMREG_CO99"},
      {"DO30_DOCRIGHE.tsv", "SELECT * FROM DO30_DOCRIGHE ORDER BY DO30_NUMREG_DO11, DO30_RIGA"},
      {"CG16_ANAGGEN.tsv", "SELECT * FROM CG16_ANAGGEN ORDER BY CG16_CODICE"},
      {"CG44_CLIFOR.tsv",
       "SELECT * FROM CG44_CLIFOR ORDER BY CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR"},
      {"MG19_CLIFORVA.tsv",
       "SELECT * FROM MG19_CLIFORVA ORDER BY MG19_DITTA_CG18, MG19_TIPOCF_CG44, MG19_CLIFOR_CG44"},
      {"CG28_TABCODIVA.tsv", "SELECT * FROM CG28_TABCODIVA ORDER BY CG28_CODICE"},
      {"CG62_CONDPAGDES.tsv", "SELECT * FROM CG62_CONDPAGDES ORDER BY CG62_CODPAG"},
      {"CG63_CONDPAGDET.tsv", "SELECT * FROM CG63_CONDPAGDET ORDER BY CG63_CODPAG_CG62, CG63_PROG"},
      {"CG42_MOVCONT.tsv",
       "SELECT * FROM CG42_MOVCONT ORDER BY CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_RIGA"},
      {"CG41_PRIMANOTA.tsv", "SELECT * FROM CG41_PRIMANOTA ORDER BY 1, 2"},
      // The anomaly file's path holds the test's folder: checked apart below.
      {"ZEV99_RESULT.tsv",
       "SELECT ZEV99_ID, ZEV99_DITTA_CG18, ZEV99_DATA_WORK, ZEV99_DATA_INIZIO, ZEV99_DATA_FINE, "
       "ZEV99_IDRICEVUTA, ZEV99_TOTREC, ZEV99_NUMERR, ZEV99_TOTIMP, ZEV99_TIPOELABORA FROM "
       "ZEV99_RESULT ORDER BY ZEV99_ID"},
  };
  auto expect_erp_rows = [&](Database& db) {
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
  };
  Database& db = this->db();
  expect_erp_rows(db);
  if (GetParam() == Backend::kSqliteOdbc) {
    // What the driver stored reads back through the embedded backend as an embedded run's rows
    // (dates as its text, amounts at their scale), not only through the driver itself.
    SCOPED_TRACE("the same file through the embedded backend");
    expect_erp_rows(*OpenDatabase(databases_->embedded_uri()));
  }
  Recordset history = db.open("SELECT ZEV99_EXPORT FROM ZEV99_RESULT ORDER BY ZEV99_ID");
  ASSERT_FALSE(history.eof());
  EXPECT_EQ(history["ZEV99_EXPORT"].ToText(),
            errors_ + "/Log_15_07_2024/1_Errori_15_07_2024.21.30.05.txt");
  // The results file of configuration 1, its folder and name fixed by the clock.
  const std::string results =
      errors_ + "/Log_15_07_2024/" + databases_->gym() + "_1_Risultati_15_07_2024.21.30.05.txt";
  EXPECT_EQ(w.outcomes[0].results_path, results);
  ExpectGolden("risultati_1.txt", AsEmbedded(ReadFile(results)));
}

TEST_P(ImportTest, EveryStatementTranslatesAndTheShapesAreListed) {
  ParameterSet set;
  set.configurations = {1};
  Import(set);
  // Every statement the import sent, translated again by a fresh bridge: none is refused.
  bridge::Translator translator;
  std::set<std::string> shapes;
  for (const StatementRecord& r : log_.records()) {
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
      shape += (shape.empty() ? "" : " ") +
               (literal ? std::string("?") : AsEmbedded(std::string(t.text)));
    }
    shapes.insert(shape);
  }
  std::string listing;
  for (const std::string& s : shapes) listing += s + "\n";
  ExpectGolden("shapes.txt", listing);
}

// A connection that goes away in the middle of a run: every statement from the fortieth on
// fails. The run records the anomaly and ends, as the command line then ends with exit code 3.
TEST_P(ImportTest, AConnectionLostMidRunIsAnAnomalyAndTheRunEnds) {
  ParameterSet set;
  set.configurations = {1, 2};
  set.mode = 1;
  set.date_from = "01/01/2024";
  set.date_to = "31/12/2024";
  FaultPlan plan;
  plan.fail_at = 40;
  plan.persistent = true;
  ImportRun& w = Import(set, &plan);
  EXPECT_TRUE(w.anomaly);
  EXPECT_GT(plan.failures, 0);
  ASSERT_FALSE(w.outcomes.empty());
  EXPECT_FALSE(w.outcomes[0].anomalies_path.empty());
  EXPECT_TRUE(std::filesystem::exists(w.outcomes[0].anomalies_path));
}

// The ERP procedures the import calls: the C++ stand-ins on the embedded backend, procedures.sql
// on a server, with the same rows. A kit inside a kit, a link without sequence, a bill base of
// 2, a second bill of the inner kit that does not count, and a description in two languages.
TEST_P(ImportTest, TheErpProceduresAnswerAlikeOnEveryBackend) {
  for (const char* row : {
           "INSERT INTO PD95_DISBA (PD95_IDDISBA, PD95_DITTA_CG18, PD95_CODART_MG66, "
           "PD95_OPZIONE_MG5E, PD95_TIPO_DISTINTA, PD95_DESCR, PD95_QTABASE) VALUES (2, 1, "
           "'KITMAXI', '', 50, 'KIT MAXI', 2)",
           "INSERT INTO PD95_DISBA (PD95_IDDISBA, PD95_DITTA_CG18, PD95_CODART_MG66, "
           "PD95_OPZIONE_MG5E, PD95_TIPO_DISTINTA, PD95_DESCR, PD95_QTABASE) VALUES (3, 1, "
           "'KITFIT', '', 50, 'KIT FITNESS BIS', 1)",
           "INSERT INTO PD96_LEGAMIDISBA (PD96_IDDISBA_PD95, PD96_IDLEGAME, PD96_SEQUENZA, "
           "PD96_CODART_MG66, PD96_OPZIONE_MG5E, PD96_QTA, PD96_COSTODB) VALUES (2, 4, 10, "
           "'B-ACQUA', '', 1, 0.40)",
           "INSERT INTO PD96_LEGAMIDISBA (PD96_IDDISBA_PD95, PD96_IDLEGAME, PD96_SEQUENZA, "
           "PD96_CODART_MG66, PD96_OPZIONE_MG5E, PD96_QTA, PD96_COSTODB) VALUES (2, 3, 10, "
           "'B-COCA', 'L', 3, 1.00)",
           "INSERT INTO PD96_LEGAMIDISBA (PD96_IDDISBA_PD95, PD96_IDLEGAME, PD96_SEQUENZA, "
           "PD96_CODART_MG66, PD96_OPZIONE_MG5E, PD96_QTA, PD96_COSTODB) VALUES (2, 5, NULL, "
           "'KITFIT', '', 1, 0)",
           "INSERT INTO PD96_LEGAMIDISBA (PD96_IDDISBA_PD95, PD96_IDLEGAME, PD96_SEQUENZA, "
           "PD96_CODART_MG66, PD96_OPZIONE_MG5E, PD96_QTA, PD96_COSTODB) VALUES (3, 1, 1, "
           "'B-COCA', '', 9, 0)",
           "INSERT INTO MG87_ARTDESC (MG87_DITTA_CG18, MG87_CODART_MG66, MG87_OPZIONE_MG5E, "
           "MG87_LINGUA_MG52, MG87_DESCART) VALUES (1, 'B-COCA', '', 'EN', 'COKE 33CL')",
       }) {
    db().execute(row);
  }
  auto explode = [&](int levels) {
    Recordset rs = db().open(
        "SPMG_ESPLKIT @DITTA=1, @CODICE_ARTICOLO = 'KITMAXI', @VARIANTE_ARTICOLO = ' ', "
        "@CODICE_DEPOSITO = '00', @QTA_DA_ESPLODERE = 3, @LIVELLO_ESPLOSIONE = " +
        std::to_string(levels) +
        ", @ESPLODI_DIBA_STANDARD = 0, @RITORNA_LIVELLI_INTERMEDI = 0, "
        "@ELABORA_LEGAMI_OPZIONALI = 0, @AGGIORNA_COSTO_ULTIMO = 0, @COSTO_UNITARIO = 0");
    std::string out;
    for (; !rs.eof(); rs.move_next()) {
      for (const char* column :
           {"ESPKIT_RIGA", "ESPKIT_LIVELLO", "ESPKIT_CODART", "ESPKIT_COMPON", "ESPKIT_OPZIONE",
            "ESPKIT_DESCART", "ESPKIT_QTA1", "ESPKIT_IDDISBA", "ESPKIT_IDLEGAME"}) {
        out += FormatTsvField(rs[column]) +
               (std::string_view(column) == "ESPKIT_IDLEGAME" ? "\n" : "\t");
      }
    }
    return out;
  };
  EXPECT_EQ(explode(999),
            "1\t2\tKITMAXI\tB-ACQUA\t\tACQUA NATURALE 50CL\t3.000000\t1\t1\n"
            "2\t2\tKITMAXI\tB-BARRETTA\t\tBARRETTA PROTEICA\t1.500000\t1\t2\n"
            "3\t1\tKITMAXI\tB-COCA\tL\tCOCA COLA 33CL\t4.500000\t2\t3\n"
            "4\t1\tKITMAXI\tB-ACQUA\t\tACQUA NATURALE 50CL\t1.500000\t2\t4\n");
  // The rows stay in ESPKIT_RISULTATO until the next call.
  EXPECT_EQ(db().open("SELECT COUNT(*) AS N FROM ESPKIT_RISULTATO")["N"].ToInteger(), 4);
  // One level only: the inner kit is a component itself.
  EXPECT_EQ(explode(1),
            "1\t1\tKITMAXI\tKITFIT\t\tKIT FITNESS\t1.500000\t2\t5\n"
            "2\t1\tKITMAXI\tB-COCA\tL\tCOCA COLA 33CL\t4.500000\t2\t3\n"
            "3\t1\tKITMAXI\tB-ACQUA\t\tACQUA NATURALE 50CL\t1.500000\t2\t4\n");

  EXPECT_NO_THROW(db().execute("EXEC SPCO_AGGIORNA_ANAG_FROM_CG16 1"));
  try {
    db().execute("EXEC SPCO_AGGIORNA_ANAG_FROM_CG16 999");
    ADD_FAILURE() << "a master record code that does not exist was accepted";
  } catch (const DataError& error) {
    EXPECT_NE(std::string(error.what()).find("no master record with code 999"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace zodadovez
