// The whole program for tests: the same code as the shipped binary, with the
// test clock seam and phase marks written to a trace file.
//   GS_TEST_TIME_SCALE  program time to real time (default 1)
//   GS_TEST_TRACE       file that receives "<microseconds> <mark>" lines
//   GS_TEST_REAL_TIME_FROM  a mark from which on the clock runs at real speed
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/clock.h"
#include "core/program.h"
#include "show/show_marks.h"
#include "tests/support/time_seam.h"

namespace {
int g_trace_fd = -1;
int64_t g_start_us = 0;
const char* g_real_time_from = nullptr;

void WriteMark(const char* mark) {
  if (g_real_time_from && std::strcmp(mark, g_real_time_from) == 0) gs::test::SetTimeScale(1.0);
  if (g_trace_fd < 0) return;
  char line[160];
  int n = std::snprintf(line, sizeof line, "%lld %s\n",
                        static_cast<long long>(gs::MonotonicUs() - g_start_us), mark);
  if (n > 0) {
    ssize_t ignored = write(g_trace_fd, line, static_cast<size_t>(n));
    (void)ignored;
  }
}
}  // namespace

int main() {
  g_start_us = gs::MonotonicUs();
  if (const char* scale = std::getenv("GS_TEST_TIME_SCALE"))
    gs::test::SetTimeScale(std::atof(scale));
  g_real_time_from = std::getenv("GS_TEST_REAL_TIME_FROM");
  if (g_real_time_from) gs::SetShowMarkObserver(WriteMark);
  if (const char* trace = std::getenv("GS_TEST_TRACE")) {
    g_trace_fd = open(trace, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    gs::SetShowMarkObserver(WriteMark);
  }
  WriteMark("start");
  return gs::RunProgram();
}
