// The canvas: background painting, clearing and settings.
#include "stage/canvas.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>

#include "core/exit.h"
#include "stage/canvas_internal.h"
#include "stage/framework.h"
#include "stage/image_scale.h"
#include "stage/x_connection.h"
#include "stage/ximage.h"

namespace gs {
namespace {

void DropPicture(CanvasState& state) {
  if (state.picture_pixmap && x::IsOpen()) XFreePixmap(x::Dpy(), state.picture_pixmap);
  state.picture_pixmap = 0;
  state.decoded.reset();
  state.prepared = false;
}

// Decodes the bytes when nothing has been decoded yet; bytes that do not
// decode are discarded.
void EnsureDecoded(Control* control) {
  CanvasState& state = *control->canvas;
  if (state.decoded || !state.bytes) return;
  state.decoded = DecodePictureBytes(state.bytes->bytes(), state.bytes->length);
  if (!state.decoded) {
    state.bytes.reset();
    return;
  }
  Image image = RenderPicture(*state.decoded, 0x00FFFFFF);
  state.picture_width = image.width;
  state.picture_height = image.height;
  state.picture_pixmap = ImageToPixmap(control->xwin, image);
}

// Draws the picture of display modes 0 and 2 over the rectangle.
void PaintPlacedPicture(Control* control, int rx, int ry, int rw, int rh) {
  CanvasState& state = *control->canvas;
  if (!state.picture_pixmap || state.display_mode == 1) return;
  Display* display = x::Dpy();
  XRectangle clip{static_cast<short>(rx), static_cast<short>(ry), static_cast<unsigned short>(rw),
                  static_cast<unsigned short>(rh)};
  XSetClipRectangles(display, state.gc, 0, 0, &clip, 1, Unsorted);
  XSetFunction(display, state.gc, GXcopy);
  int cw = control->w.load(), ch = control->h.load();
  if (state.display_mode == 0) {
    XCopyArea(display, state.picture_pixmap, control->xwin, state.gc, 0, 0,
              static_cast<unsigned>(state.picture_width),
              static_cast<unsigned>(state.picture_height), 0, 0);
  } else {
    double factor = 1.0;
    if (state.picture_width > cw || state.picture_height > ch)
      factor = std::min(static_cast<double>(cw) / state.picture_width,
                        static_cast<double>(ch) / state.picture_height);
    int w = std::max(1, static_cast<int>(state.picture_width * factor));
    int h = std::max(1, static_cast<int>(state.picture_height * factor));
    int px = (cw - w) / 2, py = (ch - h) / 2;
    if (factor == 1.0) {
      XCopyArea(display, state.picture_pixmap, control->xwin, state.gc, 0, 0,
                static_cast<unsigned>(w), static_cast<unsigned>(h), px, py);
    } else {
      Image source = RenderPicture(*state.decoded, 0x00FFFFFF);
      Image scaled = ScaleImageSmooth(source, w, h);
      std::vector<uint32_t> buffer;
      XImage* image = MakeXImage(scaled.pixels.data(), w, h, w, buffer);
      if (image) {
        XPutImage(display, control->xwin, state.gc, image, 0, 0, px, py, static_cast<unsigned>(w),
                  static_cast<unsigned>(h));
        DestroyBorrowedImage(image);
      }
    }
  }
  XSetClipMask(display, state.gc, None);
}

// Paints the background over a rectangle of the canvas, cut to the canvas
// first (window coordinates are 16-bit on the wire and would wrap round).
void PaintBackground(Control* control, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  left = std::max<int64_t>(left, 0);
  top = std::max<int64_t>(top, 0);
  right = std::min<int64_t>(right, control->w.load());
  bottom = std::min<int64_t>(bottom, control->h.load());
  if (!control->xwin || right <= left || bottom <= top) return;
  const int rx = static_cast<int>(left), ry = static_cast<int>(top);
  const int rw = static_cast<int>(right - left), rh = static_cast<int>(bottom - top);
  CanvasPrepareBackground(control);
  Display* display = x::Dpy();
  XClearArea(display, control->xwin, rx, ry, static_cast<unsigned>(rw), static_cast<unsigned>(rh),
             False);
  PaintPlacedPicture(control, rx, ry, rw, rh);
  XFlush(display);
}

}  // namespace

bool CreateCanvas(Control* control, Window parent) {
  Display* display = x::Dpy();
  auto state = std::make_unique<CanvasState>();
  state->display_mode = control->design.display_mode;
  state->back_colour = control->design.back_colour;
  state->text_colour = control->design.text_colour;
  XSetWindowAttributes attributes{};
  attributes.background_pixel = x::PixelForColourValue(state->back_colour);
  attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask;
  attributes.backing_store = NotUseful;
  attributes.bit_gravity = ForgetGravity;
  control->xwin = XCreateWindow(
      display, parent, control->design.left, control->design.top,
      static_cast<unsigned>(std::max(1, control->design.width)),
      static_cast<unsigned>(std::max(1, control->design.height)), 0, CopyFromParent, InputOutput,
      CopyFromParent, CWBackPixel | CWEventMask | CWBackingStore | CWBitGravity, &attributes);
  if (!control->xwin) return false;
  state->gc = XCreateGC(display, control->xwin, 0, nullptr);
  XSetGraphicsExposures(display, state->gc, False);
  control->canvas = std::move(state);
  return true;
}

void ReleaseCanvas(Control* control) {
  if (!control->canvas) return;
  DropPicture(*control->canvas);
  if (control->canvas->gc && x::IsOpen()) XFreeGC(x::Dpy(), control->canvas->gc);
  control->canvas.reset();
}

void CanvasPrepareBackground(Control* control) {
  CanvasState& state = *control->canvas;
  if (state.prepared) return;
  EnsureDecoded(control);
  Display* display = x::Dpy();
  if (state.picture_pixmap && state.display_mode == 1) {
    // Tiles from the window's own top-left corner, painted by the server.
    XSetWindowBackgroundPixmap(display, control->xwin, state.picture_pixmap);
  } else {
    XSetWindowBackground(display, control->xwin, x::PixelForColourValue(state.back_colour));
  }
  state.prepared = true;
}

void CanvasRepaintAll(Control* control) {
  PaintBackground(control, 0, 0, control->w.load(), control->h.load());
}

void CanvasOnExpose(Control* control, int ex, int ey, int ew, int eh) {
  // The server has already painted the window background there.
  PaintPlacedPicture(control, ex, ey, ew, eh);
}

void CanvasResized(Control* control) {
  RequestRepaint(control->id);
}

void CanvasSetBackgroundBytes(Control* control, const ByteBlock* bytes) {
  CanvasState& state = *control->canvas;
  DropPicture(state);
  state.bytes.reset();
  if (bytes && bytes->length > 0) state.bytes = CopyToByteBlock(bytes->bytes(), bytes->length);
  // Shown at the next repaint or clear, not now.
  RequestRepaint(control->id);
}

void CanvasSetTextColour(Control* control, uint32_t colour) {
  control->canvas->text_colour = colour;
}

void CanvasSetDisplayMode(Control* control, int32_t mode) {
  control->canvas->display_mode = mode;
  control->canvas->prepared = false;
  RequestRepaint(control->id);
}

void CanvasSetBackColour(Control* control, uint32_t colour) {
  control->canvas->back_colour = colour;
  control->canvas->prepared = false;
  RequestRepaint(control->id);
}

Control* ResolveCanvas(ControlRef ref) {
  if (!LoadedWindow(ref.window_id)) RuntimeErrorStop(0, "指定窗口或窗口组件不存在或尚未载入");
  Control* control = FindControl(ref.control_id);
  if (!control || !control->live.load() || control->kind != ControlKind::kCanvas ||
      !control->canvas)
    RuntimeErrorStop(0, "指定窗口或窗口组件不存在或尚未载入");
  return control;
}

void ClearCanvas(ControlRef ref, std::optional<int32_t> left, std::optional<int32_t> top,
                 std::optional<int32_t> width, std::optional<int32_t> height) {
  Control* control = ResolveCanvas(ref);
  int64_t l = 0, t = 0, r = control->w.load(), b = control->h.load();
  if (left) l = *left;
  if (top) t = *top;
  if (width) r = l + *width;
  if (height) b = t + *height;
  PaintBackground(control, l, t, r, b);
  control->canvas->text_x = static_cast<int32_t>(l);
  control->canvas->text_y = static_cast<int32_t>(t);
}

}  // namespace gs
