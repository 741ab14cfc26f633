// zodadovez demo: embedded demo databases and a "Normale" import of them.
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "cli/demo_data.h"
#include "module/common/errors.h"

namespace zodadovez::cli {
namespace {

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

[[noreturn]] void Unusable(const std::filesystem::path& dir, const std::string& why) {
  throw Error(fmt::format("cannot use {} as the demo folder: {}", dir.string(), why));
}

bool Exists(const std::filesystem::path& dir, const std::filesystem::path& file) {
  std::error_code error;
  bool found = std::filesystem::exists(file, error);
  if (error) Unusable(dir, fmt::format("{}: {}", file.string(), error.message()));
  return found;
}

// The folder of the databases, made when missing, and one the command may write in.
void MakeFolder(const std::filesystem::path& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) Unusable(dir, error.message());
  if (!std::filesystem::is_directory(dir, error)) Unusable(dir, "a file of that name is there");
  if (access(dir.c_str(), W_OK | X_OK) != 0) Unusable(dir, std::strerror(errno));
}

// Creates the databases, or finds them from an earlier run. Returns false when they were there.
bool PrepareDatabases(const DemoCommand& c, const std::filesystem::path& dir) {
  if (c.fresh) RemoveDatabases(dir);
  std::size_t present = 0;
  std::vector<std::filesystem::path> files = DemoDatabaseFiles(dir);
  for (const auto& file : files) present += Exists(dir, file) ? 1 : 0;
  if (present == files.size()) return false;
  if (present != 0) {
    throw ConfigError(fmt::format(
        "{} holds only part of the demo databases; run again with --fresh to create them anew",
        dir.string()));
  }
  MakeFolder(dir);

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

int RunDemo(const DemoCommand& command) {
  std::filesystem::path dir(command.dir);
  bool created = PrepareDatabases(command, dir);
  if (!created) {
    fmt::print("Using the demo databases already in {}", dir.string());
    if (command.size_given) {
      fmt::print(" (--receipts and --seed apply when they are created: add --fresh)");
    }
    fmt::print(".\n");
  }
  std::string erp = "sqlite:" + DemoErpFile(dir).string();
  if (command.no_import) {
    fmt::print("\nzodadovez window --erp {} --company 1\n", erp);
    return kExitOk;
  }
  fmt::print("\nzodadovez import --erp {} --company 1\n\n", erp);
  std::fflush(stdout);  // before the import's own lines on standard error
  ImportRequest request;
  request.erp = erp;
  request.company = 1;
  request.sql_log = command.sql_log;
  ImportReport report;
  int code = RunImport(request, &report);
  fmt::print("\nResults and anomaly files are written below {}.\n", (dir / "log").string());
  if (report.present == 0 && report.imported == 0) {
    fmt::print("Nothing new to import");
    if (!report.proposed_start.empty()) {
      fmt::print(": the receipts up to {} were imported by an earlier run", report.proposed_start);
    }
    fmt::print(".\nRun with --fresh to start over.\n");
  } else {
    fmt::print("Imported {} documents of {} receipts and daily groups found.\n", report.imported,
               report.present);
  }
  return code;
}

}  // namespace zodadovez::cli
