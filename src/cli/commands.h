// The subcommands of the `zodadovez` command. Each Add* declares its options on `app` and
// returns the subcommand; main() runs the one the user chose.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}
namespace zodadovez {
class StatementLog;
}

namespace zodadovez::cli {

// Exit codes a scheduler can read.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;     // could not run (no connection, I/O)
inline constexpr int kExitBadInput = 2;   // bad arguments, configuration or SQL
inline constexpr int kExitAnomalies = 3;  // the run completed with anomalies

// A subcommand's body: returns the exit code.
using Action = std::function<int()>;

Action AddInit(CLI::App& app);
Action AddSql(CLI::App& app);
Action AddImport(CLI::App& app);
Action AddConfigs(CLI::App& app);
Action AddHistory(CLI::App& app);
Action AddDemo(CLI::App& app);
Action AddBench(CLI::App& app);
Action AddReconcile(CLI::App& app);
Action AddWindow(CLI::App& app);

// An unattended import run, as `zodadovez import` takes it from its options.
struct ImportRequest {
  std::string erp;  // sqlite:PATH or sqlserver:CONNECTION-STRING
  int company = 0;
  bool rielabora = false;  // mode "Rielabora" (a range) rather than "Normale"
  std::string from, to, from_number, to_number, schedule;
  std::vector<std::int64_t> configs;  // empty: every configuration of the company
  // When set, every statement of the run is recorded here (the benchmark replays it).
  zodadovez::StatementLog* statement_log = nullptr;
  bool quiet = false;  // no progress bar, no summary table, no host log on standard error
};

// What a run leaves for its caller besides the summary table it prints.
struct ImportReport {
  std::int64_t present = 0;    // receipts and groups found, over all configurations
  std::int64_t imported = 0;   // documents stored
  std::string proposed_start;  // the start date the run history proposed, DD/MM/YYYY
};

// Checks the request, runs the import unattended, prints the summary table of the
// configurations and returns the exit code. Throws ConfigError for a bad request or an unknown
// saved parameter set, Error when the database cannot be reached.
int RunImport(const ImportRequest& request, ImportReport* report = nullptr);

// Runs `action`, turning exceptions into a message on standard error and an exit code.
int Guarded(const Action& action);

}  // namespace zodadovez::cli
