#include "core/exit.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "core/timing.h"
#include "stage/fonts.h"
#include "stage/framework.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define GS_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define GS_LEAK_CHECK 1
#endif
#endif

namespace gs {
namespace {
std::mutex g_hooks_mutex;
std::vector<ExitHook> g_hooks;
}  // namespace

void RegisterExitHook(ExitHook hook) {
  std::lock_guard<std::mutex> lock(g_hooks_mutex);
  if (std::find(g_hooks.begin(), g_hooks.end(), hook) == g_hooks.end()) g_hooks.push_back(hook);
}

namespace internal {
void RunExitHooks() {
  std::vector<ExitHook> hooks;
  {
    std::lock_guard<std::mutex> lock(g_hooks_mutex);
    hooks.swap(g_hooks);
  }
  for (ExitHook hook : hooks) hook();
}

void DiscardExitHooks() {
  std::lock_guard<std::mutex> lock(g_hooks_mutex);
  g_hooks.clear();
}

size_t ExitHookCount() {
  std::lock_guard<std::mutex> lock(g_hooks_mutex);
  return g_hooks.size();
}
}  // namespace internal

void EndProgram(int32_t exit_code) {
  // 1. No further event reaches a handler.
  StopEventDelivery();
  // The workers read the flower lists and move controls: stop them before
  // anything they touch is released.
  StopAndJoinWorkers();
  // 2. The window records.
  ReleaseWindows();
  // 3. The exit hooks, once each.
  internal::RunExitHooks();
  // 4. The framework's remaining resources.
  ReleaseFonts();
  ReleaseFramework();
  // 5. End the process. Music threads may still sit in a sound-server call;
  // they are not waited for.
  std::fflush(stdout);
  std::fflush(stderr);
#ifdef GS_LEAK_CHECK
  __lsan_do_leak_check();
#endif
  _exit(exit_code & 0xFF);
}

}  // namespace gs
