// The show's routines: the opening show, the timed effects and the falling flowers.
#pragma once

#include <cstdint>

#include "media/picture.h"
#include "stage/control_ref.h"

namespace gs {

// Every position computed from the screen size is evaluated in double
// precision and cut toward zero.
inline int32_t Truncate(double value) {
  return static_cast<int32_t>(value);
}

// Opening show.
void RunShow();
void RunIntroShow();
void DrawHeartOutline(ControlRef canvas, PictureHandle picture, int32_t step_delay);
void ShowGreetingCards();

// Timed effects.
void RunScatterBursts();
void ScatterPicture(int32_t mode, PictureHandle picture);

// Falling flowers.
void SetUpFallingFlowers();
void PlaceFlowersAboveScreen(ControlRef a, ControlRef b, ControlRef c, ControlRef d);
void FallingFlowerWorker(int32_t k);

}  // namespace gs
