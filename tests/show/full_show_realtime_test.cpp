// The shipped program at real speed on a private desktop with a window
// manager, a 40-pixel strip and a sound server: what it shows at each
// checkpoint, what it plays, how long it takes, and how it ends.
// Screenshots are kept in test-artifacts/ of the build directory.
#include <gtest/gtest.h>

// Xlib after the test framework: its macros clash with names there.
#include <X11/Xlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "media/assets.h"
#include "tests/show/show_process.h"
#include "tests/support/virtual_desktop.h"
#include "tests/support/x_probe.h"

namespace gs::test {
namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}
void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct Frame {
  std::vector<uint32_t> pixels;
  int width = 1920, height = 1080;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Frame Grab(const std::string& name) {
  XConnection x(nullptr);
  Frame f;
  f.pixels = ReadRootPixels(x.get(), 0, 0, f.width, f.height);
  if (!f.pixels.empty()) WritePng(ArtifactPath(name), f.pixels, f.width, f.height);
  return f;
}

// Share of pixels in a rectangle that differ between two frames.
double Changed(const Frame& a, const Frame& b, int x0, int y0, int w, int h) {
  if (a.pixels.empty() || b.pixels.empty()) return -1;
  size_t changed = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) changed += a.at(x, y) != b.at(x, y);
  return static_cast<double>(changed) / (static_cast<double>(w) * h);
}

// Paints a recognisable "desktop": a window with colour bands.
Window OpenDesktopWindow(Display* display) {
  Window w =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 200, 150, 900, 600, 0, 0, 0x204060);
  XMapWindow(display, w);
  XSync(display, False);
  Sleep(300);
  GC gc = XCreateGC(display, w, 0, nullptr);
  for (int band = 0; band < 12; ++band) {
    XSetForeground(display, gc, 0x101010u * static_cast<unsigned>(band) + 0x3060A0u);
    XFillRectangle(display, w, gc, 0, band * 50, 900, 50);
  }
  XFreeGC(display, gc);
  XSync(display, False);
  return w;
}

TEST(ShippedProgram, PlaysTheWholeShowAtRealSpeed) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  XConnection x(nullptr);
  ASSERT_NE(x.get(), nullptr);
  Window desktop_window = OpenDesktopWindow(x.get());
  (void)desktop_window;
  Frame before = Grab("00-desktop.png");
  ASSERT_FALSE(before.pixels.empty());
  desktop.ClearRecording();

  Clock::time_point start = Clock::now();
  ShowProcess show(ShippedPath(), 1.0, "shipped");
  ASSERT_TRUE(show.started());

  // 1. The window appears and the screen looks unchanged.
  int wx = 0, wy = 0, ww = 0, wh = 0;
  while (!ShowWindowRect(&wx, &wy, &ww, &wh) && Seconds(start, Clock::now()) < 10) Sleep(2);
  ASSERT_EQ(std::vector<int>({wx, wy, ww, wh}), std::vector<int>({0, 0, 1920, 1080}));
  Clock::time_point shown = Clock::now();
  Frame appeared = Grab("01-window-shown.png");
  // Only the first stamp of the first heart may be there yet (at 886, 360).
  size_t differing = 0;
  for (int y = 0; y < 1080; ++y)
    for (int x0 = 0; x0 < 1920; ++x0) {
      bool first_stamp = x0 >= 886 && x0 < 886 + 147 && y >= 360 && y < 360 + 90;
      if (!first_stamp && appeared.at(x0, y) != before.at(x0, y)) ++differing;
    }
  EXPECT_EQ(differing, 0u) << "the desktop must look unchanged when the window appears";

  // 2. A heart of flowers (the first one is complete after 7.5 s).
  Sleep(8200 - static_cast<int>(Seconds(shown, Clock::now()) * 1000));
  Frame heart = Grab("02-first-heart.png");
  const int stamps[][2] = {{886, 360}, {666, 100}, {480, 100}, {315, 295}, {873, 685}, {1457, 295}};
  for (auto& s : stamps)
    EXPECT_GT(Changed(before, heart, s[0] + 20, s[1] + 10, 100, 60), 0.2) << s[0] << "," << s[1];

  // 3. The opening ends: the window shrinks to the work area and the loop starts.
  Clock::time_point loop_started;
  while (Seconds(start, Clock::now()) < 120) {
    if (ShowWindowRect(&wx, &wy, &ww, &wh) && wh == 1040) break;
    Sleep(20);
  }
  loop_started = Clock::now();
  EXPECT_EQ(std::vector<int>({wx, wy, ww, wh}), std::vector<int>({0, 0, 1920, 1040}));
  double opening = Seconds(start, loop_started);
  Sleep(300);
  Frame frozen = Grab("03-frozen-composition.png");
  // Cards and the centre picture at their places.
  const int boxes[][4] = {{288, 87, 250, 250},
                          {1280, 87, 250, 250},
                          {288, 720, 250, 250},
                          {1280, 720, 250, 250},
                          {640, 270, 400, 400}};
  for (auto& b : boxes) EXPECT_GT(Changed(before, frozen, b[0], b[1], b[2], b[3]), 0.15) << b[0];
  // The strip's rows are no longer covered.
  EXPECT_EQ(frozen.at(960, 1060), before.at(960, 1060));

  // 4. Falling flowers move while the loop idles.
  Sleep(4000);
  Frame fall1 = Grab("04-falling-flowers-1.png");
  Sleep(700);
  Frame fall2 = Grab("05-falling-flowers-2.png");
  EXPECT_GT(Changed(fall1, fall2, 0, 0, 1920, 1040), 0.005);

  // 5. The bursts, after the 30th tick.
  // The 30th tick comes about 30 s into the loop; a burst lays 9 flowers every 0.5 s.
  Sleep(static_cast<int>((36.0 - Seconds(loop_started, Clock::now())) * 1000));
  Frame bursts = Grab("06-bursts.png");
  EXPECT_GT(Changed(frozen, bursts, 0, 0, 1920, 1040), 0.05);
  Sleep(37000);
  Frame later = Grab("07-bursts-later.png");
  EXPECT_GT(Changed(frozen, later, 0, 0, 1920, 1040), 0.5) << "ten bursts pile up";

  // 6. The end.
  int status = show.Wait(60000);
  Clock::time_point ended = Clock::now();
  ASSERT_GE(status, 0) << "still running";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << show.Log();
  double total = Seconds(start, ended);
  // Delays alone: 9 + 31.5 + 15 + 3 + 0.8 s of opening, about 30 s to the
  // 30th tick, 55 s of bursts and 1 s to the end: 145.3 s, plus drawing.
  const double expected = 147.0;
  std::printf("[ timing   ] opening %.1f s, total %.1f s (expected about %.0f s)\n", opening, total,
              expected);
  EXPECT_GT(total, expected * 0.9);
  EXPECT_LT(total, expected * 1.1);
  Grab("08-after-the-end.png");
  EXPECT_EQ(FindShowWindow(), 0u);

  // 7. The sound: intro_tune, sample for sample, during the opening; then silence.
  std::vector<int16_t> recording = desktop.Recording(200);
  const uint8_t* tune = assets::intro_tune.bytes() + 44;
  size_t first = 0;
  while (first < recording.size() && recording[first] == 0) ++first;
  ASSERT_LT(first, recording.size()) << "nothing was heard";
  size_t tune_first = 0;
  while (tune[tune_first] == 128) ++tune_first;
  size_t compared = 0, equal = 0;
  for (size_t i = 0; i < 8000 * 5 && first + i < recording.size(); ++i, ++compared)
    equal += recording[first + i] == static_cast<int16_t>((tune[tune_first + i] - 128) * 256);
  EXPECT_EQ(equal, compared) << "the first five seconds of the tune come out exactly";
  double heard_seconds = static_cast<double>(recording.size() - first) / 8000.0;
  size_t loud_after_opening = 0;
  size_t opening_end = first + static_cast<size_t>((opening - Seconds(start, shown) + 0.5) * 8000);
  for (size_t i = opening_end; i < recording.size(); ++i) loud_after_opening += recording[i] != 0;
  std::printf("[ sound    ] first sample at %.2f s of the recording, %.1f s recorded after it\n",
              first / 8000.0, heard_seconds);
  EXPECT_EQ(loud_after_opening, 0u) << "silence after the tune change";
}

}  // namespace
}  // namespace gs::test
