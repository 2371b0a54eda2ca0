// The readers behind DecodePictureBytes, one per format, and the small helpers
// they share. Each reader takes the whole data (signature included), checks
// every read against `length` and gives null when the data is not a picture it
// can decode.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "media/picture.h"

namespace gs::picture_readers {

// No picture may have more pixels than this: rendered as 32-bit colours they
// fill 256 MiB, and no decoded form takes more.
inline constexpr int64_t kMaxPixels = int64_t{64} << 20;
inline constexpr int64_t kMaxPixelBytes = kMaxPixels * 4;

// True when a picture of width x height is neither empty nor too large.
inline bool SizeFits(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPixels && height <= kMaxPixels &&
         width * height <= kMaxPixels;
}

inline uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t Le32Signed(const uint8_t* p) {
  return static_cast<int32_t>(Le32(p));
}

std::unique_ptr<Picture> ReadGif(const uint8_t* data, int64_t length);
std::unique_ptr<Picture> ReadBmp(const uint8_t* data, int64_t length);
// Both PCX kinds; the header decides which.
std::unique_ptr<Picture> ReadPcx(const uint8_t* data, int64_t length);
// Icon and cursor files; `kind` is kIcon or kCursor.
std::unique_ptr<Picture> ReadIconFile(const uint8_t* data, int64_t length, PictureKind kind);
std::unique_ptr<Picture> ReadPng(const uint8_t* data, int64_t length);
std::unique_ptr<Picture> ReadJpeg(const uint8_t* data, int64_t length);

// PNG data decoded to 8-bit R, G, B, A, rows top to bottom without padding.
struct RgbaImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;
};
bool DecodePngRgba(const uint8_t* data, int64_t length, RgbaImage& out);

}  // namespace gs::picture_readers
