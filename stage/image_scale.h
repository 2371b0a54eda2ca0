// Scaling colour images for stretched draws: area averaging when shrinking,
// bilinear when enlarging, or single pixels for low-depth displays.
#pragma once

#include <cstdint>
#include <vector>

#include "media/picture.h"

namespace gs {

Image ScaleImageSmooth(const Image& source, int width, int height);
Image ScaleImageNearest(const Image& source, int width, int height);

// Premultiplied ARGB (0xAARRGGBB) of the image at the given size, where the
// pixels equal to `key_rgb` are fully transparent before scaling, so no key
// colour bleeds into the edges.
std::vector<uint32_t> ScaleKeyedPremultiplied(const Image& source, uint32_t key_rgb, int width,
                                              int height, bool smooth);

}  // namespace gs
