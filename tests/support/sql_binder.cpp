#include "tests/support/sql_binder.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <optional>
#include <set>

#include "host/data/sqlite/tsql_lexer.h"
#include "module/common/decimal.h"
#include "module/common/errors.h"

namespace zodadovez::testing {
namespace {

using bridge::EqualsIgnoreCase;
using bridge::Token;
using bridge::TokenKind;
using schema::Column;
using schema::ColumnKind;
using schema::Table;
using schema::UpperName;

constexpr const char* kSystemTables =
    "CREATE TABLE sysobjects (id int NOT NULL, name sysname NOT NULL, xtype char(2) NOT NULL, "
    "type char(2) NULL, uid smallint NULL, parent_obj int NULL, crdate datetime NULL)";

// Words that are never column names: keywords, hints and the type names of CAST and CONVERT.
const std::set<std::string>& Keywords() {
  static const std::set<std::string> words = {
      "ALL",     "AND",      "ANY",      "APPLY",       "AS",      "ASC",      "BEGIN",
      "BETWEEN", "BY",       "CASE",     "COLLATE",     "COMMIT",  "CREATE",   "CROSS",
      "DEFAULT", "DELETE",   "DESC",     "DISTINCT",    "DROP",    "ELSE",     "END",
      "ESCAPE",  "EXEC",     "EXECUTE",  "EXISTS",      "FETCH",   "FROM",     "FULL",
      "GROUP",   "HAVING",   "HOLDLOCK", "IF",          "IN",      "INNER",    "INSERT",
      "INTO",    "IS",       "JOIN",     "LEFT",        "LIKE",    "NEXT",     "NOLOCK",
      "NOT",     "NULL",     "OFFSET",   "ON",          "ONLY",    "OPTION",   "OR",
      "ORDER",   "OUTER",    "PERCENT",  "READPAST",    "RIGHT",   "ROLLBACK", "ROWLOCK",
      "ROWS",    "SELECT",   "SET",      "SOME",        "TABLE",   "TABLOCK",  "THEN",
      "TIES",    "TOP",      "TRAN",     "TRANSACTION", "UNION",   "UPDATE",   "UPDLOCK",
      "VALUES",  "WHEN",     "WHERE",    "WITH",        "BIGINT",  "BIT",      "CHAR",
      "DATE",    "DATETIME", "DECIMAL",  "FLOAT",       "INT",     "MONEY",    "NCHAR",
      "NUMERIC", "NVARCHAR", "REAL",     "SMALLINT",    "TINYINT", "VARCHAR",  "MAX",
  };
  return words;
}

bool IsWord(const Token& t, std::string_view word) {
  return t.kind == TokenKind::kIdentifier && EqualsIgnoreCase(t.value, word);
}
bool IsPunct(const Token& t, char c) {
  return t.kind == TokenKind::kPunctuation && t.text.size() == 1 && t.text[0] == c;
}
bool IsName(const Token& t) {
  return t.kind == TokenKind::kIdentifier || t.kind == TokenKind::kQuotedIdentifier;
}
bool IsKeyword(const Token& t) {
  return t.kind == TokenKind::kIdentifier && Keywords().count(UpperName(t.value)) > 0;
}
bool IsComparison(const Token& t) {
  if (t.kind != TokenKind::kOperator) return false;
  for (std::string_view op : {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"}) {
    if (t.text == op) return true;
  }
  return false;
}

bool IsNumeric(ColumnKind kind) {
  return kind == ColumnKind::kInteger || kind == ColumnKind::kBit || kind == ColumnKind::kDecimal ||
         kind == ColumnKind::kFloat;
}

std::size_t Utf8Length(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Describe(const Column& c) {
  std::string type = c.type;
  if (c.kind == ColumnKind::kText) {
    type += c.length < 0 ? "(max)" : fmt::format("({})", c.length);
  } else if (c.kind == ColumnKind::kDecimal) {
    type += fmt::format("({}, {})", c.precision, c.scale);
  }
  return fmt::format("{} {}", c.name, type);
}

// A number as SQL Server converts a text into a number: blanks, a sign, digits, one point.
bool IsSqlNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  bool digit = false;
  bool point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

// The date texts SQL Server reads: yyyyMMdd and yyyy-mm-dd, each with an optional
// " hh:mm:ss[.fff]" (or "T" before the time).
bool IsSqlDate(std::string_view text) {
  auto digits = [&](std::size_t at, std::size_t count) {
    if (at + count > text.size()) return false;
    for (std::size_t i = at; i < at + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
  };
  auto number = [&](std::size_t at, std::size_t count) {
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  std::size_t time_at = 0;
  int month = 0;
  int day = 0;
  if (digits(0, 8) && (text.size() == 8 || text[8] == ' ' || text[8] == 'T')) {
    month = number(4, 2);
    day = number(6, 2);
    time_at = 9;
  } else if (digits(0, 4) && text.size() >= 10 && text[4] == '-' && digits(5, 2) &&
             text[7] == '-' && digits(8, 2) &&
             (text.size() == 10 || text[10] == ' ' || text[10] == 'T')) {
    month = number(5, 2);
    day = number(8, 2);
    time_at = 11;
  } else {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (text.size() < time_at) return true;
  std::string_view time = text.substr(time_at);
  const bool hms = time.size() >= 8 && time[2] == ':' && time[5] == ':';
  if (!hms) return false;
  for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u}) {
    if (time[i] < '0' || time[i] > '9') return false;
  }
  return time.size() == 8 || (time[8] == '.' && time.size() > 9);
}

// Whether `value` fits the numeric column; the problem when it does not.
std::optional<std::string> NumberDoesNotFit(const Column& c, const Decimal& value) {
  Int128 magnitude = value.mantissa() < 0 ? -value.mantissa() : value.mantissa();
  int digits = 0;
  for (Int128 m = magnitude; m > 0; m /= 10) ++digits;
  const int integral = std::max(digits - value.scale(), 0);
  if (c.kind == ColumnKind::kDecimal) {
    if (integral > c.precision - c.scale) {
      return fmt::format("{} does not fit {}: arithmetic overflow on SQL Server", value.ToString(),
                         Describe(c));
    }
    return std::nullopt;
  }
  if (c.kind != ColumnKind::kInteger) return std::nullopt;
  if (value.Normalized().scale() > 0) {
    return fmt::format("{} has decimals for the integer column {}: SQL Server truncates them",
                       value.ToString(), Describe(c));
  }
  Int128 low = -2147483648LL;
  Int128 high = 2147483647LL;
  if (c.type == "smallint") {
    low = -32768;
    high = 32767;
  } else if (c.type == "tinyint") {
    low = 0;
    high = 255;
  } else if (c.type == "bigint") {
    low = INT64_MIN;
    high = INT64_MAX;
  }
  Int128 whole = value.mantissa();
  for (int i = 0; i < value.scale(); ++i) whole /= 10;
  if (whole < low || whole > high) {
    return fmt::format("{} is outside the range of {}", value.ToString(), Describe(c));
  }
  return std::nullopt;
}

// One side of a comparison or assignment.
struct Operand {
  enum class Kind { kTyped, kString, kNumber, kNull };
  Kind kind = Kind::kTyped;
  ColumnKind type = ColumnKind::kOther;  // of a typed operand
  const Column* column = nullptr;        // when it is a plain column
  std::string name;                      // for messages
  std::string origin;                    // the database whose collation a text carries
  bool collated = false;                 // followed by COLLATE
  std::string literal;                   // the literal as a value
  std::size_t end = 0;                   // the token after the operand
};

struct TableRef {
  const Table* table = nullptr;  // null for a derived table, whose columns are not known
  std::string name;
  std::string alias;   // empty when none was given
  std::string origin;  // "erp", "gym", "tempdb" or "system"
  bool update_target = false;
};

struct Scope {
  int parent = -1;
  std::vector<TableRef> tables;
};

struct ColumnBinding {
  const Column* column = nullptr;  // null: a column of a derived table
  std::string name;
  std::string origin;
  std::size_t end = 0;
};

// The binding of one DML statement (SELECT, INSERT, UPDATE, DELETE).
class DmlBinder {
 public:
  DmlBinder(const std::string& sql, std::vector<Token> tokens, schema::SchemaModel& erp,
            schema::SchemaModel& gym, schema::SchemaModel& temp, schema::SchemaModel& system,
            std::map<std::string, std::map<std::string, std::string>>& temp_origins)
      : sql_(sql),
        t_(std::move(tokens)),
        erp_(erp),
        gym_(gym),
        temp_(temp),
        system_(system),
        temp_origins_(temp_origins),
        match_(t_.size(), 0),
        scope_of_(t_.size(), 0),
        consumed_(t_.size(), false),
        assignment_(t_.size(), false) {}

  std::vector<std::string> Run() {
    MatchParentheses();
    if (!problems_.empty()) return problems_;
    BuildScopes();
    for (std::size_t i = 0; i + 1 < t_.size(); ++i) {
      if (IsWord(t_[i], "AS") && IsName(t_[i + 1])) aliases_.insert(UpperName(t_[i + 1].value));
    }
    FindTables();
    BindColumns();
    CheckInsertValues();
    CheckSetClause();
    CheckComparisons();
    CreateSelectIntoTable();
    return problems_;
  }

 private:
  const Token& At(std::size_t i) const { return t_[std::min(i, t_.size() - 1)]; }

  void Problem(std::string text) {
    if (std::find(problems_.begin(), problems_.end(), text) == problems_.end()) {
      problems_.push_back(std::move(text));
    }
  }

  void MatchParentheses() {
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < t_.size(); ++i) {
      if (IsPunct(t_[i], '(')) open.push_back(i);
      if (IsPunct(t_[i], ')')) {
        if (open.empty()) return Problem("unbalanced parentheses");
        match_[open.back()] = i;
        match_[i] = open.back();
        open.pop_back();
      }
    }
    if (!open.empty()) Problem("unbalanced parentheses");
  }

  // A subquery "( SELECT ... )" is a scope of its own, inside the one around it.
  void BuildScopes() {
    scopes_.push_back(Scope{});
    for (std::size_t i = 0; i + 1 < t_.size(); ++i) {
      if (!IsPunct(t_[i], '(') || !IsWord(t_[i + 1], "SELECT")) continue;
      Scope scope;
      scope.parent = scope_of_[i];
      scopes_.push_back(scope);
      for (std::size_t k = i + 1; k < match_[i]; ++k)
        scope_of_[k] = static_cast<int>(scopes_.size() - 1);
    }
  }

  // Reads the table reference at `i`; returns the token after it.
  std::size_t ReadTableRef(std::size_t i, bool update_target, bool insert_target,
                           bool select_into) {
    TableRef ref;
    std::size_t j = i;
    const int scope = scope_of_[i];
    if (IsPunct(At(j), '(')) {
      j = match_[j] + 1;  // a derived table: its own scope binds its inside
    } else if (At(j).kind == TokenKind::kTempTable) {
      ref.name = std::string(At(j).text);
      ref.origin = "tempdb";
      consumed_[j++] = true;
      if (!select_into) {
        ref.table = temp_.FindTable(ref.name);
        if (ref.table == nullptr) Problem(fmt::format("unknown temporary table {}", ref.name));
      }
    } else if (IsName(At(j))) {
      std::vector<std::string> parts;
      for (;;) {
        if (IsName(At(j))) {
          parts.push_back(At(j).value);
          consumed_[j++] = true;
        } else {
          parts.push_back("");
        }
        if (!IsPunct(At(j), '.')) break;
        consumed_[j++] = true;
      }
      ref.name = parts.back();
      if (parts.size() >= 3) {
        ref.origin = "gym";
        ref.table = gym_.FindTable(ref.name);
      } else if (parts.size() == 1 && system_.FindTable(ref.name) != nullptr) {
        ref.origin = "system";
        ref.table = system_.FindTable(ref.name);
      } else {
        ref.origin = "erp";
        ref.table = erp_.FindTable(ref.name);
      }
      if (ref.table == nullptr && !select_into) {
        Problem(fmt::format("unknown table {}", fmt::join(parts, ".")));
      }
    } else {
      Problem(fmt::format("expected a table name at \"{}\"", At(j).text));
      return j;
    }
    if (IsWord(At(j), "AS")) {
      consumed_[j++] = true;
      if (IsName(At(j))) {
        ref.alias = At(j).value;
        consumed_[j++] = true;
      }
    } else if (IsName(At(j)) && !IsKeyword(At(j))) {
      ref.alias = At(j).value;
      consumed_[j++] = true;
    }
    if (IsWord(At(j), "WITH") && IsPunct(At(j + 1), '(')) {
      for (std::size_t k = j; k <= match_[j + 1]; ++k) consumed_[k] = true;
      j = match_[j + 1] + 1;
    }
    if (select_into) {
      into_ = ref.name;
      return j;
    }
    if (insert_target) {
      insert_target_ = ref.table;
      return j;
    }
    ref.update_target = update_target;
    std::vector<TableRef>& tables = scopes_[static_cast<std::size_t>(scope)].tables;
    // UPDATE T ... FROM T: the FROM names the same table, not a second one.
    auto same = std::find_if(tables.begin(), tables.end(), [&](const TableRef& other) {
      return other.update_target && other.table == ref.table && ref.table != nullptr;
    });
    if (same != tables.end() && ref.alias.empty()) return j;
    tables.push_back(std::move(ref));
    return j;
  }

  void FindTables() {
    for (std::size_t i = 0; i + 1 < t_.size(); ++i) {
      if (consumed_[i]) continue;
      if (IsWord(t_[i], "FROM") || IsWord(t_[i], "JOIN")) {
        ReadTableRef(i + 1, false, false, false);
      } else if (i == 0 && IsWord(t_[i], "UPDATE")) {
        ReadTableRef(i + 1, true, false, false);
      } else if (IsWord(t_[i], "INTO")) {
        const bool insert = i > 0 && IsWord(t_[i - 1], "INSERT");
        std::size_t after = ReadTableRef(i + 1, false, insert, !insert);
        if (insert && IsPunct(At(after), '(')) ReadInsertColumns(after);
      }
    }
  }

  void ReadInsertColumns(std::size_t open) {
    for (std::size_t k = open + 1; k < match_[open]; ++k) {
      consumed_[k] = true;
      if (!IsName(t_[k])) continue;
      const Column* column =
          insert_target_ == nullptr ? nullptr : insert_target_->Find(t_[k].value);
      if (insert_target_ != nullptr && column == nullptr) {
        Problem(fmt::format("unknown column {} of {}", t_[k].value, insert_target_->name));
      }
      insert_columns_.push_back(column);
    }
  }

  // Where the text of a column of `ref` takes its collation from.
  std::string OriginOf(const TableRef& ref, std::string_view column) const {
    if (ref.origin != "tempdb") return ref.origin;
    auto table = temp_origins_.find(UpperName(ref.name));
    if (table == temp_origins_.end()) return ref.origin;
    auto found = table->second.find(UpperName(column));
    return found == table->second.end() ? ref.origin : found->second;
  }

  // The table (or alias) a qualifier names, looked up from the scope outwards.
  const TableRef* FindQualifier(int scope, std::string_view name) const {
    for (int s = scope; s >= 0; s = scopes_[static_cast<std::size_t>(s)].parent) {
      for (const TableRef& ref : scopes_[static_cast<std::size_t>(s)].tables) {
        const std::string& visible = ref.alias.empty() ? ref.name : ref.alias;
        if (EqualsIgnoreCase(visible, name)) return &ref;
      }
    }
    return nullptr;
  }

  void BindColumns() {
    for (std::size_t i = 0; i + 1 < t_.size(); ++i) {
      if (consumed_[i] || !IsName(t_[i]) || IsKeyword(t_[i])) continue;
      if (t_[i].kind == TokenKind::kIdentifier && IsPunct(At(i + 1), '(')) continue;  // function
      if (i > 0 && (IsWord(t_[i - 1], "AS") || IsWord(t_[i - 1], "COLLATE"))) continue;
      if (i > 0 && IsPunct(t_[i - 1], '.')) continue;
      const int scope = scope_of_[i];
      if (IsPunct(At(i + 1), '.')) {
        const TableRef* ref = FindQualifier(scope, t_[i].value);
        if (ref == nullptr) {
          Problem(
              fmt::format("unknown table or alias {} (the multi-part name {}.{} cannot be "
                          "bound)",
                          t_[i].value, t_[i].value, At(i + 2).text));
          continue;
        }
        if (!IsName(At(i + 2))) continue;  // T.*
        ColumnBinding binding{nullptr, At(i + 2).value, OriginOf(*ref, At(i + 2).value), i + 3};
        if (ref->table != nullptr) {
          binding.column = ref->table->Find(At(i + 2).value);
          if (binding.column == nullptr) {
            Problem(fmt::format("unknown column {}.{} ({} has no such column)", t_[i].value,
                                At(i + 2).value, ref->table->name));
            continue;
          }
        }
        bindings_[i] = binding;
        continue;
      }
      BindUnqualified(i, scope);
    }
  }

  void BindUnqualified(std::size_t i, int scope) {
    const std::string& name = t_[i].value;
    for (int s = scope; s >= 0; s = scopes_[static_cast<std::size_t>(s)].parent) {
      std::vector<const TableRef*> hits;
      bool derived = false;
      for (const TableRef& ref : scopes_[static_cast<std::size_t>(s)].tables) {
        if (ref.table == nullptr) derived = true;
        if (ref.table != nullptr && ref.table->Find(name) != nullptr) hits.push_back(&ref);
      }
      if (hits.size() > 1) {
        Problem(fmt::format("ambiguous column name {}: in {} and {}", name, hits[0]->name,
                            hits[1]->name));
        return;
      }
      if (hits.size() == 1) {
        bindings_[i] =
            ColumnBinding{hits[0]->table->Find(name), name, OriginOf(*hits[0], name), i + 1};
        return;
      }
      if (derived) return;
    }
    if (aliases_.count(UpperName(name)) > 0) return;  // ORDER BY a select-list alias
    Problem(fmt::format("unknown column {}", name));
  }

  // The operand that starts at token `i`, if it is one the checks understand.
  std::optional<Operand> ReadOperand(std::size_t i) const {
    Operand op;
    const Token& t = At(i);
    if (t.kind == TokenKind::kString || t.kind == TokenKind::kNString) {
      op.kind = Operand::Kind::kString;
      op.literal = t.value;
      op.name = std::string(t.text);
      op.end = i + 1;
    } else if (t.kind == TokenKind::kNumber ||
               (t.kind == TokenKind::kOperator && t.text == "-" &&
                At(i + 1).kind == TokenKind::kNumber && (i == 0 || !IsName(t_[i - 1])))) {
      op.kind = Operand::Kind::kNumber;
      op.literal =
          t.kind == TokenKind::kNumber ? std::string(t.text) : "-" + std::string(At(i + 1).text);
      op.name = op.literal;
      op.end = t.kind == TokenKind::kNumber ? i + 1 : i + 2;
    } else if (IsWord(t, "NULL")) {
      op.kind = Operand::Kind::kNull;
      op.name = "NULL";
      op.end = i + 1;
    } else if (auto found = bindings_.find(i); found != bindings_.end()) {
      const ColumnBinding& b = found->second;
      if (b.column == nullptr) return std::nullopt;
      op.type = b.column->kind;
      op.column = b.column;
      op.name = b.column->name;
      op.origin = b.origin;
      op.end = b.end;
    } else if (t.kind == TokenKind::kIdentifier && IsPunct(At(i + 1), '(')) {
      const std::string function = UpperName(t.value);
      const std::size_t close = match_[i + 1];
      std::optional<Operand> inner = ReadOperand(i + 2);
      if (!inner || inner->kind != Operand::Kind::kTyped) return std::nullopt;
      if (function == "ISNULL") {
        op = *inner;
      } else if (function == "UPPER" || function == "LOWER" || function == "RTRIM" ||
                 function == "LTRIM") {
        op = *inner;
        op.column = nullptr;
        op.type = ColumnKind::kText;
        op.name = fmt::format("{}({})", function, inner->name);
      } else {
        return std::nullopt;
      }
      op.end = close + 1;
    } else {
      return std::nullopt;
    }
    if (IsWord(At(op.end), "COLLATE")) {
      op.collated = true;
      op.end += 2;
    }
    return op;
  }

  // A column beside a literal: compared (`assignment` false) or assigned.
  void CheckLiteral(const Operand& column, const Operand& literal, bool assignment) {
    const std::string what = column.column != nullptr ? Describe(*column.column) : column.name;
    switch (literal.kind) {
      case Operand::Kind::kTyped:
        return;
      case Operand::Kind::kNull:
        if (!assignment) {
          Problem(
              fmt::format("compares {} with NULL by an operator: true for no row under "
                          "ANSI_NULLS; write IS NULL",
                          what));
        } else if (column.column != nullptr && !column.column->nullable) {
          Problem(fmt::format("assigns NULL to {}, which is NOT NULL", what));
        }
        return;
      case Operand::Kind::kString:
        if (column.type == ColumnKind::kText) {
          if (assignment && column.column != nullptr && column.column->length > 0 &&
              Utf8Length(literal.literal) > static_cast<std::size_t>(column.column->length)) {
            Problem(
                fmt::format("{} has {} characters, more than {} holds: SQL Server refuses "
                            "the truncation",
                            literal.name, Utf8Length(literal.literal), what));
          }
        } else if (IsNumeric(column.type)) {
          Decimal value;
          if (!IsSqlNumber(literal.literal) || !Decimal::TryParse(literal.literal, &value)) {
            Problem(
                fmt::format("{} beside the text {}, which SQL Server cannot convert to a "
                            "number",
                            what, literal.name));
          } else if (assignment && column.column != nullptr) {
            if (auto problem = NumberDoesNotFit(*column.column, value)) Problem(*problem);
          }
        } else if (column.type == ColumnKind::kDate && !IsSqlDate(literal.literal)) {
          Problem(
              fmt::format("{} beside the text {}, which is no date text SQL Server reads "
                          "under every language",
                          what, literal.name));
        }
        return;
      case Operand::Kind::kNumber: {
        Decimal value;
        const bool parsed = Decimal::TryParse(literal.literal, &value);
        if (column.type == ColumnKind::kText) {
          if (!assignment || !parsed || value.scale() > 0) {
            Problem(
                fmt::format("{} beside the number {}: SQL Server converts the text to a "
                            "number, and fails on any row that holds no number",
                            what, literal.name));
          }
        } else if (column.type == ColumnKind::kDate) {
          Problem(fmt::format("{} beside the number {}: SQL Server reads it as a count of days",
                              what, literal.name));
        } else if (assignment && parsed && column.column != nullptr) {
          if (auto problem = NumberDoesNotFit(*column.column, value)) Problem(*problem);
        }
        return;
      }
    }
  }

  void CheckColumns(const Operand& a, const Operand& b) {
    if (a.type == ColumnKind::kOther || b.type == ColumnKind::kOther) return;
    const bool a_numeric = IsNumeric(a.type);
    const bool b_numeric = IsNumeric(b.type);
    if (a.type == ColumnKind::kText && b.type == ColumnKind::kText) {
      if (a.origin != b.origin && !a.collated && !b.collated) {
        Problem(
            fmt::format("compares the text of {} ({}) with {} ({}) without COLLATE: a "
                        "collation conflict when the databases' collations differ",
                        a.name, a.origin, b.name, b.origin));
      }
    } else if (!(a_numeric && b_numeric) && a.type != b.type) {
      Problem(
          fmt::format("compares {} with {}, whose types do not convert into each other "
                      "without loss",
                      a.name, b.name));
    }
  }

  void Check(const Operand& a, const Operand& b, bool assignment) {
    if (a.kind == Operand::Kind::kTyped && b.kind == Operand::Kind::kTyped) {
      CheckColumns(a, b);
    } else if (a.kind == Operand::Kind::kTyped) {
      CheckLiteral(a, b, assignment);
    } else if (b.kind == Operand::Kind::kTyped) {
      CheckLiteral(b, a, assignment);
    }
  }

  void CheckInsertValues() {
    for (std::size_t i = 0; i + 1 < t_.size(); ++i) {
      if (!IsWord(t_[i], "VALUES") || !IsPunct(t_[i + 1], '(')) continue;
      std::size_t k = i + 2;
      for (const Column* column : insert_columns_) {
        std::optional<Operand> value = ReadOperand(k);
        if (column != nullptr && value) {
          Operand target;
          target.type = column->kind;
          target.column = column;
          target.name = column->name;
          CheckLiteral(target, *value, true);
        }
        while (k < match_[i + 1] && !IsPunct(t_[k], ',')) {
          k = IsPunct(t_[k], '(') ? match_[k] + 1 : k + 1;
        }
        ++k;
      }
    }
  }

  // UPDATE ... SET c = value, ...: each assignment, up to FROM or WHERE of the statement.
  void CheckSetClause() {
    if (!IsWord(At(0), "UPDATE")) return;
    std::size_t i = 0;
    while (i < t_.size() && !(IsWord(t_[i], "SET") && scope_of_[i] == 0)) ++i;
    bool item_start = true;
    for (++i; i + 1 < t_.size(); ++i) {
      if (scope_of_[i] == 0 && (IsWord(t_[i], "FROM") || IsWord(t_[i], "WHERE"))) break;
      if (IsPunct(t_[i], '(')) {
        i = match_[i];
        continue;
      }
      if (IsPunct(t_[i], ',')) {
        item_start = true;
        continue;
      }
      if (!item_start) continue;
      item_start = false;
      std::optional<Operand> target = ReadOperand(i);
      if (!target || target->kind != Operand::Kind::kTyped) continue;
      if (!IsComparison(At(target->end)) || At(target->end).text != "=") continue;
      assignment_[target->end] = true;
      if (std::optional<Operand> value = ReadOperand(target->end + 1)) {
        Check(*target, *value, true);
      }
    }
  }

  void CheckComparisons() {
    for (std::size_t i = 0; i + 1 < t_.size(); ++i) {
      std::optional<Operand> left = ReadOperand(i);
      if (!left) continue;
      const Token& op = At(left->end);
      if (IsComparison(op) && !assignment_[left->end]) {
        if (std::optional<Operand> right = ReadOperand(left->end + 1)) Check(*left, *right, false);
        continue;
      }
      std::size_t next = left->end;
      if (IsWord(At(next), "NOT")) ++next;
      if (IsWord(At(next), "IN") && IsPunct(At(next + 1), '(') && !IsWord(At(next + 2), "SELECT")) {
        for (std::size_t k = next + 2; k < match_[next + 1]; ++k) {
          if (IsPunct(t_[k], ',')) continue;
          if (std::optional<Operand> item = ReadOperand(k)) {
            Check(*left, *item, false);
            k = item->end - 1;
          }
        }
      } else if (IsWord(At(next), "BETWEEN")) {
        std::optional<Operand> low = ReadOperand(next + 1);
        if (!low) continue;
        Check(*left, *low, false);
        if (IsWord(At(low->end), "AND")) {
          if (std::optional<Operand> high = ReadOperand(low->end + 1)) Check(*left, *high, false);
        }
      }
    }
  }

  // SELECT <list> INTO #T FROM ...: #T gets a column per item, named by its alias or its column,
  // typed as its column when the item is one.
  void CreateSelectIntoTable() {
    if (into_.empty()) return;
    std::size_t into = 0;
    while (into < t_.size() && !(IsWord(t_[into], "INTO") && scope_of_[into] == 0)) ++into;
    std::size_t i = 1;
    if (IsWord(At(i), "DISTINCT")) ++i;
    if (IsWord(At(i), "TOP")) i += 2;
    Table table;
    table.name = into_;
    std::map<std::string, std::string> origins;
    while (i < into) {
      std::size_t end = i;
      while (end < into && !IsPunct(t_[end], ',')) {
        end = IsPunct(t_[end], '(') ? match_[end] + 1 : end + 1;
      }
      Column column;
      std::string origin = "tempdb";
      std::size_t expression_end = end;
      if (end >= i + 2 && IsWord(t_[end - 2], "AS")) {
        column.name = t_[end - 1].value;
        expression_end = end - 2;
      }
      auto found = bindings_.find(i);
      if (found != bindings_.end() && found->second.end == expression_end) {
        if (found->second.column != nullptr) {
          const std::string name = column.name;
          column = *found->second.column;
          column.nullable = true;
          column.identity = false;
          column.has_default = false;
          if (!name.empty()) column.name = name;
        }
        if (column.name.empty()) column.name = found->second.name;
        origin = found->second.origin;
      }
      if (column.name.empty()) {
        Problem(
            fmt::format("the item at \"{}\" of SELECT ... INTO {} has no name", t_[i].text, into_));
      } else {
        origins[UpperName(column.name)] = origin;
        table.columns.push_back(std::move(column));
      }
      i = end + 1;
    }
    std::string ddl = fmt::format("CREATE TABLE {} (", into_);
    for (std::size_t k = 0; k < table.columns.size(); ++k) {
      const Column& c = table.columns[k];
      std::string type = c.kind == ColumnKind::kOther ? std::string("sql_variant") : c.type;
      if (c.kind == ColumnKind::kText) {
        type += c.length < 0 ? "(max)" : fmt::format("({})", c.length);
      } else if (c.kind == ColumnKind::kDecimal) {
        type += fmt::format("({}, {})", c.precision, c.scale);
      }
      ddl += fmt::format("{}[{}] {} NULL", k == 0 ? "" : ", ", c.name, type);
    }
    ddl += ")";
    temp_.AddTable(ddl);
    temp_origins_[UpperName(into_)] = std::move(origins);
  }

  std::string sql_;
  std::vector<Token> t_;
  schema::SchemaModel& erp_;
  schema::SchemaModel& gym_;
  schema::SchemaModel& temp_;
  schema::SchemaModel& system_;
  std::map<std::string, std::map<std::string, std::string>>& temp_origins_;
  std::vector<std::size_t> match_;
  std::vector<int> scope_of_;
  std::vector<bool> consumed_;
  std::vector<bool> assignment_;  // "=" tokens of SET assignments
  std::vector<Scope> scopes_;
  std::set<std::string> aliases_;
  std::map<std::size_t, ColumnBinding> bindings_;
  std::vector<std::string> problems_;
  const Table* insert_target_ = nullptr;
  std::vector<const Column*> insert_columns_;
  std::string into_;
};

}  // namespace

StatementBinder::StatementBinder(schema::SchemaModel erp, schema::SchemaModel gym)
    : erp_(std::move(erp)), gym_(std::move(gym)) {
  system_.AddTable(kSystemTables);
}

std::vector<std::string> StatementBinder::Check(const StatementRecord& record) {
  switch (record.kind) {
    case StatementRecord::Kind::kExecute:
    case StatementRecord::Kind::kOpen:
      return CheckText(record.text);
    case StatementRecord::Kind::kInsert:
    case StatementRecord::Kind::kUpdate: {
      std::vector<std::string> problems = CheckWrite(record.write);
      if (record.kind == StatementRecord::Kind::kUpdate) {
        const Table* table = erp_.FindTable(record.write.table);
        if (table != nullptr && table->primary_key.empty()) {
          problems.push_back(
              fmt::format("updates a row of {}, which has no primary key to find "
                          "it by",
                          table->name));
        }
      }
      return problems;
    }
  }
  return {};
}

std::vector<std::string> StatementBinder::CheckWrite(const RowWrite& write) {
  std::vector<std::string> problems;
  const Table* table = erp_.FindTable(write.table);
  if (table == nullptr) return {fmt::format("unknown table {}", write.table)};
  for (std::size_t i = 0; i < write.columns.size() && i < write.values.size(); ++i) {
    const Column* c = table->Find(write.columns[i]);
    if (c == nullptr) {
      problems.push_back(fmt::format("unknown column {} of {}", write.columns[i], table->name));
      continue;
    }
    if (c->identity) {
      problems.push_back(
          fmt::format("assigns the identity column {}: SQL Server refuses an "
                      "explicit value",
                      c->name));
    }
    const Value& v = write.values[i];
    const std::string what = Describe(*c);
    auto mismatch = [&](std::string_view why) {
      problems.push_back(fmt::format("{} written into {}: {}", v.Describe(), what, why));
    };
    auto fits = [&](const Decimal& number) {
      if (auto problem = NumberDoesNotFit(*c, number)) problems.push_back(*problem);
    };
    switch (v.kind()) {
      case ValueKind::kEmpty:
      case ValueKind::kNull:
        if (!c->nullable && !c->has_default) mismatch("the column is NOT NULL");
        break;
      case ValueKind::kBool:
        if (!IsNumeric(c->kind)) mismatch("a boolean for a column that is no number");
        break;
      case ValueKind::kInteger:
        if (c->kind == ColumnKind::kDate) mismatch("a number is no date");
        if (IsNumeric(c->kind)) fits(Decimal(v.as_integer()));
        if (c->kind == ColumnKind::kText && c->length > 0 &&
            std::to_string(v.as_integer()).size() > static_cast<std::size_t>(c->length)) {
          mismatch("more digits than the column holds");
        }
        break;
      case ValueKind::kDecimal:
      case ValueKind::kDouble: {
        if (c->kind == ColumnKind::kDate) {
          mismatch("a number is no date");
          break;
        }
        Decimal number = v.ToDecimal();
        if (c->kind == ColumnKind::kText && number.Normalized().scale() > 0) {
          mismatch("SQL Server writes a decimal as text with its own scale");
        }
        if (IsNumeric(c->kind)) fits(number);
        break;
      }
      case ValueKind::kText:
        if (c->kind == ColumnKind::kText) {
          if (c->length > 0 && Utf8Length(v.as_text()) > static_cast<std::size_t>(c->length)) {
            mismatch(fmt::format("{} characters, SQL Server refuses the truncation",
                                 Utf8Length(v.as_text())));
          }
        } else if (IsNumeric(c->kind)) {
          try {
            fits(v.ToDecimal());
          } catch (const Error&) {
            mismatch("a text that converts to no number");
          }
        } else if (c->kind == ColumnKind::kDate) {
          try {
            v.ToDate();
          } catch (const Error&) {
            mismatch("a text that converts to no date");
          }
        }
        break;
      case ValueKind::kDate:
        if (c->kind != ColumnKind::kDate)
          mismatch("SQL Server writes a date as text in its own form");
        break;
    }
  }
  return problems;
}

std::vector<std::string> StatementBinder::CheckText(const std::string& sql) {
  std::vector<Token> tokens;
  try {
    tokens = bridge::Lex(sql);
  } catch (const Error& e) {
    return {fmt::format("cannot be read: {}", e.what())};
  }
  const Token& first = tokens.front();
  const Token& second = tokens.size() > 1 ? tokens[1] : tokens.front();
  if (IsWord(first, "CREATE") && IsWord(second, "TABLE")) {
    try {
      const Table* created = nullptr;
      if (tokens.size() > 2 && tokens[2].kind == TokenKind::kTempTable) {
        created = &temp_.AddTable(sql);
        // Texts of a #table take tempdb's collation unless declared with the database's.
        const bool database_default = sql.find("DATABASE_DEFAULT") != std::string::npos;
        std::map<std::string, std::string>& origins = temp_origins_[UpperName(created->name)];
        origins.clear();
        for (const Column& c : created->columns) {
          origins[UpperName(c.name)] = database_default ? "erp" : "tempdb";
        }
      } else {
        erp_.AddTable(sql);
      }
    } catch (const ConfigError& e) {
      return {e.what()};
    }
    return {};
  }
  if (IsWord(first, "ALTER") && IsWord(second, "TABLE")) {
    try {
      erp_.AddScript(sql);
    } catch (const ConfigError& e) {
      return {e.what()};
    }
    return {};
  }
  // DROP TABLE #T, alone or after IF OBJECT_ID(...) IS NOT NULL.
  for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
    if (IsWord(tokens[i], "DROP") && IsWord(tokens[i + 1], "TABLE")) {
      if (tokens[i + 2].kind == TokenKind::kTempTable) {
        temp_.RemoveTable(tokens[i + 2].text);
        return {};
      }
      if (erp_.FindTable(tokens[i + 2].value) == nullptr) {
        return {fmt::format("drops the unknown table {}", tokens[i + 2].value)};
      }
      return {};
    }
  }
  if (IsWord(first, "CREATE") && IsWord(second, "INDEX")) {
    // CREATE INDEX name ON [schema].table (...): the table must be known.
    for (std::size_t i = 2; i + 1 < tokens.size(); ++i) {
      if (!IsWord(tokens[i], "ON")) continue;
      std::size_t t = i + 1;
      if (t + 2 < tokens.size() && IsPunct(tokens[t + 1], '.')) t += 2;
      if (erp_.FindTable(tokens[t].value) == nullptr) {
        return {fmt::format("indexes the unknown table {}", tokens[t].value)};
      }
      return {};
    }
    return {"an index without its table"};
  }
  if (IsWord(first, "BEGIN") || IsWord(first, "COMMIT") || IsWord(first, "ROLLBACK") ||
      IsWord(first, "SAVE") || IsWord(first, "SET")) {
    return {};
  }
  std::size_t name_at = IsWord(first, "EXEC") || IsWord(first, "EXECUTE") ? 1 : 0;
  if (const schema::Procedure* p = erp_.FindProcedure(tokens[name_at].value);
      p != nullptr && IsName(tokens[name_at])) {
    std::vector<std::string> problems;
    std::size_t positional = 0;
    bool named_seen = false;
    int depth = 0;
    bool item_start = true;
    for (std::size_t i = name_at + 1; tokens[i].kind != TokenKind::kEnd; ++i) {
      if (IsPunct(tokens[i], '(')) ++depth;
      if (IsPunct(tokens[i], ')')) --depth;
      if (depth == 0 && IsPunct(tokens[i], ',')) {
        item_start = true;
        continue;
      }
      if (!item_start) continue;
      item_start = false;
      if (tokens[i].kind == TokenKind::kVariable && tokens[i + 1].text == "=") {
        named_seen = true;
        const auto& params = p->parameters;
        if (std::none_of(params.begin(), params.end(), [&](const std::string& param) {
              return EqualsIgnoreCase(param, tokens[i].text);
            })) {
          problems.push_back(fmt::format("{} has no parameter {}", p->name, tokens[i].text));
        }
      } else if (named_seen) {
        problems.push_back(
            fmt::format("a value without name after named ones in the call of {}", p->name));
      } else if (++positional > p->parameters.size()) {
        problems.push_back(fmt::format("{} takes {} parameters", p->name, p->parameters.size()));
      }
    }
    return problems;
  }
  if (!IsWord(first, "SELECT") && !IsWord(first, "INSERT") && !IsWord(first, "UPDATE") &&
      !IsWord(first, "DELETE")) {
    return {fmt::format("a statement the binder does not know (\"{}\")", first.text)};
  }
  DmlBinder binder(sql, std::move(tokens), erp_, gym_, temp_, system_, temp_origins_);
  return binder.Run();
}

}  // namespace zodadovez::testing
