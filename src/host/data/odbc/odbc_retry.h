// When the SQL Server backend tries again: which failures are transient, how long it waits, and
// which statements are safe to send twice. Nothing here needs a server.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>
#include <vector>

#include "host/data/odbc/odbc_text.h"

namespace zodadovez::odbc {

// A bounded number of tries with a doubling pause between them.
struct RetryPolicy {
  int attempts = 1;  // tries in all, the first one included; 1 never tries again
  std::chrono::milliseconds first_delay{0};
  std::chrono::milliseconds max_delay{0};

  // The pause after the failed try number `attempt` (1-based): first_delay doubled for each
  // earlier retry, at most max_delay.
  std::chrono::milliseconds DelayAfter(int attempt) const;
};

// How an OdbcDatabase connects and when it tries again.
struct ConnectOptions {
  // Seconds allowed for the login, and for each request on the connection that is not a query
  // (queries have no limit: the nightly import runs long statements).
  std::chrono::seconds login_timeout{15};
  std::chrono::seconds connection_timeout{30};
  // Opening the connection: a server that is restarting or failing over answers again within
  // seconds; a login the server refuses is never tried again.
  RetryPolicy connect{4, std::chrono::milliseconds(1000), std::chrono::milliseconds(8000)};
  // Reads (see IsRetryableRead) refused as a deadlock victim or for a lock or resource limit.
  RetryPolicy reads{3, std::chrono::milliseconds(500), std::chrono::milliseconds(4000)};
  // Waits between tries; the thread sleeps when empty. Tests record the pauses instead.
  std::function<void(std::chrono::milliseconds)> sleep;
};

// True when a failed connection attempt may succeed if tried again: the server was not reached,
// the link broke during the login, the login timed out, or the server reported itself busy or
// unavailable. A refused login (SQLSTATE 28000, error 18456 and its kin) is never transient:
// trying a wrong password again could lock the account. A missing driver or data source
// (IM002, IM003) is not either.
bool IsTransientConnectFailure(const std::vector<Diagnostic>& records);
// True when a statement failed for a reason that passes: chosen as deadlock victim (40001,
// error 1205), a lock request timed out (1222) or no lock was available (1204), or the server
// was out of resources for the moment (40501, 49918-49920, 10928, 10929). A lost connection
// (IsConnectionLost) is never transient: the connection's temporary tables went with it.
bool IsTransientStatementFailure(const std::vector<Diagnostic>& records);

// True when `sql` only reads, so that sending it again changes nothing: one SELECT (or a WITH
// ... SELECT), without INTO and without any statement that writes, locks for update, runs a
// procedure, changes a connection setting or draws a sequence value. False for what the lexer
// cannot read.
bool IsRetryableRead(std::string_view sql);

// The connection's transaction nesting after `sql` succeeded when it was `depth` before:
// BEGIN TRAN[SACTION] adds one, COMMIT takes one away, ROLLBACK ends them all (ROLLBACK TRAN
// <name>, which may stop at a savepoint, changes nothing). A read inside a
// transaction is never tried again: a deadlock has rolled the whole transaction back, and a
// retried read would go on without it.
int TransactionDepthAfter(std::string_view sql, int depth);

}  // namespace zodadovez::odbc
