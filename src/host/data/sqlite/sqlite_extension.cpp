// The loadable SQLite extension: the ERP's text collation and case functions for connections
// opened by someone else, such as SQLite's ODBC driver with LoadExt=<this library>.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include "host/data/sqlite/sqlite_functions.h"

// SQLite derives the entry point from the file name libzodadovez_sqlite_ext.so: the letters
// after "lib", up to the first dot.
extern "C" __attribute__((visibility("default"))) int sqlite3_zodadovezsqliteext_init(
    sqlite3* db, char** error, const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  (void)error;
  return zodadovez::RegisterSqlServerText(db);
}
