// A loaded main window on a private desktop, for tests that call the show's
// routines directly. The screen size comes from the command line
// (--screen=WxH); the window is loaded once per process with no handlers.
#pragma once

#include <optional>
#include <vector>

#include "stage/canvas.h"

namespace gs::test {

struct ScreenSize {
  int width = 1920;
  int height = 1080;
};
ScreenSize TestScreen();

// Draw calls recorded while a DrawRecorder lives.
class DrawRecorder {
 public:
  DrawRecorder();
  ~DrawRecorder();
  const std::vector<DrawCall>& calls() const;
};

}  // namespace gs::test
