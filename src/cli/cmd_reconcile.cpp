// zodadovez reconcile: the receipts of a period that have no ERP document, and why.
#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "cli/commands.h"
#include "cli/reconcile.h"
#include "cli/table.h"
#include "host/data/backend.h"
#include "module/common/errors.h"

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
  if (report.receipts.empty()) {
    fmt::print(
        "Every one of the {} receipts the import selects in the period has its ERP "
        "document.\n",
        report.examined);
    return report.skipped.empty() ? kExitOk : kExitAnomalies;
  }
  std::vector<std::vector<std::string>> rows;
  std::size_t held = 0;
  // Per configuration, the days to import again.
  std::map<std::int64_t, std::pair<DateTime, DateTime>> days;
  for (const LeftBehind& r : report.receipts) {
    held += r.held_back ? 1 : 0;
    rows.push_back({std::to_string(r.configuration_id), r.gym_database,
                    std::to_string(r.receipt_id), std::to_string(r.gym_company), r.receipt_type,
                    std::to_string(r.number), DateText(r.date),
                    fmt::format("{} {} {}", r.document_type, r.section,
                                r.date.kind() == ValueKind::kDate ? DateText(r.date).substr(6, 4)
                                                                  : std::string()),
                    r.reason});
    if (r.date.kind() != ValueKind::kDate || r.held_back) continue;
    DateTime day = std::chrono::floor<std::chrono::days>(r.date.as_date());
    auto [it, inserted] = days.emplace(r.configuration_id, std::make_pair(day, day));
    it->second.first = std::min(it->second.first, day);
    it->second.second = std::max(it->second.second, day);
  }
  PrintTable(stdout,
             {"Config.", "Palestra", "IDRicevuta", "Azienda", "Tipo", "Numero", "Data", "Documento",
              "Motivo"},
             rows, {true, false, true, true, false, true});
  fmt::print("\n{} of the {} receipts the import selects in the period have no ERP document",
             report.receipts.size(), report.examined);
  if (held > 0) fmt::print(" ({} held back by a missing kit bill)", held);
  fmt::print(".\n");
  for (const auto& [config, range] : days) {
    fmt::print(
        "Import configuration {} again with: zodadovez import --company {} --config {} --mode "
        "rielabora --from {} --to {}\n",
        config, command.company, config, FormatItalianDate(range.first),
        FormatItalianDate(range.second));
  }
  if (!days.empty()) {
    fmt::print(
        "(receipts of those days that have their document already are imported again with "
        "DO11_FLGDOCBIS = 1: narrow the run with --from-number/--to-number where they allow)\n");
  }
  return kExitAnomalies;
}

}  // namespace zodadovez::cli
