#include "host/data/tsv.h"

#include <fmt/format.h>

namespace zodadovez {

std::string FormatTsvField(const Value& v) {
  switch (v.kind()) {
    case ValueKind::kEmpty:
      return "";
    case ValueKind::kNull:
      return "NULL";
    case ValueKind::kBool:
      return v.as_bool() ? "1" : "0";
    case ValueKind::kInteger:
      return std::to_string(v.as_integer());
    case ValueKind::kDecimal:
      return v.as_decimal().ToString();
    case ValueKind::kDouble:
      return fmt::format("{}", v.as_double());
    case ValueKind::kDate:
      return FormatIsoDate(v.as_date());
    case ValueKind::kText:
      break;
  }
  std::string s;
  for (char c : v.as_text()) {
    switch (c) {
      case '\t':
        s += "\\t";
        break;
      case '\n':
        s += "\\n";
        break;
      case '\r':
        s += "\\r";
        break;
      case '\\':
        s += "\\\\";
        break;
      default:
        s.push_back(c);
    }
  }
  return s;
}

std::string FormatTsvRow(const Recordset& rs) {
  std::string line;
  for (std::size_t i = 0; i < rs.fields().size(); ++i) {
    if (i > 0) line.push_back('\t');
    line += FormatTsvField(rs.at(i));
  }
  return line;
}

}  // namespace zodadovez
