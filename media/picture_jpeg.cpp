// JPEG reader through libjpeg, from memory, into 24-bit R, G, B. libjpeg's
// fatal errors come back here through longjmp; its messages are dropped.
#include <csetjmp>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "media/picture_readers.h"

namespace gs::picture_readers {
namespace {

// Working memory libjpeg may take beyond the pixels (progressive data keeps
// every coefficient of the image).
constexpr long kMaxDecoderMemory = 512L << 20;

struct ErrorHandler {
  jpeg_error_mgr manager;
  std::jmp_buf resume;
  bool data_ended = false;
};

[[noreturn]] void OnFatalError(j_common_ptr info) {
  auto* handler = reinterpret_cast<ErrorHandler*>(info->err);
  std::longjmp(handler->resume, 1);
}

void OnMessage(j_common_ptr info, int level) {
  auto* handler = reinterpret_cast<ErrorHandler*>(info->err);
  if (level < 0 && handler->manager.msg_code == JWRN_JPEG_EOF) handler->data_ended = true;
}

void DropMessage(j_common_ptr) {}

}  // namespace

std::unique_ptr<Picture> ReadJpeg(const uint8_t* data, int64_t length) {
  if (data == nullptr || length <= 0) return nullptr;
  // Everything that must survive a longjmp is made before setjmp and only its
  // heap contents change afterwards.
  auto picture = std::make_unique<Picture>();
  jpeg_decompress_struct info{};
  ErrorHandler handler{};
  info.err = jpeg_std_error(&handler.manager);
  handler.manager.error_exit = OnFatalError;
  handler.manager.emit_message = OnMessage;
  handler.manager.output_message = DropMessage;
  if (setjmp(handler.resume) != 0) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  info.out_color_space = JCS_RGB;
  info.mem->max_memory_to_use = kMaxDecoderMemory;
  if (!SizeFits(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  jpeg_start_decompress(&info);
  if (info.output_components != 3 || !SizeFits(info.output_width, info.output_height)) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  picture->kind = PictureKind::kJpeg;
  picture->width = static_cast<int32_t>(info.output_width);
  picture->height = static_cast<int32_t>(info.output_height);
  picture->stride = picture->width * 3;
  picture->pixel_size = picture->stride * picture->height;
  picture->pixels.resize(picture->pixel_size);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = picture->pixels.data() + int64_t{info.output_scanline} * picture->stride;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) {
      jpeg_destroy_decompress(&info);
      return nullptr;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  // Data cut short decodes as grey; treat it like any other truncated picture.
  if (handler.data_ended) return nullptr;
  return picture;
}

}  // namespace gs::picture_readers
