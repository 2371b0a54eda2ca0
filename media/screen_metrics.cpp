#include "media/screen.h"
#include "stage/screen_watch.h"

namespace gs {

int32_t ScreenWidth() {
  return PrimaryWidth();
}
int32_t ScreenHeight() {
  return PrimaryHeight();
}

}  // namespace gs
