// The T-SQL bridge: translating the statements of tests/data/bridge the first time (a fresh
// translator, so every statement is rewritten) and again with the shape cache warm (a lexer pass
// and a lookup per statement).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/data/sqlite/tsql_rewriter.h"

namespace {

// The T-SQL of every "translate" case of the bridge's data files.
const std::vector<std::string>& Statements() {
  static const std::vector<std::string> statements = [] {
    std::vector<std::string> out;
    std::filesystem::path folder = std::filesystem::path(ZODADOVEZ_TEST_DATA) / "bridge";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() != ".test") continue;
      std::ifstream in(entry.path());
      std::string line;
      while (std::getline(in, line)) {
        if (line != "translate") continue;
        std::string sql;
        while (std::getline(in, line) && line != "----") sql += (sql.empty() ? "" : "\n") + line;
        out.push_back(sql);
      }
    }
    return out;
  }();
  return statements;
}

void BM_TranslateFirstTime(benchmark::State& state) {
  const std::vector<std::string>& statements = Statements();
  for (auto _ : state) {
    for (const std::string& sql : statements) {
      zodadovez::bridge::Translator translator;
      benchmark::DoNotOptimize(translator.Translate(sql));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(statements.size()));
}
BENCHMARK(BM_TranslateFirstTime);

void BM_TranslateCached(benchmark::State& state) {
  const std::vector<std::string>& statements = Statements();
  zodadovez::bridge::Translator translator;
  for (const std::string& sql : statements) translator.Translate(sql);
  for (auto _ : state) {
    for (const std::string& sql : statements) benchmark::DoNotOptimize(translator.Translate(sql));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(statements.size()));
}
BENCHMARK(BM_TranslateCached);

}  // namespace
