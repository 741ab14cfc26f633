// UTF-8 text by characters: the one place that knows how the bytes of a character go together.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zodadovez {

// A byte that continues a character begun before it.
inline bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The number of characters of `text` (a byte that is not UTF-8 counts as one).
std::size_t Utf8Length(std::string_view text);

// The first `n` characters of `text`, never half a character.
std::string_view Utf8Prefix(std::string_view text, std::size_t n);

// Makes a text from the gym database whole: NUL bytes are dropped (a driver or a tool would cut
// the text there) and a byte that is not part of valid UTF-8 is read as the Latin-1 character
// it most likely was. Returns true when it changed anything.
bool RepairText(std::string& text);

}  // namespace zodadovez
