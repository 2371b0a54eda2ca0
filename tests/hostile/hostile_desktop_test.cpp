// The whole program, faster through the test clock, on desktops that are not
// the comfortable default: it must end as it should, never hang, and never
// leave its window behind.
#include <gtest/gtest.h>

// Xlib after the test framework: its macros clash with names there.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/show/shared_desktop.h"
#include "tests/show/show_process.h"
#include "tests/support/child_process.h"
#include "tests/support/virtual_desktop.h"

namespace gs::test {
namespace {

constexpr double kScale = 0.05;

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Runs the whole show on the desktop and expects the normal end. When
// `desktop` is given, the window must cover `work_area` (x, y, width, height)
// during the event loop, and a screenshot of that moment is kept.
void ExpectWholeShow(const std::string& name, VirtualDesktop* desktop = nullptr,
                     std::vector<int> work_area = {}) {
  ShowProcess show(RunnerPath(), kScale, name);
  ASSERT_TRUE(show.started());
  if (desktop) {
    ASSERT_TRUE(show.WaitForMark("opening done", 60000)) << name << "\n" << show.Log();
    Sleep(300);
    int x = 0, y = 0, w = 0, h = 0;
    EXPECT_TRUE(ShowWindowRect(&x, &y, &w, &h)) << name << ": no window during the loop";
    EXPECT_EQ(std::vector<int>({x, y, w, h}), work_area) << name;
    std::string file = name;
    for (char& c : file)
      if (c == ' ') c = '-';
    EXPECT_TRUE(desktop->Screenshot(ArtifactPath("hostile-" + file + ".png"))) << name;
  }
  int status = show.Wait(120000);
  EXPECT_TRUE(ExitedWith(status, 0)) << name << ": " << DescribeExit(status) << "\n" << show.Log();
  EXPECT_GE(show.MarkTime("overlay"), 0) << name << ": the show did not reach its end";
  EXPECT_EQ(show.SanitizerFindings(), "") << name;
  EXPECT_EQ(FindShowWindow(), 0u);
}

struct DesktopCase {
  const char* name;
  DesktopOptions options;
};

DesktopOptions With(int width, int height, bool wm, bool strip, bool sound) {
  DesktopOptions o;
  o.width = width;
  o.height = height;
  o.window_manager = wm;
  o.strip = strip;
  o.sound_server = sound;
  return o;
}

TEST(HostileDesktop, WholeShowEndsWithZeroOnEveryKindOfDesktop) {
  const DesktopCase cases[] = {
      {"no window manager", With(1920, 1080, false, true, true)},
      {"no strip", With(1920, 1080, true, false, true)},
      {"no sound server", With(1920, 1080, true, true, false)},
      {"640x480", With(640, 480, true, true, true)},
      {"3840x2160", With(3840, 2160, true, true, true)},
  };
  for (const DesktopCase& c : cases) {
    VirtualDesktop desktop(c.options);
    ASSERT_TRUE(desktop.ok()) << c.name << ": " << desktop.error();
    // The strip reserves its height only where a window manager publishes
    // the work area; without one the window covers the whole screen.
    const DesktopOptions& o = c.options;
    const int reserved = o.window_manager && o.strip ? o.strip_size : 0;
    ExpectWholeShow(c.name, &desktop, {0, 0, o.width, o.height - reserved});
  }
}

TEST(HostileDesktop, FrozenSoundServerDoesNotHoldTheShowOrItsEnd) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  desktop.FreezeSoundServer();
  ExpectWholeShow("frozen sound server");
  desktop.ResumeSoundServer();
}

TEST(HostileDesktop, NoChineseFontStillEndsWithZero) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  // A font configuration that knows only one Latin font directory.
  std::string dir = desktop.runtime_dir() + "/fonts";
  mkdir(dir.c_str(), 0700);
  std::ofstream(dir + "/fonts.conf")
      << "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
         "<dir>/usr/share/fonts/truetype/dejavu</dir><cachedir>"
      << dir << "/cache</cachedir></fontconfig>";
  setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
  ExpectWholeShow("no CJK font");
  unsetenv("FONTCONFIG_FILE");
}

TEST(HostileDesktop, TwoMonitorsUseThePrimaryAndTheWindowsOwnWorkArea) {
  VirtualDesktop desktop(With(1920, 1080, true, true, true));
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  // The output goes to the left monitor, which is the primary one.
  ASSERT_EQ(RunCommand({"xrandr", "--setmonitor", "L", "960/254x1080/286+0+0", "screen"}, 5000), 0);
  ASSERT_EQ(RunCommand({"xrandr", "--setmonitor", "R", "960/254x1080/286+960+0", "none"}, 5000), 0);
  ASSERT_EQ(RunCommand({"xrandr", "--output", "screen", "--primary"}, 5000), 0);
  ShowProcess show(RunnerPath(), kScale, "two monitors");
  ASSERT_TRUE(show.WaitForMark("opening done", 60000)) << show.Log();
  Sleep(300);
  int x = 0, y = 0, w = 0, h = 0;
  ASSERT_TRUE(ShowWindowRect(&x, &y, &w, &h));
  // The show is laid out on the primary (left) monitor; the window sat over
  // it, so it covers that monitor's work area.
  EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({0, 0, 960, 1040}));
  int status = show.Wait(120000);
  EXPECT_TRUE(ExitedWith(status, 0)) << show.Log();
}

TEST(HostileDesktop, ResolutionChangeDuringTheFallingFlowers) {
  VirtualDesktop desktop(With(1920, 1080, true, true, false));
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  ShowProcess show(RunnerPath(), kScale, "resolution change");
  ASSERT_TRUE(show.WaitForMark("opening done", 60000)) << show.Log();
  Sleep(200);
  ASSERT_EQ(RunCommand({"xrandr", "--newmode", "1280x720", "74.48", "1280", "1336", "1472", "1664",
                        "720", "721", "724", "746", "-hsync", "+vsync"},
                       5000),
            0);
  ASSERT_EQ(RunCommand({"xrandr", "--addmode", "screen", "1280x720"}, 5000), 0);
  ASSERT_EQ(RunCommand({"xrandr", "--output", "screen", "--mode", "1280x720"}, 5000), 0)
      << "xrandr could not change the screen size";
  int status = show.Wait(120000);
  EXPECT_TRUE(ExitedWith(status, 0)) << show.Log();
}

TEST(HostileDesktop, LostDisplayEndsPromptlyWithAMessage) {
  for (const char* moment : {"pass 1", "opening done"}) {
    VirtualDesktop desktop(With(1920, 1080, true, true, false));
    ASSERT_TRUE(desktop.ok()) << desktop.error();
    ShowProcess show(RunnerPath(), kScale, "lost display");
    ASSERT_TRUE(show.WaitForMark(moment, 60000)) << show.Log();
    desktop.KillXServer();
    int status = show.Wait(10000);
    ASSERT_GE(status, 0) << moment << ": the program hangs after losing its display";
    EXPECT_TRUE(WIFEXITED(status)) << moment << ": " << DescribeExit(status) << " (no crash)";
    EXPECT_NE(show.Log().find("X display"), std::string::npos) << show.Log();
  }
}

TEST(HostileDesktop, SecondInstanceWhileOneRuns) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  ShowProcess first(RunnerPath(), kScale, "first");
  ASSERT_TRUE(first.WaitForMark("pass 2", 60000)) << first.Log();
  ShowProcess second(RunnerPath(), kScale, "second");
  int first_status = first.Wait(120000);
  int second_status = second.Wait(120000);
  EXPECT_TRUE(ExitedWith(first_status, 0)) << first.Log();
  EXPECT_TRUE(ExitedWith(second_status, 0)) << second.Log();
  EXPECT_EQ(FindShowWindow(), 0u);
}

}  // namespace
}  // namespace gs::test
