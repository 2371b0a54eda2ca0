// DrawPicture on the real screen: copy modes and colour keys at own size,
// stretched boxes, smoothing without a light fringe, clipping by controls
// above the canvas and the loss of drawings where a control uncovers them.

// clang-format off
#include <gtest/gtest.h>  // before any X11 header: Xlib's None clashes with it
// clang-format on

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "media/assets.h"
#include "stage/canvas.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "tests/canvas/canvas_env.h"

namespace gs {
namespace {

using test::Handle;
using test::kScreenW;
using test::kWorkH;
using test::ReadScreen;
using test::Rendered;
using test::Settle;
using test::ShowCanvas;

struct Box {
  int x, y, w, h;
  bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The part of a box that lies inside the window.
Box OnScreen(Box b) {
  int x0 = std::max(b.x, 0), y0 = std::max(b.y, 0);
  int x1 = std::min(b.x + b.w, kScreenW), y1 = std::min(b.y + b.h, kWorkH);
  return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

std::string Hex(uint32_t v) {
  std::ostringstream s;
  s << std::hex << v;
  return s.str();
}

// Counts pixels of a screen block read at `area` that differ from expected(x, y)
// (screen coordinates); describes the first one.
int Mismatches(const std::vector<uint32_t>& screen, Box area,
               const std::function<uint32_t(int, int)>& expected, std::string* first) {
  int count = 0;
  for (int y = 0; y < area.h; ++y)
    for (int x = 0; x < area.w; ++x) {
      uint32_t shown = screen[static_cast<size_t>(y) * area.w + x];
      uint32_t want = expected(area.x + x, area.y + y);
      if (shown == want) continue;
      if (!count++ && first)
        *first = "at " + std::to_string(area.x + x) + "," + std::to_string(area.y + y) + " shown " +
                 Hex(shown) + " expected " + Hex(want);
    }
  return count;
}

uint32_t Bgr(uint32_t rgb) {
  return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

TEST(CanvasDraw, CopyModesAndColourKeysAtOwnSize) {
  const Image background = test::DarkPattern(kScreenW, test::kScreenH, 11);
  ShowCanvas(background);
  const Image flower = Rendered(assets::flower_01);
  ASSERT_EQ(flower.width, 147);
  ASSERT_EQ(flower.height, 163);
  // A key other than white: the flower's commonest colour whose red and blue
  // differ, so a mix-up of the colour value's byte order shows.
  std::map<uint32_t, int> counts;
  for (uint32_t p : flower.pixels)
    if ((p >> 16 & 0xFF) != (p & 0xFF)) ++counts[p & 0xFFFFFF];
  ASSERT_FALSE(counts.empty());
  uint32_t other_key = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                         return a.second < b.second;
                       })->first;
  const uint32_t white = 0xFFFFFF;
  struct Case {
    const char* name;
    std::optional<int32_t> mode;
    std::function<uint32_t(uint32_t src, uint32_t dst)> combine;
  };
  const Case cases[] = {
      {"omitted: plain copy", std::nullopt, [](uint32_t s, uint32_t) { return s; }},
      {"1: plain copy, white ground as a white box", 1, [](uint32_t s, uint32_t) { return s; }},
      {"2: inverted", 2, [](uint32_t s, uint32_t) { return ~s & 0xFFFFFF; }},
      {"3: xor", 3, [](uint32_t s, uint32_t d) { return s ^ d; }},
      {"4: or", 4, [](uint32_t s, uint32_t d) { return s | d; }},
      {"5: and", 5, [](uint32_t s, uint32_t d) { return s & d; }},
      {"white key 0xFF000001", kWhiteKey,
       [white](uint32_t s, uint32_t d) { return s == white ? d : s; }},
      {"key of another colour value", -static_cast<int32_t>(Bgr(other_key)),
       [other_key](uint32_t s, uint32_t d) { return s == other_key ? d : s; }},
  };
  const int left = 311, top = 207;
  const Box drawn{left, top, flower.width, flower.height};
  const Box area{left - 1, top - 1, flower.width + 2, flower.height + 2};
  for (const Case& c : cases) {
    ClearCanvas(画板1);
    DrawPicture(画板1, Handle(assets::flower_01), left, top, {}, {}, c.mode);
    std::vector<uint32_t> screen = ReadScreen(area.x, area.y, area.w, area.h);
    ASSERT_EQ(screen.size(), static_cast<size_t>(area.w) * area.h);
    std::string first;
    int wrong = Mismatches(
        screen, area,
        [&](int x, int y) {
          uint32_t dst = test::TileAt(background, x, y);
          if (!drawn.Contains(x, y)) return dst;
          uint32_t src = flower.pixels[static_cast<size_t>(y - top) * flower.width + (x - left)];
          return c.combine(src & 0xFFFFFF, dst);
        },
        &first);
    EXPECT_EQ(wrong, 0) << c.name << ": " << first;
  }
  // Keep a look at keyed flowers over a dark ground.
  ClearCanvas(画板1);
  const ByteBlock* flowers[] = {&assets::flower_01, &assets::flower_04, &assets::flower_07,
                                &assets::flower_09, &assets::flower_12, &assets::flower_13};
  for (int i = 0; i < 6; ++i)
    DrawPicture(画板1, Handle(*flowers[i]), 40 + i * 120, 40 + (i % 2) * 60, {}, {}, kWhiteKey);
  test::SavePng("keyed_flowers_dark", ReadScreen(0, 0, 800, 280), 800, 280);
}

TEST(CanvasDraw, StretchedDrawsFillExactlyTheirBox) {
  const Image background = test::DarkPattern(kScreenW, test::kScreenH, 12);
  ShowCanvas(background);
  struct Case {
    const char* name;
    const ByteBlock* asset;
    Box box;
  };
  const Case cases[] = {
      {"400x400 card at 250x250", &assets::card_1, {100, 120, 250, 250}},
      {"card partly left of and above the canvas", &assets::card_2, {-100, -60, 250, 250}},
      {"flower enlarged past the window's bottom edge", &assets::flower_01, {1700, 900, 294, 326}},
      {"1010x737 centrepiece at 400x400", &assets::centrepiece, {700, 300, 400, 400}},
      {"own size given explicitly", &assets::flower_03, {500, 500, 100, 77}},
      {"one pixel wide", &assets::card_3, {1500, 100, 1, 300}},
  };
  for (const Case& c : cases) {
    ClearCanvas(画板1);
    DrawPicture(画板1, Handle(*c.asset), c.box.x, c.box.y, c.box.w, c.box.h, 1);
    Box visible = OnScreen(c.box);
    Box area = OnScreen({c.box.x - 1, c.box.y - 1, c.box.w + 2, c.box.h + 2});
    std::vector<uint32_t> screen = ReadScreen(area.x, area.y, area.w, area.h);
    ASSERT_FALSE(screen.empty()) << c.name;
    auto shown = [&](int x, int y) {
      return screen[static_cast<size_t>(y - area.y) * area.w + (x - area.x)];
    };
    // Around the box: the background, untouched.
    int outside_wrong = 0, inside_as_background = 0;
    for (int y = area.y; y < area.y + area.h; ++y)
      for (int x = area.x; x < area.x + area.w; ++x) {
        bool same = shown(x, y) == test::TileAt(background, x, y);
        if (!c.box.Contains(x, y))
          outside_wrong += !same;
        else
          inside_as_background += same;
      }
    EXPECT_EQ(outside_wrong, 0) << c.name;
    // Inside, the picture covers every pixel up to each edge of the box (the
    // pictures' corners are white, so they never match the dark ground).
    EXPECT_LE(inside_as_background, visible.w * visible.h / 100) << c.name;
    auto edge_background = [&](int x0, int y0, int dx, int dy, int n) {
      int same = 0;
      for (int i = 0; i < n; ++i)
        same +=
            shown(x0 + i * dx, y0 + i * dy) == test::TileAt(background, x0 + i * dx, y0 + i * dy);
      return same;
    };
    int right = visible.x + visible.w - 1, bottom = visible.y + visible.h - 1;
    EXPECT_LE(edge_background(visible.x, visible.y, 1, 0, visible.w), visible.w / 10) << c.name;
    EXPECT_LE(edge_background(visible.x, visible.y, 0, 1, visible.h), visible.h / 10) << c.name;
    EXPECT_LE(edge_background(visible.x, bottom, 1, 0, visible.w), visible.w / 10) << c.name;
    EXPECT_LE(edge_background(right, visible.y, 0, 1, visible.h), visible.h / 10) << c.name;
  }
}

// Mean colour of a block, per channel.
std::array<double, 3> Mean(const std::function<uint32_t(int, int)>& pixel, int x0, int y0, int x1,
                           int y1) {
  std::array<double, 3> sum{};
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      uint32_t p = pixel(x, y);
      sum[0] += p >> 16 & 0xFF;
      sum[1] += p >> 8 & 0xFF;
      sum[2] += p & 0xFF;
    }
  double n = static_cast<double>(x1 - x0) * (y1 - y0);
  return {sum[0] / n, sum[1] / n, sum[2] / n};
}

TEST(CanvasDraw, AStretchedPictureIsSqueezedNotCropped) {
  ShowCanvas(test::DarkPattern(kScreenW, test::kScreenH, 13));
  const Image source = Rendered(assets::centrepiece);
  ASSERT_EQ(source.width, 1010);
  ASSERT_EQ(source.height, 737);
  const Box box{600, 200, 400, 400};
  DrawPicture(画板1, Handle(assets::centrepiece), box.x, box.y, box.w, box.h, 1);
  std::vector<uint32_t> screen = ReadScreen(box.x, box.y, box.w, box.h);
  ASSERT_EQ(screen.size(), 400u * 400u);
  test::SavePng("centrepiece_400x400", screen, 400, 400);
  auto on_screen = [&](int x, int y) { return screen[static_cast<size_t>(y) * 400 + x]; };
  auto in_source = [&](int x, int y) { return source.pixels[static_cast<size_t>(y) * 1010 + x]; };
  // Each 40x40 block of the box against the part of the whole picture it stands for.
  double worst = 0;
  std::string where;
  for (int by = 0; by < 10; ++by)
    for (int bx = 0; bx < 10; ++bx) {
      auto shown = Mean(on_screen, bx * 40, by * 40, bx * 40 + 40, by * 40 + 40);
      int sy0 = static_cast<int>(std::lround(by * 73.7)),
          sy1 = static_cast<int>(std::lround((by + 1) * 73.7));
      auto wanted = Mean(in_source, bx * 101, sy0, bx * 101 + 101, sy1);
      for (int c = 0; c < 3; ++c)
        if (std::abs(shown[c] - wanted[c]) > worst) {
          worst = std::abs(shown[c] - wanted[c]);
          where = "block " + std::to_string(bx) + "," + std::to_string(by);
        }
    }
  EXPECT_LT(worst, 5.0) << where;
}

TEST(CanvasDraw, NoLightFringeAroundKeyedShapesAfterASmoothedStretch) {
  const Image background = test::DarkPattern(kScreenW, test::kScreenH, 14);
  ShowCanvas(background);
  struct Case {
    const ByteBlock* asset;
    int w, h;
  };
  const Case cases[] = {{&assets::card_1, 250, 250},      {&assets::card_4, 173, 311},
                        {&assets::flower_01, 294, 326},   {&assets::flower_05, 200, 90},
                        {&assets::centrepiece, 400, 400}, {&assets::flower_13, 61, 59}};
  const int left = 50, top = 60;
  for (const Case& c : cases) {
    const Image source = Rendered(*c.asset);
    ClearCanvas(画板1);
    DrawPicture(画板1, Handle(*c.asset), left, top, c.w, c.h, kWhiteKey);
    std::vector<uint32_t> screen = ReadScreen(left, top, c.w, c.h);
    ASSERT_EQ(screen.size(), static_cast<size_t>(c.w) * c.h);
    const double sx = static_cast<double>(source.width) / c.w;
    const double sy = static_cast<double>(source.height) / c.h;
    int lighter = 0, stray = 0, drawn = 0;
    std::string first;
    for (int y = 0; y < c.h; ++y) {
      int y0 = std::max(0, static_cast<int>(std::floor(y * sy)) - 1);
      int y1 = std::min(source.height, static_cast<int>(std::ceil((y + 1) * sy)) + 1);
      for (int x = 0; x < c.w; ++x) {
        int x0 = std::max(0, static_cast<int>(std::floor(x * sx)) - 1);
        int x1 = std::min(source.width, static_cast<int>(std::ceil((x + 1) * sx)) + 1);
        // The lightest the picture's own (non-white) pixels under this target
        // pixel could make it; white must add nothing.
        int limit[3] = {-1, -1, -1};
        for (int v = y0; v < y1; ++v)
          for (int u = x0; u < x1; ++u) {
            uint32_t p = source.pixels[static_cast<size_t>(v) * source.width + u] & 0xFFFFFF;
            if (p == 0xFFFFFF) continue;
            for (int k = 0; k < 3; ++k)
              limit[k] = std::max<int>(limit[k], p >> (16 - 8 * k) & 0xFF);
          }
        uint32_t ground = test::TileAt(background, left + x, top + y);
        uint32_t shown = screen[static_cast<size_t>(y) * c.w + x];
        drawn += shown != ground;
        if (limit[0] < 0) {
          if (shown != ground && !stray++)
            first =
                "stray pixel " + Hex(shown) + " at " + std::to_string(x) + "," + std::to_string(y);
          continue;
        }
        for (int k = 0; k < 3; ++k) {
          int value = shown >> (16 - 8 * k) & 0xFF;
          int bound = std::max<int>(limit[k], ground >> (16 - 8 * k) & 0xFF) + 2;
          if (value > bound) {
            if (!lighter++)
              first = "light pixel " + Hex(shown) + " at " + std::to_string(x) + "," +
                      std::to_string(y);
            break;
          }
        }
      }
    }
    const std::string name = std::to_string(source.width) + "x" + std::to_string(source.height) +
                             " to " + std::to_string(c.w) + "x" + std::to_string(c.h);
    EXPECT_EQ(lighter, 0) << name << ": " << first;
    EXPECT_EQ(stray, 0) << name << ": " << first;
    EXPECT_GT(drawn, c.w * c.h / 10) << name;
  }
  // Keep a look at the stretched cards.
  ClearCanvas(画板1);
  const ByteBlock* cards[] = {&assets::card_1, &assets::card_2, &assets::card_3, &assets::card_4};
  for (int i = 0; i < 4; ++i)
    DrawPicture(画板1, Handle(*cards[i]), 20 + i * 260, 20, 250, 250, kWhiteKey);
  DrawPicture(画板1, Handle(assets::centrepiece), 1060, 20, 400, 400, kWhiteKey);
  DrawPicture(画板1, Handle(assets::flower_01), 1480, 20, 294, 326, kWhiteKey);
  test::SavePng("stretched_cards_dark", ReadScreen(0, 0, 1800, 440), 1800, 440);
}

TEST(CanvasDraw, AHandleThatNamesNoPictureDrawsNothing) {
  ShowCanvas(test::DarkPattern(kScreenW, test::kScreenH, 15));
  const std::vector<uint32_t> before = ReadScreen(0, 0, 600, 600);
  const PictureHandle handles[] = {0, -1, 7777777, RegisteredPictureCount() + 1};
  for (PictureHandle h : handles) {
    DrawPicture(画板1, h, 100, 100);
    DrawPicture(画板1, h, 0, 0, 500, 500, 1);
    DrawPicture(画板1, h, 50, 50, {}, {}, kWhiteKey);
    EXPECT_EQ(ReadScreen(0, 0, 600, 600), before) << "handle " << h;
  }
}

TEST(CanvasDraw, BoxesFarBeyondTheCanvasAreClippedNotWrapped) {
  const Image background = test::DarkPattern(kScreenW, test::kScreenH, 17);
  ShowCanvas(background);
  const std::vector<uint32_t> before = ReadScreen(0, 0, kScreenW, kWorkH);
  struct Case {
    const char* name;
    const ByteBlock* asset;
    Box box;
    std::optional<int32_t> mode;
  };
  // 16-bit window coordinates would wrap 65636 round to 100.
  const Case outside[] = {
      {"own size, far right", &assets::flower_01, {65536 + 100, 100, 147, 163}, kWhiteKey},
      {"own size, far below", &assets::flower_01, {100, 65536 + 100, 147, 163}, kWhiteKey},
      {"own size, far left", &assets::flower_01, {-65536 + 100, 100, 147, 163}, 1},
      {"stretched, far right", &assets::card_1, {70000 + 100 - 4464, 100, 250, 250}, kWhiteKey},
      {"stretched and plain, far above", &assets::card_1, {100, -65536 + 100, 250, 250}, 3},
  };
  for (const Case& c : outside) {
    ClearCanvas(画板1);
    DrawPicture(画板1, Handle(*c.asset), c.box.x, c.box.y, c.box.w, c.box.h, c.mode);
    EXPECT_TRUE(ReadScreen(0, 0, kScreenW, kWorkH) == before) << c.name;
  }
  // A box that starts far to the left and ends on the canvas shows its end.
  ClearCanvas(画板1);
  const Box wide{-40000, 300, 40300, 100};
  DrawPicture(画板1, Handle(assets::flower_12), wide.x, wide.y, wide.w, wide.h, 1);
  std::vector<uint32_t> screen = ReadScreen(0, 290, 400, 120);
  int changed_inside = 0, changed_outside = 0;
  for (int y = 290; y < 410; ++y)
    for (int x = 0; x < 400; ++x) {
      bool changed =
          screen[static_cast<size_t>(y - 290) * 400 + x] != test::TileAt(background, x, y);
      (wide.Contains(x, y) ? changed_inside : changed_outside) += changed;
    }
  EXPECT_GT(changed_inside, 300 * 100 * 9 / 10);
  EXPECT_EQ(changed_outside, 0);
}

TEST(CanvasDraw, ClippedByAControlAboveAndLostWhereAMovingControlUncoversIt) {
  const Image background = test::DarkPattern(kScreenW, test::kScreenH, 16);
  ShowCanvas(background);
  // 花2 shows flower_03 (100x77) in a 120x80 button; only its non-white pixels belong to it.
  const Image button = Rendered(assets::flower_03);
  const Box place{700, 400, 120, 80};
  MoveControl(花2, place.x, place.y, place.w, place.h);
  WriteProperty(花2, Setting::kVisible, true);
  Settle();
  const Image flower = Rendered(assets::flower_01);
  const int left = 660, top = 360;
  DrawPicture(画板1, Handle(assets::flower_01), left, top, {}, {}, kWhiteKey);
  const Box area{600, 300, 300, 260};
  auto button_pixel = [&](int x, int y) -> std::optional<uint32_t> {
    int bx = x - place.x, by = y - place.y;
    if (bx < 0 || by < 0 || bx >= button.width || by >= button.height || bx >= place.w ||
        by >= place.h)
      return std::nullopt;
    uint32_t p = button.pixels[static_cast<size_t>(by) * button.width + bx] & 0xFFFFFF;
    if (p == 0xFFFFFF) return std::nullopt;
    return p;
  };
  auto flower_pixel = [&](int x, int y) -> std::optional<uint32_t> {
    int fx = x - left, fy = y - top;
    if (fx < 0 || fy < 0 || fx >= flower.width || fy >= flower.height) return std::nullopt;
    uint32_t p = flower.pixels[static_cast<size_t>(fy) * flower.width + fx] & 0xFFFFFF;
    if (p == 0xFFFFFF) return std::nullopt;
    return p;
  };
  std::vector<uint32_t> screen = ReadScreen(area.x, area.y, area.w, area.h);
  test::SavePng("flower_under_button", screen, area.w, area.h);
  std::string first;
  int button_pixels = 0, flower_pixels_under_holes = 0;
  int wrong = Mismatches(
      screen, area,
      [&](int x, int y) {
        if (auto b = button_pixel(x, y)) {
          ++button_pixels;
          return *b;  // the button above keeps its pixels: the drawing is clipped
        }
        if (auto f = flower_pixel(x, y)) {
          if (place.Contains(x, y)) ++flower_pixels_under_holes;
          return *f;
        }
        return test::TileAt(background, x, y);
      },
      &first);
  EXPECT_EQ(wrong, 0) << "before the move: " << first;
  EXPECT_GT(button_pixels, 1000);
  EXPECT_GT(flower_pixels_under_holes, 0) << "the drawing shows through the button's white holes";

  MoveControl(花2, 1300, 700);
  Settle();
  screen = ReadScreen(area.x, area.y, area.w, area.h);
  test::SavePng("flower_after_button_moved", screen, area.w, area.h);
  int not_background = 0, flower_kept_wrong = 0, flower_outside = 0;
  for (int y = area.y; y < area.y + area.h; ++y)
    for (int x = area.x; x < area.x + area.w; ++x) {
      uint32_t shown = screen[static_cast<size_t>(y - area.y) * area.w + (x - area.x)];
      if (button_pixel(x, y)) {
        // Uncovered by the move: the background, never the drawing.
        not_background += shown != test::TileAt(background, x, y);
      } else if (!place.Contains(x, y)) {
        if (auto f = flower_pixel(x, y)) {
          ++flower_outside;
          flower_kept_wrong += shown != *f;
        }
      }
    }
  EXPECT_EQ(not_background, 0);
  EXPECT_EQ(flower_kept_wrong, 0) << "the drawing stays where nothing was uncovered";
  EXPECT_GT(flower_outside, 1000);
  WriteProperty(花2, Setting::kVisible, false);
  MoveControl(花2, 400, 128, 120, 80);
  Settle();
}

}  // namespace
}  // namespace gs
