// The T-SQL lexer: one pass over the statement, no backtracking beyond a character or two.
#include "host/data/sqlite/tsql_lexer.h"

#include <string>

#include "module/common/errors.h"

namespace zodadovez::bridge {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Bytes of multi-byte UTF-8 sequences count as letters: T-SQL names may hold accented letters.
bool IsHighByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

bool IsNameStart(char c) { return IsLetter(c) || c == '_' || IsHighByte(c); }

bool IsNamePart(char c) {
  return IsLetter(c) || IsDigit(c) || c == '_' || c == '$' || c == '@' || c == '#' || IsHighByte(c);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

class Lexer {
 public:
  explicit Lexer(std::string_view sql) : sql_(sql) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    // Most tokens are a handful of characters plus a blank; this avoids regrowth for typical
    // statements without overshooting much on long ones.
    tokens.reserve(sql_.size() / 5 + 2);
    std::size_t last_end = 0;
    for (;;) {
      SkipBlanksAndComments();
      if (pos_ >= sql_.size()) break;
      tokens.push_back(Next());
      last_end = pos_;
    }
    // The end sits right after the last token, so that "expected ')'" points at the line where
    // the statement stops rather than past its trailing blanks.
    tokens.push_back(Token{TokenKind::kEnd, sql_.substr(last_end, 0), std::string(), last_end});
    return tokens;
  }

 private:
  char At(std::size_t i) const { return i < sql_.size() ? sql_[i] : '\0'; }

  void SkipBlanksAndComments() {
    while (pos_ < sql_.size()) {
      char c = sql_[pos_];
      if (IsBlank(c)) {
        ++pos_;
      } else if (c == '-' && At(pos_ + 1) == '-') {
        while (pos_ < sql_.size() && sql_[pos_] != '\n') ++pos_;
      } else if (c == '/' && At(pos_ + 1) == '*') {
        SkipBlockComment();
      } else {
        return;
      }
    }
  }

  // T-SQL block comments nest: /* a /* b */ c */ is one comment.
  void SkipBlockComment() {
    std::size_t start = pos_;
    int depth = 0;
    while (pos_ < sql_.size()) {
      if (sql_[pos_] == '/' && At(pos_ + 1) == '*') {
        ++depth;
        pos_ += 2;
      } else if (sql_[pos_] == '*' && At(pos_ + 1) == '/') {
        pos_ += 2;
        if (--depth == 0) return;
      } else {
        ++pos_;
      }
    }
    ThrowTranslateError(sql_, start, "unterminated comment");
  }

  Token Make(TokenKind kind, std::size_t start, std::string value) {
    return Token{kind, sql_.substr(start, pos_ - start), std::move(value), start};
  }

  Token MakePlain(TokenKind kind, std::size_t start) {
    std::string_view text = sql_.substr(start, pos_ - start);
    return Token{kind, text, std::string(text), start};
  }

  Token Next() {
    std::size_t start = pos_;
    char c = sql_[pos_];
    if ((c == 'N' || c == 'n') && At(pos_ + 1) == '\'') {
      ++pos_;
      return Make(TokenKind::kNString, start, Delimited('\'', start, "string literal"));
    }
    if (IsNameStart(c)) {
      while (pos_ < sql_.size() && IsNamePart(sql_[pos_])) ++pos_;
      return MakePlain(TokenKind::kIdentifier, start);
    }
    if (IsDigit(c) || (c == '.' && IsDigit(At(pos_ + 1)))) return Number(start);
    switch (c) {
      case '\'':
        return Make(TokenKind::kString, start, Delimited('\'', start, "string literal"));
      case '[':
        return Make(TokenKind::kQuotedIdentifier, start, Delimited(']', start, "bracketed name"));
      case '"':
        return Make(TokenKind::kQuotedIdentifier, start, Delimited('"', start, "quoted name"));
      case '@':
      case '#':
        return Prefixed(c, start);
      case '(':
      case ')':
      case ',':
      case '.':
      case ';':
        ++pos_;
        return MakePlain(TokenKind::kPunctuation, start);
      default:
        break;
    }
    return OperatorToken(start);
  }

  // A delimited token: opening character, content with the closing character doubled, closing
  // character. Returns the content undoubled.
  std::string Delimited(char close, std::size_t start, const char* what) {
    std::string value;
    ++pos_;  // the opening delimiter
    for (;;) {
      if (pos_ >= sql_.size())
        ThrowTranslateError(sql_, start, std::string("unterminated ") + what);
      char c = sql_[pos_++];
      if (c != close) {
        value += c;
      } else if (At(pos_) == close) {
        value += close;
        ++pos_;
      } else {
        return value;
      }
    }
  }

  // @name and @@name; #T and ##T.
  Token Prefixed(char prefix, std::size_t start) {
    ++pos_;
    if (At(pos_) == prefix) ++pos_;
    std::size_t name_start = pos_;
    while (pos_ < sql_.size() && IsNamePart(sql_[pos_])) ++pos_;
    if (pos_ == name_start) {
      ThrowTranslateError(sql_, start,
                          std::string("unexpected character '") + prefix + "' without a name");
    }
    return MakePlain(prefix == '@' ? TokenKind::kVariable : TokenKind::kTempTable, start);
  }

  Token Number(std::size_t start) {
    while (IsDigit(At(pos_))) ++pos_;
    if (At(pos_) == '.') {
      ++pos_;
      while (IsDigit(At(pos_))) ++pos_;
    }
    if (At(pos_) == 'e' || At(pos_) == 'E') {
      std::size_t exponent = pos_ + 1;
      if (At(exponent) == '+' || At(exponent) == '-') ++exponent;
      if (IsDigit(At(exponent))) {
        pos_ = exponent;
        while (IsDigit(At(pos_))) ++pos_;
      }
    }
    // 12AB or 0x1F would otherwise read as a number followed by an alias.
    if (pos_ < sql_.size() && (IsNamePart(sql_[pos_]) || sql_[pos_] == '.')) {
      ThrowTranslateError(
          sql_, start,
          "malformed number '" + std::string(sql_.substr(start, pos_ - start + 1)) + "'");
    }
    return MakePlain(TokenKind::kNumber, start);
  }

  Token OperatorToken(std::size_t start) {
    char c = sql_[pos_];
    char next = At(pos_ + 1);
    std::size_t length = 0;
    switch (c) {
      case '<':
        length = (next == '>' || next == '=') ? 2 : 1;
        break;
      case '>':
        length = next == '=' ? 2 : 1;
        break;
      case '!':
        length = (next == '=' || next == '<' || next == '>') ? 2 : 0;
        break;
      case '|':
        length = next == '|' ? 2 : 1;
        break;
      case '=':
      case '+':
      case '-':
      case '*':
      case '/':
      case '%':
      case '&':
      case '^':
      case '~':
        length = 1;
        break;
      default:
        break;
    }
    if (length == 0) {
      ThrowTranslateError(sql_, start, "unexpected character '" + std::string(1, c) + "'");
    }
    pos_ += length;
    return MakePlain(TokenKind::kOperator, start);
  }

  std::string_view sql_;
  std::size_t pos_ = 0;
};

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::vector<Token> Lex(std::string_view sql) { return Lexer(sql).Run(); }

void LineColumn(std::string_view sql, std::size_t offset, int* line, int* column) {
  int l = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < offset && i < sql.size(); ++i) {
    if (sql[i] == '\n') {
      ++l;
      line_start = i + 1;
    }
  }
  *line = l;
  *column = static_cast<int>((offset < sql.size() ? offset : sql.size()) - line_start) + 1;
}

void ThrowTranslateError(std::string_view sql, std::size_t offset, const std::string& detail) {
  int line = 0;
  int column = 0;
  LineColumn(sql, offset, &line, &column);
  throw TranslateError(detail + " at line " + std::to_string(line) + ", column " +
                           std::to_string(column) + " in: " + std::string(Trimmed(sql)),
                       offset, line, column);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace zodadovez::bridge
