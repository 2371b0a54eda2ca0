// The main window and its controls on a real X server: load order, stacking,
// shapes, placement, settings, moves and copies.
#include <gtest/gtest.h>

// Xlib after the test framework: its macros clash with names there.
#include <X11/Xlib.h>

#include <algorithm>

#include "core/timing.h"
#include "media/assets.h"
#include "stage/canvas.h"
#include "stage/controls.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "stage/x_connection.h"
#include "tests/stage/stage_env.h"
#include "tests/support/virtual_desktop.h"
#include "tests/support/x_probe.h"

namespace gs {
namespace {

Window XWindowOf(ControlRef ref) {
  Control* c = FindControl(ref.control_id);
  return c ? c->xwin : 0;
}

bool Mapped(ControlRef ref) {
  XWindowAttributes a{};
  XGetWindowAttributes(x::Dpy(), XWindowOf(ref), &a);
  return a.map_state != IsUnmapped;
}

// Children of the main window from the bottom of the stack to the top.
std::vector<Window> StackBottomToTop() {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(x::Dpy(), XWindowOf(窗口), &root, &parent, &children, &count);
  std::vector<Window> out(children, children + count);
  if (children) XFree(children);
  return out;
}

struct LoadObservation {
  bool window_mapped = true;
  bool canvas_mapped = false;
  bool others_mapped = true;
} g_at_created;

void ObserveAtCreated() {
  g_at_created.window_mapped = Mapped(窗口);
  g_at_created.canvas_mapped = Mapped(画板1);
  g_at_created.others_mapped =
      Mapped(标签1) || Mapped(花1) || Mapped(花2) || Mapped(花3) || Mapped(花4) || Mapped(花5);
}

class StageWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HandlerTable handlers;
    handlers.created = ObserveAtCreated;
    LoadWindow(MainWindowDesign(), handlers);
    ProcessEvents();
  }
};

TEST_F(StageWindow, BeforeTheCreatedEventOnlyTheCanvasIsShown) {
  EXPECT_FALSE(g_at_created.window_mapped);
  EXPECT_TRUE(g_at_created.canvas_mapped);
  EXPECT_FALSE(g_at_created.others_mapped);
}

TEST_F(StageWindow, ShownMaximisedOverTheWorkAreaOfItsMonitor) {
  const test::DesktopOptions& d = test::StageDesktop();
  int expect_y = d.strip && d.strip_at_top ? d.strip_size : 0;
  int expect_h = d.height - (d.strip ? d.strip_size : 0);
  if (!d.window_manager) {
    // Nothing reserves space without a window manager: the whole monitor.
    expect_y = 0;
    expect_h = d.height;
  }
  XSync(x::Dpy(), False);
  int rx = 0, ry = 0;
  Window child = 0;
  XTranslateCoordinates(x::Dpy(), XWindowOf(窗口), x::Root(), 0, 0, &rx, &ry, &child);
  XWindowAttributes a{};
  XGetWindowAttributes(x::Dpy(), XWindowOf(窗口), &a);
  EXPECT_EQ(std::vector<int>({rx, ry, a.width, a.height}),
            std::vector<int>({0, expect_y, d.width, expect_h}));
  EXPECT_EQ(ReadProperty(窗口, Setting::kWidth), d.width);
  EXPECT_EQ(ReadProperty(窗口, Setting::kHeight), expect_h);
}

TEST_F(StageWindow, StackingFollowsTheDescriptionAndCopiesGoBelowTheirSource) {
  std::vector<Window> expected = {XWindowOf(画板1), XWindowOf(花2), XWindowOf(花3),  XWindowOf(花1),
                                  XWindowOf(花4),   XWindowOf(花5), XWindowOf(标签1)};
  EXPECT_EQ(StackBottomToTop(), expected);
  // Moving the source first: the copy still takes the design place.
  WriteProperty(花1, Setting::kTop, 500);
  std::vector<ControlRef> copies;
  for (int i = 0; i < 4; ++i) {
    ControlRef copy = 花1;
    ASSERT_TRUE(CopyControl(花1, copy));
    EXPECT_NE(copy, 花1);
    EXPECT_EQ(copy.window_id, kMainWindowId);
    for (const ControlRef& earlier : copies) EXPECT_NE(copy.control_id, earlier.control_id);
    EXPECT_FALSE(Mapped(copy));
    EXPECT_EQ(ReadProperty(copy, Setting::kLeft), 240);
    EXPECT_EQ(ReadProperty(copy, Setting::kTop), 144);
    EXPECT_EQ(ReadProperty(copy, Setting::kWidth), 112);
    EXPECT_EQ(ReadProperty(copy, Setting::kHeight), 128);
    copies.push_back(copy);
  }
  // Bottom to top: oldest copy ... newest copy, then the source.
  expected = {XWindowOf(画板1),     XWindowOf(花2),       XWindowOf(花3),
              XWindowOf(copies[0]), XWindowOf(copies[1]), XWindowOf(copies[2]),
              XWindowOf(copies[3]), XWindowOf(花1),       XWindowOf(花4),
              XWindowOf(花5),       XWindowOf(标签1)};
  EXPECT_EQ(StackBottomToTop(), expected);
  WriteProperty(copies[3], Setting::kVisible, true);
  XSync(x::Dpy(), False);
  EXPECT_TRUE(Mapped(copies[3]));
  EXPECT_EQ(StackBottomToTop(), expected) << "showing does not restack";
  WriteProperty(花1, Setting::kTop, 144);
}

TEST_F(StageWindow, CopyControlRefusesWhatItCannotCopy) {
  ControlRef copy_of_label = 标签1;
  ASSERT_TRUE(CopyControl(标签1, copy_of_label));
  struct Case {
    const char* name;
    ControlRef source;
    ControlRef target;
  };
  ControlRef runtime_copy = 花2;
  ASSERT_TRUE(CopyControl(花2, runtime_copy));
  const Case cases[] = {
      {"the window itself", 窗口, 花1},
      {"window id 0", {0, 花1.control_id}, 花1},
      {"unknown window", {99, 花1.control_id}, 花1},
      {"control id 0", {kMainWindowId, 0}, 花1},
      {"no such control", {kMainWindowId, 999999}, 花1},
      {"a run-time copy", runtime_copy, 花2},
      {"target of another kind", 花1, copy_of_label},
  };
  for (const Case& c : cases) {
    ControlRef target = c.target;
    EXPECT_FALSE(CopyControl(c.source, target)) << c.name;
    EXPECT_EQ(target, c.target) << c.name;
  }
}

TEST_F(StageWindow, GeometryWritesAreClampedAndMovesKeepWhatIsNotGiven) {
  ControlRef flower = 花3;
  struct Case {
    Setting setting;
    int32_t value, expected;
  };
  const Case cases[] = {
      {Setting::kTop, -2048, -2048},    {Setting::kTop, -40000, -32627},
      {Setting::kTop, 40000, 32627},    {Setting::kLeft, -32628, -32627},
      {Setting::kLeft, 32627, 32627},   {Setting::kWidth, -5, 0},
      {Setting::kHeight, 40000, 32627}, {Setting::kWidth, 120, 120},
      {Setting::kHeight, 112, 112},     {Setting::kLeft, 200, 200},
      {Setting::kTop, 264, 264},
  };
  for (const Case& c : cases) {
    WriteProperty(flower, c.setting, c.value);
    EXPECT_EQ(ReadProperty(flower, c.setting), c.expected) << c.value;
  }
  MoveControl(flower, 10);
  EXPECT_EQ(ReadProperty(flower, Setting::kLeft), 10);
  EXPECT_EQ(ReadProperty(flower, Setting::kTop), 264);
  EXPECT_EQ(ReadProperty(flower, Setting::kWidth), 120);
  EXPECT_EQ(ReadProperty(flower, Setting::kHeight), 112);
  MoveControl(flower, 20, 30, -1, 50);
  EXPECT_EQ(ReadProperty(flower, Setting::kLeft), 20);
  EXPECT_EQ(ReadProperty(flower, Setting::kTop), 30);
  EXPECT_EQ(ReadProperty(flower, Setting::kWidth), 120);
  EXPECT_EQ(ReadProperty(flower, Setting::kHeight), 50);
  // MoveControl clamps nothing.
  MoveControl(flower, -40000, 0, 120, 112);
  EXPECT_EQ(ReadProperty(flower, Setting::kLeft), -40000);
  MoveControl(flower, 200, 264, 120, 112);
  XSync(x::Dpy(), False);
  XWindowAttributes a{};
  XGetWindowAttributes(x::Dpy(), XWindowOf(flower), &a);
  EXPECT_EQ(std::vector<int>({a.x, a.y, a.width, a.height}),
            std::vector<int>({200, 264, 120, 112}));
  EXPECT_EQ(ReadProperty(花1, Setting::kWidth), 112);
  // A timer has no appearance: showing it changes nothing.
  WriteProperty(时钟1, Setting::kVisible, true);
  EXPECT_EQ(XWindowOf(时钟1), 0u);
}

TEST_F(StageWindow, ButtonShowsItsPictureCutToItsSizeAndWhiteIsAHole) {
  // A dark, plain canvas behind the button.
  MoveControl(画板1, 0, 0, 1920, 1080);
  ClearCanvas(画板1);
  WriteProperty(花1, Setting::kVisible, true);
  MoveControl(花1, 300, 300, -1, -1);
  XSync(x::Dpy(), False);
  Control* button = FindControl(花1.control_id);
  ASSERT_NE(button, nullptr);
  std::unique_ptr<Picture> picture =
      DecodePictureBytes(assets::flower_05.bytes(), assets::flower_05.length);
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(picture->width, 125);
  Image image = RenderPicture(*picture, 0x00FFFFFF);
  test::XConnection probe(nullptr);
  std::vector<uint32_t> screen = test::ReadRootPixels(probe.get(), 300, 300, 130, 140);
  ASSERT_EQ(screen.size(), 130u * 140u);
  uint32_t canvas_colour = screen[139 * 130 + 129];  // outside the button
  int holes = 0, painted = 0;
  for (int y = 0; y < 140; ++y) {
    for (int x = 0; x < 130; ++x) {
      uint32_t shown = screen[static_cast<size_t>(y) * 130 + x];
      bool inside = x < 112 && y < 128;
      uint32_t pixel = inside ? image.pixels[static_cast<size_t>(y) * 125 + x] & 0xFFFFFF : 0;
      uint32_t expected = (!inside || pixel == 0xFFFFFF) ? canvas_colour : pixel;
      ASSERT_EQ(shown, expected) << x << "," << y;
      if (inside) (pixel == 0xFFFFFF ? holes : painted)++;
    }
  }
  EXPECT_GT(holes, 0);
  EXPECT_GT(painted, 0);
  // The pointer over a white pixel is over the canvas, not the button.
  int white_x = -1, white_y = -1, rose_x = -1, rose_y = -1;
  for (int y = 0; y < 128 && (white_x < 0 || rose_x < 0); ++y)
    for (int x = 0; x < 112; ++x) {
      uint32_t pixel = image.pixels[static_cast<size_t>(y) * 125 + x] & 0xFFFFFF;
      if (pixel == 0xFFFFFF && white_x < 0) white_x = x, white_y = y;
      if (pixel != 0xFFFFFF && rose_x < 0 && x > 20 && y > 20) rose_x = x, rose_y = y;
    }
  ASSERT_GE(white_x, 0);
  ASSERT_GE(rose_x, 0);
  auto window_under = [&](int sx, int sy) {
    XWarpPointer(x::Dpy(), None, x::Root(), 0, 0, 0, 0, sx, sy);
    XSync(x::Dpy(), False);
    Window root = 0, child = 0;
    int rx, ry, wx, wy;
    unsigned mask;
    XQueryPointer(x::Dpy(), XWindowOf(窗口), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return child;
  };
  EXPECT_EQ(window_under(300 + white_x, 300 + white_y), XWindowOf(画板1));
  EXPECT_EQ(window_under(300 + rose_x, 300 + rose_y), XWindowOf(花1));
  WriteProperty(花1, Setting::kVisible, false);
  MoveControl(花1, 240, 144, -1, -1);
}

TEST_F(StageWindow, StaysAboveOffTheTaskBarAndUndecorated) {
  XSync(x::Dpy(), False);
  Window top = XWindowOf(窗口);
  std::vector<long> states = x::ReadCardinals(top, "_NET_WM_STATE");
  auto has = [&](const char* name) {
    return std::find(states.begin(), states.end(), static_cast<long>(x::GetAtom(name))) !=
           states.end();
  };
  EXPECT_TRUE(has("_NET_WM_STATE_ABOVE"));
  EXPECT_TRUE(has("_NET_WM_STATE_SKIP_TASKBAR"));
  if (test::StageDesktop().window_manager) {
    std::vector<long> extents = x::ReadCardinals(top, "_NET_FRAME_EXTENTS");
    EXPECT_EQ(extents, (std::vector<long>{0, 0, 0, 0})) << "no frame, no title bar";
  }
}

TEST_F(StageWindow, LabelFillsItsColourAndIsCutByTheWindowEdge) {
  const test::DesktopOptions& d = test::StageDesktop();
  if (d.height != 1080 || !d.strip || d.strip_at_top || !d.window_manager)
    GTEST_SKIP() << "written for a 1920x1080 screen with a bottom strip";
  WriteProperty(标签1, Setting::kCaption, "距离程序运行结束还有0秒！");
  MoveControl(标签1, 0, 1000, 1920, 80);
  WriteProperty(标签1, Setting::kVisible, true);
  WriteProperty(标签1, Setting::kBackColour, static_cast<int32_t>(32896));
  ProcessEvents();
  XSync(x::Dpy(), False);
  ProcessEvents();
  XSync(x::Dpy(), False);
  test::XConnection probe(nullptr);
  std::vector<uint32_t> strip = test::ReadRootPixels(probe.get(), 0, 1000, 1920, 80);
  ASSERT_EQ(strip.size(), 1920u * 80u);
  // Olive over the window's last 40 rows, the desktop's strip below them.
  EXPECT_EQ(strip[10 * 1920 + 1800], 0x808000u);
  EXPECT_EQ(strip[39 * 1920 + 1800], 0x808000u);
  EXPECT_EQ(strip[45 * 1920 + 1800], test::kStripColour);
  // The caption starts at the left edge, centred on row 1040, so its upper half shows.
  int text_pixels = 0;
  for (int y = 0; y < 40; ++y)
    for (int x0 = 0; x0 < 400; ++x0)
      text_pixels += strip[static_cast<size_t>(y) * 1920 + x0] != 0x808000u;
  EXPECT_GT(text_pixels, 20);
  WriteProperty(标签1, Setting::kVisible, false);
}

}  // namespace
}  // namespace gs
