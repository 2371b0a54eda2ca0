// The private test desktop itself: screen, window manager, strip, sound
// server and recorder, environment, and clean-up.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/virtual_desktop.h"
#include "tests/support/x_probe.h"

namespace gs::test {
namespace {

std::optional<std::string> GetEnv(const char* name) {
  const char* value = getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

// True once the process has ended (a zombie nobody reaps counts as ended).
bool ProcessGone(pid_t pid) {
  if (kill(pid, 0) == -1 && errno == ESRCH) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  return paren == std::string::npos || text.substr(paren + 2, 1) == "Z";
}

// Keeps the environment of the test process as it was found.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = GetEnv("DISPLAY");
    pulse_ = GetEnv("PULSE_SERVER");
  }
  void TearDown() override {
    SetEnv("DISPLAY", display_);
    SetEnv("PULSE_SERVER", pulse_);
  }
  std::optional<std::string> display_, pulse_;
};

struct ScreenCase {
  const char* name;
  DesktopOptions options;
  std::vector<long> work_area;
};

DesktopOptions Screen(int width, int height, bool strip, bool top) {
  DesktopOptions options;
  options.width = width;
  options.height = height;
  options.strip = strip;
  options.strip_at_top = top;
  options.sound_server = false;
  return options;
}

class ScreenTest : public DesktopTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenTest, WorkAreaLeavesOutTheStripAndTheStripIsOnScreen) {
  const ScreenCase& c = GetParam();
  VirtualDesktop desktop(c.options);
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  const auto& t = desktop.startup_times();
  printf("startup ms: x %.1f, wm %.1f, strip %.1f, total %.1f\n", t.x_server, t.window_manager,
         t.strip, t.total);

  EXPECT_FALSE(ReadRootCardinals("_NET_SUPPORTING_WM_CHECK").empty());
  std::vector<long> area = ReadRootCardinals("_NET_WORKAREA");
  ASSERT_GE(area.size(), 4u);
  EXPECT_EQ(std::vector<long>(area.begin(), area.begin() + 4), c.work_area);

  const int w = c.options.width, h = c.options.height, size = c.options.strip_size;
  EXPECT_NE(ReadScreenPixel(w - 1, h - 1), -1);
  EXPECT_EQ(ReadScreenPixel(w, 0), -1);
  EXPECT_EQ(ReadScreenPixel(0, h), -1);
  EXPECT_EQ(ReadScreenPixel(-1, 0), -1);
  if (c.options.strip) {
    const int strip_row = c.options.strip_at_top ? 0 : h - 1;
    const int next_row = c.options.strip_at_top ? size : h - size - 1;
    EXPECT_EQ(ReadScreenPixel(w / 2, strip_row), kStripColour);
    EXPECT_EQ(ReadScreenPixel(w - 1, strip_row), kStripColour);
    EXPECT_NE(ReadScreenPixel(w / 2, next_row), kStripColour);
  } else {
    EXPECT_NE(ReadScreenPixel(w / 2, h - 1), kStripColour);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ScreenTest,
    ::testing::Values(
        ScreenCase{"bottom_strip", Screen(1920, 1080, true, false), {0, 0, 1920, 1040}},
        ScreenCase{"top_strip", Screen(1920, 1080, true, true), {0, 40, 1920, 1040}},
        ScreenCase{"small_screen", Screen(1366, 768, true, false), {0, 0, 1366, 728}},
        ScreenCase{"no_strip", Screen(1920, 1080, false, false), {0, 0, 1920, 1080}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DesktopTest, WithoutWindowManagerTheStripStillShowsButNoWorkAreaIsKept) {
  DesktopOptions options;
  options.window_manager = false;
  options.sound_server = false;
  VirtualDesktop desktop(options);
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  EXPECT_TRUE(ReadRootCardinals("_NET_SUPPORTING_WM_CHECK").empty());
  EXPECT_TRUE(ReadRootCardinals("_NET_WORKAREA").empty());
  EXPECT_EQ(ReadScreenPixel(0, 1079), kStripColour);
}

// Writes mono 16-bit samples as a WAV file.
void WriteWav(const std::string& path, const std::vector<int16_t>& samples, int rate) {
  auto u32 = [](std::ofstream& out, uint32_t v) { out.write(reinterpret_cast<char*>(&v), 4); };
  auto u16 = [](std::ofstream& out, uint16_t v) { out.write(reinterpret_cast<char*>(&v), 2); };
  std::ofstream out(path, std::ios::binary);
  const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  u32(out, 36 + bytes);
  out.write("WAVEfmt ", 8);
  u32(out, 16);
  u16(out, 1);  // PCM
  u16(out, 1);  // mono
  u32(out, static_cast<uint32_t>(rate));
  u32(out, static_cast<uint32_t>(rate * 2));
  u16(out, 2);
  u16(out, 16);
  out.write("data", 4);
  u32(out, bytes);
  out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

TEST_F(DesktopTest, ToneOnTheDefaultSinkIsRecordedSampleExact) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  const auto& t = desktop.startup_times();
  printf("startup ms: x %.1f, wm %.1f, strip %.1f, sound %.1f, recorder %.1f, total %.1f\n",
         t.x_server, t.window_manager, t.strip, t.sound_server, t.recorder, t.total);
  EXPECT_EQ(GetEnv("PULSE_SERVER"), desktop.pulse_server());

  // 0.4 s of 440 Hz that starts and ends away from zero, so its edges are visible.
  const int rate = 8000;
  std::vector<int16_t> tone(3200);
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<int16_t>(std::lround(9000 * std::sin(2 * M_PI * 440 * i / rate + 0.7)));
  }
  const std::string wav = desktop.runtime_dir() + "/tone.wav";
  WriteWav(wav, tone, rate);

  desktop.ClearRecording();
  std::string output;
  ASSERT_EQ(RunCommand({"paplay", wav}, 10000, &output), 0) << output;
  std::vector<int16_t> recorded = desktop.Recording(200);

  size_t start = 0;
  while (start < recorded.size() && recorded[start] == 0) ++start;
  ASSERT_LT(start, recorded.size()) << "nothing but silence in " << recorded.size() << " samples";
  ASSERT_GE(recorded.size(), start + tone.size() + 400) << "recording too short";
  std::vector<int16_t> heard(recorded.begin() + static_cast<long>(start),
                             recorded.begin() + static_cast<long>(start + tone.size()));
  EXPECT_EQ(heard, tone);
  // Silence again after the tone.
  for (size_t i = start + tone.size(); i < start + tone.size() + 400; ++i) {
    ASSERT_EQ(recorded[i], 0) << "at sample " << i - start;
  }
}

TEST_F(DesktopTest, FrozenSoundServerAnswersNothingUntilResumed) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  ASSERT_EQ(RunCommand({"pactl", "info"}, 5000), 0);

  desktop.FreezeSoundServer();
  EXPECT_EQ(RunCommand({"pactl", "info"}, 500), -1);  // hangs: killed at the time limit
  const size_t frozen_at = desktop.RecordedSamples();

  desktop.ResumeSoundServer();
  EXPECT_EQ(RunCommand({"pactl", "info"}, 5000), 0);
  EXPECT_GT(desktop.Recording(100).size(), frozen_at);

  // Teardown copes with a frozen server too.
  desktop.FreezeSoundServer();
}

TEST_F(DesktopTest, TwoDesktopsGetTheirOwnDisplays) {
  DesktopOptions options;
  options.sound_server = false;
  VirtualDesktop first(options);
  ASSERT_TRUE(first.ok()) << first.error();
  {
    VirtualDesktop second(options);
    ASSERT_TRUE(second.ok()) << second.error();
    EXPECT_NE(first.display(), second.display());
    EXPECT_NE(first.x_server_pid(), second.x_server_pid());
    EXPECT_EQ(GetEnv("DISPLAY"), second.display());
  }
  EXPECT_EQ(GetEnv("DISPLAY"), first.display());
  EXPECT_EQ(ReadScreenPixel(0, 1079), kStripColour);  // the first one still answers
}

class RestoreTest : public DesktopTest,
                    public ::testing::WithParamInterface<std::optional<std::string>> {};

TEST_P(RestoreTest, DestructionStopsEverythingAndRestoresTheEnvironment) {
  const std::optional<std::string> before = GetParam();
  SetEnv("DISPLAY", before);
  SetEnv("PULSE_SERVER", before);
  pid_t x_pid, sound_pid;
  std::string runtime_dir;
  {
    VirtualDesktop desktop;
    ASSERT_TRUE(desktop.ok()) << desktop.error();
    x_pid = desktop.x_server_pid();
    sound_pid = desktop.sound_server_pid();
    runtime_dir = desktop.runtime_dir();
    EXPECT_EQ(GetEnv("DISPLAY"), desktop.display());
    EXPECT_FALSE(ProcessGone(x_pid));
    EXPECT_FALSE(ProcessGone(sound_pid));
  }
  EXPECT_TRUE(ProcessGone(x_pid));
  EXPECT_TRUE(ProcessGone(sound_pid));
  EXPECT_FALSE(std::filesystem::exists(runtime_dir));
  EXPECT_EQ(GetEnv("DISPLAY"), before);
  EXPECT_EQ(GetEnv("PULSE_SERVER"), before);
}

INSTANTIATE_TEST_SUITE_P(PreviousValue, RestoreTest,
                         ::testing::Values(std::optional<std::string>(":4242"), std::nullopt),
                         [](const auto& info) { return info.param ? "set" : "unset"; });

TEST_F(DesktopTest, ChildrenDieWithTheTestProcess) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    VirtualDesktop desktop;
    pid_t pids[2] = {desktop.ok() ? desktop.x_server_pid() : -1, desktop.sound_server_pid()};
    if (write(fds[1], pids, sizeof pids) != sizeof pids) _exit(1);
    std::string dir = desktop.runtime_dir() + '\n';
    if (write(fds[1], dir.data(), dir.size()) < 0) _exit(1);
    pause();
    _exit(0);
  }
  ASSERT_GT(child, 0);
  // Whatever happens below, the child does not outlive the test.
  std::unique_ptr<void, std::function<void(void*)>> reap_child(reinterpret_cast<void*>(1),
                                                               [child](void*) {
                                                                 kill(child, SIGKILL);
                                                                 waitpid(child, nullptr, 0);
                                                               });
  close(fds[1]);
  pid_t pids[2] = {-1, -1};
  ASSERT_EQ(read(fds[0], pids, sizeof pids), static_cast<ssize_t>(sizeof pids));
  char dir[256] = {0};
  ASSERT_GT(read(fds[0], dir, sizeof dir - 1), 0);
  close(fds[0]);
  ASSERT_GT(pids[0], 0) << "the desktop did not start in the child";

  reap_child.reset();
  for (int i = 0; i < 250 && !(ProcessGone(pids[0]) && ProcessGone(pids[1])); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(ProcessGone(pids[0]));
  EXPECT_TRUE(ProcessGone(pids[1]));
  std::string left_behind(dir);
  left_behind.pop_back();
  std::filesystem::remove_all(left_behind);
}

TEST_F(DesktopTest, LostXServerLeavesTheTestProcessRunning) {
  DesktopOptions options;
  options.sound_server = false;
  VirtualDesktop desktop(options);
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  const pid_t pid = desktop.x_server_pid();
  XConnection open_before(desktop.display().c_str());
  ASSERT_NE(open_before.get(), nullptr);
  auto unused_since = std::make_unique<XConnection>(desktop.display().c_str());
  desktop.KillXServer();
  unused_since.reset();  // closing syncs with the dead server
  EXPECT_TRUE(ProcessGone(pid));
  // Xlib's default would exit the process on the lost connection.
  Display* dead = open_before.get();
  EXPECT_TRUE(ReadCardinals(dead, DefaultRootWindow(dead), "_NET_WORKAREA").empty());
  EXPECT_TRUE(ReadRootPixels(dead, 0, 0, 4, 4).empty());
  EXPECT_EQ(ReadScreenPixel(0, 0), -1);
  EXPECT_TRUE(ReadRootCardinals("_NET_WORKAREA").empty());
  EXPECT_FALSE(desktop.Screenshot(testing::TempDir() + "/lost.png"));
}

TEST_F(DesktopTest, ScreenshotIsAPngOfTheWholeScreen) {
  DesktopOptions options;
  options.width = 1366;
  options.height = 768;
  options.sound_server = false;
  VirtualDesktop desktop(options);
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  const std::string path = testing::TempDir() + "/desktop_screenshot.png";
  ASSERT_TRUE(desktop.Screenshot(path));

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  ASSERT_EQ(image.width, 1366u);
  ASSERT_EQ(image.height, 768u);
  auto at = [&](int x, int y) {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * image.width + x) * 3];
    return static_cast<int64_t>(p[0] << 16 | p[1] << 8 | p[2]);
  };
  EXPECT_EQ(at(700, 767), kStripColour);
  for (auto [x, y] : {std::pair{0, 0}, {683, 300}, {1365, 727}}) {
    EXPECT_EQ(at(x, y), ReadScreenPixel(x, y)) << x << "," << y;
  }
  std::filesystem::remove(path);
}

struct CommandCase {
  const char* name;
  std::vector<std::string> argv;
  int timeout_ms;
  int status;
  std::string output;
};

class RunCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(RunCommandTest, ReportsStatusAndOutput) {
  const CommandCase& c = GetParam();
  std::string output;
  EXPECT_EQ(RunCommand(c.argv, c.timeout_ms, &output), c.status);
  if (!c.output.empty()) {
    EXPECT_EQ(output, c.output);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RunCommandTest,
    ::testing::Values(
        CommandCase{"exit_status", {"sh", "-c", "exit 3"}, 5000, 3, ""},
        CommandCase{
            "stdout_and_stderr", {"sh", "-c", "echo out; echo err >&2"}, 5000, 0, "out\nerr\n"},
        CommandCase{"killed_by_signal", {"sh", "-c", "kill -9 $$"}, 5000, 128 + 9, ""},
        CommandCase{"time_limit", {"sleep", "30"}, 200, -1, ""},
        CommandCase{"not_installed", {"gs-no-such-program"}, 5000, -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gs::test
