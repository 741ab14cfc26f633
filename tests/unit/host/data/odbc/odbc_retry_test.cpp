// When the SQL Server backend tries again, decided without a server: which failures pass, the
// pauses between tries, which statements may be sent twice and when a transaction is open.
#include "host/data/odbc/odbc_retry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zodadovez::odbc {
namespace {

using std::chrono::milliseconds;

std::vector<Diagnostic> Records(std::initializer_list<std::pair<const char*, long>> records) {
  std::vector<Diagnostic> out;
  for (const auto& [state, native] : records) out.push_back({state, native, "message"});
  return out;
}

TEST(OdbcRetryTest, ClassifiesConnectFailures) {
  const struct {
    std::vector<Diagnostic> records;
    bool transient;
  } cases[] = {
      {Records({{"08001", 0}}), true},                        // nothing answered
      {Records({{"08S01", 0}, {"08001", 0}}), true},          // FreeTDS on a refused port
      {Records({{"HYT00", 0}}), true},                        // the login timed out
      {Records({{"42000", 40613}}), true},                    // database not available yet
      {Records({{"01000", 0}, {"HY000", 10054}}), true},      // connection reset during the login
      {Records({{"28000", 18456}}), false},                   // wrong login or password
      {Records({{"08001", 0}, {"28000", 18456}}), false},     // refused, whatever came first
      {Records({{"42000", 18486}}), false},                   // account locked out
      {Records({{"IM002", 0}}), false},                       // no such data source or driver
      {Records({{"42000", 4060}, {"28000", 18456}}), false},  // no such database
      {Records({{"HY000", 0}}), false},
      {Records({}), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsTransientConnectFailure(c.records), c.transient) << FormatDiagnostics(c.records);
  }
}

TEST(OdbcRetryTest, ClassifiesStatementFailures) {
  const struct {
    std::vector<Diagnostic> records;
    bool transient;
  } cases[] = {
      {Records({{"40001", 1205}}), true},                 // deadlock victim
      {Records({{"HY000", 1222}}), true},                 // lock request timed out
      {Records({{"42000", 40501}}), true},                // service busy
      {Records({{"40001", 1205}, {"08S01", 0}}), false},  // and then the link broke
      {Records({{"08S01", 0}}), false},                   // the connection is gone
      {Records({{"42S02", 208}}), false},                 // no such table
      {Records({{"23000", 2627}}), false},                // duplicate key
      {Records({{"22018", 245}}), false},                 // conversion failed
      {Records({{"HYT00", 0}}), false},                   // a query that ran out of time
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsTransientStatementFailure(c.records), c.transient) << FormatDiagnostics(c.records);
  }
}

TEST(OdbcRetryTest, PausesDoubleUpToTheirLimit) {
  const RetryPolicy policy{5, milliseconds(500), milliseconds(1500)};
  EXPECT_EQ(policy.DelayAfter(1), milliseconds(500));
  EXPECT_EQ(policy.DelayAfter(2), milliseconds(1000));
  EXPECT_EQ(policy.DelayAfter(3), milliseconds(1500));
  EXPECT_EQ(policy.DelayAfter(30), milliseconds(1500));
  const ConnectOptions defaults;
  EXPECT_GT(defaults.connect.attempts, 1);
  EXPECT_LE(defaults.connect.attempts, 5);
  EXPECT_GT(defaults.reads.attempts, 1);
}

TEST(OdbcRetryTest, OnlyPlainReadsMayBeSentTwice) {
  const struct {
    const char* sql;
    bool read;
  } cases[] = {
      {"SELECT * FROM CG16_ANAGGEN WITH (NOLOCK) WHERE CG16_RAGSOANAG = 'INSERT INTO X'", true},
      {"select 1", true},
      {"(SELECT 1)", true},
      {"WITH C AS (SELECT 1 AS A) SELECT A FROM C", true},
      {"SELECT [INSERT] FROM T", true},
      {"SELECT 1;", true},
      {"SELECT * INTO #TEMPDOC FROM X", false},
      {"SELECT * FROM CG26_PROGANAG WITH (UPDLOCK, HOLDLOCK) WHERE CG26_CODICE = 'ANAGG'", false},
      {"SELECT 1; DELETE FROM T", false},
      {"WITH C AS (SELECT 1 AS A) DELETE FROM T", false},
      {"EXEC SPCO_AGGIORNA_ANAG_FROM_CG16 5", false},
      {"SPMG_ESPLKIT @DITTA=1, @CODICE_ARTICOLO = 'KIT'", false},
      {"UPDATE T SET A = 1", false},
      {"SELECT NEXT VALUE FOR S", false},
      {"SELECT 'unterminated", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRetryableRead(c.sql), c.read) << c.sql;
}

TEST(OdbcRetryTest, FollowsTheTransactionNesting) {
  const struct {
    const char* sql;
    int before;
    int after;
  } cases[] = {
      {"BEGIN TRANSACTION", 0, 1},
      {"begin tran", 1, 2},
      {"COMMIT TRANSACTION", 2, 1},
      {"COMMIT", 0, 0},
      {"ROLLBACK TRANSACTION", 3, 0},
      {"ROLLBACK", 1, 0},
      {"ROLLBACK TRAN before_rows", 2, 2},  // perhaps a savepoint: kept
      {"BEGIN TRAN; INSERT INTO T VALUES (1); COMMIT", 0, 0},
      {"BEGIN TRY SELECT 1 END TRY BEGIN CATCH END CATCH", 0, 0},
      {"SELECT 'BEGIN TRAN'", 0, 0},
      {"SELECT 'unterminated", 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TransactionDepthAfter(c.sql, c.before), c.after) << c.sql;
  }
}

}  // namespace
}  // namespace zodadovez::odbc
