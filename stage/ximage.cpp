#include "stage/ximage.h"

#include <algorithm>
#include <cstring>

#include "stage/x_connection.h"

namespace gs {

bool DisplayIsRgb32() {
  Visual* visual = x::DefaultVisualPtr();
  return (x::Depth() == 24 || x::Depth() == 32) && visual->c_class == TrueColor &&
         visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 &&
         visual->blue_mask == 0x0000FF;
}

XImage* MakeXImage(const uint32_t* rgb, int width, int height, int stride_pixels,
                   std::vector<uint32_t>& out) {
  Display* display = x::Dpy();
  if (DisplayIsRgb32() && stride_pixels == width) {
    // Our pixels already are the display's: lend them as they are, no copy.
    return XCreateImage(display, x::DefaultVisualPtr(), static_cast<unsigned>(x::Depth()), ZPixmap,
                        0, reinterpret_cast<char*>(const_cast<uint32_t*>(rgb)),
                        static_cast<unsigned>(width), static_cast<unsigned>(height), 32, width * 4);
  }
  out.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  if (DisplayIsRgb32()) {
    for (int y = 0; y < height; ++y)
      std::memcpy(&out[static_cast<size_t>(y) * width],
                  rgb + static_cast<size_t>(y) * stride_pixels, static_cast<size_t>(width) * 4);
  } else {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        out[static_cast<size_t>(y) * width + x] =
            static_cast<uint32_t>(x::PixelForRgb(rgb[static_cast<size_t>(y) * stride_pixels + x]));
  }
  XImage* image =
      XCreateImage(display, x::DefaultVisualPtr(), static_cast<unsigned>(x::Depth()), ZPixmap, 0,
                   reinterpret_cast<char*>(out.data()), static_cast<unsigned>(width),
                   static_cast<unsigned>(height), 32, width * 4);
  if (image && !DisplayIsRgb32()) {
    // Other depths: let Xlib pack the pixel values itself.
    image->data = nullptr;
    XDestroyImage(image);
    image =
        XCreateImage(display, x::DefaultVisualPtr(), static_cast<unsigned>(x::Depth()), ZPixmap, 0,
                     nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image) return nullptr;
    image->data = static_cast<char*>(malloc(static_cast<size_t>(image->bytes_per_line) * height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        XPutPixel(image, x, y, out[static_cast<size_t>(y) * width + x]);
    image->obdata = reinterpret_cast<XPointer>(1);  // marks owned data
  }
  return image;
}

void DestroyBorrowedImage(XImage* image) {
  if (!image) return;
  if (image->obdata != reinterpret_cast<XPointer>(1)) image->data = nullptr;
  image->obdata = nullptr;
  XDestroyImage(image);
}

Pixmap ImageToPixmap(Drawable on, const Image& image) {
  Display* display = x::Dpy();
  int w = std::max(1, image.width), h = std::max(1, image.height);
  Pixmap pixmap = XCreatePixmap(display, on, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                static_cast<unsigned>(x::Depth()));
  if (image.width <= 0 || image.height <= 0) return pixmap;
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  // Upload in bands to keep the request size small.
  std::vector<uint32_t> buffer;
  const int band = std::max(1, (1 << 20) / std::max(1, image.width));
  for (int y = 0; y < image.height; y += band) {
    int rows = std::min(band, image.height - y);
    XImage* ximage = MakeXImage(image.pixels.data() + static_cast<size_t>(y) * image.width,
                                image.width, rows, image.width, buffer);
    if (ximage) {
      XPutImage(display, pixmap, gc, ximage, 0, 0, 0, y, static_cast<unsigned>(image.width),
                static_cast<unsigned>(rows));
      DestroyBorrowedImage(ximage);
    }
  }
  XFreeGC(display, gc);
  return pixmap;
}

Pixmap KeyMask(Drawable on, const Image& image, uint32_t key_rgb, int width, int height) {
  Display* display = x::Dpy();
  int w = std::max(1, width), h = std::max(1, height);
  int bytes_per_line = (w + 7) / 8;
  std::vector<char> bits(static_cast<size_t>(bytes_per_line) * h, 0);
  const int rows = std::min(h, image.height), cols = std::min(w, image.width);
  for (int y = 0; y < rows; ++y) {
    const uint32_t* row = image.pixels.data() + static_cast<size_t>(y) * image.width;
    unsigned char* out =
        reinterpret_cast<unsigned char*>(bits.data()) + static_cast<size_t>(y) * bytes_per_line;
    // Eight pixels to a byte, first pixel in the lowest bit.
    for (int x = 0; x < cols; ++x)
      if ((row[x] & 0xFFFFFF) != key_rgb) out[x >> 3] |= static_cast<unsigned char>(1 << (x & 7));
  }
  return XCreateBitmapFromData(display, on, bits.data(), static_cast<unsigned>(w),
                               static_cast<unsigned>(h));
}

}  // namespace gs
