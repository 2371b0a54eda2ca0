// A strip along the bottom (or top) edge of the test desktop's screen that
// reserves its height from the work area, the way a task bar does.
//
//   gs_strip_dock [--size N] [--top] [--colour 0xRRGGBB]
//
// It runs until it is killed or the X server goes away.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void SetCardinals(Display* dpy, Window win, const char* name, const long* values, int count) {
  XChangeProperty(dpy, win, XInternAtom(dpy, name, False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(values), count);
}

}  // namespace

int main(int argc, char** argv) {
  long size = 40;
  bool top = false;
  unsigned long colour = 0x2B3A55;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--size") && i + 1 < argc) {
      size = strtol(argv[++i], nullptr, 10);
    } else if (!strcmp(argv[i], "--colour") && i + 1 < argc) {
      colour = strtoul(argv[++i], nullptr, 16);
    } else if (!strcmp(argv[i], "--top")) {
      top = true;
    } else {
      fprintf(stderr, "usage: %s [--size N] [--top] [--colour 0xRRGGBB]\n", argv[0]);
      return 2;
    }
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    fprintf(stderr, "gs_strip_dock: cannot open display\n");
    return 1;
  }
  const int screen = DefaultScreen(dpy);
  const long width = DisplayWidth(dpy, screen);
  const long height = DisplayHeight(dpy, screen);
  const int y = top ? 0 : static_cast<int>(height - size);

  XColor shade{};
  shade.red = static_cast<unsigned short>(((colour >> 16) & 0xFF) * 257);
  shade.green = static_cast<unsigned short>(((colour >> 8) & 0xFF) * 257);
  shade.blue = static_cast<unsigned short>((colour & 0xFF) * 257);
  XAllocColor(dpy, DefaultColormap(dpy, screen), &shade);

  XSetWindowAttributes attributes{};
  attributes.background_pixel = shade.pixel;
  Window win = XCreateWindow(dpy, RootWindow(dpy, screen), 0, y, static_cast<unsigned>(width),
                             static_cast<unsigned>(size), 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWBackPixel, &attributes);

  Atom dock = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", False);
  XChangeProperty(dpy, win, XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&dock), 1);
  // left, right, top, bottom, then the start and end of each edge's span.
  long partial[12] = {0};
  long strut[4] = {0};
  if (top) {
    partial[2] = strut[2] = size;
    partial[8] = 0;
    partial[9] = width - 1;
  } else {
    partial[3] = strut[3] = size;
    partial[10] = 0;
    partial[11] = width - 1;
  }
  SetCardinals(dpy, win, "_NET_WM_STRUT_PARTIAL", partial, 12);
  SetCardinals(dpy, win, "_NET_WM_STRUT", strut, 4);
  // On every virtual desktop; otherwise only desktop 0 loses the strip's space.
  const long all_desktops = 0xFFFFFFFF;
  SetCardinals(dpy, win, "_NET_WM_DESKTOP", &all_desktops, 1);

  XSizeHints hints{};
  hints.flags = USPosition | USSize | PMinSize | PMaxSize;
  hints.x = 0;
  hints.y = y;
  hints.width = hints.min_width = hints.max_width = static_cast<int>(width);
  hints.height = hints.min_height = hints.max_height = static_cast<int>(size);
  XSetWMNormalHints(dpy, win, &hints);
  XStoreName(dpy, win, "gs-strip");
  XClassHint class_hint{const_cast<char*>("gs-strip"), const_cast<char*>("GsStrip")};
  XSetClassHint(dpy, win, &class_hint);

  XMapWindow(dpy, win);
  for (;;) {
    XEvent event;
    XNextEvent(dpy, &event);
  }
}
