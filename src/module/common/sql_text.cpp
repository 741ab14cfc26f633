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

}  // namespace zodadovez
