// The T-SQL lexer of the embedded backend's bridge: tokens with their byte offsets.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zodadovez::bridge {

enum class TokenKind {
  kIdentifier,        // CG16_CODICE, SELECT, dbo (keywords are identifiers; compare ignoring case)
  kQuotedIdentifier,  // [CG16_CODICE] or "CG16_CODICE"; value() is the name without delimiters
  kString,            // 'O''Neil'; value() is the text with quotes undoubled
  kNString,           // N'...'
  kNumber,            // 12, 12.50, 1E3
  kVariable,          // @name
  kTempTable,         // #T, ##T
  kOperator,          // = <> != < > <= >= !< !> + - * / % || & | ^ ~
  kPunctuation,       // ( ) , . ;
  kEnd,
};

struct Token {
  TokenKind kind;
  std::string_view text;  // the token as written in the statement
  std::string value;      // identifiers unquoted, strings unescaped; else the text
  std::size_t offset;     // byte offset in the statement
};

// Splits a statement into tokens, skipping blanks and comments (-- and /* */, which nest as
// in T-SQL). The last token is kEnd, placed right after the last real token. Throws TranslateError
// (with line and column) for an unterminated string, quoted name or comment, a number run into a
// name (12AB), or a character that starts no token.
std::vector<Token> Lex(std::string_view sql);

// 1-based line and column of a byte offset.
void LineColumn(std::string_view sql, std::size_t offset, int* line, int* column);

// Throws TranslateError "<detail> at line L, column C in: <statement>" for the byte offset.
[[noreturn]] void ThrowTranslateError(std::string_view sql, std::size_t offset,
                                      const std::string& detail);

// ASCII case-insensitive equality, as T-SQL compares keywords and names.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace zodadovez::bridge
