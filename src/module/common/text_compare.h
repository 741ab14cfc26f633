// Text comparison as the ERP's SQL Server collation does it: case-insensitive over Latin-1 and
// Latin Extended-A, accent-sensitive, trailing blanks ignored. Texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace zodadovez {

// <0, 0 or >0. Invalid UTF-8 bytes compare as themselves.
int CompareText(std::string_view a, std::string_view b);
inline bool TextEquals(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }
// The text with every letter folded to lower case (the same folding CompareText uses).
std::string FoldCase(std::string_view text);
// The text with every letter folded to upper case (Latin-1 and Latin Extended-A).
std::string UpperCase(std::string_view text);

}  // namespace zodadovez
