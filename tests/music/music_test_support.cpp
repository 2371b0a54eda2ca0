#include "tests/music/music_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "tests/support/child_process.h"

namespace gs::test {
namespace {

constexpr int kChildReadyFd = 3;
constexpr int kChildReleaseFd = 4;

std::string ReadAll(int fd) {
  std::string text;
  char buffer[512];
  lseek(fd, 0, SEEK_SET);
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(5);
  }
}

void Report(const std::string& name, double value) {
  std::printf("[  measure ] %s = %.2f\n", name.c_str(), value);
  std::fflush(stdout);
  ::testing::Test::RecordProperty(name, std::to_string(value));
}

StderrCapture::StderrCapture() {
  char path[] = "/tmp/gs-music-stderr-XXXXXX";
  file_ = mkstemp(path);
  if (file_ < 0) return;
  unlink(path);
  std::fflush(stderr);
  saved_ = dup(2);
  dup2(file_, 2);
}

StderrCapture::~StderrCapture() {
  Finish();
}

std::string StderrCapture::Finish() {
  if (file_ < 0) return {};
  std::fflush(stderr);
  if (saved_ >= 0) {
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  std::string text = ReadAll(file_);
  close(file_);
  file_ = -1;
  return text;
}

ExitProbe::ExitProbe(std::string mode) : mode_(std::move(mode)) {}

ExitProbe::~ExitProbe() {
  StopChild(pid_, 500);
  if (ready_fd_ >= 0) close(ready_fd_);
  if (release_fd_ >= 0) close(release_fd_);
  if (!stderr_path_.empty()) unlink(stderr_path_.c_str());
}

bool ExitProbe::Start() {
  std::vector<char> self(4096);
  const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length <= 0) {
    error_ = "cannot find this program";
    return false;
  }
  int ready[2];
  int release[2];
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return false;
  }
  char path[] = "/tmp/gs-music-child-stderr-XXXXXX";
  const int stderr_fd = mkstemp(path);
  stderr_path_ = path;

  ChildSpec child;
  child.argv = {std::string(self.data(), static_cast<size_t>(length)),
                "--gtest_filter=MusicChild.PlaysUntilTold"};
  child.env = {{kModeVariable, mode_}};
  child.stderr_fd = stderr_fd;
  child.fds = {{ready[1], kChildReadyFd}, {release[0], kChildReleaseFd}};
  pid_ = SpawnChild(child, &error_);
  close(ready[1]);
  close(release[0]);
  if (stderr_fd >= 0) close(stderr_fd);
  ready_fd_ = ready[0];
  release_fd_ = release[1];
  if (pid_ < 0) return false;

  pollfd p{ready_fd_, POLLIN, 0};
  char byte = 0;
  if (poll(&p, 1, 10000) <= 0 || read(ready_fd_, &byte, 1) != 1) {
    error_ = "the child did not start playing within 10 s: " + FileTail(stderr_path_);
    return false;
  }
  return true;
}

ExitProbe::Result ExitProbe::Release(int timeout_ms) {
  Result result;
  const auto released = std::chrono::steady_clock::now();
  const char byte = 'x';
  [[maybe_unused]] ssize_t ignored = write(release_fd_, &byte, 1);
  int status = 0;
  result.exited = WaitUntil([&] { return !ChildAlive(pid_, &status); }, timeout_ms);
  result.exit_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - released)
          .count();
  if (result.exited) result.description = DescribeExit(status);
  result.stderr_text = FileTail(stderr_path_, 4000);
  return result;
}

void ExitProbe::ChildReady() {
  const char byte = 'r';
  [[maybe_unused]] ssize_t ignored = write(kChildReadyFd, &byte, 1);
}

void ExitProbe::ChildWaitForRelease() {
  char byte;
  [[maybe_unused]] ssize_t ignored = read(kChildReleaseFd, &byte, 1);
}

}  // namespace gs::test

#if defined(__SANITIZE_THREAD__)
// The sound server's client library and the synthesiser's OpenMP runtime
// synchronise in ways the thread checker cannot see (they are not built for
// it); its reports from inside them would otherwise stall the feeding
// threads while being printed.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libpulsecommon\n"
         "race:libpulse.so\n"
         "race:libgomp\n"
         "race:libglib\n";
}
#endif
