// The fatal stop: its box on the screen, closed with a key, status 255, and
// no exit hook run; without a display, the same text on standard error.
#include <gtest/gtest.h>

// Xlib after the test framework: its macros clash with names there.
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/virtual_desktop.h"
#include "tests/support/x_probe.h"

namespace gs::test {
namespace {

// The window whose _NET_WM_NAME is the given text, or 0.
Window FindByName(Display* display, Window window, const std::string& name) {
  Atom net_name = XInternAtom(display, "_NET_WM_NAME", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, net_name, 0, 64, False, AnyPropertyType, &type, &format,
                         &count, &after, &data) == Success &&
      data) {
    bool match = std::string(reinterpret_cast<char*>(data), count) == name;
    XFree(data);
    if (match) return window;
  }
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = FindByName(display, children[i], name);
    if (children) XFree(children);
  }
  return found;
}

struct Scenario {
  const char* name;
  const char* message;
};

TEST(FatalStop, ShowsTheBoxEndsWith255AndRunsNoHook) {
  VirtualDesktop desktop;
  ASSERT_TRUE(desktop.ok()) << desktop.error();
  const Scenario scenarios[] = {
      {"bad-design", "载入启动窗口失败"},
      {"unknown-window", "未载入欲访问窗口组件所在的窗口"},
      {"move-missing", "指定窗口或窗口组件不存在或尚未载入"},
      {"worker-index", "数组成员引用下标超出定义范围"},
  };
  for (const Scenario& s : scenarios) {
    std::string hook_file = desktop.runtime_dir() + "/hook-" + s.name;
    ChildSpec spec;
    spec.argv = {GS_ERROR_DRIVER_PATH, s.name, hook_file};
    spec.log_path = desktop.runtime_dir() + "/driver-" + s.name + ".log";
    std::string error;
    pid_t pid = SpawnChild(spec, &error);
    ASSERT_GT(pid, 0) << error;
    XConnection x(nullptr);
    ASSERT_NE(x.get(), nullptr);
    Window box = 0;
    for (int i = 0; i < 500 && !box; ++i) {
      XErrorTrap trap(x.get());
      box = FindByName(x.get(), DefaultRootWindow(x.get()), "错误");
      trap.Failed();
      if (!box) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(box, 0u) << s.name << ": no error box\n" << FileTail(spec.log_path);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    mkdir(GS_ARTIFACT_DIR, 0755);
    EXPECT_TRUE(desktop.Screenshot(std::string(GS_ARTIFACT_DIR) + "/error-box-" + s.name + ".png"));
    int status = 0;
    EXPECT_TRUE(ChildAlive(pid, &status)) << s.name << ": the box must wait to be closed";
    EXPECT_EQ(RunCommand({"xdotool", "key", "Return"}, 5000), 0);
    for (int i = 0; i < 250 && ChildAlive(pid, &status); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(pid, -1) << s.name << ": still running after Return";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255)
        << s.name << " " << DescribeExit(status);
    struct stat st {};
    EXPECT_NE(stat(hook_file.c_str(), &st), 0) << s.name << ": the exit hook ran";
  }
}

TEST(FatalStop, WithoutADisplayTheTextGoesToStandardError) {
  ChildSpec spec;
  spec.argv = {GS_SHIPPED_PATH};
  spec.env = {{"DISPLAY", std::string(":987")}};
  std::string output;
  int status = RunChild(spec, 10000, &output);
  ASSERT_GE(status, 0) << "must not hang";
  EXPECT_EQ(status, 255);
  EXPECT_NE(output.find("运行时出错!"), std::string::npos) << output;
  EXPECT_NE(output.find("错误信息：载入启动窗口失败"), std::string::npos) << output;
  EXPECT_EQ(output.find("错误代码："), std::string::npos) << "code 0 has no code line";
}

}  // namespace
}  // namespace gs::test
