// The command line when things go wrong: an errors folder that cannot be written, a disk that
// fills up, a server that cannot be reached with a password in its connection string.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/erp/stand_in_host.h"
#include "module/shell/clszev_zodadovez.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

struct Result {
  int code;
  std::string out;  // standard output and standard error together
};

// Runs the command through the shell, `prefix` before it (limits, privileges).
Result Zodadovez(const std::string& args, const std::string& prefix = "") {
  std::string command = prefix + std::string(ZODADOVEZ_BINARY) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string out;
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
    out.append(buffer.data(), n);
  }
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string ImportRange(const WindowFixture& f) {
  return "import --erp " + Quote(f.dir().Uri()) +
         " --company 1 --config 1 --mode rielabora --from 01/01/2024 --to 31/12/2024";
}

TEST(CommandFailureTest, AnErrorsFolderThatCannotBeWrittenIsRefusedFirst) {
  WindowFixture f;
  const std::string errors = f.LoadExample();
  Recordset before = f.db().open("SELECT COUNT(*) AS N FROM DO11_DOCTESTATA");
  ASSERT_EQ(chmod(errors.c_str(), 0555), 0);
  // Root writes anywhere: without the capability that lets it, the folder's mode holds for it
  // too.
  const std::string prefix =
      geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search -- " : "";
  Result r = Zodadovez(ImportRange(f), prefix);
  chmod(errors.c_str(), 0755);
  // Refused before anything is written: the run could keep no results and no anomalies.
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_NE(r.out.find("the errors folder \"" + errors + "\" of configuration 1 cannot be written"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(std::filesystem::is_empty(errors));
  Recordset documents = f.db().open("SELECT COUNT(*) AS N FROM DO11_DOCTESTATA");
  EXPECT_EQ(documents["N"].ToInteger(), before["N"].ToInteger());
}

TEST(CommandFailureTest, ADiskThatFillsUpFailsTheRun) {
  WindowFixture f;
  f.LoadExample();
  // Files may not grow past 1,024 bytes: the results file's header fills them, as a full disk
  // would, while this test's open connection keeps the database's shared-memory file at its
  // size. The signal a process gets for it is ignored, so that the write fails instead.
  f.db();
  Result r = Zodadovez(ImportRange(f), "sh -c 'trap \"\" XFSZ; ulimit -f 2; exec \"$0\" \"$@\"' ");
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("cannot write to \""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("could not write"), std::string::npos) << r.out;
}

const std::string kSecret = "s3cr3t-Pa55";

void ExpectNoSecret(const Result& r) {
  EXPECT_NE(r.code, 0) << r.out;
  EXPECT_EQ(r.out.find("s3cr3t"), std::string::npos) << r.out;
}

TEST(SecretsTest, PasswordsStayOutOfOutputLogsAndMessages) {
  // A server that cannot be reached: nothing listens on port 1 of this machine. The driver
  // tries for seven seconds, so one command goes there; the others meet a driver that is not
  // installed, which fails the same connection path at once.
  ExpectNoSecret(Zodadovez(
      "import --company 1 --erp " +
      Quote("sqlserver:Driver={FreeTDS};Server=127.0.0.1;Port=1;Database=erp;UID=sa;PWD=" +
            kSecret + ";")));
  const std::vector<std::string> connections = {
      "sqlserver:Driver={ZdvNoDriver};Server=127.0.0.1;UID=sa;PWD=" + kSecret,
      "sqlserver:Driver={ZdvNoDriver};Server=127.0.0.1;UID=sa;Password={" + kSecret +
          ";x};Database=erp",
      // An unclosed brace: the driver manager quotes the driver's name, which runs on to the end.
      "sqlserver:Driver={ZdvNoDriver;Server=127.0.0.1;UID=sa;PWD=" + kSecret,
      "sqlsrv:Driver={FreeTDS};Server=127.0.0.1;UID=sa;PWD=" + kSecret,  // a misspelt scheme
      "Driver={FreeTDS};Server=127.0.0.1;UID=sa;PWD=" + kSecret,         // no scheme at all
  };
  for (const std::string& erp : connections) {
    for (const std::string& command :
         {std::string("import --company 1"), std::string("configs --company 1"),
          std::string("history --company 1"), std::string("reconcile --company 1"),
          std::string("init"), std::string("sql \"SELECT 1 AS A\""),
          std::string("window --company 1 --port 18765")}) {
      SCOPED_TRACE(command + " --erp " + erp);
      ExpectNoSecret(Zodadovez(command + " --erp " + Quote(erp)));
    }
    // The environment variable that stands for --erp.
    ExpectNoSecret(Zodadovez("import --company 1", "ZODADOVEZ_ERP=" + Quote(erp) + " "));
  }

  // The host log and the trace lines of a window whose connection fails.
  StandInOptions options;
  options.connection = connections[0];
  StandInHost host(options);
  {
    CLSZEV_ZODADOVEZ plugin(host);
    plugin.unattended = true;
    plugin.selections = ParameterSet();
    plugin.Cinterface_ShowForm();
  }
  ASSERT_FALSE(host.log_lines().empty());
  for (const std::string& line : host.log_lines()) {
    EXPECT_EQ(line.find("s3cr3t"), std::string::npos) << line;
  }
  for (const std::string& line : host.trace_lines()) {
    EXPECT_EQ(line.find("s3cr3t"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace zodadovez
