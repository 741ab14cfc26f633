// Rows as tab-separated text, as `zodadovez sql` prints them and the corpus tests expect them.
#pragma once

#include <string>

#include "module/common/database.h"

namespace zodadovez {

// NULL for a database NULL, decimals with their scale ("12.50"), dates "yyyy-mm-dd hh:mm:ss",
// booleans 1/0; tabs, line breaks and backslashes in texts escaped as \t \n \r \\.
std::string FormatTsvField(const Value& value);
// The current row's fields joined by tabs.
std::string FormatTsvRow(const Recordset& rs);

}  // namespace zodadovez
