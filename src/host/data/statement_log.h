// The statement log: a decorator that records every statement a database runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "module/common/database.h"

namespace zodadovez {

struct StatementRecord {
  enum class Kind { kExecute, kOpen, kInsert, kUpdate };
  Kind kind;
  // The T-SQL text; for writes, "INSERT INTO T (a, b) VALUES (?, ?)" or
  // "UPDATE T SET a = ?, b = ? WHERE <primary key>".
  std::string text;
  RowWrite write;         // writes only: what to send again on replay
  std::int64_t rows = 0;  // rows affected (writes, execute) or read (open)
  // Time inside the database, without the log's own bookkeeping.
  std::chrono::nanoseconds elapsed{0};
  // Updates logged to a sink: the primary key the row was found by and its values, when the
  // backend tells its keys (see KeyedTables).
  std::vector<std::string> key{};
  std::vector<Value> key_values{};

  // The values of a write, in the order of its columns.
  const std::vector<Value>& parameters() const { return write.values; }
};

// Keeps every record, or hands each one to a sink as it comes and keeps none.
class StatementLog {
 public:
  using Sink = std::function<void(const StatementRecord&)>;
  StatementLog() = default;
  explicit StatementLog(Sink sink) : sink_(std::move(sink)) {}

  void Add(StatementRecord record) {
    if (sink_) {
      sink_(record);
    } else {
      records_.push_back(std::move(record));
    }
  }
  const std::vector<StatementRecord>& records() const { return records_; }
  void Clear() { records_.clear(); }
  // A sink shows updates whole, with the key they find their row by.
  bool streams() const { return static_cast<bool>(sink_); }

 private:
  Sink sink_;
  std::vector<StatementRecord> records_;
};

// A backend that can tell by which columns its updates find a row.
class KeyedTables {
 public:
  virtual ~KeyedTables() = default;
  // The primary key columns of `table`, in key order. Throws DataError.
  virtual std::vector<std::string> PrimaryKey(const std::string& table) = 0;
};

// Forwards everything to `inner` and records its statements in `log` (which must outlive the
// decorator). Locks are forwarded, not recorded: they are no statement of the module's.
class LoggingDatabase : public Database {
 public:
  LoggingDatabase(std::unique_ptr<Database> inner, StatementLog* log);

  std::int64_t execute(std::string_view sql) override;
  Recordset open(std::string_view sql) override;
  std::string server_name() override;
  std::string dbms_version() override;
  std::string date_text(DateTime value) const override;
  std::optional<std::int64_t> insert_row(const RowWrite& write) override;
  std::int64_t update_row(const RowWrite& write) override;
  bool AcquireLock(std::string_view resource, std::chrono::milliseconds wait) override;
  void ReleaseLock(std::string_view resource) override;

 private:
  std::unique_ptr<Database> inner_;
  StatementLog* log_;
  KeyedTables* keys_;  // inner_ when it tells its keys, else null
};

// Sends the recorded statements again, in order, to `db`. Returns the number sent.
std::size_t Replay(const StatementLog& log, Database& db);

}  // namespace zodadovez
