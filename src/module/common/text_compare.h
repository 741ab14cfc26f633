// Text comparison as the ERP's SQL Server collation does it: case-insensitive over Latin-1 and
// Latin Extended-A, accent-sensitive, trailing blanks ignored. Texts are UTF-8.
#pragma once

#include <cstddef>
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

// Hash and equality of names (fields, columns) ignoring ASCII case, for unordered containers
// with lookups by string_view that allocate nothing. Names are ASCII; other bytes compare as
// they are.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const {
    std::size_t h = 14695981039346656037ull;
    for (char c : name) {
      unsigned char u = static_cast<unsigned char>(c);
      if (u >= 'A' && u <= 'Z') u += 32;
      h = (h ^ u) * 1099511628211ull;
    }
    return h;
  }
};
struct NameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]);
      unsigned char y = static_cast<unsigned char>(b[i]);
      if (x >= 'A' && x <= 'Z') x += 32;
      if (y >= 'A' && y <= 'Z') y += 32;
      if (x != y) return false;
    }
    return true;
  }
};

}  // namespace zodadovez
