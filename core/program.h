// The program's entry.
#pragma once

#include <cstdint>

#include "stage/framework.h"
#include "stage/window_description.h"

namespace gs {

// Runs the whole program; ends the process (normally with status 0).
int32_t RunProgram();

// The same with another design or handlers (tests).
int32_t RunProgramWith(const WindowDesign& design, const HandlerTable& handlers);

}  // namespace gs
