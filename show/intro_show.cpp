// The intro show: a slow heart, five ever faster passes of fifteen hearts,
// the change of tune and the greeting composition.
#include "core/timing.h"
#include "media/assets.h"
#include "media/music.h"
#include "show/show.h"
#include "show/show_marks.h"
#include "stage/canvas.h"
#include "stage/properties.h"
#include "stage/window_description.h"

namespace gs {
namespace {

struct Pass {
  int32_t step_delay;
  int32_t pause;
};
constexpr Pass kPasses[] = {{100, 500}, {0, 500}, {0, 500}, {0, 0}, {0, 0}};

const ByteBlock* const kPictureOrder[] = {
    &assets::flower_03, &assets::flower_04, &assets::flower_05, &assets::flower_07,
    &assets::flower_01, &assets::flower_08, &assets::flower_09, &assets::flower_10,
    &assets::flower_11, &assets::flower_12, &assets::flower_13, &assets::flower_14,
    &assets::flower_15, &assets::flower_02, &assets::flower_06,
};

}  // namespace

void RunIntroShow() {
  ShowMark("first heart");
  DrawHeartOutline(画板1, LoadPicture(&assets::flower_02), 500);
  Delay(1000);
  int pass_number = 0;
  static const char* const kPassMarks[] = {"pass 1", "pass 2", "pass 3", "pass 4", "pass 5"};
  for (const Pass& pass : kPasses) {
    ShowMark(kPassMarks[pass_number++]);
    for (const ByteBlock* picture : kPictureOrder) {
      ClearCanvas(画板1);
      PictureHandle handle = LoadPicture(picture);
      DrawHeartOutline(画板1, handle, pass.step_delay);
      Delay(pass.pause);
    }
  }
  ShowMark("tune change");
  StopMusic();
  PlayMusic(&assets::main_song);
  Delay(3000);
  ShowMark("cards");
  ShowGreetingCards();
  ShowMark("cards done");
  WriteProperty(时钟2, Setting::kTimerPeriod, 1000);
}

}  // namespace gs
