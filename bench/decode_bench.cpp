// Picture decoding against two other decoders measured in the same run:
// the twenty stored GIFs, the centrepiece alone, and a 1920 x 1080 24-bit
// screen-capture BMP. Ends with a table of time ratios (ours / peer); below
// 1.0 means ours is faster.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "media/assets.h"
#include "media/picture.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

using gs::ByteBlock;

std::vector<const ByteBlock*> StoredGifs() {
  std::vector<const ByteBlock*> out;
  for (const gs::assets::AssetEntry& asset : gs::assets::kCatalogue) {
    if (asset.extension == "gif") out.push_back(asset.block);
  }
  return out;
}

// ---- ours ------------------------------------------------------------------

// Decoding plus turning the indices into colours, as the canvas gets them.
void OursDecodeAndRender(const ByteBlock& block) {
  auto picture = gs::DecodePictureBytes(block.bytes(), block.length);
  gs::Image image = gs::RenderPicture(*picture, 0xFFFFFF);
  benchmark::DoNotOptimize(image.pixels.data());
}

void OursDecode(const ByteBlock& block) {
  auto picture = gs::DecodePictureBytes(block.bytes(), block.length);
  benchmark::DoNotOptimize(picture->pixels.data());
}

// ---- giflib ----------------------------------------------------------------

struct MemoryReader {
  const uint8_t* data;
  size_t left;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int wanted) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  const size_t n = std::min<size_t>(static_cast<size_t>(wanted), reader->left);
  std::memcpy(out, reader->data, n);
  reader->data += n;
  reader->left -= n;
  return static_cast<int>(n);
}

void GiflibDecodeToRgb(const ByteBlock& block) {
  MemoryReader reader{block.bytes(), static_cast<size_t>(block.length)};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
  if (gif == nullptr || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) std::abort();
  const SavedImage& first = gif->SavedImages[0];
  const ColorMapObject* map = first.ImageDesc.ColorMap ? first.ImageDesc.ColorMap : gif->SColorMap;
  const size_t count = static_cast<size_t>(first.ImageDesc.Width) * first.ImageDesc.Height;
  std::vector<uint8_t> rgb(count * 3);
  for (size_t i = 0; i < count; ++i) {
    const GifColorType& c = map->Colors[first.RasterBits[i] % map->ColorCount];
    rgb[3 * i] = c.Red;
    rgb[3 * i + 1] = c.Green;
    rgb[3 * i + 2] = c.Blue;
  }
  benchmark::DoNotOptimize(rgb.data());
  DGifCloseFile(gif, &error);
}

// ---- stb_image -------------------------------------------------------------

void StbDecode(const ByteBlock& block, int channels) {
  int w = 0, h = 0, n = 0;
  stbi_uc* pixels = stbi_load_from_memory(block.bytes(), block.length, &w, &h, &n, channels);
  if (pixels == nullptr) std::abort();
  benchmark::DoNotOptimize(pixels);
  stbi_image_free(pixels);
}

// ---- the screen-capture BMP ------------------------------------------------

gs::OwnedByteBlock MakeCaptureBmp(int width, int height) {
  const int stride = (24 * width + 31) / 32 * 4;
  const int64_t size = 54 + int64_t{stride} * height;
  gs::OwnedByteBlock block = gs::MakeByteBlock(size);
  uint8_t* b = block->bytes();
  std::memset(b, 0, 54);
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(size));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  b[26] = 1;
  b[28] = 24;
  put32(34, static_cast<uint32_t>(stride) * height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b + 54 + int64_t{y} * stride;
    for (int x = 0; x < stride; ++x) row[x] = static_cast<uint8_t>(x * 7 + y * 13 + (x >> 5));
  }
  return block;
}

// The file named by GS_BENCH_GIF, if any, as a further GIF case.
gs::OwnedByteBlock ReadBenchGif() {
  const char* name = std::getenv("GS_BENCH_GIF");
  if (name == nullptr) return {};
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return {};
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(file);
  return gs::CopyToByteBlock(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// ---- registration and the ratio table -------------------------------------

using Decoder = void (*)(const ByteBlock&);

void RegisterSet(const std::string& name, std::vector<const ByteBlock*> blocks,
                 const std::vector<std::pair<std::string, Decoder>>& decoders) {
  for (const auto& [who, decode] : decoders) {
    benchmark::RegisterBenchmark((name + "/" + who).c_str(), [blocks, decode = decode](
                                                                 benchmark::State& state) {
      for (auto _ : state) {
        for (const ByteBlock* block : blocks) decode(*block);
      }
    })->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<const ByteBlock*> gifs = StoredGifs();
  const gs::OwnedByteBlock capture = MakeCaptureBmp(1920, 1080);
  const std::vector<std::pair<std::string, Decoder>> gif_decoders = {
      {"ours", OursDecodeAndRender},
      {"ours_indices_only", OursDecode},
      {"giflib", GiflibDecodeToRgb},
      {"stb", [](const ByteBlock& b) { StbDecode(b, 0); }}};
  RegisterSet("gif_all_twenty", gifs, gif_decoders);
  RegisterSet("gif_centrepiece", {&gs::assets::centrepiece}, gif_decoders);
  const gs::OwnedByteBlock extra_gif = ReadBenchGif();
  if (extra_gif) RegisterSet("gif_file", {extra_gif.get()}, gif_decoders);
  RegisterSet("bmp_1920x1080_24bit", {capture.get()},
              {{"ours", OursDecode}, {"stb", [](const ByteBlock& b) { StbDecode(b, 3); }}});

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gs::bench::RatioReporter reporter(gs::bench::RatioReporter::Clock::kCpu);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const char* what[][2] = {{"gif_all_twenty", "Decode of all 20 stored GIFs"},
                           {"gif_centrepiece", "Decode of centrepiece (1010x737 GIF)"},
                           {"gif_file", "Decode of the GIF in GS_BENCH_GIF"},
                           {"bmp_1920x1080_24bit", "Decode of a 1920x1080 24-bit BMP"}};
  for (const auto& [set, title] : what)
    for (const char* peer : {"giflib", "stb"})
      reporter.PrintRatio(title, std::string(set) + "/ours", std::string(set) + "/" + peer, "<= 1");
  benchmark::Shutdown();
  return 0;
}
