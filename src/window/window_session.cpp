// The window's thread, the snapshot the page reads, and the requests the page sends.
#include "window/window_session.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "host/erp/stand_in_host.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/config/storico.h"
#include "module/shell/clszev_zodadovez.h"
#include "module/shell/frmzev_zodadovez.h"
#include "window/window_state.h"

namespace zodadovez::window {
namespace {

using nlohmann::json;

// The longest text a range field takes, and the longest name of a parameter set (the width
// of VRN99_CODICE).
constexpr std::size_t kFieldLength = 64;
constexpr std::size_t kSetNameLength = 40;

Reply Refused(int status, std::string message) { return {status, {{"error", std::move(message)}}}; }
// The version names the state that holds the queued action: the page knows the action done when a
// state after it is no longer busy.
Reply Queued(std::uint64_t version) { return {202, {{"ok", true}, {"version", version}}}; }

std::string Trim(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The window lists its run history when it opens; after a run the page lists it again so that
// the run's row shows. The range fields keep what the run was given: the start date the
// listing proposes is for the next window.
void ListHistoryAgain(FRMZEV_ZODADOVEZ& w) {
  std::string data_ini = w.controls.txt_data_ini;
  Value last_imported = w.run().last_imported_date;
  w.ListaStorico();
  w.controls.txt_data_ini = std::move(data_ini);
  w.run().last_imported_date = std::move(last_imported);
}

}  // namespace

// Bridges the window's view callbacks to the session; every call comes on the window's thread.
class WindowSession::PageView : public WindowView {
 public:
  explicit PageView(WindowSession& session) : session_(session) {}
  void set_plugin(CLSZEV_ZODADOVEZ* plugin) { plugin_ = plugin; }

  void OnProgress(double, double, const std::string&) override {
    if (FRMZEV_ZODADOVEZ* w = window()) session_.PublishProgress(*w);
  }
  void OnControlsChanged() override {
    if (FRMZEV_ZODADOVEZ* w = window()) session_.Publish(*w);
  }
  int MessageBox(const std::string& text, int style, const std::string& title) override {
    FRMZEV_ZODADOVEZ* w = window();
    if (w == nullptr) return DefaultAnswer(style);
    return session_.Ask(*w, text, style, title);
  }

 private:
  FRMZEV_ZODADOVEZ* window() {
    return plugin_ != nullptr ? plugin_->Cinterface_Cwindow() : nullptr;
  }

  WindowSession& session_;
  CLSZEV_ZODADOVEZ* plugin_ = nullptr;
};

WindowSession::WindowSession(SessionOptions options) : options_(std::move(options)) {
  thread_ = std::thread([this] { Main(); });
}

WindowSession::~WindowSession() {
  RequestClose();
  if (thread_.joinable()) thread_.join();
}

void WindowSession::Main() {
  try {
    StandInOptions host_options;
    host_options.connection = options_.erp;
    host_options.company = options_.company;
    // No message service: the window shows its own message boxes, which are the page's.
    host_options.messages = nullptr;
    StandInHost host(host_options);
    PageView view(*this);
    CLSZEV_ZODADOVEZ plugin(host);
    view.set_plugin(&plugin);
    plugin.Cinterface_ShowForm(&view);
    FRMZEV_ZODADOVEZ& w = *plugin.Cinterface_Cwindow();
    RefreshSavedSets(w);
    Publish(w);

    while (!w.unloaded()) {
      Action action;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (closing_) break;
        action = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        ++state_version_;
        changed_.notify_all();
      }
      // The page holds the real focus; the window's focus is a request to move it, made by the
      // handler that runs now.
      w.controls.focus.clear();
      published_focus_.clear();
      try {
        action.run(w);
      } catch (const std::exception& e) {
        w.RecordError("FRMZEV_ZODADOVEZ", e);
      }
      if (w.unloaded()) break;
      Publish(w);
      std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
      if (action.import) importing_ = false;
      ++state_version_;
      changed_.notify_all();
    }
    if (!w.unloaded()) plugin.Cinterface_CloseForm();
    std::lock_guard<std::mutex> lock(mutex_);
    anomaly_ = w.run().anomaly;
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = e.what();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  busy_ = false;
  importing_ = false;
  queue_.clear();
  dialog_.reset();
  ++state_version_;
  ++dialog_version_;
  changed_.notify_all();
}

void WindowSession::Publish(FRMZEV_ZODADOVEZ& w) {
  json window_json = WindowJson(w);
  json progress_json = ProgressJson(w);
  Enabled enabled;
  enabled.mode = w.controls.cbo_elabora_enabled;
  enabled.ranges = w.controls.ranges_enabled;
  enabled.import = w.controls.cmd_import_enabled;
  enabled.nuovo = w.controls.cmd_nuovo_enabled;
  enabled.esci = w.controls.cmd_esci_enabled;
  enabled.configurations = window_json["GRID_IMPORT"]["rows"].size();
  std::string focus = w.controls.focus;

  std::lock_guard<std::mutex> lock(mutex_);
  window_json_ = std::move(window_json);
  progress_json_ = std::move(progress_json);
  enabled_ = enabled;
  if (focus != published_focus_) {
    published_focus_ = focus;
    if (!focus.empty()) {
      focus_ = focus;
      ++focus_count_;
    }
  }
  ++state_version_;
  changed_.notify_all();
}

void WindowSession::PublishProgress(FRMZEV_ZODADOVEZ& w) {
  json progress_json = ProgressJson(w);
  std::lock_guard<std::mutex> lock(mutex_);
  progress_json_ = std::move(progress_json);
  ++progress_version_;
  changed_.notify_all();
}

int WindowSession::Ask(FRMZEV_ZODADOVEZ& w, const std::string& text, int style,
                       const std::string& title) {
  // The page sees the window as it stands when the box opens.
  Publish(w);
  std::unique_lock<std::mutex> lock(mutex_);
  if (closing_) return DefaultAnswer(style);
  dialog_ = Dialog{++dialog_count_, text, style, title};
  answer_.reset();
  ++dialog_version_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return answer_.has_value() || closing_; });
  int button = answer_.value_or(DefaultAnswer(style));
  dialog_.reset();
  answer_.reset();
  ++dialog_version_;
  changed_.notify_all();
  return button;
}

void WindowSession::RefreshSavedSets(FRMZEV_ZODADOVEZ& w) {
  std::vector<std::string> names;
  if (ParameterSetStore* store = w.run().parameters()) {
    try {
      names = store->Names(w.run().company);
    } catch (const std::exception& e) {
      w.RecordError("QDX_ELABPARAMS1", e);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  saved_sets_ = std::move(names);
  ++state_version_;
  changed_.notify_all();
}

json WindowSession::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return StateLocked();
}

json WindowSession::StateLocked() const {
  json state;
  state["version"] = state_version_;
  state["window"] = window_json_;
  if (!progress_json_.is_null()) state["window"]["PBAR"] = progress_json_;
  if (dialog_) {
    json buttons = json::array();
    for (const DialogButton& b : DialogButtons(dialog_->style)) {
      buttons.push_back({{"label", b.label}, {"answer", b.answer}});
    }
    state["dialog"] = {{"id", dialog_->id},
                       {"text", dialog_->text},
                       {"title", dialog_->title},
                       {"style", dialog_->style},
                       {"icon", DialogIcon(dialog_->style)},
                       {"buttons", std::move(buttons)}};
  } else {
    state["dialog"] = nullptr;
  }
  state["saved_sets"] = saved_sets_;
  state["focus"] = {{"control", focus_}, {"count", focus_count_}};
  state["busy"] = busy_;
  state["importing"] = importing_;
  state["closed"] = closed_;
  if (!failure_.empty()) state["error"] = failure_;
  return state;
}

std::optional<Reply> WindowSession::Refusal() const {
  if (closed_ || closing_) return Refused(410, "La finestra è chiusa.");
  if (importing_)
    return Refused(409, "Importazione in corso: attendere la fine dell'elaborazione.");
  return std::nullopt;
}

Reply WindowSession::Enqueue(Action action) {
  if (action.import) importing_ = true;
  queue_.push_back(std::move(action));
  ++state_version_;
  changed_.notify_all();
  return Queued(state_version_);
}

Reply WindowSession::ToggleSelection(std::int64_t row) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto refusal = Refusal()) return *refusal;
  if (row < 0 || static_cast<std::size_t>(row) >= enabled_.configurations) {
    return Refused(400, "Configurazione inesistente.");
  }
  auto index = static_cast<std::size_t>(row);
  return Enqueue({[index](FRMZEV_ZODADOVEZ& w) { w.GRID_IMPORT_ToggleSelection(index); }});
}

Reply WindowSession::ChangeMode(int mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto refusal = Refusal()) return *refusal;
  if (mode != 0 && mode != 1) return Refused(400, "Tipo elaborazione sconosciuto.");
  if (!enabled_.mode) return Refused(409, "CBO_ELABORA non è abilitato.");
  return Enqueue({[mode](FRMZEV_ZODADOVEZ& w) {
    if (!w.controls.cbo_elabora_enabled) return;
    w.controls.cbo_elabora = mode;
    w.CBO_ELABORA_Change();
  }});
}

Reply WindowSession::EditField(const std::string& control, const std::string& value) {
  std::string WindowControls::*field = nullptr;
  if (control == "TXT_DATA_INI") field = &WindowControls::txt_data_ini;
  if (control == "TXT_DATA_FINE") field = &WindowControls::txt_data_fine;
  if (control == "TXT_DADOC") field = &WindowControls::txt_dadoc;
  if (control == "TXT_ADOC") field = &WindowControls::txt_adoc;
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto refusal = Refusal()) return *refusal;
  if (field == nullptr) return Refused(400, "Campo sconosciuto: " + control);
  if (value.size() > kFieldLength) return Refused(400, "Valore troppo lungo per " + control + ".");
  if (!enabled_.ranges) return Refused(409, control + " non è abilitato.");
  return Enqueue({[field, value](FRMZEV_ZODADOVEZ& w) {
    if (w.controls.ranges_enabled) w.controls.*field = value;
  }});
}

Reply WindowSession::Import() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto refusal = Refusal()) return *refusal;
  if (!enabled_.import) return Refused(409, "CMD_IMPORT non è abilitato.");
  Action action;
  action.import = true;
  action.run = [](FRMZEV_ZODADOVEZ& w) {
    bool enabled = w.controls.cmd_import_enabled;
    w.CMD_IMPORT_Click();
    // CMD_IMPORT is disabled once the run starts, and stays so.
    if (enabled && !w.controls.cmd_import_enabled) ListHistoryAgain(w);
  };
  return Enqueue(std::move(action));
}

Reply WindowSession::Nuovo() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto refusal = Refusal()) return *refusal;
  if (!enabled_.nuovo) return Refused(409, "CMD_NUOVO non è abilitato.");
  return Enqueue({[this](FRMZEV_ZODADOVEZ& w) {
    w.CMD_NUOVO_Click();
    RefreshSavedSets(w);
  }});
}

Reply WindowSession::Esci() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto refusal = Refusal()) return *refusal;
  if (!enabled_.esci) return Refused(409, "CMD_ESCI non è abilitato.");
  return Enqueue({[](FRMZEV_ZODADOVEZ& w) { w.CMD_ESCI_Click(); }});
}

Reply WindowSession::SaveSelections(const std::string& name) {
  std::string trimmed = Trim(name);
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto refusal = Refusal()) return *refusal;
  if (trimmed.empty()) return Refused(400, "Indicare il nome delle selezioni.");
  if (trimmed.size() > kSetNameLength) {
    return Refused(400, "Il nome delle selezioni può avere al più 40 caratteri.");
  }
  return Enqueue({[this, trimmed](FRMZEV_ZODADOVEZ& w) {
    ParameterSetStore* store = w.run().parameters();
    if (store == nullptr) return;
    try {
      store->Save(w.run().company, trimmed, w.Selezioni());
    } catch (const std::exception& e) {
      w.RecordError("QDX_ELABPARAMS1", e);
    }
    RefreshSavedSets(w);
  }});
}

Reply WindowSession::Answer(std::int64_t dialog, int button) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!dialog_ || dialog_->id != dialog || answer_) {
    return Refused(409, "Il messaggio non è più aperto.");
  }
  if (!IsAnswerOf(dialog_->style, button)) return Refused(400, "Risposta non prevista.");
  answer_ = button;
  changed_.notify_all();
  return {200, {{"ok", true}}};
}

std::optional<Event> WindowSession::NextEvent(EventCursor& cursor,
                                              std::chrono::milliseconds timeout,
                                              std::chrono::milliseconds progress_interval) {
  using Clock = std::chrono::steady_clock;
  auto dump = [](const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); };
  std::unique_lock<std::mutex> lock(mutex_);
  Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    Clock::time_point now = Clock::now();
    if (closed_ && !cursor.closed) {
      cursor.closed = true;
      cursor.state = state_version_;
      cursor.dialog = dialog_version_;
      return Event{"closed", dump(StateLocked())};
    }
    if (cursor.dialog != dialog_version_) {
      cursor.dialog = dialog_version_;
      return Event{"dialog", dump(StateLocked()["dialog"])};
    }
    if (cursor.state != state_version_) {
      cursor.state = state_version_;
      cursor.progress = progress_version_;
      return Event{"state", dump(StateLocked())};
    }
    Clock::time_point wake = deadline;
    if (cursor.progress != progress_version_) {
      if (now >= cursor.next_progress) {
        cursor.progress = progress_version_;
        cursor.next_progress = now + progress_interval;
        return Event{"progress", dump(progress_json_)};
      }
      wake = std::min(wake, cursor.next_progress);
    }
    if (now >= deadline) return std::nullopt;
    changed_.wait_until(lock, wake);
  }
}

void WindowSession::RequestClose() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;
  closing_ = true;
  queue_.clear();
  ++state_version_;
  changed_.notify_all();
}

void WindowSession::WaitUntilClosed() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return closed_; });
}

bool WindowSession::closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

bool WindowSession::importing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return importing_;
}

bool WindowSession::anomaly() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return anomaly_;
}

}  // namespace zodadovez::window
