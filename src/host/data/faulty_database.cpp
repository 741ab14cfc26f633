#include "host/data/faulty_database.h"

#include <fmt/format.h>

#include <csignal>

#include "module/common/errors.h"

namespace zodadovez {

FaultyDatabase::FaultyDatabase(std::unique_ptr<Database> inner, FaultPlan* plan)
    : inner_(std::move(inner)), plan_(plan) {}

void FaultyDatabase::Step(std::string_view what) {
  std::int64_t number = ++plan_->statements;
  if (plan_->record != nullptr) plan_->record->emplace_back(what);
  if (!plan_->Fails(number)) return;
  if (plan_->signal != 0) {
    std::raise(plan_->signal);
    return;
  }
  if (plan_->failures++ == 0) plan_->first_failed = std::string(what);
  // The text a driver gives for a dropped link, so that the error reads as the real one would.
  throw DataError(
      fmt::format("injected fault at statement {}: communication link failure "
                  "(SQLSTATE 08S01) while executing \"{}\"",
                  number, what));
}

std::int64_t FaultyDatabase::execute(std::string_view sql) {
  Step(sql);
  return inner_->execute(sql);
}

Recordset FaultyDatabase::open(std::string_view sql) {
  Step(sql);
  return inner_->open(sql);
}

std::string FaultyDatabase::server_name() { return inner_->server_name(); }
std::string FaultyDatabase::dbms_version() { return inner_->dbms_version(); }
std::string FaultyDatabase::date_text(DateTime value) const { return inner_->date_text(value); }

std::optional<std::int64_t> FaultyDatabase::insert_row(const RowWrite& write) {
  Step("INSERT INTO " + write.table);
  return inner_->insert_row(write);
}

std::int64_t FaultyDatabase::update_row(const RowWrite& write) {
  Step("UPDATE " + write.table);
  return inner_->update_row(write);
}

bool FaultyDatabase::AcquireLock(std::string_view resource, std::chrono::milliseconds wait) {
  Step("LOCK " + std::string(resource));
  return inner_->AcquireLock(resource, wait);
}

void FaultyDatabase::ReleaseLock(std::string_view resource) { inner_->ReleaseLock(resource); }

std::vector<std::string> FaultyDatabase::PrimaryKey(const std::string& table) {
  auto* keys = dynamic_cast<KeyedTables*>(inner_.get());
  if (keys == nullptr) throw DataError(fmt::format("the keys of {} are not known", table));
  return keys->PrimaryKey(table);
}

}  // namespace zodadovez
