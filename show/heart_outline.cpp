// Lays one picture along the outline of a heart, stamp by stamp.
#include "core/timing.h"
#include "media/screen.h"
#include "show/show.h"
#include "stage/canvas.h"

namespace gs {

void DrawHeartOutline(ControlRef canvas, PictureHandle picture, int32_t step_delay) {
  auto stamp = [&](int32_t x, int32_t y) { DrawPicture(canvas, picture, x, y, {}, {}, kWhiteKey); };
  int32_t base_left = Truncate(ScreenWidth() / 2.0 - 73.5);
  int32_t base_right = Truncate(ScreenWidth() / 2.0 - 73.5);
  int32_t base_row = Truncate(ScreenHeight() / 3.0);
  int32_t step_left = base_left, step_right = base_right, step_row = base_row;

  stamp(base_left, base_row);
  Delay(step_delay);

  // Up and outward; only this phase is kept from leaving the top edge.
  for (int i = 1; i <= 4; ++i) {
    step_left = Truncate(base_left - i * 55.0);
    step_right = Truncate(base_right + i * 55.0);
    step_row = Truncate(base_row - i * 65.0);
    if (step_row < 0) step_row = 0;
    stamp(step_left, step_row);
    stamp(step_right, step_row);
    if (i == 4) {
      base_left = step_left;
      base_right = step_right;
      base_row = step_row;
    }
    Delay(step_delay);
  }
  // Straight outward along the top.
  for (int i = 1; i <= 2; ++i) {
    step_left = Truncate(base_left - i * 93.0);
    step_right = Truncate(base_right + i * 93.0);
    stamp(step_left, step_row);
    stamp(step_right, step_row);
    if (i == 2) {
      base_left = step_left;
      base_right = step_right;
    }
    Delay(step_delay);
  }
  // Down and outward.
  for (int i = 1; i <= 3; ++i) {
    step_left = Truncate(base_left - i * 55.0);
    step_right = Truncate(base_right + i * 55.0);
    step_row = Truncate(base_row + i * 65.0);
    stamp(step_left, step_row);
    stamp(step_right, step_row);
    Delay(step_delay);
  }
  // Down and inward to the tip.
  for (int i = 1; i <= 6; ++i) {
    int32_t y = Truncate(step_row + i * 65.0);
    stamp(Truncate(step_left + i * 93.0), y);
    stamp(Truncate(step_right - i * 93.0), y);
    Delay(step_delay);
  }
}

}  // namespace gs
