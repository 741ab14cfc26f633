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
#include "host/data/odbc/odbc_database.h"

#include <fmt/format.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "host/data/odbc/odbc_text.h"
#include "module/common/errors.h"

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
};

struct TableInfo {
  std::map<std::string, ColumnInfo> columns;  // by upper-case name
  std::vector<std::string> keys;              // primary key columns in key order
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

  [[noreturn]] void Fail(SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view action) {
    const std::vector<odbc::Diagnostic> records = ReadDiagnostics(handle_type, handle);
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
  bool TryConnect(const std::string& connection_string, std::string_view action,
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
    std::vector<SQLWCHAR> text = Wide(connection_string);
    rc = SQLDriverConnectW(connection.get(), nullptr, text.data(), WideLength<SQLSMALLINT>(text),
                           nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    // The text held the password: do not leave it in memory longer than needed.
    std::fill(text.begin(), text.end(), SQLWCHAR{0});
    if (SQL_SUCCEEDED(rc)) return true;
    *records = ReadDiagnostics(SQL_HANDLE_DBC, connection.get());
    connection.reset();
    return false;
  }

  // @@TRANCOUNT as the server counts it, after a statement failed: the failure may have ended
  // the transaction (a deadlock, a severe error) or left one open (a batch that failed after
  // its BEGIN TRANSACTION). Kept as it was when the question itself fails.
  void ResyncTransactionDepth() {
    if (lost) return;
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
    const std::size_t terminator = c_type == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
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
    }
    for (;;) {
      const SQLRETURN rc = SQLFetch(statement);
      if (rc == SQL_NO_DATA) break;
      Check(rc, SQL_HANDLE_STMT, statement, action);
      std::vector<Value> row;
      row.reserve(result.fields.size());
      for (std::size_t i = 0; i < result.fields.size(); ++i) {
        row.push_back(
            ReadCell(statement, static_cast<SQLUSMALLINT>(i + 1), result.fields[i], action));
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
    std::vector<SQLWCHAR> text = Wide(sql);
    Check(SQLPrepareW(write->statement.get(), text.data(), WideLength<SQLINTEGER>(text)),
          SQL_HANDLE_STMT, write->statement.get(), action);
    write->sql = std::move(sql);
    write->slots.resize(parameters);
    return *prepared.emplace(cache_key, std::move(write)).first->second;
  }

  void SetParameter(PreparedWrite& write, std::size_t index, const Value& value,
                    const ColumnInfo* column, std::string_view action) {
    ParamSlot& slot = write.slots[index];
    const EncodedParam param = Encode(value, column);
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
        converted = CoerceToColumn(values[i], column);
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
};

OdbcDatabase::OdbcDatabase(const std::string& connection_string, odbc::ConnectOptions options)
    : impl_(std::make_unique<Impl>()) {
  Impl& impl = *impl_;
  impl.options = std::move(options);
  impl.server = odbc::DescribeServer(connection_string);
  impl.passwords = odbc::Passwords(connection_string);
  const std::string action = fmt::format("cannot connect to {} with \"{}\"", impl.server,
                                         odbc::MaskPassword(connection_string));

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
    if (impl.TryConnect(connection_string, action, &records)) break;
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
}

OdbcDatabase::~OdbcDatabase() = default;

std::int64_t OdbcDatabase::execute(std::string_view sql) {
  const std::string action = fmt::format("while executing \"{}\"", sql);
  std::int64_t affected = 0;
  try {
    impl_->Run(sql, action, false, &affected);
  } catch (const OdbcError&) {
    impl_->ResyncTransactionDepth();
    throw;
  }
  impl_->transaction_depth = odbc::TransactionDepthAfter(sql, impl_->transaction_depth);
  return affected;
}

Recordset OdbcDatabase::open(std::string_view sql) {
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
  // drivers with the server's @@SERVERNAME.
  return impl_->GetInfoText(SQL_SERVER_NAME, "while reading the server name");
}

std::string OdbcDatabase::dbms_version() {
  // "##.##.####": the major version comes first, as the module reads it.
  return impl_->GetInfoText(SQL_DBMS_VER, "while reading the DBMS version");
}

std::string OdbcDatabase::date_text(DateTime value) const { return odbc::SqlServerDateText(value); }

std::optional<std::int64_t> OdbcDatabase::insert_row(const RowWrite& write) {
  if (write.columns.size() != write.values.size()) {
    throw DataError(fmt::format("cannot insert into {}: {} columns but {} values", write.table,
                                write.columns.size(), write.values.size()));
  }
  const TableInfo& info = impl_->Table(write.table);
  std::string cache_key = "I\n" + Upper(write.table);
  for (const std::string& column : write.columns) cache_key += "\n" + column;
  PreparedWrite& prepared = impl_->Prepare(
      cache_key,
      odbc::InsertStatement(write.table, write.columns) + std::string(odbc::kReadIdentity),
      write.columns.size());
  const std::string action = fmt::format("while executing \"{}\" with ({})", prepared.sql,
                                         DescribeParameters(write.values));
  CursorCloser closer(prepared.statement.get());
  const SQLRETURN rc =
      impl_->Execute(prepared, write.table, write.columns, write.values, info, action);
  std::optional<ResultSet> identity =
      impl_->Drain(prepared.statement.get(), rc, action, true, nullptr);
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
