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
    : host_(host),
      plugin_(plugin),
      view_(view),
      run_(host, RunOptions{plugin.unattended, false, {}, &stop_}, this),
      instance_id_(NewInstanceId()) {
  host_.DebugTrace(TraceLine(instance_id_, "INI", "FRMZEV_ZODADOVEZ"));
}

FRMZEV_ZODADOVEZ::~FRMZEV_ZODADOVEZ() {
  host_.DebugTrace(TraceLine(instance_id_, "TER", "FRMZEV_ZODADOVEZ"));
}

bool FRMZEV_ZODADOVEZ::unattended() const { return plugin_.unattended; }

void FRMZEV_ZODADOVEZ::ViewChanged() {
  if (view_ != nullptr && !unattended()) view_->OnControlsChanged();
}

void FRMZEV_ZODADOVEZ::Form_Load() {
  run_.caption = controls.caption;
  left_ = Position(plugin_.Cinterface_Left);
  top_ = Position(plugin_.Cinterface_Top);
  (void)kWidth;
  (void)kHeight;
  run_.Progress("Open", 0);
}

void FRMZEV_ZODADOVEZ::Form_Activate() {
  if (activated_) return;
  try {
    // Pages 2 and 3 of the parameter tab and the parameter button start hidden.
    controls.page_visible[2] = false;
    controls.page_visible[3] = false;
    controls.cmd_parametri_visible = false;

    run_.Open(&current_object_);
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

    CreaTabellaStorico(run_);
    ListaStorico();
    ListaConfigurazioni(run_);
    controls.grid_import = !unattended() && run_.configurations.record_count() > 0
                               ? run_.configurations.clone()
                               : Recordset();
    controls.checks_enabled = false;

    std::string code = RTrimNz(plugin_.schedule_code);
    while (!code.empty() && code.front() == ' ') code.erase(code.begin());
    if (!code.empty()) run_.parameters()->Load(run_.company);

    if (unattended()) {
      if (plugin_.selections) {
        // A run handed its selections (in place of a saved set) by the host.
        if (LogService* log = run_.log()) log->WriteLine("Inizio elaborazione");
        outcome_ = run_.Execute(*plugin_.selections);
      } else {
        // The parameter-set control fills the window's fields as it applies the set.
        if (!code.empty()) ApplicaParametri(code);
        outcome_ = run_.ExecuteSchedule(code);
      }
      // A refused run says why in the host log, the only place an unattended run speaks.
      if (outcome_->status == RunStatus::kRefused &&
          outcome_->refusal != Refusal::kScheduleNotFound &&
          outcome_->refusal != Refusal::kEmptySchedule) {
        if (LogService* log = run_.log()) log->WriteLine(outcome_->reason);
      }
      Form_Unload();
      return;
    }
    controls.page_visible[1] = false;
    controls.page_visible[2] = false;
    ViewChanged();
  } catch (const std::exception& e) {
    activated_ = activated_ || run_.is_open();
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
  run_.Close();
  unloaded_ = true;
}

void FRMZEV_ZODADOVEZ::Azzera_Campi() {
  controls.cbo_elabora = 0;
  run_.last_imported_date = Value(MakeDateTime(2001, 1, 1));
  ViewChanged();
}

void FRMZEV_ZODADOVEZ::ListaStorico() {
  Recordset listing = zodadovez::ListaStorico(run_);
  if (!unattended()) controls.grid_result = listing;
  controls.txt_data_ini = ProposedStartText(run_.last_imported_date);
}

ParameterSet FRMZEV_ZODADOVEZ::Selezioni() const {
  ParameterSet set;
  Recordset rs = run_.configurations.clone();
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
  std::optional<ParameterSet> set = run_.parameters()->Find(run_.company, name);
  if (!set) return false;
  ApplicaSelezioni(*set);
  return true;
}

void FRMZEV_ZODADOVEZ::ApplicaSelezioni(const ParameterSet& selections) {
  const ParameterSet* set = &selections;
  if (run_.configurations.is_open()) {
    Recordset rs = run_.configurations.clone();
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
  Recordset rs = run_.configurations.clone();
  for (std::size_t i = 0; i < row && !rs.eof(); ++i) rs.move_next();
  if (rs.eof()) return;
  bool ticked = NzDec(rs["SELEZIONE"]).ToDecimal() == Decimal(1);
  rs.set("SELEZIONE", ticked ? 0 : 1);
  ViewChanged();
}

int FRMZEV_ZODADOVEZ::MostraMessaggio(const std::string& text, int style,
                                      const std::string& title) {
  return run_.MostraMessaggio(text, style, title);
}

void FRMZEV_ZODADOVEZ::RecordError(const std::string& label, const std::exception& e) {
  run_.RecordError(label, e);
}

int FRMZEV_ZODADOVEZ::MessageBox(const std::string& text, int style, const std::string& title) {
  return view_ != nullptr ? view_->MessageBox(text, style, title) : 0;
}

void FRMZEV_ZODADOVEZ::OnProgress(const RunProgress& progress) {
  if (!unattended()) {
    if (progress.action == "Open") {
      controls.pbar_value = 0;
      controls.pbar_text = progress.text;
    } else if (progress.action == "Tot") {
      controls.pbar_max = progress.total;
    } else if (progress.action == "View") {
      controls.pbar_value = progress.value;
    }
  }
  if (view_ != nullptr) view_->OnProgress(progress.total, progress.value, controls.pbar_text);
}

void FRMZEV_ZODADOVEZ::ProcessEvents() {
  if (view_ != nullptr && !unattended()) view_->ProcessEvents();
}

void FRMZEV_ZODADOVEZ::OnAnomaly() { controls.wait_cursor = false; }

void FRMZEV_ZODADOVEZ::OnConfigurationEnd(const ConfigurationOutcome& outcome) {
  if (unattended()) return;
  controls.cmd_esci_enabled = true;
  controls.wait_cursor = false;
  controls.pbar_text = ".....IMPORT TERMINATO .....";
  if (run_.anomaly) MostraMessaggio("Elaborazione terminata", kMsgInformation, controls.caption);
  auto read_file = [](const std::string& path, std::string* into) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;  // a missing file leaves the text box unchanged
    *into = std::string(std::istreambuf_iterator<char>(in), {});
  };
  if (!outcome.results_path.empty()) {
    controls.page_visible[1] = true;
    controls.page_selected = 1;
    read_file(outcome.results_path, &controls.txt_visualizza);
  }
  if (!outcome.anomalies_path.empty()) {
    controls.page_visible[2] = true;
    if (outcome.results_path.empty()) controls.page_selected = 2;
    read_file(outcome.anomalies_path, &controls.txt_errtranscod);
  }
  ViewChanged();
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
    run_.db().execute(
        fmt::format("DELETE FROM VRN99_IMPEXPPARAM WHERE VRN99_DITTA_CG18 = {}", run_.company));
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
  const bool user = !unattended();
  if (user) controls.wait_cursor = true;
  ViewChanged();
  outcome_ = run_.Execute(Selezioni());
  if (user) {
    controls.wait_cursor = false;
    if (outcome_->status == RunStatus::kRefused) {
      MostraMessaggio(outcome_->reason, kMsgExclamation, controls.caption);
    }
    // Only CMD_ESCI comes back after a run from the window.
    controls.cmd_esci_enabled = true;
  }
  ViewChanged();
}

}  // namespace zodadovez
