// CaptureScreen of a 1920x1080 screen into BMP bytes against a plain
// XGetImage of the same screen, measured in the same run on a private
// desktop.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
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
  gs::bench::RatioReporter reporter(gs::bench::RatioReporter::Clock::kReal);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("Capture of a 1920x1080 screen to BMP bytes", "capture/ours_CaptureScreen",
                      "capture/peer_XGetImage", "<= 0.25");
  ReleaseFramework();
  return 0;
}
