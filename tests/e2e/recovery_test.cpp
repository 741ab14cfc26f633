// Every receipt in exactly one document, whatever happens to a run: killed at any statement, two
// runs started at once, stopped by Ctrl-C. After each, plain runs leave the ERP as one
// uninterrupted run of the same gym does.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/data/backend.h"
#include "host/data/faulty_database.h"
#include "host/erp/stand_in_host.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/config/configurazioni.h"
#include "module/engine/import_run.h"
#include "tests/support/temp_dir.h"

namespace zodadovez {
namespace {

using testing::TempDir;

constexpr int kReceipts = 240;

// The demo's databases, made once, without import; each case works on its own copy.
class Gym {
 public:
  Gym() {
    const std::string command = fmt::format("{} demo --dir {} --receipts {} --no-import >/dev/null",
                                            ZODADOVEZ_BINARY, source_.path().string(), kReceipts);
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  // A copy of the databases, its errors folder moved below it.
  std::string Copy(const TempDir& to) const {
    std::filesystem::copy(source_.path(), to.path(),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    auto db = OpenDatabase(to.Uri());
    Recordset rs = db->open("SELECT ZEV90_ID, ZEV90_PATH_ERRORI FROM ZEV90_PARAMETRI");
    const std::string from = source_.path().string();
    for (; !rs.eof(); rs.move_next()) {
      std::string path = RTrimNz(rs["ZEV90_PATH_ERRORI"]);
      if (!path.starts_with(from)) continue;
      db->execute("UPDATE ZEV90_PARAMETRI SET ZEV90_PATH_ERRORI = " +
                  SqlQuote(to.path().string() + path.substr(from.size())) +
                  " WHERE ZEV90_ID = " + rs["ZEV90_ID"].ToText());
    }
    return to.Uri();
  }

 private:
  TempDir source_;
};

const Gym& Demo() {
  static const Gym* gym = new Gym();
  return *gym;
}

// A plain "Normale" run of every configuration, as `zodadovez import` makes it; or, with
// `only_missing`, a "Rielabora" of every day for the receipts and days without a document.
RunOutcome Import(const std::string& erp, FaultPlan* faults = nullptr, bool only_missing = false) {
  StandInOptions options;
  options.connection = erp;
  options.company = 1;
  options.faults = faults;
  StandInHost host(options);
  ImportRun run(host, RunOptions{true, only_missing, {}, nullptr});
  run.Open();
  ListaConfigurazioni(run);
  ParameterSet set;
  if (only_missing) {
    set.mode = 1;
    set.date_from = "01/01/2000";
    set.date_to = "31/12/2099";
  }
  for (Recordset rs = run.configurations.clone(); !rs.eof(); rs.move_next()) {
    set.configurations.push_back(NzDec(rs["ZEV90_ID"]).ToInteger());
  }
  return run.Execute(set);
}

// Runs `work` in a child process and returns how it ended (a wait status).
template <typename Work>
int InChild(Work work) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int code = 1;
    try {
      code = work();
    } catch (...) {
      code = 99;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// Every table the import writes, each row as text, sorted; the run records (history, ledger),
// the configuration (its errors folder is the copy's) and the kit explosion's scratch rows aside.
// A run that meets a bar product again rewrites its price-list entry, marking it varied
// (LI10_FLGVARIATO, LI10_DATAULTAGG): a run that completes another meets again the products of
// the receipts it skips, so those two columns are left out.
std::vector<std::string> Erp(const std::string& erp) {
  auto db = OpenDatabase(erp);
  std::vector<std::string> lines;
  Recordset tables = db->open(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' AND name "
      "NOT IN ('ZEV97_DOCUMENTI', 'ZEV98_ESECUZIONI', 'ZEV99_RESULT', 'ZEV90_PARAMETRI', "
      "'ESPKIT_RISULTATO') ORDER BY name");
  for (; !tables.eof(); tables.move_next()) {
    const std::string table = tables["name"].ToText();
    std::vector<std::string> rows;
    Recordset rs = db->open("SELECT * FROM " + table);
    for (; !rs.eof(); rs.move_next()) {
      std::string row = table;
      for (std::size_t i = 0; i < rs.fields().size(); ++i) {
        const std::string& name = rs.fields()[i].name;
        if (name == "LI10_FLGVARIATO" || name == "LI10_DATAULTAGG") continue;
        const Value& v = rs.at(i);
        row += "|" + (v.is_null() || v.is_empty() ? std::string("NULL") : v.ToText());
      }
      rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end());
    lines.insert(lines.end(), rows.begin(), rows.end());
  }
  return lines;
}

// The ERP after one uninterrupted run, and the statements that run sent. A second plain run
// follows it, as it follows every interrupted one: price-list entries are touched by every run
// that meets their article.
struct Baseline {
  std::vector<std::string> erp;
  std::int64_t statements = 0;
};

const Baseline& Clean() {
  static const Baseline* baseline = [] {
    auto* b = new Baseline();
    TempDir dir;
    const std::string erp = Demo().Copy(dir);
    FaultPlan count;
    EXPECT_NE(Import(erp, &count).status, RunStatus::kRefused);
    b->statements = count.statements;
    Import(erp);
    b->erp = Erp(erp);
    return b;
  }();
  return *baseline;
}

void ExpectSameErp(const std::vector<std::string>& expected, const std::vector<std::string>& got) {
  std::vector<std::string> missing, extra;
  std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(),
                      std::back_inserter(missing));
  std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra));
  EXPECT_TRUE(missing.empty() && extra.empty())
      << missing.size() << " rows missing, first: " << (missing.empty() ? "" : missing[0]) << "\n"
      << extra.size() << " rows more, first: " << (extra.empty() ? "" : extra[0]) << [&] {
           std::string t;
           for (auto& m : missing) t += "\n- " + m;
           for (auto& m : extra) t += "\n+ " + m;
           return t;
         }();
}

TEST(RecoveryTest, KilledAtAnyStatementThePlainRunsThatFollowCompleteItExactly) {
  const Baseline& clean = Clean();
  ASSERT_GT(clean.statements, 1000);
  // Points spread over the whole run, the same ones every time; ZODADOVEZ_KILL_POINTS asks for
  // more, ZODADOVEZ_KILL_AT for one.
  const char* more = std::getenv("ZODADOVEZ_KILL_POINTS");
  const int points = more != nullptr ? std::atoi(more) : 12;
  std::mt19937_64 random(20261207);
  std::uniform_int_distribution<std::int64_t> at(1, clean.statements);
  const char* only = std::getenv("ZODADOVEZ_KILL_AT");
  for (int i = 0; i < (only != nullptr ? 1 : points); ++i) {
    const std::int64_t k = only != nullptr ? std::atoll(only) : at(random);
    SCOPED_TRACE(fmt::format("killed at statement {} of {}", k, clean.statements));
    TempDir dir;
    const std::string erp = Demo().Copy(dir);
    FaultPlan kill;
    kill.fail_at = k;
    kill.signal = SIGKILL;
    const int status = InChild([&] {
      Import(erp, &kill);
      return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    // Killed twice, the second time while completing the first.
    if (i % 3 == 0) {
      FaultPlan again;
      again.fail_at = std::max<std::int64_t>(1, k / 2);
      again.signal = SIGKILL;
      InChild([&] {
        Import(erp, &again);
        return 0;
      });
    }
    // Completed by the plain run, or by a run for the missing documents only.
    if (i % 4 == 1) {
      const RunOutcome missing = Import(erp, nullptr, /*only_missing=*/true);
      for (const ConfigurationOutcome& c : missing.configurations) EXPECT_EQ(c.second_copies, 0);
    }
    Import(erp);
    Import(erp);
    ExpectSameErp(clean.erp, Erp(erp));
  }
  // Once all is there, a run for the missing documents stores nothing.
  TempDir dir;
  const std::string erp = Demo().Copy(dir);
  Import(erp);
  const RunOutcome nothing = Import(erp, nullptr, /*only_missing=*/true);
  for (const ConfigurationOutcome& c : nothing.configurations) EXPECT_EQ(c.imported, 0);
}

TEST(RecoveryTest, TwoImportsAtOnceStoreEveryReceiptOnce) {
  const Baseline& clean = Clean();
  TempDir dir;
  const std::string erp = Demo().Copy(dir);
  // Two scheduler jobs at once: one waits for the other, then finds nothing left to import.
  auto start = [&] {
    pid_t pid = fork();
    if (pid == 0) {
      execl(ZODADOVEZ_BINARY, ZODADOVEZ_BINARY, "import", "--erp", erp.c_str(), "--company", "1",
            "--wait", "300", static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  };
  const pid_t first = start();
  const pid_t second = start();
  for (pid_t pid : {first, second}) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1 && WEXITSTATUS(status) != 2)
        << status;
  }
  ExpectSameErp(clean.erp, Erp(erp));

  // Without waiting, the second is refused at once and writes nothing.
  TempDir other;
  const std::string erp2 = Demo().Copy(other);
  auto db = OpenDatabase(erp2);
  ASSERT_TRUE(db->AcquireLock("ZODADOVEZ_IMPORT_1", std::chrono::milliseconds(0)));
  const RunOutcome outcome = Import(erp2);
  EXPECT_EQ(outcome.status, RunStatus::kRefused);
  EXPECT_EQ(outcome.refusal, Refusal::kImportRunning);
  EXPECT_NE(outcome.reason.find("another import of company 1 is running"), std::string::npos);
  const int code = std::system(
      fmt::format("{} import --erp {} --company 1 >/dev/null 2>&1", ZODADOVEZ_BINARY, erp2)
          .c_str());
  EXPECT_EQ(WEXITSTATUS(code), 1);
  db->ReleaseLock("ZODADOVEZ_IMPORT_1");
  Import(erp2);
  Import(erp2);
  ExpectSameErp(clean.erp, Erp(erp2));
}

TEST(RecoveryTest, CtrlCStopsAfterTheReceiptInHandAndThePlainRunCompletesIt) {
  const Baseline& clean = Clean();
  TempDir dir;
  const std::string erp = Demo().Copy(dir);
  const std::string path = erp.substr(std::string("sqlite:").size());
  pid_t pid = fork();
  if (pid == 0) {
    execl(ZODADOVEZ_BINARY, ZODADOVEZ_BINARY, "import", "--erp", erp.c_str(), "--company", "1",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Once some documents are stored, the operator presses Ctrl-C.
  auto db = OpenDatabase(erp);
  for (int i = 0; i < 3000; ++i) {
    Recordset rs = db->open("SELECT COUNT(*) AS N FROM DO11_DOCTESTATA");
    if (rs["N"].ToInteger() >= 20) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130);
  // It said what it did: its history row, and a results file that ends as every one does.
  Recordset history = db->open("SELECT COUNT(*) AS N FROM ZEV99_RESULT");
  EXPECT_GE(history["N"].ToInteger(), 1);
  Recordset run = db->open("SELECT ZEV98_ESITO FROM ZEV98_ESECUZIONI ORDER BY ZEV98_ID");
  ASSERT_FALSE(run.eof());
  EXPECT_EQ(run["ZEV98_ESITO"].ToInteger(), 2);
  bool ended = false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (entry.path().filename().string().find("_Risultati_") == std::string::npos) continue;
    std::ifstream in(entry.path());
    std::string text((std::istreambuf_iterator<char>(in)), {});
    ended = ended || (text.find(" Fine Import ---> ") != std::string::npos &&
                      text.find("Documenti Importati = ") != std::string::npos);
  }
  EXPECT_TRUE(ended);
  db.reset();
  Import(erp);
  Import(erp);
  ExpectSameErp(clean.erp, Erp(erp));
}

}  // namespace
}  // namespace zodadovez
