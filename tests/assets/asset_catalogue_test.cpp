// Checks the structure of every stored asset from the bytes built into the
// program: the GIF layout and transparency of each picture, the WAV header
// of the intro tune and the frame stream of the song. The GIF walker and
// LZW decoder here are deliberately separate from the program's decoder.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "media/assets.h"

namespace {

using gs::ByteBlock;

struct Bytes {
  const uint8_t* data;
  size_t size;
};

Bytes BytesOf(const ByteBlock& block) {
  // The bytes lie past the declared 8-byte header; hide that bound from the
  // optimiser so it does not warn about every read.
  const uint8_t* p = block.bytes();
  asm("" : "+r"(p));
  return {p, static_cast<size_t>(block.length)};
}

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
  return Le16(p) | static_cast<uint32_t>(Le16(p + 2)) << 16;
}
uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// ---- GIF -------------------------------------------------------------------

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

struct GifImage {
  bool has_control = false;
  int delay = -1, disposal = -1;
  std::optional<int> transparent;
  int left = 0, top = 0, width = 0, height = 0;
  bool local_table = false, interlaced = false;
  std::vector<uint8_t> pixels;  // decoded palette indices
};

struct Gif {
  std::string error;
  int width = 0, height = 0;
  uint8_t flags = 0;
  std::vector<Rgb> palette;
  std::optional<int> loop_count;
  std::vector<GifImage> images;
  size_t bytes_after_trailer = 0;
};

// GIF variable-length-code LZW; returns false on a malformed stream.
bool DecodeLzw(int min_code_size, const std::vector<uint8_t>& in, size_t expected,
               std::vector<uint8_t>& out) {
  if (min_code_size < 2 || min_code_size > 8) return false;
  const int clear = 1 << min_code_size, end = clear + 1;
  std::vector<uint16_t> prefix(4096);
  std::vector<uint8_t> suffix(4096), first(4096), stack;
  for (int i = 0; i < clear; ++i) suffix[i] = first[i] = static_cast<uint8_t>(i);
  int width = min_code_size + 1, next = end + 1, prev = -1;
  size_t bit = 0;
  while (bit + width <= in.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((in[bit >> 3] >> (bit & 7)) & 1) << i;
    if (code == clear) {
      width = min_code_size + 1, next = end + 1, prev = -1;
      continue;
    }
    if (code == end) return out.size() == expected;
    if (prev < 0) {
      if (code >= clear) return false;
      out.push_back(static_cast<uint8_t>(code));
      prev = code;
      continue;
    }
    if (code > next) return false;
    int c = code == next ? prev : code;
    stack.clear();
    if (code == next) stack.push_back(first[prev]);
    while (c >= clear) {
      stack.push_back(suffix[c]);
      c = prefix[c];
    }
    stack.push_back(static_cast<uint8_t>(c));
    out.insert(out.end(), stack.rbegin(), stack.rend());
    if (next < 4096) {
      prefix[next] = static_cast<uint16_t>(prev);
      suffix[next] = static_cast<uint8_t>(c);
      first[next] = static_cast<uint8_t>(c);
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    prev = code;
  }
  return false;  // no end code
}

Gif WalkGif(Bytes b) {
  Gif g;
  auto fail = [&](std::string why) {
    g.error = std::move(why);
    return g;
  };
  if (b.size < 13 || std::memcmp(b.data, "GIF89a", 6) != 0) return fail("no GIF89a header");
  g.width = Le16(b.data + 6);
  g.height = Le16(b.data + 8);
  g.flags = b.data[10];
  size_t pos = 13;
  if (g.flags & 0x80) {
    const size_t entries = size_t{2} << (g.flags & 7);
    if (pos + 3 * entries > b.size) return fail("colour table cut short");
    for (size_t i = 0; i < entries; ++i, pos += 3)
      g.palette.push_back({b.data[pos], b.data[pos + 1], b.data[pos + 2]});
  }
  auto read_sub_blocks = [&](std::vector<uint8_t>* into) {
    while (pos < b.size) {
      const size_t n = b.data[pos++];
      if (n == 0) return true;
      if (pos + n > b.size) return false;
      if (into) into->insert(into->end(), b.data + pos, b.data + pos + n);
      pos += n;
    }
    return false;
  };
  GifImage pending;
  while (pos < b.size) {
    const uint8_t tag = b.data[pos++];
    if (tag == 0x3B) {
      g.bytes_after_trailer = b.size - pos;
      return g;
    }
    if (tag == 0x21 && pos < b.size) {
      const uint8_t label = b.data[pos++];
      std::vector<uint8_t> body;
      if (!read_sub_blocks(&body)) return fail("extension cut short");
      if (label == 0xF9) {
        if (body.size() != 4) return fail("graphic control block of wrong size");
        pending.has_control = true;
        pending.disposal = (body[0] >> 2) & 7;
        pending.delay = Le16(&body[1]);
        if (body[0] & 1) pending.transparent = body[3];
      } else if (label == 0xFF && body.size() >= 14 &&
                 std::memcmp(body.data(), "NETSCAPE2.0", 11) == 0 && body[11] == 1) {
        g.loop_count = Le16(&body[12]);
      }
      continue;
    }
    if (tag == 0x2C) {
      if (pos + 10 > b.size) return fail("image descriptor cut short");
      GifImage img = pending;
      pending = GifImage{};
      img.left = Le16(b.data + pos);
      img.top = Le16(b.data + pos + 2);
      img.width = Le16(b.data + pos + 4);
      img.height = Le16(b.data + pos + 6);
      const uint8_t f = b.data[pos + 8];
      img.local_table = f & 0x80;
      img.interlaced = f & 0x40;
      pos += 9;
      if (img.local_table) pos += 3 * (size_t{2} << (f & 7));
      if (pos >= b.size) return fail("image data missing");
      const int min_code_size = b.data[pos++];
      std::vector<uint8_t> codes;
      if (!read_sub_blocks(&codes)) return fail("image data cut short");
      if (!DecodeLzw(min_code_size, codes, size_t(img.width) * img.height, img.pixels))
        return fail("image " + std::to_string(g.images.size() + 1) + " does not decode");
      g.images.push_back(std::move(img));
      continue;
    }
    return fail("unknown block " + std::to_string(tag));
  }
  return fail("no trailer");
}

struct PictureCase {
  std::string_view name;
  const ByteBlock* block;
  int width, height;
  std::optional<int> transparent;
  Rgb transparent_colour;
  bool transparent_index_used;  // does any pixel of the first image use it?
  int delay, disposal;          // of the first image's graphic control block
  size_t trailing;              // bytes after the trailer
};

namespace a = gs::assets;
constexpr int kNone = -1;
PictureCase P(std::string_view name, const ByteBlock& block, int w, int h, int transparent,
              Rgb colour = kWhite, bool used = true, int delay = 0, int disposal = 0,
              size_t trailing = 0) {
  return {name,
          &block,
          w,
          h,
          transparent == kNone ? std::nullopt : std::optional<int>(transparent),
          colour,
          used,
          delay,
          disposal,
          trailing};
}

const PictureCase kPictures[] = {
    P("flower_01", a::flower_01, 147, 163, 255),
    P("flower_02", a::flower_02, 147, 90, kNone, kWhite, false, 10, 1),
    P("flower_03", a::flower_03, 100, 77, kNone, kWhite, false, 10, 1),
    P("flower_04", a::flower_04, 115, 115, 255, kWhite, true, 0, 0, 2),
    P("flower_05", a::flower_05, 125, 135, 255, kBlack, false, 10, 1),
    P("flower_06", a::flower_06, 147, 131, 255),
    P("flower_07", a::flower_07, 130, 129, 255),
    P("flower_08", a::flower_08, 147, 110, 255),
    P("flower_09", a::flower_09, 147, 125, 255),
    P("flower_10", a::flower_10, 147, 139, 255),
    P("flower_11", a::flower_11, 147, 102, 255),
    P("flower_12", a::flower_12, 147, 98, 255, kWhite, false),
    P("flower_13", a::flower_13, 147, 142, 255),
    P("flower_14", a::flower_14, 147, 134, 255),
    P("flower_15", a::flower_15, 147, 124, 255),
    P("card_1", a::card_1, 400, 400, 255),
    P("card_2", a::card_2, 400, 400, 255, kWhite, true, 10, 1),
    P("card_3", a::card_3, 400, 400, 169),
    P("card_4", a::card_4, 400, 400, 229),
    P("centrepiece", a::centrepiece, 1010, 737, 255),
};

class StoredPicture : public testing::TestWithParam<PictureCase> {};

TEST_P(StoredPicture, HasTheCatalogueLayout) {
  const PictureCase& c = GetParam();
  const Gif g = WalkGif(BytesOf(*c.block));
  ASSERT_EQ(g.error, "");
  EXPECT_EQ(g.width, c.width);
  EXPECT_EQ(g.height, c.height);
  EXPECT_EQ(g.flags & 0x87, 0x87) << "256-entry global colour table";
  ASSERT_EQ(g.palette.size(), 256u);
  EXPECT_EQ(g.bytes_after_trailer, c.trailing);
  ASSERT_FALSE(g.images.empty());
  for (const GifImage& img : g.images) {
    EXPECT_TRUE(img.has_control);
    EXPECT_FALSE(img.local_table);
    EXPECT_FALSE(img.interlaced);
  }
  const GifImage& first = g.images[0];
  EXPECT_EQ(first.left, 0);
  EXPECT_EQ(first.top, 0);
  EXPECT_EQ(first.width, c.width);
  EXPECT_EQ(first.height, c.height);
  EXPECT_EQ(first.delay, c.delay);
  EXPECT_EQ(first.disposal, c.disposal);
  EXPECT_EQ(first.transparent, c.transparent);
  if (c.transparent) {
    EXPECT_EQ(g.palette[*c.transparent], c.transparent_colour);
    bool used = false;
    for (uint8_t p : first.pixels) used |= p == *c.transparent;
    EXPECT_EQ(used, c.transparent_index_used);
  }
}

TEST_P(StoredPicture, GroundIsPureWhiteExceptTheCloseUp) {
  const PictureCase& c = GetParam();
  const Gif g = WalkGif(BytesOf(*c.block));
  ASSERT_EQ(g.error, "");
  ASSERT_FALSE(g.images.empty());
  const GifImage& img = g.images[0];
  auto colour_at = [&](int x, int y) { return g.palette[img.pixels[size_t(y) * img.width + x]]; };
  if (c.name == "flower_12") {
    for (uint8_t p : img.pixels) ASSERT_NE(g.palette[p], kWhite) << "the rose fills the picture";
    return;
  }
  for (auto [x, y] :
       {std::pair{0, 0}, {img.width - 1, 0}, {0, img.height - 1}, {img.width - 1, img.height - 1}})
    EXPECT_EQ(colour_at(x, y), kWhite) << "corner " << x << "," << y;
  // The picture is more than ground.
  size_t coloured = 0;
  for (uint8_t p : img.pixels) coloured += g.palette[p] != kWhite;
  EXPECT_GT(coloured, img.pixels.size() / 10);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, StoredPicture, testing::ValuesIn(kPictures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StoredPictures, OnlyTheSecondCardIsAnimated) {
  for (const PictureCase& c : kPictures) {
    const Gif g = WalkGif(BytesOf(*c.block));
    ASSERT_EQ(g.error, "") << c.name;
    if (c.name != "card_2") {
      EXPECT_EQ(g.images.size(), 1u) << c.name;
      EXPECT_FALSE(g.loop_count) << c.name;
      continue;
    }
    ASSERT_EQ(g.images.size(), 4u);
    EXPECT_EQ(g.loop_count, 0) << "loops forever";
    for (size_t i = 1; i < 4; ++i) {
      const GifImage& img = g.images[i];
      EXPECT_EQ(img.left, 81);
      EXPECT_EQ(img.top, 55);
      EXPECT_EQ(img.width, 249);
      EXPECT_EQ(img.height, 269);
      EXPECT_EQ(img.delay, 10);
      EXPECT_EQ(img.disposal, 1);
    }
  }
}

TEST(StoredPictures, WalkerRejectsDamagedData) {
  const Bytes b = BytesOf(a::flower_03);
  std::vector<uint8_t> cut(b.data, b.data + b.size / 2);
  EXPECT_NE(WalkGif({cut.data(), cut.size()}).error, "");
  std::vector<uint8_t> renamed(b.data, b.data + b.size);
  renamed[4] = '7';
  EXPECT_NE(WalkGif({renamed.data(), renamed.size()}).error, "");
}

TEST(StoredAssets, CatalogueListsEveryAssetOnce) {
  ASSERT_EQ(std::size(a::kCatalogue), 22u);
  int gifs = 0;
  for (const auto& e : a::kCatalogue) {
    ASSERT_NE(e.block, nullptr) << e.name;
    EXPECT_EQ(e.block->dimensions, 1) << e.name;
    EXPECT_GT(e.block->length, 0) << e.name;
    gifs += e.extension == "gif";
    if (e.extension == "gif") {
      EXPECT_EQ(std::memcmp(BytesOf(*e.block).data, "GIF89a", 6), 0) << e.name;
    }
  }
  EXPECT_EQ(gifs, 20);
}

// ---- intro tune --------------------------------------------------------------

TEST(IntroTune, IsAnExactEightBitMonoWave) {
  const Bytes b = BytesOf(a::intro_tune);
  ASSERT_EQ(b.size, 528881u);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(b.data), 4), "RIFF");
  EXPECT_EQ(Le32(b.data + 4), 528873u);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(b.data + 8), 8), "WAVEfmt ");
  EXPECT_EQ(Le32(b.data + 16), 16u);
  EXPECT_EQ(Le16(b.data + 20), 1) << "PCM";
  EXPECT_EQ(Le16(b.data + 22), 1) << "channels";
  EXPECT_EQ(Le32(b.data + 24), 8000u) << "sample rate";
  EXPECT_EQ(Le32(b.data + 28), 8000u) << "bytes per second";
  EXPECT_EQ(Le16(b.data + 32), 1) << "block alignment";
  EXPECT_EQ(Le16(b.data + 34), 8) << "bits per sample";
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(b.data + 36), 4), "data");
  EXPECT_EQ(Le32(b.data + 40), 528837u);
  EXPECT_EQ(44 + Le32(b.data + 40), b.size) << "data is the last chunk, without a pad byte";
}

TEST(IntroTune, IsAudibleWithHeadroom) {
  const Bytes b = BytesOf(a::intro_tune);
  ASSERT_GT(b.size, 44u);
  int lo = 255, hi = 0;
  size_t loud_seconds = 0;
  for (size_t s = 0; s + 8000 <= b.size - 44; s += 8000) {
    int peak = 0;
    for (size_t i = 0; i < 8000; ++i) {
      const int v = b.data[44 + s + i];
      lo = std::min(lo, v), hi = std::max(hi, v);
      peak = std::max(peak, std::abs(v - 128));
    }
    loud_seconds += peak > 16;
  }
  EXPECT_GT(hi, 128 + 64) << "reaches a healthy level";
  EXPECT_LT(hi, 255) << "does not clip";
  EXPECT_GT(lo, 0) << "does not clip";
  EXPECT_GE(loud_seconds, 60u) << "plays for nearly all of its 66 s";
}

// ---- main song ---------------------------------------------------------------

struct FrameHeader {
  bool valid = false;
  int version_bits, layer_bits, bitrate_kbps, sample_rate, mode;
  bool crc, padding;
  size_t length;
};

FrameHeader ReadFrameHeader(const uint8_t* p) {
  static constexpr std::array<int, 16> kLayer3Kbps = {0,   32,  40,  48,  56,  64,  80,  96,
                                                      112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr std::array<int, 4> kRates = {44100, 48000, 32000, 0};
  FrameHeader h;
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return h;
  h.version_bits = (p[1] >> 3) & 3;
  h.layer_bits = (p[1] >> 1) & 3;
  h.crc = !(p[1] & 1);
  h.bitrate_kbps = kLayer3Kbps[p[2] >> 4];
  h.sample_rate = kRates[(p[2] >> 2) & 3];
  h.padding = (p[2] >> 1) & 1;
  h.mode = p[3] >> 6;
  if (h.version_bits != 3 || h.layer_bits != 1 || !h.bitrate_kbps || !h.sample_rate) return h;
  h.length = 144000u * h.bitrate_kbps / h.sample_rate + h.padding;
  h.valid = true;
  return h;
}

TEST(MainSong, IsABareStereoLayerThreeStream) {
  const Bytes b = BytesOf(a::main_song);
  ASSERT_EQ(b.size, 3232495u);
  EXPECT_NE(std::memcmp(b.data, "ID3", 3), 0);
  EXPECT_NE(std::memcmp(b.data + b.size - 128, "TAG", 3), 0);
  size_t pos = 0, frames = 0, short_frames = 0;
  while (pos + 4 <= b.size) {
    const FrameHeader h = ReadFrameHeader(b.data + pos);
    ASSERT_TRUE(h.valid) << "frame " << frames << " at byte " << pos;
    ASSERT_EQ(h.bitrate_kbps, 256) << "frame " << frames;
    ASSERT_EQ(h.sample_rate, 44100) << "frame " << frames;
    ASSERT_EQ(h.mode, 0) << "stereo, not joint stereo, frame " << frames;
    ASSERT_FALSE(h.crc) << "frame " << frames;
    ASSERT_TRUE(h.length == 835 || h.length == 836) << h.length;
    short_frames += h.length == 835;
    pos += h.length;
    ++frames;
  }
  EXPECT_EQ(pos, b.size) << "the last frame ends the file";
  EXPECT_EQ(frames, 3867u);
  EXPECT_GT(short_frames, 0u);
  EXPECT_LT(short_frames, frames);
}

TEST(MainSong, FirstFrameCarriesTheEncoderInfo) {
  const Bytes b = BytesOf(a::main_song);
  ASSERT_GT(b.size, 836u);
  // MPEG-1 stereo: 32 bytes of side information follow the 4-byte header.
  const uint8_t* tag = b.data + 4 + 32;
  ASSERT_EQ(std::memcmp(tag, "Info", 4), 0);
  const uint32_t flags = Be32(tag + 4);
  ASSERT_EQ(flags & 7u, 7u) << "frame count, byte count and seek table present";
  EXPECT_EQ(Be32(tag + 8), 3866u);
  EXPECT_EQ(Be32(tag + 12), 3232495u);
  const uint8_t* toc = tag + 16;
  for (int i = 1; i < 100; ++i) EXPECT_LE(toc[i - 1], toc[i]) << "seek table rises";
  const uint8_t* lame = toc + 100 + ((flags & 8u) ? 4 : 0);
  const uint8_t* delay_padding = lame + 21;
  EXPECT_EQ(delay_padding[0] << 4 | delay_padding[1] >> 4, 576);
  EXPECT_EQ((delay_padding[1] & 0xF) << 8 | delay_padding[2], 1161);
}

}  // namespace
