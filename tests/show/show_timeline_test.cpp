// The program's own code at real speed, timing every phase from its marks and
// printing each measured duration next to the delays it holds.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "tests/show/show_process.h"
#include "tests/support/virtual_desktop.h"

namespace gs::test {
namespace {

struct Phase {
  const char* name;
  const char* from;
  const char* to;
  double delays_s;  // the delays and timer periods inside the phase
  int hearts;       // hearts drawn in it (their stamping time adds to the delays)
};

TEST(Timeline, EveryPhaseTakesItsDelaysPlusItsDrawing) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  ShowProcess show(RunnerPath(), 1.0, "timeline");
  int status = show.Wait(400000);
  ASSERT_GE(status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << show.Log();

  auto at = [&](const char* mark) { return show.MarkTime(mark) / 1e6; };
  // Stamping time of one heart, from passes 4 and 5, which have no delays at all.
  double fast_passes = at("tune change") - at("pass 4");
  double per_heart = fast_passes / 30.0;
  const Phase phases[] = {
      {"first heart", "first heart", "pass 1", 9.0, 1},
      {"pass 1", "pass 1", "pass 2", 31.5, 15},
      {"passes 2 and 3", "pass 2", "pass 4", 15.0, 30},
      {"passes 4 and 5 (stamping only)", "pass 4", "tune change", 0.0, 30},
      {"pause after the tune change", "tune change", "cards", 3.0, 0},
      {"greeting cards", "cards", "cards done", 0.8, 0},
      {"event loop to the 30th tick", "opening done", "bursts", 30.0, 0},
      {"ten bursts", "bursts", "bursts done", 55.0, 0},
      {"to the end", "bursts done", "overlay", 1.0, 0},
  };
  std::printf("\n%-32s %10s %10s %10s\n", "phase", "measured", "delays", "drawing");
  for (const Phase& p : phases) {
    double measured = at(p.to) - at(p.from);
    double drawing = p.hearts * per_heart;
    std::printf("%-32s %9.3fs %9.3fs %9.3fs\n", p.name, measured, p.delays_s, drawing);
    ASSERT_GE(at(p.from), 0) << p.from;
    ASSERT_GE(at(p.to), 0) << p.to;
    EXPECT_GE(measured, p.delays_s * 0.99) << p.name;
    double allowed = std::max(p.delays_s * 0.03, 0.15);
    if (p.delays_s > 0) {
      EXPECT_LE(measured, p.delays_s + drawing + allowed) << p.name;
    }
  }
  std::printf("%-32s %9.3fs\n\n", "whole run", at("overlay"));
  // A goal for this machine, reported rather than asserted: 930 stamps and 30 decodes in 1 s.
  std::printf("passes 4 and 5: %.3f s for 930 stamps and 30 decodes (goal: under 1 s: %s)\n",
              fast_passes, fast_passes < 1.0 ? "met" : "missed");
}

}  // namespace
}  // namespace gs::test
