#include "core/random.h"

#include <algorithm>

#include "core/clock.h"

namespace gs {
namespace {
thread_local uint32_t random_state = 1;
uint32_t seed_counter = 0;  // main thread only

uint32_t NextDraw() {
  random_state = random_state * 214013u + 2531011u;
  return (random_state >> 16) & 0x7FFFu;
}
}  // namespace

void SeedRandom(std::optional<int32_t> seed) {
  if (seed) {
    random_state = static_cast<uint32_t>(*seed);
    return;
  }
  uint32_t s = TickCountMs() + seed_counter;
  seed_counter = seed_counter + (s & 0xFFu) + 100u;
  random_state = s;
}

int32_t RandomInRange(std::optional<int32_t> min, std::optional<int32_t> max) {
  int64_t lo = min.value_or(0), hi = max.value_or(2147483647);
  lo = std::max<int64_t>(lo, 0);
  hi = std::max<int64_t>(hi, 0);
  if (lo > hi) std::swap(lo, hi);
  if (lo == hi) return static_cast<int32_t>(lo);
  int64_t span = hi - lo;
  if (span == 2147483647) span = 2147483646;
  int64_t r = NextDraw();
  return static_cast<int32_t>(lo + r % (span + 1));
}

uint32_t RgbColour(int32_t red, int32_t green, int32_t blue) {
  return (static_cast<uint32_t>(red) & 0xFF) | ((static_cast<uint32_t>(green) & 0xFF) << 8) |
         ((static_cast<uint32_t>(blue) & 0xFF) << 16);
}

std::string IntToText(int32_t value) {
  return std::to_string(value);
}

uint32_t RandomState() {
  return random_state;
}
uint32_t SeedCounter() {
  return seed_counter;
}

}  // namespace gs
