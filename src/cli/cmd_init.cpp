// zodadovez init: creates the stand-in ERP and gym schemas, or only the module's own tables in
// an existing ERP database.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include "cli/commands.h"
#include "host/data/backend.h"

namespace zodadovez::cli {

int RunInit(const InitCommand& command) {
  if (command.zev_only) {
    std::vector<std::string> created = InstallModuleTables(command.erp);
    fmt::print("Created {}.\n", fmt::join(created, ", "));
    return kExitOk;
  }
  InitDatabases(command.erp, command.gym);
  fmt::print("Created the ERP schema and the gym database \"{}\".\n", command.gym);
  return kExitOk;
}

}  // namespace zodadovez::cli
