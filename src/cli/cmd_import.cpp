// zodadovez import, configs, history: import runs without a screen, and the listings.
#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "cli/commands.h"
#include "cli/signals.h"
#include "cli/table.h"
#include "host/data/backend.h"
#include "host/data/sql_log.h"
#include "host/erp/stand_in_host.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/config/configurazioni.h"
#include "module/config/storico.h"
#include "module/engine/import_run.h"

namespace zodadovez::cli {
namespace {

StandInOptions HostOptions(const std::string& erp, int company) {
  StandInOptions options;
  options.connection = erp;
  options.company = company;
  return options;
}

std::string Text(const Value& v) {
  if (v.is_null() || v.is_empty()) return "";
  if (v.kind() == ValueKind::kDate) return FormatItalianDate(v.as_date());
  return v.ToText();
}

// A date option as DD/MM/YYYY, or a message that names the option, the value and the form.
DateTime DateOption(const char* option, const std::string& text) {
  DateTime date;
  if (!TryParseItalianDate(text, &date)) {
    throw ConfigError(fmt::format(
        "{} '{}' is not a valid date: expected DD/MM/YYYY, for example 01/03/2024", option, text));
  }
  return date;
}

// A receipt number option: a whole number.
void NumberOption(const char* option, const std::string& text, Decimal* number) {
  if (!Decimal::TryParse(text, number) || number->scale() != 0) {
    throw ConfigError(
        fmt::format("{} '{}' is not a receipt number: expected a whole number", option, text));
  }
}

void CheckRequest(const ImportRequest& o) {
  const bool ranges =
      !o.from.empty() || !o.to.empty() || !o.from_number.empty() || !o.to_number.empty();
  if (o.schedule && (o.rielabora || ranges || !o.configs.empty() || o.only_missing)) {
    throw ConfigError("--schedule takes every selection from the saved set: give no other");
  }
  if (!o.rielabora && ranges) throw ConfigError("date and number ranges need --mode rielabora");
  if (!o.rielabora && o.only_missing) throw ConfigError("--only-missing needs --mode rielabora");
  if (!o.rielabora) return;
  if (o.from.empty()) throw ConfigError("--mode rielabora needs --from DD/MM/YYYY");
  if (o.to.empty()) throw ConfigError("--mode rielabora needs --to DD/MM/YYYY");
  const DateTime from = DateOption("--from", o.from);
  const DateTime to = DateOption("--to", o.to);
  if (from > to) throw ConfigError(fmt::format("--from {} is after --to {}", o.from, o.to));
  Decimal first, last;
  if (!o.from_number.empty()) NumberOption("--from-number", o.from_number, &first);
  if (!o.to_number.empty()) NumberOption("--to-number", o.to_number, &last);
  if (!o.from_number.empty() && !o.to_number.empty() && first > last) {
    throw ConfigError(
        fmt::format("--from-number {} is greater than --to-number {}", o.from_number, o.to_number));
  }
}

int ExitCode(const RunOutcome& outcome) {
  switch (outcome.status) {
    case RunStatus::kRefused:
      return outcome.refusal == Refusal::kImportRunning ? kExitFailed : kExitBadInput;
    case RunStatus::kInterrupted:
      return kExitInterrupted;
    case RunStatus::kCompletedWithAnomalies:
      return outcome.unfiled_anomalies > 0 ? kExitFailed : kExitAnomalies;
    case RunStatus::kCompleted:
      return kExitOk;
  }
  return kExitFailed;
}

void PrintSummary(const RunOutcome& outcome, int company) {
  if (outcome.configurations.empty()) {
    fmt::print("Nothing to import: no configuration of company {} was selected.\n", company);
    return;
  }
  std::vector<std::vector<std::string>> rows;
  std::int64_t second_copies = 0;
  std::int64_t already = 0;
  for (const ConfigurationOutcome& r : outcome.configurations) {
    second_copies += r.second_copies;
    already += r.already_stored;
    rows.push_back({std::to_string(r.configuration_id), r.description, r.gym_database,
                    r.skipped ? "-" : std::to_string(r.present),
                    r.skipped ? "-" : std::to_string(r.imported),
                    r.skipped ? "-" : std::to_string(std::llabs(r.present - r.imported)),
                    r.results_path, r.anomalies_path});
  }
  PrintTable(stdout,
             {"Config.", "Descrizione", "Palestra", "Presenti", "Importati", "Scartati",
              "Risultati", "Anomalie"},
             rows, {true, false, false, true, true, true, false, false});
  if (!outcome.resumed_runs.empty()) {
    fmt::print("An earlier import of company {} had not ended: this run completed it.\n", company);
  }
  if (already > 0) {
    fmt::print(
        "{} receipts and grouped days already had their document and were not stored "
        "again.\n",
        already);
  }
  fmt::print("Documents stored as second copies of a receipt already imported: {}.\n",
             second_copies);
}

}  // namespace

std::unique_ptr<Database> Connect(const std::string& erp) {
  try {
    return OpenDatabase(erp);
  } catch (const ConfigError&) {
    throw;
  } catch (const Error& e) {
    throw Error(fmt::format("cannot connect to the ERP database: {}", e.what()));
  }
}

int RunImport(const ImportRequest& request, ImportReport* report) {
  const ImportRequest& o = request;
  CheckRequest(o);
  Connect(o.erp);

  StandInOptions options = HostOptions(o.erp, o.company);
  if (!o.quiet) {
    options.log_sink = [](const std::string& line) { fmt::print(stderr, "{}\n", line); };
  }
  options.statement_log = o.statement_log;
  std::unique_ptr<SqlLogFile> sql_log;
  if (!o.sql_log.empty()) {
    sql_log = std::make_unique<SqlLogFile>(o.sql_log);
    options.statement_log = sql_log->log();
  }
  StandInHost host(options);
  StopSignals signals;
  RunOptions run_options;
  run_options.unattended = true;
  run_options.only_missing = o.only_missing;
  run_options.wait = std::chrono::seconds(o.wait_seconds);
  run_options.stop = &signals.flag();
  ProgressView view;
  RunObserver quiet_view;
  ImportRun run(host, run_options, o.quiet ? &quiet_view : &view);
  run.Open();

  RunOutcome outcome;
  if (o.schedule) {
    outcome = run.ExecuteSchedule(*o.schedule);
  } else {
    ParameterSet set;
    set.mode = o.rielabora ? 1 : 0;
    set.date_from = o.from;
    set.date_to = o.to;
    set.number_from = o.from_number;
    set.number_to = o.to_number;
    set.configurations = o.configs;
    if (set.configurations.empty()) {
      ListaConfigurazioni(run);
      for (Recordset rs = run.configurations.clone(); rs.is_open() && !rs.eof(); rs.move_next()) {
        set.configurations.push_back(NzDec(rs["ZEV90_ID"]).ToInteger());
      }
    }
    outcome = run.Execute(set);
  }
  view.Finish();
  if (std::string why; sql_log && !sql_log->Finish(&why)) fmt::print(stderr, "{}\n", why);

  if (outcome.status == RunStatus::kRefused) {
    fmt::print(stderr, "zodadovez: {}\n", outcome.reason);
  } else if (!o.quiet) {
    PrintSummary(outcome, o.company);
    if (outcome.status == RunStatus::kInterrupted) {
      fmt::print(stderr,
                 "The run was stopped: run the same import again to complete it; nothing is "
                 "stored twice.\n");
    }
    if (outcome.unfiled_anomalies > 0) {
      // No file holds them for whoever reads the run's files next morning: the run failed.
      fmt::print(stderr,
                 "The run could not write {} anomalies to an anomaly file: the log above holds "
                 "them.\n",
                 outcome.unfiled_anomalies);
    } else if (run.anomaly) {
      fmt::print(stderr, "The run recorded anomalies: see the anomaly files above.\n");
    }
  }
  if (report != nullptr) {
    *report = ImportReport();
    for (const ConfigurationOutcome& r : outcome.configurations) {
      if (r.skipped) continue;
      report->present += r.present;
      report->imported += r.imported;
    }
    report->proposed_start = ProposedStartText(run.last_imported_date);
  }
  return ExitCode(outcome);
}

// Opens the company as the window does when it opens, for the listings.
class Listing {
 public:
  explicit Listing(const Connection& c)
      : host_(HostOptions(c.erp, c.company)), run_(host_, RunOptions{true, false, {}, nullptr}) {
    run_.Open();
    CreaTabellaStorico(run_);
  }
  ImportRun& run() { return run_; }

 private:
  StandInHost host_;
  ImportRun run_;
};

int RunConfigs(const Connection& connection) {
  Connect(connection.erp);
  Listing listing(connection);
  ListaConfigurazioni(listing.run());
  std::vector<std::vector<std::string>> rows;
  for (Recordset rs = listing.run().configurations.clone(); rs.is_open() && !rs.eof();
       rs.move_next()) {
    rows.push_back({Text(rs["ZEV90_ID"]), Text(rs["ZEV90_DESCR"]), Text(rs["ZEV90_DB_NAME"]),
                    Text(rs["ZEV90_NOME_SERVER"]), Text(rs["ZEV90_CODIVA_CG28"]),
                    Text(rs["ZEV90_PATH_ERRORI"])});
  }
  PrintTable(stdout,
             {"Config.", "Descrizione", "Database", "Server", "IVA default", "Cartella errori"},
             rows, {true});
  return listing.run().anomaly ? kExitAnomalies : kExitOk;
}

int RunHistory(const Connection& connection) {
  Connect(connection.erp);
  Listing listing(connection);
  ImportRun& run = listing.run();
  Recordset rs = ListaStorico(run);
  std::vector<std::string> header;
  std::vector<bool> right;
  for (const GridColumn& col : kHistoryGrid) {
    header.emplace_back(col.caption);
    right.push_back(std::string_view(col.field) != "DESCTIPO");
  }
  std::vector<std::vector<std::string>> rows;
  for (; rs.is_open() && !rs.eof(); rs.move_next()) {
    std::vector<std::string> row;
    for (const GridColumn& col : kHistoryGrid) row.push_back(Text(rs[col.field]));
    rows.push_back(std::move(row));
  }
  PrintTable(stdout, header, rows, right);
  fmt::print("\nStart date proposed for the next \"Normale\" run: {}\n",
             ProposedStartText(run.last_imported_date));
  if (run.proposal_fell_back) {
    fmt::print(
        "Note: the company has \"Normale\" runs, but none of them records the last receipt "
        "date it imported (ZEV99_DATA_FINE), so the next \"Normale\" run would start from "
        "01/01/2001 and select every receipt again. Use --mode rielabora --only-missing for the "
        "period instead.\n");
  }
  return run.anomaly ? kExitAnomalies : kExitOk;
}

}  // namespace zodadovez::cli
