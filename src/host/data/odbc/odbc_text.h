// The parts of the SQL Server backend that need no server: connection strings, UTF-16 text,
// decimals and dates as text, statement composition and the driver's diagnostics.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module/common/database.h"
#include "module/common/decimal.h"
#include "module/common/value.h"

namespace zodadovez::odbc {

// --- Connection strings ("Driver={FreeTDS};Server=host;UID=u;PWD=p") -----------------------

// The value of an attribute (key compared ignoring case, braces removed, "}}" read as "}"),
// or nothing when the string does not set it.
std::optional<std::string> ConnectionStringValue(std::string_view connection_string,
                                                 std::string_view key);
// The string with every attribute `key` (compared ignoring case) removed and key={value}
// appended, so that no earlier setting competes with it.
std::string WithAttribute(std::string_view connection_string, std::string_view key,
                          std::string_view value);
// The string for messages: every value that any reading of the string may take for a password
// is "***", whatever its form (key PWD or Password in any case, braces closed or not, quotes,
// blanks, a key inside another attribute's unclosed brace), and so is any other text equal
// to one (see Passwords). Everything else as written.
std::string MaskPassword(std::string_view connection_string);
// The texts a driver may take for the password of the string, longest first: each value
// MaskPassword hides, also without its braces or quotes and up to a ";" it holds. Scrub the
// driver's messages with all of them: a driver may quote the string back, as unixODBC quotes
// a driver name that an unclosed brace made run to the end of the string.
std::vector<std::string> Passwords(std::string_view connection_string);
// The server the string names, for messages: SQL Server "host" (with ",port" when a Port is
// given), or data source "DSN". "the server" when it names neither. Read from the masked
// string: a name that an unclosed brace runs on into the password shows it masked.
std::string DescribeServer(std::string_view connection_string);
// True when the string names SQLite's ODBC driver (Driver=SQLite3, {SQLite3 ODBC Driver}).
bool NamesSqliteDriver(std::string_view connection_string);
// `connection_string` with key=value appended unless it sets `key` already. `value` must hold
// no ';', '{' or '}': SQLite's driver reads no braces.
std::string WithDefault(std::string_view connection_string, std::string_view key,
                        std::string_view value);
// `text` with `secret` replaced by "***": everywhere when it has 6 characters or more, else
// where it stands alone between non-alphanumeric characters. An empty secret changes nothing.
std::string Scrub(std::string text, std::string_view secret);
// `text` with each of `secrets` replaced in turn.
std::string Scrub(std::string text, const std::vector<std::string>& secrets);

// --- Text ------------------------------------------------------------------------------------

// UTF-8 to UTF-16 and back. Invalid sequences and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// --- Values as text --------------------------------------------------------------------------

// A DECIMAL/NUMERIC as the driver writes it for SQL_C_CHAR ("-12.50", ".5", "1234"), with the
// scale of the column (fewer digits are padded, more are rounded half-even; scales beyond
// Decimal::kMaxScale are rounded to it). False for anything else, exponents included.
bool TryParseDecimalText(std::string_view text, int scale, Decimal* out);
// "yyyyMMdd" at midnight, "yyyyMMdd HH:mm:ss" otherwise: SQL Server reads both the same way
// under every language and DATEFORMAT setting.
std::string SqlServerDateText(DateTime value);

// --- Statements ------------------------------------------------------------------------------

// [name] with "]" doubled.
std::string QuoteIdentifier(std::string_view name);
// INSERT INTO [T] ([a], [b]) VALUES (?, ?), or INSERT INTO [T] DEFAULT VALUES without columns.
std::string InsertStatement(std::string_view table, const std::vector<std::string>& columns);
// UPDATE [T] SET [a] = ?, [b] = ? WHERE [k1] = ? AND [k2] = ?
// REQUIRES: columns and keys are not empty.
std::string UpdateStatement(std::string_view table, const std::vector<std::string>& columns,
                            const std::vector<std::string>& keys);
// Appended to an INSERT to read the identity it generated in the same batch: a separate batch
// would run in another scope, where SCOPE_IDENTITY() is NULL. Gives NULL for a table without
// an identity column.
inline constexpr std::string_view kReadIdentity = "; SELECT CAST(SCOPE_IDENTITY() AS bigint)";

// SQLite's numbered parameters (?1, ?12), which SQLite's ODBC driver refuses, turned into plain
// markers: the text with each "?N" as "?", and for each marker in order the N it had (a bare
// "?" takes the number after the largest so far, as SQLite counts). Markers inside strings,
// quoted names and comments are left alone.
struct PositionalSql {
  std::string text;
  std::vector<std::size_t> numbers;
};
PositionalSql ToPositionalMarkers(std::string_view sql);

// --- Diagnostics -----------------------------------------------------------------------------

struct Diagnostic {
  std::string state;  // the five-character SQLSTATE
  long native = 0;    // the server's error number
  std::string message;
};

// "<message> (SQLSTATE xxxxx)" for each record, joined by "; ".
std::string FormatDiagnostics(const std::vector<Diagnostic>& records);
// True when a record says the link to the server is gone (08S01, 08003, 08007).
bool IsConnectionLost(const std::vector<Diagnostic>& records);

// --- Columns ---------------------------------------------------------------------------------

// How a result column of ODBC type `sql_type` (SQL_DECIMAL, SQL_WVARCHAR, ...) is read:
// integers of any width as kInteger, bit as kBool, DECIMAL/NUMERIC (money too) as kDecimal
// with precision and scale, float/real as kDouble, dates and timestamps as kDate, binaries as
// kBinary, everything else (char types, GUID, time, xml) as kText. `size` is the defined
// length of a text column, 0 for long types (text, varchar(max)).
FieldInfo DescribeColumn(std::string name, int sql_type, long long column_size, int decimal_digits);

}  // namespace zodadovez::odbc
