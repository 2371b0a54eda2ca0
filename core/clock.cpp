#include "core/clock.h"

#include <atomic>
#include <cmath>
#include <ctime>

namespace gs {
namespace {
std::atomic<double> g_time_scale{1.0};

int64_t ReadClockUs(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}
}  // namespace

int64_t MonotonicUs() {
  return ReadClockUs(CLOCK_MONOTONIC);
}
int64_t MonotonicMs() {
  return MonotonicUs() / 1000;
}

uint32_t TickCountMs() {
  // CLOCK_BOOTTIME counts from system start, including suspend.
  return static_cast<uint32_t>(static_cast<uint64_t>(ReadClockUs(CLOCK_BOOTTIME) / 1000));
}

int64_t ScaledUs(int64_t ms) {
  if (ms <= 0) return 0;
  double scale = g_time_scale.load(std::memory_order_relaxed);
  if (scale == 1.0) return ms * 1000;
  return static_cast<int64_t>(std::llround(static_cast<double>(ms) * 1000.0 * scale));
}

double TimeScale() {
  return g_time_scale.load(std::memory_order_relaxed);
}

namespace internal {
void SetTimeScaleForTests(double scale) {
  g_time_scale.store(scale > 0 ? scale : 1.0, std::memory_order_relaxed);
}
}  // namespace internal

}  // namespace gs
