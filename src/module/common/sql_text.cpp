// Quoting of texts spliced into SQL.
#include "module/common/sql_text.h"

namespace zodadovez {

std::string SqlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

std::string SqlQuote(std::string_view text) { return "'" + SqlEscape(text) + "'"; }

bool IsPlainSqlName(std::string_view name) {
  constexpr std::size_t kMaxLength = 128;  // SQL Server's sysname
  if (name.empty() || name.size() > kMaxLength) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(name.front())) return false;
  for (char c : name) {
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

}  // namespace zodadovez
