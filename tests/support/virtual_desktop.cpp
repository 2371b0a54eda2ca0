#include "tests/support/virtual_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/x_probe.h"

namespace gs::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 20;
constexpr int kGiveUpMs = 10000;

enum class Poll { kWait, kReady, kFailed };

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Calls `check` every 20 ms until it is ready or fails; kFailed after 10 s.
template <class Check>
Poll PollUntilReady(Check check) {
  auto deadline = Clock::now() + std::chrono::milliseconds(kGiveUpMs);
  while (true) {
    Poll state = check();
    if (state != Poll::kWait) return state;
    if (Clock::now() >= deadline) return Poll::kWait;  // timed out
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

bool SocketAccepts(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

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
    return Fail(state == Poll::kFailed ? "Xvfb " + DescribeExit(status) + " before it was ready"
                                       : "Xvfb gave no display number within 10 s",
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
    return Fail(state == Poll::kFailed ? "openbox " + DescribeExit(status) + " before it was ready"
                                       : "openbox did not announce itself within 10 s",
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
    return Fail(state == Poll::kFailed ? "openbox " + DescribeExit(status) + " before it was ready"
                                       : "openbox did not manage a window within 10 s",
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
    return Fail(state == Poll::kFailed
                    ? "the strip " + DescribeExit(status) + " before it was ready"
                : options_.window_manager
                    ? "the work area did not leave out the strip within 10 s (_NET_WORKAREA: " +
                          Join(values) + ")"
                    : "the strip was not mapped within 10 s",
                "strip.log");
  }
  startup_.strip = MsSince(start);
  return true;
}

bool VirtualDesktop::StartSound() {
  auto start = Clock::now();
  const std::string socket_path = runtime_dir_ + "/pulse.sock";
  const std::string config = runtime_dir_ + "/pulse.pa";
  const std::string rate = std::to_string(options_.sound_rate);
  {
    // norewinds: the sink never takes back what it has mixed, so the monitor
    // hears the first samples of a new stream too (with rewinds the first
    // 20-70 samples went missing). The recorder keeps the sink's latency at
    // 10 ms, which bounds what a stopped stream can still play.
    std::ofstream out(config);
    out << "load-module module-null-sink sink_name=nullsink rate=" << rate
        << " channels=1 format=s16le norewinds=1\n"
        << "set-default-sink nullsink\n"
        << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket_path
        << "\n";
    if (!out) return Fail("cannot write " + config, "");
  }
  ChildSpec spec;
  spec.argv = {"pulseaudio",
               "-n",
               "-F",
               config,
               "--exit-idle-time=-1",
               "--daemonize=no",
               "--system=no",
               "--use-pid-file=no"};
  spec.log_path = runtime_dir_ + "/pulseaudio.log";
  // No DISPLAY and no session bus: it must not reach any desktop's services.
  spec.env = {{"HOME", runtime_dir_ + "/home"},
              {"XDG_RUNTIME_DIR", runtime_dir_ + "/run"},
              {"XDG_CONFIG_HOME", runtime_dir_ + "/config"},
              {"PULSE_RUNTIME_PATH", runtime_dir_ + "/pulse"},
              {"PULSE_STATE_PATH", runtime_dir_ + "/pulse-state"},
              {"PULSE_SERVER", std::nullopt},
              {"DISPLAY", std::nullopt},
              {"XAUTHORITY", std::nullopt},
              {"DBUS_SESSION_BUS_ADDRESS", std::nullopt}};
  std::string error;
  pulse_pid_ = SpawnChild(spec, &error);
  if (pulse_pid_ < 0) return Fail("cannot start the sound server: " + error, "");

  int status = 0;
  Poll state = PollUntilReady([&] {
    if (SocketAccepts(socket_path)) return Poll::kReady;
    return ChildAlive(pulse_pid_, &status) ? Poll::kWait : Poll::kFailed;
  });
  if (state != Poll::kReady) {
    return Fail(state == Poll::kFailed
                    ? "pulseaudio " + DescribeExit(status) + " before it was ready"
                    : "the sound server's socket did not accept within 10 s",
                "pulseaudio.log");
  }
  pulse_server_ = "unix:" + socket_path;
  startup_.sound_server = MsSince(start);
  return StartRecorder();
}

bool VirtualDesktop::StartRecorder() {
  auto start = Clock::now();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return Fail("pipe failed", "");
  ChildSpec spec;
  spec.argv = {"parec",
               "--device=nullsink.monitor",
               "--latency-msec=10",
               "--raw",
               "--format=s16le",
               "--rate=" + std::to_string(options_.sound_rate),
               "--channels=1"};
  spec.stdout_fd = fds[1];
  spec.log_path = runtime_dir_ + "/parec.log";
  spec.env = {{"PULSE_SERVER", pulse_server_},
              {"HOME", runtime_dir_ + "/home"},
              {"XDG_RUNTIME_DIR", runtime_dir_ + "/run"},
              {"XDG_CONFIG_HOME", runtime_dir_ + "/config"},
              {"DISPLAY", std::nullopt}};
  std::string error;
  recorder_pid_ = SpawnChild(spec, &error);
  close(fds[1]);
  if (recorder_pid_ < 0) {
    close(fds[0]);
    return Fail("cannot start the recorder: " + error, "");
  }
  recorder_fd_ = fds[0];
  recorder_thread_ = std::thread([this] { ReadRecorder(); });

  // An idle null sink renders in blocks of up to two seconds, so the first
  // samples could take that long. Once the recorder's stream exists, a
  // suspend and resume restarts the sink at the recorder's short latency.
  ChildSpec pactl;
  pactl.env = {{"PULSE_SERVER", pulse_server_},
               {"HOME", runtime_dir_ + "/home"},
               {"XDG_RUNTIME_DIR", runtime_dir_ + "/run"},
               {"XDG_CONFIG_HOME", runtime_dir_ + "/config"},
               {"DISPLAY", std::nullopt}};
  bool restarted = false;
  int status = 0;
  Poll state = PollUntilReady([&] {
    if (RecordedSamples() > 0) return Poll::kReady;
    if (!ChildAlive(recorder_pid_, &status)) return Poll::kFailed;
    if (!restarted) {
      std::string outputs;
      pactl.argv = {"pactl", "list", "short", "source-outputs"};
      if (RunChild(pactl, 2000, &outputs) == 0 && !outputs.empty()) {
        pactl.argv = {"pactl", "suspend-sink", "nullsink", "1"};
        RunChild(pactl, 2000, nullptr);
        pactl.argv = {"pactl", "suspend-sink", "nullsink", "0"};
        RunChild(pactl, 2000, nullptr);
        restarted = true;
      }
    }
    return Poll::kWait;
  });
  if (state != Poll::kReady) {
    return Fail(state == Poll::kFailed ? "parec " + DescribeExit(status) + " before recording"
                                       : "the recorder delivered nothing within 10 s",
                "parec.log");
  }
  startup_.recorder = MsSince(start);
  return true;
}

void VirtualDesktop::ReadRecorder() {
  char buffer[4096];
  bool have_odd = false;
  unsigned char odd = 0;
  while (!recorder_stop_) {
    pollfd p{recorder_fd_, POLLIN, 0};
    int ready = poll(&p, 1, 100);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      if (ready < 0) break;
      continue;
    }
    ssize_t n = read(recorder_fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::lock_guard<std::mutex> lock(recorded_mutex_);
    for (ssize_t i = 0; i < n; ++i) {
      auto byte = static_cast<unsigned char>(buffer[i]);
      if (!have_odd) {
        odd = byte;
        have_odd = true;
      } else {
        recorded_.push_back(static_cast<int16_t>(static_cast<uint16_t>(odd | (byte << 8))));
        have_odd = false;
      }
    }
    recorded_cv_.notify_all();
  }
  std::lock_guard<std::mutex> lock(recorded_mutex_);
  recorder_ended_ = true;
  recorded_cv_.notify_all();
}

std::vector<int16_t> VirtualDesktop::Recording(int settle_ms) {
  if (!recorder_thread_.joinable()) return {};
  std::unique_lock<std::mutex> lock(recorded_mutex_);
  const size_t target = recorded_.size() + static_cast<size_t>(settle_ms) *
                                               static_cast<size_t>(options_.sound_rate) / 1000;
  // The recorder runs in real time; allow generous slack before giving up
  // (a frozen server delivers nothing).
  recorded_cv_.wait_for(lock, std::chrono::milliseconds(settle_ms + 2000),
                        [&] { return recorded_.size() >= target || recorder_ended_; });
  return recorded_;
}

void VirtualDesktop::ClearRecording() {
  std::lock_guard<std::mutex> lock(recorded_mutex_);
  recorded_.clear();
}

size_t VirtualDesktop::RecordedSamples() {
  std::lock_guard<std::mutex> lock(recorded_mutex_);
  return recorded_.size();
}

void VirtualDesktop::FreezeSoundServer() {
  if (pulse_pid_ > 0 && kill(pulse_pid_, SIGSTOP) == 0) frozen_ = true;
}

void VirtualDesktop::ResumeSoundServer() {
  if (pulse_pid_ > 0) kill(pulse_pid_, SIGCONT);
  frozen_ = false;
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
