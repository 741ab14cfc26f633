// Connection strings, UTF-16, decimal and date texts, statement texts and diagnostics for the
// SQL Server backend.
#include "host/data/odbc/odbc_text.h"

#include <fmt/format.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace zodadovez::odbc {
namespace {

// One "key=value" of a connection string, with where its value is written.
struct Attribute {
  std::string key;
  std::string value;            // braces removed, "}}" read as "}"
  std::size_t value_begin = 0;  // the value as written, braces included
  std::size_t value_end = 0;
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The ODBC grammar: attributes separated by ";", a value in braces may hold ";" and "=", and
// "}}" inside braces is one "}".
std::vector<Attribute> ParseAttributes(std::string_view s) {
  std::vector<Attribute> out;
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const std::size_t key_begin = i;
    while (i < n && s[i] != '=' && s[i] != ';') ++i;
    Attribute attribute;
    attribute.key = std::string(Trim(s.substr(key_begin, i - key_begin)));
    if (i >= n || s[i] == ';') {
      attribute.value_begin = attribute.value_end = i;
      if (!attribute.key.empty()) out.push_back(std::move(attribute));
      ++i;
      continue;
    }
    ++i;  // '='
    while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
    attribute.value_begin = i;
    if (i < n && s[i] == '{') {
      ++i;
      while (i < n) {
        if (s[i] == '}') {
          if (i + 1 < n && s[i + 1] == '}') {
            attribute.value += '}';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        attribute.value += s[i++];
      }
      attribute.value_end = i;
      while (i < n && s[i] != ';') ++i;
    } else {
      while (i < n && s[i] != ';') ++i;
      std::size_t end = i;
      while (end > attribute.value_begin && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
      attribute.value_end = end;
      attribute.value = std::string(s.substr(attribute.value_begin, end - attribute.value_begin));
    }
    out.push_back(std::move(attribute));
    if (i < n) ++i;  // ';'
  }
  return out;
}

bool IsPasswordKey(std::string_view key) {
  return EqualsIgnoringCase(key, "PWD") || EqualsIgnoringCase(key, "Password");
}

bool IsWordCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// Where the value after `=` at `begin` ends for the most generous reading: a value in braces
// or quotes at its closing mark, or at the end of the string when it has none; else at the
// next ";" (blanks before it left out).
std::size_t GenerousValueEnd(std::string_view s, std::size_t begin) {
  const std::size_t n = s.size();
  if (begin < n && (s[begin] == '{' || s[begin] == '"' || s[begin] == '\'')) {
    const char close = s[begin] == '{' ? '}' : s[begin];
    for (std::size_t i = begin + 1; i < n; ++i) {
      if (s[i] != close) continue;
      if (i + 1 < n && s[i + 1] == close) {  // doubled: one of them, written inside
        ++i;
        continue;
      }
      return i + 1;
    }
    return n;
  }
  std::size_t end = std::min(s.find(';', begin), n);
  while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
  return end;
}

// The ranges [begin, end) of the string that may hold a password: the values of the password
// attributes as the driver manager parses the string, and after every "PWD =" or "Password ="
// that starts a word anywhere else (inside a value, after an unclosed brace) the value as
// GenerousValueEnd reads it. Merged, in order.
std::vector<std::pair<std::size_t, std::size_t>> PasswordRanges(std::string_view s) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  for (const Attribute& attribute : ParseAttributes(s)) {
    if (IsPasswordKey(attribute.key) && attribute.value_begin < attribute.value_end) {
      ranges.emplace_back(attribute.value_begin, attribute.value_end);
    }
  }
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i > 0 && IsWordCharacter(s[i - 1])) continue;
    std::size_t key_end = i;
    for (std::string_view key : {"PWD", "Password"}) {
      if (EqualsIgnoringCase(s.substr(i, key.size()), key)) key_end = i + key.size();
    }
    if (key_end == i) continue;
    std::size_t at = key_end;
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
    if (at >= s.size() || s[at] != '=') continue;
    ++at;
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
    const std::size_t end = GenerousValueEnd(s, at);
    if (at < end) ranges.emplace_back(at, end);
  }
  std::sort(ranges.begin(), ranges.end());
  std::vector<std::pair<std::size_t, std::size_t>> merged;
  for (const auto& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, range.second);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

// 10^38: the first mantissa that no longer fits a DECIMAL.
constexpr Int128 kMantissaLimit = [] {
  Int128 v = 1;
  for (int i = 0; i < Decimal::kMaxDigits; ++i) v *= 10;
  return v;
}();

Int128 PowerOfTen(int exponent) {
  Int128 v = 1;
  for (int i = 0; i < exponent; ++i) v *= 10;
  return v;
}

}  // namespace

std::optional<std::string> ConnectionStringValue(std::string_view connection_string,
                                                 std::string_view key) {
  std::optional<std::string> found;
  // The last occurrence wins, as the driver manager reads it.
  for (const Attribute& attribute : ParseAttributes(connection_string)) {
    if (EqualsIgnoringCase(attribute.key, key)) found = attribute.value;
  }
  return found;
}

std::string MaskPassword(std::string_view connection_string) {
  std::string out;
  std::size_t copied = 0;
  for (const auto& [begin, end] : PasswordRanges(connection_string)) {
    out.append(connection_string.substr(copied, begin - copied));
    out.append("***");
    copied = end;
  }
  out.append(connection_string.substr(copied));
  // The same text elsewhere (a user name chosen equal to the password) goes too.
  return Scrub(std::move(out), Passwords(connection_string));
}

std::vector<std::string> Passwords(std::string_view connection_string) {
  std::vector<std::string> found;
  auto add = [&](std::string_view text) {
    std::string_view trimmed = Trim(text);
    if (trimmed.empty() || trimmed == "***") return;
    found.emplace_back(trimmed);
    // A driver that reads no braces or quotes ends the value at its first ";".
    const std::size_t semicolon = trimmed.find(';');
    if (semicolon != std::string_view::npos && semicolon > 0) {
      found.emplace_back(Trim(trimmed.substr(0, semicolon)));
    }
  };
  for (const auto& [begin, end] : PasswordRanges(connection_string)) {
    std::string_view raw = connection_string.substr(begin, end - begin);
    add(raw);
    if (raw.front() != '{' && raw.front() != '"' && raw.front() != '\'') continue;
    const char close = raw.front() == '{' ? '}' : raw.front();
    std::string_view inner = raw.substr(1);
    if (inner.ends_with(close)) inner.remove_suffix(1);
    add(inner);
    std::string unescaped;  // the doubled closing marks read as one
    for (std::size_t i = 0; i < inner.size(); ++i) {
      unescaped += inner[i];
      if (inner[i] == close && i + 1 < inner.size() && inner[i + 1] == close) ++i;
    }
    add(unescaped);
  }
  std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : a < b;
  });
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

std::string WithAttribute(std::string_view connection_string, std::string_view key,
                          std::string_view value) {
  std::string out;
  for (const Attribute& attribute : ParseAttributes(connection_string)) {
    if (EqualsIgnoringCase(attribute.key, key)) continue;
    out += attribute.key;
    out += '=';
    out += connection_string.substr(attribute.value_begin,
                                    attribute.value_end - attribute.value_begin);
    out += ';';
  }
  out += key;
  out += "={";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

std::string DescribeServer(std::string_view connection_string) {
  const std::string masked = MaskPassword(connection_string);
  for (std::string_view key : {"Server", "Servername", "Address", "Addr"}) {
    std::optional<std::string> server = ConnectionStringValue(masked, key);
    if (!server || server->empty()) continue;
    std::optional<std::string> port = ConnectionStringValue(masked, "Port");
    if (port && !port->empty()) return fmt::format("SQL Server \"{},{}\"", *server, *port);
    return fmt::format("SQL Server \"{}\"", *server);
  }
  std::optional<std::string> dsn = ConnectionStringValue(masked, "DSN");
  if (dsn && !dsn->empty()) return fmt::format("data source \"{}\"", *dsn);
  std::optional<std::string> file = ConnectionStringValue(connection_string, "Database");
  if (file && !file->empty() && NamesSqliteDriver(connection_string)) {
    return fmt::format("SQLite file \"{}\"", *file);
  }
  return "the server";
}

bool NamesSqliteDriver(std::string_view connection_string) {
  std::optional<std::string> driver = ConnectionStringValue(connection_string, "Driver");
  if (!driver) return false;
  std::string upper = *driver;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find("SQLITE") != std::string::npos;
}

std::string WithDefault(std::string_view connection_string, std::string_view key,
                        std::string_view value) {
  if (ConnectionStringValue(connection_string, key)) return std::string(connection_string);
  std::string out(connection_string);
  if (!out.empty() && out.back() != ';') out += ';';
  return fmt::format("{}{}={}", out, key, value);
}

PositionalSql ToPositionalMarkers(std::string_view sql) {
  PositionalSql out;
  out.text.reserve(sql.size());
  std::size_t largest = 0;
  std::size_t i = 0;
  // Copies a quoted run that ends at `close` (doubled to escape it) from i, i at the opener.
  auto copy_quoted = [&](char close) {
    out.text += sql[i++];
    while (i < sql.size()) {
      const char c = sql[i++];
      out.text += c;
      if (c == close) {
        if (i < sql.size() && sql[i] == close && close != ']') {
          out.text += sql[i++];
          continue;
        }
        return;
      }
    }
  };
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      copy_quoted(c);
    } else if (c == '[') {
      copy_quoted(']');
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = std::min(sql.find('\n', i), sql.size());
      out.text.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const std::size_t close = sql.find("*/", i + 2);
      const std::size_t end = close == std::string_view::npos ? sql.size() : close + 2;
      out.text.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '?') {
      std::size_t number = 0;
      std::size_t j = i + 1;
      while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') {
        number = number * 10 + static_cast<std::size_t>(sql[j] - '0');
        ++j;
      }
      if (j == i + 1) number = largest + 1;
      largest = std::max(largest, number);
      out.numbers.push_back(number);
      out.text += '?';
      i = j;
    } else {
      out.text += c;
      ++i;
    }
  }
  return out;
}

std::string Scrub(std::string text, std::string_view secret) {
  if (secret.empty()) return text;
  // A short secret is replaced only where it stands as a word of its own, so that a password
  // "p" does not turn "open" into "o***en"; a longer one wherever it appears.
  const bool anywhere = secret.size() >= 6;
  auto is_word = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  std::size_t at = 0;
  while ((at = text.find(secret, at)) != std::string::npos) {
    const std::size_t end = at + secret.size();
    const bool alone =
        (at == 0 || !is_word(text[at - 1])) && (end == text.size() || !is_word(text[end]));
    if (anywhere || alone) {
      text.replace(at, secret.size(), "***");
      at += 3;
    } else {
      ++at;
    }
  }
  return text;
}

std::string Scrub(std::string text, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) text = Scrub(std::move(text), secret);
  return text;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, c = lead & 0x07, minimum = 0x10000;
    }
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
      } else {
        c = (c << 6) | (next & 0x3F);
      }
    }
    if (valid && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (!valid) {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

bool TryParseDecimalText(std::string_view text, int scale, Decimal* out) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  Int128 mantissa = 0;
  int digits = 0;           // significant digits taken into the mantissa
  int fraction_digits = 0;  // digits after the point
  bool any_digit = false;
  bool after_point = false;
  for (char c : text) {
    if (c == '.' && !after_point) {
      after_point = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
    any_digit = true;
    if (after_point) ++fraction_digits;
    if (mantissa == 0 && c == '0') continue;
    if (++digits > Decimal::kMaxDigits) return false;
    mantissa = mantissa * 10 + (c - '0');
  }
  if (!any_digit) return false;

  const int target = std::clamp(scale, 0, Decimal::kMaxScale);
  if (fraction_digits < target) {
    const Int128 factor = PowerOfTen(target - fraction_digits);
    if (mantissa >= kMantissaLimit / factor) return false;
    mantissa *= factor;
  } else if (fraction_digits > target) {
    // Half-even, as Decimal rounds; only reached for scales beyond Decimal::kMaxScale or a
    // driver that writes more digits than the column's scale.
    const Int128 divisor = PowerOfTen(fraction_digits - target);
    const Int128 quotient = mantissa / divisor;
    const Int128 remainder = mantissa % divisor;
    const Int128 twice = remainder * 2;
    mantissa = quotient;
    if (twice > divisor || (twice == divisor && quotient % 2 != 0)) ++mantissa;
    if (mantissa >= kMantissaLimit) return false;
  }
  *out = Decimal::FromParts(negative ? -mantissa : mantissa, target);
  return true;
}

std::string SqlServerDateText(DateTime value) {
  const auto day = std::chrono::floor<std::chrono::days>(value);
  const std::chrono::year_month_day ymd{day};
  const std::chrono::hh_mm_ss time{value - day};
  std::string text =
      fmt::format("{:04}{:02}{:02}", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  if (value != day) {
    text += fmt::format(" {:02}:{:02}:{:02}", time.hours().count(), time.minutes().count(),
                        time.seconds().count());
  }
  return text;
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "[";
  for (char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  out += ']';
  return out;
}

std::string InsertStatement(std::string_view table, const std::vector<std::string>& columns) {
  if (columns.empty()) return fmt::format("INSERT INTO {} DEFAULT VALUES", QuoteIdentifier(table));
  std::string names;
  std::string markers;
  for (const std::string& column : columns) {
    if (!names.empty()) {
      names += ", ";
      markers += ", ";
    }
    names += QuoteIdentifier(column);
    markers += '?';
  }
  return fmt::format("INSERT INTO {} ({}) VALUES ({})", QuoteIdentifier(table), names, markers);
}

std::string UpdateStatement(std::string_view table, const std::vector<std::string>& columns,
                            const std::vector<std::string>& keys) {
  std::string text = fmt::format("UPDATE {} SET ", QuoteIdentifier(table));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) text += ", ";
    text += QuoteIdentifier(columns[i]) + " = ?";
  }
  text += " WHERE ";
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) text += " AND ";
    text += QuoteIdentifier(keys[i]) + " = ?";
  }
  return text;
}

std::string FormatDiagnostics(const std::vector<Diagnostic>& records) {
  if (records.empty()) return "the driver reported no diagnostic";
  std::string text;
  for (const Diagnostic& record : records) {
    if (!text.empty()) text += "; ";
    text += fmt::format("{} (SQLSTATE {})", record.message, record.state);
  }
  return text;
}

bool IsConnectionLost(const std::vector<Diagnostic>& records) {
  return std::any_of(records.begin(), records.end(), [](const Diagnostic& record) {
    return record.state == "08S01" || record.state == "08003" || record.state == "08007";
  });
}

FieldInfo DescribeColumn(std::string name, int sql_type, long long column_size,
                         int decimal_digits) {
  FieldInfo field;
  field.name = std::move(name);
  const int size = column_size > 0 && column_size <= 8000 ? static_cast<int>(column_size) : 0;
  switch (sql_type) {
    case SQL_BIT:
      field.type = FieldType::kBool;
      break;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      field.type = FieldType::kInteger;
      break;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      field.type = FieldType::kDecimal;
      field.precision = size;
      field.scale = std::max(decimal_digits, 0);
      break;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      field.type = FieldType::kDouble;
      break;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME:  // the ODBC 2 codes, should a driver still report them
    case SQL_TIMESTAMP:
      field.type = FieldType::kDate;
      break;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      field.type = FieldType::kBinary;
      break;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      field.type = FieldType::kText;
      field.size = size;
      break;
    default:  // long texts, GUID, time, xml and the server's own types: read as text
      field.type = FieldType::kText;
      break;
  }
  return field;
}

}  // namespace zodadovez::odbc
