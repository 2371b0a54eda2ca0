// A private desktop and the framework set up on it, for stage tests.
// Command line: --screen=WxH, --no-strip, --top-strip, --no-wm.
#pragma once

#include "tests/support/virtual_desktop.h"

namespace gs::test {

const DesktopOptions& StageDesktop();
// Loads the main window design with no handlers and the canvas over the screen.
void LoadPlainMainWindow();

}  // namespace gs::test
