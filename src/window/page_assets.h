// The page of the import window: its HTML, style sheet and script, compiled into the binary
// from src/window/page/.
#pragma once

namespace zodadovez::window {

extern const char* const kPageHtml;
extern const char* const kPageCss;
extern const char* const kPageJs;

}  // namespace zodadovez::window
