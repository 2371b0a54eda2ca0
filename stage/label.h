// The label control: a filled strip with one line of text.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "stage/controls.h"

namespace gs {

struct LabelState {
  std::string caption;
  uint32_t back_colour = 0;
  uint32_t text_colour = 0;
};

bool CreateLabel(Control* control, Window parent);
void ReleaseLabel(Control* control);
void LabelPaint(Control* control);
// Caption or colour changed: the label repaints from the event loop.
void LabelChanged(Control* control);

}  // namespace gs
