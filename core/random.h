// Seeded random numbers and small utilities.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace gs {

void SeedRandom(std::optional<int32_t> seed = {});
int32_t RandomInRange(std::optional<int32_t> min = {}, std::optional<int32_t> max = {});
uint32_t RgbColour(int32_t red, int32_t green, int32_t blue);
std::string IntToText(int32_t value);

// The calling thread's generator state (for tests).
uint32_t RandomState();
uint32_t SeedCounter();

}  // namespace gs
