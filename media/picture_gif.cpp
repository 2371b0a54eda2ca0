// GIF reader: the first image of the data, as palette indices at the
// picture's top-left corner, with its palette copied as it is.
#include <algorithm>
#include <cstring>

#include "media/picture_readers.h"

namespace gs::picture_readers {
namespace {

constexpr int kMaxCodes = 4096;  // codes are at most 12 bits wide
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
// Slack after buffers that the decoder writes or reads in 8-byte steps.
constexpr size_t kSlack = 8;

// Copies `count` colour-table entries (R, G, B) into `palette` as 0x00RRGGBB.
void CopyColourTable(const uint8_t* table, int count, std::array<uint32_t, 256>& palette) {
  palette.fill(0);
  for (int i = 0; i < count; ++i) {
    palette[i] = (uint32_t{table[3 * i]} << 16) | (uint32_t{table[3 * i + 1]} << 8) |
                 uint32_t{table[3 * i + 2]};
  }
}

// Passes over a chain of data sub-blocks starting at `pos`. False when the data
// ends before the terminating empty block.
bool SkipSubBlocks(const uint8_t* data, int64_t length, int64_t& pos) {
  while (pos < length) {
    const uint8_t size = data[pos++];
    if (size == 0) return true;
    pos += size;
  }
  return false;
}

// Joins the image's data sub-blocks into one buffer followed by kSlack zero
// bytes. A chain cut short by the end of the data keeps what is there; the
// decoder then decides whether that was enough.
std::vector<uint8_t> GatherSubBlocks(const uint8_t* data, int64_t length, int64_t pos) {
  std::vector<uint8_t> joined;
  joined.reserve(static_cast<size_t>(length - pos) + kSlack);
  while (pos < length) {
    const int64_t size = data[pos++];
    if (size == 0) break;
    const int64_t take = std::min(size, length - pos);
    joined.insert(joined.end(), data + pos, data + pos + take);
    pos += take;
  }
  joined.resize(joined.size() + kSlack, 0);
  return joined;
}

// Copies `length` bytes from earlier output at `src` to `dst` (dst > src). May
// write up to 7 bytes past dst + length.
inline void CopyEarlierOutput(uint8_t* dst, const uint8_t* src, size_t length) {
  if (dst - src >= 8) {
    for (size_t done = 0; done < length; done += 8) std::memcpy(dst + done, src + done, 8);
  } else {
    for (size_t i = 0; i < length; ++i) dst[i] = src[i];
  }
}

// Decodes the LZW code stream `in` (in_bytes bytes plus kSlack readable zero
// bytes) into exactly `count` indices at `out`, which has kSlack bytes of room
// after them. Every table entry is remembered as a place in the output already
// written, so a code's string is one copy of earlier output. False when the
// stream is broken or ends before `count` indices.
bool DecodeLzw(const uint8_t* in, size_t in_bytes, int min_code_size, uint8_t* out, size_t count) {
  const uint32_t clear = 1u << min_code_size;
  const uint32_t end_of_information = clear + 1;
  uint32_t start[kMaxCodes];
  uint16_t length[kMaxCodes];

  const uint64_t total_bits = static_cast<uint64_t>(in_bytes) * 8;
  uint64_t bit_pos = 0;
  int code_size = min_code_size + 1;
  uint32_t code_mask = (1u << code_size) - 1;
  uint32_t next = clear + 2;
  bool have_prev = false;
  size_t prev_start = 0;
  size_t prev_length = 0;
  size_t pos = 0;

  while (pos < count) {
    uint64_t window;
    std::memcpy(&window, in + (bit_pos >> 3), 8);
    const uint32_t code = static_cast<uint32_t>(window >> (bit_pos & 7)) & code_mask;
    bit_pos += code_size;
    if (bit_pos > total_bits) return false;

    if (code == clear) {
      code_size = min_code_size + 1;
      code_mask = (1u << code_size) - 1;
      next = clear + 2;
      have_prev = false;
      continue;
    }
    size_t string_length;
    if (code < clear) {
      out[pos] = static_cast<uint8_t>(code);
      string_length = 1;
    } else if (code == end_of_information || !have_prev) {
      return false;  // ended early, or a first code after a clear that is no colour
    } else if (code < next) {
      string_length = length[code];
      CopyEarlierOutput(out + pos, out + start[code], std::min(string_length, count - pos));
    } else if (code == next) {
      // The entry being made right now: the previous string plus its own first index.
      string_length = prev_length + 1;
      CopyEarlierOutput(out + pos, out + prev_start, std::min(string_length, count - pos));
    } else {
      return false;
    }

    if (have_prev && next < kMaxCodes) {
      start[next] = static_cast<uint32_t>(prev_start);
      length[next] = static_cast<uint16_t>(prev_length + 1);
      ++next;
      if (next == (1u << code_size) && code_size < 12) {
        ++code_size;
        code_mask = (1u << code_size) - 1;
      }
    }
    have_prev = true;
    prev_start = pos;
    prev_length = string_length;
    pos += string_length;
  }
  return true;
}

// Row of the picture that the n-th decoded row of an interlaced image goes to.
void InterlacedRowOrder(int32_t height, std::vector<int32_t>& order) {
  order.clear();
  order.reserve(height);
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int32_t row = kStart[pass]; row < height; row += kStep[pass]) order.push_back(row);
  }
}

// An upper bound on the indices a code stream of `bits` bits can give: every
// code adds at most one index to the longest string so far.
uint64_t MostIndicesFrom(uint64_t bits, int min_code_size) {
  const uint64_t codes = bits / (min_code_size + 1);
  return codes * std::min<uint64_t>(codes, kMaxCodes);
}

}  // namespace

std::unique_ptr<Picture> ReadGif(const uint8_t* data, int64_t length) {
  if (data == nullptr || length <= 13) return nullptr;
  if (std::memcmp(data, "GIF8", 4) != 0 || (data[4] != '7' && data[4] != '9') || data[5] != 'a') {
    return nullptr;
  }
  auto picture = std::make_unique<Picture>();
  picture->kind = PictureKind::kGif;
  picture->width = Le16(data + 6);
  picture->height = Le16(data + 8);
  const uint8_t screen_flags = data[10];
  const uint8_t background_index = data[11];

  int64_t pos = 13;
  if (screen_flags & 0x80) {
    const int entries = 2 << (screen_flags & 7);
    if (pos + 3 * entries >= length) return nullptr;
    CopyColourTable(data + pos, entries, picture->palette);
    pos += 3 * entries;
  }

  // Blocks up to the first image.
  for (;;) {
    if (pos >= length) return nullptr;
    const uint8_t introducer = data[pos++];
    if (introducer == kImageSeparator) break;
    if (introducer != kExtensionIntroducer || pos >= length) return nullptr;
    const uint8_t label = data[pos++];
    // Graphic control, comment, application and plain text blocks carry
    // nothing the picture keeps.
    if (label != 0xF9 && label != 0xFE && label != 0xFF && label != 0x01) return nullptr;
    if (!SkipSubBlocks(data, length, pos)) return nullptr;
  }

  // Image descriptor, then its local colour table and the LZW minimum code size.
  if (pos + 9 > length) return nullptr;
  const int32_t image_width = Le16(data + pos + 4);
  const int32_t image_height = Le16(data + pos + 6);
  const uint8_t image_flags = data[pos + 8];
  pos += 9;
  if (image_flags & 0x80) {
    const int entries = 2 << (image_flags & 7);
    if (pos + 3 * entries > length) return nullptr;
    CopyColourTable(data + pos, entries, picture->palette);
    pos += 3 * entries;
  }
  if (pos >= length) return nullptr;
  const int min_code_size = data[pos++];
  if (min_code_size < 1 || min_code_size > 8) return nullptr;

  const int32_t stride = (picture->width + 3) & ~3;
  if (!SizeFits(picture->width, picture->height)) return nullptr;
  const int64_t image_count = int64_t{image_width} * image_height;
  if (image_count > 0 && !SizeFits(image_width, image_height)) return nullptr;

  const std::vector<uint8_t> code_stream = GatherSubBlocks(data, length, pos);
  const size_t code_bytes = code_stream.size() - kSlack;
  if (static_cast<uint64_t>(image_count) > MostIndicesFrom(code_bytes * 8, min_code_size)) {
    return nullptr;
  }
  std::unique_ptr<uint8_t[]> indices(new uint8_t[image_count + kSlack]);
  if (!DecodeLzw(code_stream.data(), code_bytes, min_code_size, indices.get(), image_count)) {
    return nullptr;
  }

  // The area the image leaves uncovered shows the screen's background index.
  picture->pixel_size = stride * picture->height;
  picture->stride = stride;
  picture->pixels.assign(picture->pixel_size, background_index);
  // Only the part of the image that lies inside the picture is kept.
  picture->image_width = std::min(image_width, picture->width);
  picture->image_height = std::min(image_height, picture->height);

  std::vector<int32_t> interlaced_order;
  if (image_flags & 0x40) InterlacedRowOrder(image_height, interlaced_order);
  for (int32_t n = 0; n < image_height; ++n) {
    const int32_t row = interlaced_order.empty() ? n : interlaced_order[n];
    if (row >= picture->height) continue;
    std::memcpy(picture->pixels.data() + int64_t{row} * stride,
                indices.get() + int64_t{n} * image_width, picture->image_width);
  }
  return picture;
}

}  // namespace gs::picture_readers
