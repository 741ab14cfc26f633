// zodadovez reconcile: the receipts of a period that have no ERP document, and why.
#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "cli/commands.h"
#include "cli/table.h"
#include "host/data/backend.h"
#include "module/common/errors.h"
#include "module/engine/riconciliazione.h"

namespace zodadovez::cli {
namespace {

std::optional<DateTime> Day(const std::string& text, const char* option) {
  if (text.empty()) return std::nullopt;
  DateTime day;
  if (!TryParseItalianDate(text, &day)) {
    throw ConfigError(fmt::format("{}: expected a date as DD/MM/YYYY, not '{}'", option, text));
  }
  return day;
}

std::string DateText(const Value& v) {
  return v.kind() == ValueKind::kDate ? FormatItalianDate(v.as_date()) : std::string();
}

}  // namespace

int RunReconcile(const ReconcileCommand& command) {
  ReconcileRequest request;
  request.company = command.company;
  request.configs = command.configs;
  request.from = Day(command.from, "--from");
  request.to = Day(command.to, "--to");
  if (request.from && request.to && *request.from > *request.to) {
    throw ConfigError(fmt::format("--from {} is after --to {}: the period holds no day",
                                  command.from, command.to));
  }
  std::unique_ptr<Database> db = Connect(command.erp);
  const ReconcileReport report = Reconcile(*db, request);

  for (const std::string& note : report.skipped) fmt::print("Not reconciled: {}\n", note);
  const std::int64_t examined = report.examined + report.examined_days;
  if (report.receipts.empty()) {
    fmt::print(
        "Every one of the {} receipts and {} grouped days the import selects in the period has "
        "its ERP document.\n",
        report.examined, report.examined_days);
    return report.skipped.empty() ? kExitOk : kExitAnomalies;
  }
  std::vector<std::vector<std::string>> missing;
  std::vector<std::vector<std::string>> discarded;
  std::size_t held = 0;
  // Per configuration, the days to complete.
  std::map<std::int64_t, std::pair<DateTime, DateTime>> days;
  for (const LeftBehind& r : report.receipts) {
    std::vector<std::string> row = {
        std::to_string(r.configuration_id),
        r.gym_database,
        r.grouped_day ? "giorno" : std::to_string(r.receipt_id),
        r.grouped_day ? "" : std::to_string(r.gym_company),
        r.receipt_type,
        r.grouped_day ? "" : std::to_string(r.number),
        DateText(r.date),
        fmt::format(
            "{} {} {}", r.document_type, r.section,
            r.date.kind() == ValueKind::kDate ? DateText(r.date).substr(6, 4) : std::string()),
        r.reason};
    if (r.kind == LeftKind::kDiscarded) {
      discarded.push_back(std::move(row));
      continue;
    }
    missing.push_back(std::move(row));
    held += r.kind == LeftKind::kHeldBack ? 1 : 0;
    if (r.date.kind() != ValueKind::kDate) continue;
    DateTime day = std::chrono::floor<std::chrono::days>(r.date.as_date());
    auto [it, inserted] = days.emplace(r.configuration_id, std::make_pair(day, day));
    it->second.first = std::min(it->second.first, day);
    it->second.second = std::max(it->second.second, day);
  }
  const std::vector<std::string> header = {"Config.", "Palestra", "IDRicevuta", "Azienda", "Tipo",
                                           "Numero",  "Data",     "Documento",  "Motivo"};
  const std::vector<bool> right = {true, false, true, true, false, true};
  if (!missing.empty()) {
    fmt::print("Without an ERP document:\n");
    PrintTable(stdout, header, missing, right);
  }
  if (!discarded.empty()) {
    fmt::print(
        "{}Discarded by a rule of the import (they get no document until the rule is "
        "met):\n",
        missing.empty() ? "" : "\n");
    PrintTable(stdout, header, discarded, right);
  }
  fmt::print(
      "\n{} of the {} receipts and grouped days the import selects in the period have no "
      "ERP document: {} discarded by a rule",
      report.receipts.size(), examined, discarded.size());
  if (held > 0) fmt::print(", {} held back by a missing kit bill", held);
  fmt::print(".\n");
  if (held > 0) {
    fmt::print("Add the missing kit bills of materials (PD95_DISBA) before importing again.\n");
  }
  for (const auto& [config, range] : days) {
    // Only what has no document is imported: these commands never store a second copy.
    fmt::print(
        "Complete configuration {} with: zodadovez import --company {} --config {} --mode "
        "rielabora --only-missing --from {} --to {}\n",
        config, command.company, config, FormatItalianDate(range.first),
        FormatItalianDate(range.second));
  }
  return kExitAnomalies;
}

}  // namespace zodadovez::cli
