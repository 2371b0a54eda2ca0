// The test desktop's sound side: a PulseAudio server with a null sink as
// default sink, and a recorder on the sink's monitor.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/virtual_desktop.h"
#include "tests/support/virtual_desktop_internal.h"

namespace gs::test {

using desktop_internal::Clock;
using desktop_internal::MsSince;
using desktop_internal::Poll;
using desktop_internal::PollUntilReady;

namespace {

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

}  // namespace

bool VirtualDesktop::SpawnSoundServer() {
  pulse_spawned_ = Clock::now();
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
  return true;
}

bool VirtualDesktop::StartSound() {
  const std::string socket_path = runtime_dir_ + "/pulse.sock";
  int status = 0;
  Poll state = PollUntilReady([&] {
    if (SocketAccepts(socket_path)) return Poll::kReady;
    return ChildAlive(pulse_pid_, &status) ? Poll::kWait : Poll::kFailed;
  });
  if (state != Poll::kReady) {
    return Fail(NotReadyReason(state, "pulseaudio", status,
                               "the sound server's socket did not accept within 10 s"),
                "pulseaudio.log");
  }
  pulse_server_ = "unix:" + socket_path;
  startup_.sound_server = MsSince(pulse_spawned_);
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
    return Fail(
        NotReadyReason(state, "parec", status, "the recorder delivered nothing within 10 s"),
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

}  // namespace gs::test
