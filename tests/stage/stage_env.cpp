#include "tests/stage/stage_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "core/globals.h"
#include "core/timing.h"
#include "stage/fonts.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "tests/support/time_seam.h"

namespace gs::test {
namespace {
DesktopOptions g_options;

class StageEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_options.sound_server = false;
    desktop_ = std::make_unique<VirtualDesktop>(g_options);
    ASSERT_TRUE(desktop_->ok()) << desktop_->error();
    SetTimeScale(0.1);
    ASSERT_TRUE(FrameworkInit());
    InitGlobals();
  }
  void TearDown() override {
    StopAndJoinWorkers();
    // Release what the tests loaded while the display is still there.
    ReleaseWindows();
    ReleaseFonts();
    ReleaseFramework();
    desktop_.reset();
  }

 private:
  std::unique_ptr<VirtualDesktop> desktop_;
};
}  // namespace

const DesktopOptions& StageDesktop() {
  return g_options;
}

void LoadPlainMainWindow() {
  LoadWindow(MainWindowDesign(), HandlerTable{});
  ProcessEvents();
}

}  // namespace gs::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  gs::test::DesktopOptions& o = gs::test::g_options;
  for (int i = 1; i < argc; ++i) {
    int w = 0, h = 0;
    if (std::sscanf(argv[i], "--screen=%dx%d", &w, &h) == 2) {
      o.width = w;
      o.height = h;
    }
    if (!std::strcmp(argv[i], "--no-strip")) o.strip = false;
    if (!std::strcmp(argv[i], "--no-wm")) o.window_manager = false;
    if (!std::strcmp(argv[i], "--top-strip")) o.strip_at_top = true;
  }
  ::testing::AddGlobalTestEnvironment(new gs::test::StageEnvironment);
  return RUN_ALL_TESTS();
}
