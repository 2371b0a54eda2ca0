// Screen capture into BMP bytes. The screen is read with a shared-memory
// image when the server offers it (one copy), else with a plain read.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "media/screen.h"
#include "stage/image_scale.h"
#include "stage/screen_watch.h"
#include "stage/x_connection.h"

namespace gs {
namespace {

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int64_t RowStride(int64_t width) {
  return (24 * width + 31) / 32 * 4;
}

OwnedByteBlock NewBmp(int width, int height) {
  int64_t stride = RowStride(width);
  int64_t size = 54 + stride * height;
  OwnedByteBlock block = MakeByteBlock(size);
  if (!block) return block;
  uint8_t* b = block->bytes();
  std::memset(b, 0, 54);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b + 2, static_cast<uint32_t>(size));
  Put32(b + 10, 54);
  Put32(b + 14, 40);
  Put32(b + 18, static_cast<uint32_t>(width));
  Put32(b + 22, static_cast<uint32_t>(height));
  Put16(b + 26, 1);
  Put16(b + 28, 24);
  Put32(b + 34, static_cast<uint32_t>(stride * height));
  return block;
}

// One shared-memory segment for reading the screen, kept from one capture to
// the next: making and attaching a fresh segment (and touching its pages on
// both sides) costs more than the copy itself. It holds no result, only room.
struct SharedSegment {
  XShmSegmentInfo info{};
  size_t capacity = 0;
  Display* attached_to = nullptr;
};
SharedSegment g_segment;

void DropSegment() {
  Display* display = x::Dpy();
  if (g_segment.attached_to && g_segment.attached_to == display) {
    x::ErrorTrap trap;
    XShmDetach(display, &g_segment.info);
    trap.failed();
  }
  if (g_segment.info.shmaddr) shmdt(g_segment.info.shmaddr);
  g_segment = {};
}

// A segment of at least `bytes`, attached to the current connection.
bool EnsureSegment(size_t bytes) {
  Display* display = x::Dpy();
  if (g_segment.capacity < bytes) {
    DropSegment();
    int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* address = shmat(id, nullptr, 0);
    shmctl(id, IPC_RMID, nullptr);  // freed once both sides detach
    if (address == reinterpret_cast<void*>(-1)) return false;
    g_segment.info.shmid = id;
    g_segment.info.shmaddr = static_cast<char*>(address);
    g_segment.info.readOnly = False;
    g_segment.capacity = bytes;
  }
  if (g_segment.attached_to == display) return true;
  x::ErrorTrap trap;
  bool attached = XShmAttach(display, &g_segment.info);
  if (trap.failed() || !attached) return false;
  g_segment.attached_to = display;
  return true;
}

// Reads a rectangle of the root window; the image goes with the object.
struct ScreenImage {
  XImage* image = nullptr;
  bool shared = false;  // the pixels live in the kept segment
  ~ScreenImage() {
    if (!image) return;
    if (shared) image->data = nullptr;  // not the image's to free
    XDestroyImage(image);
  }
};

bool ReadShared(int x, int y, int w, int h, ScreenImage& out) {
  Display* display = x::Dpy();
  // Twice: a segment attached to an earlier connection is attached anew.
  for (int attempt = 0; attempt < 2; ++attempt) {
    XImage* image = XShmCreateImage(
        display, x::DefaultVisualPtr(), static_cast<unsigned>(x::Depth()), ZPixmap, nullptr,
        &g_segment.info, static_cast<unsigned>(w), static_cast<unsigned>(h));
    if (!image) return false;
    if (!EnsureSegment(static_cast<size_t>(image->bytes_per_line) * h)) {
      XDestroyImage(image);
      return false;
    }
    image->data = g_segment.info.shmaddr;
    x::ErrorTrap trap;
    bool ok = XShmGetImage(display, x::Root(), image, x, y, AllPlanes);
    if (!trap.failed() && ok) {
      out.image = image;
      out.shared = true;
      return true;
    }
    image->data = nullptr;
    XDestroyImage(image);
    g_segment.attached_to = nullptr;
  }
  return false;
}

bool ReadRoot(int x, int y, int w, int h, ScreenImage& out) {
  Display* display = x::Dpy();
  static int shm_state = -1;
  if (shm_state < 0) shm_state = XShmQueryExtension(display) ? 1 : 0;
  if (shm_state == 1) {
    if (ReadShared(x, y, w, h, out)) return true;
    DropSegment();
    shm_state = 0;  // the server cannot share memory with us (e.g. remote): read plainly
  }
  x::ErrorTrap trap;
  XImage* image = XGetImage(display, x::Root(), x, y, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (trap.failed() || !image) {
    if (image) XDestroyImage(image);
    return false;
  }
  out.image = image;
  return true;
}

// Converts the read pixels to 0x00RRGGBB, for scaling.
Image ToImage(XImage* image, int w, int h) {
  Image out;
  out.width = w;
  out.height = h;
  out.pixels.resize(static_cast<size_t>(w) * h);
  Visual* visual = x::DefaultVisualPtr();
  bool palette = visual->c_class != TrueColor && visual->c_class != DirectColor;
  std::vector<XColor> colours;
  if (palette) {
    // A palette display: look the colours up in the system palette.
    int entries = visual->map_entries;
    colours.resize(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i)
      colours[static_cast<size_t>(i)].pixel = static_cast<unsigned long>(i);
    XQueryColors(x::Dpy(), x::DefaultColormapId(), colours.data(), entries);
  }
  auto channel = [](unsigned long pixel, unsigned long mask) -> uint32_t {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    unsigned long max = mask >> shift;
    return static_cast<uint32_t>(((pixel & mask) >> shift) * 255 / max);
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      uint32_t rgb;
      if (palette) {
        const XColor& c = colours[std::min<size_t>(pixel, colours.size() - 1)];
        rgb = static_cast<uint32_t>((c.red >> 8) << 16 | (c.green >> 8) << 8 | (c.blue >> 8));
      } else {
        rgb = channel(pixel, visual->red_mask) << 16 | channel(pixel, visual->green_mask) << 8 |
              channel(pixel, visual->blue_mask);
      }
      out.pixels[static_cast<size_t>(y) * w + x] = rgb;
    }
  }
  return out;
}

bool FastLayout(XImage* image) {
  Visual* visual = x::DefaultVisualPtr();
  return image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
         visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

int64_t OutputSize(std::optional<int32_t> requested, int source) {
  if (!requested || *requested == 0) return source;
  if (*requested > 0) return *requested;
  int64_t p = -static_cast<int64_t>(*requested);
  if (p < 10) p = 10;
  return (static_cast<int64_t>(source) * p * 2 + 100) / 200;  // rounded to the nearest
}

bool IsManagedTopLevel(Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool managed =
      XGetWindowProperty(x::Dpy(), window, x::GetAtom("WM_STATE"), 0, 0, False, AnyPropertyType,
                         &type, &format, &count, &after, &data) == Success &&
      type != None;
  if (data) XFree(data);
  return managed;
}

// The window's rectangle on the screen, frame included.
bool OuterRect(Window window, Rect& rect) {
  Display* display = x::Dpy();
  x::ErrorTrap trap;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) || trap.failed()) return false;
  // A top-level window the window manager has framed is captured with its
  // frame: climb to the child of the root that holds it. Any other window is
  // captured as it is (a child control is its own rectangle).
  Window current = window;
  if (IsManagedTopLevel(window)) {
    for (;;) {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      if (!XQueryTree(display, current, &root, &parent, &children, &count)) return false;
      if (children) XFree(children);
      if (parent == root || parent == 0) break;
      current = parent;
    }
  }
  if (!XGetWindowAttributes(display, current, &attributes) || trap.failed()) return false;
  int rx = 0, ry = 0;
  Window child = 0;
  XTranslateCoordinates(display, current, x::Root(), 0, 0, &rx, &ry, &child);
  rect = {rx - attributes.border_width, ry - attributes.border_width,
          attributes.width + 2 * attributes.border_width,
          attributes.height + 2 * attributes.border_width};
  return !trap.failed();
}

}  // namespace

OwnedByteBlock CaptureScreen(std::optional<int64_t> window, std::optional<int32_t> width,
                             std::optional<int32_t> height) {
  if (!x::IsOpen()) return {};
  Rect source{0, 0, ScreenWidth(), ScreenHeight()};
  if (window && *window != 0) {
    if (*window < 0 || *window > 0xFFFFFFFF) return {};
    if (!OuterRect(static_cast<Window>(*window), source)) return {};
  }
  int64_t wide = OutputSize(width, source.width), high = OutputSize(height, source.height);
  if (wide <= 0 || high <= 0 || source.width <= 0 || source.height <= 0) return {};
  // A file that would not fit a byte value cannot be made.
  constexpr int64_t kMaxBytes = std::numeric_limits<int32_t>::max();
  if (wide > kMaxBytes / 3 || high > kMaxBytes || 54 + RowStride(wide) * high > kMaxBytes)
    return {};
  const int out_w = static_cast<int>(wide), out_h = static_cast<int>(high);
  // Only what lies on the screen can be read; the rest stays black.
  XWindowAttributes root_attributes{};
  XGetWindowAttributes(x::Dpy(), x::Root(), &root_attributes);
  int left = std::max(source.x, 0), top = std::max(source.y, 0);
  int right = std::min(source.x + source.width, root_attributes.width);
  int bottom = std::min(source.y + source.height, root_attributes.height);
  if (right <= left || bottom <= top) return {};
  ScreenImage screen;
  if (!ReadRoot(left, top, right - left, bottom - top, screen)) return {};
  int off_x = left - source.x, off_y = top - source.y;
  int read_w = right - left, read_h = bottom - top;

  OwnedByteBlock bmp = NewBmp(out_w, out_h);
  if (!bmp) return {};
  uint8_t* pixels = bmp->bytes() + 54;
  int64_t stride = RowStride(out_w);
  bool whole = off_x == 0 && off_y == 0 && read_w == source.width && read_h == source.height;
  if (whole && out_w == source.width && out_h == source.height && FastLayout(screen.image)) {
    // One pass: each screen row straight into its BMP row, bottom row first.
    for (int y = 0; y < out_h; ++y) {
      const uint8_t* in = reinterpret_cast<const uint8_t*>(screen.image->data) +
                          static_cast<int64_t>(y) * screen.image->bytes_per_line;
      uint8_t* out = pixels + (out_h - 1 - y) * stride;
      for (int x = 0; x < out_w; ++x) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out += 3;
        in += 4;
      }
      std::memset(out, 0, static_cast<size_t>(stride - out_w * 3));
    }
    return bmp;
  }
  Image image;
  image.width = source.width;
  image.height = source.height;
  image.pixels.assign(static_cast<size_t>(source.width) * source.height, 0);
  Image read = ToImage(screen.image, read_w, read_h);
  for (int y = 0; y < read_h; ++y)
    std::memcpy(&image.pixels[static_cast<size_t>(y + off_y) * source.width + off_x],
                &read.pixels[static_cast<size_t>(y) * read_w], static_cast<size_t>(read_w) * 4);
  if (out_w != source.width || out_h != source.height) {
    image = x::Depth() > 16 ? ScaleImageSmooth(image, out_w, out_h)
                            : ScaleImageNearest(image, out_w, out_h);
  }
  for (int y = 0; y < out_h; ++y) {
    uint8_t* out = pixels + (out_h - 1 - y) * stride;
    const uint32_t* in = &image.pixels[static_cast<size_t>(y) * out_w];
    for (int x = 0; x < out_w; ++x) {
      out[x * 3] = static_cast<uint8_t>(in[x]);
      out[x * 3 + 1] = static_cast<uint8_t>(in[x] >> 8);
      out[x * 3 + 2] = static_cast<uint8_t>(in[x] >> 16);
    }
    std::memset(out + out_w * 3, 0, static_cast<size_t>(stride - out_w * 3));
  }
  return bmp;
}

}  // namespace gs
