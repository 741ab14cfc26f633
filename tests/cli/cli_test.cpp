// The `zodadovez` command as a user runs it: exit codes, messages, output.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>
#include <sys/wait.h>

#include "tests/support/temp_dir.h"

namespace zodadovez {
namespace {

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
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TEST(CliTest, InitAndSqlReportBadInputWithExitCodeTwo) {
  testing::TempDir dir;
  std::string erp = Quote(dir.Uri());

  Result missing = RunCommand("sql --erp " + erp + " \"SELECT 1 AS A\"");
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.out.find("erp.db"), std::string::npos) << missing.out;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "erp.db"));  // a failed command creates nothing

  Result init = RunCommand("init --erp " + erp);
  EXPECT_EQ(init.code, 0) << init.out;
  EXPECT_EQ(RunCommand("init --erp " + erp).code, 2);

  Result rows = RunCommand("sql --erp " + erp +
                    " \"SELECT ZEV90_ID, N'a''b' AS T FROM ZEV90_PARAMETRI WITH (NOLOCK)"
                    " UNION ALL SELECT 7, 'x\ty'\"");
  EXPECT_EQ(rows.code, 0) << rows.out;
  EXPECT_EQ(rows.out, "ZEV90_ID\tT\n7\tx\\ty\n");

  Result bad = RunCommand("sql --erp " + erp + " \"SELECT 'unterminated FROM ZEV90_PARAMETRI\"");
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.out.find("line 1, column 8"), std::string::npos) << bad.out;

  Result gym = RunCommand("sql --erp " + erp + " \"SELECT * FROM Altra.dbo.Utenti\"");
  EXPECT_EQ(gym.code, 2);
  EXPECT_NE(gym.out.find("'Altra'"), std::string::npos) << gym.out;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Altra.db"));

  EXPECT_EQ(RunCommand("sql --erp " + erp).code, 2);        // no SQL at all
  EXPECT_EQ(RunCommand("sql --erp mysql:x \"SELECT 1\"").code, 2);  // unknown backend
  EXPECT_EQ(RunCommand("frobnicate").code, 2);
}

// The benchmark on tiny gyms: one row per size, every figure a number, the import finding
// at least what it imports; a size below one is refused.
TEST(CliTest, BenchPrintsOneRowPerSize) {
  testing::TempDir dir;
  Result run = RunCommand("bench --receipts 20 --receipts 40 --dir " + Quote(dir.path().string()));
  ASSERT_EQ(run.code, 0) << run.out;
  ASSERT_NE(run.out.find("Import/replay"), std::string::npos) << run.out;
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream cells(line);
    std::vector<std::string> row;
    for (std::string cell; cells >> cell;) row.push_back(cell);
    if (row.size() == 11 && (row[0] == "20" || row[0] == "40")) rows.push_back(row);
  }
  ASSERT_EQ(rows.size(), 2u) << run.out;
  for (const auto& row : rows) {
    EXPECT_GE(std::stod(row[1]), std::stod(row[2])) << run.out;  // found >= imported
    EXPECT_GT(std::stod(row[2]), 0) << run.out;
    EXPECT_GT(std::stod(row[8]), 0) << run.out;  // import / replay
    EXPECT_GT(std::stod(row[10]), 0) << run.out;  // peak MB
  }
  EXPECT_EQ(RunCommand("bench --receipts 0").code, 2);
}

}  // namespace
}  // namespace zodadovez
