#include "module/shell/clszev_zodadovez.h"

#include <fmt/format.h>

#include <random>

#include "module/common/mdlzev_zodadovez.h"
#include "module/shell/frmzev_zodadovez.h"

namespace zodadovez {

std::string NewInstanceId() {
  // A version-4 GUID from the system's random source: the first 32-bit part as 8 digits, the
  // two 16-bit parts as 4 each, then the eight bytes as 2 each.
  static thread_local std::random_device device;
  std::uint32_t data1 = device();
  std::uint16_t data2 = static_cast<std::uint16_t>(device());
  std::uint16_t data3 = static_cast<std::uint16_t>((device() & 0x0FFF) | 0x4000);
  std::string id = fmt::format("{:08X}{:04X}{:04X}", data1, data2, data3);
  for (int i = 0; i < 8; ++i) {
    unsigned byte = device() & 0xFF;
    if (i == 0) byte = (byte & 0x3F) | 0x80;
    id += fmt::format("{:02X}", byte);
  }
  return id;
}

std::string TraceLine(const std::string& instance_id, const std::string& event,
                      const std::string& object) {
  return "QDVT:|" + instance_id + "|" + event + "|ZEVUO_ZODADOVEZ|" + object;
}

CLSZEV_ZODADOVEZ::CLSZEV_ZODADOVEZ(HostFramework& host)
    : host_(host), instance_id_(NewInstanceId()) {
  host_.DebugTrace(TraceLine(instance_id_, "INI", "CLSZEV_ZODADOVEZ"));
}

CLSZEV_ZODADOVEZ::~CLSZEV_ZODADOVEZ() {
  host_.DebugTrace(TraceLine(instance_id_, "TER", "CLSZEV_ZODADOVEZ"));
  // The window goes last.
  window_.reset();
}

void CLSZEV_ZODADOVEZ::Cinterface_ShowForm(WindowView* view) {
  window_ = std::make_unique<FRMZEV_ZODADOVEZ>(host_, *this, view);
  window_->controls.caption =
      RTrimNz(Cinterface_Caption).empty() ? window_->controls.caption : Cinterface_Caption.ToText();
  window_->Form_Load();
  window_->Form_Activate();
}

bool CLSZEV_ZODADOVEZ::Cinterface_CloseForm() {
  if (window_ == nullptr) return true;
  if (!window_->unloaded() && window_->Form_QueryUnload()) window_->Form_Unload();
  return window_->unloaded();
}

Value CLSZEV_ZODADOVEZ::Cinterface_TransferData(const Value& value) {
  if (DataTransfer) DataTransfer(value);
  return Value();
}

}  // namespace zodadovez
