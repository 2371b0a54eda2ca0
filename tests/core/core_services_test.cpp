// Random numbers, colour values, text, error text, exit hooks and list access.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "core/exit.h"
#include "core/random.h"
#include "core/timing.h"
#include "stage/control_ref.h"

namespace gs {
namespace {

// The generator, written out independently: state = state * 214013 + 2531011.
uint32_t ReferenceDraw(uint32_t& state) {
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFF;
}

struct RangeCase {
  const char* name;
  std::optional<int32_t> lo, hi;
  int32_t expect_lo, expect_hi;
  bool draws;
};

TEST(RandomInRange, ResultsStayInTheRangeAndDrawOnlyWhenNeeded) {
  const RangeCase cases[] = {
      {"1..5", 1, 5, 1, 5, true},
      {"swapped 5..1", 5, 1, 1, 5, true},
      {"negative bound becomes 0", 0, -110, 0, 0, false},
      {"both negative", -7, -3, 0, 0, false},
      {"equal bounds", 42, 42, 42, 42, false},
      {"0..255", 0, 255, 0, 255, true},
      {"no bounds", std::nullopt, std::nullopt, 0, 32767, true},
      {"huge span stays within lo + 32767", 1000, 2000000000, 1000, 1000 + 32767, true},
  };
  for (const RangeCase& c : cases) {
    SeedRandom(12345);
    for (int i = 0; i < 2000; ++i) {
      uint32_t before = RandomState();
      int32_t v = RandomInRange(c.lo, c.hi);
      EXPECT_GE(v, c.expect_lo) << c.name;
      EXPECT_LE(v, c.expect_hi) << c.name;
      EXPECT_EQ(RandomState() != before, c.draws) << c.name;
    }
  }
}

TEST(RandomInRange, FollowsTheGeneratorAndTheModuloRule) {
  SeedRandom(1);
  uint32_t state = 1;
  for (int i = 0; i < 100; ++i) {
    uint32_t r = ReferenceDraw(state);
    EXPECT_EQ(RandomInRange(1, 5), static_cast<int32_t>(1 + r % 5));
  }
  // The full span uses 2147483646 instead of 2147483647.
  SeedRandom(99);
  state = 99;
  uint32_t r = ReferenceDraw(state);
  EXPECT_EQ(RandomInRange(0, 2147483647), static_cast<int32_t>(r % 2147483647));
}

TEST(RandomInRange, EveryValueOfASmallRangeAppears) {
  SeedRandom(7);
  std::set<int32_t> seen;
  for (int i = 0; i < 500; ++i) seen.insert(RandomInRange(1, 5));
  EXPECT_EQ(seen, (std::set<int32_t>{1, 2, 3, 4, 5}));
}

TEST(SeedRandom, ClockSeedsDifferWithinOneMillisecondAndCounterAdvances) {
  uint32_t counter = SeedCounter();
  SeedRandom();
  uint32_t first = RandomState();
  uint32_t expected_counter = counter + (first & 0xFF) + 100;
  EXPECT_EQ(SeedCounter(), expected_counter);
  SeedRandom();
  EXPECT_NE(RandomState(), first);
}

TEST(SeedRandom, StateIsPerThreadAndStartsAtOne) {
  SeedRandom(555);
  uint32_t other = 0;
  std::thread([&] { other = RandomState(); }).join();
  EXPECT_EQ(other, 1u);
  EXPECT_EQ(RandomState(), 555u);
}

TEST(Utilities, RgbColourAndIntToText) {
  EXPECT_EQ(RgbColour(128, 128, 0), 32896u);
  EXPECT_EQ(RgbColour(256, 0, 0), 0u);
  EXPECT_EQ(RgbColour(1, 2, 3), 0x030201u);
  EXPECT_EQ(RgbColour(-1, 0, 0), 0xFFu);
  const std::pair<int32_t, const char*> texts[] = {
      {0, "0"}, {-1, "-1"}, {42, "42"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (auto [value, text] : texts) EXPECT_EQ(IntToText(value), text);
}

TEST(ErrorText, LinesAppearOnlyWhenTheirPartIsGiven) {
  EXPECT_EQ(BuildErrorText(0, "", {}), "运行时出错!\r\n\r\n");
  EXPECT_EQ(BuildErrorText(0, "载入启动窗口失败", {"窗口: 窗口"}),
            "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n\r\n窗口: 窗口\r\n");
  EXPECT_EQ(BuildErrorText(4, "数组成员引用下标必须大于等于1", {"12, 3"}),
            "运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n"
            "\r\n12, 3\r\n");
}

int g_hook_runs = 0;
void CountingHook() {
  ++g_hook_runs;
}

TEST(ExitHooks, RegisteredTwiceRunsOnce) {
  internal::DiscardExitHooks();
  RegisterExitHook(CountingHook);
  RegisterExitHook(CountingHook);
  EXPECT_EQ(internal::ExitHookCount(), 1u);
  internal::RunExitHooks();
  EXPECT_EQ(g_hook_runs, 1);
  internal::RunExitHooks();
  EXPECT_EQ(g_hook_runs, 1);
}

TEST(StartThread, RunsTheRoutineWithItsArgument) {
  static std::atomic<int32_t> seen{0};
  ASSERT_TRUE(StartThread([](int32_t a) { seen = a; }, 37));
  StopAndJoinWorkers();
  EXPECT_EQ(seen.load(), 37);
}

using ControlRefListDeathTest = ::testing::Test;

TEST(ControlRefListDeathTest, IndexOutOfRangeStopsWithItsCode) {
  // Without a display the fatal stop writes its text to standard error and ends with -1.
  unsetenv("DISPLAY");
  ControlRefList list;
  list.Append({1, 2});
  list.Append({1, 3});
  EXPECT_EQ(list.At(2), (ControlRef{1, 3}));
  list.At(1) = {1, 9};
  EXPECT_EQ(list.At(1), (ControlRef{1, 9}));
  EXPECT_EXIT(list.At(0), ::testing::ExitedWithCode(255), "错误代码：4");
  EXPECT_EXIT(list.At(0), ::testing::ExitedWithCode(255),
              "错误信息：数组成员引用下标必须大于等于1");
  EXPECT_EXIT(list.At(3), ::testing::ExitedWithCode(255), "错误代码：1");
  EXPECT_EXIT(list.At(3), ::testing::ExitedWithCode(255), "错误信息：数组成员引用下标超出定义范围");
}

}  // namespace
}  // namespace gs
