// Small Xlib queries for the test desktop. They never end the test process:
// protocol errors are trapped, and a lost connection marks the display dead
// instead of exiting.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gs::test {

// A connection to `name` (nullptr: $DISPLAY) with the trap installed; closed
// on destruction. `get()` is nullptr when the server cannot be reached.
class XConnection {
 public:
  explicit XConnection(const char* name);
  ~XConnection();
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;
  Display* get() const { return display_; }

 private:
  Display* display_ = nullptr;
};

// While it lives, protocol errors and a lost connection are counted instead
// of handled by Xlib's defaults (which exit). The handlers are process-wide:
// keep traps short and on one thread.
class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;
  // Syncs with the server and reports whether any error arrived meanwhile.
  bool Failed();

 private:
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*);
  int (*previous_io_)(Display*);
};

// A 32-bit property of a window (format 32) as longs; empty when absent.
std::vector<long> ReadCardinals(Display* display, Window window, const char* property);

// Whether the window has the property at all (it may hold no values).
bool HasProperty(Display* display, Window window, const char* property);

// Pixels of the root window as 0x00RRGGBB, row by row; empty on failure
// (including a rectangle outside the screen).
std::vector<uint32_t> ReadRootPixels(Display* display, int x, int y, int width, int height);

// Writes 0x00RRGGBB pixels as an RGB PNG.
bool WritePng(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height);

}  // namespace gs::test
