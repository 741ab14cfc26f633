// The subcommands of the `zodadovez` command. Each Add* declares its options on `app` and
// returns the subcommand; main() runs the one the user chose.
#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
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

// Runs `action`, turning exceptions into a message on standard error and an exit code.
int Guarded(const Action& action);

}  // namespace zodadovez::cli
