#include "tests/show/show_process.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/virtual_desktop.h"
#include "tests/support/x_probe.h"

namespace gs::test {

std::string RunnerPath() {
  return GS_SHOW_RUNNER_PATH;
}
std::string ShippedPath() {
  return GS_SHIPPED_PATH;
}

std::string ArtifactPath(const std::string& name) {
  std::string dir = GS_ARTIFACT_DIR;
  mkdir(dir.c_str(), 0755);
  return dir + "/" + name;
}

ShowProcess::ShowProcess(const std::string& binary, double time_scale, const std::string& name) {
  std::string dir = "/tmp/gs-show-" + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  trace_path_ = dir + "/" + name + ".trace";
  log_path_ = dir + "/" + name + ".log";
  std::remove(trace_path_.c_str());
  std::remove(log_path_.c_str());
  ChildSpec spec;
  spec.argv = {binary};
  spec.env = {{"GS_TEST_TIME_SCALE", std::to_string(time_scale)}, {"GS_TEST_TRACE", trace_path_}};
  spec.log_path = log_path_;
  std::string error;
  pid_ = SpawnChild(spec, &error);
}

ShowProcess::~ShowProcess() {
  if (pid_ > 0) StopChild(pid_, 200);
}

std::vector<std::pair<int64_t, std::string>> ShowProcess::Marks() {
  std::vector<std::pair<int64_t, std::string>> marks;
  std::ifstream in(trace_path_);
  std::string line;
  while (std::getline(in, line)) {
    size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    marks.push_back({std::stoll(line.substr(0, space)), line.substr(space + 1)});
  }
  return marks;
}

int64_t ShowProcess::MarkTime(const std::string& mark) {
  for (auto& [time, name] : Marks())
    if (name == mark) return time;
  return -1;
}

bool ShowProcess::Running() {
  if (ended_ || pid_ <= 0) return false;
  int status = 0;
  if (!ChildAlive(pid_, &status)) {
    ended_ = true;
    status_ = status;
    return false;
  }
  return true;
}

bool ShowProcess::WaitForMark(const std::string& mark, int timeout_ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < until) {
    if (MarkTime(mark) >= 0) return true;
    if (!Running()) return MarkTime(mark) >= 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

int ShowProcess::Wait(int timeout_ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < until) {
    if (!Running()) return status_;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (pid_ > 0) StopChild(pid_, 200);
  return -1;
}

std::string ShowProcess::Log() {
  return FileTail(log_path_, 4000);
}

std::string ShowProcess::SanitizerFindings() {
  std::ifstream in(log_path_);
  std::string line, found;
  while (std::getline(in, line)) {
    if (line.find("Sanitizer") != std::string::npos ||
        line.find("runtime error:") != std::string::npos)
      found += line + "\n";
  }
  return found;
}

bool PressKey(const std::string& keys) {
  return RunCommand({"xdotool", "key", keys}, 5000) == 0;
}

namespace {
Window Search(Display* display, Window window) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint)) {
    bool ours = hint.res_name && std::string(hint.res_name) == "greeting-show";
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (ours) return window;
  }
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) found = Search(display, children[i]);
  if (children) XFree(children);
  return found;
}
}  // namespace

unsigned long FindShowWindow() {
  XConnection x(nullptr);
  if (!x.get()) return 0;
  XErrorTrap trap(x.get());
  Window found = Search(x.get(), DefaultRootWindow(x.get()));
  if (trap.Failed()) return 0;
  return found;
}

bool ShowWindowRect(int* rx, int* ry, int* rw, int* rh) {
  XConnection x(nullptr);
  if (!x.get()) return false;
  XErrorTrap trap(x.get());
  Window window = Search(x.get(), DefaultRootWindow(x.get()));
  if (!window) return false;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(x.get(), window, &attributes) || attributes.map_state != IsViewable)
    return false;
  Window child = 0;
  XTranslateCoordinates(x.get(), window, DefaultRootWindow(x.get()), 0, 0, rx, ry, &child);
  *rw = attributes.width;
  *rh = attributes.height;
  return !trap.Failed();
}

}  // namespace gs::test
