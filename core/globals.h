// The program-wide variables the show's routines share.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "media/byte_block.h"
#include "stage/control_ref.h"

namespace gs {

extern int32_t countdown;
extern int32_t burst_tick_count;
extern OwnedByteBlock kept_screenshot;
extern std::unique_ptr<ControlRefList> flower_list_1;
extern std::unique_ptr<ControlRefList> flower_list_2;
extern std::unique_ptr<ControlRefList> flower_list_3;
extern std::unique_ptr<ControlRefList> flower_list_4;
extern std::atomic<int32_t> stop_workers;

// Creates the four empty flower lists.
void InitGlobals();
// The exit hook: releases kept_screenshot (if any) and the four lists.
void ReleaseGlobals();

// Counts of what ReleaseGlobals released (for tests).
struct ReleaseRecord {
  int screenshots = 0;
  int lists = 0;
};
const ReleaseRecord& GlobalsReleased();

}  // namespace gs
