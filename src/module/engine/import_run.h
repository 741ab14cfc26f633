// ImportRun: one import of a company's gym receipts into the ERP, and the state every procedure
// of the engine, master-data and article subsystems works on (connection, host services, run
// and document state, report files, anomaly route, run lock). The window and the command line
// each own one and read its outcome; neither holds any of this state itself.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "module/common/database.h"
#include "module/common/host_services.h"
#include "module/common/value.h"
#include "module/engine/document_context.h"
#include "module/engine/esecuzioni.h"
#include "module/masterdata/lookups.h"

namespace zodadovez {

// What the progress indicator shows: the action ("Open", "Tot", "View", "Close") moved it.
struct RunProgress {
  std::string action;
  std::int64_t configuration_id = 0;
  std::string phase;  // "Articoli", "Ricevute" or "Accorpati"
  double total = 0;
  double value = 0;
  std::string text;  // the bar's caption as "Open" set it
};

struct ConfigurationOutcome;

// What a front end hears of a run and answers for it. The defaults suit a run that nobody
// watches.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The window's own message box, used when the host offers no message service; returns the
  // button pressed. Never called in an unattended run.
  virtual int MessageBox(const std::string& /*text*/, int /*style*/, const std::string& /*title*/) {
    return 0;
  }
  virtual void OnProgress(const RunProgress& /*progress*/) {}
  // Once per receipt: the front end may process pending events.
  virtual void ProcessEvents() {}
  // Before an anomaly is shown to the user: the front end restores its normal cursor.
  virtual void OnAnomaly() {}
  // A configuration ended and its files are closed.
  virtual void OnConfigurationEnd(const ConfigurationOutcome& /*outcome*/) {}
};

// The error context of the anomaly route.
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

// The state of the configuration being run (driver, selection, reports).
struct RunState {
  std::string run_label;       // "GYM_<id>"
  std::string gym_database;    // three- or four-part prefix: "Palestra" or "GYM_3.Palestra"
  std::string plain_database;  // ZEV90_DB_NAME
  std::string errors_folder;   // ZEV90_PATH_ERRORI
  std::string gym_server;      // ZEV90_NOME_SERVER
  std::string gym_login;
  std::string gym_password;
  Value last_run_date;           // ZEV90_ULTIMA_ELAB
  std::string default_vat_code;  // ZEV90_CODIVA_CG28
  std::int64_t configuration_id = 0;
  std::string last_message;
  std::string other_message;
  int checkpoint_interval = 100;
  int checkpoint_counter = 0;
  // Receipt selection.
  std::int32_t patch_level = 0;
  Value present;   // documents found
  Value imported;  // documents saved
  // What the receipt pass counted before the daily groups started counts of their own: the
  // configuration's summary adds both.
  std::int64_t present_before_groups = 0;
  std::int64_t imported_before_groups = 0;
  bool found = false;
  Value date_first;  // earliest and latest receipt date of the run
  Value date_last;
  Decimal current_receipt_id;       // the receipt being handled
  bool kit_table = false;           // #TempKit exists
  int abort = 0;                    // 99 after an anomaly in an interactive run
  std::string bound_document_type;  // the type the host document object is bound to
  std::string phase;                // what the progress indicator counts
  // Results and anomalies.
  std::string result_label;
  std::string result_text;
  bool results_ok = false;
  ReportFile results;
  ReportFile anomalies;
  std::int32_t progress_counter = 0;
  // Run history.
  Decimal history_id;  // ZEV99_ID of the configuration's row, 0 before the first write
  // Exactly once: the receipts and grouped days of the configuration that have a document
  // (in the selection's period), skipped by a "Normale" run and by "--only-missing" rather than
  // stored again, and counted.
  StoredDocuments stored;
  bool skip_stored = false;
  std::int64_t already_stored = 0;
  std::int64_t second_copies = 0;  // documents stored for receipts that had one already
  Value group_day;                 // the day of the grouped document being built
};

// What one configuration's run left behind, for the summary of a command-line run.
struct ConfigurationOutcome {
  std::int64_t configuration_id = 0;
  std::string description;
  std::string gym_database;
  std::int64_t present = 0;
  std::int64_t imported = 0;
  std::int64_t already_stored = 0;
  std::int64_t second_copies = 0;
  std::string results_path;
  std::string anomalies_path;
  bool skipped = false;  // not imported (no default VAT code, a name refused)
};

class ImportRun;

// The procedures the receipt selection calls, replaceable so that the selection can be tested
// on its own; a run starts with the real ones.
struct EngineProcedures {
  // The receipt document procedure: the receipt recordset on the current receipt and the
  // document type code of the receipt type.
  std::function<void(ImportRun&, Recordset&, std::string&)> receipt_document;
  // The checks before the receipt loop; they set the abort flag to stop the configuration.
  std::function<void(ImportRun&)> check_kit;
  std::function<void(ImportRun&)> check_articoli;
  // The grouped daily documents: condition, configuration id; returns whether it found any.
  std::function<bool(ImportRun&, const std::string&, std::int16_t)> grouped_documents;
};

// How a run ended.
enum class RunStatus {
  kCompleted,               // every selected configuration imported, no anomaly
  kCompletedWithAnomalies,  // imported; the anomaly files say what went wrong
  kInterrupted,             // stopped on request after the receipt in hand
  kRefused,                 // nothing was written: `refusal` says why
};

enum class Refusal {
  kNone,
  kUnknownCompany,        // no import configuration for the company
  kUnknownConfiguration,  // a requested configuration is not one of the company's
  kScheduleNotFound,      // no saved parameter set of that name
  kEmptySchedule,         // an unattended start with an empty schedule code
  kImportRunning,         // another import of the company holds the run lock
  kErrorsFolderUnusable,  // an errors folder that is missing, unwritable or too long
};

struct RunOutcome {
  RunStatus status = RunStatus::kCompleted;
  Refusal refusal = Refusal::kNone;
  std::string reason;  // why it was refused, naming the value
  std::vector<ConfigurationOutcome> configurations;
  // Anomalies that no anomaly file holds (the file could not be written): the host log has them.
  int unfiled_anomalies = 0;
  // Runs of the company that had not ended, completed by this one.
  std::vector<std::int64_t> resumed_runs;
};

// How a run goes about its work; none of these changes what it stores.
struct RunOptions {
  bool unattended = false;
  // With "Rielabora": only the receipts and grouped days that have no document yet.
  bool only_missing = false;
  // How long to wait for another import of the company to end; zero refuses at once.
  std::chrono::milliseconds wait{0};
  // Set from outside (a signal handler, the window): the run stops after the receipt in hand.
  const std::atomic<bool>* stop = nullptr;
};

class ImportRun {
 public:
  // `host` and `observer` (may be null) outlive the run.
  ImportRun(HostFramework& host, RunOptions options, RunObserver* observer = nullptr);
  ~ImportRun();
  ImportRun(const ImportRun&) = delete;
  ImportRun& operator=(const ImportRun&) = delete;

  // Opens the ERP connection and reads what every run of the company needs: company, company
  // parameters, service type codes, price list; makes sure the run history and the module's
  // run tables exist. Throws Error when the connection cannot be opened; other failures go the
  // anomaly route. `current_object` names the host object being created, for the error report.
  void Open(std::string* current_object = nullptr);
  bool is_open() const { return connection_ != nullptr; }
  // Releases the host document object and the connection.
  void Close();

  // Imports the configurations of `selections` (every ticked one, in ZEV90_ID order) in its
  // mode and ranges. Refuses, before anything is written, what cannot go well.
  RunOutcome Execute(const ParameterSet& selections);
  // A scheduled run: applies the saved parameter set named by `code` (trimmed) and imports
  // it; an empty code or an unknown set imports nothing. Logs as the window does.
  RunOutcome ExecuteSchedule(const std::string& code);

  // The message function; returns the button pressed (no box when unattended).
  int MostraMessaggio(const std::string& text, int style, const std::string& title);
  // The anomaly route: records the error context.
  void Anomalia();
  // The error convention of every procedure: store, report, return.
  void RecordError(const std::string& label, const std::exception& e);
  // The progress indicator: "Open", "Tot", "View", "Close".
  void Progress(const std::string& action, double value);
  // Lets the front end process pending events (once per receipt).
  void DoEvents();
  // True once a stop was asked for: the loops end after the receipt or group in hand.
  bool StopRequested() const;

  bool unattended() const { return options_.unattended; }
  const RunOptions& options() const { return options_; }
  HostFramework& host() { return host_; }
  Database& db() { return *connection_; }
  const Clock& clock() { return host_.clock(); }
  DateConverter& date_converter() { return *date_converter_; }
  LogService* log() { return log_.get(); }
  ParameterSetStore* parameters() { return parameter_store_.get(); }
  // DateDB with the run's converter and message service.
  std::string DateDB(const Value& value);
  // The host progressive service, held for the run's lifetime (created on first use).
  ProgressiveService& progressive();

  // Company state, read by Open.
  int company = 0;
  CompanyParameters company_parameters;
  std::string service_type_fee = "I";      // kind 4: member fee
  std::string service_type_ticket = "T";   // kind 2: ticketing
  std::string service_type_bar = "V";      // kind 3: bar products (kits)
  std::string service_type_generic = "U";  // kind 12
  Value last_run_date;                     // "01/01/2001" at start
  Value last_imported_date;                // the proposed start date
  // Set when the proposal fell back to 01/01/2001 although the company has "Normale" runs.
  bool proposal_fell_back = false;
  std::int32_t price_list = 0;
  // The progressive number (MG43_NUMPERS1) of the article written or read last: it lives across
  // receipts, and an article whose MG43_ARTPERS row holds 0 keeps the one before it.
  std::int16_t article_number = 0;
  // MG36_INDDEFPIE = 0 for the document type the host document object is bound to: read when
  // the type changes, so it lives across receipts of one type.
  bool no_footer_defaults = false;
  Recordset configurations;  // the configuration list, with the SELEZIONE column
  std::string caption = "Import Dati Palestra";  // the title of the run's message boxes

  // The selections of the run in progress: mode 0 "Normale", 1 "Rielabora", and the ranges.
  ParameterSet selections;

  // The anomaly route.
  ErrorContext error;
  bool anomaly = false;
  int unfiled_anomalies = 0;

  // Run state.
  RunState state;
  std::vector<ConfigurationOutcome> outcomes;
  // The host document object, bound to state.bound_document_type (null when released).
  std::unique_ptr<SalesDocument> sales_document;
  DocumentContext document;
  CurrencyState currency;
  EngineProcedures engine;
  // The run's row of ZEV98_ESECUZIONI (0 before the run starts).
  std::int64_t run_id = 0;

 private:
  RunOutcome Refuse(Refusal refusal, std::string reason);
  // A failure of the run ledger's bookkeeping, outside any configuration.
  void LedgerError(const std::exception& e);
  std::optional<RunOutcome> Check(const ParameterSet& selections);
  // The run driver, over the ticked configurations.
  void RunDriver();
  void ImportConfiguration(Recordset& selected, const std::string& server,
                           ConfigurationOutcome& outcome);

  HostFramework& host_;
  RunOptions options_;
  RunObserver* observer_;
  std::unique_ptr<Database> connection_;
  std::unique_ptr<LogService> log_;
  std::unique_ptr<ParameterSetStore> parameter_store_;
  std::unique_ptr<DateConverter> date_converter_;
  std::unique_ptr<ProgressiveService> progressive_;
  double progress_total_ = 0;
  std::string progress_text_;
  bool locked_ = false;
};

}  // namespace zodadovez
