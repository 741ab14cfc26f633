// libFuzzer target: the bridge's lexer on any bytes. A statement it cannot read is refused
// with TranslateError; anything else (a crash, a token outside the text, a lost offset) is a
// fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/data/sqlite/tsql_lexer.h"
#include "module/common/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  try {
    const auto tokens = zodadovez::bridge::Lex(sql);
    if (tokens.empty() || tokens.back().kind != zodadovez::bridge::TokenKind::kEnd) std::abort();
    std::size_t end = 0;
    for (const auto& t : tokens) {
      // Tokens lie inside the statement, in order, each where its text is.
      if (t.offset < end || t.offset > sql.size() || t.text.size() > sql.size() - t.offset) {
        std::abort();
      }
      if (t.kind != zodadovez::bridge::TokenKind::kEnd &&
          sql.substr(t.offset, t.text.size()) != t.text) {
        std::abort();
      }
      end = t.offset + t.text.size();
    }
  } catch (const zodadovez::TranslateError&) {
    // Refused, with its offset.
  }
  return 0;
}
