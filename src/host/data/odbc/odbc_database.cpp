// The SQL Server backend over the ODBC C API (unixODBC and the FreeTDS driver on Linux).
//
// Driver facts this file depends on:
// - Text goes through the wide API and SQL_C_WCHAR only. unixODBC's SQLWCHAR is UTF-16, and
//   FreeTDS converts between UTF-16 and each column's server code page by itself, so neither
//   ClientCharset nor the process locale matters. SQL_C_CHAR text would instead arrive in
//   ClientCharset, or in the locale's code set when that is not given (ASCII under the C
//   locale, every accented letter a '?'). Only decimals, which are plain ASCII digits, are read
//   and bound as SQL_C_CHAR. This needs a driver with the wide API, as FreeTDS is: for one
//   without it unixODBC narrows UTF-16 itself and loses everything outside Latin-1.
// - FreeTDS reports date, time and datetime2 columns as nvarchar below TDS_Version 7.3; those
//   then read as text "yyyy-mm-dd ...". Connection strings should ask for 7.3 or later.
// - FreeTDS prepares a statement again whenever a parameter is re-bound, so each cached
//   statement keeps its parameter buffers bound and only rewrites their contents; a parameter
//   is re-bound only when its C type, SQL type, declared size or scale must change.
// - SQL Server declares no nvarchar parameter over 4000 characters and no varchar over 8000:
//   longer texts are bound as the long types, which the driver sends as nvarchar(max) and
//   varchar(max).
// - A prepared statement runs in a scope of its own on the server, so the identity of an
//   inserted row is read by a SELECT in the same prepared batch (see odbc::kReadIdentity).
//
// SQLite's ODBC driver (Debian's libsqliteodbc, "SQLite3" in odbcinst.ini), where the driver
// reports DBMS "SQLite": statements go through the embedded backend's T-SQL bridge first, and
// the code below depends on these facts of the driver:
// - It exports only the narrow API. unixODBC narrows the wide API's UTF-16 to Latin-1 for it,
//   so statement texts (and the connection string) are passed as UTF-8 through the narrow API,
//   which SQLite reads as they are. Data is no problem: the driver itself converts SQL_C_WCHAR
//   to and from SQLite's UTF-8, and SQL_C_CHAR passes UTF-8 unchanged.
// - It refuses SQLite's numbered parameters ("?1": "parameter marker count incorrect"): the
//   bridge's ?N become plain markers, bound in the order they stand (odbc::ToPositionalMarkers).
// - It reports decimal columns as SQL_VARCHAR (numeric ones as SQL_DOUBLE) without a scale, the
//   type name without its arguments ("decimal"), and for an aliased column the alias as its base
//   column; SQLColumns gives the declared type whole, but sizes that mix up precision and scale.
//   Declared types are therefore asked of SQLite itself: of a result's columns through the
//   extension's zodadovez_decltypes(sql) (sqlite3_column_decltype, as the embedded backend reads
//   them), of a table's through PRAGMA table_info. Values then read back exactly as the embedded
//   backend reads them: decimals at their scale, char(n) padded, dates from their text.
// - A bound SQL_C_TYPE_TIMESTAMP is stored as "yyyy-mm-dd hh:mm:ss.000": dates are bound as
//   the embedded backend's text instead, decimals as doubles, as that backend binds them.
// - LoadExt=<library> loads an extension on connecting, but a library that does not load is
//   only reported on standard error and the connection opens all the same: the connection
//   checks that the collation is there. Timeout= is the busy timeout in milliseconds,
//   JournalMode= and SyncPragma= the pragmas; NoCreat=1 keeps a missing file from being created.
// - A missing extension, a missing file and a busy file all fail with SQLSTATE HY000.
// - With autocommit off, the driver begins a transaction of its own before a statement and ends
//   it only through SQLEndTran; a BEGIN sent as text then fails ("cannot start a transaction
//   within a transaction"). With autocommit on (the default, set again on connecting) it begins
//   none and passes BEGIN IMMEDIATE, COMMIT, ROLLBACK [TO] and SAVEPOINT on to SQLite as they
//   are, so that the bridge's transaction statements are real transactions: a ROLLBACK undoes
//   the prepared writes sent since the BEGIN, and another connection sees nothing before the
//   COMMIT. The count the module's statements keep is sqlite::Transactions'; whether SQLite
//   ended a transaction itself after a failure is asked of the extension
//   (zodadovez_autocommit()), since sqlite3_get_autocommit is out of reach.
// - ATTACH takes a "file:" URI with "?mode=ro" (Debian's SQLite reads URI filenames): gym
//   databases are attached read-only, as the embedded backend attaches them.
#include "host/data/odbc/odbc_database.h"

#include <fmt/format.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "host/data/odbc/odbc_text.h"
#include "host/data/sqlite/sqlite_dialect.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/errors.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's SQLWCHAR is UTF-16");

// Long values are read in pieces of this many bytes at first.
constexpr std::size_t kChunkBytes = 8192;
// Room for a DECIMAL(38) as text: sign, 38 digits, the point, a leading zero and the NUL.
constexpr std::size_t kDecimalTextBytes = 64;

struct EnvironmentDeleter {
  void operator()(SQLHANDLE handle) const noexcept { SQLFreeHandle(SQL_HANDLE_ENV, handle); }
};
struct ConnectionDeleter {
  void operator()(SQLHANDLE handle) const noexcept {
    SQLDisconnect(handle);  // fails harmlessly on a connection that never opened
    SQLFreeHandle(SQL_HANDLE_DBC, handle);
  }
};
struct StatementDeleter {
  void operator()(SQLHANDLE handle) const noexcept { SQLFreeHandle(SQL_HANDLE_STMT, handle); }
};
using EnvironmentHandle = std::unique_ptr<void, EnvironmentDeleter>;
using ConnectionHandle = std::unique_ptr<void, ConnectionDeleter>;
using StatementHandle = std::unique_ptr<void, StatementDeleter>;

// Closes the statement's cursor and drops any results still pending when it goes out of scope,
// so that an error halfway through the results never leaves the connection busy.
class CursorCloser {
 public:
  explicit CursorCloser(SQLHSTMT statement) : statement_(statement) {}
  CursorCloser(const CursorCloser&) = delete;
  CursorCloser& operator=(const CursorCloser&) = delete;
  ~CursorCloser() { SQLFreeStmt(statement_, SQL_CLOSE); }

 private:
  SQLHSTMT statement_;
};

SQLPOINTER IntegerAttribute(std::uintptr_t value) { return reinterpret_cast<SQLPOINTER>(value); }

// NUL-terminated UTF-16 for the wide API.
std::vector<SQLWCHAR> Wide(std::string_view text) {
  const std::u16string utf16 = odbc::Utf8ToUtf16(text);
  std::vector<SQLWCHAR> out(utf16.begin(), utf16.end());
  out.push_back(0);
  return out;
}

// The length of Wide()'s text without its NUL, as the API's length arguments take it.
template <typename Length>
Length WideLength(const std::vector<SQLWCHAR>& text) {
  return static_cast<Length>(text.size() - 1);
}

std::string Narrow(const SQLWCHAR* text, std::size_t length) {
  return odbc::Utf16ToUtf8(std::u16string(text, text + length));
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool IsNarrowText(SQLSMALLINT sql_type) {
  return sql_type == SQL_CHAR || sql_type == SQL_VARCHAR || sql_type == SQL_LONGVARCHAR;
}

int DigitCount(Int128 mantissa) {
  if (mantissa < 0) mantissa = -mantissa;
  int digits = 1;
  while (mantissa >= 10) {
    mantissa /= 10;
    ++digits;
  }
  return digits;
}

// The driver's records as SQLite's driver writes them: narrow, in UTF-8.
std::vector<odbc::Diagnostic> ReadNarrowDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<odbc::Diagnostic> records;
  for (SQLSMALLINT number = 1; number <= 64; ++number) {
    SQLCHAR state[6] = {};
    SQLCHAR message[2048] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(handle_type, handle, number, state, &native, message,
                                       sizeof message, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    records.push_back({reinterpret_cast<const char*>(state), static_cast<long>(native),
                       reinterpret_cast<const char*>(message)});
  }
  return records;
}

std::vector<odbc::Diagnostic> ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<odbc::Diagnostic> records;
  std::vector<SQLWCHAR> message(1024);
  for (SQLSMALLINT number = 1; number <= 64; ++number) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, number, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= message.size()) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(handle_type, handle, number, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const std::size_t used =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
    records.push_back({Narrow(state, 5), static_cast<long>(native), Narrow(message.data(), used)});
  }
  return records;
}

bool HasState(SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view state) {
  const std::vector<odbc::Diagnostic> records = ReadDiagnostics(handle_type, handle);
  return std::any_of(records.begin(), records.end(),
                     [&](const odbc::Diagnostic& record) { return record.state == state; });
}

// A refusal with the driver's records, so that the caller can tell a passing failure from
// another. Callers outside this file see a DataError.
class OdbcError : public DataError {
 public:
  OdbcError(const std::string& what, std::vector<odbc::Diagnostic> records)
      : DataError(what), records_(std::move(records)) {}
  const std::vector<odbc::Diagnostic>& records() const { return records_; }

 private:
  std::vector<odbc::Diagnostic> records_;
};

// How one parameter is bound: changing any of these means binding it again.
struct ParamSpec {
  SQLSMALLINT c_type = 0;
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  bool operator==(const ParamSpec&) const = default;
};

// A bound parameter: the driver keeps pointers to `buffer` and `indicator` between executions.
struct ParamSlot {
  ParamSpec binding;
  bool bound = false;
  std::vector<char> buffer;
  SQLLEN indicator = 0;
};

struct ColumnInfo {
  FieldInfo field;  // the kind, defined size, precision and scale
  SQLSMALLINT sql_type = 0;
  sqlite::DeclaredType declared;  // SQLite: the type as the DDL declared it
};

struct TableInfo {
  std::map<std::string, ColumnInfo> columns;  // by upper-case name
  std::vector<std::string> keys;              // primary key columns in key order
  bool has_identity = false;                  // SQLite: an INTEGER PRIMARY KEY (the rowid)
};

// A column of a SQLite table as PRAGMA table_info gives it.
struct DeclaredColumn {
  std::string name;
  std::string declared;  // "decimal(18, 4)"
  sqlite::DeclaredType type;
  int key = 0;  // position in the primary key, 0 outside it
};

struct PreparedWrite {
  StatementHandle statement;
  std::string sql;
  std::vector<ParamSlot> slots;  // sized once: the driver holds pointers into it
};

struct ResultSet {
  std::vector<FieldInfo> fields;
  std::vector<std::vector<Value>> rows;
};

// A value as one parameter: how it is bound and its bytes in the C type's layout.
struct EncodedParam {
  ParamSpec binding;
  std::string bytes;
  bool null = false;
};

// Texts up to the column's defined size share one binding; others are declared in steps of
// 256 characters so that a column without a defined size is not bound again for every length.
SQLULEN DeclaredTextSize(std::size_t units, const ColumnInfo* column, std::size_t limit) {
  if (column != nullptr && column->field.size > 0 &&
      units <= static_cast<std::size_t>(column->field.size)) {
    return static_cast<SQLULEN>(column->field.size);
  }
  if (units > limit) return static_cast<SQLULEN>(units);
  const std::size_t stepped = (std::max<std::size_t>(units, 1) + 255) / 256 * 256;
  return static_cast<SQLULEN>(std::min(stepped, limit));
}

EncodedParam EncodeText(std::string_view text, const ColumnInfo* column) {
  const std::u16string utf16 = odbc::Utf8ToUtf16(text);
  const bool narrow = column != nullptr && IsNarrowText(column->sql_type);
  const std::size_t limit = narrow ? 8000 : 4000;
  EncodedParam param;
  param.binding.c_type = SQL_C_WCHAR;
  if (narrow) {
    param.binding.sql_type = utf16.size() > limit ? SQL_LONGVARCHAR : SQL_VARCHAR;
  } else {
    param.binding.sql_type = utf16.size() > limit ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
  }
  param.binding.size = DeclaredTextSize(utf16.size(), column, limit);
  param.bytes.resize(utf16.size() * sizeof(char16_t));
  if (!utf16.empty()) std::memcpy(param.bytes.data(), utf16.data(), param.bytes.size());
  return param;
}

EncodedParam EncodeDecimal(Decimal value, const ColumnInfo* column) {
  EncodedParam param;
  param.binding.c_type = SQL_C_CHAR;
  param.binding.sql_type = SQL_DECIMAL;
  if (column != nullptr && column->field.type == FieldType::kDecimal &&
      column->field.precision > 0) {
    // Bound as the column is declared, so that every value shares one binding; extra digits
    // are rounded half away from zero, as the server rounds a decimal into a smaller scale.
    param.binding.size = static_cast<SQLULEN>(column->field.precision);
    param.binding.digits = static_cast<SQLSMALLINT>(column->field.scale);
    if (value.scale() > column->field.scale) {
      value = value.Round(column->field.scale, RoundingMode::kHalfUp);
    }
  } else {
    const int digits = std::max({DigitCount(value.mantissa()), value.scale(), 1});
    param.binding.size = static_cast<SQLULEN>(std::min(digits, Decimal::kMaxDigits));
    param.binding.digits = static_cast<SQLSMALLINT>(value.scale());
  }
  param.bytes = value.ToString();
  return param;
}

template <typename T>
EncodedParam EncodeFixed(SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN size, SQLSMALLINT digits,
                         const T& value) {
  EncodedParam param;
  param.binding = {c_type, sql_type, size, digits};
  param.bytes.resize(sizeof(T));
  std::memcpy(param.bytes.data(), &value, sizeof(T));
  return param;
}

EncodedParam EncodeInteger(std::int64_t value) {
  return EncodeFixed(SQL_C_SBIGINT, SQL_BIGINT, 19, 0, static_cast<SQLBIGINT>(value));
}

EncodedParam EncodeDate(DateTime value) {
  const auto day = std::chrono::floor<std::chrono::days>(value);
  const std::chrono::year_month_day ymd{day};
  const std::chrono::hh_mm_ss time{value - day};
  SQL_TIMESTAMP_STRUCT stamp{};
  stamp.year = static_cast<SQLSMALLINT>(static_cast<int>(ymd.year()));
  stamp.month = static_cast<SQLUSMALLINT>(static_cast<unsigned>(ymd.month()));
  stamp.day = static_cast<SQLUSMALLINT>(static_cast<unsigned>(ymd.day()));
  stamp.hour = static_cast<SQLUSMALLINT>(time.hours().count());
  stamp.minute = static_cast<SQLUSMALLINT>(time.minutes().count());
  stamp.second = static_cast<SQLUSMALLINT>(time.seconds().count());
  return EncodeFixed(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, stamp);
}

// A NULL typed after its column, bound the way the column's values are, so that the binding
// usually serves the next non-null value too.
EncodedParam EncodeNull(const ColumnInfo* column) {
  EncodedParam param;
  if (column == nullptr) {
    param = EncodeText("", nullptr);
  } else {
    switch (column->field.type) {
      case FieldType::kBool:
        param = EncodeFixed<unsigned char>(SQL_C_BIT, SQL_BIT, 1, 0, 0);
        break;
      case FieldType::kInteger:
        param = EncodeInteger(0);
        break;
      case FieldType::kDecimal:
        param = EncodeDecimal(Decimal(), column);
        break;
      case FieldType::kDouble:
        param = EncodeFixed(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, 0.0);
        break;
      case FieldType::kDate:
        param = EncodeDate(DateTime{});
        break;
      case FieldType::kBinary:
        param.binding = {SQL_C_BINARY, SQL_VARBINARY,
                         static_cast<SQLULEN>(std::max(column->field.size, 1)), 0};
        break;
      case FieldType::kText:
        param = EncodeText("", column);
        break;
    }
  }
  param.null = true;
  param.bytes.clear();
  return param;
}

// The value converted as the platform converts a value assigned to a field of the column's
// type: texts into numbers by the Italian form ("12,50"), texts into dates by the Italian or
// ISO form, True into a number as -1. Other values go to the server as they are.
Value CoerceToColumn(const Value& value, const ColumnInfo* column) {
  if (column == nullptr) return value;
  switch (column->field.type) {
    case FieldType::kInteger:
    case FieldType::kDecimal:
    case FieldType::kDouble:
      if (value.is_text()) return Value(value.ToDecimal());
      if (value.kind() == ValueKind::kBool) return Value(value.as_bool() ? -1 : 0);
      return value;
    case FieldType::kBool:
      if (value.is_text()) return Value(value.ToBool());
      return value;
    case FieldType::kDate:
      if (value.is_text()) return Value(value.ToDate());
      return value;
    case FieldType::kText:
    case FieldType::kBinary:
      return value;
  }
  return value;
}

EncodedParam Encode(const Value& value, const ColumnInfo* column) {
  switch (value.kind()) {
    case ValueKind::kEmpty:
    case ValueKind::kNull:
      return EncodeNull(column);
    case ValueKind::kBool:
      return EncodeFixed<unsigned char>(SQL_C_BIT, SQL_BIT, 1, 0, value.as_bool() ? 1 : 0);
    case ValueKind::kInteger:
      return EncodeInteger(value.as_integer());
    case ValueKind::kDecimal:
      return EncodeDecimal(value.as_decimal(), column);
    case ValueKind::kDouble:
      return EncodeFixed(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, value.as_double());
    case ValueKind::kText:
      return EncodeText(value.as_text(), column);
    case ValueKind::kDate:
      return EncodeDate(value.as_date());
  }
  return EncodeNull(column);
}

EncodedParam EncodeNarrowText(std::string text) {
  EncodedParam param;
  param.binding = {SQL_C_CHAR, SQL_VARCHAR, DeclaredTextSize(text.size(), nullptr, 1u << 30), 0};
  param.bytes = std::move(text);
  return param;
}

// A value as SQLite's driver takes it, stored as the embedded backend stores it: texts as
// UTF-8, dates as "yyyy-mm-dd hh:mm:ss", decimals as doubles (integers when they have no
// fraction), bits as 0 and 1.
EncodedParam EncodeForSqlite(const Value& value) {
  switch (value.kind()) {
    case ValueKind::kEmpty:
    case ValueKind::kNull: {
      EncodedParam param = EncodeNarrowText("");
      param.null = true;
      return param;
    }
    case ValueKind::kBool:
      return EncodeInteger(value.as_bool() ? 1 : 0);
    case ValueKind::kInteger:
      return EncodeInteger(value.as_integer());
    case ValueKind::kDecimal: {
      const Decimal& d = value.as_decimal();
      if (d.scale() == 0 && d.mantissa() <= INT64_MAX && d.mantissa() >= INT64_MIN) {
        return EncodeInteger(static_cast<std::int64_t>(d.mantissa()));
      }
      return EncodeFixed(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, d.ToDouble());
    }
    case ValueKind::kDouble:
      return EncodeFixed(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, value.as_double());
    case ValueKind::kText:
      return EncodeNarrowText(value.as_text());
    case ValueKind::kDate:
      return EncodeNarrowText(FormatIsoDate(value.as_date()));
  }
  return EncodeNarrowText("");
}

// "name" quoted for SQLite.
std::string SqliteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// The library of the extension that gives SQLite's driver the ERP's text collation: beside the
// running program when installed there, else where the build left it.
std::string SqliteExtensionFile() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path beside = self.parent_path() / "libzodadovez_sqlite_ext.so";
    if (std::filesystem::exists(beside, error)) return beside.string();
  }
#ifdef ZODADOVEZ_SQLITE_EXTENSION_FILE
  return ZODADOVEZ_SQLITE_EXTENSION_FILE;
#else
  return "libzodadovez_sqlite_ext.so";
#endif
}

// The connection string for SQLite's driver, with what the embedded backend does on opening a
// file: the extension, a busy timeout, WAL with synchronous=NORMAL, and no file created when it
// is missing. Settings the string makes itself stay.
std::string ForSqliteDriver(const std::string& connection_string) {
  const std::optional<std::string> file =
      odbc::ConnectionStringValue(connection_string, "Database");
  if (!file || file->empty()) {
    throw ConfigError("the connection to SQLite's ODBC driver names no Database file");
  }
  if (!std::filesystem::exists(*file)) {
    throw ConfigError(fmt::format("ERP database file not found: {}", *file));
  }
  std::string out = odbc::WithDefault(connection_string, "LoadExt", SqliteExtensionFile());
  out = odbc::WithDefault(out, "NoCreat", "1");
  out = odbc::WithDefault(out, "Timeout", "5000");
  out = odbc::WithDefault(out, "JournalMode", "WAL");
  return odbc::WithDefault(out, "SyncPragma", "NORMAL");
}

std::string DescribeParameters(const std::vector<Value>& values) {
  std::string text;
  for (const Value& value : values) {
    if (!text.empty()) text += ", ";
    text += value.Describe();
  }
  return text;
}

}  // namespace

struct OdbcDatabase::Impl {
  std::string server;                  // for messages: SQL Server "host,port"
  std::vector<std::string> passwords;  // scrubbed from every message the driver sends back
  odbc::ConnectOptions options;
  bool lost = false;
  // BEGIN TRANSACTION levels open on the connection, as far as the statements sent tell.
  int transaction_depth = 0;
  // Declared in the order they are needed, so that statements are freed before the
  // connection, and the connection before the environment.
  EnvironmentHandle environment;
  ConnectionHandle connection;
  StatementHandle direct;  // execute(), open() and the catalog reads
  std::map<std::string, TableInfo> tables;
  std::map<std::string, std::unique_ptr<PreparedWrite>> prepared;

  // SQLite's driver: the statements go through the bridge (see the top of this file).
  bool sqlite = false;
  std::filesystem::path sqlite_folder;  // the ERP file's, where gym databases live
  std::string sqlite_version;
  GymAccess gyms = GymAccess::kReadOnly;
  sqlite::Transactions transactions;       // SQL Server's count, over SQLite's transactions
  std::optional<sqlite::FileLocks> locks;  // beside the ERP file
  std::unique_ptr<bridge::Translator> translator;
  StatementHandle meta;                                         // PRAGMA reads while reading
  std::set<std::string> attached;                               // folded aliases
  std::map<std::string, sqlite::StandInProcedure> procedures;   // by folded name
  std::map<std::string, std::vector<DeclaredColumn>> declared;  // by folded "db\ntable"
  std::vector<ParamSlot> direct_slots;  // the direct statement's parameters while it runs
  std::map<std::string, std::vector<std::string>> result_declared;  // by SQLite text
  std::vector<sqlite::DeclaredType> result_types;                   // of the statement being read

  [[noreturn]] void Fail(SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view action) {
    const std::vector<odbc::Diagnostic> records =
        sqlite ? ReadNarrowDiagnostics(handle_type, handle) : ReadDiagnostics(handle_type, handle);
    if (sqlite) FollowEndedTransaction();
    const std::string detail = odbc::Scrub(odbc::FormatDiagnostics(records), passwords);
    if (odbc::IsConnectionLost(records)) {
      lost = true;
      throw OdbcError(fmt::format("the connection to {} was lost {}: {}", server, action, detail),
                      records);
    }
    throw OdbcError(fmt::format("{}: {}", action, detail), records);
  }

  void Pause(std::chrono::milliseconds delay) const {
    if (options.sleep) {
      options.sleep(delay);
    } else {
      std::this_thread::sleep_for(delay);
    }
  }

  // One try at the login on a fresh connection handle. False with the driver's records when
  // the driver refused; the handle is then freed again.
  bool TryConnect(const std::string& connection_string, bool narrow, std::string_view action,
                  std::vector<odbc::Diagnostic>* records) {
    connection.reset();
    SQLHANDLE raw = SQL_NULL_HANDLE;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, environment.get(), &raw);
    connection.reset(raw);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_ENV, environment.get(), action);
    // Both timeouts are optional for a driver: one that refuses them keeps its own.
    SQLSetConnectAttr(connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      IntegerAttribute(static_cast<std::uintptr_t>(options.login_timeout.count())),
                      0);
    SQLSetConnectAttr(
        connection.get(), SQL_ATTR_CONNECTION_TIMEOUT,
        IntegerAttribute(static_cast<std::uintptr_t>(options.connection_timeout.count())), 0);
    if (narrow) {
      // SQLite's driver takes a path in UTF-8, which the wide API would narrow to Latin-1.
      std::string text = connection_string;
      rc = SQLDriverConnect(connection.get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                            static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                            SQL_DRIVER_NOPROMPT);
      std::fill(text.begin(), text.end(), '\0');
    } else {
      std::vector<SQLWCHAR> text = Wide(connection_string);
      rc = SQLDriverConnectW(connection.get(), nullptr, text.data(), WideLength<SQLSMALLINT>(text),
                             nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
      // The text held the password: do not leave it in memory longer than needed.
      std::fill(text.begin(), text.end(), SQLWCHAR{0});
    }
    if (SQL_SUCCEEDED(rc)) return true;
    *records = narrow ? ReadNarrowDiagnostics(SQL_HANDLE_DBC, connection.get())
                      : ReadDiagnostics(SQL_HANDLE_DBC, connection.get());
    connection.reset();
    return false;
  }

  // @@TRANCOUNT as the server counts it, after a statement failed: the failure may have ended
  // the transaction (a deadlock, a severe error) or left one open (a batch that failed after
  // its BEGIN TRANSACTION). Kept as it was when the question itself fails.
  void ResyncTransactionDepth() {
    if (lost || sqlite) return;  // SQLite has no @@TRANCOUNT: the statements' count stands
    try {
      SQLHSTMT statement = direct.get();
      CursorCloser closer(statement);
      const std::string action = "while reading @@TRANCOUNT";
      std::vector<SQLWCHAR> text = Wide("SELECT @@TRANCOUNT");
      const SQLRETURN rc = SQLExecDirectW(statement, text.data(), WideLength<SQLINTEGER>(text));
      Check(rc, SQL_HANDLE_STMT, statement, action);
      std::optional<ResultSet> rows = Drain(statement, rc, action, true, nullptr);
      if (rows && !rows->rows.empty() && !rows->rows.front().empty() &&
          rows->rows.front().front().kind() == ValueKind::kInteger) {
        transaction_depth = static_cast<int>(rows->rows.front().front().as_integer());
      }
    } catch (const DataError&) {
      // The depth stays as the statements told it.
    }
  }

  // Whether a read that failed with `error` on try number `attempt` is sent again.
  bool MayRetryRead(bool read, int attempt, const OdbcError& error) const {
    return read && !lost && transaction_depth == 0 &&
           attempt < std::max(options.reads.attempts, 1) &&
           odbc::IsTransientStatementFailure(error.records());
  }

  // Executes `sql` on the direct statement; with `keep_rows`, returns its first result set.
  std::optional<ResultSet> Run(std::string_view sql, std::string_view action, bool keep_rows,
                               std::int64_t* affected) {
    CheckUsable(action);
    SQLHSTMT statement = direct.get();
    CursorCloser closer(statement);
    std::vector<SQLWCHAR> text = Wide(sql);
    const SQLRETURN rc = SQLExecDirectW(statement, text.data(), WideLength<SQLINTEGER>(text));
    Check(rc, SQL_HANDLE_STMT, statement, action);
    return Drain(statement, rc, action, keep_rows, affected);
  }

  // SQL_NO_DATA is not a failure: an UPDATE that matched nothing, or no further result.
  void Check(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view action) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return;
    Fail(handle_type, handle, action);
  }

  void CheckUsable(std::string_view action) const {
    if (lost) {
      throw DataError(fmt::format("the connection to {} was lost before {}", server, action));
    }
  }

  Value ReadCell(SQLHSTMT statement, SQLUSMALLINT column, const FieldInfo& field,
                 std::string_view action) {
    SQLLEN indicator = 0;
    switch (field.type) {
      case FieldType::kBool: {
        unsigned char bit = 0;
        Check(SQLGetData(statement, column, SQL_C_BIT, &bit, sizeof bit, &indicator),
              SQL_HANDLE_STMT, statement, action);
        if (indicator == SQL_NULL_DATA) return Value(Null{});
        return Value(bit != 0);
      }
      case FieldType::kInteger: {
        SQLBIGINT integer = 0;
        Check(SQLGetData(statement, column, SQL_C_SBIGINT, &integer, sizeof integer, &indicator),
              SQL_HANDLE_STMT, statement, action);
        if (indicator == SQL_NULL_DATA) return Value(Null{});
        return Value(static_cast<long long>(integer));
      }
      case FieldType::kDouble: {
        double number = 0;
        Check(SQLGetData(statement, column, SQL_C_DOUBLE, &number, sizeof number, &indicator),
              SQL_HANDLE_STMT, statement, action);
        if (indicator == SQL_NULL_DATA) return Value(Null{});
        return Value(number);
      }
      case FieldType::kDecimal: {
        // As text, so that no digit passes through a double.
        char text[kDecimalTextBytes] = {};
        Check(SQLGetData(statement, column, SQL_C_CHAR, text, sizeof text, &indicator),
              SQL_HANDLE_STMT, statement, action);
        if (indicator == SQL_NULL_DATA) return Value(Null{});
        Decimal decimal;
        if (!odbc::TryParseDecimalText(text, field.scale, &decimal)) {
          throw DataError(fmt::format("{}: column {} holds \"{}\", which is not a decimal", action,
                                      field.name, text));
        }
        return Value(decimal);
      }
      case FieldType::kDate: {
        SQL_TIMESTAMP_STRUCT stamp{};
        Check(SQLGetData(statement, column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator),
              SQL_HANDLE_STMT, statement, action);
        if (indicator == SQL_NULL_DATA) return Value(Null{});
        // Fractions of a second are dropped: DateTime counts whole seconds.
        return Value(MakeDateTime(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute,
                                  stamp.second));
      }
      case FieldType::kText: {
        std::string bytes;
        if (!ReadLong(statement, column, SQL_C_WCHAR, &bytes, action)) return Value(Null{});
        std::u16string utf16(bytes.size() / sizeof(char16_t), u'\0');
        if (!utf16.empty()) std::memcpy(utf16.data(), bytes.data(), utf16.size() * 2);
        return Value(odbc::Utf16ToUtf8(utf16));
      }
      case FieldType::kBinary: {
        // Value has no binary kind: the bytes travel as they are in a text.
        std::string bytes;
        if (!ReadLong(statement, column, SQL_C_BINARY, &bytes, action)) return Value(Null{});
        return Value(std::move(bytes));
      }
    }
    return Value(Null{});
  }

  // Reads a text or binary value piece by piece: SQLGetData answers 01004 while more is left,
  // with the length still to come, or SQL_NO_TOTAL. False for NULL.
  bool ReadLong(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT c_type, std::string* out,
                std::string_view action) {
    const std::size_t terminator =
        c_type == SQL_C_WCHAR ? sizeof(SQLWCHAR) : (c_type == SQL_C_CHAR ? 1 : 0);
    std::vector<char> chunk(kChunkBytes + terminator);
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(statement, column, c_type, chunk.data(),
                                      static_cast<SQLLEN>(chunk.size()), &indicator);
      if (rc == SQL_NO_DATA) return true;  // the previous piece was the last
      Check(rc, SQL_HANDLE_STMT, statement, action);
      if (indicator == SQL_NULL_DATA) return false;
      const std::size_t room = chunk.size() - terminator;
      // The state decides, not the length alone: a driver may count the length to come in
      // the server's bytes rather than in converted UTF-16.
      const bool truncated =
          rc == SQL_SUCCESS_WITH_INFO &&
          (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room ||
           HasState(SQL_HANDLE_STMT, statement, "01004"));
      if (!truncated) {
        out->append(chunk.data(),
                    indicator >= 0 ? std::min(room, static_cast<std::size_t>(indicator)) : room);
        return true;
      }
      out->append(chunk.data(), room);
      if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) > room) {
        // Take the rest in one more call; an even size keeps UTF-16 units whole.
        const std::size_t left = (static_cast<std::size_t>(indicator) - room + 1) / 2 * 2;
        chunk.resize(std::max(chunk.size(), left + terminator));
      }
    }
  }

  ResultSet ReadResultSet(SQLHSTMT statement, SQLSMALLINT column_count, std::string_view action) {
    ResultSet result;
    std::vector<sqlite::DeclaredType> declared_types;
    std::vector<SQLWCHAR> name(256);
    for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(column_count); ++column) {
      SQLSMALLINT name_length = 0;
      SQLSMALLINT sql_type = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      SQLRETURN rc =
          SQLDescribeColW(statement, column, name.data(), static_cast<SQLSMALLINT>(name.size()),
                          &name_length, &sql_type, &size, &digits, &nullable);
      if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(name_length) >= name.size()) {
        name.resize(static_cast<std::size_t>(name_length) + 1);
        rc = SQLDescribeColW(statement, column, name.data(), static_cast<SQLSMALLINT>(name.size()),
                             &name_length, &sql_type, &size, &digits, &nullable);
      }
      Check(rc, SQL_HANDLE_STMT, statement, action);
      const std::size_t used = std::min(
          static_cast<std::size_t>(std::max<SQLSMALLINT>(name_length, 0)), name.size() - 1);
      const long long column_size =
          size > static_cast<SQLULEN>(INT32_MAX) ? 0 : static_cast<long long>(size);
      result.fields.push_back(
          odbc::DescribeColumn(Narrow(name.data(), used), sql_type, column_size, digits));
      if (sqlite) {
        // As the embedded backend describes it: by the declared type of the table's column,
        // else (an expression) by the driver's type of its value, without sizes.
        declared_types.push_back(column <= result_types.size() ? result_types[column - 1]
                                                               : sqlite::DeclaredType{});
        FieldInfo& field = result.fields.back();
        const sqlite::DeclaredType& type = declared_types.back();
        if (type.known) {
          field.type = type.type;
        } else if (field.type != FieldType::kInteger && field.type != FieldType::kDouble) {
          field.type = FieldType::kText;  // the embedded backend reads no other kind from a value
        }
        field.size = type.known ? type.size : 0;
        field.precision = type.known ? type.precision : 0;
        field.scale = type.known ? type.scale : 0;
      }
    }
    for (;;) {
      const SQLRETURN rc = SQLFetch(statement);
      if (rc == SQL_NO_DATA) break;
      Check(rc, SQL_HANDLE_STMT, statement, action);
      std::vector<Value> row;
      row.reserve(result.fields.size());
      for (std::size_t i = 0; i < result.fields.size(); ++i) {
        const auto column = static_cast<SQLUSMALLINT>(i + 1);
        row.push_back(
            sqlite ? ReadSqliteCell(statement, column, result.fields[i], declared_types[i], action)
                   : ReadCell(statement, column, result.fields[i], action));
      }
      result.rows.push_back(std::move(row));
    }
    return result;
  }

  // Walks every result of an executed statement, so that a batch or a procedure that prints,
  // counts and returns rows leaves nothing pending on the connection. Returns the first result
  // set that has columns when `keep_rows`; `affected` gets the count of the last statement
  // that reported one (trigger counts come before their statement's own).
  std::optional<ResultSet> Drain(SQLHSTMT statement, SQLRETURN rc, std::string_view action,
                                 bool keep_rows, std::int64_t* affected) {
    std::optional<ResultSet> first;
    for (;;) {
      if (rc == SQL_NO_DATA) {
        if (affected != nullptr) *affected = 0;  // a searched UPDATE or DELETE that matched none
      } else {
        SQLSMALLINT columns = 0;
        Check(SQLNumResultCols(statement, &columns), SQL_HANDLE_STMT, statement, action);
        if (columns > 0) {
          if (keep_rows && !first) first = ReadResultSet(statement, columns, action);
        } else if (affected != nullptr) {
          SQLLEN count = -1;
          Check(SQLRowCount(statement, &count), SQL_HANDLE_STMT, statement, action);
          if (count >= 0) *affected = count;
        }
      }
      rc = SQLMoreResults(statement);
      if (rc == SQL_NO_DATA) break;
      Check(rc, SQL_HANDLE_STMT, statement, action);
    }
    return first;
  }

  // The first result set of a catalog function already called on the direct statement.
  ResultSet CatalogRows(SQLRETURN rc, std::string_view action) {
    Check(rc, SQL_HANDLE_STMT, direct.get(), action);
    std::optional<ResultSet> rows = Drain(direct.get(), rc, action, true, nullptr);
    return rows ? std::move(*rows) : ResultSet{};
  }

  // The table's columns and primary key, read once from the server's metadata. Catalog rows
  // are filtered by exact name (SQLColumns takes a pattern, where "_" matches any character)
  // and, when the name exists in several schemas, dbo is preferred.
  const TableInfo& Table(const std::string& table) {
    const std::string key = Upper(table);
    if (auto found = tables.find(key); found != tables.end()) return found->second;
    if (sqlite) return SqliteTable(table);

    const std::string action = fmt::format("while reading the metadata of table {}", table);
    CheckUsable(action);
    std::vector<SQLWCHAR> name = Wide(table);
    auto pick_schema = [&](const ResultSet& rows) {
      std::optional<std::string> schema;
      for (const std::vector<Value>& row : rows.rows) {
        if (row.size() < 3 || !row[2].is_text() || Upper(row[2].as_text()) != key) continue;
        const std::string owner = row[1].is_text() ? row[1].as_text() : std::string();
        if (!schema || Upper(owner) == "DBO") schema = owner;
      }
      return schema;
    };
    auto in_schema = [&](const std::vector<Value>& row, const std::optional<std::string>& schema) {
      if (!schema || row.size() < 3 || !row[2].is_text() || Upper(row[2].as_text()) != key) {
        return false;
      }
      return (row[1].is_text() ? row[1].as_text() : std::string()) == *schema;
    };
    auto integer = [](const Value& value) {
      return value.kind() == ValueKind::kInteger ? value.as_integer() : 0;
    };

    TableInfo info;
    {
      CursorCloser closer(direct.get());
      const ResultSet rows =
          CatalogRows(SQLColumnsW(direct.get(), nullptr, 0, nullptr, 0, name.data(),
                                  WideLength<SQLSMALLINT>(name), nullptr, 0),
                      action);
      const std::optional<std::string> schema = pick_schema(rows);
      for (const std::vector<Value>& row : rows.rows) {
        // TABLE_CAT, TABLE_SCHEM, TABLE_NAME, COLUMN_NAME, DATA_TYPE, TYPE_NAME, COLUMN_SIZE,
        // BUFFER_LENGTH, DECIMAL_DIGITS, ...
        if (row.size() < 9 || !in_schema(row, schema) || !row[3].is_text()) continue;
        ColumnInfo column;
        column.sql_type = static_cast<SQLSMALLINT>(integer(row[4]));
        column.field = odbc::DescribeColumn(row[3].as_text(), column.sql_type, integer(row[6]),
                                            static_cast<int>(integer(row[8])));
        info.columns.emplace(Upper(row[3].as_text()), std::move(column));
      }
    }
    {
      CursorCloser closer(direct.get());
      const ResultSet rows =
          CatalogRows(SQLPrimaryKeysW(direct.get(), nullptr, 0, nullptr, 0, name.data(),
                                      WideLength<SQLSMALLINT>(name)),
                      action);
      const std::optional<std::string> schema = pick_schema(rows);
      // TABLE_CAT, TABLE_SCHEM, TABLE_NAME, COLUMN_NAME, KEY_SEQ, PK_NAME
      std::vector<std::pair<std::int64_t, std::string>> keys;
      for (const std::vector<Value>& row : rows.rows) {
        if (row.size() < 5 || !in_schema(row, schema) || !row[3].is_text()) continue;
        keys.emplace_back(integer(row[4]), row[3].as_text());
      }
      std::sort(keys.begin(), keys.end());
      for (auto& [sequence, column] : keys) info.keys.push_back(std::move(column));
    }
    return tables.emplace(key, std::move(info)).first->second;
  }

  PreparedWrite& Prepare(const std::string& cache_key, std::string sql, std::size_t parameters) {
    if (auto found = prepared.find(cache_key); found != prepared.end()) return *found->second;
    const std::string action = fmt::format("while preparing \"{}\"", sql);
    CheckUsable(action);
    SQLHANDLE raw = SQL_NULL_HANDLE;
    const SQLRETURN allocated = SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &raw);
    auto write = std::make_unique<PreparedWrite>();
    write->statement.reset(raw);
    if (!SQL_SUCCEEDED(allocated)) Fail(SQL_HANDLE_DBC, connection.get(), action);
    Check(PrepareText(write->statement.get(), sql), SQL_HANDLE_STMT, write->statement.get(),
          action);
    write->sql = std::move(sql);
    write->slots.resize(parameters);
    return *prepared.emplace(cache_key, std::move(write)).first->second;
  }

  void SetParameter(PreparedWrite& write, std::size_t index, const Value& value,
                    const ColumnInfo* column, std::string_view action) {
    ParamSlot& slot = write.slots[index];
    const EncodedParam param = sqlite ? EncodeForSqlite(value) : Encode(value, column);
    if (param.null && slot.bound) {
      slot.indicator = SQL_NULL_DATA;  // any binding carries a NULL
      return;
    }
    if (!slot.bound || !(slot.binding == param.binding) ||
        param.bytes.size() > slot.buffer.size()) {
      std::size_t capacity = std::max<std::size_t>(param.bytes.size(), kDecimalTextBytes);
      if (param.binding.c_type == SQL_C_WCHAR) {
        capacity = std::max<std::size_t>(capacity, param.binding.size * sizeof(SQLWCHAR));
      }
      slot.bound = false;
      slot.buffer.assign(capacity, 0);
      Check(SQLBindParameter(write.statement.get(), static_cast<SQLUSMALLINT>(index + 1),
                             SQL_PARAM_INPUT, param.binding.c_type, param.binding.sql_type,
                             param.binding.size, param.binding.digits, slot.buffer.data(),
                             static_cast<SQLLEN>(slot.buffer.size()), &slot.indicator),
            SQL_HANDLE_STMT, write.statement.get(), action);
      slot.binding = param.binding;
      slot.bound = true;
    }
    if (!param.bytes.empty())
      std::memcpy(slot.buffer.data(), param.bytes.data(), param.bytes.size());
    slot.indicator = param.null ? SQL_NULL_DATA : static_cast<SQLLEN>(param.bytes.size());
  }

  // Binds the values (converted for their columns) and executes; the caller drains the results.
  SQLRETURN Execute(PreparedWrite& write, const std::string& table,
                    const std::vector<std::string>& columns, const std::vector<Value>& values,
                    const TableInfo& info, std::string_view action) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      auto found = info.columns.find(Upper(columns[i]));
      const ColumnInfo* column = found == info.columns.end() ? nullptr : &found->second;
      Value converted;
      try {
        if (sqlite) {
          // As the embedded backend stores it, with SQL Server's checks (DataError).
          if (column == nullptr) {
            throw DataError(fmt::format("table '{}' has no column '{}'", table, columns[i]));
          }
          converted = sqlite::ValueForColumn(table, columns[i], column->declared, values[i]);
        } else {
          converted = CoerceToColumn(values[i], column);
        }
      } catch (const ConversionError& error) {
        throw DataError(fmt::format("{}: {} cannot be written into column {} of {}: {}", action,
                                    values[i].Describe(), columns[i], table, error.what()),
                        ConversionError::kNumber);
      }
      SetParameter(write, i, converted, column, action);
    }
    const SQLRETURN rc = SQLExecute(write.statement.get());
    Check(rc, SQL_HANDLE_STMT, write.statement.get(), action);
    return rc;
  }

  // Runs a statement prepared once under `cache_key`, with `values` bound in order as they
  // are (no column to convert them for); returns its first result set.
  std::optional<ResultSet> Call(const std::string& cache_key, std::string sql,
                                const std::vector<Value>& values, std::string_view action) {
    PreparedWrite& call = Prepare(cache_key, std::move(sql), values.size());
    CursorCloser closer(call.statement.get());
    for (std::size_t i = 0; i < values.size(); ++i) {
      SetParameter(call, i, values[i], nullptr, action);
    }
    const SQLRETURN rc = SQLExecute(call.statement.get());
    Check(rc, SQL_HANDLE_STMT, call.statement.get(), action);
    return Drain(call.statement.get(), rc, action, true, nullptr);
  }

  std::string GetInfoText(SQLUSMALLINT info, std::string_view action) {
    CheckUsable(action);
    std::vector<SQLWCHAR> text(256);
    SQLSMALLINT bytes = 0;
    SQLRETURN rc = SQLGetInfoW(connection.get(), info, text.data(),
                               static_cast<SQLSMALLINT>(text.size() * sizeof(SQLWCHAR)), &bytes);
    if (SQL_SUCCEEDED(rc) &&
        static_cast<std::size_t>(bytes) >= (text.size() - 1) * sizeof(SQLWCHAR)) {
      text.resize(static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR) + 1);
      rc = SQLGetInfoW(connection.get(), info, text.data(),
                       static_cast<SQLSMALLINT>(text.size() * sizeof(SQLWCHAR)), &bytes);
    }
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, connection.get(), action);
    const std::size_t used =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(bytes, 0)) / sizeof(SQLWCHAR),
                 text.size() - 1);
    return Narrow(text.data(), used);
  }

  // --- SQLite's driver ---------------------------------------------------------------------

  SQLRETURN PrepareText(SQLHSTMT statement, const std::string& sql) {
    if (sqlite) {
      std::string text = sql;
      return SQLPrepare(statement, reinterpret_cast<SQLCHAR*>(text.data()),
                        static_cast<SQLINTEGER>(text.size()));
    }
    std::vector<SQLWCHAR> text = Wide(sql);
    return SQLPrepareW(statement, text.data(), WideLength<SQLINTEGER>(text));
  }

  // Connected: when the driver is SQLite's, the statements go through the bridge from now on.
  void SetUpDialect(const std::string& connection_string, std::string_view action) {
    if (GetInfoText(SQL_DBMS_NAME, action) != "SQLite") return;
    sqlite = true;
    translator = std::make_unique<bridge::Translator>();
    const std::filesystem::path erp_file(
        odbc::ConnectionStringValue(connection_string, "Database").value_or(std::string()));
    sqlite_folder = erp_file.parent_path();
    locks.emplace(erp_file);
    // Transaction statements pass through to SQLite only while the driver's autocommit is on
    // (see the top of this file); it is on unless someone turned it off.
    SQLRETURN rc = SQLSetConnectAttr(connection.get(), SQL_ATTR_AUTOCOMMIT,
                                     IntegerAttribute(SQL_AUTOCOMMIT_ON), 0);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, connection.get(), action);
    SQLHANDLE raw = SQL_NULL_HANDLE;
    rc = SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &raw);
    meta.reset(raw);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, connection.get(), action);
    try {
      RunSqlite(std::string("SELECT 1 WHERE 'a' = 'A' COLLATE ") + bridge::kCollation, {}, action,
                true, nullptr);
    } catch (const DataError& error) {
      throw DataError(fmt::format(
          "{}: SQLite's driver has not loaded the extension that compares text as the ERP "
          "does: name it with LoadExt={} ({})",
          action, SqliteExtensionFile(), error.what()));
    }
    RunSqlite("PRAGMA temp_store=MEMORY", {}, action, false, nullptr);
    std::optional<ResultSet> version =
        RunSqlite("SELECT sqlite_version()", {}, action, true, nullptr);
    if (version && !version->rows.empty() && version->rows.front().front().is_text()) {
      sqlite_version = version->rows.front().front().as_text();
    }
  }

  // Runs one SQLite statement with the bridge's parameters on the direct statement; with
  // `keep_rows`, returns its rows.
  std::optional<ResultSet> RunSqlite(const std::string& sql, const std::vector<Value>& parameters,
                                     std::string_view action, bool keep_rows,
                                     std::int64_t* affected) {
    CheckUsable(action);
    result_types.clear();
    if (keep_rows && translator) {
      for (const std::string& type : ResultDeclaredTypes(sql)) {
        result_types.push_back(sqlite::ParseDeclaredType(type));
      }
    }
    odbc::PositionalSql positional = odbc::ToPositionalMarkers(sql);
    SQLHSTMT statement = direct.get();
    CursorCloser closer(statement);
    struct Unbinder {
      SQLHSTMT statement;
      ~Unbinder() { SQLFreeStmt(statement, SQL_RESET_PARAMS); }
    } unbinder{statement};
    direct_slots.assign(positional.numbers.size(), ParamSlot{});
    for (std::size_t i = 0; i < positional.numbers.size(); ++i) {
      const std::size_t number = positional.numbers[i];
      if (number == 0 || number > parameters.size()) {
        throw DataError(fmt::format("{}: parameter {} has no value", action, number));
      }
      const EncodedParam param = EncodeForSqlite(parameters[number - 1]);
      ParamSlot& slot = direct_slots[i];
      slot.buffer.assign(std::max<std::size_t>(param.bytes.size(), 1), 0);
      if (!param.bytes.empty())
        std::memcpy(slot.buffer.data(), param.bytes.data(), param.bytes.size());
      slot.indicator = param.null ? SQL_NULL_DATA : static_cast<SQLLEN>(param.bytes.size());
      Check(SQLBindParameter(statement, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                             param.binding.c_type, param.binding.sql_type, param.binding.size,
                             param.binding.digits, slot.buffer.data(),
                             static_cast<SQLLEN>(slot.buffer.size()), &slot.indicator),
            SQL_HANDLE_STMT, statement, action);
    }
    const SQLRETURN rc =
        SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(positional.text.data()),
                      static_cast<SQLINTEGER>(positional.text.size()));
    Check(rc, SQL_HANDLE_STMT, statement, action);
    return Drain(statement, rc, action, keep_rows, affected);
  }

  std::string ColumnAttribute(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLCHAR text[512] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            SQLColAttribute(statement, column, field, text, sizeof text, &length, nullptr))) {
      return std::string();
    }
    return reinterpret_cast<const char*>(text);
  }

  // The columns of a table as its DDL declared them, read once per table (database "" for
  // SQLite's search: temporary tables, the ERP file, then the attached ones).
  const std::vector<DeclaredColumn>& DeclaredColumns(const std::string& database,
                                                     const std::string& table) {
    const std::string key = FoldCase(database + "\n" + table);
    if (auto found = declared.find(key); found != declared.end()) return found->second;
    const std::string sql =
        fmt::format("PRAGMA {}table_info({})", database.empty() ? "" : SqliteName(database) + ".",
                    SqliteName(table));
    const std::string action = fmt::format("while reading the columns of table {}", table);
    SQLHSTMT statement = meta.get();
    CursorCloser closer(statement);
    std::string text = sql;
    const SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()),
                                       static_cast<SQLINTEGER>(text.size()));
    Check(rc, SQL_HANDLE_STMT, statement, action);
    std::vector<DeclaredColumn> columns;
    // cid, name, type, notnull, dflt_value, pk
    auto cell = [&](SQLUSMALLINT column) {
      std::string value;
      ReadLong(statement, column, SQL_C_CHAR, &value, action);
      return value;
    };
    while (SQL_SUCCEEDED(SQLFetch(statement))) {
      DeclaredColumn column;
      column.name = cell(2);
      column.declared = cell(3);
      column.type = sqlite::ParseDeclaredType(column.declared);
      column.key = std::atoi(cell(6).c_str());
      columns.push_back(std::move(column));
    }
    // A table that is not there yet (another connection may create it) is asked again.
    if (columns.empty()) {
      static const std::vector<DeclaredColumn> kNone;
      return kNone;
    }
    return declared.emplace(key, std::move(columns)).first->second;
  }

  // The declared types of a SQLite statement's result columns ("" for an expression), as the
  // extension's zodadovez_decltypes reads them: SQLite's driver reports decimals without their
  // scale and aliased columns without the column they come from.
  const std::vector<std::string>& ResultDeclaredTypes(const std::string& sql) {
    if (auto found = result_declared.find(sql); found != result_declared.end())
      return found->second;
    const std::string action = fmt::format("while reading the column types of \"{}\"", sql);
    SQLHSTMT statement = meta.get();
    CursorCloser closer(statement);
    struct Unbinder {
      SQLHSTMT statement;
      ~Unbinder() { SQLFreeStmt(statement, SQL_RESET_PARAMS); }
    } unbinder{statement};
    std::string text = sql;
    SQLLEN length = static_cast<SQLLEN>(text.size());
    Check(SQLBindParameter(statement, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
                           std::max<SQLULEN>(text.size(), 1), 0, text.data(), length, &length),
          SQL_HANDLE_STMT, statement, action);
    std::string query = "SELECT zodadovez_decltypes(?)";
    const SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(query.data()),
                                       static_cast<SQLINTEGER>(query.size()));
    Check(rc, SQL_HANDLE_STMT, statement, action);
    std::vector<std::string> types;
    if (SQL_SUCCEEDED(SQLFetch(statement))) {
      std::string lines;
      ReadLong(statement, 1, SQL_C_CHAR, &lines, action);
      std::size_t start_at = 0;
      for (std::size_t end_at; (end_at = lines.find('\n', start_at)) != std::string::npos;
           start_at = end_at + 1) {
        types.push_back(lines.substr(start_at, end_at - start_at));
      }
    }
    if (result_declared.size() >= 512) result_declared.clear();
    return result_declared.emplace(sql, std::move(types)).first->second;
  }

  // A value read as the embedded backend reads it from the same file.
  Value ReadSqliteCell(SQLHSTMT statement, SQLUSMALLINT column, const FieldInfo& field,
                       const sqlite::DeclaredType& type, std::string_view action) {
    const bool as_text = field.type == FieldType::kText || field.type == FieldType::kDecimal ||
                         field.type == FieldType::kDate;
    if (!as_text) return ReadCell(statement, column, field, action);
    std::string text;
    if (!ReadLong(statement, column, SQL_C_CHAR, &text, action)) return Value(Null{});
    if (field.type == FieldType::kDecimal) return sqlite::DecimalFromText(type, std::move(text));
    if (field.type == FieldType::kDate) {
      DateTime date;
      if (TryParseIsoDate(text, &date)) return Value(date);
      return Value(std::move(text));
    }
    return Value(sqlite::PadFixedLength(type, std::move(text)));
  }

  const TableInfo& SqliteTable(const std::string& table) {
    const std::vector<DeclaredColumn>& columns = DeclaredColumns("", table);
    if (columns.empty()) {
      throw DataError(fmt::format("while writing a row of {}: no table named '{}'", table, table));
    }
    TableInfo info;
    std::vector<std::pair<int, const DeclaredColumn*>> keys;
    for (const DeclaredColumn& c : columns) {
      ColumnInfo column;
      column.field = {c.name, c.type.type, c.type.size, c.type.precision, c.type.scale};
      column.declared = c.type;
      info.columns.emplace(Upper(c.name), std::move(column));
      if (c.key > 0) keys.emplace_back(c.key, &c);
    }
    std::sort(keys.begin(), keys.end());
    for (const auto& [position, c] : keys) info.keys.push_back(c->name);
    // Only an INTEGER PRIMARY KEY is the rowid, which SQLite numbers as an identity.
    info.has_identity =
        keys.size() == 1 && sqlite::AsciiLower(keys.front().second->declared) == "integer";
    return tables.emplace(Upper(table), std::move(info)).first->second;
  }

  void ForgetTables() {
    tables.clear();
    declared.clear();
    result_declared.clear();
  }

  void Attach(const bridge::Attachment& a, std::string_view sql, std::string_view action) {
    const std::string key = FoldCase(a.alias);
    if (attached.count(key) != 0) return;
    const std::string uri =
        sqlite::AttachmentUri(sqlite_folder, a, sql, gyms, transactions.count() > 0);
    RunSqlite(fmt::format("ATTACH DATABASE {} AS {}", SqlQuote(uri), SqliteName(a.alias)), {},
              action, false, nullptr);
    attached.insert(key);
  }

  // SELECT ... INTO #T: the temporary table is created with the declared types of the
  // SELECT's columns and the ERP's collation on its texts (CREATE TABLE AS would lose both).
  void SelectInto(const bridge::Translation& t, std::string_view action) {
    struct Column {
      std::string name;
      std::string declared;
      sqlite::DeclaredType type;
    };
    std::vector<Column> columns;
    const std::vector<std::string>& declared_types = ResultDeclaredTypes(t.select_sql);
    {
      SQLHSTMT statement = direct.get();
      CursorCloser closer(statement);
      Check(PrepareText(statement, odbc::ToPositionalMarkers(t.select_sql).text), SQL_HANDLE_STMT,
            statement, action);
      SQLSMALLINT count = 0;
      Check(SQLNumResultCols(statement, &count), SQL_HANDLE_STMT, statement, action);
      for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
        Column column;
        column.name = ColumnAttribute(statement, c, SQL_DESC_NAME);
        if (c <= declared_types.size()) column.declared = declared_types[c - 1];
        column.type = sqlite::ParseDeclaredType(column.declared);
        columns.push_back(std::move(column));
      }
    }
    std::string ddl = fmt::format("CREATE TABLE {} (", t.temp_table);
    for (std::size_t i = 0; i < columns.size(); ++i) {
      ddl += fmt::format("{}{}", i == 0 ? "" : ", ", SqliteName(columns[i].name));
      if (!columns[i].declared.empty()) ddl += " " + columns[i].declared;
      if (!columns[i].type.known || columns[i].type.type == FieldType::kText) {
        ddl += fmt::format(" COLLATE {}", bridge::kCollation);
      }
    }
    ddl += ")";
    RunSqlite(ddl, {}, action, false, nullptr);
    RunSqlite(fmt::format("INSERT INTO {} {}", t.temp_table, t.select_sql), t.parameters, action,
              false, nullptr);
  }

  // BEGIN, COMMIT, ROLLBACK and SAVE TRANSACTION, as SQLite statements sent as text: the
  // driver passes them on to SQLite while its autocommit is on (see the top of this file).
  void Transact(const bridge::TransactionControl& control, std::string_view sql,
                std::string_view action) {
    auto run = [&](const std::string& native) { RunSqlite(native, {}, action, false, nullptr); };
    // A table created or altered inside work that was undone may be gone.
    if (transactions.Apply(control, sql, run)) ForgetTables();
  }

  // After a failure inside a transaction: SQLite may have ended the transaction itself (a full
  // disk, an I/O error), and the count must follow. Asked on a statement of its own, so that
  // the failed one's state stays as it is; when even the question fails, the count stands.
  void FollowEndedTransaction() {
    if (transactions.count() == 0 || lost) return;
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &raw))) return;
    StatementHandle statement(raw);
    std::string query = "SELECT zodadovez_autocommit()";
    SQLINTEGER autocommit = 0;
    SQLLEN indicator = 0;
    if (SQL_SUCCEEDED(SQLExecDirect(statement.get(), reinterpret_cast<SQLCHAR*>(query.data()),
                                    static_cast<SQLINTEGER>(query.size()))) &&
        SQL_SUCCEEDED(SQLFetch(statement.get())) &&
        SQL_SUCCEEDED(SQLGetData(statement.get(), 1, SQL_C_SLONG, &autocommit, sizeof autocommit,
                                 &indicator)) &&
        transactions.AfterFailure(autocommit != 0)) {
      ForgetTables();
    }
  }

  Recordset CallProcedure(Database& self, const bridge::ProcedureCall& call, std::string_view sql) {
    auto found = procedures.find(FoldCase(call.name));
    if (found == procedures.end()) {
      throw DataError(fmt::format("while executing \"{}\": Could not find stored procedure '{}'.",
                                  sql, call.name));
    }
    return found->second(self, call);
  }

  std::int64_t SqliteExecute(Database& self, std::string_view sql) {
    const std::string action = fmt::format("while executing \"{}\"", sql);
    const bridge::Translation t = translator->Translate(sql);
    for (const bridge::Attachment& a : t.attachments) Attach(a, sql, action);
    switch (t.kind) {
      case bridge::Translation::Kind::kStatements: {
        std::int64_t changed = 0;
        for (const std::string& statement : t.statements) {
          std::int64_t count = 0;
          RunSqlite(statement, t.parameters, action, false, &count);
          changed += count;
        }
        if (sqlite::IsDefinition(t.statements.front())) ForgetTables();
        return changed;
      }
      case bridge::Translation::Kind::kSelectInto:
        SelectInto(t, action);
        ForgetTables();
        return 0;
      case bridge::Translation::Kind::kProcedure:
        CallProcedure(self, t.procedure, sql);
        return 0;
      case bridge::Translation::Kind::kTransaction:
        Transact(t.transaction, sql, action);
        return 0;
      case bridge::Translation::Kind::kNothing:
        return 0;
    }
    return 0;
  }

  Recordset SqliteOpen(Database& self, std::string_view sql) {
    const bridge::Translation t = translator->Translate(sql);
    if (t.kind == bridge::Translation::Kind::kProcedure)
      return CallProcedure(self, t.procedure, sql);
    if (t.kind != bridge::Translation::Kind::kStatements || t.statements.empty()) {
      SqliteExecute(self, sql);
      return Recordset();
    }
    const std::string action = fmt::format("while executing \"{}\"", sql);
    for (const bridge::Attachment& a : t.attachments) Attach(a, sql, action);
    for (std::size_t i = 0; i + 1 < t.statements.size(); ++i) {
      RunSqlite(t.statements[i], t.parameters, action, false, nullptr);
    }
    std::optional<ResultSet> rows =
        RunSqlite(t.statements.back(), t.parameters, action, true, nullptr);
    if (sqlite::IsDefinition(t.statements.front())) ForgetTables();
    if (!rows) return Recordset();
    return Recordset(std::move(rows->fields), std::move(rows->rows));
  }
};

OdbcDatabase::OdbcDatabase(const std::string& connection_string, odbc::ConnectOptions options,
                           GymAccess gyms)
    : impl_(std::make_unique<Impl>()) {
  Impl& impl = *impl_;
  impl.options = std::move(options);
  impl.gyms = gyms;
  impl.server = odbc::DescribeServer(connection_string);
  impl.passwords = odbc::Passwords(connection_string);
  const std::string action = fmt::format("cannot connect to {} with \"{}\"", impl.server,
                                         odbc::MaskPassword(connection_string));
  const bool sqlite_driver = odbc::NamesSqliteDriver(connection_string);
  const std::string connect_with =
      sqlite_driver ? ForSqliteDriver(connection_string) : connection_string;

  SQLHANDLE raw = SQL_NULL_HANDLE;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw);
  impl.environment.reset(raw);
  if (!SQL_SUCCEEDED(rc)) {
    throw DataError(action + ": the ODBC driver manager could not allocate an environment");
  }
  rc = SQLSetEnvAttr(impl.environment.get(), SQL_ATTR_ODBC_VERSION, IntegerAttribute(SQL_OV_ODBC3),
                     0);
  if (!SQL_SUCCEEDED(rc)) impl.Fail(SQL_HANDLE_ENV, impl.environment.get(), action);

  const int attempts = std::max(impl.options.connect.attempts, 1);
  for (int attempt = 1;; ++attempt) {
    std::vector<odbc::Diagnostic> records;
    if (impl.TryConnect(connect_with, sqlite_driver, action, &records)) break;
    if (attempt >= attempts || !odbc::IsTransientConnectFailure(records)) {
      // Not Fail(): a refused login is not a lost connection, whatever state the driver gives.
      const std::string tries = attempt > 1 ? fmt::format(" ({} tries)", attempt) : "";
      throw DataError(fmt::format("{}{}: {}", action, tries,
                                  odbc::Scrub(odbc::FormatDiagnostics(records), impl.passwords)));
    }
    impl.Pause(impl.options.connect.DelayAfter(attempt));
  }

  raw = SQL_NULL_HANDLE;
  rc = SQLAllocHandle(SQL_HANDLE_STMT, impl.connection.get(), &raw);
  impl.direct.reset(raw);
  if (!SQL_SUCCEEDED(rc)) impl.Fail(SQL_HANDLE_DBC, impl.connection.get(), action);
  impl.SetUpDialect(connect_with, action);
}

void OdbcDatabase::RegisterProcedure(const std::string& name, sqlite::StandInProcedure procedure) {
  impl_->procedures[FoldCase(name)] = std::move(procedure);
}

bool OdbcDatabase::is_sqlite() const { return impl_->sqlite; }

std::vector<std::string> OdbcDatabase::PrimaryKey(const std::string& table) {
  return impl_->Table(table).keys;
}

OdbcDatabase::~OdbcDatabase() = default;

std::int64_t OdbcDatabase::execute(std::string_view sql) {
  const std::string action = fmt::format("while executing \"{}\"", sql);
  std::int64_t affected = 0;
  try {
    if (impl_->sqlite) {
      affected = impl_->SqliteExecute(*this, sql);
    } else {
      impl_->Run(sql, action, false, &affected);
    }
  } catch (const OdbcError&) {
    impl_->ResyncTransactionDepth();
    throw;
  }
  impl_->transaction_depth = impl_->sqlite
                                 ? impl_->transactions.count()
                                 : odbc::TransactionDepthAfter(sql, impl_->transaction_depth);
  return affected;
}

Recordset OdbcDatabase::open(std::string_view sql) {
  if (impl_->sqlite) {
    Recordset rows = impl_->SqliteOpen(*this, sql);
    impl_->transaction_depth = impl_->transactions.count();
    return rows;
  }
  const std::string action = fmt::format("while executing \"{}\"", sql);
  const bool read = odbc::IsRetryableRead(sql);
  std::optional<ResultSet> rows;
  for (int attempt = 1;; ++attempt) {
    try {
      rows = impl_->Run(sql, action, true, nullptr);
      break;
    } catch (const OdbcError& error) {
      if (!impl_->MayRetryRead(read, attempt, error)) {
        if (!read) impl_->ResyncTransactionDepth();
        if (attempt == 1) throw;
        throw DataError(fmt::format("{} ({} tries)", error.what(), attempt));
      }
    }
    impl_->Pause(impl_->options.reads.DelayAfter(attempt));
  }
  if (!read) impl_->transaction_depth = odbc::TransactionDepthAfter(sql, impl_->transaction_depth);
  // A statement that returns no rows opens no recordset, as with the platform's recordsets.
  if (!rows) return Recordset();
  return Recordset(std::move(rows->fields), std::move(rows->rows));
}

std::string OdbcDatabase::server_name() {
  // FreeTDS answers with the Server= of the connection string as written; SQL Server's own
  // drivers with the server's @@SERVERNAME. SQLite's driver names the file: the connection
  // reports the embedded backend's name instead, so that the same configurations serve.
  if (impl_->sqlite) return std::string(sqlite::kServerName);
  return impl_->GetInfoText(SQL_SERVER_NAME, "while reading the server name");
}

std::string OdbcDatabase::dbms_version() {
  // "##.##.####": the major version comes first, as the module reads it. SQLite's driver
  // reports SQLite's version, which the module would take for a SQL Server 3.
  if (impl_->sqlite) return sqlite::DbmsVersion(impl_->sqlite_version);
  return impl_->GetInfoText(SQL_DBMS_VER, "while reading the DBMS version");
}

std::string OdbcDatabase::date_text(DateTime value) const {
  // SQLite files hold dates as the embedded backend's text, which compares as text.
  return impl_->sqlite ? FormatIsoDate(value) : odbc::SqlServerDateText(value);
}

std::optional<std::int64_t> OdbcDatabase::insert_row(const RowWrite& write) {
  if (write.columns.size() != write.values.size()) {
    throw DataError(fmt::format("cannot insert into {}: {} columns but {} values", write.table,
                                write.columns.size(), write.values.size()));
  }
  const TableInfo& info = impl_->Table(write.table);
  std::string cache_key = "I\n" + Upper(write.table);
  for (const std::string& column : write.columns) cache_key += "\n" + column;
  PreparedWrite& prepared =
      impl_->Prepare(cache_key,
                     odbc::InsertStatement(write.table, write.columns) +
                         std::string(impl_->sqlite ? "" : odbc::kReadIdentity),
                     write.columns.size());
  const std::string action = fmt::format("while executing \"{}\" with ({})", prepared.sql,
                                         DescribeParameters(write.values));
  CursorCloser closer(prepared.statement.get());
  const SQLRETURN rc =
      impl_->Execute(prepared, write.table, write.columns, write.values, info, action);
  std::optional<ResultSet> identity =
      impl_->Drain(prepared.statement.get(), rc, action, true, nullptr);
  if (impl_->sqlite) {
    // The rowid of an INTEGER PRIMARY KEY, asked on the same connection right after.
    if (!info.has_identity) return std::nullopt;
    identity = impl_->RunSqlite("SELECT last_insert_rowid()", {}, action, true, nullptr);
  }
  if (!identity || identity->rows.empty() || identity->rows.front().empty()) return std::nullopt;
  const Value& value = identity->rows.front().front();
  if (value.kind() != ValueKind::kInteger) return std::nullopt;  // NULL: no identity column
  return value.as_integer();
}

std::int64_t OdbcDatabase::update_row(const RowWrite& write) {
  if (write.columns.size() != write.values.size()) {
    throw DataError(fmt::format("cannot update {}: {} columns but {} values", write.table,
                                write.columns.size(), write.values.size()));
  }
  if (write.columns.empty()) return 0;  // nothing changed: nothing to send
  const TableInfo& info = impl_->Table(write.table);
  if (info.keys.empty()) {
    throw DataError(fmt::format(
        "cannot update a row of {}: the server reports no primary key for it", write.table));
  }

  std::vector<std::string> columns = write.columns;
  std::vector<Value> values = write.values;
  for (const std::string& key : info.keys) {
    const auto field = std::find_if(
        write.original_fields.begin(), write.original_fields.end(),
        [&](const FieldInfo& candidate) { return Upper(candidate.name) == Upper(key); });
    const auto index = static_cast<std::size_t>(field - write.original_fields.begin());
    if (field == write.original_fields.end() || index >= write.original_values.size()) {
      throw DataError(
          fmt::format("cannot update a row of {}: the row as read has no value for key column {}",
                      write.table, key));
    }
    columns.push_back(key);
    values.push_back(write.original_values[index]);
  }

  std::string cache_key = "U\n" + Upper(write.table);
  for (const std::string& column : write.columns) cache_key += "\n" + column;
  PreparedWrite& prepared = impl_->Prepare(
      cache_key, odbc::UpdateStatement(write.table, write.columns, info.keys), columns.size());
  const std::string action =
      fmt::format("while executing \"{}\" with ({})", prepared.sql, DescribeParameters(values));
  CursorCloser closer(prepared.statement.get());
  const SQLRETURN rc = impl_->Execute(prepared, write.table, columns, values, info, action);
  std::int64_t affected = 0;
  impl_->Drain(prepared.statement.get(), rc, action, false, &affected);
  return affected;
}

bool OdbcDatabase::AcquireLock(std::string_view resource, std::chrono::milliseconds wait) {
  if (impl_->locks) return impl_->locks->Acquire(resource, wait);
  const std::string action = fmt::format("while taking the application lock '{}'", resource);
  if (resource.empty() || resource.size() > 255) {
    throw DataError(action + ": a lock's name has 1 to 255 characters");
  }
  // sp_getapplock takes the wait in milliseconds as an int; -1 would wait for ever.
  const auto milliseconds = static_cast<std::int64_t>(
      std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INT32_MAX));
  // The procedure answers through its return code: 0 granted at once, 1 granted after waiting,
  // -1 timed out, -2 cancelled, -3 chosen as deadlock victim while waiting, -999 a bad
  // parameter or call. A lock owned by the session stays through any transaction, is taken
  // again by the same session (and then released as often), and ends with the session.
  std::optional<ResultSet> rows =
      impl_->Call("L\nacquire",
                  "DECLARE @result int; EXEC @result = sp_getapplock @Resource = ?, @LockMode = "
                  "'Exclusive', @LockOwner = 'Session', @LockTimeout = ?; SELECT @result AS result",
                  {Value(std::string(resource)), Value(milliseconds)}, action);
  if (!rows || rows->rows.empty() || rows->rows.front().empty() ||
      rows->rows.front().front().kind() != ValueKind::kInteger) {
    throw DataError(action + ": sp_getapplock gave no return code");
  }
  const std::int64_t result = rows->rows.front().front().as_integer();
  if (result >= 0) return true;
  // Another session holds it: it did not let go in time, or the wait ended in a deadlock with it.
  if (result == -1 || result == -3) return false;
  throw DataError(fmt::format("{}: sp_getapplock returned {}", action, result));
}

void OdbcDatabase::ReleaseLock(std::string_view resource) {
  if (impl_->locks) {
    impl_->locks->Release(resource);
    return;
  }
  const std::string action = fmt::format("while releasing the application lock '{}'", resource);
  try {
    // sp_releaseapplock raises an error for a lock the session does not hold: asked first.
    impl_->Call("L\nrelease",
                "DECLARE @resource nvarchar(255) = ?; IF APPLOCK_MODE('public', @resource, "
                "'Session') <> 'NoLock' EXEC sp_releaseapplock @Resource = @resource, "
                "@LockOwner = 'Session'",
                {Value(std::string(resource))}, action);
  } catch (const DataError&) {
    // The session keeps the lock until it ends: a lost connection has already ended it.
  }
}

}  // namespace zodadovez
