#include "core/program.h"

#include <cfenv>

#include "core/exit.h"
#include "core/globals.h"
#include "show/handlers.h"

namespace gs {

int32_t RunProgramWith(const WindowDesign& design, const HandlerTable& handlers) {
  // 1. The window framework.
  if (!FrameworkInit()) {
    RuntimeErrorStop(0, "载入启动窗口失败", {"窗口: " + design.window.name});
  }
  // 2. Positions are computed in double precision, rounded to nearest.
  std::fesetround(FE_TONEAREST);
  // 3, 4.
  InitGlobals();
  RegisterExitHook(ReleaseGlobals);
  // 5. Load the window: its created event runs the opening show.
  LoadWindow(design, handlers);
  // 6. The event loop, until no window is left.
  RunEventLoop();
  // 7. The same clean-up as a normal end.
  EndProgram(0);
}

int32_t RunProgram() {
  return RunProgramWith(MainWindowDesign(), ShowHandlers());
}

}  // namespace gs
