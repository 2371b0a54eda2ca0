// Canvas state and the hooks the window framework calls.
#pragma once

#include <X11/Xlib.h>

#include <memory>

#include "media/byte_block.h"
#include "media/picture.h"
#include "stage/controls.h"

namespace gs {

struct CanvasState {
  OwnedByteBlock bytes;              // the background picture's bytes, or none
  std::unique_ptr<Picture> decoded;  // made from the bytes when first needed
  Pixmap picture_pixmap = 0;         // the decoded background at its own size
  int32_t picture_width = 0, picture_height = 0;
  bool prepared = false;  // window background matches the current picture
  int32_t display_mode = 1;
  uint32_t back_colour = 0;
  uint32_t text_colour = 0;
  int32_t text_x = 0, text_y = 0;
  GC gc = nullptr;
};

bool CreateCanvas(Control* control, Window parent);
void ReleaseCanvas(Control* control);

// Decodes the background if needed and makes it the window's background, so
// the server paints it into every exposed area.
void CanvasPrepareBackground(Control* control);
void CanvasRepaintAll(Control* control);
void CanvasOnExpose(Control* control, int x, int y, int width, int height);
void CanvasResized(Control* control);

// Settings.
void CanvasSetBackgroundBytes(Control* control, const ByteBlock* bytes);
void CanvasSetTextColour(Control* control, uint32_t colour);
// Design settings the show never changes (for tests): display mode 0, 1 or 2
// and the background colour value. Shown at the next repaint or clear.
void CanvasSetDisplayMode(Control* control, int32_t mode);
void CanvasSetBackColour(Control* control, uint32_t colour);

// Resolves a canvas reference or stops the program.
Control* ResolveCanvas(ControlRef canvas);

}  // namespace gs
