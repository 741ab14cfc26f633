// zodadovez init: creates the stand-in ERP and gym schemas.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "cli/commands.h"
#include "host/data/backend.h"

namespace zodadovez::cli {

Action AddInit(CLI::App& app) {
  auto* cmd = app.add_subcommand("init", "Create the stand-in ERP and gym databases");
  auto erp = std::make_shared<std::string>();
  auto gym = std::make_shared<std::string>("Palestra");
  cmd->add_option("--erp", *erp, "ERP database: sqlite:PATH or sqlserver:CONNECTION-STRING")
      ->envname("ZODADOVEZ_ERP")
      ->required();
  cmd->add_option("--gym", *gym, "Name of the gym database to create")->capture_default_str();
  return [erp, gym] {
    InitDatabases(*erp, *gym);
    fmt::print("Created the ERP schema and the gym database \"{}\".\n", *gym);
    return kExitOk;
  };
}

}  // namespace zodadovez::cli
