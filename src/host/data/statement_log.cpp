#include "host/data/statement_log.h"

#include <fmt/format.h>

#include "module/common/errors.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

using Clock = std::chrono::steady_clock;

std::string InsertText(const RowWrite& w) {
  std::string columns;
  std::string marks;
  for (std::size_t i = 0; i < w.columns.size(); ++i) {
    columns += fmt::format("{}{}", i == 0 ? "" : ", ", w.columns[i]);
    marks += i == 0 ? "?" : ", ?";
  }
  return fmt::format("INSERT INTO {} ({}) VALUES ({})", w.table, columns, marks);
}

std::string UpdateText(const RowWrite& w) {
  std::string sets;
  for (std::size_t i = 0; i < w.columns.size(); ++i) {
    sets += fmt::format("{}{} = ?", i == 0 ? "" : ", ", w.columns[i]);
  }
  return fmt::format("UPDATE {} SET {} WHERE <primary key>", w.table, sets);
}

}  // namespace

LoggingDatabase::LoggingDatabase(std::unique_ptr<Database> inner, StatementLog* log)
    : inner_(std::move(inner)), log_(log), keys_(dynamic_cast<KeyedTables*>(inner_.get())) {}

std::int64_t LoggingDatabase::execute(std::string_view sql) {
  auto start = Clock::now();
  std::int64_t rows = inner_->execute(sql);
  auto elapsed = Clock::now() - start;
  log_->Add({StatementRecord::Kind::kExecute, std::string(sql), {}, rows, elapsed});
  return rows;
}

Recordset LoggingDatabase::open(std::string_view sql) {
  auto start = Clock::now();
  Recordset rs = inner_->open(sql);
  auto elapsed = Clock::now() - start;
  auto rows = static_cast<std::int64_t>(rs.record_count());
  log_->Add({StatementRecord::Kind::kOpen, std::string(sql), {}, rows, elapsed});
  return rs;
}

std::string LoggingDatabase::server_name() { return inner_->server_name(); }
std::string LoggingDatabase::dbms_version() { return inner_->dbms_version(); }
std::string LoggingDatabase::date_text(DateTime value) const { return inner_->date_text(value); }

std::optional<std::int64_t> LoggingDatabase::insert_row(const RowWrite& write) {
  auto start = Clock::now();
  std::optional<std::int64_t> id = inner_->insert_row(write);
  auto elapsed = Clock::now() - start;
  log_->Add({StatementRecord::Kind::kInsert, InsertText(write), write, 1, elapsed});
  return id;
}

std::int64_t LoggingDatabase::update_row(const RowWrite& write) {
  auto start = Clock::now();
  std::int64_t rows = inner_->update_row(write);
  auto elapsed = Clock::now() - start;
  StatementRecord record{StatementRecord::Kind::kUpdate, UpdateText(write), write, rows, elapsed};
  if (log_->streams() && keys_ != nullptr) {
    // The backend read the table's key for the update just sent: asking again costs nothing.
    try {
      for (const std::string& column : keys_->PrimaryKey(write.table)) {
        for (std::size_t i = 0; i < write.original_fields.size(); ++i) {
          if (TextEquals(write.original_fields[i].name, column) &&
              i < write.original_values.size()) {
            record.key.push_back(column);
            record.key_values.push_back(write.original_values[i]);
          }
        }
      }
    } catch (const DataError&) {
      record.key.clear();
      record.key_values.clear();
    }
  }
  log_->Add(std::move(record));
  return rows;
}

bool LoggingDatabase::AcquireLock(std::string_view resource, std::chrono::milliseconds wait) {
  return inner_->AcquireLock(resource, wait);
}

void LoggingDatabase::ReleaseLock(std::string_view resource) { inner_->ReleaseLock(resource); }

std::size_t Replay(const StatementLog& log, Database& db) {
  for (const StatementRecord& r : log.records()) {
    switch (r.kind) {
      case StatementRecord::Kind::kExecute:
        db.execute(r.text);
        break;
      case StatementRecord::Kind::kOpen:
        db.open(r.text);
        break;
      case StatementRecord::Kind::kInsert:
        db.insert_row(r.write);
        break;
      case StatementRecord::Kind::kUpdate:
        db.update_row(r.write);
        break;
    }
  }
  return log.records().size();
}

}  // namespace zodadovez
