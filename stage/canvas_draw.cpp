// DrawPicture: a registered picture at its own size or stretched, with a copy
// mode or a colour key, straight onto the canvas window. Only the part of the
// box that lies on the canvas is made and sent: window coordinates are 16-bit
// on the wire, and a box far outside must not wrap round onto the canvas.
#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>

#include <algorithm>

#include "stage/canvas.h"
#include "stage/canvas_internal.h"
#include "stage/image_scale.h"
#include "stage/x_connection.h"
#include "stage/ximage.h"

namespace gs {
namespace {

// Visible parts larger than this are not drawn (they would need gigabytes).
constexpr int64_t kMaxPartPixels = int64_t{8192} * 8192;

bool HasRender() {
  static int has = -1;
  if (has < 0) {
    int event_base = 0, error_base = 0;
    has = XRenderQueryExtension(x::Dpy(), &event_base, &error_base) ? 1 : 0;
  }
  return has == 1;
}

int GcFunction(int32_t mode) {
  switch (mode) {
    case 1:
      return GXcopy;
    case 2:
      return GXcopyInverted;
    case 3:
      return GXxor;
    case 4:
      return GXor;
    case 5:
      return GXand;
    default:
      return -1;
  }
}

// Where a box meets the canvas: `on` in canvas coordinates, and `part` the
// same pixels counted from the box's own top-left corner.
struct Placement {
  int x = 0, y = 0;  // canvas position of the part
  ScalePart part;
  bool empty() const { return part.width <= 0 || part.height <= 0; }
};

Placement Place(int64_t left, int64_t top, int64_t width, int64_t height, int64_t canvas_w,
                int64_t canvas_h) {
  int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
  int64_t x1 = std::min(left + width, canvas_w), y1 = std::min(top + height, canvas_h);
  Placement p;
  if (x1 <= x0 || y1 <= y0) return p;
  p.x = static_cast<int>(x0);
  p.y = static_cast<int>(y0);
  p.part = {static_cast<int>(x0 - left), static_cast<int>(y0 - top), static_cast<int>(x1 - x0),
            static_cast<int>(y1 - y0)};
  return p;
}

// Puts `image` (or its part from (sx, sy)) at (x, y) with a raster function.
void PutImage(Control* control, const Image& image, int sx, int sy, int x, int y, int w, int h,
              int function) {
  Display* display = x::Dpy();
  GC gc = control->canvas->gc;
  XSetFunction(display, gc, function);
  std::vector<uint32_t> buffer;
  XImage* ximage = MakeXImage(image.pixels.data(), image.width, image.height, image.width, buffer);
  if (ximage) {
    XPutImage(display, control->xwin, gc, ximage, sx, sy, x, y, static_cast<unsigned>(w),
              static_cast<unsigned>(h));
    DestroyBorrowedImage(ximage);
  }
  XSetFunction(display, gc, GXcopy);
}

// Puts a part of `image` at (x, y), leaving out its holes: the pixels p with
// (p & mask) == hole. The rest goes as runs along each row, which the server
// takes as the clip at once; a bitmap would first have to be uploaded and
// turned into one.
void PutWithoutHoles(Control* control, const Image& image, const ScalePart& part, int x, int y,
                     uint32_t mask, uint32_t hole) {
  std::vector<XRectangle> runs;
  runs.reserve(static_cast<size_t>(part.height) * 2);
  for (int row_index = 0; row_index < part.height; ++row_index) {
    const uint32_t* row =
        image.pixels.data() + static_cast<size_t>(part.y + row_index) * image.width + part.x;
    int i = 0;
    while (i < part.width) {
      while (i < part.width && (row[i] & mask) == hole) ++i;
      int start = i;
      while (i < part.width && (row[i] & mask) != hole) ++i;
      if (i > start)
        runs.push_back({static_cast<short>(start), static_cast<short>(row_index),
                        static_cast<unsigned short>(i - start), 1});
    }
  }
  if (runs.empty()) return;
  Display* display = x::Dpy();
  GC gc = control->canvas->gc;
  XSetClipRectangles(display, gc, x, y, runs.data(), static_cast<int>(runs.size()), YXBanded);
  PutImage(control, image, part.x, part.y, x, y, part.width, part.height, GXcopy);
  XSetClipMask(display, gc, None);
}

// Keyed at own size: the image through a clip of its non-key pixels.
void PutKeyed(Control* control, const Image& image, uint32_t key_rgb, const Placement& p) {
  PutWithoutHoles(control, image, p.part, p.x, p.y, 0xFFFFFF, key_rgb);
}

// Composites premultiplied ARGB over the window: soft, fringe-free edges.
void CompositeOver(Control* control, const std::vector<uint32_t>& argb, int left, int top, int w,
                   int h) {
  Display* display = x::Dpy();
  Pixmap pixmap =
      XCreatePixmap(display, control->xwin, static_cast<unsigned>(w), static_cast<unsigned>(h), 32);
  XImage* image = XCreateImage(display, nullptr, 32, ZPixmap, 0,
                               reinterpret_cast<char*>(const_cast<uint32_t*>(argb.data())),
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 32, w * 4);
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, static_cast<unsigned>(w),
            static_cast<unsigned>(h));
  image->data = nullptr;
  XDestroyImage(image);
  XFreeGC(display, gc);
  XRenderPictFormat* argb_format = XRenderFindStandardFormat(display, PictStandardARGB32);
  XRenderPictFormat* window_format = XRenderFindVisualFormat(display, x::DefaultVisualPtr());
  ::Picture source = XRenderCreatePicture(display, pixmap, argb_format, 0, nullptr);
  ::Picture target = XRenderCreatePicture(display, control->xwin, window_format, 0, nullptr);
  XRenderComposite(display, PictOpOver, source, None, target, 0, 0, 0, 0, left, top,
                   static_cast<unsigned>(w), static_cast<unsigned>(h));
  XRenderFreePicture(display, target);
  XRenderFreePicture(display, source);
  XFreePixmap(display, pixmap);
}

// Without compositing: opaque where at least half covered, colours un-premultiplied.
void PutThresholded(Control* control, const std::vector<uint32_t>& argb, int left, int top, int w,
                    int h) {
  Image image;
  image.width = w;
  image.height = h;
  image.pixels.resize(argb.size());
  const uint32_t kHole = 0x01000000;  // never a real colour: marks transparent pixels
  for (size_t i = 0; i < argb.size(); ++i) {
    uint32_t a = argb[i] >> 24;
    if (a < 128) {
      image.pixels[i] = kHole;
      continue;
    }
    auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    image.pixels[i] =
        (un((argb[i] >> 16) & 0xFF) << 16) | (un((argb[i] >> 8) & 0xFF) << 8) | un(argb[i] & 0xFF);
  }
  PutWithoutHoles(control, image, {0, 0, w, h}, left, top, 0xFFFFFFFF, kHole);
}

DrawObserver g_observer = nullptr;

}  // namespace

void SetDrawObserver(DrawObserver observer) {
  g_observer = observer;
}

void DrawPicture(ControlRef ref, PictureHandle handle, int32_t left, int32_t top,
                 std::optional<int32_t> width, std::optional<int32_t> height,
                 std::optional<int32_t> copy_mode) {
  Control* control = ResolveCanvas(ref);
  if (g_observer) g_observer({handle, left, top, width, height, copy_mode});
  const gs::Picture* picture = RegisteredPicture(handle);
  if (!picture) return;
  if (!control->xwin) return;
  int32_t mode = copy_mode.value_or(1);
  int function = mode < 0 ? GXcopy : GcFunction(mode);
  if (function < 0) return;
  Image image = RenderPicture(*picture, 0x00FFFFFF);
  int w = width.value_or(image.width), h = height.value_or(image.height);
  if (w <= 0 || h <= 0 || image.width <= 0 || image.height <= 0) return;
  Placement p = Place(left, top, w, h, control->w.load(), control->h.load());
  if (p.empty()) return;  // nothing of the box is on the canvas
  if (static_cast<int64_t>(p.part.width) * p.part.height > kMaxPartPixels) return;
  bool own_size = (w == image.width && h == image.height);
  bool smooth = x::Depth() > 16;
  Display* display = x::Dpy();

  if (mode < 0) {
    uint32_t key = x::RgbForColourValue(static_cast<uint32_t>(-static_cast<int64_t>(mode)));
    if (own_size) {
      PutKeyed(control, image, key, p);
    } else {
      std::vector<uint32_t> argb = ScaleKeyedPremultiplied(image, key, w, h, smooth, p.part);
      if (smooth && HasRender())
        CompositeOver(control, argb, p.x, p.y, p.part.width, p.part.height);
      else
        PutThresholded(control, argb, p.x, p.y, p.part.width, p.part.height);
    }
  } else if (own_size) {
    PutImage(control, image, p.part.x, p.part.y, p.x, p.y, p.part.width, p.part.height, function);
  } else {
    Image scaled =
        smooth ? ScaleImageSmooth(image, w, h, p.part) : ScaleImageNearest(image, w, h, p.part);
    PutImage(control, scaled, 0, 0, p.x, p.y, p.part.width, p.part.height, function);
  }
  XFlush(display);
}

}  // namespace gs
