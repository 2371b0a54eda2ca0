// Whole runs of the program, faster through the test clock, on a private desktop.
#include <gtest/gtest.h>

// Xlib after the test framework: its macros clash with names there.
#include <X11/Xlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <thread>

#include "tests/show/shared_desktop.h"
#include "tests/show/show_process.h"
#include "tests/support/virtual_desktop.h"
#include "tests/support/x_probe.h"

namespace gs::test {
namespace {

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

using FastShow = SharedDesktopSuite;

const char* const kOrder[] = {"start",       "window shown", "first heart", "pass 1",
                              "pass 2",      "pass 3",       "pass 4",      "pass 5",
                              "tune change", "cards",        "cards done",  "opening done",
                              "bursts",      "bursts done",  "overlay"};

TEST_F(FastShow, TwentyRunsInARowEndWithZeroAfterEveryPhase) {
  for (int run = 1; run <= 20; ++run) {
    ShowProcess show(RunnerPath(), 0.02, "run" + std::to_string(run));
    ASSERT_TRUE(show.started());
    int status = show.Wait(90000);
    ASSERT_TRUE(ExitedWithZero(status)) << "run " << run << ": " << status << "\n" << show.Log();
    EXPECT_EQ(show.SanitizerFindings(), "") << "run " << run;
    auto marks = show.Marks();
    ASSERT_EQ(marks.size(), std::size(kOrder)) << "run " << run;
    for (size_t i = 0; i < marks.size(); ++i) EXPECT_EQ(marks[i].second, kOrder[i]);
    EXPECT_EQ(FindShowWindow(), 0u) << "no window is left behind";
  }
}

TEST_F(FastShow, EscDuringTheEventLoopEndsWithZeroAtAnyMoment) {
  struct Moment {
    const char* after_mark;
    int delay_ms;
  };
  std::mt19937 random(12);
  std::vector<Moment> moments = {{"opening done", 50},
                                 {"opening done", 300},
                                 {"opening done", 900},
                                 {"bursts done", 10},
                                 {"bursts done", 200}};
  for (int i = 0; i < 3; ++i)
    moments.push_back({"opening done", static_cast<int>(random() % 1200)});
  double slowest_end_ms = 0;
  for (const Moment& moment : moments) {
    ShowProcess show(RunnerPath(), 0.1, "esc");
    ASSERT_TRUE(show.WaitForMark(moment.after_mark, 60000)) << show.Log();
    Sleep(moment.delay_ms);
    ASSERT_TRUE(PressKey("Escape"));
    auto pressed = std::chrono::steady_clock::now();
    int status = show.Wait(5000);
    double end_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed)
            .count();
    slowest_end_ms = std::max(slowest_end_ms, end_ms);
    EXPECT_TRUE(ExitedWithZero(status)) << moment.after_mark << "+" << moment.delay_ms << "\n"
                                        << show.Log();
    EXPECT_EQ(show.SanitizerFindings(), "");
    // During the falling flowers the key ends the show well before the bursts.
    if (std::string(moment.after_mark) == "opening done") {
      EXPECT_LT(show.MarkTime("bursts"), 0) << "Esc ends the show before the bursts";
    }
  }
  // From the key's delivery by xdotool to the process's end, workers stopped and joined.
  std::printf("[ timing   ] slowest end after Esc: %.0f ms\n", slowest_end_ms);
}

TEST_F(FastShow, EscDuringTheOpeningWaitsForTheEventLoop) {
  ShowProcess show(RunnerPath(), 0.05, "esc-opening");
  ASSERT_TRUE(show.WaitForMark("pass 1", 60000)) << show.Log();
  ASSERT_TRUE(PressKey("Escape"));
  // The opening show goes on to its end; only then is the key handled.
  ASSERT_TRUE(show.WaitForMark("opening done", 60000)) << show.Log();
  int status = show.Wait(5000);
  EXPECT_TRUE(ExitedWithZero(status)) << show.Log();
  EXPECT_LT(show.MarkTime("bursts"), 0);
}

TEST_F(FastShow, EscWithAModifierDoesNotClose) {
  ShowProcess show(RunnerPath(), 0.2, "esc-modifiers");
  ASSERT_TRUE(show.WaitForMark("opening done", 60000)) << show.Log();
  Sleep(100);
  for (const char* keys : {"ctrl+Escape", "shift+Escape", "alt+Escape"}) {
    ASSERT_TRUE(PressKey(keys));
    Sleep(150);
    EXPECT_TRUE(show.Running()) << keys << " closed the window";
  }
  ASSERT_TRUE(PressKey("Escape"));
  EXPECT_TRUE(ExitedWithZero(show.Wait(5000))) << show.Log();
}

// Positions of the shown picture buttons (the falling flowers), by window id.
std::map<unsigned long, std::pair<int, int>> FlowerPositions(unsigned long top) {
  std::map<unsigned long, std::pair<int, int>> positions;
  XConnection x(nullptr);
  if (!x.get()) return positions;
  XErrorTrap trap(x.get());
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(x.get(), top, &root, &parent, &children, &count)) return positions;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(x.get(), children[i], &a) || a.map_state != IsViewable) continue;
    bool flower = (a.width == 112 && a.height == 128) || (a.width == 120 && a.height == 80) ||
                  (a.width == 120 && a.height == 112) || (a.width == 144 && a.height == 96);
    if (flower) positions[children[i]] = {a.x, a.y};
  }
  if (children) XFree(children);
  return positions;
}

TEST_F(FastShow, FlowersFallWhileTheLoopIdlesAndStandStillDuringTheBursts) {
  ShowProcess show(RunnerPath(), 0.25, "flowers");
  ASSERT_TRUE(show.WaitForMark("opening done", 90000)) << show.Log();
  unsigned long top = FindShowWindow();
  ASSERT_NE(top, 0u);
  auto first = FlowerPositions(top);
  EXPECT_EQ(first.size(), 16u) << "four copies of each of four flowers are shown";
  Sleep(1500);
  auto second = FlowerPositions(top);
  ASSERT_EQ(first.size(), second.size());
  int moved = 0;
  for (auto& [id, position] : second) {
    int dy = position.second - first[id].second;
    EXPECT_EQ(position.first, first[id].first);
    if (dy != 0) ++moved;
  }
  EXPECT_EQ(moved, 16) << "every copy falls";
  // During the bursts nothing moves.
  ASSERT_TRUE(show.WaitForMark("bursts", 60000)) << show.Log();
  Sleep(200);
  auto during = FlowerPositions(top);
  Sleep(1500);
  auto later = FlowerPositions(top);
  ASSERT_TRUE(show.Running());
  EXPECT_EQ(during, later);
  // After the bursts they resume where they stood.
  ASSERT_TRUE(show.WaitForMark("bursts done", 60000));
  ASSERT_TRUE(PressKey("Escape"));
  EXPECT_TRUE(ExitedWithZero(show.Wait(5000)));
}

TEST_F(FastShow, WindowCoversTheScreenThenTheWorkArea) {
  ShowProcess show(RunnerPath(), 0.1, "geometry");
  ASSERT_TRUE(show.WaitForMark("window shown", 60000)) << show.Log();
  int x = 0, y = 0, w = 0, h = 0;
  ASSERT_TRUE(ShowWindowRect(&x, &y, &w, &h));
  EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({0, 0, 1920, 1080}));
  ASSERT_TRUE(show.WaitForMark("opening done", 60000)) << show.Log();
  Sleep(300);
  ASSERT_TRUE(ShowWindowRect(&x, &y, &w, &h));
  EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({0, 0, 1920, 1040}));
  ASSERT_TRUE(PressKey("Escape"));
  EXPECT_TRUE(ExitedWithZero(show.Wait(5000)));
}

}  // namespace
}  // namespace gs::test
