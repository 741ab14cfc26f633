// The collation and functions that make SQLite compare and fold text as the ERP's SQL Server
// does. The embedded backend registers them on its connections; the same source, built as the
// loadable extension zodadovez_sqlite_ext, gives them to connections that SQLite's ODBC driver
// opens (its LoadExt attribute).
#pragma once

struct sqlite3;

namespace zodadovez {

// Registers on `db` the collation bridge::kCollation (case-insensitive over Latin-1 and Latin
// Extended-A, trailing blanks ignored), UPPER and LOWER over the same letters (SQLite's own
// fold ASCII only), zodadovez_decltypes(sql), the declared types of a statement's result
// columns, one per line, and zodadovez_autocommit(), 1 when no transaction is open on the
// connection. Returns SQLite's result code.
int RegisterSqlServerText(sqlite3* db);

}  // namespace zodadovez
