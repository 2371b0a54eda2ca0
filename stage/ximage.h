// Moving colour images between our pixel format (0x00RRGGBB) and the display.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "media/picture.h"

namespace gs {

// Whether display pixels are 0x00RRGGBB in 32-bit words (depth 24/32 TrueColor).
bool DisplayIsRgb32();

// Converts an image region to display pixels into `out` (width*height words of
// the display's pixel values) and wraps it as an XImage that borrows `out`.
// Free the XImage with DestroyBorrowedImage.
XImage* MakeXImage(const uint32_t* rgb, int width, int height, int stride_pixels,
                   std::vector<uint32_t>& out);
void DestroyBorrowedImage(XImage* image);

// Uploads an image into a new pixmap of the image's size.
Pixmap ImageToPixmap(Drawable on, const Image& image);

// A 1-bit mask: set where the pixel differs from `key_rgb`. Null when every
// pixel is the key colour and `all_clear` is reported.
Pixmap KeyMask(Drawable on, const Image& image, uint32_t key_rgb, int width, int height);

}  // namespace gs
