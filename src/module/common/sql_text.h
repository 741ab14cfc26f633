// The one place where values are spliced into SQL text.
#pragma once

#include <string>
#include <string_view>

namespace zodadovez {

// The text between single quotes with its apostrophes doubled: O'Neil gives 'O''Neil'.
std::string SqlQuote(std::string_view text);
// The text with its apostrophes doubled, without the enclosing quotes, for statements whose
// quotes are part of the surrounding template.
std::string SqlEscape(std::string_view text);

}  // namespace zodadovez
