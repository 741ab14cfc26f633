// The T-SQL bridge's rewriter: a recursive pass over the lexer's tokens that knows statements,
// clauses, nesting and expressions well enough to rewrite what SQLite reads differently, and
// refuses what it does not know rather than passing it through.
#include "host/data/sqlite/tsql_rewriter.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "host/data/sqlite/tsql_lexer.h"
#include "module/common/decimal.h"
#include "module/common/errors.h"

namespace zodadovez::bridge {
namespace {

// ---------------------------------------------------------------------------------------------
// Words

std::string Upper(std::string_view word) {
  std::string out(word);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// A set of upper-case words, given as one blank-separated text.
class WordSet {
 public:
  explicit WordSet(std::string_view words) {
    std::size_t start = 0;
    while (start < words.size()) {
      std::size_t end = words.find(' ', start);
      if (end == std::string_view::npos) end = words.size();
      if (end > start) words_.emplace(words.substr(start, end - start));
      start = end + 1;
    }
  }
  bool Contains(std::string_view word) const { return words_.count(Upper(word)) != 0; }

 private:
  std::unordered_set<std::string> words_;
};

// T-SQL's reserved words: they are never names unless bracketed, so they end an expression, a
// select item or a table source. (OUTPUT, APPLY and the like are not reserved; the clause that
// meets one refuses it.)
const WordSet& ReservedWords() {
  static const WordSet kWords(
      "ADD ALL ALTER AND ANY AS ASC BEGIN BETWEEN BREAK BY CASCADE CASE CHECK CLOSE CLUSTERED "
      "COALESCE COLLATE COLUMN COMMIT COMPUTE CONSTRAINT CONTAINS CONTINUE CONVERT CREATE "
      "CROSS CURRENT CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP CURRENT_USER CURSOR DATABASE "
      "DBCC DEALLOCATE DECLARE DEFAULT DELETE DENY DESC DISTINCT DOUBLE DROP ELSE END ESCAPE "
      "EXCEPT EXEC EXECUTE EXISTS EXIT FETCH FILLFACTOR FOR FOREIGN FROM FULL FUNCTION GOTO "
      "GRANT GROUP HAVING HOLDLOCK IDENTITY IF IN INDEX INNER INSERT INTERSECT INTO IS JOIN "
      "KEY KILL LEFT LIKE MERGE NATIONAL NOCHECK NONCLUSTERED NOT NULL NULLIF OF OFF ON OPEN "
      "OPENQUERY OPENROWSET OPTION OR ORDER OUTER OVER PERCENT PIVOT PLAN PRIMARY PRINT PROC "
      "PROCEDURE PUBLIC RAISERROR READ REFERENCES RETURN REVOKE RIGHT ROLLBACK ROWCOUNT "
      "ROWGUIDCOL RULE SAVE SCHEMA SELECT SESSION_USER SET SOME SYSTEM_USER TABLE TABLESAMPLE "
      "THEN TO TOP TRAN TRANSACTION TRIGGER TRUNCATE UNION UNIQUE UNPIVOT UPDATE USE USER "
      "VALUES VIEW WAITFOR WHEN WHERE WHILE WITH");
  return kWords;
}

// SQLite's keywords: a name spelled like one is quoted, whatever T-SQL thinks of it.
const WordSet& SqliteKeywords() {
  static const WordSet kWords(
      "ABORT ACTION ADD AFTER ALL ALTER ALWAYS ANALYZE AND AS ASC ATTACH AUTOINCREMENT BEFORE "
      "BEGIN BETWEEN BY CASCADE CASE CAST CHECK COLLATE COLUMN COMMIT CONFLICT CONSTRAINT "
      "CREATE CROSS CURRENT CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP DATABASE DEFAULT "
      "DEFERRABLE DEFERRED DELETE DESC DETACH DISTINCT DO DROP EACH ELSE END ESCAPE EXCEPT "
      "EXCLUDE EXCLUSIVE EXISTS EXPLAIN FAIL FILTER FIRST FOLLOWING FOR FOREIGN FROM FULL "
      "GENERATED GLOB GROUP GROUPS HAVING IF IGNORE IMMEDIATE IN INDEX INDEXED INITIALLY INNER "
      "INSERT INSTEAD INTERSECT INTO IS ISNULL JOIN KEY LAST LEFT LIKE LIMIT MATCH "
      "MATERIALIZED NATURAL NO NOT NOTHING NOTNULL NULL NULLS OF OFFSET ON OR ORDER OTHERS "
      "OUTER OVER PARTITION PLAN PRAGMA PRECEDING PRIMARY QUERY RAISE RANGE RECURSIVE "
      "REFERENCES REGEXP REINDEX RELEASE RENAME REPLACE RESTRICT RETURNING RIGHT ROLLBACK ROW "
      "ROWS SAVEPOINT SELECT SET TABLE TEMP TEMPORARY THEN TIES TO TRANSACTION TRIGGER "
      "UNBOUNDED UNION UNIQUE UPDATE USING VACUUM VALUES VIEW VIRTUAL WHEN WHERE WINDOW WITH "
      "WITHOUT");
  return kWords;
}

// Words that continue a clause: met where a statement should start, they are out of place
// rather than an unknown statement.
const WordSet& ClauseWords() {
  static const WordSet kWords(
      "FROM WHERE GROUP ORDER HAVING ON AND OR AS JOIN INNER LEFT RIGHT FULL CROSS OUTER THEN "
      "ELSE WHEN END IN IS NOT NULL BY INTO VALUES UNION ASC DESC DISTINCT TOP LIKE BETWEEN");
  return kWords;
}

// Table hints only steer SQL Server's locking and plans; SQLite has no use for them.
const WordSet& TableHints() {
  static const WordSet kWords(
      "NOLOCK READUNCOMMITTED READCOMMITTED READCOMMITTEDLOCK REPEATABLEREAD SERIALIZABLE "
      "SNAPSHOT ROWLOCK PAGLOCK TABLOCK TABLOCKX UPDLOCK XLOCK HOLDLOCK READPAST NOWAIT INDEX "
      "FORCESEEK FORCESCAN NOEXPAND KEEPIDENTITY KEEPDEFAULTS IGNORE_CONSTRAINTS "
      "IGNORE_TRIGGERS");
  return kWords;
}

// Collations that are the ERP's case-insensitive, accent-sensitive one.
const WordSet& KnownCollations() {
  static const WordSet kWords(
      "LATIN1_GENERAL_CI_AS SQL_LATIN1_GENERAL_CP1_CI_AS DATABASE_DEFAULT LATIN1_CI_AS");
  return kWords;
}

// Functions whose result is text: `+` next to one of them concatenates.
const WordSet& TextFunctions() {
  static const WordSet kWords("UPPER LOWER LTRIM RTRIM SUBSTRING LEFT REPLACE RIGHT SPACE STR");
  return kWords;
}

// Niladic functions that read the server's state: nothing here stands for them.
const WordSet& ServerFunctions() {
  static const WordSet kWords(
      "CURRENT_TIMESTAMP CURRENT_DATE CURRENT_TIME CURRENT_USER SESSION_USER SYSTEM_USER USER");
  return kWords;
}

enum class FunctionKind {
  kSame,            // the same name and arguments in SQLite
  kRename,          // another name, the same arguments
  kLen,             // LEN(x): LENGTH(RTRIM(x)), since LEN ignores trailing blanks
  kLeft,            // LEFT(x, n): SUBSTR(x, 1, n)
  kObjectId,        // OBJECT_ID('name' [, 'type']): asked of sqlite_master
  kObjectProperty,  // OBJECTPROPERTY(id, 'IsUserTable' | 'IsView')
};

struct FunctionRule {
  FunctionKind kind;
  const char* sqlite_name;
  int min_args;
  int max_args;  // -1: any number
  bool aggregate;
};

const FunctionRule* FindFunction(std::string_view name) {
  static const std::unordered_map<std::string, FunctionRule> kRules = {
      // ISNULL is a SQLite keyword (the postfix "IS NULL"), so it is rewritten, not registered.
      {"ISNULL", {FunctionKind::kRename, "IFNULL", 2, 2, false}},
      {"COALESCE", {FunctionKind::kSame, "COALESCE", 2, -1, false}},
      {"NULLIF", {FunctionKind::kSame, "NULLIF", 2, 2, false}},
      {"UPPER", {FunctionKind::kSame, "UPPER", 1, 1, false}},
      {"LOWER", {FunctionKind::kSame, "LOWER", 1, 1, false}},
      {"LTRIM", {FunctionKind::kSame, "LTRIM", 1, 1, false}},
      {"RTRIM", {FunctionKind::kSame, "RTRIM", 1, 1, false}},
      {"ABS", {FunctionKind::kSame, "ABS", 1, 1, false}},
      // Both round half away from zero; the three-argument form truncates and has no match.
      {"ROUND", {FunctionKind::kSame, "ROUND", 2, 2, false}},
      {"SUBSTRING", {FunctionKind::kRename, "SUBSTR", 3, 3, false}},
      {"LEN", {FunctionKind::kLen, "LENGTH", 1, 1, false}},
      {"LEFT", {FunctionKind::kLeft, "SUBSTR", 2, 2, false}},
      {"SUM", {FunctionKind::kSame, "SUM", 1, 1, true}},
      {"COUNT", {FunctionKind::kSame, "COUNT", 1, 1, true}},
      {"MAX", {FunctionKind::kSame, "MAX", 1, 1, true}},
      {"MIN", {FunctionKind::kSame, "MIN", 1, 1, true}},
      {"AVG", {FunctionKind::kSame, "AVG", 1, 1, true}},
      {"OBJECT_ID", {FunctionKind::kObjectId, "", 1, 2, false}},
      {"OBJECTPROPERTY", {FunctionKind::kObjectProperty, "", 2, 2, false}},
  };
  auto it = kRules.find(Upper(name));
  return it == kRules.end() ? nullptr : &it->second;
}

struct TypeRule {
  int max_args;
  bool text;
};

// Column types a table definition may use; the declared type reaches SQLite as written
// (lower case, sizes without blanks) because the backend reads the scale back from it.
const TypeRule* FindType(std::string_view name) {
  static const std::unordered_map<std::string, TypeRule> kTypes = {
      {"INT", {0, false}},      {"INTEGER", {0, false}},       {"SMALLINT", {0, false}},
      {"TINYINT", {0, false}},  {"BIGINT", {0, false}},        {"BIT", {0, false}},
      {"DECIMAL", {2, false}},  {"NUMERIC", {2, false}},       {"FLOAT", {1, false}},
      {"REAL", {0, false}},     {"MONEY", {0, false}},         {"SMALLMONEY", {0, false}},
      {"DATETIME", {0, false}}, {"SMALLDATETIME", {0, false}}, {"DATETIME2", {1, false}},
      {"DATE", {0, false}},     {"CHAR", {1, true}},           {"VARCHAR", {1, true}},
      {"NCHAR", {1, true}},     {"NVARCHAR", {1, true}},       {"TEXT", {0, true}},
      {"NTEXT", {0, true}},
  };
  auto it = kTypes.find(Upper(name));
  return it == kTypes.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------------------------
// Quoting for the SQLite text the bridge writes itself.

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || static_cast<unsigned char>(c) >= 0x80;
    if (!ok) return false;
  }
  return !(name[0] >= '0' && name[0] <= '9') && !SqliteKeywords().Contains(name);
}

bool IsLiteral(const Token& t) {
  return t.kind == TokenKind::kString || t.kind == TokenKind::kNString ||
         t.kind == TokenKind::kNumber;
}

bool IsText(const Token& t) {
  return t.kind == TokenKind::kString || t.kind == TokenKind::kNString;
}

bool IsWord(const Token& t, std::string_view word) {
  return t.kind == TokenKind::kIdentifier && EqualsIgnoreCase(t.text, word);
}

bool IsPunct(const Token& t, char c) {
  return t.kind == TokenKind::kPunctuation && t.text.size() == 1 && t.text[0] == c;
}

bool IsOperator(const Token& t, std::string_view op) {
  return t.kind == TokenKind::kOperator && t.text == op;
}

bool IsReserved(const Token& t) {
  return t.kind == TokenKind::kIdentifier && ReservedWords().Contains(t.text);
}

// A name: a plain identifier that is not a reserved word, or a bracketed or quoted one.
bool IsName(const Token& t) {
  return (t.kind == TokenKind::kIdentifier && !IsReserved(t)) ||
         t.kind == TokenKind::kQuotedIdentifier;
}

// ---------------------------------------------------------------------------------------------
// Literal values

std::string NumberText(std::string_view text) {
  std::string s(text);
  if (!s.empty() && s.front() == '.') s.insert(s.begin(), '0');
  std::size_t exponent = s.find_first_of("eE");
  std::size_t mantissa_end = exponent == std::string::npos ? s.size() : exponent;
  if (mantissa_end > 0 && s[mantissa_end - 1] == '.') s.insert(mantissa_end, "0");
  return s;
}

// Integers as integers (as SQL Server types them), other numbers as exact decimals.
Value LiteralValue(const Token& t, std::string_view sql) {
  if (IsText(t)) return Value(t.value);
  bool digits_only =
      std::all_of(t.text.begin(), t.text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits_only && t.text.size() <= 18) return Value(std::stoll(std::string(t.text)));
  Decimal d;
  if (!Decimal::TryParse(NumberText(t.text), &d)) {
    ThrowTranslateError(sql, t.offset, "number '" + std::string(t.text) + "' out of range");
  }
  return Value(d);
}

// ---------------------------------------------------------------------------------------------
// Templates: what the cache keeps of a translation.

// A value taken from a literal of the statement: the literal's number among the statement's
// literals (-1: NULL), and whether a minus sign stands before it.
struct LiteralSource {
  int literal = -1;
  bool negative = false;
};

struct Template {
  Translation translation;  // without parameter values and procedure arguments
  std::vector<LiteralSource> parameter_literals;  // ?N stands for parameter_literals[N-1]
  // Literals written into the text itself (DDL, ordinals, object names): a cached translation
  // serves only statements that have the same ones.
  std::vector<std::pair<int, std::string>> inline_literals;
  std::vector<LiteralSource> procedure_arguments;
  std::vector<int> like_patterns;  // literals used as LIKE patterns, checked on every use
};

void CheckLikePattern(const Token& t, std::string_view sql) {
  // T-SQL patterns have character classes ([a-c], [^x]); SQLite's LIKE reads '[' literally.
  if (t.value.find('[') != std::string::npos) {
    ThrowTranslateError(
        sql, t.offset,
        "unsupported T-SQL construct '[...]' in the LIKE pattern " + std::string(t.text));
  }
}

// ---------------------------------------------------------------------------------------------
// The rewriter

struct TableRef {
  std::string sql;     // the SQLite name: "T", temp."#T", "Palestra"."T"
  std::string schema;  // temp, "Palestra" or empty
  std::string table;   // the quoted table name alone
  std::string name;    // the table name, unquoted
  bool temp = false;
  bool system_objects = false;
};

struct Source {
  std::string sql;    // as it goes into SQLite, alias included
  std::string table;  // the table's SQLite name; empty for a derived table or a nested join
  std::string name;   // the table's own name, unquoted
  std::string alias;  // unquoted; empty when none
};

struct JoinStep {
  std::string join;   // "" for the first source, "," or the join keywords
  bool inner = true;  // a comma, an inner or a cross join: its condition may move to WHERE
  Source source;
  std::string condition;  // the ON condition, translated; empty when none
  bool condition_has_or = false;
};

struct ExpressionInfo {
  bool top_level_or = false;
};

struct StatementOut {
  std::size_t start = 0;  // the first token
  Translation::Kind kind = Translation::Kind::kStatements;
  std::vector<std::string> sql;
  std::string temp_table;
  std::string select_sql;
  std::string procedure;
  std::vector<std::string> argument_names;
  TransactionControl transaction;
};

class Rewriter {
 public:
  Rewriter(std::string_view sql, const std::vector<Token>& tokens) : sql_(sql), tokens_(tokens) {
    literal_of_.assign(tokens.size(), -1);
    int n = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (IsLiteral(tokens[i])) literal_of_[i] = n++;
    }
    literal_state_.assign(static_cast<std::size_t>(n), LiteralUse::kUnused);
    MarkConcatenations();
  }

  Template Run() {
    std::vector<StatementOut> statements;
    while (Peek().kind != TokenKind::kEnd) {
      if (IsPunct(Peek(), ';')) {
        ++pos_;
        continue;
      }
      statements.push_back(Statement(statements.empty()));
      const Token& next = Peek();
      if (!(next.kind == TokenKind::kEnd || IsPunct(next, ';') ||
            next.kind == TokenKind::kIdentifier)) {
        Fail(pos_, "unexpected '" + std::string(next.text) + "'");
      }
    }
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      // Every literal must have been bound, written inline or deliberately dropped; one that
      // was not means a clause was skipped without a look, which must not pass silently.
      int literal = literal_of_[i];
      if (literal >= 0 &&
          literal_state_[static_cast<std::size_t>(literal)] == LiteralUse::kUnused) {
        Fail(i, "the bridge cannot place the literal " + std::string(tokens_[i].text));
      }
    }
    return Finish(std::move(statements));
  }

 private:
  enum class LiteralUse { kUnused, kParameter, kInline, kDropped };

  // --- tokens ---------------------------------------------------------------------------------

  const Token& Peek(std::size_t ahead = 0) const {
    std::size_t i = std::min(pos_ + ahead, tokens_.size() - 1);
    return tokens_[i];
  }
  const Token& Take() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return t;
  }
  bool PeekWord(std::string_view word, std::size_t ahead = 0) const {
    return IsWord(Peek(ahead), word);
  }
  bool AcceptWord(std::string_view word) {
    if (!PeekWord(word)) return false;
    ++pos_;
    return true;
  }
  bool AcceptPunct(char c) {
    if (!IsPunct(Peek(), c)) return false;
    ++pos_;
    return true;
  }
  void ExpectWord(std::string_view word) {
    if (!AcceptWord(word)) Fail(pos_, "expected " + std::string(word) + Found());
  }
  void ExpectPunct(char c) {
    if (!AcceptPunct(c)) Fail(pos_, std::string("expected '") + c + "'" + Found());
  }
  std::string Found() const {
    if (Peek().kind == TokenKind::kEnd) return " at the end of the statement";
    return ", found '" + std::string(Peek().text) + "'";
  }

  [[noreturn]] void Fail(std::size_t token, const std::string& detail) const {
    ThrowTranslateError(sql_, tokens_[std::min(token, tokens_.size() - 1)].offset, detail);
  }
  [[noreturn]] void Unsupported(std::size_t token, const std::string& construct) const {
    Fail(token, "unsupported T-SQL construct '" + construct + "'");
  }

  int LiteralIndex(std::size_t token) const { return literal_of_[token]; }

  // The literal's text goes into the SQL itself.
  void UseInline(std::size_t token) {
    int literal = literal_of_[token];
    literal_state_[static_cast<std::size_t>(literal)] = LiteralUse::kInline;
    result_.inline_literals.emplace_back(literal, std::string(tokens_[token].text));
  }
  // The literal does not change the translation (FILLFACTOR = 90).
  void DropLiteral(std::size_t token) {
    literal_state_[static_cast<std::size_t>(literal_of_[token])] = LiteralUse::kDropped;
  }

  // --- output ---------------------------------------------------------------------------------

  void Emit(std::string_view piece) {
    std::string& o = *out_;
    if (!o.empty() && !piece.empty()) {
      char last = o.back();
      char first = piece.front();
      bool glue =
          last == '(' || last == '.' || last == ' ' || first == ')' || first == ',' || first == '.';
      if (!glue) o += ' ';
    }
    o += piece;
    collated_ = false;
  }
  void Glue(std::string_view piece) {
    out_->append(piece);
    collated_ = false;
  }
  void EmitCollation() {
    if (collated_) return;
    Emit(std::string("COLLATE ") + kCollation);
    collated_ = true;
  }

  // Lifts the literal at `token` out as the next parameter.
  void EmitParameter(std::size_t token, bool collate, bool negative = false) {
    int literal = literal_of_[token];
    literal_state_[static_cast<std::size_t>(literal)] = LiteralUse::kParameter;
    result_.parameter_literals.push_back(LiteralSource{literal, negative});
    Emit("?" + std::to_string(result_.parameter_literals.size()));
    // Text compares as on SQL Server: case-insensitively, trailing blanks ignored. A literal
    // that names its own collation gets it from the COLLATE that follows.
    if (collate && IsText(tokens_[token]) && !PeekWord("COLLATE")) EmitCollation();
  }

  class Capture {
   public:
    explicit Capture(Rewriter* r) : r_(r), saved_(r->out_) { r_->out_ = &text_; }
    ~Capture() { r_->out_ = saved_; }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    std::string& text() { return text_; }

   private:
    Rewriter* r_;
    std::string* saved_;
    std::string text_;
  };

  // --- names ----------------------------------------------------------------------------------

  // A name as SQLite should read it: plain names as written, others quoted.
  std::string NameText(const Token& t) const {
    if (t.kind == TokenKind::kIdentifier && IsPlainName(t.value)) return t.value;
    return QuoteName(t.value);
  }

  void Attach(const std::string& alias, const std::string& server, const std::string& database) {
    for (const Attachment& a : result_.translation.attachments) {
      if (EqualsIgnoreCase(a.alias, alias)) return;
    }
    result_.translation.attachments.push_back(Attachment{alias, server, database});
  }

  static bool IsDbo(const Token& t) {
    return (t.kind == TokenKind::kIdentifier || t.kind == TokenKind::kQuotedIdentifier) &&
           EqualsIgnoreCase(t.value, "dbo");
  }

  // [server.][database.][schema.]table, where the schema may be left empty (db..T).
  TableRef TableName() {
    std::size_t start = pos_;
    constexpr std::size_t kEmpty = static_cast<std::size_t>(-1);
    std::vector<std::size_t> parts;  // token indexes; kEmpty for a part left out
    for (;;) {
      if (IsName(Peek()) || Peek().kind == TokenKind::kTempTable) {
        parts.push_back(pos_++);
      } else if (!parts.empty() && IsPunct(Peek(), '.')) {
        parts.push_back(kEmpty);  // db..T: the default schema
      } else {
        Fail(pos_, "expected a table name" + Found());
      }
      // The last part is never left out: an empty part is always followed by a dot.
      if (!AcceptPunct('.')) break;
    }
    if (parts.size() > 4) Fail(start, "a name has at most four parts");
    const Token& last = tokens_[parts.back()];
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      if (parts[i] != kEmpty && tokens_[parts[i]].kind == TokenKind::kTempTable) {
        Fail(parts[i], "a temporary table cannot qualify a name");
      }
    }
    TableRef ref;
    ref.name = last.value;
    if (parts.size() >= 2) {
      std::size_t schema = parts[parts.size() - 2];
      if (schema != kEmpty && !IsDbo(tokens_[schema])) {
        Unsupported(schema, "schema " + tokens_[schema].value);
      }
    }
    ref.system_objects = parts.size() <= 2 && last.kind == TokenKind::kIdentifier &&
                         EqualsIgnoreCase(last.value, "sysobjects");
    if (last.kind == TokenKind::kTempTable) {
      if (parts.size() == 3 && parts[0] != kEmpty &&
          !EqualsIgnoreCase(tokens_[parts[0]].value, "tempdb")) {
        Fail(parts[0], "a temporary table lives in tempdb");
      }
      if (parts.size() == 2 || parts.size() == 4) {
        Fail(start, "a temporary table cannot be qualified this way");
      }
      ref.temp = true;
      ref.schema = "temp";
      ref.table = QuoteName(last.value);
    } else {
      ref.table = QuoteName(last.value);
      if (parts.size() == 3) {
        if (parts[0] == kEmpty) Fail(start, "expected a database name");
        const std::string& db = tokens_[parts[0]].value;
        ref.schema = QuoteName(db);
        Attach(db, "", db);
      } else if (parts.size() == 4) {
        if (parts[0] == kEmpty || parts[1] == kEmpty) {
          Fail(start, "expected a linked server and a database name");
        }
        const std::string& server = tokens_[parts[0]].value;
        const std::string& db = tokens_[parts[1]].value;
        // The linked server's database gets a name of its own: the same database name may
        // also be reached on the local server.
        std::string alias = server + "__" + db;
        ref.schema = QuoteName(alias);
        Attach(alias, server, db);
      }
    }
    ref.sql = ref.schema.empty() ? ref.table : ref.schema + "." + ref.table;
    return ref;
  }

  // An object name inside OBJECT_ID('...'): the same grammar, read from the string.
  TableRef ObjectName(std::size_t literal_token) {
    const Token& lit = tokens_[literal_token];
    std::vector<Token> inner;
    try {
      inner = Lex(lit.value);
    } catch (const TranslateError&) {
      Fail(literal_token, "malformed object name " + std::string(lit.text));
    }
    UseInline(literal_token);
    // A nested rewriter reads the name; its attachments become this statement's.
    Rewriter nested(lit.value, inner);
    nested.result_.translation.attachments = result_.translation.attachments;
    TableRef ref;
    try {
      ref = nested.TableName();
    } catch (const TranslateError&) {
      Fail(literal_token, "malformed object name " + std::string(lit.text));
    }
    if (nested.Peek().kind != TokenKind::kEnd) {
      Fail(literal_token, "malformed object name " + std::string(lit.text));
    }
    result_.translation.attachments = nested.result_.translation.attachments;
    return ref;
  }

  // --- statements -----------------------------------------------------------------------------

  StatementOut Statement(bool first) {
    std::size_t start = pos_;
    const Token& t = Peek();
    StatementOut out;
    out.start = start;
    if (PeekWord("SELECT")) {
      std::string temp_table;
      std::string sql = Captured([&] { Query(true, &temp_table); });
      if (!temp_table.empty()) {
        out.kind = Translation::Kind::kSelectInto;
        out.temp_table = temp_table;
        out.select_sql = sql;
      } else {
        out.sql.push_back(sql);
      }
    } else if (PeekWord("INSERT")) {
      out.sql.push_back(Captured([&] { Insert(); }));
    } else if (PeekWord("UPDATE")) {
      out.sql.push_back(Update());
    } else if (PeekWord("DELETE")) {
      out.sql.push_back(Captured([&] { Delete(); }));
    } else if (PeekWord("CREATE")) {
      out.sql.push_back(Create(false, nullptr));
    } else if (PeekWord("DROP")) {
      out.sql = DropStatement(false, nullptr);
    } else if (PeekWord("ALTER")) {
      AlterTable();
      out.kind = Translation::Kind::kNothing;
    } else if (PeekWord("IF")) {
      out.sql.push_back(IfObjectId());
    } else if (PeekWord("SET")) {
      SessionOption();
      out.kind = Translation::Kind::kNothing;
    } else if (PeekWord("BEGIN") || PeekWord("COMMIT") || PeekWord("ROLLBACK") ||
               PeekWord("SAVE")) {
      TransactionStatement(&out);
    } else if (PeekWord("EXEC") || PeekWord("EXECUTE")) {
      ++pos_;
      Procedure(&out);
    } else if (first && IsName(t)) {
      // A batch that starts with a name is a call of that procedure.
      Procedure(&out);
    } else if (t.kind == TokenKind::kIdentifier && !ClauseWords().Contains(t.text)) {
      Unsupported(start, Upper(t.text));
    } else {
      Fail(start, "expected a statement" + Found());
    }
    return out;
  }

  template <typename F>
  std::string Captured(F f) {
    Capture capture(this);
    f();
    return std::move(capture.text());
  }

  Template Finish(std::vector<StatementOut> statements) {
    std::size_t effective = 0;
    for (const StatementOut& s : statements) {
      if (s.kind != Translation::Kind::kNothing) ++effective;
    }
    for (const StatementOut& s : statements) {
      bool alone = s.kind == Translation::Kind::kSelectInto ||
                   s.kind == Translation::Kind::kProcedure ||
                   s.kind == Translation::Kind::kTransaction;
      if (alone && effective > 1) {
        Fail(s.start, "'" + std::string(tokens_[s.start].text) +
                          "' must be the only statement of its batch");
      }
    }
    Translation& tr = result_.translation;
    tr.kind = Translation::Kind::kNothing;
    for (StatementOut& s : statements) {
      switch (s.kind) {
        case Translation::Kind::kStatements:
          tr.kind = Translation::Kind::kStatements;
          for (std::string& sql : s.sql) tr.statements.push_back(std::move(sql));
          break;
        case Translation::Kind::kSelectInto:
          tr.kind = s.kind;
          tr.temp_table = std::move(s.temp_table);
          tr.select_sql = std::move(s.select_sql);
          break;
        case Translation::Kind::kProcedure:
          tr.kind = s.kind;
          tr.procedure.name = std::move(s.procedure);
          tr.procedure.names = std::move(s.argument_names);
          break;
        case Translation::Kind::kTransaction:
          tr.kind = s.kind;
          tr.transaction = std::move(s.transaction);
          break;
        case Translation::Kind::kNothing:
          break;
      }
    }
    return std::move(result_);
  }

  // --- queries --------------------------------------------------------------------------------

  // SELECT ... [UNION [ALL] SELECT ...] [ORDER BY ...], with TOP n as LIMIT. `temp_table` is
  // set for a SELECT ... INTO #T when the caller allows one (nullptr: not allowed).
  void Query(bool statement, std::string* temp_table) {
    std::size_t top = 0;
    bool has_top = QueryCore(statement ? temp_table : nullptr, &top);
    bool compound = false;
    while (PeekWord("UNION") || PeekWord("EXCEPT") || PeekWord("INTERSECT")) {
      std::size_t at = pos_;
      compound = true;
      Emit(Upper(Take().text));
      if (AcceptWord("ALL")) Emit("ALL");
      if (!PeekWord("SELECT")) Fail(pos_, "expected SELECT" + Found());
      std::size_t inner_top = 0;
      if (QueryCore(nullptr, &inner_top) || has_top) {
        // SQLite's LIMIT applies to the whole compound, TOP to one part.
        Unsupported(has_top ? at : inner_top, "TOP in a UNION");
      }
    }
    if (compound && temp_table != nullptr && !temp_table->empty()) {
      Unsupported(pos_, "SELECT ... INTO with UNION");
    }
    if (PeekWord("ORDER")) {
      ++pos_;
      ExpectWord("BY");
      Emit("ORDER BY");
      ItemList(true);
    }
    if (has_top) {
      Emit("LIMIT");
      EmitParameter(top, false);
    }
  }

  // One SELECT. Returns whether it had TOP n, and the number's token in `top`.
  bool QueryCore(std::string* temp_table, std::size_t* top) {
    ExpectWord("SELECT");
    Emit("SELECT");
    if (AcceptWord("DISTINCT")) {
      Emit("DISTINCT");
    } else if (AcceptWord("ALL")) {
      Emit("ALL");
    }
    bool has_top = false;
    if (PeekWord("TOP")) {
      std::size_t at = pos_++;
      bool parens = AcceptPunct('(');
      const Token& n = Peek();
      if (n.kind != TokenKind::kNumber ||
          !std::all_of(n.text.begin(), n.text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        Unsupported(at, "TOP " + std::string(n.text));
      }
      *top = pos_++;
      has_top = true;
      if (parens) ExpectPunct(')');
      if (PeekWord("PERCENT")) Unsupported(pos_, "TOP ... PERCENT");
      if (PeekWord("WITH")) Unsupported(pos_, "TOP ... WITH TIES");
    }
    SelectList();
    if (PeekWord("INTO")) {
      std::size_t at = pos_++;
      if (temp_table == nullptr) Unsupported(at, "SELECT ... INTO here");
      TableRef ref = TableName();
      if (!ref.temp) Unsupported(at, "SELECT ... INTO a permanent table");
      *temp_table = ref.sql;
    }
    if (AcceptWord("FROM")) {
      Emit("FROM");
      RenderFrom(FromList());
    }
    if (AcceptWord("WHERE")) {
      Emit("WHERE");
      Expression();
    }
    if (PeekWord("GROUP")) {
      ++pos_;
      ExpectWord("BY");
      Emit("GROUP BY");
      ItemList(false);
    }
    if (AcceptWord("HAVING")) {
      Emit("HAVING");
      Expression();
    }
    return has_top;
  }

  void SelectList() {
    for (;;) {
      if ((IsName(Peek()) || IsText(Peek())) && IsOperator(Peek(1), "=")) {
        // T-SQL's "alias = expression".
        const Token& alias = Take();
        // A string alias names the column in the text: statements with another name are
        // another translation.
        if (IsText(alias)) UseInline(pos_ - 1);
        ++pos_;
        std::string expression = Captured([&] { Expression(); });
        Emit(expression);
        Emit("AS");
        Emit(IsText(alias) ? QuoteName(alias.value) : NameText(alias));
      } else {
        Expression();
        Alias();
      }
      if (!AcceptPunct(',')) return;
      Emit(",");
    }
  }

  // [AS] alias after a select item; a string may name the column too.
  void Alias() {
    bool as = AcceptWord("AS");
    const Token& t = Peek();
    if (IsName(t)) {
      ++pos_;
      Emit("AS");
      Emit(NameText(t));
    } else if (as && IsText(t)) {
      UseInline(pos_++);
      Emit("AS");
      Emit(QuoteName(t.value));
    } else if (as) {
      Fail(pos_, "expected an alias" + Found());
    }
  }

  // ORDER BY and GROUP BY items. A bare number stays in the text: SQLite reads it as a
  // column ordinal only there.
  void ItemList(bool directions) {
    for (;;) {
      const Token& t = Peek();
      if (t.kind == TokenKind::kNumber && EndsItem(Peek(1))) {
        UseInline(pos_);
        Emit(t.text);
        ++pos_;
      } else {
        Expression();
      }
      if (directions) {
        if (AcceptWord("ASC")) {
          Emit("ASC");
        } else if (AcceptWord("DESC")) {
          Emit("DESC");
        }
      }
      if (!AcceptPunct(',')) return;
      Emit(",");
    }
  }

  bool EndsItem(const Token& t) const {
    if (t.kind == TokenKind::kEnd || IsPunct(t, ',') || IsPunct(t, ')') || IsPunct(t, ';')) {
      return true;
    }
    if (!IsReserved(t)) return false;
    static const WordSet kContinues("AND OR IS IN NOT LIKE BETWEEN COLLATE ESCAPE");
    return !kContinues.Contains(t.text);
  }

  // --- FROM -----------------------------------------------------------------------------------

  std::vector<JoinStep> FromList() {
    std::vector<JoinStep> steps;
    steps.push_back(JoinStep{"", true, TableSource(), "", false});
    for (;;) {
      std::size_t at = pos_;
      JoinStep step;
      if (AcceptPunct(',')) {
        step.join = ",";
      } else if (PeekWord("CROSS")) {
        ++pos_;
        if (PeekWord("APPLY")) Unsupported(at, "CROSS APPLY");
        ExpectWord("JOIN");
        step.join = "CROSS JOIN";
      } else if (PeekWord("OUTER") && PeekWord("APPLY", 1)) {
        Unsupported(at, "OUTER APPLY");
      } else if (PeekWord("JOIN") || PeekWord("INNER")) {
        if (AcceptWord("INNER") && !PeekWord("JOIN")) {
          Unsupported(at, "join hint " + Upper(Peek().text));
        }
        ExpectWord("JOIN");
        step.join = "INNER JOIN";
      } else if (PeekWord("LEFT") || PeekWord("RIGHT") || PeekWord("FULL")) {
        std::string side = Upper(Take().text);
        AcceptWord("OUTER");
        if (!PeekWord("JOIN")) Unsupported(at, "join hint " + Upper(Peek().text));
        ++pos_;
        step.join = side + " OUTER JOIN";
        step.inner = false;
      } else {
        break;
      }
      step.source = TableSource();
      if (step.join != "," && step.join != "CROSS JOIN") {
        ExpectWord("ON");
        ExpressionInfo info;
        step.condition = Captured([&] { info = Expression(); });
        step.condition_has_or = info.top_level_or;
      }
      steps.push_back(std::move(step));
    }
    return steps;
  }

  void RenderFrom(const std::vector<JoinStep>& steps) {
    for (const JoinStep& step : steps) {
      if (!step.join.empty()) Emit(step.join);
      Emit(step.source.sql);
      if (!step.condition.empty()) {
        Emit("ON");
        Emit(step.condition);
      }
    }
  }

  Source TableSource() {
    Source source;
    if (IsPunct(Peek(), '(')) {
      ++pos_;
      if (PeekWord("SELECT")) {
        source.sql = "(" + Captured([&] { Query(false, nullptr); }) + ")";
      } else {
        source.sql = "(" + Captured([&] { RenderFrom(FromList()); }) + ")";
      }
      ExpectPunct(')');
    } else {
      std::size_t at = pos_;
      TableRef ref = TableName();
      if (IsPunct(Peek(), '(') && !IsHintGroup(pos_ + 1)) {
        Unsupported(at, "table-valued function " + ref.name);
      }
      if (ref.system_objects) {
        // The same questions asked of SQLite's catalogue: a table is a user table ('U'), a
        // view is not ('V'); the name is the object's id.
        source.sql =
            "(SELECT name AS id, name, CASE type WHEN 'table' THEN 'U' ELSE 'V' END AS xtype, "
            "CASE type WHEN 'table' THEN 'U' ELSE 'V' END AS type FROM sqlite_master WHERE type "
            "IN ('table', 'view'))";
        source.alias = "sysobjects";
      } else {
        source.sql = ref.sql;
        source.table = ref.sql;
        source.name = ref.name;
      }
    }
    SkipHints();
    bool as = AcceptWord("AS");
    if (IsName(Peek())) {
      source.alias = Take().value;
    } else if (as) {
      Fail(pos_, "expected an alias" + Found());
    }
    SkipHints();
    if (!source.alias.empty()) source.sql += " AS " + QuoteIfNeeded(source.alias);
    return source;
  }

  bool IsHintGroup(std::size_t first) const {
    const Token& t = tokens_[std::min(first, tokens_.size() - 1)];
    return t.kind == TokenKind::kIdentifier && TableHints().Contains(t.text);
  }

  // WITH (NOLOCK), With (NOLOCK, INDEX(IX)), and the old form (NOLOCK).
  void SkipHints() {
    for (;;) {
      if (PeekWord("WITH") && IsPunct(Peek(1), '(')) {
        pos_ += 1;
      } else if (!(IsPunct(Peek(), '(') && IsHintGroup(pos_ + 1))) {
        return;
      }
      ExpectPunct('(');
      // hint [(...)] [= value] {, hint ...}
      do {
        const Token& t = Peek();
        if (!(t.kind == TokenKind::kIdentifier && TableHints().Contains(t.text))) {
          if (t.kind == TokenKind::kEnd || IsPunct(t, ')')) Fail(pos_, "expected a table hint");
          Unsupported(pos_, "table hint " + std::string(t.text));
        }
        ++pos_;
        if (AcceptPunct('(')) SkipGroup();
        if (IsOperator(Peek(), "=")) {
          ++pos_;
          if (!IsName(Peek()) && Peek().kind != TokenKind::kNumber) {
            Fail(pos_, "expected a value" + Found());
          }
          if (IsLiteral(Peek())) DropLiteral(pos_);
          ++pos_;
        }
      } while (AcceptPunct(','));
      ExpectPunct(')');
    }
  }

  // --- expressions ----------------------------------------------------------------------------

  // One expression, stopping before the first token that cannot continue it.
  ExpressionInfo Expression() {
    ExpressionInfo info;
    bool operand = true;  // an operand is expected next
    for (;;) {
      const Token& t = Peek();
      if (operand) {
        Operand();
        operand = false;
        continue;
      }
      // After an operand: an operator continues the expression, anything else ends it.
      if (t.kind == TokenKind::kOperator) {
        BinaryOperator();
        operand = true;
      } else if (IsWord(t, "AND")) {
        ++pos_;
        Emit("AND");
        operand = true;
      } else if (IsWord(t, "OR")) {
        ++pos_;
        Emit("OR");
        info.top_level_or = true;
        operand = true;
      } else if (IsWord(t, "IS")) {
        ++pos_;
        Emit("IS");
        if (AcceptWord("NOT")) Emit("NOT");
        ExpectWord("NULL");
        Emit("NULL");
      } else if (IsWord(t, "COLLATE")) {
        Collate();
      } else if (IsWord(t, "NOT") &&
                 (PeekWord("IN", 1) || PeekWord("LIKE", 1) || PeekWord("BETWEEN", 1))) {
        bool in = PeekWord("IN", 1);
        if (in) CollateBeforeIn(pos_ + 2);
        ++pos_;
        Emit("NOT");
        if (in) InList();
      } else if (IsWord(t, "IN")) {
        CollateBeforeIn(pos_ + 1);
        InList();
      } else if (IsWord(t, "LIKE")) {
        ++pos_;
        Emit("LIKE");
        if (IsText(Peek())) {
          result_.like_patterns.push_back(LiteralIndex(pos_));
          CheckLikePattern(Peek(), sql_);
        }
        operand = true;
      } else if (IsWord(t, "ESCAPE") || IsWord(t, "BETWEEN")) {
        ++pos_;
        Emit(Upper(t.text));
        operand = true;
      } else {
        break;
      }
    }
    return info;
  }

  // IN (list) or IN (subquery), the left operand done.
  void InList() {
    ExpectWord("IN");
    Emit("IN");
    if (!IsPunct(Peek(), '(')) Fail(pos_, "expected '('" + Found());
    Operand();
  }

  void BinaryOperator() {
    std::size_t at = pos_;
    const Token& t = Take();
    std::string_view op = t.text;
    if (op == "!<") {
      Emit(">=");
    } else if (op == "!>") {
      Emit("<=");
    } else if (op == "+") {
      Emit(concat_[at] ? "||" : "+");
    } else if (op == "^") {
      Unsupported(at, "^");
    } else if (op == "||") {
      Fail(at, "unexpected '||'");
    } else if (op == "~") {
      Fail(at, "unexpected '~'");
    } else {
      Emit(op);
    }
  }

  // For `x IN ('a', 'b')` SQLite compares with the left operand's collation: when the list
  // holds text, the left operand gets the ERP's.
  void CollateBeforeIn(std::size_t open) {
    if (!IsPunct(tokens_[open], '(') || IsWord(tokens_[open + 1], "SELECT")) return;
    int depth = 0;
    for (std::size_t i = open; i < tokens_.size(); ++i) {
      const Token& t = tokens_[i];
      if (IsPunct(t, '(')) ++depth;
      if (IsPunct(t, ')') && --depth == 0) break;
      if (IsText(t)) {
        EmitCollation();
        return;
      }
    }
  }

  void Collate() {
    std::size_t at = pos_++;
    const Token& name = Peek();
    if (!(name.kind == TokenKind::kIdentifier || name.kind == TokenKind::kQuotedIdentifier) ||
        !KnownCollations().Contains(name.value)) {
      Unsupported(at, "COLLATE " + std::string(name.text));
    }
    ++pos_;
    collated_ = false;
    EmitCollation();
  }

  // True when the literal at `at` is the right side of a comparison whose left side is a plain
  // column: the column's own collation (the ERP's, on every text column) then decides, and a
  // collation on the literal would keep SQLite from using the column's index (a quoted number
  // compared with a numeric column, for one).
  bool ComparedWithColumn(std::size_t at) const {
    if (at < 2) return false;
    const Token& op = tokens_[at - 1];
    if (op.kind != TokenKind::kOperator) return false;
    static constexpr std::string_view kComparisons[] = {"=", "<>", "!=", "<", ">", "<=", ">="};
    bool comparison = false;
    for (std::string_view c : kComparisons) comparison = comparison || op.text == c;
    if (!comparison) return false;
    const Token& left = tokens_[at - 2];
    if (left.kind == TokenKind::kQuotedIdentifier) return true;
    // A word that ends an expression (CASE ... END) is no column.
    return left.kind == TokenKind::kIdentifier && !IsWord(left, "END") && !IsWord(left, "NULL");
  }

  void Operand() {
    std::size_t at = pos_;
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kString:
      case TokenKind::kNString:
      case TokenKind::kNumber:
        ++pos_;
        EmitParameter(at, !ComparedWithColumn(at));
        return;
      case TokenKind::kVariable:
        Unsupported(at, std::string(t.text));
      case TokenKind::kTempTable:
      case TokenKind::kQuotedIdentifier:
        ColumnOrCall();
        return;
      case TokenKind::kOperator:
        if (t.text == "-" && Peek(1).kind == TokenKind::kNumber) {
          // -1 is one value, as SQL Server reads it.
          pos_ += 2;
          EmitParameter(at + 1, false, true);
          return;
        }
        if (t.text == "-" || t.text == "+" || t.text == "~") {
          ++pos_;
          Emit(t.text);
          Operand();
          return;
        }
        if (t.text == "*") {
          ++pos_;
          Emit("*");
          return;
        }
        Fail(at, "expected an expression" + Found());
      case TokenKind::kPunctuation:
        if (IsPunct(t, '(')) {
          ++pos_;
          Emit("(");
          if (PeekWord("SELECT")) {
            Query(false, nullptr);
          } else {
            Expression();
            while (AcceptPunct(',')) {
              Emit(",");
              Expression();
            }
          }
          ExpectPunct(')');
          Emit(")");
          return;
        }
        Fail(at, "expected an expression" + Found());
      case TokenKind::kEnd:
        Fail(at, "expected an expression" + Found());
      case TokenKind::kIdentifier:
        break;
    }
    if (IsWord(t, "NULL")) {
      ++pos_;
      Emit("NULL");
    } else if (IsWord(t, "NOT")) {
      ++pos_;
      Emit("NOT");
      Operand();
    } else if (IsWord(t, "EXISTS")) {
      ++pos_;
      Emit("EXISTS");
      if (!(IsPunct(Peek(), '(') && PeekWord("SELECT", 1))) Fail(pos_, "expected a subquery");
      Operand();
    } else if (IsWord(t, "CASE")) {
      Case();
    } else if (IsPunct(Peek(1), '(') && !IsWord(t, "WITH")) {
      ColumnOrCall();
    } else if (ServerFunctions().Contains(t.text)) {
      Unsupported(at, Upper(t.text));
    } else if (IsReserved(t)) {
      Fail(at, "expected an expression" + Found());
    } else {
      ColumnOrCall();
    }
  }

  void Case() {
    ++pos_;
    Emit("CASE");
    if (!PeekWord("WHEN")) Expression();
    if (!PeekWord("WHEN")) Fail(pos_, "expected WHEN" + Found());
    while (AcceptWord("WHEN")) {
      Emit("WHEN");
      Expression();
      ExpectWord("THEN");
      Emit("THEN");
      Expression();
    }
    if (AcceptWord("ELSE")) {
      Emit("ELSE");
      Expression();
    }
    ExpectWord("END");
    Emit("END");
  }

  // A column reference (col, T.col, alias.col, db.dbo.T.col, T.*) or a function call.
  void ColumnOrCall() {
    std::size_t at = pos_;
    if (Peek().kind == TokenKind::kIdentifier && IsPunct(Peek(1), '(')) {
      Call();
      return;
    }
    std::vector<std::size_t> parts;
    bool star = false;
    for (;;) {
      const Token& t = Peek();
      if (t.kind == TokenKind::kIdentifier || t.kind == TokenKind::kQuotedIdentifier ||
          (t.kind == TokenKind::kTempTable && parts.empty())) {
        parts.push_back(pos_++);
      } else if (IsOperator(t, "*") && !parts.empty()) {
        ++pos_;
        star = true;
        break;
      } else {
        Fail(pos_, "expected a column name" + Found());
      }
      if (!(IsPunct(Peek(), '.'))) break;
      ++pos_;
    }
    if (IsPunct(Peek(), '(')) Unsupported(at, "function " + tokens_[parts.back()].value);
    std::size_t columns = star ? parts.size() + 1 : parts.size();
    if (columns > 4) Fail(at, "a column name has at most four parts");
    if (tokens_[parts[0]].kind == TokenKind::kTempTable && parts.size() == 1 && !star) {
      Fail(at, "expected a column name, found the table " + std::string(tokens_[at].text));
    }
    std::string text;
    std::size_t first = 0;
    if (columns >= 3) {
      // [db.]dbo.T.col: the schema goes, a database becomes the attached file's name.
      std::size_t schema = parts[columns - 3];
      if (!IsDbo(tokens_[schema])) Unsupported(schema, "schema " + tokens_[schema].value);
      if (columns == 4) {
        const std::string& db = tokens_[parts[0]].value;
        Attach(db, "", db);
        text = QuoteName(db) + ".";
      }
      first = columns - 2;
    }
    for (std::size_t i = first; i < parts.size(); ++i) {
      if (i > first) text += ".";
      const Token& part = tokens_[parts[i]];
      // A reserved word is fine after a dot (T.KEY); SQLite still wants it quoted.
      text += part.kind == TokenKind::kTempTable ? QuoteName(part.value) : NameText(part);
    }
    if (star) text += ".*";
    Emit(text);
  }

  void Call() {
    std::size_t at = pos_;
    const Token& name = Take();
    const FunctionRule* rule = FindFunction(name.text);
    if (rule == nullptr) Unsupported(at, "function " + Upper(name.text));
    ExpectPunct('(');
    switch (rule->kind) {
      case FunctionKind::kObjectId:
        ObjectId(at);
        return;
      case FunctionKind::kObjectProperty:
        ObjectProperty(at);
        return;
      case FunctionKind::kLen:
        Emit("LENGTH");
        Glue("(");
        Emit("RTRIM");
        Glue("(");
        Arguments(at, *rule);
        Emit(")");
        return;
      case FunctionKind::kLeft: {
        Emit("SUBSTR");
        Glue("(");
        Expression();
        ExpectPunct(',');
        Emit(",");
        Emit("1,");
        Expression();
        ExpectPunct(')');
        Emit(")");
        return;
      }
      case FunctionKind::kSame:
      case FunctionKind::kRename:
        Emit(rule->sqlite_name);
        Glue("(");
        Arguments(at, *rule);
        return;
    }
  }

  // The arguments after "(", and the ")".
  void Arguments(std::size_t at, const FunctionRule& rule) {
    int count = 0;
    if (!IsPunct(Peek(), ')')) {
      do {
        if (count > 0) Emit(",");
        if (count == 0 && rule.aggregate) {
          if (AcceptWord("DISTINCT")) {
            Emit("DISTINCT");
          } else if (AcceptWord("ALL")) {
            Emit("ALL");
          }
        }
        Expression();
        ++count;
      } while (AcceptPunct(','));
    }
    ExpectPunct(')');
    Emit(")");
    if (count < rule.min_args || (rule.max_args >= 0 && count > rule.max_args)) {
      Fail(at, "wrong number of arguments to " + Upper(tokens_[at].text));
    }
  }

  // OBJECT_ID('[dbo].[X]' [, 'U' | 'V']): the name of the table or view, or NULL.
  void ObjectId(std::size_t at) {
    if (!IsText(Peek())) Unsupported(at, "OBJECT_ID of an expression");
    std::size_t literal = pos_++;
    TableRef ref = ObjectName(literal);
    std::string types = "m.type IN ('table', 'view')";
    if (AcceptPunct(',')) {
      if (!IsText(Peek())) Unsupported(at, "OBJECT_ID with this type");
      std::string type = Upper(Peek().value);
      UseInline(pos_++);
      if (type == "U") {
        types = "m.type = 'table'";
      } else if (type == "V") {
        types = "m.type = 'view'";
      } else {
        Unsupported(at, "OBJECT_ID type '" + type + "'");
      }
    }
    ExpectPunct(')');
    std::string master = ref.schema.empty() ? "sqlite_master" : ref.schema + ".sqlite_master";
    Emit("(SELECT m.name FROM " + master + " AS m WHERE " + types +
         " AND m.name = " + QuoteText(ref.name) + " COLLATE " + kCollation + ")");
  }

  // OBJECTPROPERTY(id, 'IsUserTable' | 'IsView'): 1 or 0, NULL for no such object.
  void ObjectProperty(std::size_t at) {
    std::string id = Captured([&] { Expression(); });
    ExpectPunct(',');
    if (!IsText(Peek())) Unsupported(at, "OBJECTPROPERTY of an expression");
    std::string property = Upper(Peek().value);
    UseInline(pos_++);
    ExpectPunct(')');
    std::string type;
    if (property == "ISUSERTABLE" || property == "ISTABLE") {
      type = "table";
    } else if (property == "ISVIEW") {
      type = "view";
    } else {
      Unsupported(at, "OBJECTPROPERTY '" + property + "'");
    }
    Emit("(SELECT CASE WHEN m.type = '" + type + "' THEN 1 ELSE 0 END FROM sqlite_master AS m " +
         "WHERE m.name = " + id + ")");
  }

  // --- INSERT, UPDATE, DELETE -----------------------------------------------------------------

  void Insert() {
    ExpectWord("INSERT");
    if (PeekWord("TOP")) Unsupported(pos_, "INSERT TOP");
    AcceptWord("INTO");
    TableRef ref = TableName();
    if (ref.system_objects) Unsupported(pos_ - 1, "INSERT INTO sysobjects");
    SkipHints();
    Emit("INSERT INTO");
    Emit(ref.sql);
    if (IsPunct(Peek(), '(')) {
      ++pos_;
      Emit("(");
      bool first = true;
      do {
        if (!IsName(Peek())) Fail(pos_, "expected a column name" + Found());
        if (!first) Emit(",");
        first = false;
        Emit(NameText(Take()));
      } while (AcceptPunct(','));
      ExpectPunct(')');
      Emit(")");
    }
    if (AcceptWord("VALUES")) {
      Emit("VALUES");
      bool first = true;
      do {
        if (!first) Emit(",");
        first = false;
        if (!IsPunct(Peek(), '(')) Fail(pos_, "expected '('" + Found());
        Operand();
      } while (AcceptPunct(','));
    } else if (PeekWord("SELECT")) {
      Query(false, nullptr);
    } else if (PeekWord("DEFAULT") && PeekWord("VALUES", 1)) {
      pos_ += 2;
      Emit("DEFAULT VALUES");
    } else if (PeekWord("OUTPUT")) {
      Unsupported(pos_, "OUTPUT");
    } else if (PeekWord("EXEC") || PeekWord("EXECUTE")) {
      Unsupported(pos_, "INSERT ... EXEC");
    } else {
      Fail(pos_, "expected VALUES or SELECT" + Found());
    }
  }

  void Delete() {
    std::size_t at = pos_;
    ExpectWord("DELETE");
    if (PeekWord("TOP")) Unsupported(pos_, "DELETE TOP");
    AcceptWord("FROM");
    TableRef ref = TableName();
    if (ref.system_objects) Unsupported(at, "DELETE FROM sysobjects");
    SkipHints();
    if (PeekWord("FROM")) Unsupported(at, "DELETE ... FROM ... JOIN");
    if (PeekWord("OUTPUT")) Unsupported(pos_, "OUTPUT");
    Emit("DELETE FROM");
    Emit(ref.sql);
    if (AcceptWord("WHERE")) {
      Emit("WHERE");
      Expression();
    }
  }

  // UPDATE A SET A.c = ... FROM A INNER JOIN B ON cond WHERE w becomes
  // UPDATE A SET c = ... FROM B WHERE cond AND (w): SQLite joins the target to its FROM itself
  // and refuses it there, and wants the SET columns unqualified.
  std::string Update() {
    std::size_t at = pos_;
    ExpectWord("UPDATE");
    if (PeekWord("TOP")) Unsupported(pos_, "UPDATE TOP");
    TableRef target = TableName();
    if (target.system_objects) Unsupported(at, "UPDATE sysobjects");
    SkipHints();
    ExpectWord("SET");
    struct Assignment {
      std::size_t qualifier;  // token of the qualifier; 0 when none
      std::string column;
      std::string value;
    };
    std::vector<Assignment> assignments;
    do {
      Assignment a{0, "", ""};
      if (!IsName(Peek())) Fail(pos_, "expected a column name" + Found());
      std::size_t name = pos_++;
      if (AcceptPunct('.')) {
        a.qualifier = name;
        if (!IsName(Peek()) && Peek().kind != TokenKind::kIdentifier) {
          Fail(pos_, "expected a column name" + Found());
        }
        name = pos_++;
      }
      a.column = NameText(tokens_[name]);
      if (!IsOperator(Peek(), "=")) {
        if (Peek().kind == TokenKind::kOperator) Unsupported(pos_, std::string(Peek().text) + "=");
        Fail(pos_, "expected '='" + Found());
      }
      ++pos_;
      a.value = Captured([&] { Expression(); });
      assignments.push_back(std::move(a));
    } while (AcceptPunct(','));
    if (PeekWord("OUTPUT")) Unsupported(pos_, "OUTPUT");

    std::vector<JoinStep> from;
    if (AcceptWord("FROM")) from = FromList();
    std::string where;
    if (AcceptWord("WHERE")) where = Captured([&] { Expression(); });

    // Which FROM source is the target: the one it names by alias, else the one of its name.
    std::string target_sql = target.sql;
    std::string target_alias;
    std::ptrdiff_t found = -1;
    for (std::size_t i = 0; i < from.size(); ++i) {
      const Source& s = from[i].source;
      if (!s.alias.empty() && target.schema.empty() && EqualsIgnoreCase(s.alias, target.name)) {
        found = static_cast<std::ptrdiff_t>(i);
        break;
      }
    }
    if (found < 0) {
      for (std::size_t i = 0; i < from.size(); ++i) {
        const Source& s = from[i].source;
        if (!s.table.empty() && EqualsIgnoreCase(s.table, target.sql)) {
          if (!s.alias.empty()) {
            Unsupported(at, "UPDATE of a table that FROM names by an alias");
          }
          found = static_cast<std::ptrdiff_t>(i);
          break;
        }
      }
    }
    std::vector<std::string> conditions;
    std::vector<JoinStep> rest;
    if (found >= 0) {
      for (const JoinStep& step : from) {
        if (!step.inner) Unsupported(at, "UPDATE ... FROM with an outer join");
      }
      const Source& s = from[static_cast<std::size_t>(found)].source;
      if (s.table.empty()) Unsupported(at, "UPDATE of a derived table");
      target_sql = s.table;
      target_alias = s.alias;
      for (std::size_t i = 0; i < from.size(); ++i) {
        JoinStep step = from[i];
        if (!step.condition.empty()) {
          conditions.push_back(step.condition_has_or ? "(" + step.condition + ")" : step.condition);
        }
        if (static_cast<std::ptrdiff_t>(i) == found) continue;
        step.join = rest.empty() ? "" : ",";
        step.condition.clear();
        rest.push_back(std::move(step));
      }
    } else {
      rest = std::move(from);
    }
    if (!where.empty()) conditions.push_back(conditions.empty() ? where : "(" + where + ")");

    Capture capture(this);
    Emit("UPDATE");
    Emit(target_sql);
    if (!target_alias.empty()) {
      Emit("AS");
      Emit(QuoteIfNeeded(target_alias));
    }
    Emit("SET");
    for (std::size_t i = 0; i < assignments.size(); ++i) {
      const Assignment& a = assignments[i];
      if (a.qualifier != 0) {
        const std::string& q = tokens_[a.qualifier].value;
        bool ok = target_alias.empty() ? EqualsIgnoreCase(q, target.name)
                                       : EqualsIgnoreCase(q, target_alias);
        if (!ok) Fail(a.qualifier, "SET column qualified by '" + q + "', not the updated table");
      }
      if (i > 0) Emit(",");
      Emit(a.column);
      Emit("=");
      Emit(a.value);
    }
    if (!rest.empty()) {
      Emit("FROM");
      RenderFrom(rest);
    }
    if (!conditions.empty()) {
      Emit("WHERE");
      for (std::size_t i = 0; i < conditions.size(); ++i) {
        if (i > 0) Emit("AND");
        Emit(conditions[i]);
      }
    }
    return std::move(capture.text());
  }

  static std::string QuoteIfNeeded(const std::string& name) {
    return IsPlainName(name) ? name : QuoteName(name);
  }

  // --- DDL ------------------------------------------------------------------------------------

  // CREATE TABLE or CREATE [UNIQUE] [NON]CLUSTERED INDEX. `named` receives the created table.
  std::string Create(bool if_not_exists, TableRef* named) {
    std::size_t at = pos_;
    ExpectWord("CREATE");
    if (PeekWord("TABLE")) return CreateTable(if_not_exists, named);
    if (if_not_exists) Unsupported(at, "IF OBJECT_ID(...) IS NULL CREATE " + Upper(Peek().text));
    bool unique = AcceptWord("UNIQUE");
    if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
    if (PeekWord("INDEX")) return CreateIndex(unique);
    Unsupported(at, "CREATE " + Upper(Peek().text));
  }

  struct ColumnDef {
    std::string name;  // unquoted
    std::string type;  // as SQLite declares it: decimal(5,0), varchar(80), datetime
    bool text = false;
    bool not_null = false;
    bool unique = false;
    bool identity = false;
    bool key = false;  // a column-level PRIMARY KEY
    std::string default_value;
  };

  std::string CreateTable(bool if_not_exists, TableRef* named) {
    ExpectWord("TABLE");
    std::size_t name_at = pos_;
    TableRef table = TableName();
    if (table.system_objects) Unsupported(name_at, "CREATE TABLE sysobjects");
    if (named != nullptr) *named = table;
    ExpectPunct('(');
    std::vector<ColumnDef> columns;
    std::vector<std::string> uniques;  // UNIQUE (...) table constraints, as SQLite text
    std::vector<std::string> keys;     // the PRIMARY KEY's columns, unquoted
    std::string key_list;              // ... as SQLite text
    std::string identity;
    do {
      std::size_t at = pos_;
      if (PeekWord("CONSTRAINT") || PeekWord("PRIMARY") || PeekWord("UNIQUE")) {
        if (AcceptWord("CONSTRAINT")) {
          if (!IsName(Peek())) Fail(pos_, "expected a constraint name" + Found());
          ++pos_;
        }
        if (AcceptWord("PRIMARY")) {
          ExpectWord("KEY");
          if (!keys.empty()) Fail(at, "a second PRIMARY KEY");
          keys = KeyColumns(&key_list);
        } else if (AcceptWord("UNIQUE")) {
          std::string list;
          KeyColumns(&list);
          uniques.push_back("UNIQUE " + list);
        } else {
          Unsupported(pos_, "table constraint " + Upper(Peek().text));
        }
        SkipIndexOptions();
        continue;
      }
      if (PeekWord("FOREIGN") || PeekWord("CHECK")) Unsupported(at, Upper(Peek().text));
      if (!IsName(Peek())) Fail(pos_, "expected a column name" + Found());
      ColumnDef c;
      c.name = Take().value;
      ColumnDefinition(&c);
      if (c.identity) {
        if (!identity.empty()) Fail(at, "a second IDENTITY column");
        identity = c.name;
      }
      if (c.key) {
        if (!keys.empty()) Fail(at, "a second PRIMARY KEY");
        keys.push_back(c.name);
        key_list = "(" + QuoteName(c.name) + ")";
      }
      columns.push_back(std::move(c));
    } while (AcceptPunct(','));
    ExpectPunct(')');
    SkipIndexOptions();

    // SQLite's only identity is the rowid: an INTEGER PRIMARY KEY column stands for it, and
    // AUTOINCREMENT keeps the ids of deleted rows from coming back, as IDENTITY does. A key on
    // other columns then stays as a unique constraint.
    bool key_is_identity =
        !identity.empty() && keys.size() == 1 && EqualsIgnoreCase(keys[0], identity);
    std::string out = if_not_exists ? "CREATE TABLE IF NOT EXISTS " : "CREATE TABLE ";
    out += table.sql + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const ColumnDef& c = columns[i];
      if (i > 0) out += ", ";
      out += QuoteName(c.name);
      if (c.identity) {
        out += " INTEGER PRIMARY KEY AUTOINCREMENT";
        if (c.not_null) out += " NOT NULL";
        continue;
      }
      out += " " + c.type;
      if (c.not_null) out += " NOT NULL";
      if (c.unique) out += " UNIQUE";
      if (!c.default_value.empty()) out += " DEFAULT " + c.default_value;
      if (c.text) out += std::string(" COLLATE ") + kCollation;
    }
    if (!keys.empty() && !key_is_identity) {
      out += (identity.empty() ? ", PRIMARY KEY " : ", UNIQUE ") + key_list;
    }
    for (const std::string& u : uniques) out += ", " + u;
    out += ")";
    return out;
  }

  // "[CLUSTERED] (a, b DESC)": the names; the list as SQLite text in `list`.
  std::vector<std::string> KeyColumns(std::string* list) {
    if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
    ExpectPunct('(');
    std::vector<std::string> names;
    std::string text = "(";
    do {
      if (!IsName(Peek())) Fail(pos_, "expected a column name" + Found());
      names.push_back(Peek().value);
      if (names.size() > 1) text += ", ";
      text += QuoteName(Take().value);
      if (AcceptWord("ASC")) {
        text += " ASC";
      } else if (AcceptWord("DESC")) {
        text += " DESC";
      }
    } while (AcceptPunct(','));
    ExpectPunct(')');
    text += ")";
    if (list != nullptr) *list = text;
    return names;
  }

  // A column's type and constraints, after its name.
  void ColumnDefinition(ColumnDef* c) {
    std::size_t type_at = pos_;
    const Token& type_token = Peek();
    if (PeekWord("AS")) Unsupported(pos_, "computed column");
    if (!(type_token.kind == TokenKind::kIdentifier ||
          type_token.kind == TokenKind::kQuotedIdentifier)) {
      Fail(pos_, "expected a column type" + Found());
    }
    const TypeRule* rule = FindType(type_token.value);
    if (rule == nullptr) Unsupported(type_at, "column type " + type_token.value);
    c->text = rule->text;
    for (char ch : type_token.value) {
      c->type += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    ++pos_;
    if (AcceptPunct('(')) {
      std::vector<std::string> sizes;
      do {
        const Token& a = Peek();
        if (a.kind == TokenKind::kNumber) {
          UseInline(pos_);
          sizes.push_back(std::string(a.text));
        } else if (IsWord(a, "MAX")) {
          sizes.push_back("max");
        } else {
          Fail(pos_, "expected a size" + Found());
        }
        ++pos_;
      } while (AcceptPunct(','));
      ExpectPunct(')');
      if (static_cast<int>(sizes.size()) > rule->max_args) {
        Fail(type_at, "too many sizes for " + c->type);
      }
      // varchar(max) has no size SQLite could read: it is declared "text", which the backend
      // reads as a text without limit (a bare "varchar" would mean a single character).
      if (sizes.size() == 1 && sizes[0] == "max") {
        c->type = "text";
      } else {
        c->type += "(";
        for (std::size_t i = 0; i < sizes.size(); ++i) c->type += (i > 0 ? "," : "") + sizes[i];
        c->type += ")";
      }
    }
    for (;;) {
      std::size_t at = pos_;
      if (AcceptWord("COLLATE")) {
        // Text columns get the ERP's collation whatever they name; another one would compare
        // differently, so it is refused.
        if (!KnownCollations().Contains(Peek().value)) Unsupported(at, "COLLATE " + Peek().value);
        ++pos_;
      } else if (AcceptWord("IDENTITY")) {
        if (AcceptPunct('(')) {
          for (int i = 0; i < 2; ++i) {
            if (i > 0) ExpectPunct(',');
            if (Peek().kind != TokenKind::kNumber || Peek().text != "1") {
              Unsupported(at, "IDENTITY other than (1, 1)");
            }
            UseInline(pos_++);
          }
          ExpectPunct(')');
        }
        if (PeekWord("NOT") && PeekWord("FOR", 1)) {
          pos_ += 2;
          ExpectWord("REPLICATION");
        }
        c->identity = true;
      } else if (AcceptWord("NOT")) {
        ExpectWord("NULL");
        c->not_null = true;
      } else if (AcceptWord("NULL")) {
        // the default
      } else if (AcceptWord("CONSTRAINT")) {
        if (!IsName(Peek())) Fail(pos_, "expected a constraint name" + Found());
        ++pos_;
      } else if (AcceptWord("DEFAULT")) {
        c->default_value = DefaultValue(at);
      } else if (AcceptWord("PRIMARY")) {
        ExpectWord("KEY");
        if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
        c->key = true;
      } else if (AcceptWord("UNIQUE")) {
        if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
        c->unique = true;
      } else if (PeekWord("ROWGUIDCOL") || PeekWord("CHECK") || PeekWord("REFERENCES") ||
                 PeekWord("FOREIGN") || PeekWord("SPARSE")) {
        Unsupported(at, Upper(Peek().text));
      } else {
        return;
      }
    }
  }

  // DEFAULT 0, DEFAULT ((0)), DEFAULT (N'x'), DEFAULT -1: a constant, written inline (SQLite
  // takes no parameters in a table definition).
  std::string DefaultValue(std::size_t at) {
    int parens = 0;
    while (AcceptPunct('(')) ++parens;
    bool negative = false;
    if (IsOperator(Peek(), "-") || IsOperator(Peek(), "+")) negative = Take().text == "-";
    const Token& t = Peek();
    std::string value;
    if (t.kind == TokenKind::kNumber) {
      value = (negative ? "-" : "") + NumberText(t.text);
      UseInline(pos_++);
    } else if (IsText(t) && !negative) {
      value = QuoteText(t.value);
      UseInline(pos_++);
    } else if (IsWord(t, "NULL") && !negative) {
      value = "NULL";
      ++pos_;
    } else {
      Unsupported(at, "DEFAULT " + std::string(t.text));
    }
    for (int i = 0; i < parens; ++i) ExpectPunct(')');
    return value;
  }

  // WITH FILLFACTOR = 90, WITH (PAD_INDEX = OFF, ...), ON [PRIMARY]: SQL Server's storage.
  void SkipIndexOptions() {
    for (;;) {
      if (PeekWord("WITH") && PeekWord("FILLFACTOR", 1)) {
        pos_ += 2;
        if (!IsOperator(Peek(), "=")) Fail(pos_, "expected '='" + Found());
        ++pos_;
        if (Peek().kind != TokenKind::kNumber) Fail(pos_, "expected a number" + Found());
        DropLiteral(pos_++);
      } else if (PeekWord("WITH") && IsPunct(Peek(1), '(')) {
        pos_ += 2;
        SkipGroup();
      } else if (PeekWord("ON") || PeekWord("TEXTIMAGE_ON")) {
        ++pos_;
        if (!IsName(Peek()) && !PeekWord("PRIMARY")) Fail(pos_, "expected a filegroup" + Found());
        ++pos_;
      } else {
        return;
      }
    }
  }

  // The rest of a parenthesised group whose "(" is taken.
  void SkipGroup() {
    int depth = 1;
    while (depth > 0) {
      const Token& t = Peek();
      if (t.kind == TokenKind::kEnd) Fail(pos_, "expected ')'" + Found());
      if (IsPunct(t, '(')) ++depth;
      if (IsPunct(t, ')')) --depth;
      if (IsLiteral(t)) DropLiteral(pos_);
      ++pos_;
    }
  }

  std::string CreateIndex(bool unique) {
    ExpectWord("INDEX");
    if (!IsName(Peek())) Fail(pos_, "expected an index name" + Found());
    std::string name = Take().value;
    ExpectWord("ON");
    std::size_t table_at = pos_;
    TableRef table = TableName();
    if (table.system_objects) Unsupported(table_at, "CREATE INDEX on sysobjects");
    std::string list;
    KeyColumns(&list);
    if (PeekWord("INCLUDE")) {
      // Covering columns only spare SQL Server a lookup.
      ++pos_;
      ExpectPunct('(');
      SkipGroup();
    }
    if (PeekWord("WHERE")) Unsupported(pos_, "filtered index");
    SkipIndexOptions();
    // SQLite puts the schema on the index's name; the table must live in that schema.
    std::string index =
        table.schema.empty() ? QuoteName(name) : table.schema + "." + QuoteName(name);
    return std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + index + " ON " +
           table.table + " " + list;
  }

  // DROP TABLE a[, b], DROP INDEX ix ON T. `named` receives the (single) dropped table.
  std::vector<std::string> DropStatement(bool if_exists, TableRef* named) {
    std::size_t at = pos_;
    ExpectWord("DROP");
    std::vector<std::string> out;
    if (AcceptWord("TABLE")) {
      if (PeekWord("IF") && PeekWord("EXISTS", 1)) {
        pos_ += 2;
        if_exists = true;
      }
      do {
        std::size_t name_at = pos_;
        TableRef ref = TableName();
        if (ref.system_objects) Unsupported(name_at, "DROP TABLE sysobjects");
        if (named != nullptr) *named = ref;
        out.push_back(std::string("DROP TABLE ") + (if_exists ? "IF EXISTS " : "") + ref.sql);
      } while (AcceptPunct(','));
      return out;
    }
    if (AcceptWord("INDEX")) {
      if (!IsName(Peek())) Fail(pos_, "expected an index name" + Found());
      std::string name = Take().value;
      if (!AcceptWord("ON")) Unsupported(at, "DROP INDEX without ON");
      TableRef ref = TableName();
      std::string index = ref.schema.empty() ? QuoteName(name) : ref.schema + "." + QuoteName(name);
      out.push_back(std::string("DROP INDEX ") + (if_exists ? "IF EXISTS " : "") + index);
      return out;
    }
    Unsupported(at, "DROP " + Upper(Peek().text));
  }

  // ALTER TABLE X [WITH NOCHECK] ADD CONSTRAINT PK PRIMARY KEY CLUSTERED (c) ...: the table
  // got its key when it was created (an IDENTITY column is SQLite's rowid), so nothing to do.
  void AlterTable() {
    std::size_t at = pos_;
    ExpectWord("ALTER");
    ExpectWord("TABLE");
    TableName();
    if (AcceptWord("WITH")) {
      if (!AcceptWord("NOCHECK")) ExpectWord("CHECK");
    }
    if (!AcceptWord("ADD")) Unsupported(at, "ALTER TABLE ... " + Upper(Peek().text));
    if (AcceptWord("CONSTRAINT")) {
      if (!IsName(Peek())) Fail(pos_, "expected a constraint name" + Found());
      ++pos_;
    }
    if (!AcceptWord("PRIMARY")) Unsupported(at, "ALTER TABLE ... ADD " + Upper(Peek().text));
    ExpectWord("KEY");
    KeyColumns(nullptr);
    SkipIndexOptions();
  }

  // IF OBJECT_ID('tempdb..#T') IS NOT NULL DROP TABLE #T, and IF OBJECT_ID('X') IS NULL
  // CREATE TABLE X (...): SQLite's IF [NOT] EXISTS asks the same.
  std::string IfObjectId() {
    std::size_t at = pos_;
    ExpectWord("IF");
    if (!PeekWord("OBJECT_ID") || !IsPunct(Peek(1), '(')) Unsupported(at, "IF");
    pos_ += 2;
    if (!IsText(Peek())) Unsupported(at, "IF OBJECT_ID of an expression");
    TableRef object = ObjectName(pos_++);
    if (AcceptPunct(',')) {
      if (!IsText(Peek())) Fail(pos_, "expected an object type" + Found());
      std::string type = Upper(Peek().value);
      if (type != "U") Unsupported(at, "IF OBJECT_ID type '" + type + "'");
      UseInline(pos_++);
    }
    ExpectPunct(')');
    ExpectWord("IS");
    bool exists = AcceptWord("NOT");
    ExpectWord("NULL");
    bool block = AcceptWord("BEGIN");
    std::size_t body = pos_;
    std::string out;
    TableRef named;
    if (exists && PeekWord("DROP") && PeekWord("TABLE", 1)) {
      std::vector<std::string> drops = DropStatement(true, &named);
      if (drops.size() != 1) Unsupported(body, "IF ... DROP TABLE of several tables");
      out = drops[0];
    } else if (!exists && PeekWord("CREATE") && PeekWord("TABLE", 1)) {
      out = Create(true, &named);
    } else {
      Unsupported(at, "IF");
    }
    // The guard must ask about the table the statement names.
    if (!EqualsIgnoreCase(named.sql, object.sql)) {
      Fail(body, "IF OBJECT_ID names another table than the statement that follows");
    }
    if (block) {
      AcceptPunct(';');
      ExpectWord("END");
    }
    return out;
  }

  // SET NOCOUNT ON and the options scripts set first: SQLite already behaves so (NULL is never
  // equal to anything, double quotes delimit names, trailing blanks are kept) or they only
  // silence row counts. Any other option would change behaviour and is refused.
  void SessionOption() {
    std::size_t at = pos_;
    ExpectWord("SET");
    std::string option = Upper(Peek().text);
    ++pos_;
    std::string value = Upper(Peek().text);
    bool harmless =
        (option == "NOCOUNT" && (value == "ON" || value == "OFF")) ||
        ((option == "ANSI_NULLS" || option == "QUOTED_IDENTIFIER" || option == "ANSI_PADDING") &&
         value == "ON");
    if (!harmless) Unsupported(at, "SET " + option + " " + value);
    ++pos_;
  }

  // EXEC P 1, 'a' / P @a = 1, @b = N'x': the stand-in procedure P with literal arguments.
  // BEGIN TRAN[SACTION] [name], COMMIT and ROLLBACK [TRAN[SACTION] [name] | WORK], SAVE
  // TRAN[SACTION] name. What they do depends on the transactions already open, which only the
  // backend knows: the translation just says which one it is.
  void TransactionStatement(StatementOut* out) {
    using Op = TransactionControl::Op;
    std::size_t at = pos_;
    const std::string word = Upper(Take().text);
    out->kind = Translation::Kind::kTransaction;
    out->transaction.op = word == "BEGIN"    ? Op::kBegin
                          : word == "COMMIT" ? Op::kCommit
                          : word == "SAVE"   ? Op::kSave
                                             : Op::kRollback;
    if (!AcceptWord("TRAN") && !AcceptWord("TRANSACTION")) {
      if (word == "BEGIN" && PeekWord("DISTRIBUTED")) {
        Unsupported(at, "BEGIN DISTRIBUTED TRANSACTION");
      }
      if (word == "BEGIN") Unsupported(at, "BEGIN");  // a statement block
      if (word == "SAVE") Fail(pos_, "expected TRANSACTION" + Found());
      AcceptWord("WORK");
      return;
    }
    if (Peek().kind == TokenKind::kVariable) Unsupported(pos_, std::string(Peek().text));
    if (IsName(Peek())) {
      const Token& name = Peek();
      std::size_t characters = 0;
      for (char c : name.value) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      // SQL Server's limit for transaction and savepoint names.
      if (characters > 32) {
        Fail(pos_, "the name " + std::string(name.text) + " is longer than 32 characters");
      }
      out->transaction.name = name.value;
      ++pos_;
    } else if (word == "SAVE") {
      Fail(pos_, "expected a savepoint name" + Found());
    }
    if (word == "BEGIN" && PeekWord("WITH")) Unsupported(pos_, "BEGIN TRANSACTION ... WITH MARK");
  }

  void Procedure(StatementOut* out) {
    std::size_t at = pos_;
    out->kind = Translation::Kind::kProcedure;
    if (IsPunct(Peek(), '(')) Unsupported(at, "EXEC (dynamic SQL)");
    if (Peek().kind == TokenKind::kVariable) Unsupported(at, std::string(Peek().text));
    std::vector<std::size_t> parts;
    for (;;) {
      if (!IsName(Peek())) Fail(pos_, "expected a procedure name" + Found());
      parts.push_back(pos_++);
      if (!AcceptPunct('.')) break;
    }
    if (parts.size() > 2) Unsupported(at, "procedure in another database");
    if (parts.size() == 2 && !IsDbo(tokens_[parts[0]])) {
      Unsupported(parts[0], "schema " + tokens_[parts[0]].value);
    }
    out->procedure = tokens_[parts.back()].value;
    if (Peek().kind == TokenKind::kEnd || IsPunct(Peek(), ';')) return;
    do {
      std::string name;
      if (Peek().kind == TokenKind::kVariable) {
        if (!IsOperator(Peek(1), "=")) Unsupported(pos_, std::string(Peek().text));
        name = std::string(Take().text);
        ++pos_;
      }
      LiteralSource source;
      if (IsOperator(Peek(), "-") || IsOperator(Peek(), "+")) {
        source.negative = Take().text == "-";
        if (Peek().kind != TokenKind::kNumber) Fail(pos_, "expected a number" + Found());
      }
      const Token& v = Peek();
      if (IsLiteral(v)) {
        source.literal = LiteralIndex(pos_);
        literal_state_[static_cast<std::size_t>(source.literal)] = LiteralUse::kParameter;
      } else if (IsWord(v, "NULL")) {
        source.literal = -1;
      } else if (v.kind == TokenKind::kVariable) {
        Unsupported(pos_, std::string(v.text));
      } else {
        Unsupported(pos_, "procedure argument " + std::string(v.text));
      }
      ++pos_;
      if (PeekWord("OUTPUT") || PeekWord("OUT")) Unsupported(pos_, "OUTPUT");
      out->argument_names.push_back(name);
      result_.procedure_arguments.push_back(source);
    } while (AcceptPunct(','));
  }

  // --- `+` between texts ----------------------------------------------------------------------

  // T-SQL concatenates texts with `+`, SQLite adds them as numbers: a `+` becomes `||` in a
  // chain of additions where some operand is text (a string literal, a text function, or a
  // parenthesised text expression). Operators of lower precedence, commas and keywords end a
  // chain.
  void MarkConcatenations() {
    concat_.assign(tokens_.size(), false);
    struct Level {
      std::vector<std::size_t> pluses;
      bool text = false;       // the current chain has a text operand
      bool boundary = false;   // something other than one chain was seen at this level
      bool any_text = false;   // a text literal stands right at this level
      bool call = false;       // the group holds a function's arguments
      bool text_call = false;  // ... of a function that returns text
      bool null_call = false;  // ... of ISNULL or COALESCE, text when an argument is
    };
    std::vector<Level> levels(1);
    auto close_chain = [&](Level& level) {
      if (level.text) {
        for (std::size_t i : level.pluses) concat_[i] = true;
      }
      level.pluses.clear();
    };
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      const Token& t = tokens_[i];
      Level& level = levels.back();
      if (IsPunct(t, '(')) {
        Level inner;
        const Token* before = i > 0 ? &tokens_[i - 1] : nullptr;
        if (before != nullptr && before->kind == TokenKind::kIdentifier &&
            (!IsReserved(*before) || IsWord(*before, "LEFT") || IsWord(*before, "RIGHT") ||
             IsWord(*before, "COALESCE"))) {
          inner.call = true;
          inner.text_call = TextFunctions().Contains(before->text);
          inner.null_call = IsWord(*before, "ISNULL") || IsWord(*before, "COALESCE");
        }
        levels.push_back(inner);
      } else if (IsPunct(t, ')')) {
        if (levels.size() == 1) continue;
        Level inner = std::move(levels.back());
        bool inner_text = inner.text;
        close_chain(inner);
        levels.pop_back();
        if (inner.text_call || (inner.null_call && inner.any_text) ||
            (!inner.call && !inner.boundary && inner_text)) {
          levels.back().text = true;
        }
      } else if (IsText(t)) {
        level.text = true;
        level.any_text = true;
      } else if (IsOperator(t, "+")) {
        level.pluses.push_back(i);
      } else if (t.kind == TokenKind::kNumber || t.kind == TokenKind::kQuotedIdentifier ||
                 t.kind == TokenKind::kTempTable || t.kind == TokenKind::kVariable ||
                 IsPunct(t, '.') || IsOperator(t, "-") || IsOperator(t, "*") ||
                 IsOperator(t, "/") || IsOperator(t, "%") ||
                 (t.kind == TokenKind::kIdentifier && !IsReserved(t))) {
        // part of an operand or of an additive chain
      } else {
        close_chain(level);
        level.text = false;
        level.boundary = true;
      }
    }
    for (Level& level : levels) close_chain(level);
  }

  std::string_view sql_;
  const std::vector<Token>& tokens_;
  std::size_t pos_ = 0;
  std::vector<int> literal_of_;
  std::vector<LiteralUse> literal_state_;
  std::vector<bool> concat_;
  Template result_;
  std::string main_out_;
  std::string* out_ = &main_out_;
  bool collated_ = false;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The translator and its cache

struct Translator::Cache {
  std::unordered_map<std::string, Template> entries;
  std::uint64_t hits = 0;
};

namespace {

// Enough for every shape the module composes; past it the cache starts over rather than grow
// without bound on ad-hoc statements.
constexpr std::size_t kMaxCacheEntries = 4096;

bool InlineLiteralsMatch(const Template& t, const std::vector<const Token*>& literals) {
  for (const auto& [literal, text] : t.inline_literals) {
    if (literals[static_cast<std::size_t>(literal)]->text != text) return false;
  }
  return true;
}

Value SourceValue(const LiteralSource& source, const std::vector<const Token*>& literals,
                  std::string_view sql) {
  if (source.literal < 0) return Value(Null{});
  Value v = LiteralValue(*literals[static_cast<std::size_t>(source.literal)], sql);
  if (!source.negative) return v;
  return v.kind() == ValueKind::kInteger ? Value(-v.as_integer()) : Value(-v.as_decimal());
}

Translation Instantiate(const Template& t, const std::vector<const Token*>& literals,
                        std::string_view sql) {
  for (int literal : t.like_patterns) {
    CheckLikePattern(*literals[static_cast<std::size_t>(literal)], sql);
  }
  Translation out = t.translation;
  out.parameters.reserve(t.parameter_literals.size());
  for (const LiteralSource& p : t.parameter_literals) {
    out.parameters.push_back(SourceValue(p, literals, sql));
  }
  for (const LiteralSource& a : t.procedure_arguments) {
    out.procedure.arguments.push_back(SourceValue(a, literals, sql));
  }
  return out;
}

}  // namespace

Translator::Translator() : cache_(std::make_unique<Cache>()) {}
Translator::~Translator() = default;

std::size_t Translator::cache_size() const { return cache_->entries.size(); }
std::uint64_t Translator::cache_hits() const { return cache_->hits; }

Translation Translator::Translate(std::string_view tsql) {
  std::vector<Token> tokens = Lex(tsql);
  // The shape: every token's kind and text, literals by kind only. Each text is preceded by
  // its length, so that no two token sequences give the same key.
  std::string key;
  key.reserve(tsql.size() + 3 * tokens.size());
  std::vector<const Token*> literals;
  for (const Token& t : tokens) {
    key += static_cast<char>('a' + static_cast<int>(t.kind));
    if (IsLiteral(t)) {
      literals.push_back(&t);
      continue;
    }
    char length[24];
    char* end = std::to_chars(length, length + sizeof length, t.text.size()).ptr;
    key.append(length, end) += ':';
    key.append(t.text);
  }
  auto it = cache_->entries.find(key);
  if (it != cache_->entries.end() && InlineLiteralsMatch(it->second, literals)) {
    ++cache_->hits;
    return Instantiate(it->second, literals, tsql);
  }
  Template fresh = Rewriter(tsql, tokens).Run();
  Translation out = Instantiate(fresh, literals, tsql);
  if (it != cache_->entries.end()) {
    it->second = std::move(fresh);
  } else {
    if (cache_->entries.size() >= kMaxCacheEntries) cache_->entries.clear();
    cache_->entries.emplace(std::move(key), std::move(fresh));
  }
  return out;
}

std::vector<std::string> SplitBatches(std::string_view script) {
  std::vector<std::string> batches;
  std::string current;
  auto flush = [&] {
    bool blank = std::all_of(current.begin(), current.end(), [](char c) {
      return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    });
    if (!blank) batches.push_back(current);
    current.clear();
  };
  std::size_t pos = 0;
  while (pos < script.size()) {
    std::size_t end = script.find('\n', pos);
    std::size_t next = end == std::string_view::npos ? script.size() : end + 1;
    std::string_view line = script.substr(pos, next - pos);
    std::string_view trimmed = line;
    while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) {
      trimmed.remove_prefix(1);
    }
    while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t' ||
                                trimmed.back() == '\r' || trimmed.back() == '\n')) {
      trimmed.remove_suffix(1);
    }
    if (EqualsIgnoreCase(trimmed, "GO")) {
      flush();
    } else {
      current.append(line);
    }
    pos = next;
  }
  flush();
  return batches;
}

}  // namespace zodadovez::bridge
