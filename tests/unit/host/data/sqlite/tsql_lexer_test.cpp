// The bridge's lexer: token kinds, values and offsets; errors with line and column.
#include "host/data/sqlite/tsql_lexer.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <string>
#include <vector>

#include "module/common/errors.h"

namespace zodadovez::bridge {
namespace {

// "kind:value" per token, without the final kEnd, for compact comparisons.
std::vector<std::string> Describe(std::string_view sql) {
  static const char* const kNames[] = {"id",  "qid", "str", "nstr", "num",
                                       "var", "tmp", "op",  "punct"};
  std::vector<std::string> out;
  for (const Token& t : Lex(sql)) {
    if (t.kind == TokenKind::kEnd) break;
    out.push_back(std::string(kNames[static_cast<int>(t.kind)]) + ":" + t.value);
  }
  return out;
}

TEST(TsqlLexerTest, TokenKindsAndValues) {
  struct Case {
    const char* sql;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"SELECT * FROM CG16_ANAGGEN WITH (NOLOCK)",
       {"id:SELECT", "op:*", "id:FROM", "id:CG16_ANAGGEN", "id:WITH", "punct:(", "id:NOLOCK",
        "punct:)"}},
      {"[ZEV99_ID] [int] \"a\"\"b\" [x]]y]", {"qid:ZEV99_ID", "qid:int", "qid:a\"b", "qid:x]y"}},
      {"'O''Neil' N'città' n'x' ''", {"str:O'Neil", "nstr:città", "nstr:x", "str:"}},
      {"12 12.50 .5 1E3 2e-2 7.",
       {"num:12", "num:12.50", "num:.5", "num:1E3", "num:2e-2", "num:7."}},
      {"@DITTA @@IDENTITY #TEMPDOC ##G",
       {"var:@DITTA", "var:@@IDENTITY", "tmp:#TEMPDOC", "tmp:##G"}},
      {"a<>b!=c<=d>=e!<f!>g||h<i>j",
       {"id:a", "op:<>", "id:b", "op:!=", "id:c", "op:<=", "id:d", "op:>=", "id:e", "op:!<", "id:f",
        "op:!>", "id:g", "op:||", "id:h", "op:<", "id:i", "op:>", "id:j"}},
      {"x+-1*2/3%4&5|6^7~8",
       {"id:x", "op:+", "op:-", "num:1", "op:*", "num:2", "op:/", "num:3", "op:%", "num:4", "op:&",
        "num:5", "op:|", "num:6", "op:^", "num:7", "op:~", "num:8"}},
      {"db..T;GYM_3.Palestra.dbo.T",
       {"id:db", "punct:.", "punct:.", "id:T", "punct:;", "id:GYM_3", "punct:.", "id:Palestra",
        "punct:.", "id:dbo", "punct:.", "id:T"}},
      // Comments vanish, nested block comments included; a lone N is a name.
      {"SELECT -- x 'unclosed\n a /* b /* c */ d */ , N", {"id:SELECT", "id:a", "punct:,", "id:N"}},
      {"Città_1 Q$2", {"id:Città_1", "id:Q$2"}},
      {"  \t\r\n ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Describe(c.sql), c.tokens) << c.sql;
}

TEST(TsqlLexerTest, TextAndOffsetPointIntoTheStatement) {
  std::string sql = " SELECT  N'a''b' ,[c d]";
  std::vector<Token> tokens = Lex(sql);
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[1].text, "N'a''b'");
  EXPECT_EQ(tokens[1].offset, 9u);
  EXPECT_EQ(tokens[1].value, "a'b");
  EXPECT_EQ(tokens[3].text, "[c d]");
  EXPECT_EQ(tokens[3].offset, 18u);
  EXPECT_EQ(tokens[4].kind, TokenKind::kEnd);
  EXPECT_EQ(tokens[4].offset, sql.size());
}

TEST(TsqlLexerTest, ErrorsCarryLineColumnAndStatement) {
  struct Case {
    const char* sql;
    const char* message;
    int line;
    int column;
  };
  const Case cases[] = {
      {"SELECT 'abc", "unterminated string literal at line 1, column 8 in: SELECT 'abc", 1, 8},
      {"SELECT\n  N'abc", "unterminated string literal at line 2, column 3", 2, 3},
      {"SELECT [a", "unterminated bracketed name at line 1, column 8", 1, 8},
      {"SELECT \"a", "unterminated quoted name", 1, 8},
      {"SELECT 1 /* a /* b */", "unterminated comment at line 1, column 10", 1, 10},
      {"SELECT 0x1F", "malformed number '0x' at line 1, column 8", 1, 8},
      {"SELECT 1.2.3", "malformed number '1.2.'", 1, 8},
      {"SELECT a\n\n   ! b", "unexpected character '!' at line 3, column 4", 3, 4},
      {"SELECT {fn x}", "unexpected character '{'", 1, 8},
      {"SELECT @ ", "unexpected character '@' without a name", 1, 8},
  };
  for (const Case& c : cases) {
    try {
      Lex(c.sql);
      ADD_FAILURE() << "no error for " << c.sql;
    } catch (const TranslateError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << e.what() << " / expected " << c.message;
      EXPECT_EQ(e.line(), c.line) << c.sql;
      EXPECT_EQ(e.column(), c.column) << c.sql;
    }
  }
}

TEST(TsqlLexerTest, LineColumnCountsBytesFromTheLineStart) {
  int line = 0;
  int column = 0;
  std::string sql = "ab\ncd\n\nef";
  const std::pair<std::size_t, std::pair<int, int>> cases[] = {
      {0, {1, 1}}, {2, {1, 3}}, {3, {2, 1}}, {6, {3, 1}}, {8, {4, 2}}, {99, {4, 3}}};
  for (const auto& [offset, expected] : cases) {
    LineColumn(sql, offset, &line, &column);
    EXPECT_EQ(std::make_pair(line, column), expected) << offset;
  }
}

// Whatever a string holds, doubling its delimiters gives one token that reads back the same.
RC_GTEST_PROP(TsqlLexerTest, DelimitedTokensRoundTrip, (const std::string& content)) {
  std::string quoted = "'";
  std::string bracketed = "[";
  for (char c : content) {
    quoted += c;
    if (c == '\'') quoted += c;
    bracketed += c;
    if (c == ']') bracketed += c;
  }
  quoted += "'";
  bracketed += "]";
  for (const std::string& sql : {quoted, "N" + quoted, bracketed}) {
    std::vector<Token> tokens = Lex(sql);
    RC_ASSERT(tokens.size() == 2u);
    RC_ASSERT(tokens[0].value == content);
    RC_ASSERT(tokens[0].text == sql);
  }
}

}  // namespace
}  // namespace zodadovez::bridge
