// The bridge's rewriter: T-SQL in, SQLite (or a refusal) out, from the files in tests/data/bridge;
// the shape cache; and the translated statements run on a real SQLite.
#include "host/data/sqlite/tsql_rewriter.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "module/common/errors.h"

namespace zodadovez::bridge {
namespace {

const std::filesystem::path kData = std::filesystem::path(ZODADOVEZ_TEST_DATA) / "bridge";

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += c;
  }
  return out + "'";
}

std::string ValueLine(const Value& v) {
  switch (v.kind()) {
    case ValueKind::kInteger:
      return "int " + std::to_string(v.as_integer());
    case ValueKind::kDecimal:
      return "dec " + v.as_decimal().ToString();
    case ValueKind::kText:
      return "text " + Quoted(v.as_text());
    case ValueKind::kNull:
      return "null";
    case ValueKind::kEmpty:
    case ValueKind::kBool:
    case ValueKind::kDouble:
    case ValueKind::kDate:
      break;
  }
  return "unexpected " + v.Describe();
}

// A translation as the lines the data files expect, in a fixed order.
std::vector<std::string> Lines(const Translation& t) {
  std::vector<std::string> out;
  switch (t.kind) {
    case Translation::Kind::kStatements:
      for (const std::string& s : t.statements) out.push_back("sql " + s);
      break;
    case Translation::Kind::kSelectInto:
      out.push_back("into " + t.temp_table);
      out.push_back("select " + t.select_sql);
      break;
    case Translation::Kind::kProcedure:
      out.push_back("call " + t.procedure.name);
      for (std::size_t i = 0; i < t.procedure.arguments.size(); ++i) {
        std::string name = t.procedure.names[i].empty() ? "" : t.procedure.names[i] + " = ";
        out.push_back("arg " + name + ValueLine(t.procedure.arguments[i]));
      }
      break;
    case Translation::Kind::kNothing:
      out.push_back("nothing");
      break;
  }
  for (const Value& p : t.parameters) out.push_back("param " + ValueLine(p));
  for (const Attachment& a : t.attachments) {
    out.push_back("attach " + a.alias + " " + (a.linked_server.empty() ? "-" : a.linked_server) +
                  " " + a.database);
  }
  return out;
}

// One case of a data file:
//   translate | error
//   <T-SQL, one or more lines>
//   ----
//   <expected lines: the translation's Lines(), or a part of the error message>
// Cases are separated by a blank line; lines starting with # between cases are comments.
struct Case {
  std::string where;
  bool error = false;
  std::string tsql;
  std::vector<std::string> expected;
};

std::vector<Case> ReadCases(const std::string& file) {
  std::ifstream in(kData / file);
  EXPECT_TRUE(in.good()) << "cannot read " << (kData / file);
  std::vector<Case> cases;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    Case c;
    c.where = file + ":" + std::to_string(number);
    EXPECT_TRUE(line == "translate" || line == "error") << c.where << ": " << line;
    c.error = line == "error";
    bool expected = false;
    while (std::getline(in, line)) {
      ++number;
      if (line.empty()) break;
      if (!expected && line == "----") {
        expected = true;
      } else if (expected) {
        c.expected.push_back(line);
      } else {
        c.tsql += (c.tsql.empty() ? "" : "\n") + line;
      }
    }
    EXPECT_TRUE(expected) << c.where << ": no ---- line";
    cases.push_back(std::move(c));
  }
  return cases;
}

void RunFile(const std::string& file) {
  std::vector<Case> cases = ReadCases(file);
  EXPECT_FALSE(cases.empty()) << file;
  for (const Case& c : cases) {
    Translator translator;
    if (c.error) {
      ASSERT_EQ(c.expected.size(), 1u) << c.where;
      try {
        Translation t = translator.Translate(c.tsql);
        ADD_FAILURE() << c.where << ": translated, expected an error\n"
                      << ::testing::PrintToString(Lines(t));
      } catch (const TranslateError& e) {
        std::string message = e.what();
        EXPECT_NE(message.find(c.expected[0]), std::string::npos)
            << c.where << "\n  message:  " << message << "\n  expected: " << c.expected[0];
        // Every refusal quotes the statement it refused.
        EXPECT_NE(message.find(" in: "), std::string::npos) << c.where << ": " << message;
      }
      continue;
    }
    std::vector<std::string> lines;
    try {
      lines = Lines(translator.Translate(c.tsql));
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.where << ": " << e.what();
      continue;
    }
    EXPECT_EQ(lines, c.expected) << c.where;
    // The second time the cached shape answers, with the same result.
    EXPECT_EQ(Lines(translator.Translate(c.tsql)), c.expected) << c.where << " (cached)";
    EXPECT_EQ(translator.cache_hits(), 1u) << c.where;
  }
}

TEST(TsqlRewriterTest, Queries) { RunFile("select.test"); }
TEST(TsqlRewriterTest, Names) { RunFile("names.test"); }
TEST(TsqlRewriterTest, Changes) { RunFile("dml.test"); }
TEST(TsqlRewriterTest, Definitions) { RunFile("ddl.test"); }
TEST(TsqlRewriterTest, Procedures) { RunFile("procedures.test"); }
TEST(TsqlRewriterTest, Refusals) { RunFile("errors.test"); }

}  // namespace
}  // namespace zodadovez::bridge
