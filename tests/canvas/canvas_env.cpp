// clang-format off
#include <gtest/gtest.h>  // before any X11 header: Xlib's None clashes with it
// clang-format on

#include "tests/canvas/canvas_env.h"

#include <X11/Xutil.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "media/assets.h"
#include "media/screen.h"
#include "stage/canvas.h"
#include "stage/controls.h"
#include "stage/fonts.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "stage/x_connection.h"
#include "tests/support/virtual_desktop.h"
#include "tests/support/x_probe.h"

namespace gs::test {
namespace {

CanvasWorld g_world;

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get16(const uint8_t* p) {
  return p[0] | p[1] << 8;
}
uint32_t Get32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool Viewable(Display* display, Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

// The child of the root that holds the window (the window manager's frame).
Window FrameOf(Display* display, Window window) {
  for (;;) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return window;
    if (children) XFree(children);
    if (parent == root || parent == 0) return window;
    window = parent;
  }
}

void PlaceOf(Display* display, Window window, int& x, int& y, int& w, int& h) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, window, &attributes);
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), -attributes.border_width,
                        -attributes.border_width, &x, &y, &child);
  w = attributes.width + 2 * attributes.border_width;
  h = attributes.height + 2 * attributes.border_width;
}

// A managed window of another program, striped so that its orientation shows.
bool OpenForeignWindow() {
  Display* display = g_world.probe;
  Window root = DefaultRootWindow(display);
  const int w = 300, h = 200;
  Pixmap stripes = XCreatePixmap(display, root, w, h, DefaultDepth(display, 0));
  GC gc = XCreateGC(display, stripes, 0, nullptr);
  const unsigned long colours[] = {0xC03020, 0x20A040, 0x2040C0, 0xE0C020};
  for (int band = 0; band < 4; ++band) {
    XSetForeground(display, gc, colours[band]);
    XFillRectangle(display, stripes, gc, 0, band * h / 4, w, h / 4);
  }
  XFreeGC(display, gc);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = stripes;
  Window window = XCreateWindow(display, root, 1300, 200, w, h, 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWBackPixmap, &attributes);
  XFreePixmap(display, stripes);
  XSizeHints hints{};
  hints.flags = USPosition | USSize;
  hints.x = 1300;
  hints.y = 200;
  hints.width = w;
  hints.height = h;
  XSetWMNormalHints(display, window, &hints);
  XStoreName(display, window, "another program");
  XMapWindow(display, window);
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < give_up) {
    XSync(display, False);
    if (Viewable(display, window) && FrameOf(display, window) != window &&
        !ReadCardinals(display, window, "_NET_FRAME_EXTENTS").empty())
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Let the window manager finish drawing the decoration.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  XSync(display, False);
  g_world.foreign = window;
  PlaceOf(display, window, g_world.foreign_x, g_world.foreign_y, g_world.foreign_w,
          g_world.foreign_h);
  PlaceOf(display, FrameOf(display, window), g_world.frame_x, g_world.frame_y, g_world.frame_w,
          g_world.frame_h);
  return Viewable(display, window);
}

// The created event: what the show does before its window is visible.
void OnCreated() {
  Control* window = FindControl(窗口.control_id);
  g_world.window_mapped_in_created = window && window->xwin && Viewable(x::Dpy(), window->xwin);
  MoveControl(窗口, 0, 0, kScreenW, kScreenH);
  MoveControl(画板1, 0, 0, kScreenW, kScreenH);
  g_world.created_background = LightPattern(kScreenW, kScreenH, 1);
  OwnedByteBlock bmp = MakeBmp(g_world.created_background);
  WriteProperty(画板1, Setting::kBackgroundPicture, bmp.get());
  ClearCanvas(画板1);
  DrawPicture(画板1, Handle(assets::flower_01), 500, 300, {}, {}, kWhiteKey);
  g_world.capture_in_created = CaptureScreen();
}

class CanvasEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    DesktopOptions options;
    options.sound_server = false;
    desktop_ = std::make_unique<VirtualDesktop>(options);
    ASSERT_TRUE(desktop_->ok()) << desktop_->error();
    probe_ = std::make_unique<XConnection>(nullptr);
    g_world.probe = probe_->get();
    ASSERT_NE(g_world.probe, nullptr);
    ASSERT_TRUE(OpenForeignWindow());
    g_world.desktop_before_load = ReadRootPixels(g_world.probe, 0, 0, kScreenW, kScreenH);
    ASSERT_TRUE(FrameworkInit());
    HandlerTable handlers;
    handlers.created = OnCreated;
    LoadWindow(MainWindowDesign(), handlers);
    Settle();
  }
  void TearDown() override {
    ReleaseWindows();
    ReleaseFonts();
    ReleaseFramework();
    probe_.reset();
    desktop_.reset();
  }

 private:
  std::unique_ptr<VirtualDesktop> desktop_;
  std::unique_ptr<XConnection> probe_;
};

}  // namespace

const CanvasWorld& World() {
  return g_world;
}

std::vector<uint32_t> ReadScreen(int x, int y, int width, int height) {
  XSync(x::Dpy(), False);
  return ReadRootPixels(g_world.probe, x, y, width, height);
}

void Settle() {
  for (int i = 0; i < 3; ++i) {
    ProcessEvents();
    XSync(x::Dpy(), False);
  }
  ProcessEvents();
  XSync(x::Dpy(), False);
}

Image DarkPattern(int width, int height, uint32_t seed) {
  return MakeImage(width, height, [seed](int x, int y) {
    return Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0x3F3F3Fu;
  });
}

Image LightPattern(int width, int height, uint32_t seed) {
  return MakeImage(width, height, [seed](int x, int y) {
    uint32_t c =
        0xC0C0C0u | (Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0x3F3F3Fu);
    return c == 0xFFFFFFu ? 0xFFFFFEu : c;
  });
}

OwnedByteBlock MakeBmp(const Image& image) {
  const int64_t stride = (static_cast<int64_t>(image.width) * 3 + 3) / 4 * 4;
  const int64_t size = 54 + stride * image.height;
  OwnedByteBlock block = MakeByteBlock(size);
  uint8_t* b = block->bytes();
  std::memset(b, 0, static_cast<size_t>(size));
  b[0] = 'B';
  b[1] = 'M';
  Put32(b + 2, static_cast<uint32_t>(size));
  Put32(b + 10, 54);
  Put32(b + 14, 40);
  Put32(b + 18, static_cast<uint32_t>(image.width));
  Put32(b + 22, static_cast<uint32_t>(image.height));
  Put16(b + 26, 1);
  Put16(b + 28, 24);
  Put32(b + 34, static_cast<uint32_t>(stride * image.height));
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = b + 54 + stride * (image.height - 1 - y);
    for (int x = 0; x < image.width; ++x) {
      uint32_t p = image.pixels[static_cast<size_t>(y) * image.width + x];
      row[x * 3] = static_cast<uint8_t>(p);
      row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
  return block;
}

BmpFile ReadBmp(const ByteBlock* block) {
  BmpFile bmp;
  if (!block || block->length < 54) {
    bmp.error = "shorter than the headers";
    return bmp;
  }
  const uint8_t* b = block->bytes();
  if (b[0] != 'B' || b[1] != 'M') {
    bmp.error = "no BM signature";
    return bmp;
  }
  bmp.file_size = Get32(b + 2);
  bmp.pixel_offset = Get32(b + 10);
  bmp.header_size = Get32(b + 14);
  bmp.width = static_cast<int32_t>(Get32(b + 18));
  bmp.height = static_cast<int32_t>(Get32(b + 22));
  bmp.planes = static_cast<uint16_t>(Get16(b + 26));
  bmp.bits = static_cast<uint16_t>(Get16(b + 28));
  bmp.compression = Get32(b + 30);
  bmp.image_size = Get32(b + 34);
  if (Get16(b + 6) || Get16(b + 8) || Get32(b + 38) || Get32(b + 42) || Get32(b + 46) ||
      Get32(b + 50)) {
    bmp.error = "reserved, resolution or colour-count fields are not 0";
    return bmp;
  }
  if (bmp.bits != 24 || bmp.width <= 0 || bmp.height <= 0) {
    bmp.error = "not a bottom-up 24-bit picture";
    return bmp;
  }
  bmp.stride = (24 * static_cast<int64_t>(bmp.width) + 31) / 32 * 4;
  if (bmp.pixel_offset + bmp.stride * bmp.height > static_cast<int64_t>(block->length)) {
    bmp.error = "pixel rows run past the end";
    return bmp;
  }
  bmp.pixels.resize(static_cast<size_t>(bmp.width) * bmp.height);
  for (int y = 0; y < bmp.height; ++y) {
    const uint8_t* row = b + bmp.pixel_offset + bmp.stride * (bmp.height - 1 - y);
    for (int x = 0; x < bmp.width; ++x)
      bmp.pixels[static_cast<size_t>(y) * bmp.width + x] =
          static_cast<uint32_t>(row[x * 3 + 2]) << 16 | row[x * 3 + 1] << 8 | row[x * 3];
  }
  bmp.ok = true;
  return bmp;
}

void ShowCanvas(const Image& background, int left, int top, int width, int height) {
  MoveControl(画板1, left, top, width, height);
  OwnedByteBlock bmp = MakeBmp(background);
  WriteProperty(画板1, Setting::kBackgroundPicture, bmp.get());
  ClearCanvas(画板1);
  Settle();
}

PictureHandle Handle(const ByteBlock& asset) {
  static std::map<const ByteBlock*, PictureHandle> handles;
  PictureHandle& handle = handles[&asset];
  if (!handle) handle = LoadPicture(&asset);
  return handle;
}

Image Rendered(const ByteBlock& asset) {
  std::unique_ptr<Picture> picture = DecodePictureBytes(asset.bytes(), asset.length);
  return picture ? RenderPicture(*picture, 0x00FFFFFF) : Image{};
}

std::string SavePng(const std::string& name, const std::vector<uint32_t>& pixels, int width,
                    int height) {
  std::string dir = GS_ARTIFACT_DIR;
  mkdir(dir.substr(0, dir.rfind('/')).c_str(), 0755);
  mkdir(dir.c_str(), 0755);
  std::string path = dir + "/" + name + ".png";
  return WritePng(path, pixels, width, height) ? path : std::string();
}

std::vector<uint32_t> Crop(const std::vector<uint32_t>& pixels, int width, int x, int y, int w,
                           int h) {
  std::vector<uint32_t> out;
  out.reserve(static_cast<size_t>(w) * h);
  for (int row = y; row < y + h; ++row)
    out.insert(out.end(), pixels.begin() + static_cast<ptrdiff_t>(row) * width + x,
               pixels.begin() + static_cast<ptrdiff_t>(row) * width + x + w);
  return out;
}

}  // namespace gs::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new gs::test::CanvasEnvironment);
  return RUN_ALL_TESTS();
}
