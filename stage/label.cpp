#include "stage/label.h"

#include <X11/Xft/Xft.h>

#include <algorithm>

#include "stage/fonts.h"
#include "stage/framework.h"
#include "stage/x_connection.h"

namespace gs {

bool CreateLabel(Control* control, Window parent) {
  auto state = std::make_unique<LabelState>();
  state->caption = control->design.caption;
  state->back_colour = control->design.back_colour;
  state->text_colour = control->design.text_colour;
  control->label = std::move(state);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;  // the label paints all of itself
  attributes.event_mask = ExposureMask;
  attributes.backing_store = NotUseful;
  control->xwin = XCreateWindow(x::Dpy(), parent, control->design.left, control->design.top,
                                static_cast<unsigned>(std::max(1, control->design.width)),
                                static_cast<unsigned>(std::max(1, control->design.height)), 0,
                                CopyFromParent, InputOutput, CopyFromParent,
                                CWBackPixmap | CWEventMask | CWBackingStore, &attributes);
  return control->xwin != 0;
}

void ReleaseLabel(Control* control) {
  control->label.reset();
}

void LabelPaint(Control* control) {
  if (!control->label || !control->xwin || !control->mapped) return;
  Display* display = x::Dpy();
  LabelState& state = *control->label;
  int width = std::max(1, control->w.load());
  int height = std::max(1, control->h.load());
  GC gc = XCreateGC(display, control->xwin, 0, nullptr);
  XSetForeground(display, gc, x::PixelForColourValue(state.back_colour));
  XFillRectangle(display, control->xwin, gc, 0, 0, static_cast<unsigned>(width),
                 static_cast<unsigned>(height));
  XFreeGC(display, gc);
  XftFont* font = UiFont();
  if (font && !state.caption.empty()) {
    XftDraw* draw =
        XftDrawCreate(display, control->xwin, x::DefaultVisualPtr(), x::DefaultColormapId());
    XftColor colour = AllocTextColour(x::RgbForColourValue(state.text_colour));
    int baseline = (height - (font->ascent + font->descent)) / 2 + font->ascent;
    XftDrawStringUtf8(draw, &colour, font, 0, baseline,
                      reinterpret_cast<const FcChar8*>(state.caption.data()),
                      static_cast<int>(state.caption.size()));
    FreeTextColour(colour);
    XftDrawDestroy(draw);
  }
  XFlush(display);
}

void LabelChanged(Control* control) {
  RequestRepaint(control->id);
}

}  // namespace gs
