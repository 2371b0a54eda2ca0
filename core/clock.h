// The program's sense of time. Every delay and timer period goes through
// ScaledMs, so test executables can run the show faster by linking the
// time seam (tests/support/time_seam.cpp). The shipped program never changes
// the scale: it reads no argument, variable or file for it.
#pragma once

#include <cstdint>

namespace gs {

// Milliseconds since an arbitrary fixed point, monotonic.
int64_t MonotonicMs();
// Microseconds, same clock.
int64_t MonotonicUs();

// Milliseconds since the system started, 32-bit wrapping (for seeding).
uint32_t TickCountMs();

// Converts a duration of the show's own time into real microseconds.
int64_t ScaledUs(int64_t ms);

// The current scale (1.0 in the shipped program).
double TimeScale();

namespace internal {
// Only the test seam writes this.
void SetTimeScaleForTests(double scale);
}  // namespace internal

}  // namespace gs
