// CaptureScreen on the real screen: the BMP layout, output sizes, window
// handles, the capture made before the main window shows, and a capture
// that comes back unchanged as the canvas background.

// clang-format off
#include <gtest/gtest.h>  // before any X11 header: Xlib's None clashes with it
// clang-format on

#include <X11/Xlib.h>

#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <thread>

#include "media/assets.h"
#include "media/screen.h"
#include "stage/canvas.h"
#include "stage/controls.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "stage/x_connection.h"
#include "tests/canvas/canvas_env.h"
#include "tests/support/virtual_desktop.h"

namespace gs {
namespace {

using test::BmpFile;
using test::Handle;
using test::kScreenH;
using test::kScreenW;
using test::kWorkH;
using test::ReadBmp;
using test::ReadScreen;
using test::Settle;
using test::ShowCanvas;
using test::World;

int64_t Stride(int64_t width) {
  return (24 * width + 31) / 32 * 4;
}

// A canvas with something on it worth capturing.
Image BusyCanvas(uint32_t seed) {
  Image background = test::DarkPattern(kScreenW, kScreenH, seed);
  ShowCanvas(background);
  DrawPicture(画板1, Handle(assets::centrepiece), 700, 300, 400, 400, kWhiteKey);
  DrawPicture(画板1, Handle(assets::flower_01), 100, 100, {}, {}, kWhiteKey);
  WriteTextAt(画板1, 1200, 100, "生日快乐");
  return background;
}

void ExpectLayout(const OwnedByteBlock& bmp, const BmpFile& f, int width, int height,
                  const std::string& what) {
  ASSERT_TRUE(f.ok) << what << ": " << f.error;
  EXPECT_EQ(f.width, width) << what;
  EXPECT_EQ(f.height, height) << what << " (positive: bottom row first)";
  EXPECT_EQ(f.file_size, static_cast<uint32_t>(bmp->length)) << what;
  EXPECT_EQ(bmp->length, 54 + Stride(width) * height) << what;
  EXPECT_EQ(f.pixel_offset, 54u) << what;
  EXPECT_EQ(f.header_size, 40u) << what;
  EXPECT_EQ(f.planes, 1) << what;
  EXPECT_EQ(f.bits, 24) << what;
  EXPECT_EQ(f.compression, 0u) << what;
  EXPECT_EQ(f.image_size, Stride(width) * height) << what;
}

TEST(Capture, TheWholeScreenAsABottomUpTwentyFourBitBmp) {
  const Image background = BusyCanvas(41);
  // The pointer rests on the canvas; it is never part of a capture.
  XWarpPointer(x::Dpy(), None, x::Root(), 0, 0, 0, 0, 900, 800);
  XSync(x::Dpy(), False);
  OwnedByteBlock bmp = CaptureScreen();
  ASSERT_TRUE(bmp);
  const std::vector<uint32_t> screen = ReadScreen(0, 0, kScreenW, kScreenH);
  BmpFile f = ReadBmp(bmp.get());
  ExpectLayout(bmp, f, kScreenW, kScreenH, "whole screen");
  EXPECT_TRUE(f.pixels == screen) << "the capture is the screen, pixel for pixel";
  // The first stored row is the bottom one (the strip), in blue, green, red order.
  const uint8_t* first_row = bmp->bytes() + 54;
  uint32_t bottom_left = screen[static_cast<size_t>(kScreenH - 1) * kScreenW];
  EXPECT_EQ(first_row[0] | first_row[1] << 8 | first_row[2] << 16, static_cast<int>(bottom_left));
  EXPECT_EQ(bottom_left, test::kStripColour);
  int pointer_area_wrong = 0;
  for (int y = 780; y < 830; ++y)
    for (int x = 880; x < 930; ++x)
      pointer_area_wrong +=
          f.pixels[static_cast<size_t>(y) * kScreenW + x] != test::TileAt(background, x, y);
  EXPECT_EQ(pointer_area_wrong, 0) << "no pointer in the capture";
}

// Each output pixel against the mean of the screen pixels it stands for.
int WorstBlockError(const std::vector<uint32_t>& screen, const BmpFile& f, int factor) {
  int worst = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      std::array<int, 3> sum{};
      for (int v = 0; v < factor; ++v)
        for (int u = 0; u < factor; ++u) {
          uint32_t p = screen[static_cast<size_t>(y * factor + v) * kScreenW + x * factor + u];
          for (int k = 0; k < 3; ++k) sum[k] += p >> (16 - 8 * k) & 0xFF;
        }
      uint32_t got = f.pixels[static_cast<size_t>(y) * f.width + x];
      for (int k = 0; k < 3; ++k) {
        int mean = (sum[k] + factor * factor / 2) / (factor * factor);
        worst = std::max(worst, std::abs(mean - static_cast<int>(got >> (16 - 8 * k) & 0xFF)));
      }
    }
  return worst;
}

TEST(Capture, OutputSizesAndPercentages) {
  BusyCanvas(42);
  const std::vector<uint32_t> screen = ReadScreen(0, 0, kScreenW, kScreenH);
  struct Case {
    const char* name;
    std::optional<int32_t> width, height;
    int expect_w, expect_h;
    int averaged;  // when > 0: each pixel is the mean of this many squared
  };
  const Case cases[] = {
      {"omitted", {}, {}, 1920, 1080, 1},
      {"0 means the source's own", 0, 0, 1920, 1080, 1},
      {"-100 is the source's own", -100, -100, 1920, 1080, 1},
      {"-50 gives half", -50, -50, 960, 540, 2},
      {"-5 is raised to 10 per cent", -5, -5, 192, 108, 10},
      {"-1 and -10 both give 10 per cent", -1, -10, 192, 108, 10},
      {"-33 rounds to the nearest pixel", -33, -33, 634, 356, 0},
      {"-150 enlarges", -150, 0, 2880, 1080, 0},
      {"width only", 640, {}, 640, 1080, 0},
      {"a width whose rows need padding", 333, 3, 333, 3, 0},
      {"one pixel", 1, 1, 1, 1, 0},
  };
  for (const Case& c : cases) {
    OwnedByteBlock bmp = CaptureScreen({}, c.width, c.height);
    ASSERT_TRUE(bmp) << c.name;
    BmpFile f = ReadBmp(bmp.get());
    ExpectLayout(bmp, f, c.expect_w, c.expect_h, c.name);
    if (!f.ok) continue;
    if (c.averaged == 1) {
      EXPECT_TRUE(f.pixels == screen) << c.name;
    } else if (c.averaged > 1) {
      EXPECT_LE(WorstBlockError(screen, f, c.averaged), 2) << c.name;
    }
  }
  struct Empty {
    const char* name;
    std::optional<int32_t> width, height;
  };
  const Empty empties[] = {
      {"larger than a byte value can hold", 100000, 100000},
      {"the largest width", std::numeric_limits<int32_t>::max(), 1},
      {"the most negative percentages", std::numeric_limits<int32_t>::min(),
       std::numeric_limits<int32_t>::min()},
  };
  for (const Empty& e : empties) EXPECT_FALSE(CaptureScreen({}, e.width, e.height)) << e.name;
}

// An undecorated window of the given size on the screen, for small captures.
Window TinyWindow(int x, int y, int w, int h) {
  Display* display = World().probe;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = 0x336699;
  Window window =
      XCreateWindow(display, DefaultRootWindow(display), x, y, w, h, 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, window);
  XSync(display, False);
  return window;
}

TEST(Capture, WindowHandles) {
  Display* probe = World().probe;
  // A handle that names no window gives nothing.
  Pixmap pixmap = XCreatePixmap(probe, DefaultRootWindow(probe), 8, 8, 24);
  XSync(probe, False);
  const int64_t nothing[] = {1, 0x7FFFFFFF, -5, 0x100000001LL, static_cast<int64_t>(pixmap)};
  for (int64_t handle : nothing) EXPECT_FALSE(CaptureScreen(handle)) << "handle " << handle;
  XFreePixmap(probe, pixmap);

  // A child control: its own rectangle.
  const Image picture = test::DarkPattern(300, 200, 43);
  ShowCanvas(picture, 50, 40, 300, 200);
  OwnedByteBlock canvas_bmp = CaptureScreen(FindControl(画板1.control_id)->xwin);
  ASSERT_TRUE(canvas_bmp);
  BmpFile canvas = ReadBmp(canvas_bmp.get());
  ExpectLayout(canvas_bmp, canvas, 300, 200, "the canvas");
  EXPECT_TRUE(canvas.pixels == picture.pixels) << "the canvas's own pixels";
  MoveControl(画板1, 0, 0, kScreenW, kScreenH);

  // A tiny window: a percentage that rounds to nothing gives nothing.
  Window tiny = TinyWindow(10, 10, 4, 4);
  EXPECT_FALSE(CaptureScreen(tiny, -10, 0)) << "4 x 10% rounds to 0";
  OwnedByteBlock one = CaptureScreen(tiny, -20, 0);
  ASSERT_TRUE(one) << "4 x 20% rounds to 1";
  EXPECT_EQ(ReadBmp(one.get()).width, 1);
  XDestroyWindow(probe, tiny);

  // Another program's window, with the frame the window manager gave it. Our
  // window stays above everything, so it goes out of the way first.
  WriteProperty(窗口, Setting::kVisible, false);
  Settle();
  const test::CanvasWorld& w = World();
  // The window manager takes its frame away in its own time.
  for (int i = 0; i < 200; ++i) {
    std::vector<uint32_t> pixel = ReadScreen(w.foreign_x + 10, w.foreign_y + 10, 1, 1);
    if (!pixel.empty() && pixel[0] == 0xC03020u) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GT(w.frame_h, w.foreign_h) << "the window manager framed the window";
  OwnedByteBlock framed = CaptureScreen(static_cast<int64_t>(w.foreign));
  ASSERT_TRUE(framed);
  BmpFile f = ReadBmp(framed.get());
  ExpectLayout(framed, f, w.frame_w, w.frame_h, "the framed window");
  EXPECT_TRUE(f.pixels == ReadScreen(w.frame_x, w.frame_y, w.frame_w, w.frame_h));
  test::SavePng("captured_foreign_window", f.pixels, f.width, f.height);
  const int cx = w.foreign_x - w.frame_x, cy = w.foreign_y - w.frame_y;
  EXPECT_EQ(f.pixels[static_cast<size_t>(cy + 10) * f.width + cx + 10], 0xC03020u) << "top band";
  EXPECT_EQ(f.pixels[static_cast<size_t>(cy + 190) * f.width + cx + 10], 0xE0C020u)
      << "bottom band";
  OwnedByteBlock half = CaptureScreen(static_cast<int64_t>(w.foreign), -50, -50);
  ASSERT_TRUE(half);
  EXPECT_EQ(ReadBmp(half.get()).width, (w.frame_w + 1) / 2);
  EXPECT_EQ(ReadBmp(half.get()).height, (w.frame_h + 1) / 2);
  WriteProperty(窗口, Setting::kVisible, true);
  Settle();
}

TEST(Capture, TheCaptureMadeBeforeTheWindowShowsHasNoTraceOfIt) {
  EXPECT_FALSE(World().window_mapped_in_created);
  ASSERT_TRUE(World().capture_in_created);
  BmpFile before = ReadBmp(World().capture_in_created.get());
  ASSERT_TRUE(before.ok) << before.error;
  EXPECT_TRUE(before.pixels == World().desktop_before_load)
      << "the capture in the created event is the desktop as it was";
  // Once shown, the window covers the desktop.
  BusyCanvas(44);
  BmpFile after = ReadBmp(CaptureScreen().get());
  ASSERT_TRUE(after.ok);
  int covered = 0;
  for (size_t i = 0; i < static_cast<size_t>(kScreenW) * kWorkH; ++i)
    covered += after.pixels[i] != before.pixels[i];
  EXPECT_GT(covered, kScreenW * kWorkH / 2);
}

TEST(Capture, ACaptureMadeTheBackgroundReadsBackUnchanged) {
  BusyCanvas(45);
  OwnedByteBlock capture = CaptureScreen();
  ASSERT_TRUE(capture);
  BmpFile f = ReadBmp(capture.get());
  ASSERT_TRUE(f.ok);
  ShowCanvas(test::LightPattern(kScreenW, kScreenH, 46));
  WriteProperty(画板1, Setting::kBackgroundPicture, capture.get());
  capture.reset();
  ClearCanvas(画板1);
  const std::vector<uint32_t> window_part(
      f.pixels.begin(), f.pixels.begin() + static_cast<ptrdiff_t>(kScreenW) * kWorkH);
  EXPECT_TRUE(ReadScreen(0, 0, kScreenW, kWorkH) == window_part) << "after the clear";
  // And after a repaint by the event loop.
  WriteProperty(花3, Setting::kVisible, true);
  MoveControl(花3, 600, 400);
  Settle();
  WriteProperty(花3, Setting::kVisible, false);
  Settle();
  EXPECT_TRUE(ReadScreen(0, 0, kScreenW, kWorkH) == window_part) << "after a repaint";
  MoveControl(花3, 200, 264);
}

}  // namespace
}  // namespace gs
