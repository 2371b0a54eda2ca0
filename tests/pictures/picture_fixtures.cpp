#include "tests/pictures/picture_fixtures.h"

#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <utility>

namespace gs::test {

void PutLe16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(Bytes& out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

void SetLe32(Bytes& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

// ---- GIF -----------------------------------------------------------------

namespace {

class BitWriter {
 public:
  void Put(uint32_t code, int size) {
    buffer_ |= static_cast<uint64_t>(code) << count_;
    count_ += size;
    while (count_ >= 8) {
      bytes_.push_back(static_cast<uint8_t>(buffer_));
      buffer_ >>= 8;
      count_ -= 8;
    }
  }
  Bytes Finish() {
    if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(buffer_));
    return bytes_;
  }

 private:
  Bytes bytes_;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

void PutColourTable(Bytes& out, const std::vector<uint32_t>& table) {
  for (uint32_t c : table) {
    out.push_back(static_cast<uint8_t>(c >> 16));
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c));
  }
}

// The size field of a colour table's flags: 2^(field+1) entries.
uint8_t TableSizeField(size_t entries) {
  uint8_t field = 0;
  while ((2u << field) < entries) ++field;
  if ((2u << field) != entries) throw std::invalid_argument("colour table size must be 2^n");
  return field;
}

}  // namespace

Bytes EncodeLzw(const std::vector<uint8_t>& indices, const LzwOptions& options) {
  const uint32_t clear = 1u << options.min_code_size;
  const uint32_t end = clear + 1;
  BitWriter bits;
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
  int size = options.min_code_size + 1;
  uint32_t next = clear + 2;
  auto reset = [&] {
    table.clear();
    size = options.min_code_size + 1;
    next = clear + 2;
  };
  // A code is written with the width the decoder will use: the least that holds `next`.
  auto width_for = [&] {
    int w = options.min_code_size + 1;
    while ((1u << w) < next && w < 12) ++w;
    return w;
  };
  bits.Put(clear, size);
  if (indices.empty()) {
    bits.Put(end, size);
    return bits.Finish();
  }
  uint32_t current = indices[0];
  for (size_t i = 1; i < indices.size(); ++i) {
    const uint8_t c = indices[i];
    auto found = table.find({current, c});
    if (found != table.end()) {
      current = found->second;
      continue;
    }
    size = width_for();
    bits.Put(current, size);
    if (next < 4096) {
      table[{current, c}] = next++;
    } else if (options.clear_when_full) {
      bits.Put(clear, width_for());
      reset();
    }
    current = c;
  }
  size = width_for();
  bits.Put(current, size);
  if (next < 4096) ++next;  // the decoder makes one more entry on this code
  bits.Put(end, width_for());
  return bits.Finish();
}

Bytes ToSubBlocks(const Bytes& stream) {
  Bytes out;
  for (size_t at = 0; at < stream.size(); at += 255) {
    const size_t n = std::min<size_t>(255, stream.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), stream.begin() + at, stream.begin() + at + n);
  }
  out.push_back(0);
  return out;
}

Bytes GraphicControlBlock(int transparent_index) {
  const bool has = transparent_index >= 0;
  return {0x21,
          0xF9,
          4,
          static_cast<uint8_t>(has ? 1 : 0),
          0,
          0,
          static_cast<uint8_t>(has ? transparent_index : 0),
          0};
}

Bytes EncodeGif(const GifSpec& spec) {
  Bytes out = {'G',
               'I',
               'F',
               static_cast<uint8_t>(spec.version[0]),
               static_cast<uint8_t>(spec.version[1]),
               static_cast<uint8_t>(spec.version[2])};
  PutLe16(out, spec.screen_width);
  PutLe16(out, spec.screen_height);
  out.push_back(spec.global_table.empty() ? 0 : 0x80 | TableSizeField(spec.global_table.size()));
  out.push_back(spec.background_index);
  out.push_back(0);
  PutColourTable(out, spec.global_table);
  if (spec.transparent_index >= 0) {
    const Bytes gce = GraphicControlBlock(spec.transparent_index);
    out.insert(out.end(), gce.begin(), gce.end());
  }
  out.insert(out.end(), spec.before_image.begin(), spec.before_image.end());

  out.push_back(0x2C);
  PutLe16(out, spec.left);
  PutLe16(out, spec.top);
  PutLe16(out, spec.width);
  PutLe16(out, spec.height);
  uint8_t flags = spec.interlaced ? 0x40 : 0;
  if (!spec.local_table.empty()) flags |= 0x80 | TableSizeField(spec.local_table.size());
  out.push_back(flags);
  PutColourTable(out, spec.local_table);

  // Rows in the order they are stored: for an interlaced image, pass by pass.
  std::vector<uint8_t> stored;
  if (spec.interlaced) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int row = kStart[pass]; row < spec.height; row += kStep[pass]) {
        stored.insert(stored.end(), spec.indices.begin() + row * spec.width,
                      spec.indices.begin() + (row + 1) * spec.width);
      }
    }
  } else {
    stored = spec.indices;
  }
  out.push_back(static_cast<uint8_t>(spec.lzw.min_code_size));
  const Bytes blocks = ToSubBlocks(EncodeLzw(stored, spec.lzw));
  out.insert(out.end(), blocks.begin(), blocks.end());
  out.insert(out.end(), spec.after_image.begin(), spec.after_image.end());
  out.push_back(0x3B);
  return out;
}

// ---- BMP -----------------------------------------------------------------

namespace {

// Rows of `bits` bits per pixel, padded to 4 bytes, bottom row first unless top_down.
Bytes PackRows(int width, int height, int bits, bool top_down, uint8_t padding,
               const std::vector<uint32_t>& pixels) {
  const int stride = (width * bits + 31) / 32 * 4;
  Bytes out;
  for (int i = 0; i < height; ++i) {
    const int y = top_down ? i : height - 1 - i;
    Bytes row(stride, padding);
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels.at(static_cast<size_t>(y) * width + x);
      if (bits >= 24) {
        uint8_t* d = row.data() + x * (bits / 8);
        d[0] = static_cast<uint8_t>(p);
        d[1] = static_cast<uint8_t>(p >> 8);
        d[2] = static_cast<uint8_t>(p >> 16);
        if (bits == 32) d[3] = static_cast<uint8_t>(p >> 24);
      } else {
        if (x * bits % 8 == 0) row[x * bits / 8] = 0;
        const int shift = 8 - bits * (1 + x % (8 / bits));
        row[x * bits / 8] |= static_cast<uint8_t>(p << shift);
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

void PutBgr0Table(Bytes& out, const std::vector<uint32_t>& table) {
  for (uint32_t c : table) PutLe32(out, c & 0xFFFFFF);
}

}  // namespace

Bytes WriteBmp(const BmpSpec& spec) {
  const int height = spec.height < 0 ? -spec.height : spec.height;
  std::vector<uint32_t> pixels = spec.pixels;
  if (spec.bits == 32) {
    for (uint32_t& p : pixels) p = (p & 0xFFFFFF) | (uint32_t{spec.padding_byte} << 24);
  }
  const Bytes rows =
      PackRows(spec.width, height, spec.bits, spec.height < 0, spec.padding_byte, pixels);
  const uint32_t table_bytes = static_cast<uint32_t>(spec.table.size() * 4);
  const uint32_t offset = spec.rows_offset >= 0 ? static_cast<uint32_t>(spec.rows_offset)
                                                : 14 + spec.info_size + table_bytes;
  Bytes out = {'B', 'M'};
  PutLe32(out, 0);  // file size, set below
  PutLe32(out, 0);
  PutLe32(out, offset);
  PutLe32(out, spec.info_size);
  PutLe32(out, static_cast<uint32_t>(spec.width));
  PutLe32(out, static_cast<uint32_t>(spec.height));
  PutLe16(out, 1);
  PutLe16(out, spec.bits);
  PutLe32(out, spec.compression);
  PutLe32(out, static_cast<uint32_t>(rows.size()));
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutLe32(out, spec.colours_used);
  PutLe32(out, 0);
  out.resize(14 + spec.info_size, 0);
  PutBgr0Table(out, spec.table);
  if (out.size() < offset) out.resize(offset, 0);
  out.insert(out.end(), rows.begin(), rows.end());
  SetLe32(out, 2, static_cast<uint32_t>(out.size()));
  return out;
}

// ---- PCX -----------------------------------------------------------------

Bytes WritePcx(const PcxSpec& spec) {
  int bytes_per_line = spec.bytes_per_line;
  if (bytes_per_line == 0) bytes_per_line = ((spec.width * spec.bits + 7) / 8 + 1) & ~1;
  Bytes out(128, 0);
  out[0] = 0x0A;
  out[1] = static_cast<uint8_t>(spec.version);
  out[2] = 1;
  out[3] = static_cast<uint8_t>(spec.bits);
  out[8] = static_cast<uint8_t>((spec.width - 1) & 0xFF);
  out[9] = static_cast<uint8_t>((spec.width - 1) >> 8);
  out[10] = static_cast<uint8_t>((spec.height - 1) & 0xFF);
  out[11] = static_cast<uint8_t>((spec.height - 1) >> 8);
  out[65] = 1;
  out[66] = static_cast<uint8_t>(bytes_per_line & 0xFF);
  out[67] = static_cast<uint8_t>(bytes_per_line >> 8);

  // All scan lines, padded, as one byte sequence.
  Bytes lines;
  for (int y = 0; y < spec.height; ++y) {
    Bytes line(bytes_per_line, 0);
    for (int x = 0; x < spec.width; ++x) {
      const uint8_t p = spec.pixels.at(static_cast<size_t>(y) * spec.width + x);
      if (spec.bits == 8) {
        line[x] = p;
      } else if (p) {
        line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
    lines.insert(lines.end(), line.begin(), line.end());
  }
  size_t i = 0;
  while (i < lines.size()) {
    size_t run = 1;
    const size_t line_end = (i / bytes_per_line + 1) * bytes_per_line;
    const size_t limit = spec.runs_across_lines ? lines.size() : line_end;
    while (i + run < limit && lines[i + run] == lines[i] && run < 63) ++run;
    if (run > 1 || (lines[i] & 0xC0) == 0xC0) {
      out.push_back(static_cast<uint8_t>(0xC0 | run));
    }
    out.push_back(lines[i]);
    i += run;
  }
  if (spec.bits == 8 && spec.with_palette) {
    out.push_back(0x0C);
    for (int c = 0; c < 256; ++c) {
      const uint32_t colour = c < static_cast<int>(spec.palette.size()) ? spec.palette[c] : 0;
      out.push_back(static_cast<uint8_t>(colour >> 16));
      out.push_back(static_cast<uint8_t>(colour >> 8));
      out.push_back(static_cast<uint8_t>(colour));
    }
  }
  return out;
}

// ---- PNG, JPEG -----------------------------------------------------------

Bytes EncodePng(int width, int height, const std::vector<uint8_t>& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) {
    throw std::runtime_error("png size");
  }
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) {
    throw std::runtime_error("png write");
  }
  out.resize(size);
  return out;
}

Bytes EncodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* memory = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &memory, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + info.next_scanline * width * 3;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  Bytes out(memory, memory + size);
  jpeg_destroy_compress(&info);
  std::free(memory);
  return out;
}

// ---- icons and cursors ---------------------------------------------------

Bytes WriteIconBitmap(const IconBitmapSpec& spec) {
  Bytes out;
  PutLe32(out, 40);
  PutLe32(out, spec.width);
  PutLe32(out, spec.height * 2);
  PutLe16(out, 1);
  PutLe16(out, spec.bits);
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutBgr0Table(out, spec.table);
  const Bytes colour = PackRows(spec.width, spec.height, spec.bits, false, 0, spec.pixels);
  out.insert(out.end(), colour.begin(), colour.end());
  if (spec.with_mask) {
    std::vector<uint32_t> mask(static_cast<size_t>(spec.width) * spec.height, 0);
    for (size_t i = 0; i < spec.mask.size(); ++i) mask[i] = spec.mask[i];
    const Bytes rows = PackRows(spec.width, spec.height, 1, false, 0, mask);
    out.insert(out.end(), rows.begin(), rows.end());
  }
  return out;
}

Bytes WriteIconFile(int type, const std::vector<IconEntry>& entries) {
  Bytes out;
  PutLe16(out, 0);
  PutLe16(out, type);
  PutLe16(out, static_cast<uint32_t>(entries.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
  for (const IconEntry& e : entries) {
    out.push_back(static_cast<uint8_t>(e.width & 0xFF));
    out.push_back(static_cast<uint8_t>(e.height & 0xFF));
    out.push_back(0);
    out.push_back(0);
    PutLe16(out, type == 1 ? 1 : 0);       // planes, or the hot spot's x
    PutLe16(out, type == 1 ? e.bits : 0);  // bit count, or the hot spot's y
    PutLe32(out, static_cast<uint32_t>(e.image.size()));
    PutLe32(out, offset);
    offset += static_cast<uint32_t>(e.image.size());
  }
  for (const IconEntry& e : entries) out.insert(out.end(), e.image.begin(), e.image.end());
  return out;
}

}  // namespace gs::test
