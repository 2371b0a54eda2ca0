#include "stage/screen_watch.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "stage/framework.h"
#include "stage/x_connection.h"

namespace gs {
namespace {
std::atomic<int32_t> g_width{0};
std::atomic<int32_t> g_height{0};
bool g_randr = false;
int g_randr_event_base = 0;

std::vector<Rect> ReadMonitors(int* primary_index) {
  std::vector<Rect> monitors;
  *primary_index = 0;
  Display* display = x::Dpy();
  if (g_randr) {
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display, x::Root(), True, &count);
    for (int i = 0; i < count; ++i) {
      monitors.push_back({info[i].x, info[i].y, info[i].width, info[i].height});
      if (info[i].primary) *primary_index = i;
    }
    if (info) XRRFreeMonitors(info);
  }
  if (monitors.empty()) {
    // Without RandR the screen is one monitor; ask the server for its current size.
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, x::Root(), &attributes);
    monitors.push_back({0, 0, attributes.width, attributes.height});
  }
  return monitors;
}

Rect ReadPrimary() {
  int primary = 0;
  std::vector<Rect> monitors = ReadMonitors(&primary);
  Rect r = monitors[static_cast<size_t>(primary)];
  g_width.store(r.width);
  g_height.store(r.height);
  return r;
}
}  // namespace

void StartScreenWatch() {
  Display* display = x::Dpy();
  int error_base = 0, major = 0, minor = 0;
  g_randr = XRRQueryExtension(display, &g_randr_event_base, &error_base) &&
            XRRQueryVersion(display, &major, &minor) && (major > 1 || minor >= 5);
  if (g_randr) {
    XRRSelectInput(display, x::Root(),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  }
  XSelectInput(display, x::Root(), StructureNotifyMask);
  ReadPrimary();
}

bool HandleScreenEvent(const XEvent& event) {
  if (event.xany.window != x::Root() && !(g_randr && event.type >= g_randr_event_base &&
                                          event.type < g_randr_event_base + RRNumberEvents))
    return false;
  if (g_randr) XRRUpdateConfiguration(const_cast<XEvent*>(&event));
  if (event.type == ConfigureNotify || event.type == PropertyNotify ||
      (g_randr && event.type >= g_randr_event_base))
    ReadPrimary();
  return true;
}

Rect PrimaryMonitor() {
  return ReadPrimary();
}

Rect MonitorOf(const Rect& rect) {
  int primary = 0;
  std::vector<Rect> monitors = ReadMonitors(&primary);
  auto overlap = [&](const Rect& m) {
    int64_t w = std::min<int64_t>(rect.x + rect.width, m.x + m.width) - std::max(rect.x, m.x);
    int64_t h = std::min<int64_t>(rect.y + rect.height, m.y + m.height) - std::max(rect.y, m.y);
    return w > 0 && h > 0 ? w * h : 0;
  };
  size_t best = static_cast<size_t>(primary);
  int64_t best_area = overlap(monitors[best]);
  for (size_t i = 0; i < monitors.size(); ++i) {
    if (overlap(monitors[i]) > best_area) {
      best = i;
      best_area = overlap(monitors[i]);
    }
  }
  return monitors[best];
}

int32_t PrimaryWidth() {
  if (IsMainThread() && x::IsOpen()) return ReadPrimary().width;
  return g_width.load();
}

int32_t PrimaryHeight() {
  if (IsMainThread() && x::IsOpen()) return ReadPrimary().height;
  return g_height.load();
}

}  // namespace gs
