// Where the opening show and the bursts draw, for the screen size this
// process runs on; checked from the draw calls and, for a few, on the screen.
#include <gtest/gtest.h>

// Xlib after the test framework: its macros clash with names there.
#include <X11/Xlib.h>

#include <utility>

#include "core/globals.h"
#include "core/random.h"
#include "media/assets.h"
#include "show/handlers.h"
#include "show/show.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "tests/show/show_test_env.h"
#include "tests/support/x_probe.h"

namespace gs {
namespace {

using test::DrawRecorder;
using test::TestScreen;
using Stamp = std::pair<int32_t, int32_t>;

std::vector<Stamp> Positions(const std::vector<DrawCall>& calls) {
  std::vector<Stamp> out;
  for (const DrawCall& c : calls) out.push_back({c.left, c.top});
  return out;
}

bool Is(int w, int h) {
  return TestScreen().width == w && TestScreen().height == h;
}

TEST(HeartOutline, StampsOfThisScreen) {
  PictureHandle flower = LoadPicture(&assets::flower_02);
  DrawRecorder recorder;
  DrawHeartOutline(画板1, flower, 0);
  const auto& calls = recorder.calls();
  ASSERT_EQ(calls.size(), 31u);
  for (const DrawCall& c : calls) {
    EXPECT_EQ(c.picture, flower);
    EXPECT_FALSE(c.width.has_value());
    EXPECT_FALSE(c.height.has_value());
    EXPECT_EQ(c.copy_mode, kWhiteKey);
  }
  std::vector<Stamp> got = Positions(calls);
  if (Is(1920, 1080)) {
    const std::vector<Stamp> expected = {
        {886, 360},  {831, 295},  {941, 295},  {776, 230},  {996, 230},  {721, 165},  {1051, 165},
        {666, 100},  {1106, 100}, {573, 100},  {1199, 100}, {480, 100},  {1292, 100}, {425, 165},
        {1347, 165}, {370, 230},  {1402, 230}, {315, 295},  {1457, 295}, {408, 360},  {1364, 360},
        {501, 425},  {1271, 425}, {594, 490},  {1178, 490}, {687, 555},  {1085, 555}, {780, 620},
        {992, 620},  {873, 685},  {899, 685}};
    EXPECT_EQ(got, expected);
  } else if (Is(1366, 768)) {
    // Phase 1 is held at the top edge, which shifts phases 3 and 4 down.
    EXPECT_EQ(got[0], Stamp(609, 256));
    EXPECT_EQ(got[7], Stamp(389, 0));
    EXPECT_EQ(got[8], Stamp(829, 0));
    EXPECT_EQ(got[9].second, 0);
    EXPECT_EQ(got[11].second, 0);
    EXPECT_EQ(got[13].second, 65);
    EXPECT_EQ(got[15].second, 130);
    EXPECT_EQ(got[17].second, 195);
    EXPECT_EQ(got[29], Stamp(596, 585));
    EXPECT_EQ(got[30], Stamp(622, 585));
  } else if (Is(800, 600)) {
    // Nothing is held horizontally.
    EXPECT_EQ(got[0], Stamp(326, 200));
    EXPECT_EQ(got[11], Stamp(-80, 0));
    EXPECT_EQ(got[17].first, -245);
  }
  // Every step stamps left before right, mirrored about the start.
  for (size_t i = 1; i + 1 < got.size(); i += 2) {
    EXPECT_EQ(got[i].second, got[i + 1].second) << i;
    EXPECT_LE(got[i].first, got[i + 1].first) << i;
  }
}

TEST(HeartOutline, StampsReachTheScreen) {
  if (!Is(1920, 1080)) GTEST_SKIP() << "checked on the full-size screen";
  test::XConnection x(nullptr);
  ASSERT_NE(x.get(), nullptr);
  ClearCanvas(画板1);
  std::vector<uint32_t> before = test::ReadRootPixels(x.get(), 886, 360, 147, 90);
  PictureHandle flower = LoadPicture(&assets::flower_02);
  DrawHeartOutline(画板1, flower, 0);
  std::vector<uint32_t> after = test::ReadRootPixels(x.get(), 886, 360, 147, 90);
  ASSERT_EQ(before.size(), after.size());
  ASSERT_FALSE(after.empty());
  size_t changed = 0;
  for (size_t i = 0; i < after.size(); ++i) changed += before[i] != after[i];
  // The rose covers a good part of its box; its white ground does not.
  EXPECT_GT(changed, after.size() / 5);
  EXPECT_LT(changed, after.size());
  ClearCanvas(画板1);
  std::vector<uint32_t> cleared = test::ReadRootPixels(x.get(), 886, 360, 147, 90);
  EXPECT_EQ(cleared, before);
}

TEST(GreetingCards, FiveDrawsAtTheirPlaces) {
  DrawRecorder recorder;
  ShowGreetingCards();
  const auto& calls = recorder.calls();
  ASSERT_EQ(calls.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    int32_t size = i < 4 ? 250 : 400;
    EXPECT_EQ(calls[i].width, size);
    EXPECT_EQ(calls[i].height, size);
    EXPECT_EQ(calls[i].copy_mode, kWhiteKey);
  }
  std::vector<Stamp> got = Positions(calls);
  if (Is(1920, 1080)) {
    EXPECT_EQ(got,
              (std::vector<Stamp>{{288, 87}, {1280, 87}, {288, 720}, {1280, 720}, {640, 270}}));
  } else if (Is(1366, 768)) {
    EXPECT_EQ(got, (std::vector<Stamp>{{204, 62}, {910, 62}, {204, 512}, {910, 512}, {455, 192}}));
  }
  // The centre picture is the 1010 x 737 one.
  const Picture* centre = RegisteredPicture(calls[4].picture);
  ASSERT_NE(centre, nullptr);
  EXPECT_EQ(centre->width, 1010);
  EXPECT_EQ(centre->height, 737);
}

// The generator of the show, written out: the choice, then x and y per picture.
struct Reference {
  uint32_t state;
  int32_t Draw(int32_t lo, int32_t hi) {
    if (hi < 0) hi = 0;
    if (lo == hi) return lo;
    state = state * 214013u + 2531011u;
    return lo + static_cast<int32_t>(((state >> 16) & 0x7FFF) % static_cast<uint32_t>(hi - lo + 1));
  }
};

TEST(ScatterBursts, OnlyTheThirtiethTickBurstsAndEachBurstFollowsTheGenerator) {
  int w = TestScreen().width, h = TestScreen().height;
  burst_tick_count = 0;
  SeedRandom(20261211);
  DrawRecorder recorder;
  for (int tick = 1; tick <= 29; ++tick) OnBurstTimerTick();
  EXPECT_TRUE(recorder.calls().empty());
  EXPECT_EQ(ReadProperty(时钟1, Setting::kTimerPeriod), 0);
  int32_t first_handle_before = RegisteredPictureCount();
  OnBurstTimerTick();
  const auto& calls = recorder.calls();
  ASSERT_EQ(calls.size(), 990u);
  // Five pictures decoded per burst.
  EXPECT_EQ(RegisteredPictureCount() - first_handle_before, 50);
  Reference ref{20261211u};
  for (int burst = 0; burst < 10; ++burst) {
    int32_t choice = ref.Draw(1, 5);
    const Picture* picture = RegisteredPicture(calls[burst * 99].picture);
    ASSERT_NE(picture, nullptr);
    static const std::pair<int, int> kPoolSizes[] = {
        {147, 90}, {100, 77}, {115, 115}, {125, 135}, {147, 131}};
    EXPECT_EQ(picture->width, kPoolSizes[choice - 1].first) << "burst " << burst;
    EXPECT_EQ(picture->height, kPoolSizes[choice - 1].second) << "burst " << burst;
    for (int n = 0; n < 99; ++n) {
      const DrawCall& c = calls[burst * 99 + n];
      int32_t x = ref.Draw(0, w - 110);
      int32_t y = ref.Draw(0, h - 110);
      ASSERT_EQ(c.left, x) << "burst " << burst << " picture " << n;
      ASSERT_EQ(c.top, y) << "burst " << burst << " picture " << n;
      EXPECT_EQ(c.picture, calls[burst * 99].picture);
      EXPECT_GE(c.left, 0);
      EXPECT_LE(c.left, std::max(0, w - 110));
      EXPECT_GE(c.top, 0);
      EXPECT_LE(c.top, std::max(0, h - 110));
    }
  }
  EXPECT_EQ(RandomState(), ref.state);
  EXPECT_EQ(ReadProperty(时钟1, Setting::kTimerPeriod), 1000);
  for (int tick = 31; tick <= 40; ++tick) OnBurstTimerTick();
  EXPECT_EQ(calls.size(), 990u);
}

TEST(FallingFlowers, SetUpFillsTheListsAndPlacesTheCopies) {
  SetUpFallingFlowers();
  ControlRefList* lists[] = {flower_list_1.get(), flower_list_2.get(), flower_list_3.get(),
                             flower_list_4.get()};
  const ControlRef templates[] = {花1, 花2, 花3, 花4};
  const int32_t widths[] = {112, 120, 120, 144};
  const int32_t tops[] = {-128, -512, -1152, -2048};
  for (int m = 0; m < 4; ++m) {
    ControlRefList& list = *lists[m];
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list.At(5), templates[m]);
    for (int i = 1; i <= 4; ++i) {
      ControlRef copy = list.At(i);
      EXPECT_NE(copy, templates[m]);
      for (int j = 1; j < i; ++j) EXPECT_NE(copy, list.At(j));
      EXPECT_EQ(ReadProperty(copy, Setting::kLeft), i * (widths[m] + i + 130)) << m << "," << i;
      EXPECT_EQ(ReadProperty(copy, Setting::kVisible), 1);
      EXPECT_EQ(ReadProperty(copy, Setting::kWidth), widths[m]);
    }
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(ReadProperty(list.At(i), Setting::kTop), tops[m]);
    EXPECT_EQ(ReadProperty(templates[m], Setting::kVisible), 0);
  }
  EXPECT_EQ(ReadProperty(flower_list_1->At(1), Setting::kLeft), 243);
  EXPECT_EQ(ReadProperty(flower_list_1->At(4), Setting::kLeft), 984);
  EXPECT_EQ(ReadProperty(flower_list_4->At(4), Setting::kLeft), 1112);
  EXPECT_EQ(ReadProperty(画板1, Setting::kWidth), TestScreen().width);
  EXPECT_EQ(ReadProperty(画板1, Setting::kHeight), TestScreen().height);
  // 花5 is untouched.
  EXPECT_EQ(ReadProperty(花5, Setting::kTop), 224);
}

}  // namespace
}  // namespace gs
