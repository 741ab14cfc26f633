// The T-SQL bridge: rewrites the module's T-SQL into SQLite over the lexer's tokens.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "module/common/value.h"

namespace zodadovez::bridge {

// The name of the collation the backend registers on every connection: case-insensitive over
// Latin-1 and Latin Extended-A, trailing blanks ignored, as the ERP's SQL Server collation.
inline constexpr const char* kCollation = "LATIN1_CI_AS";

// A database the statement reaches by a three- or four-part name, to be attached first.
struct Attachment {
  std::string alias;          // the schema name the translated SQL uses ("Palestra")
  std::string linked_server;  // "GYM_3" for GYM_3.Palestra.dbo.T, else empty
  std::string database;       // "Palestra"
};

struct ProcedureCall {
  std::string name;                // SPMG_ESPLKIT
  std::vector<std::string> names;  // "@a" for named arguments, "" for positional ones
  std::vector<Value> arguments;    // literal values: text, integer, decimal, Null
};

// BEGIN TRAN[SACTION] [name], COMMIT [TRAN[SACTION] [name]], ROLLBACK [TRAN[SACTION] [name]],
// SAVE TRAN[SACTION] name: the backend keeps SQL Server's transaction count and savepoints.
struct TransactionControl {
  enum class Op { kBegin, kCommit, kRollback, kSave };
  Op op = Op::kBegin;
  std::string name;  // as written, without brackets; empty when none
};

struct Translation {
  enum class Kind {
    kStatements,   // run `statements` in order, binding `parameters` to each one's ?NNN
    kSelectInto,   // SELECT ... INTO #T: create temp."#T" from `select_sql`'s columns, then fill
    kProcedure,    // call the stand-in procedure `procedure`
    kNothing,      // a statement with no effect here (ALTER TABLE ... ADD CONSTRAINT PK ...),
                   // or a batch that holds only comments
    kTransaction,  // begin, commit, roll back or set a savepoint: `transaction`
  };
  Kind kind = Kind::kStatements;
  std::vector<std::string> statements;
  // Literal values lifted out of the text, bound as ?1, ?2 ... (the same in every statement:
  // a statement names only the ones it uses).
  std::vector<Value> parameters;
  std::string temp_table;  // kSelectInto: the quoted SQLite name, temp."#T"
  std::string select_sql;  // kSelectInto: the SELECT without INTO (uses `parameters`)
  ProcedureCall procedure;
  TransactionControl transaction;
  std::vector<Attachment> attachments;  // each alias once (aliases compare ignoring case)
};

// Translates statements, caching each translation by the statement's shape (its tokens with
// the literal values abstracted), so that the same statement with other values costs a lexer
// pass and a lookup. Not thread-safe: one per connection.
class Translator {
 public:
  Translator();
  ~Translator();
  Translator(const Translator&) = delete;
  Translator& operator=(const Translator&) = delete;

  // Throws TranslateError naming the construct and quoting the statement for anything outside
  // what the bridge knows, and for syntax errors (with line and column).
  Translation Translate(std::string_view tsql);

  std::size_t cache_size() const;
  std::uint64_t cache_hits() const;

 private:
  struct Cache;
  std::unique_ptr<Cache> cache_;
};

// Splits a script into batches at lines that hold only "GO" (any case, blanks around).
// Batches that hold only blanks are left out.
std::vector<std::string> SplitBatches(std::string_view script);

}  // namespace zodadovez::bridge
