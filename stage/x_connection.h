// The program's one connection to the X server, used by the main thread only.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gs::x {

// Opens the display (once). False when no display is reachable.
bool Open();
bool IsOpen();
void Close();

Display* Dpy();
int ScreenNumber();
Window Root();
Visual* DefaultVisualPtr();
int Depth();
Colormap DefaultColormapId();

Atom GetAtom(const char* name);

// The pixel value for a colour value 0x00BBGGRR (or 0xFF000000 = face colour).
unsigned long PixelForColourValue(uint32_t colour_value);
// The pixel value for 0x00RRGGBB.
unsigned long PixelForRgb(uint32_t rgb);
// 0x00RRGGBB of the system face colour.
uint32_t FaceColourRgb();
// 0x00RRGGBB for a colour value (resolving the face colour).
uint32_t RgbForColourValue(uint32_t colour_value);

// Whether a window manager that follows the desktop hints is running.
bool WindowManagerRunning();

// Reads a CARDINAL array property of a window; empty when absent.
std::vector<long> ReadCardinals(Window window, const char* property);

// Ignores non-fatal protocol errors in a scope (X requests may race with the
// window manager); counts them.
class ErrorTrap {
 public:
  ErrorTrap();
  ~ErrorTrap();
  bool failed();  // syncs and tells whether an error arrived

 private:
  int (*previous_)(Display*, XErrorEvent*);
};

}  // namespace gs::x
