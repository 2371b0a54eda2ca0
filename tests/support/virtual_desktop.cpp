// The test desktop's life cycle and its X side: X server, window manager,
// strip, screenshots. The sound side is in virtual_desktop_sound.cpp.
#include "tests/support/virtual_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/virtual_desktop_internal.h"
#include "tests/support/x_probe.h"

namespace gs::test {

using desktop_internal::Clock;
using desktop_internal::MsSince;
using desktop_internal::Poll;
using desktop_internal::PollUntilReady;

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%06X", value);
  return text;
}

std::string Join(const std::vector<long>& values) {
  std::string text;
  for (long v : values) text += (text.empty() ? "" : ", ") + std::to_string(v);
  return text.empty() ? "absent" : text;
}

}  // namespace

VirtualDesktop::VirtualDesktop(const DesktopOptions& options) : options_(options) {
  const char* display = getenv("DISPLAY");
  const char* pulse = getenv("PULSE_SERVER");
  had_display_ = display != nullptr;
  had_pulse_ = pulse != nullptr;
  saved_display_ = display ? display : "";
  saved_pulse_ = pulse ? pulse : "";

  auto start = Clock::now();
  ok_ = Start();
  startup_.total = MsSince(start);
  if (ok_) {
    ExportEnvironment();
  } else {
    StopAll();
  }
}

VirtualDesktop::~VirtualDesktop() {
  StopAll();
}

bool VirtualDesktop::Fail(const std::string& what, const std::string& log_name) {
  error_ = what;
  if (!log_name.empty()) {
    std::string log = FileTail(runtime_dir_ + "/" + log_name);
    if (!log.empty()) error_ += "\n--- " + log_name + " ---\n" + log;
  }
  return false;
}

bool VirtualDesktop::Start() {
  if (options_.width <= 0 || options_.height <= 0 || options_.strip_size <= 0 ||
      options_.strip_size >= options_.height || options_.sound_rate <= 0) {
    return Fail("invalid desktop options", "");
  }
  if (!MakeRuntimeDir()) return false;
  // The sound server starts up while the X side does.
  if (options_.sound_server && !SpawnSoundServer()) return false;
  if (!StartX()) return false;
  if (options_.window_manager && !StartWindowManager()) return false;
  if (options_.strip && !StartStrip()) return false;
  if (options_.sound_server && !StartSound()) return false;
  return true;
}

bool VirtualDesktop::MakeRuntimeDir() {
  char pattern[] = "/tmp/gs-desktop-XXXXXX";
  if (!mkdtemp(pattern)) return Fail(std::string("mkdtemp failed: ") + strerror(errno), "");
  runtime_dir_ = pattern;
  std::error_code ec;
  for (const char* sub : {"home", "config", "cache", "data", "run", "pulse", "pulse-state"}) {
    std::filesystem::create_directory(runtime_dir_ + "/" + sub, ec);
    if (ec) return Fail("cannot create " + runtime_dir_ + "/" + sub + ": " + ec.message(), "");
  }
  // Some clients insist on a private runtime directory.
  chmod((runtime_dir_ + "/run").c_str(), 0700);
  return true;
}

bool VirtualDesktop::StartX() {
  auto start = Clock::now();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return Fail("pipe failed", "");
  ChildSpec spec;
  const std::string size =
      std::to_string(options_.width) + "x" + std::to_string(options_.height) + "x24";
  // -noreset: a desktop without window manager and strip may have no client
  // at times; a server reset would wipe the root's properties.
  spec.argv = {"Xvfb", "-screen", "0", size, "-nolisten", "tcp", "-noreset", "-displayfd", "3"};
  spec.fds = {{fds[1], 3}};
  spec.log_path = runtime_dir_ + "/xvfb.log";
  spec.env = {{"HOME", runtime_dir_ + "/home"}};
  std::string error;
  xvfb_pid_ = SpawnChild(spec, &error);
  close(fds[1]);
  if (xvfb_pid_ < 0) {
    close(fds[0]);
    return Fail("cannot start Xvfb: " + error, "");
  }
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  std::string number;
  int status = 0;
  Poll state = PollUntilReady([&] {
    char buf[32];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) number.append(buf, static_cast<size_t>(n));
    if (number.find('\n') != std::string::npos) return Poll::kReady;
    if (n == 0 || !ChildAlive(xvfb_pid_, &status)) return Poll::kFailed;
    return Poll::kWait;
  });
  close(fds[0]);
  if (state != Poll::kReady) {
    return Fail(NotReadyReason(state, "Xvfb", status, "Xvfb gave no display number within 10 s"),
                "xvfb.log");
  }
  number.erase(number.find('\n'));
  display_ = ":" + number;
  startup_.x_server = MsSince(start);
  return true;
}

bool VirtualDesktop::StartWindowManager() {
  auto start = Clock::now();
  ChildSpec spec;
  spec.argv = {"openbox", "--sm-disable"};
  spec.log_path = runtime_dir_ + "/openbox.log";
  // A private home and XDG directories: it must never read the user's settings.
  spec.env = {{"DISPLAY", display_},
              {"HOME", runtime_dir_ + "/home"},
              {"XDG_CONFIG_HOME", runtime_dir_ + "/config"},
              {"XDG_CACHE_HOME", runtime_dir_ + "/cache"},
              {"XDG_DATA_HOME", runtime_dir_ + "/data"},
              {"XDG_RUNTIME_DIR", runtime_dir_ + "/run"},
              {"XDG_CONFIG_DIRS", "/etc/xdg"},
              {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"},
              {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
              {"SESSION_MANAGER", std::nullopt},
              {"XAUTHORITY", std::nullopt}};
  std::string error;
  wm_pid_ = SpawnChild(spec, &error);
  if (wm_pid_ < 0) return Fail("cannot start the window manager: " + error, "");

  XConnection connection(display_.c_str());
  if (!connection.get()) return Fail("cannot connect to " + display_, "xvfb.log");
  Display* dpy = connection.get();
  Window root = DefaultRootWindow(dpy);
  int status = 0;
  Poll state = PollUntilReady([&] {
    // The root names a check window that names itself, and the desktop
    // properties (work area, client list), which come late in start-up, are there.
    std::vector<long> check = ReadCardinals(dpy, root, "_NET_SUPPORTING_WM_CHECK");
    if (!check.empty()) {
      std::vector<long> self =
          ReadCardinals(dpy, static_cast<Window>(check[0]), "_NET_SUPPORTING_WM_CHECK");
      if (!self.empty() && self[0] == check[0] && HasProperty(dpy, root, "_NET_WORKAREA") &&
          HasProperty(dpy, root, "_NET_CLIENT_LIST")) {
        return Poll::kReady;
      }
    }
    return ChildAlive(wm_pid_, &status) ? Poll::kWait : Poll::kFailed;
  });
  if (state != Poll::kReady) {
    return Fail(
        NotReadyReason(state, "openbox", status, "openbox did not announce itself within 10 s"),
        "openbox.log");
  }

  // Even then a window mapped at once can stay unmanaged now and then (right
  // after the check appears, always). Ready once a probe window gets WM_STATE;
  // the probe is mapped again should its request have been missed.
  Window probe = XCreateSimpleWindow(dpy, root, 0, 0, 16, 16, 0, 0, 0);
  XMapWindow(dpy, probe);
  XSync(dpy, False);
  auto mapped_at = Clock::now();
  state = PollUntilReady([&] {
    if (HasProperty(dpy, probe, "WM_STATE")) return Poll::kReady;
    if (!ChildAlive(wm_pid_, &status)) return Poll::kFailed;
    if (MsSince(mapped_at) > 250) {
      XUnmapWindow(dpy, probe);
      XMapWindow(dpy, probe);
      XSync(dpy, False);
      mapped_at = Clock::now();
      ++startup_.window_manager_remaps;
    }
    return Poll::kWait;
  });
  XDestroyWindow(dpy, probe);
  XSync(dpy, False);
  if (state != Poll::kReady) {
    return Fail(
        NotReadyReason(state, "openbox", status, "openbox did not manage a window within 10 s"),
        "openbox.log");
  }
  startup_.window_manager = MsSince(start);
  return true;
}

bool VirtualDesktop::StartStrip() {
  auto start = Clock::now();
  ChildSpec spec;
  spec.argv = {GS_STRIP_DOCK_PATH, "--size", std::to_string(options_.strip_size), "--colour",
               Hex(kStripColour)};
  if (options_.strip_at_top) spec.argv.push_back("--top");
  spec.log_path = runtime_dir_ + "/strip.log";
  spec.env = {{"DISPLAY", display_}, {"XAUTHORITY", std::nullopt}};
  std::string error;
  strip_pid_ = SpawnChild(spec, &error);
  if (strip_pid_ < 0) return Fail("cannot start the strip: " + error, "");

  XConnection connection(display_.c_str());
  if (!connection.get()) return Fail("cannot connect to " + display_, "xvfb.log");
  Display* dpy = connection.get();
  Window root = DefaultRootWindow(dpy);
  const long top = options_.strip_at_top ? options_.strip_size : 0;
  const std::vector<long> area = {0, top, options_.width, options_.height - options_.strip_size};

  std::vector<long> values;
  auto work_area_reserved = [&] {
    // One x, y, width, height per virtual desktop; all must leave the strip out.
    values = ReadCardinals(dpy, root, "_NET_WORKAREA");
    if (values.empty() || values.size() % 4 != 0) return false;
    for (size_t i = 0; i < values.size(); i += 4) {
      if (!std::equal(area.begin(), area.end(), values.begin() + static_cast<long>(i)))
        return false;
    }
    return true;
  };
  auto dock_mapped = [&] {
    Atom dock = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", True);
    if (dock == None) return false;
    Window root_return, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    bool found = false;
    XErrorTrap trap(dpy);
    if (XQueryTree(dpy, root, &root_return, &parent, &children, &count)) {
      for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(dpy, children[i], &attributes) ||
            attributes.map_state != IsViewable) {
          continue;
        }
        for (long type : ReadCardinals(dpy, children[i], "_NET_WM_WINDOW_TYPE")) {
          found |= static_cast<Atom>(type) == dock;
        }
      }
    }
    if (children) XFree(children);
    return found && !trap.Failed();
  };

  int status = 0;
  Poll state = PollUntilReady([&] {
    if (options_.window_manager ? work_area_reserved() : dock_mapped()) return Poll::kReady;
    return ChildAlive(strip_pid_, &status) ? Poll::kWait : Poll::kFailed;
  });
  if (state != Poll::kReady) {
    return Fail(NotReadyReason(state, "the strip", status,
                               options_.window_manager
                                   ? "the work area did not leave out the strip within 10 s "
                                     "(_NET_WORKAREA: " +
                                         Join(values) + ")"
                                   : "the strip was not mapped within 10 s"),
                "strip.log");
  }
  startup_.strip = MsSince(start);
  return true;
}

void VirtualDesktop::KillXServer() {
  if (xvfb_pid_ <= 0) return;
  pid_t pid = xvfb_pid_;
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  xvfb_pid_ = -1;
  RemoveStaleXFiles(pid);
}

void VirtualDesktop::RemoveStaleXFiles(pid_t server_pid) {
  if (display_.size() < 2) return;
  const std::string number = display_.substr(1);
  const std::string lock = "/tmp/.X" + number + "-lock";
  std::ifstream in(lock);
  long owner = 0;
  if (!(in >> owner) || owner != server_pid) return;
  in.close();
  unlink(lock.c_str());
  unlink(("/tmp/.X11-unix/X" + number).c_str());
}

bool VirtualDesktop::Screenshot(const std::string& png_path) {
  if (xvfb_pid_ <= 0) return false;
  XConnection connection(display_.c_str());
  if (!connection.get()) return false;
  Display* dpy = connection.get();
  int screen = DefaultScreen(dpy);
  int width = DisplayWidth(dpy, screen), height = DisplayHeight(dpy, screen);
  std::vector<uint32_t> pixels = ReadRootPixels(dpy, 0, 0, width, height);
  return !pixels.empty() && WritePng(png_path, pixels, width, height);
}

void VirtualDesktop::ExportEnvironment() {
  setenv("DISPLAY", display_.c_str(), 1);
  // Without a sound server, point clients at a socket nobody serves.
  setenv(
      "PULSE_SERVER",
      (pulse_server_.empty() ? "unix:" + runtime_dir_ + "/no-sound-server" : pulse_server_).c_str(),
      1);
  exported_ = true;
}

void VirtualDesktop::RestoreEnvironment() {
  if (!exported_) return;
  if (had_display_) {
    setenv("DISPLAY", saved_display_.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
  if (had_pulse_) {
    setenv("PULSE_SERVER", saved_pulse_.c_str(), 1);
  } else {
    unsetenv("PULSE_SERVER");
  }
  exported_ = false;
}

void VirtualDesktop::StopAll() {
  StopChild(recorder_pid_, 500);
  if (recorder_thread_.joinable()) {
    recorder_stop_ = true;
    recorder_thread_.join();
  }
  if (recorder_fd_ >= 0) {
    close(recorder_fd_);
    recorder_fd_ = -1;
  }
  StopChild(pulse_pid_);  // continues a frozen server first
  frozen_ = false;
  StopChild(strip_pid_, 500);
  StopChild(wm_pid_);
  if (xvfb_pid_ > 0) {
    pid_t pid = xvfb_pid_;
    StopChild(xvfb_pid_);
    RemoveStaleXFiles(pid);
  }
  if (!runtime_dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(runtime_dir_, ec);
    runtime_dir_.clear();
  }
  RestoreEnvironment();
}

}  // namespace gs::test
