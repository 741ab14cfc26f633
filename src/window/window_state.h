// The import window as the page sees it: its controls, grids and message boxes as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zodadovez {
class FRMZEV_ZODADOVEZ;
}

namespace zodadovez::window {

// A button of a message box and the answer it returns (the platform's codes: 1 OK, 2 Cancel,
// 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No).
struct DialogButton {
  const char* label;
  int answer;
};

// The buttons of a message box of `style`: its three low bits choose them (0 OK, 1 OK/Cancel,
// 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel; any other value OK).
std::vector<DialogButton> DialogButtons(int style);
// The icon of `style` (16, 32, 48, 64): "critical", "question", "exclamation", "information",
// or "" for none.
const char* DialogIcon(int style);
// The answer a box gets when nobody is left to answer it (the window is closing): Cancel where
// the box has one, No for Yes/No, Abort for Abort/Retry/Ignore, OK otherwise.
int DefaultAnswer(int style);
// True when `answer` is one of the buttons of `style`.
bool IsAnswerOf(int style, int answer);

// The window's controls and grids, keyed by control name: CBO_ELABORA, the four range fields,
// the three buttons, TAB_PARAMETRI, TXT_VISUALIZZA, TXT_ERRTRANSCOD, PBAR, GRID_IMPORT (its
// selection column as "SI"/"NO") and GRID_RESULT, each grid with its columns and captions.
nlohmann::json WindowJson(const FRMZEV_ZODADOVEZ& w);
// The progress bar PBAR: max, value and text.
nlohmann::json ProgressJson(const FRMZEV_ZODADOVEZ& w);

}  // namespace zodadovez::window
