#include "host/data/odbc/odbc_retry.h"

#include <algorithm>
#include <array>

#include "host/data/sqlite/tsql_lexer.h"
#include "module/common/errors.h"

namespace zodadovez::odbc {
namespace {

using bridge::EqualsIgnoreCase;
using bridge::Token;
using bridge::TokenKind;

// Server errors after which the same request succeeds a moment later.
constexpr std::array<long, 9> kBusyErrors = {
    1204,   // no lock resource available
    1205,   // chosen as deadlock victim
    1222,   // lock request timed out
    10928,  // resource limit reached
    10929,  // resource minimum not available
    40501,  // service busy
    49918,  // not enough resources
    49919,  // too many create or update operations
    49920,  // too many operations
};

// Server errors of a login that a server starting, failing over or moving answers.
constexpr std::array<long, 9> kUnavailableErrors = {
    233,    // connection broken during the login
    10053,  // connection aborted by the host
    10054,  // connection reset by the peer
    10060,  // no answer in time
    40143,  // service failing over
    40197,  // service error while processing the request
    40613,  // database not currently available
    4221,   // secondary replica not yet available
    64,     // network name no longer available
};

// Refusals of the login itself.
constexpr std::array<long, 5> kLoginRefused = {18456, 18452, 18486, 18487, 18488};

template <std::size_t N>
bool Contains(const std::array<long, N>& numbers, long number) {
  return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

bool AnyState(const std::vector<Diagnostic>& records,
              std::initializer_list<std::string_view> states) {
  return std::any_of(records.begin(), records.end(), [&](const Diagnostic& r) {
    return std::find(states.begin(), states.end(), r.state) != states.end();
  });
}

template <std::size_t N>
bool AnyNative(const std::vector<Diagnostic>& records, const std::array<long, N>& numbers) {
  return std::any_of(records.begin(), records.end(),
                     [&](const Diagnostic& r) { return Contains(numbers, r.native); });
}

bool IsWord(const Token& t, std::string_view word) {
  return t.kind == TokenKind::kIdentifier && EqualsIgnoreCase(t.value, word);
}

// Words that make a statement more than a read. UPDLOCK, XLOCK and HOLDLOCK read, but take
// locks that belong to a transaction the caller is building.
constexpr std::array<std::string_view, 27> kNotARead = {
    "INTO",    "INSERT",   "UPDATE",  "DELETE",   "MERGE",    "EXEC",      "EXECUTE",
    "CREATE",  "ALTER",    "DROP",    "TRUNCATE", "DECLARE",  "SET",       "BEGIN",
    "COMMIT",  "ROLLBACK", "SAVE",    "GRANT",    "REVOKE",   "DENY",      "USE",
    "WAITFOR", "DBCC",     "UPDLOCK", "XLOCK",    "HOLDLOCK", "OPENQUERY",
};

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsIgnoreCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

}  // namespace

std::chrono::milliseconds RetryPolicy::DelayAfter(int attempt) const {
  std::chrono::milliseconds delay = first_delay;
  for (int i = 1; i < attempt && delay < max_delay; ++i) delay *= 2;
  return std::min(delay, max_delay);
}

bool IsTransientConnectFailure(const std::vector<Diagnostic>& records) {
  if (AnyState(records, {"28000", "IM002", "IM003", "IM004", "IM006"})) return false;
  if (AnyNative(records, kLoginRefused)) return false;
  return AnyState(records, {"08001", "08S01", "HYT00", "HYT01"}) ||
         AnyNative(records, kUnavailableErrors) || AnyNative(records, kBusyErrors);
}

bool IsTransientStatementFailure(const std::vector<Diagnostic>& records) {
  if (IsConnectionLost(records)) return false;
  return AnyState(records, {"40001"}) || AnyNative(records, kBusyErrors);
}

bool IsRetryableRead(std::string_view sql) {
  std::vector<Token> tokens;
  try {
    tokens = bridge::Lex(sql);
  } catch (const Error&) {
    return false;
  }
  std::size_t first = 0;
  while (tokens[first].kind == TokenKind::kPunctuation && tokens[first].text == "(") ++first;
  if (!IsWord(tokens[first], "SELECT") && !IsWord(tokens[first], "WITH")) return false;
  for (std::size_t i = first; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kEnd) break;
    if (t.kind == TokenKind::kPunctuation && t.text == ";" &&
        tokens[i + 1].kind != TokenKind::kEnd) {
      return false;  // a second statement follows
    }
    if (t.kind != TokenKind::kIdentifier) continue;
    for (std::string_view word : kNotARead) {
      if (EqualsIgnoreCase(t.value, word)) return false;
    }
    // NEXT VALUE FOR draws from a sequence.
    if (EqualsIgnoreCase(t.value, "NEXT") && IsWord(tokens[i + 1], "VALUE")) return false;
  }
  return true;
}

int TransactionDepthAfter(std::string_view sql, int depth) {
  // Most statements name no transaction: they are spared the lexer.
  if (!ContainsIgnoringCase(sql, "TRAN") && !ContainsIgnoringCase(sql, "COMMIT") &&
      !ContainsIgnoringCase(sql, "ROLLBACK")) {
    return depth;
  }
  std::vector<Token> tokens;
  try {
    tokens = bridge::Lex(sql);
  } catch (const Error&) {
    return depth;
  }
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (IsWord(t, "BEGIN") &&
        (IsWord(tokens[i + 1], "TRAN") || IsWord(tokens[i + 1], "TRANSACTION") ||
         IsWord(tokens[i + 1], "DISTRIBUTED"))) {
      ++depth;
    } else if (IsWord(t, "COMMIT")) {
      depth = std::max(depth - 1, 0);
    } else if (IsWord(t, "ROLLBACK")) {
      // ROLLBACK TRAN <name> may undo to a savepoint only: the depth is then unknown, and
      // kept, which only costs retries.
      std::size_t next = i + 1;
      if (IsWord(tokens[next], "TRAN") || IsWord(tokens[next], "TRANSACTION") ||
          IsWord(tokens[next], "WORK")) {
        ++next;
      }
      const TokenKind kind = tokens[next].kind;
      const bool named = kind == TokenKind::kIdentifier || kind == TokenKind::kQuotedIdentifier ||
                         kind == TokenKind::kVariable;
      if (!named) depth = 0;
    }
  }
  return depth;
}

}  // namespace zodadovez::odbc
