#include "tests/support/x_probe.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <png.h>

#include <atomic>
#include <cstdio>
#include <memory>

#include "tests/support/virtual_desktop.h"

namespace gs::test {
namespace {

std::atomic<int> g_trapped_errors{0};

int CountError(Display*, XErrorEvent*) {
  ++g_trapped_errors;
  return 0;
}

// Returning from both leaves the connection dead instead of exiting the
// process (Xlib's default handler exits); further calls on it fail quietly.
int NoteLostConnection(Display*) {
  ++g_trapped_errors;
  return 0;
}
void IgnoreLostConnection(Display*, void*) {
  ++g_trapped_errors;
}

int MaskShift(unsigned long mask) {
  int shift = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

uint32_t Channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  unsigned long value = (pixel & mask) >> MaskShift(mask);
  unsigned long max = mask >> MaskShift(mask);
  return static_cast<uint32_t>(value * 255 / max);
}

}  // namespace

XConnection::XConnection(const char* name) {
  display_ = XOpenDisplay(name);
  if (display_) XSetIOErrorExitHandler(display_, IgnoreLostConnection, nullptr);
}

XConnection::~XConnection() {
  if (!display_) return;
  // Closing syncs with the server, which may be gone by now.
  auto previous_io = XSetIOErrorHandler(NoteLostConnection);
  XCloseDisplay(display_);
  XSetIOErrorHandler(previous_io);
}

XErrorTrap::XErrorTrap(Display* display) : display_(display) {
  previous_ = XSetErrorHandler(CountError);
  previous_io_ = XSetIOErrorHandler(NoteLostConnection);
  XSync(display_, False);
  g_trapped_errors = 0;
}

XErrorTrap::~XErrorTrap() {
  XSync(display_, False);
  XSetErrorHandler(previous_);
  XSetIOErrorHandler(previous_io_);
}

bool XErrorTrap::Failed() {
  XSync(display_, False);
  return g_trapped_errors != 0;
}

std::vector<long> ReadCardinals(Display* display, Window window, const char* property) {
  std::vector<long> values;
  XErrorTrap trap(display);
  Atom atom = XInternAtom(display, property, True);
  if (atom == None) return values;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, atom, 0, 1024, False, AnyPropertyType, &type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32) {
    const long* longs = reinterpret_cast<const long*>(data);
    values.assign(longs, longs + count);
  }
  if (data) XFree(data);
  if (trap.Failed()) values.clear();
  return values;
}

bool HasProperty(Display* display, Window window, const char* property) {
  XErrorTrap trap(display);
  Atom atom = XInternAtom(display, property, True);
  if (atom == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = XGetWindowProperty(display, window, atom, 0, 0, False, AnyPropertyType, &type,
                                  &format, &count, &after, &data) == Success &&
               type != None;
  if (data) XFree(data);
  return found && !trap.Failed();
}

std::vector<uint32_t> ReadRootPixels(Display* display, int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  int screen = DefaultScreen(display);
  if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > DisplayWidth(display, screen) ||
      y + height > DisplayHeight(display, screen)) {
    return pixels;
  }
  XErrorTrap trap(display);
  XImage* image =
      XGetImage(display, RootWindow(display, screen), x, y, static_cast<unsigned>(width),
                static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image || trap.Failed()) {
    if (image) XDestroyImage(image);
    return pixels;
  }
  pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  const bool direct32 = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                        image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
                        image->blue_mask == 0xFF;
  for (int row = 0; row < height; ++row) {
    uint32_t* out = pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(width);
    if (direct32) {
      const auto* in = reinterpret_cast<const uint32_t*>(image->data + static_cast<long>(row) *
                                                                           image->bytes_per_line);
      for (int col = 0; col < width; ++col) out[col] = in[col] & 0xFFFFFF;
    } else {
      for (int col = 0; col < width; ++col) {
        unsigned long p = XGetPixel(image, col, row);
        out[col] = (Channel(p, image->red_mask) << 16) | (Channel(p, image->green_mask) << 8) |
                   Channel(p, image->blue_mask);
      }
    }
  }
  XDestroyImage(image);
  return pixels;
}

bool WritePng(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
  if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) {
    return false;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "wb"), fclose);
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file.get());
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const uint32_t* in = pixels.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<png_byte>(in[x] >> 16);
      row[x * 3 + 1] = static_cast<png_byte>(in[x] >> 8);
      row[x * 3 + 2] = static_cast<png_byte>(in[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

int64_t ReadScreenPixel(int x, int y) {
  XConnection connection(nullptr);
  if (!connection.get()) return -1;
  std::vector<uint32_t> pixel = ReadRootPixels(connection.get(), x, y, 1, 1);
  return pixel.empty() ? -1 : static_cast<int64_t>(pixel[0]);
}

std::vector<long> ReadRootCardinals(const std::string& property) {
  XConnection connection(nullptr);
  if (!connection.get()) return {};
  return ReadCardinals(connection.get(), DefaultRootWindow(connection.get()), property.c_str());
}

}  // namespace gs::test
