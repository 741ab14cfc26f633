// Faults: every statement of a run failing in turn, and a run killed at a receipt. The run
// tells each fault and never throws, and a following fault-free run imports what was left.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <span>
#include <string_view>

#include "host/data/faulty_database.h"
#include "tests/support/window_fixture.h"
#include "tests/unit/reliability/report_files.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

ParameterSet Rielabora(const std::string& from, const std::string& to) {
  ParameterSet set;
  set.configurations = {1};
  set.mode = 1;
  set.date_from = from;
  set.date_to = to;
  return set;
}
ParameterSet ExampleRange() { return Rielabora("01/01/2024", "31/12/2024"); }

// The example data once (removed with the test program); every run works on a copy of it.
WindowFixture& Example() {
  static WindowFixture fixture;
  static const bool loaded = (fixture.LoadExample(), true);
  (void)loaded;
  return fixture;
}

// What a run told: its anomaly lines, its "NO" results lines and the host log.
struct Told {
  std::vector<std::vector<std::string>> anomalies;
  std::vector<std::vector<std::string>> rejections;
  std::vector<std::string> log;
};

Told Read(WindowFixture& f, const ImportRun& w) {
  Told told;
  for (const ConfigurationOutcome& o : w.outcomes) {
    if (!o.anomalies_path.empty()) told.anomalies = testing::AnomalyLines(o.anomalies_path);
    if (o.results_path.empty()) continue;
    for (auto& line : testing::ResultLines(o.results_path)) {
      if (line[0] == "NO") told.rejections.push_back(std::move(line));
    }
  }
  told.log = f.host().log_lines();
  return told;
}

// The documents of the ERP, each as one text of the columns that tell them apart. The number
// is left out: a document without a receipt number (a grouped day, a receipt numbered 0) is
// numbered by the host, one after the last, and a second run numbers it anew.
std::multiset<std::string> Documents(Database& db) {
  Recordset rs = db.open(
      "SELECT DO11_DOCUM_MG36, DO11_SEZDOC, DO11_ANNODOC, DO11_NUMDOCORIG, DO11_DATADOC, "
      "DO11_CLIFOR_CG44, DO11_TOTDOC FROM DO11_DOCTESTATA");
  std::multiset<std::string> documents;
  for (; !rs.eof(); rs.move_next()) {
    std::string key;
    for (std::size_t i = 0; i < rs.fields().size(); ++i) key += RTrimNz(rs.at(i)) + "|";
    documents.insert(key);
  }
  return documents;
}

// Every document of `expected` is in `actual`, as many times at least.
void ExpectEveryDocument(const std::multiset<std::string>& expected,
                         const std::multiset<std::string>& actual) {
  for (auto it = expected.begin(); it != expected.end(); it = expected.upper_bound(*it)) {
    EXPECT_GE(actual.count(*it), expected.count(*it)) << "missing after the second run: " << *it;
  }
}

// The readings whose failure the module's rules end quietly, with a default and no anomaly:
// price list, section default, document type kind (lookups), the gym payment type's effect,
// the payment terms made from it and the effect-type-1 test (payment terms), and the article
// numbers of a family (article writer).
constexpr std::string_view kQuietReadings[] = {
    "SELECT MG44_NUMLIST FROM MG44_PARMAGLIST",
    "SELECT TOP 1 MG3G_SEZDEFAULT FROM MG3G_DOCDITTA",
    "SELECT TOP 1 MG36_INDDEFPIE FROM MG36_DOCUMENTI",
    "SELECT * FROM ZEV04_TIPOPAG",
    "SELECT TOP 1 * FROM CG62_CONDPAGDES",
    "INSERT INTO CG62_CONDPAGDES",
    "SELECT TOP 1 * FROM CG63_CONDPAGDET",
    "INSERT INTO CG63_CONDPAGDET",
    "SELECT CG63_TIPOEFF FROM CG63_CONDPAGDET",
    "SELECT ISNULL(MG43_NUMPERS1,0) AS PROG FROM MG43_ARTPERS",
    "SELECT MG66_FAM_MG53, MAX(ISNULL(MG43_NUMPERS1,0)) AS MAX FROM MG66_ANAGRART",
};

bool StartsWithAny(std::string_view text, std::span<const std::string_view> prefixes) {
  for (std::string_view p : prefixes) {
    if (text.starts_with(p)) return true;
  }
  return false;
}

// The statements of a document's save. A grouped document does not read the save's error
// indicator: its failed save is counted as imported and told nowhere; the following run
// imports the day again.
constexpr std::string_view kSaveStatements[] = {
    "BEGIN TRANSACTION",
    "SELECT CG44_CLIFOR FROM CG44_CLIFOR",
    "SELECT MAX(",
    "SELECT * FROM CG26_PROGANAG",
    "UPDATE CG26_PROGANAG",
    "INSERT INTO CG26_PROGANAG",
    "SELECT * FROM DO11_DOCTESTATA WHERE 1 = 0",
    "INSERT INTO DO11_DOCTESTATA",
    "SELECT * FROM DO30_DOCRIGHE WHERE 1 = 0",
    "INSERT INTO DO30_DOCRIGHE",
    "SELECT TOP 1 CG63_PROG",
    "SELECT HOST_VALORE FROM HOST_SETTINGS",
    "SELECT * FROM CG41_PRIMANOTA WHERE 1 = 0",
    "INSERT INTO CG41_PRIMANOTA",
    "SELECT * FROM CG42_MOVCONT WHERE 1 = 0",
    "INSERT INTO CG42_MOVCONT",
    "SAVE TRANSACTION",
    "COMMIT TRANSACTION",
};

// The clean run of the example: its statements, what it told and the documents it left.
struct Baseline {
  std::vector<std::string> statements;
  Told told;
  std::multiset<std::string> documents;
  std::size_t grouped_from = 0;  // the first statement of the grouped documents' saves
};

const Baseline& Clean() {
  static const Baseline* baseline = [] {
    auto* b = new Baseline();
    WindowFixture f(Example());
    FaultPlan plan;
    plan.record = &b->statements;
    f.faults = &plan;
    ImportRun& w = f.Import(ExampleRange());
    b->told = Read(f, w);
    for (std::size_t i = 0; i < b->statements.size(); ++i) {
      if (b->statements[i].starts_with("SELECT * FROM #TEMPDOC WHERE DATARICEVUTA")) {
        b->grouped_from = i + 1;
      }
    }
    b->documents = Documents(f.db());
    return b;
  }();
  return *baseline;
}

// Every third statement by default: ZODADOVEZ_FAULT_STRIDE=1 fails each one in turn, and
// ZODADOVEZ_FAULT_FIRST=k starts at statement k.
int FromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  int value = text != nullptr ? std::atoi(text) : fallback;
  return value > 0 ? value : fallback;
}

TEST(FaultTest, EachStatementFailingIsToldAndTheNextRunImportsWhatWasLeft) {
  const Baseline& clean = Clean();
  ASSERT_GT(clean.grouped_from, 0u);
  const std::int64_t total = static_cast<std::int64_t>(clean.statements.size());
  int injected = 0;
  for (std::int64_t k = FromEnvironment("ZODADOVEZ_FAULT_FIRST", 1); k <= total;
       k += FromEnvironment("ZODADOVEZ_FAULT_STRIDE", 3)) {
    SCOPED_TRACE(fmt::format("statement {} of {}: {}", k, total,
                             clean.statements[static_cast<std::size_t>(k - 1)].substr(0, 120)));
    WindowFixture f(Example());
    FaultPlan plan;
    plan.fail_at = k;
    f.faults = &plan;
    ImportRun* w = nullptr;
    ASSERT_NO_THROW(w = &f.Import(ExampleRange()));
    ASSERT_EQ(plan.failures, 1);
    ++injected;
    const std::string& statement = plan.first_failed;

    // Told by an anomaly line, a rejection or the host log, unless the rules end it quietly.
    const Told told = Read(f, *w);
    const bool was_told = told.anomalies != clean.told.anomalies ||
                          told.rejections != clean.told.rejections ||
                          told.log.size() > clean.told.log.size();
    const bool quiet = StartsWithAny(statement, kQuietReadings) ||
                       (static_cast<std::size_t>(k) > clean.grouped_from &&
                        StartsWithAny(statement, kSaveStatements));
    EXPECT_TRUE(was_told || quiet);
    if (!(was_told || quiet)) {
      for (auto& l : told.anomalies)
        std::cout << "A " << l[0] << " " << l[1] << " " << l[3].substr(0, 80) << "\n";
      for (auto& l : told.rejections)
        std::cout << "N " << l[1] << " " << l[2].substr(0, 80) << "\n";
      for (auto& l : told.log) std::cout << "L " << l << "\n";
      std::cout << testing::ReadFile(w->outcomes[0].results_path);
    }

    // The same range again, without faults: every document of the clean run is there (a
    // receipt stored twice carries DO11_FLGDOCBIS = 1 the second time).
    f.faults = nullptr;
    ASSERT_NO_THROW(f.Import(ExampleRange()));
    ExpectEveryDocument(clean.documents, Documents(f.db()));
  }
  std::cout << "faults injected: " << injected << " of " << total << " statements\n";
}

// Persistent faults from statement k on: the server went away. Killed at the start of each
// receipt, the run records the failures and a later run finds everything again.
TEST(FaultTest, ARunKilledAtAReceiptIsCompletedByTheNextRun) {
  const Baseline& clean = Clean();
  int killed = 0;
  for (std::size_t i = 0; i < clean.statements.size(); ++i) {
    if (!clean.statements[i].starts_with(" SELECT RicevuteRiga.*")) continue;
    SCOPED_TRACE(fmt::format("killed at statement {}", i + 1));
    WindowFixture f(Example());
    FaultPlan plan;
    plan.fail_at = static_cast<std::int64_t>(i + 1);
    plan.persistent = true;
    f.faults = &plan;
    ImportRun* w = nullptr;
    ASSERT_NO_THROW(w = &f.Import(ExampleRange()));
    EXPECT_TRUE(w->anomaly);
    ASSERT_FALSE(w->outcomes.empty());
    EXPECT_FALSE(w->outcomes[0].anomalies_path.empty());
    f.faults = nullptr;
    ASSERT_NO_THROW(f.Import(ExampleRange()));
    ExpectEveryDocument(clean.documents, Documents(f.db()));
    ++killed;
  }
  EXPECT_GE(killed, 4);
}

// An import only reads the gym database: its file is as it was, and the import's connection
// could not have written to it.
TEST(GymDatabaseTest, AnImportLeavesTheGymFileAsItWas) {
  WindowFixture f(Example());
  f.CloseDb();
  const std::filesystem::path gym = f.dir().path() / "Palestra.db";
  const std::string before = testing::ReadFile(gym.string());
  const auto written = std::filesystem::last_write_time(gym);
  f.Import(ExampleRange());
  EXPECT_FALSE(Documents(f.db()).empty());
  EXPECT_EQ(testing::ReadFile(gym.string()), before);
  EXPECT_EQ(std::filesystem::last_write_time(gym), written);
  std::unique_ptr<Database> db = OpenDatabase(f.dir().Uri());
  EXPECT_THROW(db->execute("DELETE FROM Palestra.dbo.RicevuteTestata"), DataError);
}

// A fault at the very first statement strikes before any configuration has named its errors
// folder: the host log has it, and no folder is made anywhere else.
TEST(FaultTest, AFaultBeforeAnyConfigurationGoesToTheHostLog) {
  WindowFixture f(Example());
  FaultPlan plan;
  plan.fail_at = 1;
  f.faults = &plan;
  ImportRun& w = f.Import(ExampleRange());
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.unfiled_anomalies, 1);
  ASSERT_FALSE(f.host().log_lines().empty());
  EXPECT_NE(f.host().log_lines().back().find("injected fault at statement 1"), std::string::npos)
      << f.host().log_lines().back();
  EXPECT_FALSE(std::filesystem::exists("/Log_15_07_2024"));
}

}  // namespace
}  // namespace zodadovez
