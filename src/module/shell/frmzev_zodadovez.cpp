// The import window's lifecycle, handlers, message and anomaly routes, and the run driver.
#include "module/shell/frmzev_zodadovez.h"

#include <fmt/format.h>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/config/configurazioni.h"
#include "module/config/storico.h"
#include "module/engine/documento.h"
#include "module/engine/reports.h"
#include "module/engine/selezione.h"
#include "module/masterdata/lookups.h"
#include "module/shell/clszev_zodadovez.h"

namespace zodadovez {
namespace {

constexpr int kWidth = 10875;  // twips
constexpr int kHeight = 8010;
constexpr const char* kObjects[] = {"PrimaNota",  "CGBOLook",   "COBOLook",  "MGBOLook",
                                    "CGBODecode", "COBODecode", "MGBODecode"};

// The window's position from the host's value: 100 when it is empty or 2.
double Position(const Value& host_value) {
  Value v = Nz(host_value, 2);
  try {
    if (v.ToDecimal() == Decimal(2)) return 100;
    return v.ToDouble();
  } catch (const Error&) {
    return 100;
  }
}

bool ValidDate(const std::string& text, DateTime* out) { return TryParseItalianDate(text, out); }

// A receipt number as typed: digits with an optional sign, nothing else.
bool ValidNumber(const std::string& text, std::int64_t* out) {
  Decimal d;
  if (!Decimal::TryParse(text, &d) || d.scale() != 0) return false;
  try {
    *out = d.ToInt64();
  } catch (const Error&) {
    return false;
  }
  return true;
}

}  // namespace

FRMZEV_ZODADOVEZ::FRMZEV_ZODADOVEZ(HostFramework& host, CLSZEV_ZODADOVEZ& plugin, WindowView* view)
    : host_(host), plugin_(plugin), view_(view), instance_id_(NewInstanceId()) {
  host_.DebugTrace(TraceLine(instance_id_, "INI", "FRMZEV_ZODADOVEZ"));
  InstallaMotore(*this);
}

FRMZEV_ZODADOVEZ::~FRMZEV_ZODADOVEZ() {
  host_.DebugTrace(TraceLine(instance_id_, "TER", "FRMZEV_ZODADOVEZ"));
}

bool FRMZEV_ZODADOVEZ::unattended() const { return plugin_.unattended; }

void FRMZEV_ZODADOVEZ::ViewChanged() {
  if (view_ != nullptr && !unattended()) view_->OnControlsChanged();
}

std::string FRMZEV_ZODADOVEZ::DateDB(const Value& value) {
  return zodadovez::DateDB(value, *date_converter_, host_.Globals().Messages());
}

ProgressiveService& FRMZEV_ZODADOVEZ::progressive() {
  if (!progressive_) progressive_ = host_.CreateProgressive(*connection_);
  return *progressive_;
}

void FRMZEV_ZODADOVEZ::Form_Load() {
  log_ = host_.CreateLog();
  left_ = Position(plugin_.Cinterface_Left);
  top_ = Position(plugin_.Cinterface_Top);
  (void)kWidth;
  (void)kHeight;
  Progress("Open", 0);
}

void FRMZEV_ZODADOVEZ::Form_Activate() {
  if (activated_) return;
  try {
    // Pages 2 and 3 of the parameter tab and the parameter button start hidden.
    controls.page_visible[2] = false;
    controls.page_visible[3] = false;
    controls.cmd_parametri_visible = false;

    GlobalServices& globals = host_.Globals();
    current_object_ = "Connection";
    connection_ = host_.OpenConnection(globals.ConnectionString());
    parameter_store_ = host_.CreateParameterStore(*connection_);
    date_converter_ = host_.CreateDateConverter(*connection_);
    company = globals.Company();
    company_parameters = globals.Parameters(*connection_, company);

    last_run_date = Value(MakeDateTime(2001, 1, 1));
    run.errors_folder.clear();
    run.gym_server.clear();
    run.gym_login.clear();
    run.gym_password.clear();
    run.plain_database.clear();

    current_object_.clear();
    LeggiTipiServizio(*this);
    price_list = LeggiListino(*this);

    for (const char* name : kObjects) {
      current_object_ = name;
      business_objects_.push_back(host_.CreateBusinessObject(name));
    }
    current_object_.clear();

    activated_ = true;
    Azzera_Campi();
    controls.cmd_import_enabled = true;
    controls.cmd_nuovo_enabled = true;
    controls.cmd_esci_enabled = true;
    controls.cbo_elabora_enabled = true;

    CreaTabellaStorico(*this);
    ListaStorico(*this);
    ListaConfigurazioni(*this);
    controls.checks_enabled = false;

    std::string code = RTrimNz(plugin_.schedule_code);
    while (!code.empty() && code.front() == ' ') code.erase(code.begin());
    if (!code.empty()) parameter_store_->Load(company);

    if (unattended() && plugin_.selections) {
      // A run from the command line: its options are the selections.
      log_->WriteLine("Inizio elaborazione");
      ApplicaSelezioni(*plugin_.selections);
      RunDriver();
      Form_Unload();
      return;
    }
    if (unattended()) {
      log_->WriteLine("Inizio elaborazione schedulata");
      if (!code.empty() && ApplicaParametri(code)) {
        log_->WriteLine("Applicazione codice schedulazione - Codice di simulazione :\"" + code +
                        "\"");
        RunDriver();
      } else {
        log_->WriteLine(
            "Applicazione codice schedulazione non avvenuta correttamente\r\nCodice di "
            "simulazione :\"" +
            code + "\"");
      }
      Form_Unload();
      return;
    }
    controls.page_visible[1] = false;
    controls.page_visible[2] = false;
    ViewChanged();
  } catch (const std::exception& e) {
    activated_ = activated_ || connection_ != nullptr;
    RecordError(current_object_.empty() ? "Form_Activate" : current_object_, e);
    if (unattended() && !unloaded_) Form_Unload();
  }
}

bool FRMZEV_ZODADOVEZ::Form_QueryUnload() {
  // The host navigator hears "tsClose"; the stand-in host has no navigator to tell.
  return true;
}

void FRMZEV_ZODADOVEZ::Form_Unload() {
  if (unloaded_) return;
  // Lookup and decode objects first, in creation order, then the rest.
  for (auto it = business_objects_.begin(); it != business_objects_.end();) {
    it = (*it)->name() == "PrimaNota" ? std::next(it) : business_objects_.erase(it);
  }
  business_objects_.clear();
  if (engine.release_document) {
    try {
      engine.release_document(*this);
    } catch (const std::exception&) {
      // Unloading goes on whatever the host object says.
    }
  }
  sales_document.reset();
  progressive_.reset();
  date_converter_.reset();
  parameter_store_.reset();
  connection_.reset();
  log_.reset();
  unloaded_ = true;
}

void FRMZEV_ZODADOVEZ::Azzera_Campi() {
  controls.cbo_elabora = 0;
  last_imported_date = Value(MakeDateTime(2001, 1, 1));
  ViewChanged();
}

ParameterSet FRMZEV_ZODADOVEZ::Selezioni() const {
  ParameterSet set;
  Recordset rs = configurations.clone();
  if (rs.is_open()) {
    for (; !rs.eof(); rs.move_next()) {
      if (NzDec(rs["SELEZIONE"]).ToDecimal() == Decimal(1)) {
        set.configurations.push_back(NzDec(rs["ZEV90_ID"]).ToInteger());
      }
    }
  }
  set.mode = controls.cbo_elabora;
  set.date_from = controls.txt_data_ini;
  set.date_to = controls.txt_data_fine;
  set.number_from = controls.txt_dadoc;
  set.number_to = controls.txt_adoc;
  return set;
}

bool FRMZEV_ZODADOVEZ::ApplicaParametri(const std::string& name) {
  std::optional<ParameterSet> set = parameter_store_->Find(company, name);
  if (!set) return false;
  ApplicaSelezioni(*set);
  return true;
}

void FRMZEV_ZODADOVEZ::ApplicaSelezioni(const ParameterSet& selections) {
  const ParameterSet* set = &selections;
  if (configurations.is_open()) {
    Recordset rs = configurations.clone();
    for (; !rs.eof(); rs.move_next()) {
      std::int64_t id = NzDec(rs["ZEV90_ID"]).ToInteger();
      bool ticked = false;
      for (std::int64_t wanted : set->configurations) ticked = ticked || wanted == id;
      rs.set("SELEZIONE", ticked ? 1 : 0);
    }
  }
  controls.cbo_elabora = set->mode;
  controls.txt_data_ini = set->date_from;
  controls.txt_data_fine = set->date_to;
  controls.txt_dadoc = set->number_from;
  controls.txt_adoc = set->number_to;
  ViewChanged();
}

void FRMZEV_ZODADOVEZ::GRID_IMPORT_ToggleSelection(std::size_t row) {
  Recordset rs = configurations.clone();
  for (std::size_t i = 0; i < row && !rs.eof(); ++i) rs.move_next();
  if (rs.eof()) return;
  bool ticked = NzDec(rs["SELEZIONE"]).ToDecimal() == Decimal(1);
  rs.set("SELEZIONE", ticked ? 0 : 1);
  ViewChanged();
}

int FRMZEV_ZODADOVEZ::MostraMessaggio(const std::string& text, int style,
                                      const std::string& title) {
  if (unattended()) return 0;
  if (MessageService* service = host_.Globals().Messages()) {
    return service->Show(text, style, title);
  }
  return view_ != nullptr ? view_->MessageBox(text, style, title) : 0;
}

void FRMZEV_ZODADOVEZ::RecordError(const std::string& label, const std::exception& e) {
  const auto* error_with_number = dynamic_cast<const Error*>(&e);
  error.number = error_with_number != nullptr ? error_with_number->number() : 0;
  error.description = e.what();
  error.label = label;
  Anomalia();
}

void FRMZEV_ZODADOVEZ::Anomalia() {
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
  controls.wait_cursor = false;
  std::string text = "Attenzione anomalia riscontrata in: \n" + RTrimNz(error.label) +
                     "\nNumero: " + std::to_string(error.number) +
                     "\nDescrizione :" + RTrimNz(error.description);
  MostraMessaggio(text, kMsgQuestion, controls.caption);
  run.abort = 99;
}

void FRMZEV_ZODADOVEZ::Progress(const std::string& action, double value) {
  bool user = !unattended();
  if (action == "Open") {
    if (view_ != nullptr && user) view_->ProcessEvents();
    if (user) {
      controls.pbar_value = 0;
      controls.pbar_text = value == 0 ? "" : fmt::format("{}", value);
    }
    run.progress_counter = 0;
  } else if (action == "Tot") {
    if (user) controls.pbar_max = value;
    progress_total_ = value;
    run.progress_counter = 0;
  } else if (action == "View") {
    ++run.progress_counter;
    if (user) controls.pbar_value = run.progress_counter;
  } else if (action == "Close") {
    run.progress_counter = 0;
  }
  // A command-line run has a view but no user: it follows the counter itself.
  if (view_ != nullptr)
    view_->OnProgress(progress_total_, run.progress_counter, controls.pbar_text);
}

void FRMZEV_ZODADOVEZ::DoEvents() {
  if (view_ != nullptr && !unattended()) view_->ProcessEvents();
}

void FRMZEV_ZODADOVEZ::CBO_ELABORA_Change() {
  if (controls.cbo_elabora == 0) {
    controls.ranges_enabled = false;
  } else if (controls.cbo_elabora == 1) {
    int answer = MostraMessaggio(
        "Attenzione prima di eseguire questa operazione\r\nsi deve eseguire l'annullamento dei "
        "documenti per il periodo\r\nche si desidera rimportare\r\nConferma operazione ?",
        kMsgQuestionYesNo, controls.caption);
    if (answer != kAnswerYes) {
      controls.cbo_elabora = 0;
      controls.focus = "CBO_ELABORA";
    }
    controls.ranges_enabled = true;
  }
  if (controls.ranges_enabled) controls.focus = "TXT_DATA_INI";
  ViewChanged();
}

bool FRMZEV_ZODADOVEZ::ControllaInput() {
  if (controls.cbo_elabora == 0) return true;
  auto fail = [&](const char* message, const char* focus) {
    MostraMessaggio(message, kMsgCritical, controls.caption);
    controls.focus = focus;
    ViewChanged();
    return false;
  };
  DateTime from;
  DateTime to;
  if (!ValidDate(controls.txt_data_ini, &from)) {
    return fail("Impostare Data Inizio Elaborazione", "TXT_DATA_INI");
  }
  if (!ValidDate(controls.txt_data_fine, &to)) {
    return fail("Impostare Data Fine Elaborazione", "TXT_DATA_FINE");
  }
  if (from > to) return fail("Intervallo non valido", "TXT_DATA_INI");
  // Receipt numbers are spliced into the selection: anything but a whole number is refused
  // here, with the message of a wrong range.
  std::string first = RTrimNz(controls.txt_dadoc);
  std::string last = RTrimNz(controls.txt_adoc);
  std::int64_t first_number = 0;
  std::int64_t last_number = 0;
  bool first_ok = first.empty() || ValidNumber(first, &first_number);
  bool last_ok = last.empty() || ValidNumber(last, &last_number);
  if (!first_ok) return fail("Intervallo documenti non valido", "TXT_DADOC");
  if (!last_ok) return fail("Intervallo documenti non valido", "TXT_ADOC");
  if (!first.empty() && !last.empty() && first_number > last_number) {
    return fail("Intervallo documenti non valido", "TXT_DADOC");
  }
  return true;
}

void FRMZEV_ZODADOVEZ::CMD_IMPORT_Click() {
  if (run_started_ || !controls.cmd_import_enabled) return;
  if (!ControllaInput()) return;
  const char* question =
      controls.cbo_elabora == 2 ? "Confermi Ripristino KIT ?" : "Confermi importazione Dati ?";
  if (MostraMessaggio(question, kMsgQuestionYesNo, controls.caption) != kAnswerYes) return;
  controls.cmd_import_enabled = false;
  controls.cmd_nuovo_enabled = false;
  controls.cmd_esci_enabled = false;
  controls.cbo_elabora_enabled = false;
  controls.ranges_enabled = false;
  ViewChanged();
  RunDriver();
}

void FRMZEV_ZODADOVEZ::CMD_NUOVO_Click() {
  int answer = MostraMessaggio(
      "Attenzione tutte le selezioni di default saranno azzerate.\r\nConfermi azzeramento "
      "selezioni ?",
      kMsgQuestionYesNo + kMsgExclamation - kMsgQuestion, controls.caption);
  if (answer == kAnswerNo) return;
  try {
    connection_->execute(
        fmt::format("DELETE FROM VRN99_IMPEXPPARAM WHERE VRN99_DITTA_CG18 = {}", company));
  } catch (const std::exception& e) {
    RecordError("CMD_NUOVO_Click", e);
  }
  Azzera_Campi();
  controls.checks_enabled = true;
  ViewChanged();
}

void FRMZEV_ZODADOVEZ::CMD_ESCI_Click() {
  if (Form_QueryUnload()) Form_Unload();
}

void FRMZEV_ZODADOVEZ::RunDriver() {
  run_started_ = true;
  run.results.open = false;
  run.anomalies.open = false;
  run.last_message.clear();
  run.other_message.clear();
  run.checkpoint_interval = 100;
  run.checkpoint_counter = 0;
  bool user = !unattended();
  if (user) controls.wait_cursor = true;

  if (!configurations.is_open()) {
    if (user) controls.cmd_esci_enabled = true;
    ViewChanged();
    return;
  }
  Recordset selected = configurations.clone();
  selected.filter("SELEZIONE = 1");
  Progress("Open", 0);
  std::string server = host_.Globals().ServerName(*connection_);
  for (selected.move_first(); !selected.eof(); selected.move_next()) {
    run.results.path.clear();
    run.anomalies.path.clear();
    run.present = Value(0);
    run.imported = Value(0);
    run.present_before_groups = 0;
    run.imported_before_groups = 0;
    ConfigurationOutcome outcome;
    try {
      run.configuration_id = NzDec(selected["ZEV90_ID"]).ToInteger();
      run.run_label = "GYM_" + std::to_string(run.configuration_id);
      run.plain_database = RTrimNz(selected["ZEV90_DB_NAME"]);
      run.errors_folder = RTrimNz(selected["ZEV90_PATH_ERRORI"]);
      run.gym_server = RTrimNz(selected["ZEV90_NOME_SERVER"]);
      run.gym_login = RTrimNz(selected["ZEV90_OWNER_NAME"]);
      run.gym_password = RTrimNz(selected["ZEV90_OWNER_PWD"]);
      run.last_run_date = selected["ZEV90_ULTIMA_ELAB"];
      run.default_vat_code = RTrimNz(selected["ZEV90_CODIVA_CG28"]);
      // A gym database on another server is reached through the linked server GYM_<id>.
      const bool linked = !TextEquals(run.gym_server, server);
      run.gym_database = linked ? run.run_label + "." + run.plain_database : run.plain_database;
      // Both names are spliced into every gym statement as they are: a name that could end
      // the statement's name and start something else is refused before any is sent.
      const bool refused =
          !IsPlainSqlName(run.plain_database) || (linked && !IsPlainSqlName(run.run_label));
      const std::string& refused_name =
          IsPlainSqlName(run.plain_database) ? run.run_label : run.plain_database;
      // The results file is named after the gym database: a refused name gives way to the
      // run label there.
      if (refused) run.gym_database = run.run_label;
      outcome.configuration_id = run.configuration_id;
      outcome.description = RTrimNz(selected["ZEV90_DESCR"]);
      outcome.gym_database = run.gym_database;
      if (refused) {
        outcome.skipped = true;
        run.last_message =
            "Nome database non valido su parametri di Import (solo lettere, cifre e _, al "
            "massimo 128 caratteri)! DataBase: '" +
            refused_name + "'";
        if (user) MostraMessaggio(run.last_message, kMsgExclamation, "ATTENZIONE ");
        run.result_label.clear();
        run.result_text = run.last_message;
        ScriviRisultato(*this);
      } else if (run.default_vat_code.empty()) {
        outcome.skipped = true;
        run.last_message =
            "Iva default non impostata su parametri di Import! DataBase: " + run.gym_database;
        if (user) MostraMessaggio(run.last_message, kMsgExclamation, "ATTENZIONE ");
        run.result_label.clear();
        run.result_text = run.last_message;
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
      outcome.present = run.present_before_groups + NzDec(run.present).ToInteger();
      outcome.imported = run.imported_before_groups + NzDec(run.imported).ToInteger();
    } catch (const Error&) {
      // The counters are always numbers; a summary never stops the run.
    }
    outcome.results_path = run.results.path;
    outcome.anomalies_path = run.anomalies.path;
    outcomes.push_back(std::move(outcome));
    if (user) {
      controls.cmd_esci_enabled = true;
      controls.wait_cursor = false;
      controls.pbar_text = ".....IMPORT TERMINATO .....";
      if (anomaly) MostraMessaggio("Elaborazione terminata", kMsgInformation, controls.caption);
      auto read_file = [](const std::string& path, std::string* into) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return;  // a missing file leaves the text box unchanged
        *into = std::string(std::istreambuf_iterator<char>(in), {});
      };
      if (!run.results.path.empty()) {
        controls.page_visible[1] = true;
        controls.page_selected = 1;
        read_file(run.results.path, &controls.txt_visualizza);
      }
      if (!run.anomalies.path.empty()) {
        controls.page_visible[2] = true;
        if (run.results.path.empty()) controls.page_selected = 2;
        read_file(run.anomalies.path, &controls.txt_errtranscod);
      }
      ViewChanged();
    }
    run.results.open = false;
    run.anomalies.open = false;
  }
}

}  // namespace zodadovez
