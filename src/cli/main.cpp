// zodadovez: imports a gym application's receipts into the ERP, and the tools around it.
#include <CLI/CLI.hpp>

#include <vector>

#include "cli/commands.h"
#include "module/common/errors.h"

#include <fmt/format.h>

namespace zodadovez::cli {

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
  } catch (const std::exception& e) {
    fmt::print(stderr, "zodadovez: unexpected error: {}\n", e.what());
    return kExitFailed;
  }
}

}  // namespace zodadovez::cli

int main(int argc, char** argv) {
  using namespace zodadovez::cli;
  CLI::App app{"zodadovez: carries a gym application's receipts into the ERP as sales documents"};
  app.require_subcommand(1);
  std::vector<std::pair<CLI::App*, Action>> commands;
  auto add = [&](Action (*adder)(CLI::App&)) {
    std::size_t before = app.get_subcommands({}).size();
    Action action = adder(app);
    commands.emplace_back(app.get_subcommands({})[before], std::move(action));
  };
  add(AddInit);
  add(AddSql);
  add(AddImport);
  add(AddConfigs);
  add(AddHistory);
  add(AddDemo);
  add(AddBench);
  add(AddReconcile);
  add(AddWindow);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? kExitOk : kExitBadInput;
  }
  for (auto& [sub, action] : commands) {
    if (sub->parsed()) return Guarded(action);
  }
  return kExitBadInput;
}
