// The canvas background: clearing, when a new picture shows, rectangles of
// ClearCanvas, bytes that do not decode, display modes and the background
// colour, a picture as large as the canvas and tiling after moves and resizes.

// clang-format off
#include <gtest/gtest.h>  // before any X11 header: Xlib's None clashes with it
// clang-format on

#include <algorithm>
#include <optional>
#include <string>

#include "media/assets.h"
#include "stage/canvas.h"
#include "stage/canvas_internal.h"
#include "stage/controls.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "stage/x_connection.h"
#include "tests/canvas/canvas_env.h"

namespace gs {
namespace {

using test::Handle;
using test::kScreenH;
using test::kScreenW;
using test::kWorkH;
using test::ReadScreen;
using test::Settle;
using test::ShowCanvas;
using test::TileAt;

constexpr uint32_t kFaceRgb = 0xEFEBE7;

CanvasState& State() {
  return *FindControl(画板1.control_id)->canvas;
}

// Compares a screen block read at (x0, y0) with expected(x, y); returns the
// number of differing pixels and describes the first.
template <typename F>
int Differences(const std::vector<uint32_t>& screen, int x0, int y0, int w, int h, F expected,
                std::string* first) {
  int count = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t shown = screen[static_cast<size_t>(y) * w + x];
      uint32_t want = expected(x0 + x, y0 + y);
      if (shown == want) continue;
      if (!count++ && first)
        *first = "first at " + std::to_string(x0 + x) + "," + std::to_string(y0 + y);
    }
  return count;
}

std::vector<uint32_t> WholeWindow() {
  return ReadScreen(0, 0, kScreenW, kWorkH);
}

TEST(CanvasBackground, ClearingBringsBackExactlyTheBackground) {
  const Image background = test::DarkPattern(kScreenW, kScreenH, 21);
  ShowCanvas(background);
  // A heart's worth of flowers and a line of text, then a clear.
  for (int i = 0; i < 40; ++i)
    DrawPicture(画板1, Handle(assets::flower_02), (i * 97) % 1800, (i * 53) % 950, {}, {},
                kWhiteKey);
  DrawPicture(画板1, Handle(assets::card_1), 300, 200, 250, 250, kWhiteKey);
  WriteTextAt(画板1, 100, 100, "生日快乐");
  std::vector<uint32_t> drawn = WholeWindow();
  std::string first;
  EXPECT_GT(Differences(
                drawn, 0, 0, kScreenW, kWorkH,
                [&](int x, int y) { return TileAt(background, x, y); }, nullptr),
            10000);
  ClearCanvas(画板1);
  std::vector<uint32_t> cleared = WholeWindow();
  EXPECT_EQ(Differences(
                cleared, 0, 0, kScreenW, kWorkH,
                [&](int x, int y) { return TileAt(background, x, y); }, &first),
            0)
      << first;
}

TEST(CanvasBackground, ANewPictureShowsAtTheNextClearOrRepaintAndNotBefore) {
  const Image a = test::DarkPattern(kScreenW, kScreenH, 22);
  const Image b = test::LightPattern(kScreenW, kScreenH, 23);
  ShowCanvas(a);
  DrawPicture(画板1, Handle(assets::flower_01), 400, 300, {}, {}, kWhiteKey);
  const std::vector<uint32_t> with_flower = WholeWindow();
  auto is = [](const Image& image) {
    return [&image](int x, int y) { return TileAt(image, x, y); };
  };
  std::string first;

  // Written, not cleared: the screen stays as it was, drawing included. The
  // caller's copy of the bytes may go at once.
  OwnedByteBlock bytes = test::MakeBmp(b);
  WriteProperty(画板1, Setting::kBackgroundPicture, bytes.get());
  bytes.reset();
  EXPECT_EQ(WholeWindow(), with_flower) << "changed before any repaint";
  // A clear shows it at once, before the event loop has run.
  ClearCanvas(画板1);
  EXPECT_EQ(Differences(WholeWindow(), 0, 0, kScreenW, kWorkH, is(b), &first), 0) << first;

  // Written again and not cleared: the event loop's repaint shows it.
  bytes = test::MakeBmp(a);
  WriteProperty(画板1, Setting::kBackgroundPicture, bytes.get());
  bytes.reset();
  EXPECT_EQ(Differences(WholeWindow(), 0, 0, kScreenW, kWorkH, is(b), &first), 0)
      << "changed before the repaint: " << first;
  ProcessEvents();
  EXPECT_EQ(Differences(WholeWindow(), 0, 0, kScreenW, kWorkH, is(a), &first), 0)
      << "after the repaint: " << first;
}

TEST(CanvasBackground, ClearWithARectanglePaintsOnlyThatRectangle) {
  const Image before = test::LightPattern(kScreenW, kScreenH, 24);
  const Image after = test::DarkPattern(kScreenW, kScreenH, 25);
  struct Rect {
    int x, y, w, h;
  };
  struct Case {
    const char* name;
    std::optional<int32_t> left, top, width, height;
    Rect painted;  // in canvas (and screen) coordinates; empty: nothing
  };
  const Case cases[] = {
      {"left and top move the corner, the far edges stay", 100, 50, {}, {}, {100, 50, 1820, 1030}},
      {"all four", 100, 50, 200, 80, {100, 50, 200, 80}},
      {"width only", {}, {}, 200, {}, {0, 0, 200, kScreenH}},
      {"height only", {}, {}, {}, 30, {0, 0, kScreenW, 30}},
      {"top and height", {}, 300, {}, 25, {0, 300, kScreenW, 25}},
      {"left beyond the canvas's left edge", -20, 10, 50, 40, {-20, 10, 50, 40}},
      {"left only", 1900, {}, {}, {}, {1900, 0, 20, kScreenH}},
      {"left far beyond the canvas paints nothing", 65536 + 100, 0, 50, 50, {0, 0, 0, 0}},
      {"a width beyond 16 bits", 0, 0, 65536 + 100, 20, {0, 0, kScreenW, 20}},
      {"zero width paints nothing", 100, 100, 0, 50, {0, 0, 0, 0}},
      {"negative height paints nothing", 100, 100, 50, -5, {0, 0, 0, 0}},
  };
  ShowCanvas(before);
  OwnedByteBlock before_bytes = test::MakeBmp(before);
  OwnedByteBlock after_bytes = test::MakeBmp(after);
  for (const Case& c : cases) {
    WriteProperty(画板1, Setting::kBackgroundPicture, before_bytes.get());
    ClearCanvas(画板1);
    // The new picture is set but not yet shown: only the clear shows it.
    WriteProperty(画板1, Setting::kBackgroundPicture, after_bytes.get());
    ClearCanvas(画板1, c.left, c.top, c.width, c.height);
    std::string first;
    int wrong = Differences(
        WholeWindow(), 0, 0, kScreenW, kWorkH,
        [&](int x, int y) {
          bool inside = x >= c.painted.x && x < c.painted.x + c.painted.w && y >= c.painted.y &&
                        y < c.painted.y + c.painted.h;
          return TileAt(inside ? after : before, x, y);
        },
        &first);
    EXPECT_EQ(wrong, 0) << c.name << ": " << first;
  }
  Settle();
}

TEST(CanvasBackground, BytesThatDoNotDecodeAreDroppedAtTheFirstPaint) {
  OwnedByteBlock good = test::MakeBmp(test::DarkPattern(100, 100, 26));
  OwnedByteBlock cut = CopyToByteBlock(good->bytes(), 200);
  const std::string text = "not a picture at all";
  OwnedByteBlock words = CopyToByteBlock(reinterpret_cast<const uint8_t*>(text.data()),
                                         static_cast<int64_t>(text.size()));
  const uint8_t gif_head[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0};
  OwnedByteBlock gif = CopyToByteBlock(gif_head, sizeof gif_head);
  OwnedByteBlock empty = MakeByteBlock(0);
  struct Case {
    const char* name;
    const ByteBlock* bytes;
    bool kept_until_painted;
  };
  const Case cases[] = {
      {"text", words.get(), true},
      {"a BMP cut short", cut.get(), true},
      {"a bare GIF signature", gif.get(), true},
      {"empty bytes remove the picture", empty.get(), false},
      {"no bytes remove the picture", nullptr, false},
  };
  for (const Case& c : cases) {
    ShowCanvas(test::DarkPattern(kScreenW, kScreenH, 27));
    WriteProperty(画板1, Setting::kBackgroundPicture, c.bytes);
    EXPECT_EQ(static_cast<bool>(State().bytes), c.kept_until_painted) << c.name;
    ClearCanvas(画板1);
    EXPECT_FALSE(State().bytes) << c.name << ": discarded once painting needed them";
    std::vector<uint32_t> screen = WholeWindow();
    EXPECT_EQ(std::count(screen.begin(), screen.end(), kFaceRgb),
              static_cast<ptrdiff_t>(screen.size()))
        << c.name << ": the face colour everywhere";
    Settle();
  }
}

TEST(CanvasBackground, DisplayModesPlaceThePictureOverTheBackgroundColour) {
  Control* canvas = FindControl(画板1.control_id);
  const int cx = 50, cy = 40, cw = 500, ch = 300;
  struct Case {
    const char* name;
    int32_t mode;
    uint32_t colour_value;
    int pw, ph;
    int x, y, w, h;  // where the picture lands, relative to the canvas
    uint32_t rest_rgb;
  };
  const Case cases[] = {
      {"0: top-left on the face colour", 0, 0xFF000000u, 97, 61, 0, 0, 97, 61, kFaceRgb},
      {"0: a colour value is blue, green, red", 0, 0x00FF0000u, 97, 61, 0, 0, 97, 61, 0x0000FF},
      {"0: larger than the canvas is cut at its edges", 0, 0x0000FF00u, 700, 400, 0, 0, 500, 300,
       0x00FF00},
      {"2: centred at its own size", 2, 0x000080FFu, 97, 61, 201, 119, 97, 61, 0xFF8000},
      {"2: too wide, shrunk by one factor", 2, 0xFF000000u, 800, 150, 0, 103, 500, 93, kFaceRgb},
      {"2: too tall, shrunk by one factor", 2, 0xFF000000u, 600, 600, 100, 0, 300, 300, kFaceRgb},
  };
  for (const Case& c : cases) {
    // Dark: never the rest colour, nor an average that could be.
    const Image picture = test::DarkPattern(c.pw, c.ph, 28);
    MoveControl(画板1, cx, cy, cw, ch);
    CanvasSetDisplayMode(canvas, c.mode);
    CanvasSetBackColour(canvas, c.colour_value);
    OwnedByteBlock bytes = test::MakeBmp(picture);
    WriteProperty(画板1, Setting::kBackgroundPicture, bytes.get());
    ClearCanvas(画板1);
    Settle();
    std::vector<uint32_t> screen = ReadScreen(cx, cy, cw, ch);
    const bool own_size = c.w == std::min(c.pw, cw) && c.h == std::min(c.ph, ch);
    int wrong = 0, inside = 0, rest = 0;
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) {
        uint32_t shown = screen[static_cast<size_t>(y) * cw + x];
        bool in = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h;
        if (own_size) {
          uint32_t want =
              in ? picture.pixels[static_cast<size_t>(y - c.y) * c.pw + (x - c.x)] : c.rest_rgb;
          wrong += shown != want;
        } else {
          // Shrunk: a one-pixel margin for the rounding of the shrunk size.
          bool core = x > c.x && x < c.x + c.w - 1 && y > c.y && y < c.y + c.h - 1;
          bool outer = x < c.x - 1 || x > c.x + c.w || y < c.y - 1 || y > c.y + c.h;
          if (core) wrong += (shown & 0xC0C0C0) != 0;
          if (outer) wrong += shown != c.rest_rgb;
        }
        inside += in;
        rest += shown == c.rest_rgb;
      }
    EXPECT_EQ(wrong, 0) << c.name;
    if (c.w < cw || c.h < ch) {
      EXPECT_GT(rest, 0) << c.name;
    }
    // An exposure by a control moving over and away paints the same again.
    MoveControl(花3, cx + 20, cy + 10, 120, 112);
    WriteProperty(花3, Setting::kVisible, true);
    Settle();
    MoveControl(花3, 1500, 700);
    Settle();
    EXPECT_EQ(ReadScreen(cx, cy, cw, ch), screen) << c.name << ": after an exposure";
    WriteProperty(花3, Setting::kVisible, false);
    MoveControl(花3, 200, 264, 120, 112);
  }
  CanvasSetDisplayMode(canvas, 1);
  CanvasSetBackColour(canvas, kFaceColourValue);
  MoveControl(画板1, 0, 0, kScreenW, kScreenH);
  Settle();
}

TEST(CanvasBackground, APictureAsLargeAsTheCanvasShowsOncePixelForPixel) {
  const Image picture = test::DarkPattern(300, 200, 29);
  ShowCanvas(picture, 50, 40, 300, 200);
  std::string first;
  EXPECT_EQ(
      Differences(
          ReadScreen(50, 40, 300, 200), 0, 0, 300, 200,
          [&](int x, int y) { return picture.pixels[static_cast<size_t>(y) * 300 + x]; }, &first),
      0)
      << first;
  MoveControl(画板1, 0, 0, kScreenW, kScreenH);
  Settle();
}

TEST(CanvasBackground, ASmallPictureTilesFromTheCanvasCornerAfterMovesAndResizes) {
  const Image tile = test::DarkPattern(97, 61, 30);
  ShowCanvas(tile, 50, 40, 500, 300);
  struct Geometry {
    const char* name;
    int x, y, w, h;
    bool resized;
  };
  const Geometry steps[] = {
      {"as first shown", 50, 40, 500, 300, false}, {"moved and resized", 123, 77, 420, 260, true},
      {"grown", 123, 77, 610, 355, true},          {"shrunk", 123, 77, 130, 70, true},
      {"moved only", 31, 17, 130, 70, false},
  };
  for (const Geometry& g : steps) {
    // A drawing made before a resize is gone with it.
    DrawPicture(画板1, Handle(assets::flower_03), 5, 5, {}, {}, 1);
    MoveControl(画板1, g.x, g.y, g.w, g.h);
    Settle();
    if (!g.resized) ClearCanvas(画板1);
    std::string first;
    EXPECT_EQ(Differences(
                  ReadScreen(g.x, g.y, g.w, g.h), 0, 0, g.w, g.h,
                  [&](int x, int y) { return TileAt(tile, x, y); }, &first),
              0)
        << g.name << ": " << first;
  }
  MoveControl(画板1, 0, 0, kScreenW, kScreenH);
  Settle();
}

}  // namespace
}  // namespace gs
