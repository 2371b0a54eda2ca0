// Whole-program figures on a private 1920x1080 desktop: the stamping time of
// the intro show's two fastest passes (930 stamps; the per-stamp ratio against
// a plain upload is canvas_bench's keyed draw), the CPU the event-loop phase
// uses while five workers move the flowers, and the peak memory of a full show.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "bench/ratio_reporter.h"
#include "tests/support/child_process.h"
#include "tests/support/virtual_desktop.h"

namespace {

using gs::test::ChildSpec;

struct Figures {
  bool measured = false;
  double loop_cpu_percent = 0, peak_mib = 0, passes_seconds = 0;
} g_figures;

struct Usage {
  double cpu_seconds = 0;
  long peak_kib = 0;
};

Usage ReadUsage(pid_t pid) {
  Usage usage;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  if (close != std::string::npos) {
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) utime = std::stol(field);
      if (i == 15) stime = std::stol(field);
    }
    usage.cpu_seconds = static_cast<double>(utime + stime) / sysconf(_SC_CLK_TCK);
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) usage.peak_kib = std::stol(line.substr(6));
  return usage;
}

struct Trace {
  std::string path;
  bool Has(const std::string& mark) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
      if (line.size() > mark.size() &&
          line.compare(line.size() - mark.size(), mark.size(), mark) == 0)
        return true;
    return false;
  }
  double At(const std::string& mark) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      size_t space = line.find(' ');
      if (space != std::string::npos && line.substr(space + 1) == mark)
        return std::stod(line.substr(0, space)) / 1e6;
    }
    return -1;
  }
};

void BM_WholeShow(benchmark::State& state) {
  gs::test::VirtualDesktop desktop;
  if (!desktop.ok()) {
    state.SkipWithError(desktop.error().c_str());
    return;
  }
  for (auto _ : state) {
    Trace trace{desktop.runtime_dir() + "/bench.trace"};
    ChildSpec spec;
    spec.argv = {GS_SHOW_RUNNER_PATH};
    // The opening at a tenth of its time, the event loop at real speed.
    spec.env = {{"GS_TEST_TIME_SCALE", std::string("0.1")},
                {"GS_TEST_TRACE", trace.path},
                {"GS_TEST_REAL_TIME_FROM", std::string("opening done")}};
    std::string error;
    pid_t pid = gs::test::SpawnChild(spec, &error);
    long peak = 0;
    auto poll_until = [&](const std::string& mark) {
      while (!trace.Has(mark) && kill(pid, 0) == 0) {
        peak = std::max(peak, ReadUsage(pid).peak_kib);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    };
    poll_until("opening done");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Usage before = ReadUsage(pid);
    auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(20));
    Usage after = ReadUsage(pid);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    poll_until("overlay");
    peak = std::max(peak, ReadUsage(pid).peak_kib);
    int status = 0;
    gs::test::ChildAlive(pid, &status);
    for (int i = 0; i < 500 && pid > 0 && gs::test::ChildAlive(pid, &status); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (pid > 0) gs::test::StopChild(pid, 200);
    double passes = trace.At("tune change") - trace.At("pass 4");
    state.SetIterationTime(passes);
    state.counters["idle_loop_cpu_percent"] =
        100.0 * (after.cpu_seconds - before.cpu_seconds) / wall;
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["passes_4_5_seconds"] = passes;
    g_figures = {true, state.counters["idle_loop_cpu_percent"], state.counters["peak_rss_MiB"],
                 passes};
  }
}
BENCHMARK(BM_WholeShow)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_figures.measured) return 1;
  using gs::bench::Figure;
  gs::bench::PrintRow("Passes 4 and 5 of the intro show (930 stamps, 30 decodes)",
                      Figure("%.2f s", g_figures.passes_seconds), "-", "-", "under 1 s");
  gs::bench::PrintRow("CPU of the event-loop phase, five workers moving flowers",
                      Figure("%.1f %% of a core", g_figures.loop_cpu_percent), "-", "-",
                      "under 5 %");
  gs::bench::PrintRow("Peak resident memory of a full show at 1920x1080",
                      Figure("%.1f MiB", g_figures.peak_mib), "-", "-", "under 64 MiB");
  return 0;
}
