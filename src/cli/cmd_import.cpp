// zodadovez import, configs, history: runs of the import window without a screen.
#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/table.h"
#include "host/data/backend.h"
#include "host/erp/stand_in_host.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/config/storico.h"
#include "module/shell/clszev_zodadovez.h"
#include "module/shell/frmzev_zodadovez.h"

namespace zodadovez::cli {
namespace {

// A window opened as the user would open it, without a screen: for listing only.
struct ListingWindow {
  explicit ListingWindow(const Connection& c) : host(Options(c)), plugin(host) {
    plugin.Cinterface_ShowForm();
  }
  static StandInOptions Options(const Connection& c) {
    StandInOptions options;
    options.connection = c.erp;
    options.company = c.company;
    return options;
  }
  FRMZEV_ZODADOVEZ& window() { return *plugin.Cinterface_Cwindow(); }
  StandInHost host;
  CLSZEV_ZODADOVEZ plugin;
};

std::string Text(const Value& v) {
  if (v.is_null() || v.is_empty()) return "";
  if (v.kind() == ValueKind::kDate) return FormatItalianDate(v.as_date());
  return v.ToText();
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
  bool rielabora = o.rielabora;
  bool has_selections = rielabora || !o.from.empty() || !o.to.empty() || !o.from_number.empty() ||
                        !o.to_number.empty() || !o.configs.empty();
  if (!o.schedule.empty() && has_selections) {
    throw ConfigError("--schedule takes every selection from the saved set: give no other");
  }
  if (!rielabora &&
      (!o.from.empty() || !o.to.empty() || !o.from_number.empty() || !o.to_number.empty())) {
    throw ConfigError("date and number ranges need --mode rielabora");
  }
  if (rielabora) {
    DateTime from, to;
    if (!TryParseItalianDate(o.from, &from)) {
      throw ConfigError("Impostare Data Inizio Elaborazione: --from DD/MM/YYYY");
    }
    if (!TryParseItalianDate(o.to, &to)) {
      throw ConfigError("Impostare Data Fine Elaborazione: --to DD/MM/YYYY");
    }
    if (from > to) throw ConfigError("Intervallo non valido: --from is after --to");
    Decimal first, last;
    bool first_ok =
        o.from_number.empty() || (Decimal::TryParse(o.from_number, &first) && first.scale() == 0);
    bool last_ok =
        o.to_number.empty() || (Decimal::TryParse(o.to_number, &last) && last.scale() == 0);
    if (!first_ok || !last_ok || (!o.from_number.empty() && !o.to_number.empty() && first > last)) {
      throw ConfigError("Intervallo documenti non valido: --from-number/--to-number");
    }
  }
  Connection c{o.erp, o.company};
  Connect(c.erp);

  StandInOptions options;
  options.connection = c.erp;
  options.company = c.company;
  if (!o.quiet) {
    options.log_sink = [](const std::string& line) { fmt::print(stderr, "{}\n", line); };
  }
  options.statement_log = o.statement_log;
  StandInHost host(options);
  CLSZEV_ZODADOVEZ plugin(host);
  plugin.unattended = true;
  if (!o.schedule.empty()) {
    plugin.schedule_code = Value(o.schedule);
  } else {
    ParameterSet set;
    set.mode = rielabora ? 1 : 0;
    set.date_from = o.from;
    set.date_to = o.to;
    set.number_from = o.from_number;
    set.number_to = o.to_number;
    set.configurations = o.configs;
    if (set.configurations.empty()) {
      auto db = OpenDatabase(c.erp);
      Recordset rs = db->open(fmt::format(
          "SELECT ZEV90_ID FROM ZEV90_PARAMETRI WITH (NOLOCK) WHERE ZEV90_DITTA_CG18 = {} ORDER "
          "BY ZEV90_ID",
          c.company));
      for (; !rs.eof(); rs.move_next()) set.configurations.push_back(rs["ZEV90_ID"].ToInteger());
    }
    plugin.selections = set;
  }
  ProgressView view;
  plugin.Cinterface_ShowForm(o.quiet ? nullptr : &view);
  view.Finish();
  FRMZEV_ZODADOVEZ& w = *plugin.Cinterface_Cwindow();

  for (const std::string& line : host.log_lines()) {
    if (line.starts_with("Applicazione codice schedulazione non avvenuta")) {
      throw ConfigError(
          fmt::format("no saved parameter set named \"{}\" for company {}", o.schedule, c.company));
    }
  }
  if (o.quiet) {
    // The caller reads the report.
  } else if (w.outcomes.empty()) {
    fmt::print("Nothing to import: no configuration of company {} was selected.\n", c.company);
  } else {
    std::vector<std::vector<std::string>> rows;
    for (const ConfigurationOutcome& r : w.outcomes) {
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
  }
  if (report != nullptr) {
    *report = ImportReport();
    for (const ConfigurationOutcome& r : w.outcomes) {
      if (r.skipped) continue;
      report->present += r.present;
      report->imported += r.imported;
    }
    // A saved parameter set may have overwritten the date field: the selection's own date.
    const Value& start = w.last_imported_date;
    report->proposed_start =
        start.kind() == ValueKind::kDate ? FormatItalianDate(start.as_date()) : RTrimNz(start);
  }
  if (w.unfiled_anomalies > 0) {
    // No file holds them for whoever reads the run's files next morning: the run failed.
    if (!o.quiet) {
      fmt::print(stderr,
                 "The run could not write {} anomalies to an anomaly file: the log above holds "
                 "them.\n",
                 w.unfiled_anomalies);
    }
    return kExitFailed;
  }
  if (w.anomaly) {
    if (!o.quiet) fmt::print(stderr, "The run recorded anomalies: see the anomaly files above.\n");
    return kExitAnomalies;
  }
  return kExitOk;
}

int RunConfigs(const Connection& connection) {
  Connect(connection.erp);
  ListingWindow lw(connection);
  Recordset rs = lw.window().configurations.clone();
  std::vector<std::vector<std::string>> rows;
  for (; rs.is_open() && !rs.eof(); rs.move_next()) {
    rows.push_back({Text(rs["ZEV90_ID"]), Text(rs["ZEV90_DESCR"]), Text(rs["ZEV90_DB_NAME"]),
                    Text(rs["ZEV90_NOME_SERVER"]), Text(rs["ZEV90_CODIVA_CG28"]),
                    Text(rs["ZEV90_PATH_ERRORI"])});
  }
  PrintTable(stdout,
             {"Config.", "Descrizione", "Database", "Server", "IVA default", "Cartella errori"},
             rows, {true});
  return lw.window().anomaly ? kExitAnomalies : kExitOk;
}

int RunHistory(const Connection& connection) {
  Connect(connection.erp);
  ListingWindow lw(connection);
  FRMZEV_ZODADOVEZ& w = lw.window();
  Recordset rs = w.controls.grid_result.clone();
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
  fmt::print("\nData inizio proposta per la prossima elaborazione Normale: {}\n",
             w.controls.txt_data_ini);
  return w.anomaly ? kExitAnomalies : kExitOk;
}

}  // namespace zodadovez::cli
