// Screen metrics and screen capture.
#pragma once

#include <cstdint>
#include <optional>

#include "media/byte_block.h"

namespace gs {

// The primary screen's current size; safe from any thread.
int32_t ScreenWidth();
int32_t ScreenHeight();

// Copies the primary screen (window omitted or 0) or a window with its frame
// into the bytes of a 24-bit BMP file. A negative width or height -p means p
// per cent of the source (at least 10). Empty on failure.
OwnedByteBlock CaptureScreen(std::optional<int64_t> window = {}, std::optional<int32_t> width = {},
                             std::optional<int32_t> height = {});

}  // namespace gs
