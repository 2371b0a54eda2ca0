// Format detection and the decoder shared by LoadPicture and the picture
// properties of controls.
#include "media/picture.h"

#include "media/picture_readers.h"

namespace gs {

int32_t DetectPictureFormat(const uint8_t* data, int64_t available) {
  if (data == nullptr || available < 8) return 0;
  const uint8_t* b = data;
  if (b[0] == 'B' && b[1] == 'M') return static_cast<int32_t>(PictureKind::kBmp);
  if (b[0] == 0xFF && b[1] == 0xD8) return static_cast<int32_t>(PictureKind::kJpeg);
  if (b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') {
    return static_cast<int32_t>(PictureKind::kPng);
  }
  const uint16_t word0 = picture_readers::Le16(b);
  const uint16_t word1 = picture_readers::Le16(b + 2);
  const uint16_t images = picture_readers::Le16(b + 4);
  if (word0 == 0 && word1 == 1 && images > 0) return static_cast<int32_t>(PictureKind::kIcon);
  if (word0 == 0 && word1 == 2 && images > 0) return static_cast<int32_t>(PictureKind::kCursor);
  if (b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8' && (b[4] == '7' || b[4] == '9') &&
      b[5] == 'a') {
    return static_cast<int32_t>(PictureKind::kGif);
  }
  if (b[0] == 0x0A && b[1] <= 5 && b[2] == 1 && b[3] == 8) {
    return static_cast<int32_t>(PictureKind::kPcx8);
  }
  if (b[0] == 0x0A && b[1] == 3 && b[2] == 1 && b[3] == 1) {
    return static_cast<int32_t>(PictureKind::kPcx1);
  }
  return 0;
}

std::unique_ptr<Picture> DecodePictureBytes(const uint8_t* data, int64_t length) {
  if (data == nullptr || length <= 0) return nullptr;
  switch (static_cast<PictureKind>(DetectPictureFormat(data, length))) {
    case PictureKind::kJpeg:
      return picture_readers::ReadJpeg(data, length);
    case PictureKind::kBmp:
      return picture_readers::ReadBmp(data, length);
    case PictureKind::kGif:
      return picture_readers::ReadGif(data, length);
    case PictureKind::kPcx8:
    case PictureKind::kPcx1:
      return picture_readers::ReadPcx(data, length);
    case PictureKind::kPng:
      return picture_readers::ReadPng(data, length);
    case PictureKind::kIcon:
      return picture_readers::ReadIconFile(data, length, PictureKind::kIcon);
    case PictureKind::kCursor:
      return picture_readers::ReadIconFile(data, length, PictureKind::kCursor);
    case PictureKind::kNone:
      break;
  }
  return nullptr;
}

}  // namespace gs
