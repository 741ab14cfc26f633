#include "module/common/utf8.h"

namespace zodadovez {
namespace {

// The length of the valid UTF-8 sequence at `i`, or 0 when the byte there starts none.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  unsigned min = 0;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  unsigned code = b & (0xFF >> (length + 1));
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsUtf8Continuation(text[i + k])) return 0;
    code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += !IsUtf8Continuation(c);
  return n;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsUtf8Continuation(text[i]) && count++ == n) return text.substr(0, i);
  }
  return text;
}

bool RepairText(std::string& text) {
  std::string out;
  bool changed = false;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\0') {
      changed = true;
      ++i;
      continue;
    }
    const std::size_t length = SequenceAt(text, i);
    if (length > 0) {
      out.append(text, i, length);
      i += length;
      continue;
    }
    const auto b = static_cast<unsigned char>(text[i++]);
    out += static_cast<char>(0xC0 | (b >> 6));
    out += static_cast<char>(0x80 | (b & 0x3F));
    changed = true;
  }
  if (changed) text = std::move(out);
  return changed;
}

}  // namespace zodadovez
