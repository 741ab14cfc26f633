// The stand-in schemas, T-SQL scripts compiled into the binary (batches separated by GO).
#pragma once

#include <string_view>

namespace zodadovez {

// Every ERP table and column the module reads or writes, with keys and lookup indexes.
std::string_view ErpSchema();
// Every gym table and column the module's statements read.
std::string_view GymSchema();

}  // namespace zodadovez
