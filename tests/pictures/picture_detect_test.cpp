// Which leading bytes are taken for which kind of picture.
#include <gtest/gtest.h>

#include <vector>

#include "media/picture.h"

namespace gs {
namespace {

struct DetectCase {
  const char* name;
  std::vector<uint8_t> bytes;
  int32_t kind;
};

class DetectPictureFormatTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(DetectPictureFormatTest, GivesKindOfFirstMatchingRow) {
  const DetectCase& c = GetParam();
  EXPECT_EQ(DetectPictureFormat(c.bytes.data(), static_cast<int64_t>(c.bytes.size())), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DetectPictureFormatTest,
    ::testing::Values(DetectCase{"Bmp", {'B', 'M', 0, 0, 0, 0, 0, 0}, 2},
                      DetectCase{"BmpLowerCaseIsNot", {'b', 'm', 0, 0, 0, 0, 0, 0}, 0},
                      DetectCase{"Jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F'}, 1},
                      DetectCase{"Png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, 8},
                      DetectCase{
                          "PngOnlyFirstFourBytesMatter", {0x89, 'P', 'N', 'G', 0, 0, 0, 0}, 8},
                      DetectCase{"IconOneImage", {0, 0, 1, 0, 1, 0, 16, 16}, 3},
                      DetectCase{"IconManyImages", {0, 0, 1, 0, 0x34, 0x12, 0, 0}, 3},
                      DetectCase{"IconWithoutImages", {0, 0, 1, 0, 0, 0, 16, 16}, 0},
                      DetectCase{"Cursor", {0, 0, 2, 0, 3, 0, 32, 32}, 4},
                      DetectCase{"CursorWithoutImages", {0, 0, 2, 0, 0, 0, 32, 32}, 0},
                      DetectCase{"IconTypeThreeIsNot", {0, 0, 3, 0, 1, 0, 0, 0}, 0},
                      DetectCase{"IconWordZeroNotZero", {1, 0, 1, 0, 1, 0, 0, 0}, 0},
                      DetectCase{"Gif89a", {'G', 'I', 'F', '8', '9', 'a', 1, 0}, 5},
                      DetectCase{"Gif87a", {'G', 'I', 'F', '8', '7', 'a', 1, 0}, 5},
                      DetectCase{"Gif88aIsNot", {'G', 'I', 'F', '8', '8', 'a', 1, 0}, 0},
                      DetectCase{"Gif89bIsNot", {'G', 'I', 'F', '8', '9', 'b', 1, 0}, 0},
                      DetectCase{"Pcx8Version5", {0x0A, 5, 1, 8, 0, 0, 0, 0}, 6},
                      DetectCase{"Pcx8Version0", {0x0A, 0, 1, 8, 0, 0, 0, 0}, 6},
                      DetectCase{"Pcx8Version6IsNot", {0x0A, 6, 1, 8, 0, 0, 0, 0}, 0},
                      DetectCase{"Pcx8NotRunLengthIsNot", {0x0A, 5, 0, 8, 0, 0, 0, 0}, 0},
                      DetectCase{"Pcx1Version3", {0x0A, 3, 1, 1, 0, 0, 0, 0}, 7},
                      DetectCase{"Pcx1Version5IsNot", {0x0A, 5, 1, 1, 0, 0, 0, 0}, 0},
                      DetectCase{"Pcx4BitsIsNot", {0x0A, 3, 1, 4, 0, 0, 0, 0}, 0},
                      // BMP is tested before the icon words: "BM" wins even if more could match.
                      DetectCase{"BmpBeforeAnythingElse", {'B', 'M', 1, 0, 1, 0, 0, 0}, 2},
                      DetectCase{"Zeros", {0, 0, 0, 0, 0, 0, 0, 0}, 0},
                      DetectCase{"Text", {'h', 'e', 'l', 'l', 'o', ' ', 'y', 'o'}, 0},
                      DetectCase{"SevenBytesOfGif", {'G', 'I', 'F', '8', '9', 'a', 1}, 0},
                      DetectCase{"TwoBytesOfBmp", {'B', 'M'}, 0}, DetectCase{"Nothing", {}, 0}),
    [](const ::testing::TestParamInfo<DetectCase>& info) { return info.param.name; });

TEST(DetectPictureFormat, ReadsNoMoreThanTheAvailableCount) {
  // A valid signature with a count below 8 is not a picture, whatever follows.
  const uint8_t bytes[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
  EXPECT_EQ(DetectPictureFormat(bytes, 7), 0);
  EXPECT_EQ(DetectPictureFormat(bytes, 8), 5);
  EXPECT_EQ(DetectPictureFormat(bytes, -1), 0);
  EXPECT_EQ(DetectPictureFormat(nullptr, 8), 0);
}

}  // namespace
}  // namespace gs
