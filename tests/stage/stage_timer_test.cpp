// Timer ticks from the main thread's event loop: when they fall due after a
// period write, that none arrives during a handler or before the loop runs,
// and that a long handler is followed by one tick, not a burst.
// The test clock runs at a tenth: a period of 1000 is 100 ms here.
#include <gtest/gtest.h>

#include <vector>

#include "core/clock.h"
#include "core/timing.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "tests/stage/stage_env.h"

namespace gs {
namespace {

std::vector<int64_t> g_ticks_1, g_ticks_2;  // real milliseconds
int64_t g_created_returned = 0;
int64_t g_created_ticks_seen = -1;
int64_t g_rewrite_at = 0;
int64_t g_busy_ended = 0;
int g_scenario = 0;

void Finish() {
  internal::CloseMainWindow();
}

void Created() {
  switch (g_scenario) {
    case 1:  // same period rewritten mid-period keeps the rhythm
    case 2:  // another period and back restarts it
      WriteProperty(时钟1, Setting::kTimerPeriod, 3000);  // 300 ms
      break;
    case 3:                                               // busy handler
      WriteProperty(时钟1, Setting::kTimerPeriod, 1000);  // 100 ms
      break;
    case 4:  // period set during the created event; the event outlasts it
      WriteProperty(时钟1, Setting::kTimerPeriod, 1000);
      Delay(5000);  // 500 ms: five periods
      g_created_ticks_seen = static_cast<int64_t>(g_ticks_1.size());
      break;
  }
  g_created_returned = MonotonicMs();
}

void Tick1() {
  g_ticks_1.push_back(MonotonicMs());
  size_t n = g_ticks_1.size();
  if ((g_scenario == 1 || g_scenario == 2) && n == 1) {
    // Half a period after this tick, rewrite the period from the other timer.
    WriteProperty(时钟2, Setting::kTimerPeriod, 1500);
  }
  if (g_scenario == 3 && n == 1) {
    Delay(10000);  // 1 s busy: ten periods
    g_busy_ended = MonotonicMs();
  }
  if ((g_scenario <= 2 && n == 3) ||
      (g_scenario == 3 && MonotonicMs() - g_busy_ended > 250 && g_busy_ended) ||
      (g_scenario == 4 && n == 2))
    Finish();
}

void Tick2() {
  g_ticks_2.push_back(MonotonicMs());
  if (g_ticks_2.size() == 1) {
    g_rewrite_at = MonotonicMs();
    if (g_scenario == 1) WriteProperty(时钟1, Setting::kTimerPeriod, 3000);
    if (g_scenario == 2) {
      WriteProperty(时钟1, Setting::kTimerPeriod, 1500);
      WriteProperty(时钟1, Setting::kTimerPeriod, 3000);
    }
    WriteProperty(时钟2, Setting::kTimerPeriod, 0);
  }
}

void RunScenario(int scenario) {
  g_scenario = scenario;
  g_ticks_1.clear();
  g_ticks_2.clear();
  g_busy_ended = 0;
  HandlerTable handlers;
  handlers.created = Created;
  handlers.overlay_timer_tick = Tick1;
  handlers.burst_timer_tick = Tick2;
  LoadWindow(MainWindowDesign(), handlers);
  RunEventLoop();
}

TEST(TimerTicks, RewritingTheSamePeriodKeepsTheRhythm) {
  RunScenario(1);
  ASSERT_EQ(g_ticks_1.size(), 3u);
  int64_t period = g_ticks_1[1] - g_ticks_1[0];
  // The rewrite came about 150 ms into a 300 ms period; the tick after it keeps its place.
  int64_t after = g_ticks_1[2] - g_ticks_1[1];
  EXPECT_NEAR(static_cast<double>(after), static_cast<double>(period), 75.0);
}

TEST(TimerTicks, AnotherPeriodAndBackRestartsTheWait) {
  RunScenario(2);
  ASSERT_EQ(g_ticks_1.size(), 3u);
  ASSERT_GT(g_rewrite_at, g_ticks_1[0]);
  // The first tick after the writes falls a whole period after the last write.
  int64_t next =
      *std::find_if(g_ticks_1.begin(), g_ticks_1.end(), [](int64_t t) { return t > g_rewrite_at; });
  EXPECT_NEAR(static_cast<double>(next - g_rewrite_at), 300.0, 75.0);
}

TEST(TimerTicks, ALongHandlerIsFollowedByOneTickNotABurst) {
  RunScenario(3);
  ASSERT_GT(g_busy_ended, 0);
  int after_busy = 0;
  for (int64_t t : g_ticks_1)
    if (t >= g_busy_ended) ++after_busy;
  // Ten periods passed during the handler; at most one tick was owed, then the
  // rhythm goes on (about 250 ms were watched: two or three ticks).
  EXPECT_GE(after_busy, 2);
  EXPECT_LE(after_busy, 4);
}

TEST(TimerTicks, NoTickDuringTheCreatedEvent) {
  RunScenario(4);
  EXPECT_EQ(g_created_ticks_seen, 0);
  ASSERT_EQ(g_ticks_1.size(), 2u);
  EXPECT_GE(g_ticks_1[0], g_created_returned);
  // Two ticks in a row, not the five that fell due.
  EXPECT_GE(g_ticks_1[1] - g_ticks_1[0], 50);
}

}  // namespace
}  // namespace gs
