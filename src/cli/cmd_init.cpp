// zodadovez init: creates the stand-in ERP and gym schemas, or only the module's own tables in
// an existing ERP database.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <filesystem>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "host/data/backend.h"
#include "module/common/errors.h"

namespace zodadovez::cli {
namespace {

// The folders missing on the way to `folder`, outermost first.
std::vector<std::filesystem::path> MissingFolders(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> missing;
  for (std::filesystem::path p = folder; !p.empty(); p = p.parent_path()) {
    std::error_code ignored;
    if (std::filesystem::exists(p, ignored)) break;
    missing.insert(missing.begin(), p);
    if (p == p.parent_path()) break;
  }
  return missing;
}

// Makes the folder of an embedded ERP database, as demo makes its own; returns the folders made,
// outermost first.
std::vector<std::filesystem::path> MakeErpFolder(std::string_view erp) {
  constexpr std::string_view kSqlite = "sqlite:";
  if (!erp.starts_with(kSqlite)) return {};
  std::filesystem::path folder = std::filesystem::path(erp.substr(kSqlite.size())).parent_path();
  std::vector<std::filesystem::path> missing = MissingFolders(folder);
  std::error_code error;
  if (!missing.empty()) std::filesystem::create_directories(folder, error);
  if (error) {
    throw Error(fmt::format("cannot create the folder {} of the ERP database: {}", folder.string(),
                            error.message()));
  }
  return missing;
}

}  // namespace

int RunInit(const InitCommand& command) {
  if (command.zev_only) {
    std::vector<std::string> created = InstallModuleTables(command.erp);
    fmt::print("Created {}.\n", fmt::join(created, ", "));
    return kExitOk;
  }
  std::vector<std::filesystem::path> made = MakeErpFolder(command.erp);
  try {
    InitDatabases(command.erp, command.gym);
  } catch (...) {
    // A failed init leaves nothing behind, the folders it made included.
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
      std::error_code ignored;
      std::filesystem::remove(*it, ignored);
    }
    throw;
  }
  fmt::print("Created the ERP schema and the gym database \"{}\".\n", command.gym);
  return kExitOk;
}

}  // namespace zodadovez::cli
