#include <X11/extensions/shape.h>

#include <algorithm>

#include "stage/button_internal.h"
#include "stage/x_connection.h"
#include "stage/ximage.h"

namespace gs {
namespace {

// The face is kept server-side as the window's background, so the server
// paints the button itself on every exposure, hover and press alike.
void BuildFaceAndShape(Control* control) {
  Display* display = x::Dpy();
  ButtonState& state = *control->button;
  int width = std::max(1, control->w.load());
  int height = std::max(1, control->h.load());
  if (state.face) XFreePixmap(display, state.face);
  state.face = XCreatePixmap(display, control->xwin, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), static_cast<unsigned>(x::Depth()));
  GC gc = XCreateGC(display, state.face, 0, nullptr);
  XSetForeground(display, gc, BlackPixel(display, x::ScreenNumber()));
  XFillRectangle(display, state.face, gc, 0, 0, static_cast<unsigned>(width),
                 static_cast<unsigned>(height));
  if (state.picture) {
    int w = std::min(width, state.image.width), h = std::min(height, state.image.height);
    std::vector<uint32_t> buffer;
    XImage* image = MakeXImage(state.image.pixels.data(), w, h, state.image.width, buffer);
    if (image) {
      XPutImage(display, state.face, gc, image, 0, 0, 0, 0, static_cast<unsigned>(w),
                static_cast<unsigned>(h));
      DestroyBorrowedImage(image);
    }
    uint32_t key = x::RgbForColourValue(control->design.transparent_colour);
    Pixmap mask = KeyMask(control->xwin, state.image, key, width, height);
    XShapeCombineMask(display, control->xwin, ShapeBounding, 0, 0, mask, ShapeSet);
    XShapeCombineMask(display, control->xwin, ShapeInput, 0, 0, mask, ShapeSet);
    XFreePixmap(display, mask);
  } else {
    // No picture, no shape: the whole rectangle shows black.
    XShapeCombineMask(display, control->xwin, ShapeBounding, 0, 0, None, ShapeSet);
    XShapeCombineMask(display, control->xwin, ShapeInput, 0, 0, None, ShapeSet);
  }
  XFreeGC(display, gc);
  XSetWindowBackgroundPixmap(display, control->xwin, state.face);
  XClearWindow(display, control->xwin);
}

}  // namespace

bool CreatePictureButton(Control* control, Window parent) {
  Display* display = x::Dpy();
  auto state = std::make_unique<ButtonState>();
  const ByteBlock* stored = control->design.picture;
  if (stored && stored->length > 0) {
    state->picture = DecodePictureBytes(stored->bytes(), stored->length);
    if (state->picture) state->image = RenderPicture(*state->picture, 0x00FFFFFF);
  }
  control->button = std::move(state);
  XSetWindowAttributes attributes{};
  attributes.event_mask = ButtonPressMask | ButtonReleaseMask | EnterWindowMask | LeaveWindowMask;
  attributes.backing_store = NotUseful;
  attributes.background_pixel = BlackPixel(display, x::ScreenNumber());
  control->xwin = XCreateWindow(display, parent, control->design.left, control->design.top,
                                static_cast<unsigned>(std::max(1, control->design.width)),
                                static_cast<unsigned>(std::max(1, control->design.height)), 0,
                                CopyFromParent, InputOutput, CopyFromParent,
                                CWEventMask | CWBackingStore | CWBackPixel, &attributes);
  if (!control->xwin) return false;
  BuildFaceAndShape(control);
  return true;
}

void ReleasePictureButton(Control* control) {
  if (control->button && control->button->face && x::IsOpen())
    XFreePixmap(x::Dpy(), control->button->face);
  control->button.reset();
}

void PictureButtonResized(Control* control) {
  if (control->button && control->xwin) BuildFaceAndShape(control);
}

}  // namespace gs
