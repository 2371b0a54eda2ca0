// decode_picture FILE [OUT.ppm]
// Decodes FILE as the program would, prints "KIND WIDTH HEIGHT" and, when OUT
// is given, writes the rendered picture over a white background as a binary
// PPM. Prints "no picture" and exits with 1 when decoding gives none.
#include <cstdio>
#include <string>
#include <vector>

#include "media/picture.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s FILE [OUT.ppm]\n", argv[0]);
    return 2;
  }
  const gs::PictureHandle handle = gs::LoadPicture(std::string(argv[1]));
  const gs::Picture* picture = gs::RegisteredPicture(handle);
  if (picture == nullptr) {
    std::printf("no picture\n");
    return 1;
  }
  std::printf("%d %d %d\n", static_cast<int>(picture->kind), picture->width, picture->height);
  if (argc < 3) return 0;

  constexpr uint32_t kWhite = 0x00FFFFFF;
  const gs::Image image = gs::RenderPicture(*picture, kWhite);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::perror(argv[2]);
    return 2;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height);
  std::vector<uint8_t> row(static_cast<size_t>(image.width) * 3);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const uint32_t c = image.pixels[static_cast<size_t>(y) * image.width + x];
      row[3 * x] = static_cast<uint8_t>(c >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c);
    }
    std::fwrite(row.data(), 1, row.size(), out);
  }
  if (std::fclose(out) != 0) {
    std::perror(argv[2]);
    return 2;
  }
  return 0;
}
