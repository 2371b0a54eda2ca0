// Waiting, reporting and child-process helpers for the playback tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace gs::test {

inline void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Polls `done` every 5 ms; true once it holds, false after `timeout_ms`.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms);

// Prints a measured figure and records it in the test's XML output.
void Report(const std::string& name, double value);

// Sends this process's stderr to a file until Finish, which returns what
// was written.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  std::string Finish();

 private:
  int saved_ = -1;
  int file_ = -1;
};

// Runs this test program as a child that plays a looped tune, says so, and
// ends (with or without StopMusic, by its mode) once released.
class ExitProbe {
 public:
  static constexpr const char* kModeVariable = "GS_MUSIC_EXIT_PROBE";

  explicit ExitProbe(std::string mode);
  ~ExitProbe();
  ExitProbe(const ExitProbe&) = delete;
  ExitProbe& operator=(const ExitProbe&) = delete;

  // Starts the child and waits until it plays.
  bool Start();
  const std::string& error() const { return error_; }

  struct Result {
    bool exited = false;
    std::string description;  // "exited with status 0", ...
    std::string stderr_text;
    double exit_ms = 0;  // from the release to the child's end
  };
  // Tells the child to end and waits up to `timeout_ms` for it.
  Result Release(int timeout_ms);

  // The child's side.
  static void ChildReady();
  static void ChildWaitForRelease();

 private:
  std::string mode_;
  std::string error_;
  std::string stderr_path_;
  pid_t pid_ = -1;
  int ready_fd_ = -1;
  int release_fd_ = -1;
};

}  // namespace gs::test
