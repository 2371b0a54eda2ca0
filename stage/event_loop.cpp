// The main thread's event loop: X events, repaints the canvas and labels owe,
// requests from other threads, and timer ticks, in that order of rank.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "core/clock.h"
#include "core/exit.h"
#include "core/timing.h"
#include "stage/canvas_internal.h"
#include "stage/controls.h"
#include "stage/error_box.h"
#include "stage/framework.h"
#include "stage/label.h"
#include "stage/screen_watch.h"
#include "stage/window_internal.h"
#include "stage/x_connection.h"

namespace gs {
namespace {

std::thread::id g_main_thread;
std::atomic<bool> g_ready{false};
std::atomic<bool> g_delivery_stopped{false};
std::atomic<bool> g_loop_running{false};
bool g_quit = false;
int g_wake_fd = -1;

struct Request {
  std::function<void()> fn;
  bool done = false;
  bool refused = false;
};
std::mutex g_channel_mutex;
std::condition_variable g_channel_done;
std::deque<Request*> g_requests;
bool g_channel_closed = false;

std::vector<int32_t> g_repaints;  // control ids owing a repaint, main thread only

void Wake() {
  if (g_wake_fd < 0) return;
  uint64_t one = 1;
  ssize_t ignored = write(g_wake_fd, &one, sizeof one);
  (void)ignored;
}

void DrainWake() {
  uint64_t value = 0;
  ssize_t ignored = read(g_wake_fd, &value, sizeof value);
  (void)ignored;
}

// Serves every queued request; returns whether any was served.
bool ServeRequests() {
  bool served = false;
  for (;;) {
    Request* request = nullptr;
    {
      std::lock_guard<std::mutex> lock(g_channel_mutex);
      if (g_requests.empty()) break;
      request = g_requests.front();
      g_requests.pop_front();
    }
    if (!g_delivery_stopped.load()) request->fn();
    {
      std::lock_guard<std::mutex> lock(g_channel_mutex);
      request->done = true;
      if (g_delivery_stopped.load()) request->refused = true;
    }
    g_channel_done.notify_all();
    served = true;
  }
  return served;
}

void CarryOutRepaints() {
  while (!g_repaints.empty() && !g_delivery_stopped.load()) {
    int32_t id = g_repaints.front();
    g_repaints.erase(g_repaints.begin());
    Control* control = FindControl(id);
    if (!control || !control->live.load()) continue;
    if (control->kind == ControlKind::kCanvas) CanvasRepaintAll(control);
    if (control->kind == ControlKind::kLabel) LabelPaint(control);
  }
}

void Dispatch(XEvent& event) {
  if (HandleScreenEvent(event)) return;
  if (g_delivery_stopped.load()) return;
  HandleWindowEvent(event);
}

// Delivers at most one due tick; returns whether one was delivered.
bool DeliverOneTick() {
  WindowRecord* window = LoadedWindow(kMainWindowId);
  if (!window) return false;
  int64_t now = MonotonicUs();
  for (Control* control : window->controls) {
    if (control->kind != ControlKind::kTimer || !control->timer) continue;
    TimerState& timer = *control->timer;
    if (!timer.armed || now < timer.next_due_us) continue;
    // One tick for however many periods have passed; the rhythm continues from the due time.
    int64_t period_us = std::max<int64_t>(ScaledUs(timer.period), 1);
    int64_t missed = (now - timer.next_due_us) / period_us + 1;
    timer.next_due_us += missed * period_us;
    EventHandler handler = WindowHandlers().Get(control->design.handler);
    if (handler && !g_delivery_stopped.load()) handler();
    return true;
  }
  return false;
}

int64_t NextTickDueUs() {
  WindowRecord* window = LoadedWindow(kMainWindowId);
  int64_t next = INT64_MAX;
  if (!window) return next;
  for (Control* control : window->controls) {
    if (control->kind == ControlKind::kTimer && control->timer && control->timer->armed)
      next = std::min(next, control->timer->next_due_us);
  }
  return next;
}

void WaitForActivity(int64_t timeout_us) {
  Display* display = x::Dpy();
  XFlush(display);
  if (XPending(display)) return;
  pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {g_wake_fd, POLLIN, 0}};
  int timeout_ms = -1;
  if (timeout_us != INT64_MAX) {
    int64_t ms = (std::max<int64_t>(timeout_us, 0) + 999) / 1000;
    timeout_ms = static_cast<int>(std::min<int64_t>(ms, 60000));
  }
  int ready = poll(fds, 2, timeout_ms);
  if (ready > 0 && (fds[1].revents & POLLIN)) DrainWake();
}

}  // namespace

EventHandler HandlerTable::Get(HandlerId id) const {
  switch (id) {
    case HandlerId::kCreated:
      return created;
    case HandlerId::kOverlayTimerTick:
      return overlay_timer_tick;
    case HandlerId::kBurstTimerTick:
      return burst_timer_tick;
    default:
      return nullptr;
  }
}

bool FrameworkInit() {
  if (g_ready.load()) return true;
  if (!x::Open()) return false;
  g_main_thread = std::this_thread::get_id();
  g_wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  StartScreenWatch();
  g_ready.store(true);
  return true;
}

bool FrameworkReady() {
  return g_ready.load();
}

bool IsMainThread() {
  return !g_ready.load() || std::this_thread::get_id() == g_main_thread;
}

void StopEventDelivery() {
  g_delivery_stopped.store(true);
  Wake();
}

bool EventDeliveryStopped() {
  return g_delivery_stopped.load();
}

bool EventLoopRunning() {
  return g_loop_running.load();
}

void RequestQuit() {
  g_quit = true;
}

void RequestRepaint(int32_t control_id) {
  if (std::find(g_repaints.begin(), g_repaints.end(), control_id) == g_repaints.end())
    g_repaints.push_back(control_id);
}

void RunEventLoop() {
  g_loop_running.store(true);
  if (!LoadedWindow(kMainWindowId) || !x::IsOpen()) return;
  Display* display = x::Dpy();
  g_quit = false;
  while (!g_quit && !g_delivery_stopped.load()) {
    CarryOutRepaints();
    bool busy = false;
    while (XPending(display) && !g_quit && !g_delivery_stopped.load()) {
      XEvent event;
      XNextEvent(display, &event);
      Dispatch(event);
      busy = true;
      CarryOutRepaints();
    }
    if (g_quit || g_delivery_stopped.load()) break;
    if (ServeRequests()) busy = true;
    if (busy) continue;
    if (!g_repaints.empty()) continue;
    if (DeliverOneTick()) continue;
    int64_t due = NextTickDueUs();
    WaitForActivity(due == INT64_MAX ? INT64_MAX : due - MonotonicUs());
  }
  g_loop_running.store(false);
}

void ProcessEvents() {
  if (!IsMainThread() || !x::IsOpen()) return;  // a worker owns no window
  Display* display = x::Dpy();
  CarryOutRepaints();
  while (XPending(display) && !g_delivery_stopped.load() && !g_quit) {
    XEvent event;
    XNextEvent(display, &event);
    Dispatch(event);
    CarryOutRepaints();
  }
}

void RefreshWindow(ControlRef control) {
  RunOnMainThread([control] {
    // The window itself is covered by its canvas; only its own pending
    // exposures would need paint, and the server paints its background.
    Control* c = FindControl(control.control_id);
    if (c && c->xwin && x::IsOpen()) {
      XEvent event;
      while (XCheckTypedWindowEvent(x::Dpy(), c->xwin, Expose, &event)) {
      }
    }
  });
}

bool RunOnMainThread(const std::function<void()>& fn) {
  if (IsMainThread()) {
    if (g_delivery_stopped.load()) return false;
    fn();
    return true;
  }
  Request request;
  request.fn = fn;
  std::unique_lock<std::mutex> lock(g_channel_mutex);
  if (g_channel_closed) return false;
  g_requests.push_back(&request);
  lock.unlock();
  Wake();
  lock.lock();
  g_channel_done.wait(lock, [&] { return request.done; });
  return !request.refused;
}

void CloseMainThreadChannel() {
  std::lock_guard<std::mutex> lock(g_channel_mutex);
  g_channel_closed = true;
  for (Request* request : g_requests) {
    request->done = true;
    request->refused = true;
  }
  g_requests.clear();
  g_channel_done.notify_all();
}

void WriteTimerPeriod(ControlRef ref, int32_t value) {
  Control* control = FindControl(ref.control_id);
  if (!control || !control->timer) return;
  TimerState& timer = *control->timer;
  int32_t v = std::max(value, 0);
  control->design.timer_period = v;
  if (v == timer.period) return;
  timer.period = v;
  timer.armed = false;
  if (v > 0) {
    timer.armed = true;
    timer.next_due_us = MonotonicUs() + ScaledUs(v);
  }
  Wake();
}

void ShowErrorBoxFromWorker(const std::string& text) {
  MarkThreadAsStopped();
  RunOnMainThread([text] {
    StopEventDelivery();
    ShowErrorBox("错误", text);
    internal::DiscardExitHooks();
    EndProgram(-1);
  });
  for (;;) pause();
}

void ReleaseFramework() {
  x::Close();
  g_ready.store(false);
}

}  // namespace gs
