// Fault injection: a Database decorator that makes a chosen statement fail, for the reliability
// tests of the import (what a lost connection, a deadlock victim or a refused write does to a
// run).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/data/statement_log.h"
#include "module/common/database.h"

namespace zodadovez {

// Which statements fail, counted over every connection that shares the plan. Statements are
// execute, open, insert_row, update_row and AcquireLock calls, numbered from 1 in the order they
// are sent.
struct FaultPlan {
  // The first statement that fails; 0 fails none.
  std::int64_t fail_at = 0;
  // false: only statement `fail_at` fails (a transient fault, the next one succeeds).
  // true: every statement from `fail_at` on fails, as when the server goes away for good.
  bool persistent = false;

  // When not 0, statement `fail_at` is not failed: the process sends itself this signal there
  // instead (SIGKILL: a power cut at that point; SIGINT: an operator's Ctrl-C) and, if it lives
  // on, the statement runs.
  int signal = 0;

  // When set, receives the text (or the written table) of every statement, in order, failed
  // ones included: the statement numbers of a run.
  std::vector<std::string>* record = nullptr;

  // Filled in as the statements go by.
  std::int64_t statements = 0;  // statements seen, failed ones included
  std::int64_t failures = 0;    // statements failed
  std::string first_failed;     // the text (or the written table) of the first failed one

  bool Fails(std::int64_t number) const {
    return fail_at > 0 && (persistent ? number >= fail_at : number == fail_at);
  }
};

// Forwards everything to `inner`, except the statements the plan picks: those throw DataError
// (the statement is not sent). `plan` must outlive the decorator. Connection facts
// (server_name, dbms_version, date_text) and ReleaseLock never fail: they are not statements, or
// must not throw.
class FaultyDatabase : public Database, public KeyedTables {
 public:
  FaultyDatabase(std::unique_ptr<Database> inner, FaultPlan* plan);

  std::int64_t execute(std::string_view sql) override;
  Recordset open(std::string_view sql) override;
  std::string server_name() override;
  std::string dbms_version() override;
  std::string date_text(DateTime value) const override;
  std::optional<std::int64_t> insert_row(const RowWrite& write) override;
  std::int64_t update_row(const RowWrite& write) override;
  bool AcquireLock(std::string_view resource, std::chrono::milliseconds wait) override;
  void ReleaseLock(std::string_view resource) override;
  // Asks `inner`, when it tells its keys (not a statement: never fails by the plan).
  std::vector<std::string> PrimaryKey(const std::string& table) override;

 private:
  // Counts the statement and throws when the plan says it fails.
  void Step(std::string_view what);

  std::unique_ptr<Database> inner_;
  FaultPlan* plan_;
};

}  // namespace zodadovez
