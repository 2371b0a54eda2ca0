#include "show/handlers.h"

namespace gs {

HandlerTable ShowHandlers() {
  HandlerTable table;
  table.created = OnMainWindowCreated;
  table.burst_timer_tick = OnBurstTimerTick;
  table.overlay_timer_tick = OnOverlayTimerTick;
  return table;
}

}  // namespace gs
