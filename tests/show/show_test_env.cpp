#include "tests/show/show_test_env.h"

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
#include "tests/support/virtual_desktop.h"

namespace gs::test {
namespace {
ScreenSize g_screen;
std::vector<DrawCall> g_calls;
void Record(const DrawCall& call) {
  g_calls.push_back(call);
}

class LoadedWindowEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    DesktopOptions options;
    options.width = g_screen.width;
    options.height = g_screen.height;
    options.sound_server = false;
    desktop_ = std::make_unique<VirtualDesktop>(options);
    ASSERT_TRUE(desktop_->ok()) << desktop_->error();
    // Delays run a thousand times faster; drawing itself is real.
    SetTimeScale(0.001);
    ASSERT_TRUE(FrameworkInit());
    InitGlobals();
    LoadWindow(MainWindowDesign(), HandlerTable{});
    // As the opening show leaves it: the canvas over the whole screen.
    MoveControl(画板1, 0, 0, g_screen.width, g_screen.height);
    ProcessEvents();
  }
  void TearDown() override {
    // Workers started by the tests stand still at their first move; end them.
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

ScreenSize TestScreen() {
  return g_screen;
}

DrawRecorder::DrawRecorder() {
  g_calls.clear();
  SetDrawObserver(Record);
}
DrawRecorder::~DrawRecorder() {
  SetDrawObserver(nullptr);
}
const std::vector<DrawCall>& DrawRecorder::calls() const {
  return g_calls;
}

}  // namespace gs::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    int w = 0, h = 0;
    if (std::sscanf(argv[i], "--screen=%dx%d", &w, &h) == 2) {
      gs::test::g_screen = {w, h};
    }
  }
  ::testing::AddGlobalTestEnvironment(new gs::test::LoadedWindowEnvironment);
  return RUN_ALL_TESTS();
}
