#include "host/schema/schema_model.h"

#include <fmt/format.h>

#include <charconv>

#include "host/data/sqlite/tsql_lexer.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/errors.h"

namespace zodadovez::schema {
namespace {

using bridge::EqualsIgnoreCase;
using bridge::Token;
using bridge::TokenKind;

// A cursor over one statement's tokens; errors name the statement's first line.
class Reader {
 public:
  explicit Reader(std::string_view sql) : sql_(sql), tokens_(bridge::Lex(sql)) {}

  const Token& Peek(std::size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  const Token& Take() {
    const Token& t = Peek();
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return t;
  }
  bool AtEnd() const { return Peek().kind == TokenKind::kEnd; }
  bool IsWord(std::string_view word, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == TokenKind::kIdentifier && EqualsIgnoreCase(t.value, word);
  }
  bool IsPunct(char c, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == TokenKind::kPunctuation && t.text.size() == 1 && t.text[0] == c;
  }
  bool TakeWord(std::string_view word) {
    if (!IsWord(word)) return false;
    Take();
    return true;
  }
  bool TakePunct(char c) {
    if (!IsPunct(c)) return false;
    Take();
    return true;
  }
  void ExpectPunct(char c) {
    if (!TakePunct(c)) Fail(fmt::format("expected '{}'", c));
  }
  // A name: identifier or [quoted] identifier.
  std::string Name() {
    const Token& t = Peek();
    if (t.kind != TokenKind::kIdentifier && t.kind != TokenKind::kQuotedIdentifier) {
      Fail("expected a name");
    }
    return Take().value;
  }
  // A possibly qualified object name (db.dbo.T, [dbo].[T], #T): the last part.
  std::string ObjectName() {
    if (Peek().kind == TokenKind::kTempTable) return std::string(Take().text);
    std::string name = Name();
    while (IsPunct('.')) {
      Take();
      if (IsPunct('.')) continue;  // db..T
      name = Name();
    }
    return name;
  }
  // Skips a parenthesised group, the opening parenthesis being the next token.
  void SkipGroup() {
    ExpectPunct('(');
    int depth = 1;
    while (depth > 0) {
      if (AtEnd()) Fail("unbalanced parentheses");
      if (IsPunct('(')) ++depth;
      if (IsPunct(')')) --depth;
      Take();
    }
  }
  std::vector<std::string> NameList() {
    std::vector<std::string> names;
    ExpectPunct('(');
    do {
      names.push_back(Name());
      TakeWord("ASC") || TakeWord("DESC");
    } while (TakePunct(','));
    ExpectPunct(')');
    return names;
  }
  int Integer() {
    const Token& t = Peek();
    int value = 0;
    if (t.kind == TokenKind::kNumber) {
      auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), value);
      if (ec == std::errc() && end == t.text.data() + t.text.size()) {
        Take();
        return value;
      }
    }
    Fail("expected a whole number");
  }

  [[noreturn]] void Fail(const std::string& detail) const {
    std::string_view first_line = sql_.substr(0, sql_.find('\n'));
    throw ConfigError(fmt::format("schema: {} at \"{}\" in: {}", detail, Peek().text, first_line));
  }

 private:
  std::string_view sql_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

// True when the statement's first two words are `a` and `b`.
bool StartsWith(const Reader& r, std::string_view a, std::string_view b) {
  return r.IsWord(a) && r.IsWord(b, 1);
}

// The type and its arguments: varchar(20), decimal(19, 6), nvarchar(max), [int].
void ReadType(Reader& r, Column& c) {
  c.type = r.Name();
  for (char& ch : c.type) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  c.kind = KindOfType(c.type);
  if (c.type == "text" || c.type == "ntext") c.length = -1;
  if (!r.TakePunct('(')) return;
  int first = 0;
  if (r.TakeWord("max")) {
    first = -1;
  } else {
    first = r.Integer();
  }
  int second = 0;
  if (r.TakePunct(',')) second = r.Integer();
  r.ExpectPunct(')');
  if (c.kind == ColumnKind::kText) {
    c.length = first;
  } else if (c.kind == ColumnKind::kDecimal) {
    c.precision = first;
    c.scale = second;
  }
}

// Column attributes up to the comma or parenthesis that ends the definition.
void ReadAttributes(Reader& r, Column& c, std::vector<std::string>& primary_key) {
  while (!r.IsPunct(',') && !r.IsPunct(')')) {
    if (r.AtEnd()) r.Fail("unterminated column definition");
    if (r.TakeWord("NOT")) {
      if (!r.TakeWord("NULL")) r.Fail("expected NULL after NOT");
      c.nullable = false;
    } else if (r.TakeWord("NULL")) {
      c.nullable = true;
    } else if (r.TakeWord("IDENTITY")) {
      c.identity = true;
      c.nullable = false;
      if (r.IsPunct('(')) r.SkipGroup();
    } else if (r.TakeWord("DEFAULT")) {
      c.has_default = true;
      if (r.IsPunct('(')) {
        r.SkipGroup();
      } else {
        if (r.Peek().kind == TokenKind::kOperator) r.Take();  // a sign
        r.Take();
      }
    } else if (r.TakeWord("COLLATE") || r.TakeWord("CONSTRAINT")) {
      r.Name();
    } else if (r.TakeWord("PRIMARY")) {
      if (!r.TakeWord("KEY")) r.Fail("expected KEY after PRIMARY");
      r.TakeWord("CLUSTERED") || r.TakeWord("NONCLUSTERED");
      primary_key = {c.name};
      c.nullable = false;
    } else if (r.IsPunct('(')) {
      r.SkipGroup();
    } else {
      r.Take();  // ROWGUIDCOL, SPARSE, UNIQUE, CLUSTERED and the like
    }
  }
}

void ReadTableConstraint(Reader& r, Table& table) {
  if (r.TakeWord("CONSTRAINT")) r.Name();
  if (r.TakeWord("PRIMARY")) {
    if (!r.TakeWord("KEY")) r.Fail("expected KEY after PRIMARY");
    r.TakeWord("CLUSTERED") || r.TakeWord("NONCLUSTERED");
    table.primary_key = r.NameList();
    for (const std::string& key : table.primary_key) {
      for (Column& c : table.columns) {
        if (EqualsIgnoreCase(c.name, key)) c.nullable = false;
      }
    }
  }
  // Whatever follows (WITH FILLFACTOR, UNIQUE (...), FOREIGN KEY ...) up to the next item, or
  // to the end of an ALTER TABLE.
  while (!r.IsPunct(',') && !r.IsPunct(')') && !r.AtEnd()) {
    if (r.IsPunct('(')) {
      r.SkipGroup();
    } else {
      r.Take();
    }
  }
}

bool IsTableConstraint(const Reader& r) {
  return r.IsWord("CONSTRAINT") || r.IsWord("PRIMARY") || r.IsWord("UNIQUE") ||
         r.IsWord("FOREIGN") || r.IsWord("CHECK") || r.IsWord("INDEX");
}

Table ReadCreateTable(Reader& r) {
  if (!r.TakeWord("CREATE") || !r.TakeWord("TABLE")) r.Fail("expected CREATE TABLE");
  Table table;
  table.name = r.ObjectName();
  r.ExpectPunct('(');
  do {
    if (IsTableConstraint(r)) {
      ReadTableConstraint(r, table);
      continue;
    }
    Column c;
    c.name = r.Name();
    ReadType(r, c);
    ReadAttributes(r, c, table.primary_key);
    table.columns.push_back(std::move(c));
  } while (r.TakePunct(','));
  r.ExpectPunct(')');
  return table;
}

Procedure ReadCreateProcedure(Reader& r) {
  Procedure p;
  p.name = r.ObjectName();
  bool parenthesised = r.TakePunct('(');
  while (r.Peek().kind == TokenKind::kVariable) {
    p.parameters.push_back(std::string(r.Take().text));
    Column ignored;
    ReadType(r, ignored);
    // Default, OUTPUT, READONLY: up to the comma or the AS that ends the list.
    while (!r.IsPunct(',') && !r.IsWord("AS") && !r.IsWord("WITH") && !r.IsPunct(')')) {
      if (r.AtEnd()) r.Fail("unterminated parameter list");
      r.Take();
    }
    if (!r.TakePunct(',')) break;
  }
  if (parenthesised) r.ExpectPunct(')');
  if (!r.IsWord("AS") && !r.IsWord("WITH")) r.Fail("expected AS after the parameters");
  return p;
}

}  // namespace

std::string UpperName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

ColumnKind KindOfType(std::string_view type) {
  const std::string t = UpperName(type);
  for (const char* text : {"CHAR", "VARCHAR", "NCHAR", "NVARCHAR", "TEXT", "NTEXT", "SYSNAME"}) {
    if (t == text) return ColumnKind::kText;
  }
  for (const char* integer : {"INT", "SMALLINT", "TINYINT", "BIGINT"}) {
    if (t == integer) return ColumnKind::kInteger;
  }
  if (t == "BIT") return ColumnKind::kBit;
  if (t == "DECIMAL" || t == "NUMERIC" || t == "MONEY" || t == "SMALLMONEY") {
    return ColumnKind::kDecimal;
  }
  if (t == "FLOAT" || t == "REAL") return ColumnKind::kFloat;
  for (const char* date : {"DATETIME", "SMALLDATETIME", "DATE", "DATETIME2", "DATETIMEOFFSET"}) {
    if (t == date) return ColumnKind::kDate;
  }
  return ColumnKind::kOther;
}

const Column* Table::Find(std::string_view column) const {
  for (const Column& c : columns) {
    if (EqualsIgnoreCase(c.name, column)) return &c;
  }
  return nullptr;
}

void SchemaModel::AddScript(std::string_view script) {
  for (const std::string& batch : bridge::SplitBatches(script)) {
    Reader r(batch);
    if (StartsWith(r, "CREATE", "TABLE")) {
      AddTable(batch);
    } else if (r.IsWord("CREATE") && (r.IsWord("PROCEDURE", 1) || r.IsWord("PROC", 1))) {
      r.Take();
      r.Take();
      Procedure p = ReadCreateProcedure(r);
      procedures_[UpperName(p.name)] = std::move(p);
    } else if (StartsWith(r, "ALTER", "TABLE")) {
      r.Take();
      r.Take();
      Table* table = FindTable(r.ObjectName());
      if (table == nullptr) r.Fail("ALTER TABLE of an unknown table");
      if (r.TakeWord("WITH")) r.Take();  // CHECK or NOCHECK
      if (r.TakeWord("ADD")) ReadTableConstraint(r, *table);
    }
  }
}

const Table& SchemaModel::AddTable(std::string_view create_table) {
  Reader r(create_table);
  Table table = ReadCreateTable(r);
  std::string key = UpperName(table.name);
  return tables_[key] = std::move(table);
}

void SchemaModel::RemoveTable(std::string_view name) { tables_.erase(UpperName(name)); }

const Table* SchemaModel::FindTable(std::string_view name) const {
  auto found = tables_.find(UpperName(name));
  return found == tables_.end() ? nullptr : &found->second;
}

Table* SchemaModel::FindTable(std::string_view name) {
  auto found = tables_.find(UpperName(name));
  return found == tables_.end() ? nullptr : &found->second;
}

const Procedure* SchemaModel::FindProcedure(std::string_view name) const {
  auto found = procedures_.find(UpperName(name));
  return found == procedures_.end() ? nullptr : &found->second;
}

std::vector<const Table*> SchemaModel::tables() const {
  std::vector<const Table*> out;
  for (const auto& [key, table] : tables_) out.push_back(&table);
  return out;
}

}  // namespace zodadovez::schema
