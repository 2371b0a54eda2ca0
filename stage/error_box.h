// The modal error box of the fatal stop.
#pragma once

#include <string>

namespace gs {

// Shows a box with the caption, an error icon, the text (CR LF separates
// lines) and one OK button; returns when it is closed (Enter, Space, Esc or a
// click on OK). Without a display, writes the text to standard error.
void ShowErrorBox(const std::string& caption, const std::string& text);

}  // namespace gs
