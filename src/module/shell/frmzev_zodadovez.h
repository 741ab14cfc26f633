// FRMZEV_ZODADOVEZ: the import window: its controls, lifecycle and handlers. It owns one import
// run (module/engine/import_run.h), which holds the connection, the host services and all run
// state. The window has no screen of its own: a front end (the web page) shows its controls and
// drives it.
#pragma once

#include <atomic>
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
#include "module/engine/import_run.h"

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

class FRMZEV_ZODADOVEZ : private RunObserver {
 public:
  // `host` and `plugin` outlive the window. `view` may be null (unattended, tests).
  FRMZEV_ZODADOVEZ(HostFramework& host, CLSZEV_ZODADOVEZ& plugin, WindowView* view = nullptr);
  ~FRMZEV_ZODADOVEZ() override;
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
  // The error convention of every procedure: store, report, return.
  void RecordError(const std::string& label, const std::exception& e);

  bool unattended() const;
  // The import run the window owns: its connection, host services and state.
  ImportRun& run() { return run_; }
  const ImportRun& run() const { return run_; }
  // How the window's run ended (empty before it ran).
  const std::optional<RunOutcome>& outcome() const { return outcome_; }
  // Asks a run in progress to stop after the receipt in hand; any thread may call it.
  void RequestStop() { stop_.store(true); }

  WindowControls controls;

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
  // Lists the run history into GRID_RESULT and the proposed start date into TXT_DATA_INI.
  void ListaStorico();

 private:
  // What the run tells the window.
  int MessageBox(const std::string& text, int style, const std::string& title) override;
  void OnProgress(const RunProgress& progress) override;
  void ProcessEvents() override;
  void OnAnomaly() override;
  void OnConfigurationEnd(const ConfigurationOutcome& outcome) override;

  void ViewChanged();

  HostFramework& host_;
  CLSZEV_ZODADOVEZ& plugin_;
  WindowView* view_;
  std::atomic<bool> stop_{false};
  ImportRun run_;
  std::optional<RunOutcome> outcome_;
  std::vector<std::unique_ptr<BusinessObject>> business_objects_;
  std::string current_object_;
  std::string instance_id_;
  bool activated_ = false;
  bool unloaded_ = false;
  bool run_started_ = false;
  double left_ = 0;
  double top_ = 0;
};

}  // namespace zodadovez
