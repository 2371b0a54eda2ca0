#include "stage/error_box.h"

#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "stage/fonts.h"
#include "stage/screen_watch.h"
#include "stage/x_connection.h"

namespace gs {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      lines.emplace_back();
    } else if (text[i] == '\n' || text[i] == '\r') {
      lines.emplace_back();
    } else {
      lines.back() += text[i];
    }
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

void WriteToStandardError(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    plain += text[i];
  }
  std::fputs(plain.c_str(), stderr);
  std::fflush(stderr);
}

struct Layout {
  int width = 0, height = 0;
  int text_x = 0, text_y = 0, line_height = 0;
  int button_x = 0, button_y = 0, button_w = 88, button_h = 28;
};

void Paint(Window window, const Layout& layout, const std::vector<std::string>& lines,
           XftFont* font, bool pressed) {
  Display* display = x::Dpy();
  GC gc = XCreateGC(display, window, 0, nullptr);
  XSetForeground(display, gc, x::PixelForRgb(x::FaceColourRgb()));
  XFillRectangle(display, window, gc, 0, 0, static_cast<unsigned>(layout.width),
                 static_cast<unsigned>(layout.height));
  // The error icon: a red disc with a white cross.
  XSetForeground(display, gc, x::PixelForRgb(0xD32F2F));
  XFillArc(display, window, gc, 16, 16, 36, 36, 0, 360 * 64);
  XSetForeground(display, gc, x::PixelForRgb(0xFFFFFF));
  XSetLineAttributes(display, gc, 4, LineSolid, CapRound, JoinRound);
  XDrawLine(display, window, gc, 26, 26, 42, 42);
  XDrawLine(display, window, gc, 42, 26, 26, 42);
  XSetLineAttributes(display, gc, 1, LineSolid, CapButt, JoinMiter);
  // The OK button.
  XSetForeground(display, gc, x::PixelForRgb(pressed ? 0xC8C4BE : 0xFDFDFD));
  XFillRectangle(display, window, gc, layout.button_x, layout.button_y,
                 static_cast<unsigned>(layout.button_w), static_cast<unsigned>(layout.button_h));
  XSetForeground(display, gc, x::PixelForRgb(0x3C78C8));
  XDrawRectangle(display, window, gc, layout.button_x, layout.button_y,
                 static_cast<unsigned>(layout.button_w), static_cast<unsigned>(layout.button_h));
  XFreeGC(display, gc);
  if (font) {
    XftDraw* draw = XftDrawCreate(display, window, x::DefaultVisualPtr(), x::DefaultColormapId());
    XftColor black = AllocTextColour(0x000000);
    int y = layout.text_y + font->ascent;
    for (const std::string& line : lines) {
      XftDrawStringUtf8(draw, &black, font, layout.text_x, y,
                        reinterpret_cast<const FcChar8*>(line.data()),
                        static_cast<int>(line.size()));
      y += layout.line_height;
    }
    const char* ok = "确定";
    XGlyphInfo extents{};
    XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8*>(ok), 6, &extents);
    XftDrawStringUtf8(draw, &black, font, layout.button_x + (layout.button_w - extents.xOff) / 2,
                      layout.button_y + (layout.button_h + font->ascent - font->descent) / 2,
                      reinterpret_cast<const FcChar8*>(ok), 6);
    FreeTextColour(black);
    XftDrawDestroy(draw);
  }
  XFlush(display);
}

}  // namespace

void ShowErrorBox(const std::string& caption, const std::string& text) {
  if (!x::IsOpen()) {
    WriteToStandardError(text);
    return;
  }
  Display* display = x::Dpy();
  std::vector<std::string> lines = Lines(text);
  XftFont* font = UiFont();
  Layout layout;
  layout.line_height = font ? font->ascent + font->descent + 4 : 18;
  int text_width = 200;
  for (const std::string& line : lines) {
    if (!font) break;
    XGlyphInfo extents{};
    XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8*>(line.data()),
                       static_cast<int>(line.size()), &extents);
    text_width = std::max<int>(text_width, extents.xOff);
  }
  layout.text_x = 68;
  layout.text_y = 20;
  layout.width = layout.text_x + text_width + 24;
  int text_bottom = layout.text_y + layout.line_height * static_cast<int>(lines.size());
  layout.button_y = std::max(text_bottom, 60) + 12;
  layout.button_x = (layout.width - layout.button_w) / 2;
  layout.height = layout.button_y + layout.button_h + 14;

  Rect screen = PrimaryMonitor();
  XSetWindowAttributes attributes{};
  attributes.background_pixel = x::PixelForRgb(x::FaceColourRgb());
  attributes.event_mask =
      ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  int left = screen.x + (screen.width - layout.width) / 2;
  int top = screen.y + (screen.height - layout.height) / 2;
  Window window =
      XCreateWindow(display, x::Root(), left, top, static_cast<unsigned>(layout.width),
                    static_cast<unsigned>(layout.height), 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWBackPixel | CWEventMask, &attributes);
  XStoreName(display, window, "Error");
  XChangeProperty(display, window, x::GetAtom("_NET_WM_NAME"), x::GetAtom("UTF8_STRING"), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(caption.data()),
                  static_cast<int>(caption.size()));
  Atom type = x::GetAtom("_NET_WM_WINDOW_TYPE_DIALOG");
  XChangeProperty(display, window, x::GetAtom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  Atom states[] = {x::GetAtom("_NET_WM_STATE_ABOVE"), x::GetAtom("_NET_WM_STATE_MODAL")};
  XChangeProperty(display, window, x::GetAtom("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(states), 2);
  Atom delete_atom = x::GetAtom("WM_DELETE_WINDOW");
  XSetWMProtocols(display, window, &delete_atom, 1);
  XSizeHints hints{};
  hints.flags = PPosition | PSize | PMinSize | PMaxSize;
  hints.x = left;
  hints.y = top;
  hints.min_width = hints.max_width = hints.width = layout.width;
  hints.min_height = hints.max_height = hints.height = layout.height;
  XSetWMNormalHints(display, window, &hints);
  XMapRaised(display, window);
  XFlush(display);

  bool done = false, pressed = false;
  while (!done) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.xany.window != window) continue;
    switch (event.type) {
      case MapNotify: {
        x::ErrorTrap trap;
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        trap.failed();
        break;
      }
      case Expose:
        if (event.xexpose.count == 0) Paint(window, layout, lines, font, pressed);
        break;
      case KeyPress: {
        KeySym sym = XLookupKeysym(&event.xkey, 0);
        if (sym == XK_Return || sym == XK_KP_Enter || sym == XK_space || sym == XK_Escape)
          done = true;
        break;
      }
      case ButtonPress:
        pressed = event.xbutton.x >= layout.button_x &&
                  event.xbutton.x < layout.button_x + layout.button_w &&
                  event.xbutton.y >= layout.button_y &&
                  event.xbutton.y < layout.button_y + layout.button_h;
        Paint(window, layout, lines, font, pressed);
        break;
      case ButtonRelease:
        if (pressed && event.xbutton.x >= layout.button_x &&
            event.xbutton.x < layout.button_x + layout.button_w &&
            event.xbutton.y >= layout.button_y &&
            event.xbutton.y < layout.button_y + layout.button_h)
          done = true;
        pressed = false;
        if (!done) Paint(window, layout, lines, font, pressed);
        break;
      case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == delete_atom) done = true;
        break;
      default:
        break;
    }
  }
  XDestroyWindow(display, window);
  XSync(display, False);
}

}  // namespace gs
