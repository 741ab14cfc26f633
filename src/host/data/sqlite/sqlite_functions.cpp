#include "host/data/sqlite/sqlite_functions.h"

// Built twice: into the host library, which links SQLite, and into the loadable extension,
// which reaches SQLite only through the routines the loading connection hands it.
#ifdef ZODADOVEZ_SQLITE_EXTENSION
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3
#else
#include <sqlite3.h>
#endif

#include <string>
#include <string_view>

#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

int CollateCi(void*, int a_len, const void* a, int b_len, const void* b) {
  return CompareText(
      std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(a_len)),
      std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(b_len)));
}

void CaseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  std::string_view in(text, static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
  const bool upper = sqlite3_user_data(ctx) != nullptr;
  const std::string out = upper ? UpperCase(in) : FoldCase(in);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// zodadovez_decltypes(sql): the declared types of the statement's result columns, each ended by
// a newline ("" for an expression), as sqlite3_column_decltype gives them: what the embedded
// backend reads values by, for connections that have no other way to ask (an ODBC driver).
void DeclaredTypes(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const auto* sql = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  sqlite3_stmt* statement = nullptr;
  if (sql == nullptr || sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
    return;
  }
  std::string out;
  for (int c = 0; c < sqlite3_column_count(statement); ++c) {
    const char* declared = sqlite3_column_decltype(statement, c);
    out += declared == nullptr ? "" : declared;
    out += '\n';
  }
  sqlite3_finalize(statement);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// zodadovez_autocommit(): 1 when no transaction is open on the connection, else 0. SQLite ends a
// transaction by itself on a few failures; a connection that cannot call
// sqlite3_get_autocommit (an ODBC driver's) learns it so.
void Autocommit(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_int(ctx, sqlite3_get_autocommit(sqlite3_context_db_handle(ctx)) != 0 ? 1 : 0);
}

}  // namespace

int RegisterSqlServerText(sqlite3* db) {
  static int upper_tag = 1;
  int rc =
      sqlite3_create_collation_v2(db, bridge::kCollation, SQLITE_UTF8, nullptr, CollateCi, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &upper_tag,
                                    CaseFunction, nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "lower", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                    CaseFunction, nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "zodadovez_decltypes", 1, SQLITE_UTF8, nullptr,
                                    DeclaredTypes, nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "zodadovez_autocommit", 0, SQLITE_UTF8, nullptr, Autocommit,
                                    nullptr, nullptr, nullptr);
  }
  return rc;
}

}  // namespace zodadovez
