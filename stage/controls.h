// Live controls of the loaded window, as the window framework keeps them.
// Main-thread state is plain; what workers may read is atomic.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/picture.h"
#include "stage/window_description.h"

namespace gs {

struct CanvasState;
struct LabelState;
struct ButtonState;

struct TimerState {
  int32_t period = 0;       // ms, never negative; 0 = stopped
  bool armed = false;       // a system timer is running
  int64_t next_due_us = 0;  // when the next tick falls due
  bool tick_pending = false;
};

struct Control {
  explicit Control(const ControlDesign& design);
  ~Control();

  ControlDesign design;  // the description (geometry fields mirrored in the atomics below)
  const int32_t id;
  const ControlKind kind;

  // Geometry of the description; written by any thread, read by any thread.
  std::atomic<int32_t> d_left, d_top, d_width, d_height;
  std::atomic<bool> d_visible;

  // The live control's rectangle as the main thread last set it
  // (relative to the parent's client area; for the window, on the screen).
  std::atomic<bool> live{false};
  std::atomic<int32_t> x{0}, y{0}, w{0}, h{0};
  bool mapped = false;  // main thread only

  Window xwin = 0;  // none for timers
  std::unique_ptr<TimerState> timer;
  std::unique_ptr<LabelState> label;
  std::unique_ptr<ButtonState> button;
  std::unique_ptr<CanvasState> canvas;
};

// Lookup by control id; safe from any thread. Null when there is no such control.
Control* FindControl(int32_t control_id);

// The loaded window's record; null when no window is loaded.
struct WindowRecord {
  Control* self = nullptr;
  std::vector<Control*> controls;               // description order (copies inserted before source)
  std::vector<ControlDesign> snapshot;          // load-time copy, never changed
  std::vector<std::unique_ptr<Control>> owned;  // storage
};
WindowRecord* LoadedWindow(int32_t window_id);

// Registers a control under its id. False when the id table is full.
bool RegisterControl(Control* control);
void UnregisterAllControls();

// Next id for a run-time copy; never reused.
int32_t NextCopyId();

}  // namespace gs
