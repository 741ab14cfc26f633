// The SQL log of a run (--sql-log FILE): every statement the module sends, in order, as one
// JSON object per line, written to the file as the run goes.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "host/data/statement_log.h"

namespace zodadovez {

// One statement as its line (without the newline): {"sql": the T-SQL text as the module wrote
// it, "params": the values of a write, "ms": time inside the database, "rows": rows read or
// affected}. A write's text is its parameterised INSERT or UPDATE (with the key its row is found
// by, which comes last in "params"). Values are JSON numbers, strings or null: decimals and
// dates as strings ("12.50", "2024-07-15 21:30:05"), so that no digit is lost; bits as 0 or 1.
std::string SqlLogLine(const StatementRecord& record);

class SqlLogFile {
 public:
  // Creates or empties `path`. Throws ConfigError when it cannot be written.
  explicit SqlLogFile(const std::filesystem::path& path);
  SqlLogFile(const SqlLogFile&) = delete;
  SqlLogFile& operator=(const SqlLogFile&) = delete;

  // The log to record the run's statements in: each one goes to the file at once.
  StatementLog* log() { return &log_; }
  // Flushes; false when some line could not be written (a full disk), with the reason.
  bool Finish(std::string* why);

 private:
  std::filesystem::path path_;
  std::ofstream out_;
  StatementLog log_;
};

}  // namespace zodadovez
