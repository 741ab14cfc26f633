// Where a subcommand's ERP connection comes from: --erp, --erp-file, or the environment
// variables ZODADOVEZ_ERP and ZODADOVEZ_ERP_FILE that stand in for them.
#pragma once

#include <string>

namespace zodadovez::cli {

// What the command line gave for the ERP database; both empty when it gave neither.
struct ErpOption {
  std::string erp;   // --erp CONN
  std::string file;  // --erp-file FILE
};

// The connection string: --erp, else the one read from --erp-file, else ZODADOVEZ_ERP, else
// the one read from ZODADOVEZ_ERP_FILE. With `must_exist`, an embedded database whose file is
// missing cannot be connected to. Throws ConfigError when none is given, when both variables
// are set, or when the file is refused (see ReadErpFile); Error for the missing file.
std::string ResolveErp(const ErpOption& given, bool must_exist);

// The connection string held in `path`: one line, `sqlite:...` or `sqlserver:...`, its line end
// left out. `source` names where the path came from, for messages. Throws ConfigError when the
// file is not a regular file, may be read or written by others than its owner (it holds a
// password), cannot be read, or holds anything else; the message never quotes the content.
std::string ReadErpFile(const std::string& path, const std::string& source);

}  // namespace zodadovez::cli
