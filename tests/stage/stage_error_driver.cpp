// Meets one fatal error, named on the command line, so that a test can see the
// error box and how the program ends. An exit hook leaves a file behind if it
// ever runs (it must not).
#include <cstdio>
#include <cstring>
#include <string>

#include "core/exit.h"
#include "core/globals.h"
#include "core/timing.h"
#include "stage/control_ref.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"

namespace {
std::string g_hook_file;
void MarkHookRan() {
  if (FILE* f = std::fopen(g_hook_file.c_str(), "w")) std::fclose(f);
}
gs::ControlRefList g_list;
void WorkerIndexesTooFar(int32_t) {
  (void)g_list.At(3);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string scenario = argv[1];
  g_hook_file = argv[2];
  using namespace gs;
  if (!FrameworkInit()) RuntimeErrorStop(0, "载入启动窗口失败", {"窗口: 窗口"});
  RegisterExitHook(MarkHookRan);
  if (scenario == "bad-design") {
    WindowDesign design = MainWindowDesign();
    design.controls[0].kind = ControlKind::kWindow;  // a control that cannot be created
    LoadWindow(design, HandlerTable{});
  } else {
    LoadWindow(MainWindowDesign(), HandlerTable{});
    if (scenario == "unknown-window")
      ReadProperty({kMainWindowId + 7, 画板1.control_id}, Setting::kTop);
    if (scenario == "move-missing") MoveControl({kMainWindowId, 777777}, 1, 2, 3, 4);
    if (scenario == "worker-index") {
      g_list.Append(花1);
      StartThread(WorkerIndexesTooFar, 0);
    }
  }
  RunEventLoop();
  EndProgram(0);
}
