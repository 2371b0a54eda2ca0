#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/virtual_desktop.h"

extern char** environ;

namespace gs::test {
namespace {

std::string FindInPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::vector<std::string> BuildEnvironment(const ChildSpec& spec) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    std::string key = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const auto& [name, value] : spec.env) overridden |= (name == key);
    if (!overridden) env.push_back(entry);
  }
  for (const auto& [name, value] : spec.env) {
    if (value) env.push_back(name + "=" + *value);
  }
  return env;
}

void CloseDescriptorsFrom(int first) {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, first, ~0U, 0) == 0) return;
#endif
  for (int fd = first; fd < 1024; ++fd) close(fd);
}

// Runs in the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void ExecChild(const ChildSpec& spec, pid_t parent, const char* file, char** argv,
                            char** envp, int log_fd) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);

  int null_fd = open("/dev/null", O_RDWR);
  dup2(null_fd, 0);
  dup2(spec.stdout_fd >= 0 ? spec.stdout_fd : log_fd, 1);
  dup2(spec.stderr_fd >= 0 ? spec.stderr_fd : log_fd, 2);
  // Hand over the extra descriptors; move them clear of their targets first.
  int scratch = 100;
  int moved[16];
  size_t count = spec.fds.size() < 16 ? spec.fds.size() : 16;
  for (size_t i = 0; i < count; ++i) moved[i] = fcntl(spec.fds[i].first, F_DUPFD, scratch);
  for (size_t i = 0; i < count; ++i) dup2(moved[i], spec.fds[i].second);
  int highest = 2;
  for (size_t i = 0; i < count; ++i) {
    if (spec.fds[i].second > highest) highest = spec.fds[i].second;
  }
  CloseDescriptorsFrom(highest + 1);
  execve(file, argv, envp);
  _exit(127);
}

}  // namespace

pid_t SpawnChild(const ChildSpec& spec, std::string* error) {
  if (spec.argv.empty()) {
    *error = "no command";
    return -1;
  }
  std::string file = FindInPath(spec.argv[0]);
  if (file.empty()) {
    *error = "'" + spec.argv[0] + "' is not installed (not found in PATH)";
    return -1;
  }
  std::vector<std::string> env = BuildEnvironment(spec);
  std::vector<char*> argv, envp;
  for (const auto& a : spec.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int log_fd = open(spec.log_path.empty() ? "/dev/null" : spec.log_path.c_str(),
                    O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log_fd < 0) {
    *error = "cannot open " + spec.log_path + ": " + strerror(errno);
    return -1;
  }
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) ExecChild(spec, parent, file.c_str(), argv.data(), envp.data(), log_fd);
  int fork_errno = errno;
  close(log_fd);
  if (pid < 0) {
    *error = std::string("fork failed: ") + strerror(fork_errno);
    return -1;
  }
  setpgid(pid, pid);  // also from here, so the group exists before any kill(-pid)
  return pid;
}

bool ChildAlive(pid_t& pid, int* status) {
  if (pid <= 0) return false;
  int st = 0;
  pid_t r = waitpid(pid, &st, WNOHANG);
  if (r == 0) return true;
  if (r == pid && status) *status = st;
  pid = -1;
  return false;
}

void StopChild(pid_t& pid, int grace_ms) {
  if (pid <= 0) return;
  kill(-pid, SIGCONT);  // a stopped child would never act on SIGTERM
  kill(-pid, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(grace_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid) {
      // Ended but not yet reaped, so the group id is still ours: clear out
      // whatever the child left behind in its group.
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

std::string DescribeExit(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

std::string FileTail(const std::string& path, size_t max_chars) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.size() > max_chars) text = "..." + text.substr(text.size() - max_chars);
  return text;
}

int RunCommand(const std::vector<std::string>& argv, int timeout_ms, std::string* output) {
  ChildSpec spec;
  spec.argv = argv;
  return RunChild(std::move(spec), timeout_ms, output);
}

int RunChild(ChildSpec spec, int timeout_ms, std::string* output) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  std::string error;
  spec.stdout_fd = pipe_fds[1];
  spec.stderr_fd = pipe_fds[1];
  pid_t pid = SpawnChild(spec, &error);
  close(pipe_fds[1]);
  if (pid < 0) {
    close(pipe_fds[0]);
    if (output) *output = error;
    return -1;
  }
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  bool open_pipe = true;
  int status = 0;
  bool exited = false;
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    if (open_pipe) {
      pollfd p{pipe_fds[0], POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(std::min<long>(left, 20))) > 0) {
        char buf[4096];
        ssize_t n = read(pipe_fds[0], buf, sizeof buf);
        if (n > 0) text.append(buf, static_cast<size_t>(n));
        if (n == 0) open_pipe = false;
      }
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (waitpid(pid, &status, WNOHANG) == pid) {
      exited = true;
      break;
    }
  }
  if (!exited) {
    kill(-pid, SIGCONT);
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  } else {
    // Collect what is still in the pipe (grandchildren may hold it open: do not wait for EOF).
    pollfd p{pipe_fds[0], POLLIN, 0};
    while (poll(&p, 1, 0) > 0) {
      char buf[4096];
      ssize_t n = read(pipe_fds[0], buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
  }
  close(pipe_fds[0]);
  if (output) *output = text;
  if (!exited) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

}  // namespace gs::test
