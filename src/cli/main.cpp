// zodadovez: imports a gym application's receipts into the ERP, and the tools around it.
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <vector>

#include "cli/commands.h"
#include "cli/erp_option.h"
#include "module/common/errors.h"

namespace zodadovez::cli {

namespace {

using Action = std::function<int()>;

// Runs `action`, turning exceptions into a message on standard error and an exit code.
int Guarded(const Action& action) {
  try {
    return action();
  } catch (const TranslateError& e) {
    fmt::print(stderr, "zodadovez: error: {}\n", e.what());
    return kExitBadInput;
  } catch (const ConfigError& e) {
    fmt::print(stderr, "zodadovez: error: {}\n", e.what());
    return kExitBadInput;
  } catch (const Error& e) {
    fmt::print(stderr, "zodadovez: error: {}\n", e.what());
    return kExitFailed;
  } catch (const std::filesystem::filesystem_error& e) {
    // A file or folder the command could not use: its name and the system's reason.
    fmt::print(stderr, "zodadovez: error: {}: {}\n",
               e.path1().empty() ? std::string("a file") : e.path1().string(), e.code().message());
    return kExitFailed;
  } catch (const std::exception& e) {
    fmt::print(stderr, "zodadovez: unexpected error: {}\n", e.what());
    return kExitFailed;
  }
}

// The ERP options of one subcommand, resolved into its connection string before it runs.
struct ErpBinding {
  CLI::App* command = nullptr;
  std::string* erp = nullptr;  // the subcommand's own field, which --erp fills
  std::string file;            // --erp-file
  bool must_exist = true;      // false for init, which creates the database
};

void AddErpOption(CLI::App* cmd, std::string& erp, std::deque<ErpBinding>& bindings,
                  bool must_exist = true) {
  ErpBinding& binding = bindings.emplace_back();
  binding.command = cmd;
  binding.erp = &erp;
  binding.must_exist = must_exist;
  auto* direct = cmd->add_option("--erp", erp,
                                 "ERP database: sqlite:PATH, sqlserver:CONNECTION-STRING or "
                                 "odbc:CONNECTION-STRING (default: $ZODADOVEZ_ERP)")
                     ->type_name("CONN");
  cmd->add_option("--erp-file", binding.file,
                  "A file holding the --erp text on one line, which only its owner may read "
                  "(default: $ZODADOVEZ_ERP_FILE); keeps passwords out of the arguments")
      ->type_name("FILE")
      ->excludes(direct);
}

void AddConnectionOptions(CLI::App* cmd, std::string& erp, int& company,
                          std::deque<ErpBinding>& bindings) {
  AddErpOption(cmd, erp, bindings);
  cmd->add_option("--company", company, "ERP company number")->required();
}

// What the command line fills in, one member a subcommand.
struct CommandLine {
  InitCommand init;
  SqlCommand sql;
  ImportRequest import;
  std::string import_mode = "normale";
  std::string import_schedule;
  Connection configs, history;
  DemoCommand demo;
  BenchCommand bench;
  ReconcileCommand reconcile;
  WindowCommand window;
};

}  // namespace
}  // namespace zodadovez::cli

int main(int argc, char** argv) {
  using namespace zodadovez::cli;
  CLI::App app{"zodadovez: carries a gym application's receipts into the ERP as sales documents"};
  app.name("zodadovez");
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("zodadovez ") + ZODADOVEZ_VERSION,
                       "Print the version and exit");
  CommandLine o;
  std::deque<ErpBinding> erp;
  std::vector<std::pair<CLI::App*, Action>> commands;

  auto* cmd = app.add_subcommand("init", "Create the stand-in ERP and gym databases");
  AddErpOption(cmd, o.init.erp, erp, /*must_exist=*/false);
  auto* gym = cmd->add_option("--gym", o.init.gym, "Name of the gym database to create")
                  ->capture_default_str();
  cmd->add_flag("--zev-only", o.init.zev_only,
                "Only create the module's configuration tables (and HOST_SETTINGS when missing) "
                "in an existing ERP database")
      ->excludes(gym);
  commands.emplace_back(cmd, [&] {
    // The module's tables go into a database that must be there already.
    if (o.init.zev_only) ResolveErp({o.init.erp, ""}, true);
    return RunInit(o.init);
  });

  cmd = app.add_subcommand("sql", "Run T-SQL on the ERP database; rows print as TSV");
  AddErpOption(cmd, o.sql.erp, erp);
  auto* file =
      cmd->add_option("--file", o.sql.file, "A file of T-SQL batches separated by GO lines");
  file->excludes(cmd->add_option("text", o.sql.text, "The T-SQL to run"));
  cmd->add_flag("--show-translation", o.sql.show_translation,
                "Print the SQLite text each statement becomes (embedded backend)");
  commands.emplace_back(cmd, [&] { return RunSql(o.sql); });

  cmd = app.add_subcommand("import", "Import the gym receipts into the ERP (unattended)");
  AddConnectionOptions(cmd, o.import.erp, o.import.company, erp);
  cmd->add_option("--mode", o.import_mode, "normale (after the last run) or rielabora (a range)")
      ->transform(CLI::IsMember({"normale", "rielabora"}, CLI::ignore_case));
  cmd->add_option("--from", o.import.from, "rielabora: first receipt date, DD/MM/YYYY");
  cmd->add_option("--to", o.import.to, "rielabora: last receipt date, DD/MM/YYYY");
  cmd->add_option("--from-number", o.import.from_number, "rielabora: first receipt number");
  cmd->add_option("--to-number", o.import.to_number, "rielabora: last receipt number");
  cmd->add_option("--config", o.import.configs,
                  "Configuration id to import (repeatable; default all)");
  cmd->add_option("--schedule", o.import_schedule,
                  "Apply the saved parameter set of this name (an empty name imports nothing)");
  cmd->add_flag("--only-missing", o.import.only_missing,
                "rielabora: import only the receipts and grouped days without a document");
  cmd->add_option("--wait", o.import.wait_seconds,
                  "Wait up to SECONDS for another import of the company to end")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--sql-log", o.import.sql_log,
                  "Write every statement sent to this file, as it goes (JSON Lines)")
      ->type_name("FILE");
  commands.emplace_back(cmd, [&, cmd] {
    o.import.rielabora = o.import_mode == "rielabora";
    if (cmd->count("--schedule") > 0) o.import.schedule = o.import_schedule;
    return RunImport(o.import);
  });

  cmd = app.add_subcommand("configs", "List the import configurations of a company");
  AddConnectionOptions(cmd, o.configs.erp, o.configs.company, erp);
  commands.emplace_back(cmd, [&] { return RunConfigs(o.configs); });

  cmd = app.add_subcommand("history", "List the run history of a company");
  AddConnectionOptions(cmd, o.history.erp, o.history.company, erp);
  commands.emplace_back(cmd, [&] { return RunHistory(o.history); });

  cmd = app.add_subcommand(
      "demo", "Create embedded demo databases and import them (\"Normale\" run of company 1)");
  cmd->add_option("--dir", o.demo.dir, "Folder of the demo databases")->capture_default_str();
  auto* receipts = cmd->add_option("--receipts", o.demo.receipts,
                                   "Receipts to generate, over both gym databases")
                       ->check(CLI::Range(std::int64_t{1}, std::int64_t{10'000'000}))
                       ->capture_default_str();
  auto* seed =
      cmd->add_option("--seed", o.demo.seed, "Seed of the generator: the same seed, the same data")
          ->capture_default_str();
  cmd->add_flag("--fresh", o.demo.fresh, "Remove the demo databases first and create them anew");
  cmd->add_option("--sql-log", o.demo.sql_log,
                  "Write every statement of the import to this file (JSON Lines)")
      ->type_name("FILE");
  cmd->add_flag("--no-import", o.demo.no_import,
                "Only create the databases: leave the import to the window or the import command");
  commands.emplace_back(cmd, [&o, receipts, seed] {
    o.demo.size_given = receipts->count() + seed->count() > 0;
    return RunDemo(o.demo);
  });

  cmd =
      app.add_subcommand("bench", "Measure the import at scale against a replay of its statements");
  cmd->add_option("--receipts", o.bench.sizes, "Receipts to generate (repeatable; default 1000)");
  cmd->add_option("--seed", o.bench.seed, "Seed of the generated data")->capture_default_str();
  cmd->add_option("--dir", o.bench.dir,
                  "Working folder (default: a new folder in the temporary one)");
  commands.emplace_back(cmd, [&] { return RunBench(o.bench); });

  cmd = app.add_subcommand("reconcile",
                           "List the gym receipts of a period that have no ERP document, and why");
  AddConnectionOptions(cmd, o.reconcile.erp, o.reconcile.company, erp);
  cmd->add_option("--config", o.reconcile.configs, "Configuration id (repeatable; default all)");
  cmd->add_option("--from", o.reconcile.from, "First receipt day, DD/MM/YYYY (default: no bound)");
  cmd->add_option("--to", o.reconcile.to,
                  "Last receipt day, DD/MM/YYYY, included (default: no bound)");
  commands.emplace_back(cmd, [&] { return RunReconcile(o.reconcile); });

  cmd = app.add_subcommand("window", "Open the import window as a page on this computer");
  AddConnectionOptions(cmd, o.window.erp, o.window.company, erp);
  cmd->add_option("--port", o.window.port, "Port on 127.0.0.1 (0: any free port)")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  commands.emplace_back(cmd, [&] { return RunWindow(o.window); });

  // Set last, so that the subcommands do not take it over.
  app.footer(
      "Exit codes: 0 done, 3 done with anomalies, 2 bad arguments or configuration, 1 could not "
      "run.\nRun 'zodadovez SUBCOMMAND --help' for a subcommand's options.");
  // A bare call is a call without its subcommand: the list of them, as bad arguments.
  if (argc <= 1) {
    std::cerr << app.help();
    return kExitBadInput;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? kExitOk : kExitBadInput;
  }
  for (auto& [sub, action] : commands) {
    if (!sub->parsed()) continue;
    return Guarded([&, sub = sub, action = action] {
      for (ErpBinding& b : erp) {
        if (b.command == sub) *b.erp = ResolveErp({*b.erp, b.file}, b.must_exist);
      }
      return action();
    });
  }
  return kExitBadInput;
}
