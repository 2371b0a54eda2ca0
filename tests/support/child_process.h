// Child processes for the test desktop: every child runs in its own process
// group and is killed by the kernel should the test process die
// (PR_SET_PDEATHSIG is tied to the thread that starts the child, so start
// children from a thread that outlives them).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gs::test {

struct ChildSpec {
  std::vector<std::string> argv;  // argv[0] is looked up in PATH
  // Changes to this process's environment: a value sets, nullopt removes.
  std::vector<std::pair<std::string, std::optional<std::string>>> env;
  // The child's stdout and stderr are appended here; empty means /dev/null.
  std::string log_path;
  // When >= 0, the child's stdout (stderr) goes here instead of the log.
  int stdout_fd = -1;
  int stderr_fd = -1;
  // Further descriptors to hand over: {descriptor here, number in the child}.
  std::vector<std::pair<int, int>> fds;
};

// Starts the child; returns its pid, or -1 with `error` set.
pid_t SpawnChild(const ChildSpec& spec, std::string* error);

// True while the child runs. Once it has ended it is reaped, `pid` becomes -1
// and `status` (if given) receives its wait status.
bool ChildAlive(pid_t& pid, int* status = nullptr);

// Runs the child to completion with a time limit, like RunCommand.
int RunChild(ChildSpec spec, int timeout_ms, std::string* output);

// SIGTERM to the child's process group, SIGKILL if it has not ended after
// `grace_ms`, then reaps it and sets `pid` to -1. Does nothing for -1.
void StopChild(pid_t& pid, int grace_ms = 1000);

// Describes a wait status for messages ("exited with status 1", "killed by signal 9").
std::string DescribeExit(int status);

// The last `max_chars` characters of a file (for error messages).
std::string FileTail(const std::string& path, size_t max_chars = 1500);

}  // namespace gs::test
