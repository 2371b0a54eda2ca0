// CaptureScreen of a 1920x1080 screen into BMP bytes against a plain
// XGetImage of the same screen, measured in the same run on a private
// desktop.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "media/screen.h"
#include "stage/framework.h"
#include "stage/x_connection.h"
#include "tests/support/virtual_desktop.h"

namespace {

using namespace gs;

void OursCaptureScreen(benchmark::State& state) {
  for (auto _ : state) {
    OwnedByteBlock bmp = CaptureScreen();
    benchmark::DoNotOptimize(bmp.get());
    if (!bmp) state.SkipWithError("empty capture");
  }
}

void PeerXGetImage(benchmark::State& state) {
  for (auto _ : state) {
    XImage* image = XGetImage(x::Dpy(), x::Root(), 0, 0, 1920, 1080, AllPlanes, ZPixmap);
    benchmark::DoNotOptimize(image);
    if (image) XDestroyImage(image);
  }
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatio(const std::string& ours, const std::string& peer, const char* goal) const {
    auto a = medians_.find(ours);
    auto b = medians_.find(peer);
    if (a == medians_.end() || b == medians_.end() || b->second <= 0) return;
    std::printf("%-24s / %-24s = %6.2f  %s\n", ours.c_str(), peer.c_str(), a->second / b->second,
                goal);
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  gs::test::DesktopOptions options;
  options.sound_server = false;
  gs::test::VirtualDesktop desktop(options);
  if (!desktop.ok()) {
    std::fprintf(stderr, "no test desktop: %s\n", desktop.error().c_str());
    return 1;
  }
  if (!FrameworkInit()) return 1;
  benchmark::RegisterBenchmark("capture/ours_CaptureScreen", OursCaptureScreen)
      ->Repetitions(5)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("capture/peer_XGetImage", PeerXGetImage)
      ->Repetitions(5)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nours / peer (real time, medians):\n");
  reporter.PrintRatio("capture/ours_CaptureScreen", "capture/peer_XGetImage", "(goal <= 0.25)");
  ReleaseFramework();
  return 0;
}
