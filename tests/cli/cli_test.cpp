// The `zodadovez` command as a user runs it: exit codes, messages, output.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace zodadovez {
namespace {

struct Result {
  int code;
  std::string out;  // standard output and standard error together
};

Result RunCommand(const std::string& args, const std::string& environment = "") {
  std::string command = environment + std::string(ZODADOVEZ_BINARY) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string out;
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.append(buffer.data(), n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TEST(CliTest, InitAndSqlReportBadInputWithExitCodeTwo) {
  testing::TempDir dir;
  std::string erp = Quote(dir.Uri());

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

  EXPECT_EQ(RunCommand("sql --erp " + erp).code, 2);                // no SQL at all
  EXPECT_EQ(RunCommand("sql --erp mysql:x \"SELECT 1\"").code, 2);  // unknown backend
  EXPECT_EQ(RunCommand("frobnicate").code, 2);
}

// Each exit code the README states, from the command as a scheduler or a user meets it.
TEST(CliTest, ExitCodesAndMessagesAsDocumented) {
  testing::TempDir dir;
  const std::string db = (dir.path() / "a" / "b" / "erp.db").string();
  Result init = RunCommand("init --erp " + Quote("sqlite:" + db));  // makes the folders too
  ASSERT_EQ(init.code, 0) << init.out;
  auto write = [&](const char* name, const std::string& text, mode_t mode) {
    const std::string file = (dir.path() / name).string();
    std::ofstream(file) << text;
    chmod(file.c_str(), mode);
    return Quote(file);
  };
  const std::string own = write("erp", "sqlite:" + db + "\r\n", 0600);
  const std::string shared = write("erp-shared", "sqlite:" + db + "\n", 0640);
  const std::string lines = write("erp-lines", "sqlite:" + db + "\nsqlite:x\n", 0600);
  const std::string odbc = write("erp-odbc", "odbc:Driver=SQLite3;Database=" + db + "\n", 0600);
  const std::string missing = Quote(dir.Uri("none.db"));
  int busy = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(busy, 1), 0);
  getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string port = std::to_string(ntohs(address.sin_port));

  const struct {
    std::string args;
    int code;
    std::string says;  // a piece of the output
  } cases[] = {
      {"", 2, "Subcommands:"},
      {"--version", 0, "zodadovez "},
      {"configs --company 1 --erp-file " + own, 0, "Config."},
      {"configs --company 1", 0, "Config."},  // ZODADOVEZ_ERP_FILE, below
      {"configs --company 1 --erp-file " + shared, 2, "chmod 600"},
      {"configs --company 1 --erp-file " + Quote(dir.path().string()), 2, "not a regular file"},
      {"configs --company 1 --erp-file " + lines, 2, "more than one line"},
#ifdef ZODADOVEZ_HAVE_ODBC
      {"configs --company 1 --erp-file " + odbc, 0, "Config."},  // through SQLite's driver
#endif
      {"configs --company 1 --erp-file " + own + " --erp " + missing, 2, "excludes"},
      {"import --company 1 --erp " + missing, 1, "none.db: no such file"},
      {"configs --company 1 --erp " + missing, 1, "none.db"},
      {"history --company 1 --erp " + missing, 1, "none.db"},
      {"reconcile --company 1 --erp " + missing, 1, "none.db"},
      {"window --company 1 --erp " + missing, 1, "none.db"},
      {"sql --erp " + missing + " 'SELECT 1'", 1, "none.db"},
      {"window --company 1 --erp-file " + own + " --port " + port, 1, "127.0.0.1:" + port},
      {"demo --dir /proc/zdv-demo", 1, "cannot use /proc/zdv-demo as the demo folder"},
      // Refused before anything is written.
      {"import --company 1 --erp-file " + own, 2, "company 1 has no import configuration"},
      {"import --company 1 --erp-file " + own + " --schedule ''", 2, "schedule code is empty"},
      {"import --company 1 --erp-file " + own + " --schedule '  '", 2, "schedule code is empty"},
      {"import --company 1 --erp-file " + own +
           " --mode rielabora --from 31/02/2024 --to "
           "01/03/2024",
       2, "--from '31/02/2024' is not a valid date: expected DD/MM/YYYY"},
      {"import --company 1 --erp-file " + own + " --only-missing", 2, "needs --mode rielabora"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string environment =
        c.args == "configs --company 1" ? "ZODADOVEZ_ERP_FILE=" + own + " " : "";
    Result r = RunCommand(c.args, environment);
    EXPECT_EQ(r.code, c.code) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("unexpected error"), std::string::npos) << r.out;
  }
  close(busy);
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
    EXPECT_GT(std::stod(row[8]), 0) << run.out;   // import / replay
    EXPECT_GT(std::stod(row[10]), 0) << run.out;  // peak MB
  }
  EXPECT_EQ(RunCommand("bench --receipts 0").code, 2);
}

}  // namespace
}  // namespace zodadovez
