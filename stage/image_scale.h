// Scaling colour images for stretched draws: area averaging when shrinking,
// bilinear when enlarging, or single pixels for low-depth displays.
#pragma once

#include <cstdint>
#include <vector>

#include "media/picture.h"

namespace gs {

// A window onto an image scaled to some size: only these output pixels are
// made (a box mostly outside the canvas costs only its visible part). The
// pixels are exactly those of the whole scaled image at the same places.
struct ScalePart {
  int x = 0, y = 0, width = 0, height = 0;
};

Image ScaleImageSmooth(const Image& source, int width, int height);
Image ScaleImageNearest(const Image& source, int width, int height);
Image ScaleImageSmooth(const Image& source, int width, int height, ScalePart part);
Image ScaleImageNearest(const Image& source, int width, int height, ScalePart part);

// Premultiplied ARGB (0xAARRGGBB) of the image at the given size, where the
// pixels equal to `key_rgb` are fully transparent before scaling, so no key
// colour bleeds into the edges.
std::vector<uint32_t> ScaleKeyedPremultiplied(const Image& source, uint32_t key_rgb, int width,
                                              int height, bool smooth);
std::vector<uint32_t> ScaleKeyedPremultiplied(const Image& source, uint32_t key_rgb, int width,
                                              int height, bool smooth, ScalePart part);

}  // namespace gs
