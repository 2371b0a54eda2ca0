// The show's event handlers, bound to the main window's design.
#pragma once

#include "stage/framework.h"

namespace gs {

void OnMainWindowCreated();
void OnBurstTimerTick();
void OnOverlayTimerTick();

HandlerTable ShowHandlers();

}  // namespace gs
