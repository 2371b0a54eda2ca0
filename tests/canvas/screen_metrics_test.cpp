// ScreenWidth and ScreenHeight follow a change of resolution made by another
// program while ours runs. Runs last: the desktop is put back afterwards, but
// the window manager may have rearranged windows meanwhile.

// clang-format off
#include <gtest/gtest.h>  // before any X11 header: Xlib's None clashes with it
// clang-format on

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstring>
#include <string>
#include <thread>

#include "media/screen.h"
#include "stage/framework.h"
#include "tests/canvas/canvas_env.h"

namespace gs {
namespace {

using test::World;

// Switches the test desktop's only output to a new mode of the given size
// and back again when it goes. The mode belongs to the connection that made
// it, so the probe connection (which outlives this) makes it.
class Resolution {
 public:
  Resolution(int width, int height) : display_(World().probe) {
    Window root = DefaultRootWindow(display_);
    resources_ = XRRGetScreenResources(display_, root);
    if (!resources_ || resources_->noutput < 1 || resources_->ncrtc < 1) return;
    output_ = resources_->outputs[0];
    crtc_ = resources_->crtcs[0];
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, resources_, crtc_);
    if (!crtc) return;
    old_mode_ = crtc->mode;
    old_width_ = static_cast<int>(crtc->width);
    old_height_ = static_cast<int>(crtc->height);
    XRRFreeCrtcInfo(crtc);
    std::string name = std::to_string(width) + "x" + std::to_string(height) + "_test";
    XRRModeInfo info{};
    info.width = static_cast<unsigned>(width);
    info.height = static_cast<unsigned>(height);
    info.hTotal = static_cast<unsigned>(width);
    info.vTotal = static_cast<unsigned>(height);
    info.dotClock = 60ul * width * height;
    info.name = name.data();
    info.nameLength = static_cast<unsigned>(name.size());
    new_mode_ = XRRCreateMode(display_, root, &info);
    XRRAddOutputMode(display_, output_, new_mode_);
    ok_ = Switch(new_mode_, width, height);
  }
  ~Resolution() {
    if (!resources_) return;
    if (new_mode_) {
      Switch(old_mode_, old_width_, old_height_);
      XRRDeleteOutputMode(display_, output_, new_mode_);
      XRRDestroyMode(display_, new_mode_);
      XSync(display_, False);
    }
    XRRFreeScreenResources(resources_);
  }
  bool ok() const { return ok_; }

 private:
  bool Switch(RRMode mode, int width, int height) {
    Window root = DefaultRootWindow(display_);
    XGrabServer(display_);
    XRRSetCrtcConfig(display_, resources_, crtc_, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
    XRRSetScreenSize(display_, root, width, height, width * 254 / 960, height * 254 / 960);
    Status status = XRRSetCrtcConfig(display_, resources_, crtc_, CurrentTime, 0, 0, mode,
                                     RR_Rotate_0, &output_, 1);
    XUngrabServer(display_);
    XSync(display_, False);
    return status == RRSetConfigSuccess;
  }

  Display* display_;
  XRRScreenResources* resources_ = nullptr;
  RROutput output_ = 0;
  RRCrtc crtc_ = 0;
  RRMode old_mode_ = 0, new_mode_ = 0;
  int old_width_ = 0, old_height_ = 0;
  bool ok_ = false;
};

int32_t WidthSeenByAWorker() {
  int32_t width = 0;
  std::thread worker([&] { width = ScreenWidth(); });
  worker.join();
  return width;
}

TEST(ScreenMetrics, FollowAChangeOfResolution) {
  EXPECT_EQ(ScreenWidth(), test::kScreenW);
  EXPECT_EQ(ScreenHeight(), test::kScreenH);
  {
    Resolution smaller(1366, 768);
    ASSERT_TRUE(smaller.ok()) << "the test desktop cannot change its resolution";
    EXPECT_EQ(ScreenWidth(), 1366);
    EXPECT_EQ(ScreenHeight(), 768);
    OwnedByteBlock capture = CaptureScreen();
    ASSERT_TRUE(capture);
    test::BmpFile f = test::ReadBmp(capture.get());
    EXPECT_EQ(f.width, 1366);
    EXPECT_EQ(f.height, 768);
    // Other threads see it once the main thread has heard of the change.
    ProcessEvents();
    test::Settle();
    EXPECT_EQ(WidthSeenByAWorker(), 1366);
  }
  EXPECT_EQ(ScreenWidth(), test::kScreenW);
  EXPECT_EQ(ScreenHeight(), test::kScreenH);
  test::Settle();
  EXPECT_EQ(WidthSeenByAWorker(), test::kScreenW);
}

}  // namespace
}  // namespace gs
