// FRMZEV_ZODADOVEZ: the import window. It owns the whole state of an import (connection, host
// objects, configuration, run and document state) and its lifecycle; the procedures of the
// engine, master-data and article subsystems work on this state. The window has no screen of
// its own: a front end (the web page, the command line) shows its controls and drives it.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "module/common/database.h"
#include "module/common/value.h"
#include "module/engine/document_context.h"
#include "module/masterdata/lookups.h"
#include "module/shell/host_services.h"

namespace zodadovez {

class CLSZEV_ZODADOVEZ;

// What a front end shows of the window; the window calls it when a control changes.
class WindowView {
 public:
  virtual ~WindowView() = default;
  // The progress bar PBAR: minimum 0, maximum, value, text.
  virtual void OnProgress(double /*maximum*/, double /*value*/, const std::string& /*text*/) {}
  // Called once per receipt: the front end may process pending events.
  virtual void ProcessEvents() {}
  // Any other control changed (grids, fields, enabled states, pages).
  virtual void OnControlsChanged() {}
  // The window's own message box, used when the host offers no message service. Returns the
  // button pressed.
  virtual int MessageBox(const std::string& /*text*/, int /*style*/, const std::string& /*title*/) {
    return 0;
  }
};

class FRMZEV_ZODADOVEZ;

// The procedures of the engine that the selection loop calls; the engine installs them.
struct EngineProcedures {
  // The receipt document procedure: the receipt recordset on the current receipt and the
  // document type code of the receipt type.
  std::function<void(FRMZEV_ZODADOVEZ&, Recordset&, std::string&)> receipt_document;
  // The checks before the receipt loop; they set the abort flag to stop the configuration.
  std::function<void(FRMZEV_ZODADOVEZ&)> check_kit;
  std::function<void(FRMZEV_ZODADOVEZ&)> check_articoli;
  // Releases the host document object at the end of the receipt loop.
  std::function<void(FRMZEV_ZODADOVEZ&)> release_document;
  // The grouped daily documents: condition, configuration id; returns whether it found any.
  std::function<bool(FRMZEV_ZODADOVEZ&, const std::string&, std::int16_t)> grouped_documents;
};

// The window's controls as the module sets and reads them.
struct WindowControls {
  std::string caption = "Import Dati Palestra";
  // Selection fields, as typed.
  std::string txt_data_ini;
  std::string txt_data_fine;
  std::string txt_dadoc;
  std::string txt_adoc;
  bool ranges_enabled = false;
  int cbo_elabora = 0;  // 0 "Normale", 1 "Rielabora"
  bool cbo_elabora_enabled = false;
  bool cmd_import_enabled = false;
  bool cmd_nuovo_enabled = false;
  bool cmd_esci_enabled = false;
  bool cmd_parametri_visible = true;
  bool checks_enabled = true;
  std::string focus;  // name of the control that has the focus
  // TAB_PARAMETRI pages 0..3.
  bool page_visible[4] = {true, true, true, true};
  int page_selected = 0;
  std::string txt_visualizza;   // results file shown after a run
  std::string txt_errtranscod;  // anomaly file shown after a run
  // PBAR
  double pbar_max = 0;
  double pbar_value = 0;
  std::string pbar_text;
  bool wait_cursor = false;
  // GRID_IMPORT and GRID_RESULT data sources (closed when empty).
  Recordset grid_import;
  Recordset grid_result;
};

// The error context and the flags of the anomaly route.
struct ErrorContext {
  long number = 0;
  std::string description;
  std::string label;  // the procedure label
};

// One results or anomaly file of a configuration run.
struct ReportFile {
  bool open = false;
  std::string path;
  std::ofstream stream;
};

// Run-wide state (driver, selection, reports).
struct RunState {
  std::string run_label;           // "GYM_<id>"
  std::string gym_database;        // three- or four-part prefix: "Palestra" or "GYM_3.Palestra"
  std::string plain_database;      // ZEV90_DB_NAME
  std::string errors_folder;       // ZEV90_PATH_ERRORI
  std::string gym_server;          // ZEV90_NOME_SERVER
  std::string gym_login;
  std::string gym_password;
  Value last_run_date;             // ZEV90_ULTIMA_ELAB
  std::string default_vat_code;    // ZEV90_CODIVA_CG28
  std::int64_t configuration_id = 0;
  std::string last_message;
  std::string other_message;
  int checkpoint_interval = 100;
  int checkpoint_counter = 0;
  // Receipt selection.
  std::int32_t patch_level = 0;
  Value present;                   // documents found
  Value imported;                  // documents saved
  // What the receipt pass counted before the daily groups started counts of their own: the
  // configuration's summary adds both.
  std::int64_t present_before_groups = 0;
  std::int64_t imported_before_groups = 0;
  bool found = false;
  Value date_first;                // earliest and latest receipt date of the run
  Value date_last;
  Decimal current_receipt_id;      // the receipt being handled
  bool kit_table = false;          // #TempKit exists
  int abort = 0;                   // 99 after an anomaly in an interactive run
  std::string bound_document_type;  // the type the host document object is bound to
  // Results and anomalies.
  std::string result_label;
  std::string result_text;
  bool results_ok = false;
  ReportFile results;
  ReportFile anomalies;
  std::int32_t progress_counter = 0;
  // Run history.
  Decimal history_id;              // ZEV99_ID of the run's row, 0 before the first write
};

// What one configuration's run left behind, for the summary of a command-line run.
struct ConfigurationOutcome {
  std::int64_t configuration_id = 0;
  std::string description;
  std::string gym_database;
  std::int64_t present = 0;
  std::int64_t imported = 0;
  std::string results_path;
  std::string anomalies_path;
  bool skipped = false;  // not imported (no default VAT code)
};

class FRMZEV_ZODADOVEZ {
 public:
  // `host` and `plugin` outlive the window. `view` may be null (unattended, tests).
  FRMZEV_ZODADOVEZ(HostFramework& host, CLSZEV_ZODADOVEZ& plugin, WindowView* view = nullptr);
  ~FRMZEV_ZODADOVEZ();
  FRMZEV_ZODADOVEZ(const FRMZEV_ZODADOVEZ&) = delete;
  FRMZEV_ZODADOVEZ& operator=(const FRMZEV_ZODADOVEZ&) = delete;

  // Lifecycle.
  void Form_Load();
  // Every activation; only the first one prepares the window (and, unattended, runs it).
  void Form_Activate();
  // Returns false when the close is cancelled.
  bool Form_QueryUnload();
  void Form_Unload();
  bool unloaded() const { return unloaded_; }

  // Window handlers.
  void CBO_ELABORA_Change();
  bool ControllaInput();
  void CMD_IMPORT_Click();
  void CMD_NUOVO_Click();
  void CMD_ESCI_Click();
  // Toggles SELEZIONE of the configuration at `row` of the grid (0-based).
  void GRID_IMPORT_ToggleSelection(std::size_t row);

  // The window's message function; returns the button pressed (no box when unattended).
  int MostraMessaggio(const std::string& text, int style, const std::string& title);
  // The anomaly route: records the error context (the procedure label is in `error`).
  void Anomalia();
  // The error convention of every procedure: store, report, return.
  void RecordError(const std::string& label, const std::exception& e);
  // The progress indicator: "Open", "Tot", "View", "Close".
  void Progress(const std::string& action, double value);
  // Lets the front end process pending events (once per receipt).
  void DoEvents();

  bool unattended() const;
  HostFramework& host() { return host_; }
  Database& db() { return *connection_; }
  const Clock& clock() { return host_.clock(); }
  DateConverter& date_converter() { return *date_converter_; }
  LogService* log() { return log_.get(); }
  ParameterSetStore* parameters() { return parameter_store_.get(); }
  // DateDB with the window's converter and message service.
  std::string DateDB(const Value& value);

  // State, shared with the subsystems' procedures.
  int company = 0;
  CompanyParameters company_parameters;
  std::string service_type_fee = "I";      // kind 4: member fee
  std::string service_type_ticket = "T";   // kind 2: ticketing
  std::string service_type_bar = "V";      // kind 3: bar products (kits)
  std::string service_type_generic = "U";  // kind 12
  Value last_run_date;                     // "01/01/2001" at start
  Value last_imported_date;                // the proposed start date
  std::int32_t price_list = 0;
  Recordset configurations;                // the configuration list (Part of the grid)
  WindowControls controls;
  ErrorContext error;
  bool anomaly = false;
  // Anomalies of an unattended run that no anomaly file holds (the file could not be written,
  // or no configuration had named its folder yet): the host log has them.
  int unfiled_anomalies = 0;
  std::vector<ConfigurationOutcome> outcomes;
  RunState run;

  // The host document object, bound to run.bound_document_type (null when released).
  std::unique_ptr<SalesDocument> sales_document;
  // The host progressive service, held for the window's lifetime (created on first use).
  ProgressiveService& progressive();

  EngineProcedures engine;
  DocumentContext document;
  CurrencyState currency;

  // Applies the saved parameter set `name` to the selections (QDX_ELABPARAMS1); false when
  // there is no such set.
  bool ApplicaParametri(const std::string& name);
  // The window's current selections as a parameter set.
  ParameterSet Selezioni() const;
  // Sets the selections: ticks the listed configurations (and clears the others), mode, ranges.
  void ApplicaSelezioni(const ParameterSet& selections);
  // Clears the selections (mode "Normale", last imported date 01/01/2001).
  void Azzera_Campi();
  // The run driver: imports every ticked configuration.
  void RunDriver();

 private:
  void ViewChanged();

  HostFramework& host_;
  CLSZEV_ZODADOVEZ& plugin_;
  WindowView* view_;
  std::unique_ptr<Database> connection_;
  std::unique_ptr<LogService> log_;
  std::unique_ptr<ParameterSetStore> parameter_store_;
  std::unique_ptr<DateConverter> date_converter_;
  std::unique_ptr<ProgressiveService> progressive_;
  std::vector<std::unique_ptr<BusinessObject>> business_objects_;
  std::string current_object_;
  std::string instance_id_;
  bool activated_ = false;
  bool unloaded_ = false;
  bool run_started_ = false;
  double progress_total_ = 0;
  double left_ = 0;
  double top_ = 0;
};

}  // namespace zodadovez
