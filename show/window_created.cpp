// The created event of the main window: cover the screen with a picture of
// itself, play the opening show, freeze it into the background, and hand over
// to the falling flowers.
#include "core/globals.h"
#include "core/random.h"
#include "media/assets.h"
#include "media/music.h"
#include "media/screen.h"
#include "show/handlers.h"
#include "show/show.h"
#include "show/show_marks.h"
#include "stage/canvas.h"
#include "stage/properties.h"
#include "stage/window_description.h"

namespace gs {

void OnMainWindowCreated() {
  SeedRandom();
  int32_t w = ScreenWidth();
  int32_t h = ScreenHeight();
  MoveControl(窗口, 0, 0, w, h);
  w = ScreenWidth();
  h = ScreenHeight();
  MoveControl(画板1, 0, 0, w, h);
  OwnedByteBlock capture = CaptureScreen();
  WriteProperty(画板1, Setting::kBackgroundPicture, capture.get());
  capture.reset();
  WriteProperty(窗口, Setting::kVisible, true);
  ShowMark("window shown");
  RunShow();
}

void RunShow() {
  PlayMusic(&assets::intro_tune, false);
  RunIntroShow();
  OwnedByteBlock capture = CaptureScreen();
  kept_screenshot.reset();
  kept_screenshot = std::move(capture);
  ClearCanvas(画板1);
  MoveControl(画板1, 0, 0, ScreenWidth(), ScreenHeight());
  WriteProperty(画板1, Setting::kBackgroundPicture, kept_screenshot.get());
  SetUpFallingFlowers();
  ShowMark("opening done");
}

}  // namespace gs
