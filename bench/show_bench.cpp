// Whole-program figures on a private 1920x1080 desktop: the stamping time of
// the intro show's two fastest passes against the same work done with bare
// Xlib calls, the CPU the event-loop phase uses while five workers move the
// flowers, and the peak memory of a full show.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench/ratio_reporter.h"
#include "media/assets.h"
#include "media/picture.h"
#include "tests/support/child_process.h"
#include "tests/support/virtual_desktop.h"

namespace {

using gs::test::ChildSpec;

struct Figures {
  bool measured = false;
  double loop_cpu_percent = 0, peak_mib = 0, passes_seconds = 0, peer_seconds = 0;
} g_figures;

// The peer of passes 4 and 5: the same work done with bare Xlib calls on the
// same desktop. Two passes over the fifteen pictures: each is decoded and
// rendered, a 1920x1080 window is cleared, and the picture is uploaded 31
// times with XPutImage (no key colour, no clipping, no hand-over between
// threads).
double PeerStampingSeconds(const std::string& display_name) {
  static const gs::ByteBlock* const kPassPictures[] = {
      &gs::assets::flower_03, &gs::assets::flower_04, &gs::assets::flower_05,
      &gs::assets::flower_07, &gs::assets::flower_01, &gs::assets::flower_08,
      &gs::assets::flower_09, &gs::assets::flower_10, &gs::assets::flower_11,
      &gs::assets::flower_12, &gs::assets::flower_13, &gs::assets::flower_14,
      &gs::assets::flower_15, &gs::assets::flower_02, &gs::assets::flower_06};
  Display* display = XOpenDisplay(display_name.c_str());
  if (!display) return -1;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(display, DefaultScreen(display));
  Window window =
      XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1920, 1080, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapWindow(display, window);
  GC gc = XCreateGC(display, window, 0, nullptr);
  XSync(display, False);
  auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < 2; ++pass) {
    for (const gs::ByteBlock* block : kPassPictures) {
      std::unique_ptr<gs::Picture> picture = gs::DecodePictureBytes(block->bytes(), block->length);
      if (!picture) continue;
      gs::Image image = gs::RenderPicture(*picture, 0x00FFFFFF);
      XImage* ximage = XCreateImage(display, DefaultVisual(display, DefaultScreen(display)), 24,
                                    ZPixmap, 0, reinterpret_cast<char*>(image.pixels.data()),
                                    static_cast<unsigned>(image.width),
                                    static_cast<unsigned>(image.height), 32, image.width * 4);
      XClearWindow(display, window);
      for (int i = 0; i < 31; ++i)
        XPutImage(display, window, gc, ximage, 0, 0, 100 + (i % 8) * 200, 60 + (i / 8) * 200,
                  static_cast<unsigned>(image.width), static_cast<unsigned>(image.height));
      XSync(display, False);
      ximage->data = nullptr;  // the pixels belong to `image`
      XDestroyImage(ximage);
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  XFreeGC(display, gc);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return seconds;
}

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
  const double peer = PeerStampingSeconds(desktop.display());
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
    state.counters["peer_stamping_seconds"] = peer;
    g_figures = {true, state.counters["idle_loop_cpu_percent"], state.counters["peak_rss_MiB"],
                 passes, peer};
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
                      Figure("%.3f s", g_figures.passes_seconds),
                      Figure("bare Xlib uploads of the same: %.3f s", g_figures.peer_seconds),
                      g_figures.peer_seconds > 0
                          ? Figure("%.2f", g_figures.passes_seconds / g_figures.peer_seconds)
                          : "-",
                      "under 1 s");
  gs::bench::PrintRow("CPU of the event-loop phase, five workers moving flowers",
                      Figure("%.1f %% of a core", g_figures.loop_cpu_percent), "-", "-",
                      "under 5 %");
  gs::bench::PrintRow("Peak resident memory of a full show at 1920x1080",
                      Figure("%.1f MiB", g_figures.peak_mib), "-", "-", "under 64 MiB");
  return 0;
}
