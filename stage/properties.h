// Reading and writing one setting of a control at a time, moving controls and
// copying them at run time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "media/byte_block.h"
#include "stage/control_ref.h"

namespace gs {

enum class Setting {
  kLeft,
  kTop,
  kWidth,
  kHeight,
  kVisible,
  kCaption,
  kBackColour,
  kTimerPeriod,
  kTextColour,
  kBackgroundPicture,
};

int32_t ReadProperty(ControlRef control, Setting setting);
void WriteProperty(ControlRef control, Setting setting, int32_t value);
void WriteProperty(ControlRef control, Setting setting, bool value);
void WriteProperty(ControlRef control, Setting setting, const std::string& value);
void WriteProperty(ControlRef control, Setting setting, const ByteBlock* value);
inline void WriteProperty(ControlRef control, Setting setting, const char* value) {
  WriteProperty(control, setting, std::string(value));
}
inline void WriteProperty(ControlRef control, Setting setting, uint32_t value) {
  WriteProperty(control, setting, static_cast<int32_t>(value));
}

void MoveControl(ControlRef control, std::optional<int32_t> left = {},
                 std::optional<int32_t> top = {}, std::optional<int32_t> width = {},
                 std::optional<int32_t> height = {});

// Makes a hidden copy of a designed control; writes its reference into
// `target` and returns true, or returns false leaving `target` as it was.
bool CopyControl(ControlRef source, ControlRef& target);

inline constexpr int32_t kMinPosition = -32627;
inline constexpr int32_t kMaxPosition = 32627;

}  // namespace gs
