// zodadovez demo: embedded demo databases and a "Normale" import of them.
#include <fmt/format.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/commands.h"
#include "cli/demo_data.h"
#include "module/common/errors.h"

namespace zodadovez::cli {
namespace {

struct DemoCommand {
  std::string dir = "demo";
  std::int64_t receipts = 60;
  std::uint64_t seed = 1;
  bool fresh = false;
  bool no_import = false;
};

// Below this size the databases are written in a moment: no progress line.
constexpr std::int64_t kProgressFrom = 5000;

void RemoveDatabases(const std::filesystem::path& dir) {
  for (const auto& file : DemoDatabaseFiles(dir)) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::error_code error;
      std::filesystem::remove(file.string() + suffix, error);
      if (error) {
        throw Error(fmt::format("cannot remove {}: {}", file.string() + suffix, error.message()));
      }
    }
  }
}

// Creates the databases, or finds them from an earlier run. Returns false when they were there.
bool PrepareDatabases(const DemoCommand& c, const std::filesystem::path& dir) {
  if (c.fresh) RemoveDatabases(dir);
  std::size_t present = 0;
  std::vector<std::filesystem::path> files = DemoDatabaseFiles(dir);
  for (const auto& file : files) present += std::filesystem::exists(file) ? 1 : 0;
  if (present == files.size()) return false;
  if (present != 0) {
    throw ConfigError(fmt::format(
        "{} holds only part of the demo databases; run again with --fresh to create them anew",
        dir.string()));
  }
  std::filesystem::create_directories(dir);

  bool terminal = isatty(STDERR_FILENO) == 1 && c.receipts >= kProgressFrom;
  DemoProgress progress;
  if (terminal) {
    progress = [](std::int64_t done, std::int64_t total) {
      fmt::print(stderr, "\r  generating receipts: {}/{}", done, total);
      std::fflush(stderr);
    };
  }
  auto start = std::chrono::steady_clock::now();
  CreateDemoDatabases({dir, c.receipts, c.seed}, progress);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (terminal) fmt::print(stderr, "\n");
  fmt::print("Created the demo databases in {} ({} receipts, seed {}) in {:.1f} s.\n", dir.string(),
             c.receipts, c.seed, took.count());
  return true;
}

}  // namespace

Action AddDemo(CLI::App& app) {
  auto c = std::make_shared<DemoCommand>();
  auto* cmd = app.add_subcommand(
      "demo", "Create embedded demo databases and import them (\"Normale\" run of company 1)");
  cmd->add_option("--dir", c->dir, "Folder of the demo databases")->capture_default_str();
  cmd->add_option("--receipts", c->receipts, "Receipts to generate, over both gym databases")
      ->check(CLI::Range(std::int64_t{1}, std::int64_t{10'000'000}))
      ->capture_default_str();
  cmd->add_option("--seed", c->seed, "Seed of the generator: the same seed, the same data")
      ->capture_default_str();
  cmd->add_flag("--fresh", c->fresh, "Remove the demo databases first and create them anew");
  cmd->add_flag("--no-import", c->no_import,
                "Only create the databases: leave the import to the window or the import command");
  return [c, cmd] {
    std::filesystem::path dir(c->dir);
    bool created = PrepareDatabases(*c, dir);
    if (!created) {
      fmt::print("Using the demo databases already in {}", dir.string());
      if (cmd->count("--receipts") + cmd->count("--seed") > 0) {
        fmt::print(" (--receipts and --seed apply when they are created: add --fresh)");
      }
      fmt::print(".\n");
    }
    std::string erp = "sqlite:" + DemoErpFile(dir).string();
    if (c->no_import) {
      fmt::print("\nzodadovez window --erp {} --company 1\n", erp);
      return kExitOk;
    }
    fmt::print("\nzodadovez import --erp {} --company 1\n\n", erp);
    std::fflush(stdout);  // before the import's own lines on standard error
    ImportRequest request;
    request.erp = erp;
    request.company = 1;
    ImportReport report;
    int code = RunImport(request, &report);
    fmt::print("\nResults and anomaly files are written below {}.\n", (dir / "log").string());
    if (report.present == 0 && report.imported == 0) {
      fmt::print("Nothing new to import");
      if (!report.proposed_start.empty()) {
        fmt::print(": the receipts up to {} were imported by an earlier run",
                   report.proposed_start);
      }
      fmt::print(".\nRun with --fresh to start over.\n");
    } else {
      fmt::print("Imported {} documents of {} receipts and daily groups found.\n", report.imported,
                 report.present);
    }
    return code;
  };
}

}  // namespace zodadovez::cli
