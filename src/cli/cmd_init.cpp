// zodadovez init: creates the stand-in ERP and gym schemas, or only the module's own tables in
// an existing ERP database.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <CLI/CLI.hpp>

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
  auto* gym_option =
      cmd->add_option("--gym", *gym, "Name of the gym database to create")->capture_default_str();
  auto zev_only = std::make_shared<bool>(false);
  cmd->add_flag("--zev-only", *zev_only,
                "Only create the module's configuration tables (and HOST_SETTINGS when missing) "
                "in an existing ERP database")
      ->excludes(gym_option);
  return [erp, gym, zev_only] {
    if (*zev_only) {
      std::vector<std::string> created = InstallModuleTables(*erp);
      fmt::print("Created {}.\n", fmt::join(created, ", "));
      return kExitOk;
    }
    InitDatabases(*erp, *gym);
    fmt::print("Created the ERP schema and the gym database \"{}\".\n", *gym);
    return kExitOk;
  };
}

}  // namespace zodadovez::cli
