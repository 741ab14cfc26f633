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

// True for a name that may be spliced into SQL text as it is (a database or linked-server name
// of a three- or four-part name): 1 to 128 ASCII letters, digits and underscores, not starting
// with a digit. Anything else could end the name and start another statement.
bool IsPlainSqlName(std::string_view name);

}  // namespace zodadovez
