// Icon and cursor reader: picks the best image of the directory (largest, then
// deepest colour) and decodes it, BMP-style with its AND mask or embedded PNG,
// into 8-bit R, G, B, A.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "media/picture_readers.h"

namespace gs::picture_readers {
namespace {

constexpr int64_t kDirectoryHeaderSize = 6;
constexpr int64_t kDirectoryEntrySize = 16;
constexpr int64_t kInfoHeaderSize = 40;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct Candidate {
  const uint8_t* data;
  int64_t length;
  int64_t area;
  int depth;
};

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool IsPng(const uint8_t* data, int64_t length) {
  return length >= 8 && std::memcmp(data, kPngSignature, 8) == 0;
}

// Reads the size and colour depth an image says it has, without decoding it.
bool ProbeImage(const uint8_t* data, int64_t length, Candidate& candidate) {
  if (IsPng(data, length)) {
    // The IHDR chunk comes first: length, "IHDR", width, height, bit depth, colour type.
    if (length < 33 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
    static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int colour_type = data[25];
    const int channels = colour_type <= 6 ? kChannels[colour_type] : 0;
    if (channels == 0) return false;
    // PNG sizes stay below 2^31; larger claims are capped so the product cannot overflow.
    const int64_t width = std::min<int64_t>(Be32(data + 16), int64_t{1} << 31);
    const int64_t height = std::min<int64_t>(Be32(data + 20), int64_t{1} << 31);
    candidate.area = width * height;
    candidate.depth = data[24] * channels;
    return true;
  }
  if (length < kInfoHeaderSize || Le32(data) < kInfoHeaderSize) return false;
  candidate.area =
      std::abs(int64_t{Le32Signed(data + 4)}) * (std::abs(int64_t{Le32Signed(data + 8)}) / 2);
  candidate.depth = Le16(data + 14);
  return true;
}

bool AndMaskBit(const uint8_t* row, int64_t x) {
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// A BMP-style image: information header, colour table, colour rows and the
// 1-bit AND mask, both bottom row first, rows padded to 4 bytes. The header's
// height counts both the colour rows and the mask rows.
bool DecodeBitmapImage(const uint8_t* data, int64_t length, RgbaImage& out) {
  if (length < kInfoHeaderSize) return false;
  const int64_t info_size = Le32(data);
  if (info_size < kInfoHeaderSize || info_size > length) return false;
  const int64_t width = std::abs(int64_t{Le32Signed(data + 4)});
  const int64_t raw_height = Le32Signed(data + 8);
  const int64_t height = std::abs(raw_height) / 2;
  const bool top_down = raw_height < 0;
  const int bits = Le16(data + 14);
  if (Le32(data + 16) != 0) return false;  // compressed
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  if (!SizeFits(width, height)) return false;

  int64_t table_entries = 0;
  if (bits <= 8) {
    const uint32_t colours_used = Le32(data + 32);
    table_entries = colours_used != 0 ? colours_used : (int64_t{1} << bits);
  }
  const int64_t table_end = info_size + 4 * table_entries;
  const int64_t colour_stride = (width * bits + 31) / 32 * 4;
  const int64_t mask_stride = (width + 31) / 32 * 4;
  const int64_t colour_end = table_end + colour_stride * height;
  if (table_end > length || colour_end > length) return false;
  // Some 32-bit images leave the mask out; they carry their own alpha.
  const bool has_mask = colour_end + mask_stride * height <= length;

  std::array<uint32_t, 256> table{};
  for (int64_t i = 0; i < std::min<int64_t>(table_entries, 256); ++i) {
    table[i] = Le32(data + info_size + 4 * i);  // B, G, R, unused
  }

  out.width = static_cast<int32_t>(width);
  out.height = static_cast<int32_t>(height);
  out.rgba.assign(width * 4 * height, 0);
  bool any_alpha = false;
  for (int64_t y = 0; y < height; ++y) {
    const int64_t file_row = top_down ? y : height - 1 - y;
    const uint8_t* src = data + table_end + file_row * colour_stride;
    uint8_t* dst = out.rgba.data() + y * width * 4;
    for (int64_t x = 0; x < width; ++x, dst += 4) {
      if (bits >= 24) {
        const uint8_t* p = src + x * (bits / 8);
        dst[0] = p[2];
        dst[1] = p[1];
        dst[2] = p[0];
        dst[3] = bits == 32 ? p[3] : 255;
        any_alpha |= dst[3] != 0;
      } else {
        const int per_byte = 8 / bits;
        const int shift = 8 - bits * (1 + static_cast<int>(x % per_byte));
        const uint32_t bgr = table[(src[x / per_byte] >> shift) & ((1u << bits) - 1)];
        dst[0] = static_cast<uint8_t>(bgr >> 16);
        dst[1] = static_cast<uint8_t>(bgr >> 8);
        dst[2] = static_cast<uint8_t>(bgr);
        dst[3] = 255;
      }
    }
  }
  // A 32-bit image whose alpha is all zero is an old-style one: its mask decides.
  const bool use_mask = has_mask && (bits != 32 || !any_alpha);
  if (use_mask) {
    for (int64_t y = 0; y < height; ++y) {
      const int64_t file_row = top_down ? y : height - 1 - y;
      const uint8_t* mask = data + colour_end + file_row * mask_stride;
      uint8_t* dst = out.rgba.data() + y * width * 4;
      for (int64_t x = 0; x < width; ++x) dst[x * 4 + 3] = AndMaskBit(mask, x) ? 0 : 255;
    }
  } else if (bits == 32 && !any_alpha) {
    for (int64_t i = 3; i < static_cast<int64_t>(out.rgba.size()); i += 4) out.rgba[i] = 255;
  }
  return true;
}

}  // namespace

std::unique_ptr<Picture> ReadIconFile(const uint8_t* data, int64_t length, PictureKind kind) {
  if (data == nullptr || length < kDirectoryHeaderSize) return nullptr;
  const int expected_type = kind == PictureKind::kCursor ? 2 : 1;
  if (Le16(data) != 0 || Le16(data + 2) != expected_type) return nullptr;
  const int64_t count = Le16(data + 4);
  if (count == 0 || kDirectoryHeaderSize + count * kDirectoryEntrySize > length) return nullptr;

  std::vector<Candidate> candidates;
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kDirectoryHeaderSize + i * kDirectoryEntrySize;
    const int64_t size = Le32(entry + 8);
    const int64_t offset = Le32(entry + 12);
    if (size == 0 || offset > length || size > length - offset) continue;
    Candidate candidate{data + offset, size, 0, 0};
    if (ProbeImage(candidate.data, candidate.length, candidate)) candidates.push_back(candidate);
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) {
                     return a.area != b.area ? a.area > b.area : a.depth > b.depth;
                   });

  // When the best image is broken, the next best may do; a few tries are enough.
  constexpr size_t kMostTries = 4;
  candidates.resize(std::min(candidates.size(), kMostTries));
  for (const Candidate& candidate : candidates) {
    RgbaImage image;
    const bool decoded = IsPng(candidate.data, candidate.length)
                             ? DecodePngRgba(candidate.data, candidate.length, image)
                             : DecodeBitmapImage(candidate.data, candidate.length, image);
    if (!decoded) continue;
    auto picture = std::make_unique<Picture>();
    picture->kind = kind;
    picture->width = image.width;
    picture->height = image.height;
    picture->stride = image.width * 4;
    picture->icon = std::move(image.rgba);
    return picture;
  }
  return nullptr;
}

}  // namespace gs::picture_readers
