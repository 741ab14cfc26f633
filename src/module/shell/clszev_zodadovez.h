// CLSZEV_ZODADOVEZ: the plug-in class the host creates. It keeps what the host hands it
// (the Cinterface properties) and shows or closes the import window.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "module/common/host_services.h"
#include "module/common/value.h"

namespace zodadovez {

class FRMZEV_ZODADOVEZ;
class WindowView;

// A new instance id: a GUID as 32 hexadecimal digits, no separators or braces.
std::string NewInstanceId();

// The trace line the class and the window write at creation ("INI") and destruction ("TER").
std::string TraceLine(const std::string& instance_id, const std::string& event,
                      const std::string& object);

class CLSZEV_ZODADOVEZ {
 public:
  explicit CLSZEV_ZODADOVEZ(HostFramework& host);
  ~CLSZEV_ZODADOVEZ();
  CLSZEV_ZODADOVEZ(const CLSZEV_ZODADOVEZ&) = delete;
  CLSZEV_ZODADOVEZ& operator=(const CLSZEV_ZODADOVEZ&) = delete;

  // Cinterface properties: stored as the host assigns them and returned unchanged. Object
  // properties read before any assignment hold nothing (an empty std::any).
  std::any Cinterface_ActiveFrame;
  std::any Cinterface_ActiveNavigator;
  std::any Cinterface_ClsVoceMenu;
  std::any Cinterface_StatusBar;
  std::any Cinterface_Connection;
  bool Cinterface_CanDelete = false;
  bool Cinterface_CanInsert = false;
  bool Cinterface_CanQbe = false;
  bool Cinterface_CanUpdate = false;
  bool Cinterface_IsCalled = false;
  bool Cinterface_WindowModal = false;
  bool Cinterface_IsActive = false;
  Value Cinterface_Caption;
  Value Cinterface_Filtro;
  Value Cinterface_MenuModulo;
  Value Cinterface_MenuPadre;
  Value Cinterface_MenuProg;
  Value Cinterface_Top;
  Value Cinterface_Left;
  std::int32_t Cinterface_hwndParent = 0;
  std::int16_t Cinterface_ProgramMode = 0;
  std::int16_t Cinterface_WindowState = 0;

  // Set by the host for a scheduled run.
  bool unattended = false;
  Value schedule_code;
  // Selections handed over with an unattended run in place of a saved set (the command line's
  // options); when set, the schedule code is not looked up.
  std::optional<ParameterSet> selections;

  HostFramework& Cinterface_ClsGlobal() { return host_; }
  FRMZEV_ZODADOVEZ* Cinterface_Cwindow() { return window_.get(); }

  // Creates the window and shows it: loads and activates it (an unattended window runs and
  // unloads itself during activation). `view` is the front end showing it (may be null).
  void Cinterface_ShowForm(WindowView* view = nullptr);
  // Unloads the window; true when the window no longer holds the host reference.
  bool Cinterface_CloseForm();
  // Raises DataTransfer once with the value; the result is empty.
  Value Cinterface_TransferData(const Value& value);
  // The DataTransfer event's handler, set by whoever listens.
  std::function<void(const Value&)> DataTransfer;

  const std::string& instance_id() const { return instance_id_; }

 private:
  HostFramework& host_;
  std::string instance_id_;
  std::unique_ptr<FRMZEV_ZODADOVEZ> window_;
};

}  // namespace zodadovez
