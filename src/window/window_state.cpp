// The window's controls, grids and message boxes as the page receives them.
#include "window/window_state.h"

#include <string>
#include <vector>

#include "module/common/host_services.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/config/configurazioni.h"
#include "module/config/storico.h"
#include "module/shell/frmzev_zodadovez.h"

namespace zodadovez::window {
namespace {

using nlohmann::json;

constexpr int kButtonsMask = 0x07;
constexpr int kIconMask = 0x70;

// A cell as the host grid shows it: nothing for Empty and Null, dates as dd/mm/yyyy, numbers
// in the Italian form.
std::string CellText(const Value& v) {
  switch (v.kind()) {
    case ValueKind::kEmpty:
    case ValueKind::kNull:
      return "";
    case ValueKind::kDate:
      return FormatItalianDate(v.as_date());
    case ValueKind::kBool:
    case ValueKind::kInteger:
    case ValueKind::kDecimal:
    case ValueKind::kDouble:
    case ValueKind::kText:
      return v.ToText();
  }
  return "";
}

// The selection column shows SI for 1 and NO for anything else.
std::string SelectionText(const Value& v) {
  try {
    return NzDec(v).ToDecimal() == Decimal(1) ? "SI" : "NO";
  } catch (const Error&) {
    return "NO";
  }
}

template <std::size_t N>
json GridJson(const Recordset& source, const char* key, const GridColumn (&columns)[N]) {
  json grid;
  grid["key"] = key;
  grid["columns"] = json::array();
  for (const GridColumn& c : columns) {
    grid["columns"].push_back({{"field", c.field}, {"caption", c.caption}, {"width", c.width}});
  }
  grid["rows"] = json::array();
  if (!source.is_open()) return grid;
  Recordset rs = source.clone();
  for (; !rs.eof(); rs.move_next()) {
    json row = json::array();
    for (const GridColumn& c : columns) {
      if (rs.field_index(c.field) < 0) {
        row.push_back("");
      } else if (std::string_view(c.field) == "SELEZIONE") {
        row.push_back(SelectionText(rs[c.field]));
      } else {
        row.push_back(CellText(rs[c.field]));
      }
    }
    grid["rows"].push_back(std::move(row));
  }
  return grid;
}

json Field(const std::string& value, bool enabled) {
  return {{"value", value}, {"enabled", enabled}};
}

}  // namespace

std::vector<DialogButton> DialogButtons(int style) {
  switch (style & kButtonsMask) {
    case 1:
      return {{"OK", kAnswerOk}, {"Annulla", 2}};
    case 2:
      return {{"Interrompi", 3}, {"Riprova", 4}, {"Ignora", 5}};
    case 3:
      return {{"Sì", kAnswerYes}, {"No", kAnswerNo}, {"Annulla", 2}};
    case 4:
      return {{"Sì", kAnswerYes}, {"No", kAnswerNo}};
    case 5:
      return {{"Riprova", 4}, {"Annulla", 2}};
    default:
      return {{"OK", kAnswerOk}};
  }
}

const char* DialogIcon(int style) {
  switch (style & kIconMask) {
    case kMsgCritical:
      return "critical";
    case kMsgQuestion:
      return "question";
    case kMsgExclamation:
      return "exclamation";
    case kMsgInformation:
      return "information";
    default:
      return "";
  }
}

int DefaultAnswer(int style) {
  std::vector<DialogButton> buttons = DialogButtons(style);
  for (const DialogButton& b : buttons) {
    if (b.answer == 2) return 2;  // Cancel
  }
  for (const DialogButton& b : buttons) {
    if (b.answer == kAnswerNo) return kAnswerNo;
  }
  return buttons.front().answer;
}

bool IsAnswerOf(int style, int answer) {
  for (const DialogButton& b : DialogButtons(style)) {
    if (b.answer == answer) return true;
  }
  return false;
}

json ProgressJson(const FRMZEV_ZODADOVEZ& w) {
  return {{"max", w.controls.pbar_max},
          {"value", w.controls.pbar_value},
          {"text", w.controls.pbar_text}};
}

json WindowJson(const FRMZEV_ZODADOVEZ& w) {
  const WindowControls& c = w.controls;
  json j;
  j["caption"] = c.caption;
  j["company"] = w.run().company;
  j["CBO_ELABORA"] = {{"value", c.cbo_elabora},
                      {"enabled", c.cbo_elabora_enabled},
                      {"items", json::array({{{"code", 0}, {"text", "Normale"}},
                                             {{"code", 1}, {"text", "Rielabora"}}})}};
  j["TXT_DATA_INI"] = Field(c.txt_data_ini, c.ranges_enabled);
  // Said when the proposal fell back although "Normale" runs exist: none recorded its end, and
  // a "Normale" run would select every receipt again.
  j["PROPOSAL_NOTE"] =
      w.run().proposal_fell_back
          ? "Nessuna elaborazione Normale registra la data dell'ultima ricevuta importata: la "
            "data proposta torna al 01/01/2001. Usare Rielabora per il periodo da completare."
          : "";
  j["TXT_DATA_FINE"] = Field(c.txt_data_fine, c.ranges_enabled);
  j["TXT_DADOC"] = Field(c.txt_dadoc, c.ranges_enabled);
  j["TXT_ADOC"] = Field(c.txt_adoc, c.ranges_enabled);
  j["CMD_IMPORT"] = {{"enabled", c.cmd_import_enabled}};
  j["CMD_NUOVO"] = {{"enabled", c.cmd_nuovo_enabled}};
  j["CMD_ESCI"] = {{"enabled", c.cmd_esci_enabled}};
  j["TAB_PARAMETRI"] = {{"visible", json::array({c.page_visible[0], c.page_visible[1],
                                                 c.page_visible[2], c.page_visible[3]})},
                        {"selected", c.page_selected}};
  j["TXT_VISUALIZZA"] = {{"value", c.txt_visualizza}};
  j["TXT_ERRTRANSCOD"] = {{"value", c.txt_errtranscod}};
  j["PBAR"] = ProgressJson(w);
  j["wait_cursor"] = c.wait_cursor;
  j["GRID_IMPORT"] = GridJson(c.grid_import, "ZEV90_ID", kConfigurationGrid);
  j["GRID_RESULT"] = GridJson(c.grid_result, "ZEV99_ID", kHistoryGrid);
  return j;
}

}  // namespace zodadovez::window
