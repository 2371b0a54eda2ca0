// Monitor geometry: the primary monitor's size, read afresh on the main
// thread and published for other threads, and the monitor a point lies on.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace gs {

struct Rect {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

void StartScreenWatch();
// Handles RandR and root configure events; true when the event was one.
bool HandleScreenEvent(const XEvent& event);

// The primary monitor (the first one when none is marked primary).
Rect PrimaryMonitor();
// The monitor a rectangle is on: the one it overlaps most, the primary one
// among equals (and when it overlaps none).
Rect MonitorOf(const Rect& rect);

int32_t PrimaryWidth();
int32_t PrimaryHeight();

}  // namespace gs
