// The import run: opening, the checks made before anything is written, the run lock, the run
// driver over the ticked configurations, and the message, anomaly and progress routes.
#include "module/engine/import_run.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "module/articles/codifica.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/config/configurazioni.h"
#include "module/config/storico.h"
#include "module/engine/accorpati.h"
#include "module/engine/documento.h"
#include "module/engine/esecuzioni.h"
#include "module/engine/kit.h"
#include "module/engine/reports.h"
#include "module/engine/selezione.h"
#include "module/masterdata/lookups.h"

namespace zodadovez {
namespace {

// ZEV99_EXPORT is varchar(80): an anomaly file path longer than that would be refused with the
// run's history row, and the next "Normale" run would select everything again.
constexpr std::size_t kExportWidth = 80;

std::size_t Characters(const std::string& text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// Why the errors folder of a configuration cannot take the run's files, or nothing.
std::optional<std::string> UnusableFolder(std::int64_t id, const std::string& folder, int company,
                                          DateTime now) {
  if (folder.empty()) {
    return fmt::format("configuration {} names no errors folder (ZEV90_PATH_ERRORI)", id);
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    return fmt::format("the errors folder \"{}\" of configuration {} does not exist", folder, id);
  }
  // The longest anomaly path a run of today can write: folder, "/Log_dd_mm_yyyy/",
  // "<company>_Errori_dd_mm_yyyy.hh.mm.ss.txt".
  const std::string longest =
      fmt::format("{}/Log_00_00_0000/{}_Errori_00_00_0000.00.00.00.txt", folder, company);
  if (Characters(longest) > kExportWidth) {
    return fmt::format(
        "the errors folder \"{}\" of configuration {} is too long: its anomaly file paths take {} "
        "characters, and the run history (ZEV99_EXPORT) holds {}",
        folder, id, Characters(longest), kExportWidth);
  }
  // A file made and removed again tells whether the run can write there.
  const std::filesystem::path probe =
      std::filesystem::path(folder) /
      fmt::format(".zodadovez-{}-{}", company, now.time_since_epoch().count());
  {
    std::ofstream out(probe, std::ios::binary);
    if (!out) {
      return fmt::format("the errors folder \"{}\" of configuration {} cannot be written", folder,
                         id);
    }
  }
  std::filesystem::remove(probe, ec);
  return std::nullopt;
}

}  // namespace

ImportRun::ImportRun(HostFramework& host, RunOptions options, RunObserver* observer)
    : host_(host), options_(options), observer_(observer), log_(host.CreateLog()) {
  engine.receipt_document = InserimentoDocumento;
  engine.check_kit = Check_KIT;
  engine.check_articoli = Check_Articoli;
  engine.grouped_documents = GestDocAccorpato;
}

ImportRun::~ImportRun() { Close(); }

void ImportRun::Open(std::string* current_object) {
  GlobalServices& globals = host_.Globals();
  if (current_object != nullptr) *current_object = "Connection";
  connection_ = host_.OpenConnection(globals.ConnectionString());
  parameter_store_ = host_.CreateParameterStore(*connection_);
  date_converter_ = host_.CreateDateConverter(*connection_);
  company = globals.Company();
  company_parameters = globals.Parameters(*connection_, company);

  last_run_date = Value(MakeDateTime(2001, 1, 1));
  state.errors_folder.clear();
  state.gym_server.clear();
  state.gym_login.clear();
  state.gym_password.clear();
  state.plain_database.clear();

  if (current_object != nullptr) current_object->clear();
  LeggiTipiServizio(*this);
  price_list = LeggiListino(*this);
  // The run ledger is there before any procedure stores a document.
  try {
    CreaTabelleEsecuzioni(*this);
  } catch (const std::exception& e) {
    LedgerError(e);
  }
}

void ImportRun::Close() {
  if (!connection_) return;
  if (sales_document) {
    try {
      RilasciaDocumento(*this);
    } catch (const std::exception&) {
      // Closing goes on whatever the host object says.
    }
  }
  sales_document.reset();
  if (locked_) {
    try {
      connection_->ReleaseLock(fmt::format("ZODADOVEZ_IMPORT_{}", company));
    } catch (const std::exception&) {
      // The lock dies with the connection.
    }
    locked_ = false;
  }
  progressive_.reset();
  date_converter_.reset();
  parameter_store_.reset();
  connection_.reset();
}

std::string ImportRun::DateDB(const Value& value) {
  return zodadovez::DateDB(value, *date_converter_, host_.Globals().Messages());
}

ProgressiveService& ImportRun::progressive() {
  if (!progressive_) progressive_ = host_.CreateProgressive(*connection_);
  return *progressive_;
}

int ImportRun::MostraMessaggio(const std::string& text, int style, const std::string& title) {
  if (unattended()) return 0;
  if (MessageService* service = host_.Globals().Messages()) {
    return service->Show(text, style, title);
  }
  return observer_ != nullptr ? observer_->MessageBox(text, style, title) : 0;
}

void ImportRun::RecordError(const std::string& label, const std::exception& e) {
  const auto* error_with_number = dynamic_cast<const Error*>(&e);
  error.number = error_with_number != nullptr ? error_with_number->number() : 0;
  error.description = e.what();
  error.label = label;
  Anomalia();
}

void ImportRun::Anomalia() {
  anomaly = true;
  if (unattended()) {
    try {
      ScriviAnomalia(*this);
    } catch (const std::exception& e) {
      // The anomaly file itself failed: the host log keeps both.
      ++unfiled_anomalies;
      if (log_) {
        log_->WriteLine(
            fmt::format("{}: {} ({})", RTrimNz(error.label), error.description, e.what()));
      }
    }
    return;
  }
  Progress("Close", 0);
  if (observer_ != nullptr) observer_->OnAnomaly();
  std::string text = "Attenzione anomalia riscontrata in: \n" + RTrimNz(error.label) +
                     "\nNumero: " + std::to_string(error.number) +
                     "\nDescrizione :" + RTrimNz(error.description);
  MostraMessaggio(text, kMsgQuestion, caption);
  state.abort = 99;
}

void ImportRun::Progress(const std::string& action, double value) {
  if (action == "Open") {
    if (observer_ != nullptr && !unattended()) observer_->ProcessEvents();
    progress_text_ = value == 0 ? "" : fmt::format("{}", value);
    state.progress_counter = 0;
  } else if (action == "Tot") {
    progress_total_ = value;
    state.progress_counter = 0;
  } else if (action == "View") {
    ++state.progress_counter;
  } else if (action == "Close") {
    state.progress_counter = 0;
  }
  if (observer_ != nullptr) {
    observer_->OnProgress({action, state.configuration_id, state.phase, progress_total_,
                           static_cast<double>(state.progress_counter), progress_text_});
  }
}

void ImportRun::DoEvents() {
  if (observer_ != nullptr && !unattended()) observer_->ProcessEvents();
}

bool ImportRun::StopRequested() const {
  return options_.stop != nullptr && options_.stop->load(std::memory_order_relaxed);
}

void ImportRun::LedgerError(const std::exception& e) {
  // Outside any configuration there is no anomaly file to write to: the host log keeps it.
  anomaly = true;
  if (log_) log_->WriteLine(fmt::format("Esecuzioni: {}", e.what()));
}

RunOutcome ImportRun::Refuse(Refusal refusal, std::string reason) {
  RunOutcome outcome;
  outcome.status = RunStatus::kRefused;
  outcome.refusal = refusal;
  outcome.reason = std::move(reason);
  return outcome;
}

RunOutcome ImportRun::ExecuteSchedule(const std::string& code) {
  std::string trimmed = RTrimNz(Value(code));
  trimmed.erase(0, trimmed.find_first_not_of(' '));
  if (log_) log_->WriteLine("Inizio elaborazione schedulata");
  std::optional<ParameterSet> set;
  if (!trimmed.empty()) set = parameter_store_->Find(company, trimmed);
  if (!set) {
    if (log_) {
      log_->WriteLine(
          "Applicazione codice schedulazione non avvenuta correttamente\r\nCodice di "
          "simulazione :\"" +
          trimmed + "\"");
    }
    return trimmed.empty()
               ? Refuse(Refusal::kEmptySchedule, "the schedule code is empty: nothing to apply")
               : Refuse(Refusal::kScheduleNotFound,
                        fmt::format("no saved parameter set named \"{}\" for company {}", trimmed,
                                    company));
  }
  if (log_) {
    log_->WriteLine("Applicazione codice schedulazione - Codice di simulazione :\"" + trimmed +
                    "\"");
  }
  return Execute(*set);
}

std::optional<RunOutcome> ImportRun::Check(const ParameterSet& chosen) {
  Recordset count = db().open(fmt::format(
      "SELECT COUNT(*) AS N FROM ZEV90_PARAMETRI WITH (NOLOCK) WHERE ZEV90_DITTA_CG18 = {}",
      company));
  if (count.eof() || NzDec(count["N"]).ToInteger() == 0) {
    return Refuse(Refusal::kUnknownCompany,
                  fmt::format("company {} has no import configuration (ZEV90_PARAMETRI)", company));
  }
  for (std::int64_t wanted : chosen.configurations) {
    bool known = false;
    for (Recordset rs = configurations.clone(); !rs.eof() && !known; rs.move_next()) {
      known = NzDec(rs["ZEV90_ID"]).ToInteger() == wanted;
    }
    if (!known) {
      return Refuse(Refusal::kUnknownConfiguration,
                    fmt::format("configuration {} is not an import configuration of company {}",
                                wanted, company));
    }
  }
  const DateTime now = clock().Now();
  for (Recordset rs = configurations.clone(); !rs.eof(); rs.move_next()) {
    if (NzDec(rs["SELEZIONE"]).ToDecimal() != Decimal(1)) continue;
    if (auto why = UnusableFolder(NzDec(rs["ZEV90_ID"]).ToInteger(),
                                  RTrimNz(rs["ZEV90_PATH_ERRORI"]), company, now)) {
      return Refuse(Refusal::kErrorsFolderUnusable, *why);
    }
  }
  return std::nullopt;
}

RunOutcome ImportRun::Execute(const ParameterSet& chosen) {
  selections = chosen;
  if (!configurations.is_open()) ListaConfigurazioni(*this);
  if (configurations.is_open()) {
    for (Recordset rs = configurations.clone(); !rs.eof(); rs.move_next()) {
      const std::int64_t id = NzDec(rs["ZEV90_ID"]).ToInteger();
      bool ticked = false;
      for (std::int64_t wanted : chosen.configurations) ticked = ticked || wanted == id;
      rs.set("SELEZIONE", ticked ? 1 : 0);
    }
  }
  if (auto refused = Check(chosen)) return *refused;

  // One import per company at a time: a second one would select the same receipts.
  const std::string resource = fmt::format("ZODADOVEZ_IMPORT_{}", company);
  if (!db().AcquireLock(resource, options_.wait)) {
    std::string since;
    try {
      CreaTabelleEsecuzioni(*this);
      std::vector<UnfinishedRun> running = EsecuzioniNonTerminate(*this);
      if (!running.empty()) {
        since = fmt::format(" (since {}{})", FormatItalianDate(running.back().started),
                            running.back().process.empty() ? "" : ", " + running.back().process);
      }
    } catch (const std::exception&) {
      // Who holds the lock is a courtesy; the refusal stands without it.
    }
    return Refuse(Refusal::kImportRunning,
                  fmt::format("another import of company {} is running{}", company, since));
  }
  locked_ = true;

  RunOutcome outcome;
  CreaTabellaStorico(*this);
  std::vector<UnfinishedRun> unfinished;
  try {
    CreaTabelleEsecuzioni(*this);
    // The start date is proposed again now that no other run can move it.
    ListaStorico(*this);
    unfinished = EsecuzioniNonTerminate(*this);
  } catch (const std::exception& e) {
    LedgerError(e);
  }
  bool every_configuration = true;
  for (Recordset rs = configurations.clone(); rs.is_open() && !rs.eof(); rs.move_next()) {
    every_configuration = every_configuration && NzDec(rs["SELEZIONE"]).ToDecimal() == Decimal(1);
  }
  std::optional<DateTime> start_date;
  if (selections.mode == 0) {
    if (last_imported_date.kind() == ValueKind::kDate) start_date = last_imported_date.as_date();
    // A "Normale" run that did not end is completed: its selection starts where it began,
    // and what it stored is skipped, so that no receipt is lost or stored twice.
    for (const UnfinishedRun& r : unfinished) {
      if (r.mode != 0) continue;
      if (every_configuration) outcome.resumed_runs.push_back(r.id);
      if (r.start_date && (!start_date || *r.start_date < *start_date)) start_date = r.start_date;
      if (log_) {
        log_->WriteLine(fmt::format(
            "Elaborazione del {} non terminata: viene completata da questa elaborazione",
            FormatItalianDate(r.started)));
      }
    }
    if (start_date) last_imported_date = Value(*start_date);
  }
  try {
    IniziaEsecuzione(*this, start_date);
  } catch (const std::exception& e) {
    LedgerError(e);
  }

  RunDriver();

  const bool stopped = StopRequested();
  try {
    if (run_id != 0) {
      // A completed "Normale" run of every configuration has done what the unfinished ones set
      // out to do; a run of some configurations, or a "Rielabora" one, leaves them to the next
      // "Normale" run of them all.
      TerminaEsecuzione(
          *this, stopped ? kRunInterrupted : kRunCompleted,
          selections.mode == 0 && every_configuration ? unfinished : std::vector<UnfinishedRun>());
    }
  } catch (const std::exception& e) {
    LedgerError(e);
  }
  try {
    db().ReleaseLock(resource);
  } catch (const std::exception& e) {
    LedgerError(e);
  }
  locked_ = false;

  outcome.configurations = outcomes;
  outcome.unfiled_anomalies = unfiled_anomalies;
  outcome.status = stopped   ? RunStatus::kInterrupted
                   : anomaly ? RunStatus::kCompletedWithAnomalies
                             : RunStatus::kCompleted;
  return outcome;
}

void ImportRun::RunDriver() {
  state.results.open = false;
  state.anomalies.open = false;
  state.last_message.clear();
  state.other_message.clear();
  state.checkpoint_interval = 100;
  state.checkpoint_counter = 0;
  if (!configurations.is_open()) return;
  Recordset selected = configurations.clone();
  selected.filter("SELEZIONE = 1");
  Progress("Open", 0);
  std::string server = host_.Globals().ServerName(*connection_);
  for (selected.move_first(); !selected.eof() && !StopRequested(); selected.move_next()) {
    ConfigurationOutcome configuration;
    ImportConfiguration(selected, server, configuration);
    outcomes.push_back(configuration);
    if (observer_ != nullptr) observer_->OnConfigurationEnd(configuration);
    state.results.open = false;
    state.anomalies.open = false;
  }
}

void ImportRun::ImportConfiguration(Recordset& selected, const std::string& server,
                                    ConfigurationOutcome& outcome) {
  const bool user = !unattended();
  state.results.path.clear();
  state.anomalies.path.clear();
  state.present = Value(0);
  state.imported = Value(0);
  state.present_before_groups = 0;
  state.imported_before_groups = 0;
  state.already_stored = 0;
  state.second_copies = 0;
  try {
    state.configuration_id = NzDec(selected["ZEV90_ID"]).ToInteger();
    state.run_label = "GYM_" + std::to_string(state.configuration_id);
    state.plain_database = RTrimNz(selected["ZEV90_DB_NAME"]);
    state.errors_folder = RTrimNz(selected["ZEV90_PATH_ERRORI"]);
    state.gym_server = RTrimNz(selected["ZEV90_NOME_SERVER"]);
    state.gym_login = RTrimNz(selected["ZEV90_OWNER_NAME"]);
    state.gym_password = RTrimNz(selected["ZEV90_OWNER_PWD"]);
    state.last_run_date = selected["ZEV90_ULTIMA_ELAB"];
    state.default_vat_code = RTrimNz(selected["ZEV90_CODIVA_CG28"]);
    // A gym database on another server is reached through the linked server GYM_<id>.
    const bool linked = !TextEquals(state.gym_server, server);
    state.gym_database =
        linked ? state.run_label + "." + state.plain_database : state.plain_database;
    // Both names are spliced into every gym statement as they are: a name that could end the
    // statement's name and start something else is refused before any is sent.
    const bool refused =
        !IsPlainSqlName(state.plain_database) || (linked && !IsPlainSqlName(state.run_label));
    const std::string& refused_name =
        IsPlainSqlName(state.plain_database) ? state.run_label : state.plain_database;
    // The results file is named after the gym database: a refused name gives way to the run
    // label there.
    if (refused) state.gym_database = state.run_label;
    outcome.configuration_id = state.configuration_id;
    outcome.description = RTrimNz(selected["ZEV90_DESCR"]);
    outcome.gym_database = state.gym_database;
    if (refused) {
      outcome.skipped = true;
      state.last_message =
          "Nome database non valido su parametri di Import (solo lettere, cifre e _, al "
          "massimo 128 caratteri)! DataBase: '" +
          refused_name + "'";
      if (user) MostraMessaggio(state.last_message, kMsgExclamation, "ATTENZIONE ");
      state.result_label.clear();
      state.result_text = state.last_message;
      ScriviRisultato(*this);
    } else if (state.default_vat_code.empty()) {
      outcome.skipped = true;
      state.last_message =
          "Iva default non impostata su parametri di Import! DataBase: " + state.gym_database;
      if (user) MostraMessaggio(state.last_message, kMsgExclamation, "ATTENZIONE ");
      state.result_label.clear();
      state.result_text = state.last_message;
      ScriviRisultato(*this);
    } else {
      error.label = "Generazione documenti";
      ZODADOVEZ_FileS2_MOVMA(*this);
    }
  } catch (const std::exception& e) {
    RecordError("Generazione documenti", e);
  }
  try {
    ChiudiFile(*this);
  } catch (const std::exception& e) {
    RecordError("Generazione documenti", e);
  }
  try {
    outcome.present = state.present_before_groups + NzDec(state.present).ToInteger();
    outcome.imported = state.imported_before_groups + NzDec(state.imported).ToInteger();
  } catch (const Error&) {
    // The counters are always numbers; a summary never stops the run.
  }
  outcome.already_stored = state.already_stored;
  outcome.second_copies = state.second_copies;
  outcome.results_path = state.results.path;
  outcome.anomalies_path = state.anomalies.path;
}

}  // namespace zodadovez
