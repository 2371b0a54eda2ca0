// Internals shared by the window loader, the controls and the event loop.
#pragma once

#include <X11/Xlib.h>

#include "stage/controls.h"
#include "stage/framework.h"

namespace gs {

const HandlerTable& WindowHandlers();
void HandleWindowEvent(XEvent& event);
void RequestQuit();

// Creates the live control for a description (hidden), as a child of the window.
bool CreateLiveControl(Control* control, Window parent);
void DestroyLiveControl(Control* control);

// Shows or hides a live control or the window.
void SetLiveVisible(Control* control, bool visible);
// Moves and sizes a live control (or the window) in one step, publishing the rectangle.
void SetLiveGeometry(Control* control, int32_t x, int32_t y, int32_t w, int32_t h);

}  // namespace gs
