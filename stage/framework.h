// The window framework: set-up, the main thread's event loop, timers, and
// the channel through which other threads have the main thread act for them.
#pragma once

#include <functional>
#include <string>

#include "stage/control_ref.h"
#include "stage/window_description.h"

namespace gs {

using EventHandler = void (*)();

struct HandlerTable {
  EventHandler created = nullptr;
  EventHandler overlay_timer_tick = nullptr;
  EventHandler burst_timer_tick = nullptr;
  EventHandler Get(HandlerId id) const;
};

// Sets the framework up on the calling thread, which becomes the main thread.
// False when no X display is reachable.
bool FrameworkInit();
bool FrameworkReady();
bool IsMainThread();

// Builds the window from its design, delivers the created event, then shows
// the window at its start position. Any failure is a fatal stop.
void LoadWindow(const WindowDesign& design, const HandlerTable& handlers);

// Delivers events until no window is left.
void RunEventLoop();
bool EventLoopRunning();

// From now on no event reaches a handler.
void StopEventDelivery();
bool EventDeliveryStopped();

// Handles the events already waiting for the calling thread (never waits).
void ProcessEvents();
// Paints what the given window still owes to the screen.
void RefreshWindow(ControlRef control);

// Runs `fn` on the main thread. From the main thread it runs at once; from
// another thread it is queued, served when the main thread idles in its
// event loop, and the caller waits until it is done. False when the channel
// has been closed (the program is ending) and `fn` did not run.
bool RunOnMainThread(const std::function<void()>& fn);
// Closes the channel: queued and future requests are refused at once.
void CloseMainThreadChannel();

// Destroys the loaded window (if any) and its controls.
void ReleaseWindows();
// Releases the framework's remaining resources (the display connection).
void ReleaseFramework();

// Timers: write a period (rules of the timer period setting).
void WriteTimerPeriod(ControlRef timer, int32_t value);

// Shows the error box on the main thread on behalf of a worker, then ends.
void ShowErrorBoxFromWorker(const std::string& text);

// A repaint the canvas or a label owes, carried out by the event loop.
void RequestRepaint(int32_t control_id);

namespace internal {
// Close the window as the Esc key would.
void CloseMainWindow();
}  // namespace internal

}  // namespace gs
