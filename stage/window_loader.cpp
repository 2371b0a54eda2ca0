// Builds the main window from its design, delivers its created event, shows it
// at its start position, and handles the window's own events.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <memory>

#include "core/clock.h"
#include "core/exit.h"
#include "core/timing.h"
#include "stage/button_internal.h"
#include "stage/canvas_internal.h"
#include "stage/label.h"
#include "stage/screen_watch.h"
#include "stage/window_internal.h"
#include "stage/x_connection.h"

namespace gs {
namespace {
std::unique_ptr<WindowRecord> g_window;
HandlerTable g_handlers;

void SetTopLevelHints(Window window, const WindowDesign& design) {
  Display* display = x::Dpy();
  // No frame, no title bar.
  long motif[5] = {2, 0, 0, 0, 0};
  XChangeProperty(display, window, x::GetAtom("_MOTIF_WM_HINTS"), x::GetAtom("_MOTIF_WM_HINTS"), 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(motif), 5);
  std::vector<Atom> states;
  if (design.always_on_top) states.push_back(x::GetAtom("_NET_WM_STATE_ABOVE"));
  if (!design.show_in_taskbar) {
    states.push_back(x::GetAtom("_NET_WM_STATE_SKIP_TASKBAR"));
    states.push_back(x::GetAtom("_NET_WM_STATE_SKIP_PAGER"));
  }
  XChangeProperty(display, window, x::GetAtom("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(states.data()), static_cast<int>(states.size()));
  Atom type = x::GetAtom("_NET_WM_WINDOW_TYPE_NORMAL");
  XChangeProperty(display, window, x::GetAtom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  Atom protocols[] = {x::GetAtom("WM_DELETE_WINDOW")};
  XSetWMProtocols(display, window, protocols, 1);
  XClassHint class_hint{const_cast<char*>("greeting-show"), const_cast<char*>("GreetingShow")};
  XSetClassHint(display, window, &class_hint);
  XWMHints wm_hints{};
  wm_hints.flags = InputHint | StateHint;
  wm_hints.input = True;
  wm_hints.initial_state = NormalState;
  XSetWMHints(display, window, &wm_hints);
  const std::string& caption = design.window.caption;
  XChangeProperty(display, window, x::GetAtom("_NET_WM_NAME"), x::GetAtom("UTF8_STRING"), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(caption.data()),
                  static_cast<int>(caption.size()));
}

void SetPositionHints(Control* control) {
  XSizeHints hints{};
  hints.flags = USPosition | USSize | PPosition | PSize;
  hints.x = control->x.load();
  hints.y = control->y.load();
  hints.width = std::max(1, control->w.load());
  hints.height = std::max(1, control->h.load());
  XSetWMNormalHints(x::Dpy(), control->xwin, &hints);
}

// Asks the window manager to make the window active and takes the focus, so
// the Esc key reaches it (a window kept off the task bar is not focused otherwise).
void Activate(Control* control) {
  Display* display = x::Dpy();
  if (x::WindowManagerRunning()) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = control->xwin;
    event.xclient.message_type = x::GetAtom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager-like source: honoured without focus stealing rules
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, x::Root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
  }
  x::ErrorTrap trap;
  XSetInputFocus(display, control->xwin, RevertToParent, CurrentTime);
  trap.failed();
}

// Waits (without handling anything else) until the window has been mapped and
// exposed, so that what is drawn next is not lost.
void WaitUntilMapped(Control* control) {
  Display* display = x::Dpy();
  XFlush(display);
  int64_t give_up = MonotonicMs() + 3000;
  bool mapped = false;
  while (MonotonicMs() < give_up) {
    XEvent event;
    if (XCheckTypedWindowEvent(display, control->xwin, MapNotify, &event)) mapped = true;
    if (mapped) {
      XWindowAttributes attributes{};
      XGetWindowAttributes(display, control->xwin, &attributes);
      if (attributes.map_state == IsViewable) break;
    }
    XFlush(display);
    struct timespec pause_ts {
      0, 2000000
    };
    nanosleep(&pause_ts, nullptr);
  }
  XSync(display, False);
}

void PlaceOverWorkArea(Control* control) {
  Display* display = x::Dpy();
  Rect monitor =
      MonitorOf({control->x.load(), control->y.load(), control->w.load(), control->h.load()});
  Rect area = monitor;
  if (x::WindowManagerRunning()) {
    std::vector<long> desktop = x::ReadCardinals(x::Root(), "_NET_CURRENT_DESKTOP");
    std::vector<long> work = x::ReadCardinals(x::Root(), "_NET_WORKAREA");
    size_t index = desktop.empty() ? 0 : static_cast<size_t>(desktop[0]) * 4;
    if (work.size() >= index + 4) {
      long left = std::max<long>(monitor.x, work[index]);
      long top = std::max<long>(monitor.y, work[index + 1]);
      long right = std::min<long>(monitor.x + monitor.width, work[index] + work[index + 2]);
      long bottom = std::min<long>(monitor.y + monitor.height, work[index + 1] + work[index + 3]);
      if (right > left && bottom > top) {
        area = {static_cast<int32_t>(left), static_cast<int32_t>(top),
                static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top)};
      }
    }
  }
  SetLiveGeometry(control, area.x, area.y, area.width, area.height);
  (void)display;
}

void ShowAtStartPosition(Control* control, const WindowDesign& design) {
  if (!design.start_maximised) {
    SetLiveVisible(control, true);
    return;
  }
  bool was_mapped = control->mapped;
  PlaceOverWorkArea(control);
  if (!was_mapped) SetLiveVisible(control, true);
  Activate(control);
}

void CloseOnEsc(const XKeyEvent& key) {
  KeySym sym = XLookupKeysym(const_cast<XKeyEvent*>(&key), 0);
  unsigned modifiers = key.state & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
  if (sym == XK_Escape && modifiers == 0) internal::CloseMainWindow();
}

}  // namespace

const HandlerTable& WindowHandlers() {
  return g_handlers;
}

WindowRecord* LoadedWindow(int32_t window_id) {
  if (window_id != kMainWindowId) return nullptr;
  return g_window.get();
}

void LoadWindow(const WindowDesign& design, const HandlerTable& handlers) {
  const std::vector<std::string> where = {"窗口: " + design.window.name};
  if (!FrameworkReady() && !FrameworkInit()) {
    RuntimeErrorStop(0, "载入启动窗口失败", where);
  }
  g_handlers = handlers;
  auto record = std::make_unique<WindowRecord>();
  record->snapshot = design.controls;
  auto self = std::make_unique<Control>(design.window);
  record->self = self.get();
  Display* display = x::Dpy();

  // 1. The window, hidden, at its design place and size.
  XSetWindowAttributes attributes{};
  attributes.background_pixel = x::PixelForColourValue(design.window.back_colour);
  attributes.event_mask =
      KeyPressMask | StructureNotifyMask | FocusChangeMask | ExposureMask | PropertyChangeMask;
  attributes.bit_gravity = NorthWestGravity;
  attributes.backing_store = NotUseful;
  Window top = XCreateWindow(
      display, x::Root(), design.window.left, design.window.top,
      static_cast<unsigned>(std::max(1, design.window.width)),
      static_cast<unsigned>(std::max(1, design.window.height)), 0, CopyFromParent, InputOutput,
      CopyFromParent, CWBackPixel | CWEventMask | CWBitGravity | CWBackingStore, &attributes);
  if (!top) RuntimeErrorStop(0, "载入启动窗口失败", where);
  self->xwin = top;
  self->x = design.window.left;
  self->y = design.window.top;
  self->w = design.window.width;
  self->h = design.window.height;
  SetTopLevelHints(top, design);
  SetPositionHints(self.get());
  self->live = true;
  RegisterControl(self.get());

  // 2. The controls, from the last to the first, hidden.
  std::vector<Control*> ordered(design.controls.size(), nullptr);
  for (size_t i = design.controls.size(); i-- > 0;) {
    auto control = std::make_unique<Control>(design.controls[i]);
    if (!CreateLiveControl(control.get(), top)) RuntimeErrorStop(0, "载入启动窗口失败", where);
    RegisterControl(control.get());
    ordered[i] = control.get();
    record->owned.push_back(std::move(control));
  }
  record->controls = ordered;
  record->owned.push_back(std::move(self));

  // 3. Stacking: the first in the description on top, each next one directly below.
  std::vector<Window> stack;
  for (Control* control : ordered)
    if (control->xwin) stack.push_back(control->xwin);
  if (!stack.empty()) XRestackWindows(display, stack.data(), static_cast<int>(stack.size()));

  // 4. Show the controls that are visible by design.
  for (Control* control : ordered)
    if (control->design.visible) SetLiveVisible(control, true);
  XFlush(display);
  g_window = std::move(record);

  // 5. The created event runs the whole opening show.
  if (g_handlers.created && !EventDeliveryStopped()) g_handlers.created();

  // 6. The two further notifications have no handler. Then the start position.
  WindowRecord* window = g_window.get();
  if (window && window->self->design.visible && !EventDeliveryStopped())
    ShowAtStartPosition(window->self, design);
}

void SetLiveVisible(Control* control, bool visible) {
  if (!control->xwin || control->kind == ControlKind::kTimer) return;
  Display* display = x::Dpy();
  if (visible == control->mapped) return;
  control->mapped = visible;
  if (control->kind == ControlKind::kWindow) {
    if (visible) {
      // The canvas paints its background at the first show.
      for (Control* child : g_window ? g_window->controls : std::vector<Control*>{})
        if (child->kind == ControlKind::kCanvas) CanvasPrepareBackground(child);
      SetPositionHints(control);
      XMapRaised(display, control->xwin);
      WaitUntilMapped(control);
      Activate(control);
    } else {
      XUnmapWindow(display, control->xwin);
      XFlush(display);
    }
    return;
  }
  if (visible) {
    if (control->kind == ControlKind::kCanvas) CanvasPrepareBackground(control);
    XMapWindow(display, control->xwin);
  } else {
    XUnmapWindow(display, control->xwin);
  }
  XFlush(display);
}

void SetLiveGeometry(Control* control, int32_t x, int32_t y, int32_t w, int32_t h) {
  control->x = x;
  control->y = y;
  control->w = w;
  control->h = h;
  if (!control->xwin) return;
  Display* display = x::Dpy();
  unsigned width = static_cast<unsigned>(std::max(1, w));
  unsigned height = static_cast<unsigned>(std::max(1, h));
  if (control->kind == ControlKind::kWindow) SetPositionHints(control);
  XMoveResizeWindow(display, control->xwin, x, y, width, height);
  if (control->kind == ControlKind::kCanvas) CanvasResized(control);
  XFlush(display);
}

void HandleWindowEvent(XEvent& event) {
  WindowRecord* window = g_window.get();
  if (!window) return;
  Control* self = window->self;
  if (event.xany.window == self->xwin) {
    switch (event.type) {
      case KeyPress:
        CloseOnEsc(event.xkey);
        return;
      case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == x::GetAtom("WM_DELETE_WINDOW"))
          internal::CloseMainWindow();
        return;
      case MapNotify:
        Activate(self);
        return;
      default:
        return;
    }
  }
  if (event.type == KeyPress) {  // from a child that has the focus
    CloseOnEsc(event.xkey);
    return;
  }
  if (event.type == Expose) {
    for (Control* control : window->controls) {
      if (control->xwin != event.xexpose.window) continue;
      if (control->kind == ControlKind::kCanvas) {
        CanvasOnExpose(control, event.xexpose.x, event.xexpose.y, event.xexpose.width,
                       event.xexpose.height);
      } else if (control->kind == ControlKind::kLabel && event.xexpose.count == 0) {
        LabelPaint(control);
      }
      return;
    }
  }
}

void ReleaseWindows() {
  if (!g_window) return;
  if (x::IsOpen()) {
    for (Control* control : g_window->controls) DestroyLiveControl(control);
    DestroyLiveControl(g_window->self);
    XSync(x::Dpy(), False);
  }
  UnregisterAllControls();
  g_window.reset();
}

namespace internal {
void CloseMainWindow() {
  if (!g_window) return;
  // The workers move controls of this window: they stop before it goes.
  StopAndJoinWorkers();
  ReleaseWindows();
  // No window is left: the loop ends with a quit request.
  RequestQuit();
}
}  // namespace internal

bool CreateLiveControl(Control* control, Window parent) {
  control->x = control->design.left;
  control->y = control->design.top;
  control->w = control->design.width;
  control->h = control->design.height;
  switch (control->kind) {
    case ControlKind::kTimer:
      control->timer = std::make_unique<TimerState>();
      control->timer->period = 0;
      control->live = true;
      return true;
    case ControlKind::kLabel:
      if (!CreateLabel(control, parent)) return false;
      break;
    case ControlKind::kPictureButton:
      if (!CreatePictureButton(control, parent)) return false;
      break;
    case ControlKind::kCanvas:
      if (!CreateCanvas(control, parent)) return false;
      break;
    case ControlKind::kWindow:
      return false;
  }
  control->live = true;
  return true;
}

void DestroyLiveControl(Control* control) {
  control->live = false;
  if (control->kind == ControlKind::kCanvas) ReleaseCanvas(control);
  if (control->kind == ControlKind::kPictureButton) ReleasePictureButton(control);
  if (control->kind == ControlKind::kLabel) ReleaseLabel(control);
  if (control->xwin && x::IsOpen()) XDestroyWindow(x::Dpy(), control->xwin);
  control->xwin = 0;
}

}  // namespace gs
