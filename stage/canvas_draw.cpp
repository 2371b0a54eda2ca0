// DrawPicture: a registered picture at its own size or stretched, with a copy
// mode or a colour key, straight onto the canvas window.
#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>

#include <algorithm>

#include "stage/canvas.h"
#include "stage/canvas_internal.h"
#include "stage/image_scale.h"
#include "stage/ximage.h"
#include "stage/x_connection.h"

namespace gs {
namespace {

// Boxes larger than this are not drawn (they would need gigabytes of pixels).
constexpr int64_t kMaxBoxPixels = int64_t{8192} * 8192;

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

void PutImage(Control* control, const Image& image, int left, int top, int function,
              Pixmap clip_mask) {
  Display* display = x::Dpy();
  GC gc = control->canvas->gc;
  XSetFunction(display, gc, function);
  if (clip_mask) {
    XSetClipMask(display, gc, clip_mask);
    XSetClipOrigin(display, gc, left, top);
  }
  std::vector<uint32_t> buffer;
  XImage* ximage = MakeXImage(image.pixels.data(), image.width, image.height, image.width, buffer);
  if (ximage) {
    XPutImage(display, control->xwin, gc, ximage, 0, 0, left, top,
              static_cast<unsigned>(image.width), static_cast<unsigned>(image.height));
    DestroyBorrowedImage(ximage);
  }
  if (clip_mask) XSetClipMask(display, gc, None);
  XSetFunction(display, gc, GXcopy);
}

// Composites premultiplied ARGB over the window: soft, fringe-free edges.
void CompositeOver(Control* control, const std::vector<uint32_t>& argb, int left, int top, int w,
                   int h) {
  Display* display = x::Dpy();
  Pixmap pixmap = XCreatePixmap(display, control->xwin, static_cast<unsigned>(w),
                                static_cast<unsigned>(h), 32);
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
    image.pixels[i] = (un((argb[i] >> 16) & 0xFF) << 16) | (un((argb[i] >> 8) & 0xFF) << 8) |
                      un(argb[i] & 0xFF);
  }
  Image for_mask = image;
  for (uint32_t& p : for_mask.pixels) p = (p == kHole) ? 0xFFFFFF : 0x000000;
  Pixmap mask = KeyMask(control->xwin, for_mask, 0xFFFFFF, w, h);
  PutImage(control, image, left, top, GXcopy, mask);
  XFreePixmap(x::Dpy(), mask);
}

DrawObserver g_observer = nullptr;

}  // namespace

void SetDrawObserver(DrawObserver observer) { g_observer = observer; }

void DrawPicture(ControlRef ref, PictureHandle handle, int32_t left, int32_t top,
                 std::optional<int32_t> width, std::optional<int32_t> height,
                 std::optional<int32_t> copy_mode) {
  Control* control = ResolveCanvas(ref);
  if (g_observer) g_observer({handle, left, top, width, height, copy_mode});
  const gs::Picture* picture = RegisteredPicture(handle);
  if (!picture) return;
  Image image = RenderPicture(*picture, 0x00FFFFFF);
  int w = width.value_or(image.width), h = height.value_or(image.height);
  if (w <= 0 || h <= 0 || image.width <= 0 || image.height <= 0) return;
  if (static_cast<int64_t>(w) * h > kMaxBoxPixels) return;
  if (!control->xwin) return;
  int32_t mode = copy_mode.value_or(1);
  bool own_size = (w == image.width && h == image.height);
  bool smooth = x::Depth() > 16;
  Display* display = x::Dpy();

  if (mode < 0) {
    uint32_t key = x::RgbForColourValue(static_cast<uint32_t>(-static_cast<int64_t>(mode)));
    if (own_size) {
      Pixmap mask = KeyMask(control->xwin, image, key, w, h);
      PutImage(control, image, left, top, GXcopy, mask);
      XFreePixmap(display, mask);
    } else {
      std::vector<uint32_t> argb = ScaleKeyedPremultiplied(image, key, w, h, smooth);
      if (smooth && HasRender())
        CompositeOver(control, argb, left, top, w, h);
      else
        PutThresholded(control, argb, left, top, w, h);
    }
  } else {
    int function = GcFunction(mode);
    if (function < 0) return;
    if (own_size) {
      PutImage(control, image, left, top, function, 0);
    } else {
      Image scaled = smooth ? ScaleImageSmooth(image, w, h) : ScaleImageNearest(image, w, h);
      PutImage(control, scaled, left, top, function, 0);
    }
  }
  XFlush(display);
}

}  // namespace gs
