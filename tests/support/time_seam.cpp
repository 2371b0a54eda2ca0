#include "tests/support/time_seam.h"

#include "core/clock.h"

namespace gs::test {

void SetTimeScale(double scale) {
  internal::SetTimeScaleForTests(scale);
}

}  // namespace gs::test
