// Runs the program (the test runner or the shipped binary) as a child on the
// current private desktop and follows its phase marks.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace gs::test {

class ShowProcess {
 public:
  // `time_scale` applies to the test runner only; the shipped binary ignores it.
  ShowProcess(const std::string& binary, double time_scale, const std::string& name);
  ~ShowProcess();

  bool started() const { return pid_ > 0; }
  // Waits until the mark has been written; false on timeout or when the program ended first.
  bool WaitForMark(const std::string& mark, int timeout_ms);
  // Microseconds from the runner's start to the mark, or -1.
  int64_t MarkTime(const std::string& mark);
  std::vector<std::pair<int64_t, std::string>> Marks();
  // Waits for the end; returns the wait status, or -1 on timeout (the child is then killed).
  int Wait(int timeout_ms);
  bool Running();
  std::string Log();
  // Lines of the log where a sanitizer reported something (empty when clean).
  std::string SanitizerFindings();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
  std::string trace_path_;
  std::string log_path_;
};

// The runner and the shipped binary, as built.
std::string RunnerPath();
std::string ShippedPath();
// Where a test keeps a file for people to look at (test-artifacts/ of the
// build directory, made when missing).
std::string ArtifactPath(const std::string& name);

// Presses a key on the current display (xdotool syntax, e.g. "Escape", "ctrl+Escape").
bool PressKey(const std::string& keys);

// The program's top-level window (by its class), or 0.
unsigned long FindShowWindow();
// Its rectangle on the screen; false when there is none.
bool ShowWindowRect(int* x, int* y, int* w, int* h);

}  // namespace gs::test
