// The subcommands of the `zodadovez` command: each one's options as plain values, and the
// function that runs it and returns the exit code. main.cpp declares the command line over
// these structures; it is the one file that includes CLI11, a header costly to compile.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zodadovez {
class Database;
class StatementLog;
}  // namespace zodadovez

namespace zodadovez::cli {

// Exit codes a scheduler can read.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;         // could not run (no connection, I/O)
inline constexpr int kExitBadInput = 2;       // bad arguments, configuration or SQL
inline constexpr int kExitAnomalies = 3;      // the run completed with anomalies
inline constexpr int kExitInterrupted = 130;  // stopped by SIGINT or SIGTERM

// The ERP database and company most subcommands work on.
struct Connection {
  std::string erp;  // sqlite:PATH or sqlserver:CONNECTION-STRING
  int company = 0;
};

// Opens the ERP database, failing early with the backend's own message when it cannot be
// reached; a malformed connection stays a ConfigError.
std::unique_ptr<Database> Connect(const std::string& erp);

// zodadovez init
struct InitCommand {
  std::string erp;
  std::string gym = "Palestra";  // the gym database to create
  bool zev_only = false;         // only the module's configuration tables
};
int RunInit(const InitCommand& command);

// zodadovez sql
struct SqlCommand {
  std::string erp;
  std::string file;  // a file of batches separated by GO lines, or
  std::string text;  // the statement itself
  bool show_translation = false;
};
int RunSql(const SqlCommand& command);

// zodadovez configs and zodadovez history
int RunConfigs(const Connection& connection);
int RunHistory(const Connection& connection);

// zodadovez demo
struct DemoCommand {
  std::string dir = "demo";
  std::int64_t receipts = 60;
  std::uint64_t seed = 1;
  bool size_given = false;  // --receipts or --seed on the command line
  bool fresh = false;
  bool no_import = false;
  std::string sql_log;  // --sql-log: the import's statements as JSON Lines
};
int RunDemo(const DemoCommand& command);

// zodadovez bench
struct BenchCommand {
  std::vector<std::int64_t> sizes;  // receipts to generate; none: 1000
  std::uint64_t seed = 1;
  std::string dir;  // none: a new folder in the temporary one, removed at the end
};
int RunBench(const BenchCommand& command);

// zodadovez reconcile
struct ReconcileCommand {
  std::string erp;
  int company = 0;
  std::vector<std::int64_t> configs;  // none: every configuration
  std::string from, to;               // DD/MM/YYYY; none: no bound
};
int RunReconcile(const ReconcileCommand& command);

// zodadovez window
struct WindowCommand {
  std::string erp;
  int company = 0;
  int port = 8765;  // 0: any free port
};
int RunWindow(const WindowCommand& command);

// An unattended import run, as `zodadovez import` takes it from its options.
struct ImportRequest {
  std::string erp;  // sqlite:PATH or sqlserver:CONNECTION-STRING
  int company = 0;
  bool rielabora = false;  // mode "Rielabora" (a range) rather than "Normale"
  std::string from, to, from_number, to_number;
  // A saved parameter set to apply; given but empty or blank, it imports nothing.
  std::optional<std::string> schedule;
  bool only_missing = false;          // with "Rielabora": only what has no document yet
  std::int64_t wait_seconds = 0;      // wait this long for another import of the company to end
  std::vector<std::int64_t> configs;  // empty: every configuration of the company
  // When set, every statement of the run is recorded here (the benchmark replays it).
  zodadovez::StatementLog* statement_log = nullptr;
  // --sql-log: every statement of the run, as it goes, to this file as JSON Lines.
  std::string sql_log;
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

}  // namespace zodadovez::cli
