// A private desktop for tests: an Xvfb screen, a window manager, a bottom
// strip that reserves screen space, and a PulseAudio server whose default sink
// is a null sink with a recorder attached. Everything it starts is private to
// the test process and is stopped when the object goes away (and, should the
// test process die, by the kernel: every child gets PR_SET_PDEATHSIG).
//
// While it lives, DISPLAY and PULSE_SERVER in this process's environment name
// the private servers, so code under test and child processes use them (with
// the sound server switched off, PULSE_SERVER names a socket nobody serves, so
// nothing reaches the user's own server). The previous values come back when
// the object goes away; destroy several desktops in the reverse order of
// creation. Create and destroy it on a thread that outlives it (the main test
// thread): the kernel kills the children when their starting thread ends.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gs::test {

// The strip's colour on screen (0x00RRGGBB).
constexpr uint32_t kStripColour = 0x2B3A55;

struct DesktopOptions {
  int width = 1920;
  int height = 1080;
  bool window_manager = true;
  // A dock reserving `strip_size` pixels at the bottom (or the top).
  bool strip = true;
  bool strip_at_top = false;
  int strip_size = 40;
  bool sound_server = true;
  // Record the null sink's monitor from start-up (keeps new streams from
  // stalling on an idle sink). Samples: s16le mono at `sound_rate`.
  int sound_rate = 8000;
};

class VirtualDesktop {
 public:
  explicit VirtualDesktop(const DesktopOptions& options = {});
  ~VirtualDesktop();
  VirtualDesktop(const VirtualDesktop&) = delete;
  VirtualDesktop& operator=(const VirtualDesktop&) = delete;

  // False when something could not be started; `error()` says what.
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

  const std::string& display() const { return display_; }  // e.g. ":7"
  const std::string& pulse_server() const { return pulse_server_; }
  // The private directory holding logs, sockets and the children's homes.
  const std::string& runtime_dir() const { return runtime_dir_; }

  // Recorded sound since start-up (or since the last ClearRecording), as
  // signed 16-bit mono samples at options.sound_rate. Reading waits until
  // the recorder has caught up with `settle_ms` of extra time.
  std::vector<int16_t> Recording(int settle_ms = 100);
  void ClearRecording();
  // Number of samples recorded so far (cheap; no settling).
  size_t RecordedSamples();

  // Freezes / resumes the sound server (SIGSTOP / SIGCONT).
  void FreezeSoundServer();
  void ResumeSoundServer();

  // Stops the X server abruptly (SIGKILL), for tests of a lost display.
  void KillXServer();

  // Saves the whole screen as a PNG (for looking at it) and returns true on success.
  bool Screenshot(const std::string& png_path);

  pid_t x_server_pid() const { return xvfb_pid_; }
  pid_t sound_server_pid() const { return pulse_pid_; }

  // How long each part took to become ready, in milliseconds (0 if not
  // started). The sound server starts alongside the X side, so its time runs
  // from its start until it was seen ready after the strip.
  struct StartupTimes {
    double x_server = 0, window_manager = 0, strip = 0, sound_server = 0, recorder = 0, total = 0;
    // How often the window manager missed the probe window's first mapping.
    int window_manager_remaps = 0;
  };
  const StartupTimes& startup_times() const { return startup_; }

 private:
  bool Start();
  bool MakeRuntimeDir();
  bool SpawnSoundServer();
  bool StartX();
  bool StartWindowManager();
  bool StartStrip();
  bool StartSound();
  bool StartRecorder();
  void ReadRecorder();
  void RemoveStaleXFiles(pid_t server_pid);
  void StopAll();
  bool Fail(const std::string& what, const std::string& log_name);
  void ExportEnvironment();
  void RestoreEnvironment();

  DesktopOptions options_;
  bool ok_ = false;
  std::string error_;
  std::string display_;
  std::string pulse_server_;
  std::string runtime_dir_;
  pid_t xvfb_pid_ = -1;
  pid_t wm_pid_ = -1;
  pid_t strip_pid_ = -1;
  pid_t pulse_pid_ = -1;
  pid_t recorder_pid_ = -1;
  int recorder_fd_ = -1;
  std::thread recorder_thread_;
  std::mutex recorded_mutex_;
  std::condition_variable recorded_cv_;
  std::vector<int16_t> recorded_;  // guarded by recorded_mutex_
  bool recorder_ended_ = false;    // guarded by recorded_mutex_
  std::atomic<bool> recorder_stop_{false};
  bool frozen_ = false;
  bool exported_ = false;
  std::chrono::steady_clock::time_point pulse_spawned_;
  StartupTimes startup_;
  std::string saved_display_;
  std::string saved_pulse_;
  bool had_display_ = false;
  bool had_pulse_ = false;
};

// Reads one pixel of the root window of the current DISPLAY as 0x00RRGGBB.
// Returns -1 outside the screen or when the display does not answer.
int64_t ReadScreenPixel(int x, int y);

// A 32-bit property of the root window of the current DISPLAY (for example
// "_NET_WORKAREA" or "_NET_SUPPORTING_WM_CHECK"); empty when absent.
std::vector<long> ReadRootCardinals(const std::string& property);

// Runs a command (argv) with the current environment, waits for it with a
// time limit; returns its exit status (128 + signal if killed by a signal),
// or -1 on timeout (it is then killed) or when it cannot be started. `output`
// receives its stdout and stderr.
int RunCommand(const std::vector<std::string>& argv, int timeout_ms, std::string* output = nullptr);

}  // namespace gs::test
