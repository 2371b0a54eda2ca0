#include "stage/x_connection.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <unordered_map>
#include <vector>

namespace gs::x {
namespace {
Display* g_display = nullptr;
std::unordered_map<std::string, Atom> g_atoms;
std::atomic<int> g_trapped_errors{0};
int g_trap_depth = 0;

int IgnoreErrors(Display*, XErrorEvent*) {
  g_trapped_errors.fetch_add(1);
  return 0;
}

int DefaultErrorHandler(Display* display, XErrorEvent* event) {
  // Protocol errors are not fatal for a show: log nothing, carry on.
  g_trapped_errors.fetch_add(1);
  return 0;
}

int IoErrorHandler(Display*) {
  static const char kMessage[] =
      "greeting-show: the connection to the X display was lost; ending.\n";
  ssize_t ignored = write(2, kMessage, sizeof(kMessage) - 1);
  (void)ignored;
  _exit(1);
}

unsigned long Scale(uint32_t value8, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  unsigned long max = mask >> shift;
  return ((value8 * max + 127) / 255) << shift;
}
}  // namespace

bool Open() {
  if (g_display) return true;
  XInitThreads();
  g_display = XOpenDisplay(nullptr);
  if (!g_display) return false;
  XSetErrorHandler(DefaultErrorHandler);
  XSetIOErrorHandler(IoErrorHandler);
  return true;
}

bool IsOpen() {
  return g_display != nullptr;
}

void Close() {
  if (!g_display) return;
  XCloseDisplay(g_display);
  g_display = nullptr;
  g_atoms.clear();
}

Display* Dpy() {
  return g_display;
}
int ScreenNumber() {
  return DefaultScreen(g_display);
}
Window Root() {
  return RootWindow(g_display, ScreenNumber());
}
Visual* DefaultVisualPtr() {
  return DefaultVisual(g_display, ScreenNumber());
}
int Depth() {
  return DefaultDepth(g_display, ScreenNumber());
}
Colormap DefaultColormapId() {
  return DefaultColormap(g_display, ScreenNumber());
}

Atom GetAtom(const char* name) {
  auto it = g_atoms.find(name);
  if (it != g_atoms.end()) return it->second;
  Atom atom = XInternAtom(g_display, name, False);
  g_atoms.emplace(name, atom);
  return atom;
}

uint32_t FaceColourRgb() {
  return 0x00EFEBE7;
}

uint32_t RgbForColourValue(uint32_t colour_value) {
  if (colour_value == 0xFF000000u) return FaceColourRgb();
  uint32_t r = colour_value & 0xFF, g = (colour_value >> 8) & 0xFF, b = (colour_value >> 16) & 0xFF;
  return (r << 16) | (g << 8) | b;
}

unsigned long PixelForRgb(uint32_t rgb) {
  Visual* visual = DefaultVisualPtr();
  uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  if (visual->c_class == TrueColor || visual->c_class == DirectColor) {
    return Scale(r, visual->red_mask) | Scale(g, visual->green_mask) | Scale(b, visual->blue_mask);
  }
  XColor colour{};
  colour.red = static_cast<unsigned short>(r * 257);
  colour.green = static_cast<unsigned short>(g * 257);
  colour.blue = static_cast<unsigned short>(b * 257);
  colour.flags = DoRed | DoGreen | DoBlue;
  if (XAllocColor(g_display, DefaultColormapId(), &colour)) return colour.pixel;
  return (r + g + b) / 3 > 127 ? WhitePixel(g_display, ScreenNumber())
                               : BlackPixel(g_display, ScreenNumber());
}

unsigned long PixelForColourValue(uint32_t colour_value) {
  return PixelForRgb(RgbForColourValue(colour_value));
}

std::vector<long> ReadCardinals(Window window, const char* property) {
  std::vector<long> values;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(g_display, window, GetAtom(property), 0, 1024, False, AnyPropertyType,
                         &type, &format, &count, &after, &data) == Success &&
      data) {
    if (format == 32) {
      const long* longs = reinterpret_cast<const long*>(data);
      values.assign(longs, longs + count);
    }
    XFree(data);
  }
  return values;
}

bool WindowManagerRunning() {
  std::vector<long> check = ReadCardinals(Root(), "_NET_SUPPORTING_WM_CHECK");
  if (check.empty() || check[0] == 0) return false;
  // The check window must exist and point to itself.
  ErrorTrap trap;
  std::vector<long> self = ReadCardinals(static_cast<Window>(check[0]), "_NET_SUPPORTING_WM_CHECK");
  bool ok = !trap.failed() && !self.empty() && self[0] == check[0];
  return ok;
}

ErrorTrap::ErrorTrap() {
  XSync(g_display, False);
  g_trapped_errors.store(0);
  previous_ = XSetErrorHandler(IgnoreErrors);
  ++g_trap_depth;
}

ErrorTrap::~ErrorTrap() {
  XSync(g_display, False);
  --g_trap_depth;
  XSetErrorHandler(previous_);
}

bool ErrorTrap::failed() {
  XSync(g_display, False);
  return g_trapped_errors.load() != 0;
}

}  // namespace gs::x
