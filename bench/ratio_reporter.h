// What every benchmark prints for the performance table: rows that start with
// "| ", one per figure, which bench/report.sh gathers into one table. The
// reporter keeps each benchmark's time per iteration (the median when the
// benchmark is repeated, else its one run) so that ours can be divided by a
// peer measured in the same run.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace gs::bench {

inline void PrintRow(const std::string& what, const std::string& ours, const std::string& peer,
                     const std::string& ratio, const std::string& goal) {
  std::printf("| %s | %s | %s | %s | %s |\n", what.c_str(), ours.c_str(), peer.c_str(),
              ratio.c_str(), goal.c_str());
  std::fflush(stdout);
}

inline std::string Figure(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  enum class Clock { kReal, kCpu };

  explicit RatioReporter(Clock clock)
      : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular), clock_(clock) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!median && (run.run_type != Run::RT_Iteration || have_median_.count(name))) continue;
      if (median) have_median_.insert(name);
      times_[name] = {clock_ == Clock::kCpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime(),
                      benchmark::GetTimeUnitString(run.time_unit)};
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // One row: `what`, ours and the peer with their times, the ratio and the
  // goal. Prints nothing when either side did not run (filtered or skipped).
  void PrintRatio(const std::string& what, const std::string& ours, const std::string& peer,
                  const std::string& goal) const {
    auto a = times_.find(ours);
    auto b = times_.find(peer);
    if (a == times_.end() || b == times_.end() || b->second.value <= 0) return;
    const char* clock = clock_ == Clock::kCpu ? " CPU" : "";
    PrintRow(what, ours + ": " + Time(a->second) + clock, peer + ": " + Time(b->second) + clock,
             Figure("%.2f", a->second.value / b->second.value), goal);
  }

 private:
  struct Timing {
    double value = 0;
    std::string unit;
  };
  static std::string Time(const Timing& t) {
    return Figure(t.value >= 100 ? "%.0f " : "%.3g ", t.value) + t.unit;
  }

  Clock clock_;
  std::map<std::string, Timing> times_;
  std::set<std::string> have_median_;
};

}  // namespace gs::bench
