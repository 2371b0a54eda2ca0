// Canvas drawing against plain X requests measured in the same run, on a
// private desktop: a keyed flower at its own size, a keyed and smoothed
// stretch of the centrepiece, and a full repaint of a screen-sized
// background. Every measurement waits for the server (XSync) and counts real
// time, since the server does much of the work.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "media/assets.h"
#include "media/picture.h"
#include "media/screen.h"
#include "stage/canvas.h"
#include "stage/controls.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "stage/x_connection.h"
#include "stage/ximage.h"
#include "tests/support/virtual_desktop.h"

namespace {

using namespace gs;

Window CanvasWindow() {
  return FindControl(画板1.control_id)->xwin;
}
void Sync() {
  XSync(x::Dpy(), False);
}

pid_t g_server_pid = -1;

// CPU time the X server has used so far, in seconds.
double ServerCpu() {
  std::FILE* file = std::fopen(("/proc/" + std::to_string(g_server_pid) + "/stat").c_str(), "r");
  if (!file) return 0;
  char buffer[1024] = {};
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  buffer[n] = 0;
  const char* p = std::strrchr(buffer, ')');
  unsigned long utime = 0, stime = 0;
  if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                        &stime) != 2)
    return 0;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Reports the server's CPU per iteration next to the client's.
class ServerCpuCounter {
 public:
  explicit ServerCpuCounter(benchmark::State& state) : state_(state), start_(ServerCpu()) {}
  ~ServerCpuCounter() {
    state_.counters["server_cpu"] =
        benchmark::Counter(ServerCpu() - start_, benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state_;
  double start_;
};

Image Rendered(const ByteBlock& asset) {
  std::unique_ptr<Picture> picture = DecodePictureBytes(asset.bytes(), asset.length);
  return RenderPicture(*picture, 0x00FFFFFF);
}

// What a plain XPutImage of already rendered pixels costs, at their size.
void PutPixels(benchmark::State& state, const Image& image) {
  std::vector<uint32_t> buffer;
  XImage* ximage = MakeXImage(image.pixels.data(), image.width, image.height, image.width, buffer);
  GC gc = XCreateGC(x::Dpy(), CanvasWindow(), 0, nullptr);
  ServerCpuCounter server(state);
  for (auto _ : state) {
    XPutImage(x::Dpy(), CanvasWindow(), gc, ximage, 0, 0, 300, 200,
              static_cast<unsigned>(image.width), static_cast<unsigned>(image.height));
    Sync();
  }
  XFreeGC(x::Dpy(), gc);
  DestroyBorrowedImage(ximage);
}

// ---- a flower at its own size ---------------------------------------------

void OursKeyedFlower(benchmark::State& state) {
  PictureHandle flower = LoadPicture(&assets::flower_01);
  ServerCpuCounter server(state);
  for (auto _ : state) {
    DrawPicture(画板1, flower, 300, 200, {}, {}, kWhiteKey);
    Sync();
  }
}

void PeerPutFlower(benchmark::State& state) {
  PutPixels(state, Rendered(assets::flower_01));
}

// ---- the centrepiece squeezed to 400x400 ----------------------------------

void OursKeyedStretch(benchmark::State& state) {
  PictureHandle centrepiece = LoadPicture(&assets::centrepiece);
  ServerCpuCounter server(state);
  for (auto _ : state) {
    DrawPicture(画板1, centrepiece, 300, 200, 400, 400, kWhiteKey);
    Sync();
  }
}

void PeerPut400(benchmark::State& state) {
  Image image = Rendered(assets::card_1);  // any 400x400 picture
  PutPixels(state, image);
}

// ---- a full repaint of a 1920x1080 background -----------------------------

void OursClearCanvas(benchmark::State& state) {
  ClearCanvas(画板1);  // decodes the background once, as the show's first clear does
  Sync();
  ServerCpuCounter server(state);
  for (auto _ : state) {
    ClearCanvas(画板1);
    Sync();
  }
}

void PeerCopyArea(benchmark::State& state) {
  Display* display = x::Dpy();
  Pixmap pixmap =
      XCreatePixmap(display, CanvasWindow(), 1920, 1080, static_cast<unsigned>(x::Depth()));
  GC gc = XCreateGC(display, CanvasWindow(), 0, nullptr);
  XCopyArea(display, CanvasWindow(), pixmap, gc, 0, 0, 1920, 1080, 0, 0);
  ServerCpuCounter server(state);
  for (auto _ : state) {
    XCopyArea(display, pixmap, CanvasWindow(), gc, 0, 0, 1920, 1080, 0, 0);
    Sync();
  }
  XFreeGC(display, gc);
  XFreePixmap(display, pixmap);
}

void Register(const char* name, void (*fn)(benchmark::State&)) {
  benchmark::RegisterBenchmark(name, fn)->Repetitions(5)->UseRealTime()->Unit(
      benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char** argv) {
  gs::test::DesktopOptions options;
  options.sound_server = false;
  options.strip = false;
  gs::test::VirtualDesktop desktop(options);
  if (!desktop.ok()) {
    std::fprintf(stderr, "no test desktop: %s\n", desktop.error().c_str());
    return 1;
  }
  g_server_pid = desktop.x_server_pid();
  if (!FrameworkInit()) return 1;
  LoadWindow(MainWindowDesign(), HandlerTable{});
  MoveControl(窗口, 0, 0, 1920, 1080);
  MoveControl(画板1, 0, 0, 1920, 1080);
  // A screen-sized background, as the show's captures are.
  OwnedByteBlock background = CaptureScreen();
  WriteProperty(画板1, Setting::kBackgroundPicture, background.get());
  ProcessEvents();
  Sync();

  Register("flower/ours_keyed_DrawPicture", OursKeyedFlower);
  Register("flower/peer_XPutImage", PeerPutFlower);
  Register("stretch/ours_keyed_smoothed", OursKeyedStretch);
  Register("stretch/peer_XPutImage_400", PeerPut400);
  Register("repaint/ours_ClearCanvas", OursClearCanvas);
  Register("repaint/peer_XCopyArea", PeerCopyArea);
  benchmark::Initialize(&argc, argv);
  gs::bench::RatioReporter reporter(gs::bench::RatioReporter::Clock::kReal);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("Keyed draw of flower_01 at its own size", "flower/ours_keyed_DrawPicture",
                      "flower/peer_XPutImage", "<= 2");
  reporter.PrintRatio("Keyed, smoothed stretch of centrepiece to 400x400",
                      "stretch/ours_keyed_smoothed", "stretch/peer_XPutImage_400", "reported");
  reporter.PrintRatio("Repaint of a 1920x1080 canvas background", "repaint/ours_ClearCanvas",
                      "repaint/peer_XCopyArea", "reported");
  ReleaseWindows();
  ReleaseFramework();
  return 0;
}
