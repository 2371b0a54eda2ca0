// Four greeting cards in the quarters of the screen and a centre picture.
#include "core/timing.h"
#include "media/assets.h"
#include "media/screen.h"
#include "show/show.h"
#include "stage/canvas.h"
#include "stage/window_description.h"

namespace gs {

void ShowGreetingCards() {
  auto draw = [](const ByteBlock& asset, auto left, auto top, int32_t size, int32_t pause) {
    PictureHandle handle = LoadPicture(&asset);
    int32_t x = left();
    int32_t y = top();
    DrawPicture(画板1, handle, x, y, size, size, kWhiteKey);
    if (pause > 0) Delay(pause);
  };
  auto left_column = [] { return Truncate(ScreenWidth() / 10.0 * 1.5); };
  auto right_column = [] { return Truncate(ScreenWidth() / 12.0 * 8.0); };
  auto upper_row = [] { return Truncate(ScreenWidth() / 22.0); };
  auto lower_row = [] { return Truncate(ScreenHeight() / 9.0 * 6.0); };
  draw(assets::card_1, left_column, upper_row, 250, 100);
  draw(assets::card_2, right_column, upper_row, 250, 100);
  draw(assets::card_3, left_column, lower_row, 250, 100);
  draw(assets::card_4, right_column, lower_row, 250, 500);
  draw(
      assets::centrepiece, [] { return Truncate(ScreenWidth() / 3.0); },
      [] { return Truncate(ScreenHeight() / 4.0); }, 400, 0);
}

}  // namespace gs
