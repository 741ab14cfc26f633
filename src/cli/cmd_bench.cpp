// zodadovez bench: the import at scale, against the database work it cannot avoid.
//
// For each size: the demo databases are generated; the import runs on one copy with the
// statement log on, and the same statements are then replayed, in order and as fast as the
// backend takes them, on a fresh copy: import time / replay time is what the engine adds on top
// of its database work. Another copy is imported without the log, in a process of its own, for
// the time and the peak resident memory of a plain run. A short replay or plain import is run
// again on fresh copies and its median kept.
#include <fmt/format.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>

#include "cli/commands.h"
#include "cli/demo_data.h"
#include "cli/table.h"
#include "host/data/backend.h"
#include "host/data/sqlite/tsql_lexer.h"
#include "host/data/statement_log.h"
#include "module/common/errors.h"

namespace zodadovez::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux reports kilobytes
}

// Runs `body` in a child process, so that its memory is measured alone and released after;
// returns the numbers it wrote. Throws Error when the child fails.
std::vector<double> InChild(const std::string& what,
                            const std::function<std::vector<double>()>& body) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw Error("bench: cannot create a pipe");
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw Error("bench: cannot start a process");
  if (pid == 0) {
    close(pipe_fds[0]);
    int code = 0;
    std::string line;
    try {
      for (double v : body()) line += fmt::format("{} ", v);
    } catch (const std::exception& e) {
      fmt::print(stderr, "bench: {}: {}\n", what, e.what());
      code = 1;
    }
    if (write(pipe_fds[1], line.data(), line.size()) < 0) code = 1;
    close(pipe_fds[1]);
    std::fflush(nullptr);
    _exit(code);
  }
  close(pipe_fds[1]);
  std::string out;
  char buffer[256];
  for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Error(fmt::format("bench: {} failed", what));
  }
  std::vector<double> values;
  std::istringstream in(out);
  for (double v; in >> v;) values.push_back(v);
  return values;
}

// The statement shapes (literals written as "?") that took the most time, so that a slow size
// says where its time went.
void PrintCostliestShapes(const StatementLog& log, std::int64_t receipts) {
  struct Cost {
    double seconds = 0;
    std::int64_t count = 0;
  };
  std::map<std::string, Cost> costs;
  for (const StatementRecord& r : log.records()) {
    std::string shape;
    if (r.kind == StatementRecord::Kind::kInsert || r.kind == StatementRecord::Kind::kUpdate) {
      shape = r.text;
    } else {
      try {
        for (const bridge::Token& t : bridge::Lex(r.text)) {
          if (t.kind == bridge::TokenKind::kEnd) break;
          bool literal = t.kind == bridge::TokenKind::kString ||
                         t.kind == bridge::TokenKind::kNString ||
                         t.kind == bridge::TokenKind::kNumber;
          shape += (shape.empty() ? "" : " ") + (literal ? std::string("?") : std::string(t.text));
        }
      } catch (const Error&) {
        shape = r.text;
      }
    }
    Cost& c = costs[shape];
    c.seconds += std::chrono::duration<double>(r.elapsed).count();
    ++c.count;
  }
  std::vector<std::pair<std::string, Cost>> sorted(costs.begin(), costs.end());
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return a.second.seconds > b.second.seconds; });
  fmt::print(stderr, "{} receipts: the statements that cost most ({} shapes):\n", receipts,
             sorted.size());
  for (std::size_t i = 0; i < sorted.size() && i < 6; ++i) {
    fmt::print(stderr, "  {:8.2f} s {:8} x  {:.150}\n", sorted[i].second.seconds,
               sorted[i].second.count, sorted[i].first);
  }
}

// A measurement that takes less than this is repeated, at most kMostRuns times in all, and its
// median kept: a second or two on a shared machine is mostly noise.
constexpr double kSteadySeconds = 15;
constexpr std::size_t kMostRuns = 5;

std::size_t Repetitions(double first_seconds) {
  if (first_seconds >= kSteadySeconds) return 1;
  auto runs = static_cast<std::size_t>(std::ceil(kSteadySeconds / std::max(first_seconds, 0.001)));
  return std::min(runs, kMostRuns);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

ImportRequest Request(const fs::path& dir) {
  ImportRequest r;
  r.erp = "sqlite:" + (dir / "erp.db").string();
  r.company = 1;
  r.quiet = true;
  return r;
}

}  // namespace

int RunBench(const BenchCommand& command) {
  const std::vector<std::int64_t> sizes =
      command.sizes.empty() ? std::vector<std::int64_t>{1000} : command.sizes;
  for (std::int64_t n : sizes) {
    if (n < 1) throw ConfigError("--receipts must be at least 1");
  }
  fs::path root =
      command.dir.empty()
          ? fs::temp_directory_path() / fmt::format("zodadovez-bench-{}", std::random_device()())
          : fs::path(command.dir);
  fs::create_directories(root);
  std::vector<std::vector<std::string>> rows;
  for (std::int64_t n : sizes) {
    fs::path base = root / std::to_string(n);
    fs::remove_all(base);
    fmt::print(stderr, "{} receipts: generating...\n", n);
    InChild("generating", [&] {
      fs::create_directories(base / "a");
      CreateDemoDatabases(DemoOptions{base / "a", n, command.seed});
      return std::vector<double>{};
    });
    // A fresh copy of the generated databases for every run.
    auto fresh = [&](const char* name) {
      fs::remove_all(base / name);
      fs::copy(base / "a", base / name, fs::copy_options::recursive);
      return base / name;
    };

    fmt::print(stderr, "{} receipts: import with the statement log, then its replay...\n", n);
    std::vector<double> logged = InChild("importing with the log", [&] {
      StatementLog log;
      ImportRequest request = Request(fresh("logged"));
      request.statement_log = &log;
      ImportReport report;
      auto start = Clock::now();
      RunImport(request, &report);
      double import_seconds = Seconds(start);
      PrintCostliestShapes(log, n);
      double in_database = 0;
      for (const StatementRecord& r : log.records()) {
        in_database += std::chrono::duration<double>(r.elapsed).count();
      }
      // A short replay is repeated (see Repetitions) and its median taken.
      std::vector<double> replays;
      do {
        auto db = OpenDatabase("sqlite:" + (fresh("replay") / "erp.db").string());
        start = Clock::now();
        Replay(log, *db);
        replays.push_back(Seconds(start));
      } while (replays.size() < Repetitions(replays.front()));
      return std::vector<double>{import_seconds,
                                 Median(replays),
                                 static_cast<double>(log.records().size()),
                                 static_cast<double>(report.present),
                                 in_database,
                                 static_cast<double>(replays.size())};
    });
    if (logged.size() != 6) throw Error("bench: a measurement is missing");
    fmt::print(stderr, "{} receipts: plain import...\n", n);
    std::vector<double> imports;
    std::vector<double> plain;
    do {
      fs::path dir = fresh("plain");
      plain = InChild("importing", [&] {
        ImportReport report;
        auto start = Clock::now();
        RunImport(Request(dir), &report);
        double seconds = Seconds(start);
        return std::vector<double>{seconds, static_cast<double>(report.present),
                                   static_cast<double>(report.imported), PeakMegabytes()};
      });
      if (plain.size() != 4) throw Error("bench: a measurement is missing");
      imports.push_back(plain[0]);
    } while (imports.size() < Repetitions(imports.front()));
    // The ratio takes the plain import: the logged one also pays for the log's own
    // bookkeeping (a copy of every statement and its values), which no real run does.
    double import_seconds = Median(imports);
    double found = plain[1];
    double engine_share = (logged[0] - logged[4]) / logged[0];
    rows.push_back({std::to_string(n), fmt::format("{:.0f}", found),
                    fmt::format("{:.0f}", plain[2]), fmt::format("{:.2f}", import_seconds),
                    fmt::format("{:.2f}", import_seconds * 1000 / static_cast<double>(n)),
                    fmt::format("{:.1f}", logged[2] / std::max(1.0, logged[3])),
                    fmt::format("{:.0f}%", engine_share * 100), fmt::format("{:.2f}", logged[1]),
                    fmt::format("{:.2f}", import_seconds / logged[1]),
                    fmt::format("{}/{}", imports.size(), static_cast<int>(logged[5])),
                    fmt::format("{:.0f}", plain[3])});
    if (command.dir.empty()) fs::remove_all(base);
  }
  if (command.dir.empty()) fs::remove_all(root);
  PrintTable(stdout,
             {"Receipts", "Found", "Imported", "Import s", "ms/receipt", "Stmts/found", "Engine",
              "Replay s", "Import/replay", "Runs", "Peak MB"},
             rows, std::vector<bool>(11, true));
  return kExitOk;
}

}  // namespace zodadovez::cli
