// RenderPicture: a decoded picture as 0x00RRGGBB pixels.
#include <algorithm>

#include "media/picture.h"

namespace gs {
namespace {

inline uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
  return (r << 16) | (g << 8) | b;
}

// Alpha blend of one channel onto the background, rounded to nearest.
inline uint32_t Blend(uint32_t c, uint32_t background, uint32_t alpha) {
  return (alpha * c + (255 - alpha) * background + 127) / 255;
}

// R, G, B, A rows with `stride` bytes each, over a background colour given as
// 0x00BBGGRR.
void RenderRgba(const std::vector<uint8_t>& rgba, int32_t stride, uint32_t background,
                Image& image) {
  const uint32_t bg_r = background & 0xFF;
  const uint32_t bg_g = (background >> 8) & 0xFF;
  const uint32_t bg_b = (background >> 16) & 0xFF;
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* p = rgba.data() + int64_t{y} * stride;
    uint32_t* out = image.pixels.data() + int64_t{y} * image.width;
    for (int32_t x = 0; x < image.width; ++x, p += 4) {
      const uint32_t a = p[3];
      out[x] = a == 255 ? Rgb(p[0], p[1], p[2])
                        : Rgb(Blend(p[0], bg_r, a), Blend(p[1], bg_g, a), Blend(p[2], bg_b, a));
    }
  }
}

// True when `bytes` holds `height` rows of `stride` bytes that each cover
// `row_bytes`.
bool Holds(const std::vector<uint8_t>& bytes, int32_t stride, int64_t row_bytes, int32_t height) {
  return stride >= row_bytes &&
         static_cast<int64_t>(bytes.size()) >= int64_t{stride} * (height - 1) + row_bytes;
}

}  // namespace

// A picture whose buffers do not match its size (one not made by the
// decoder) renders as an empty image.
Image RenderPicture(const Picture& picture, uint32_t background) {
  Image image;
  if (picture.width <= 0 || picture.height <= 0) return image;
  const int64_t w = picture.width;
  const int32_t h = picture.height;
  const std::vector<uint8_t>& px = picture.pixels;
  const int32_t stride = picture.stride;
  switch (picture.kind) {
    case PictureKind::kJpeg:
    case PictureKind::kBmp:
      if (!Holds(px, stride, w * 3, h)) return image;
      break;
    case PictureKind::kGif:
    case PictureKind::kPcx8:
    case PictureKind::kPcx1:
      if (!Holds(px, stride, w, h)) return image;
      break;
    case PictureKind::kPng:
      if (!Holds(px, stride, w * 4, h)) return image;
      break;
    case PictureKind::kIcon:
    case PictureKind::kCursor:
      if (!Holds(picture.icon, stride, w * 4, h)) return image;
      break;
    case PictureKind::kNone:
    default:
      return image;
  }
  image.width = picture.width;
  image.height = h;
  image.pixels.resize(w * h);
  switch (picture.kind) {
    case PictureKind::kJpeg:
    case PictureKind::kBmp:
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = px.data() + int64_t{y} * stride;
        uint32_t* out = image.pixels.data() + y * w;
        for (int64_t x = 0; x < w; ++x, p += 3) out[x] = Rgb(p[0], p[1], p[2]);
      }
      break;
    case PictureKind::kGif:
    case PictureKind::kPcx8:
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = px.data() + int64_t{y} * stride;
        uint32_t* out = image.pixels.data() + y * w;
        for (int64_t x = 0; x < w; ++x) out[x] = picture.palette[p[x]] & 0xFFFFFF;
      }
      break;
    case PictureKind::kPcx1:
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = px.data() + int64_t{y} * stride;
        uint32_t* out = image.pixels.data() + y * w;
        for (int64_t x = 0; x < w; ++x) out[x] = p[x] ? 0xFFFFFF : 0x000000;
      }
      break;
    case PictureKind::kPng:
      RenderRgba(px, stride, background, image);
      break;
    case PictureKind::kIcon:
    case PictureKind::kCursor:
      RenderRgba(picture.icon, stride, background, image);
      break;
    case PictureKind::kNone:
      break;
  }
  return image;
}

}  // namespace gs
