// How the program ends: normally through EndProgram, fatally through
// RuntimeErrorStop, and the exit hooks that run on a normal end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gs {

using ExitHook = void (*)();

// Appends a hook unless it is already registered.
void RegisterExitHook(ExitHook hook);

// Ends the program with `exit_code` as its status: stops event delivery,
// stops the workers, releases the windows, runs the exit hooks once, in
// registration order, and ends the process. Does not return.
[[noreturn]] void EndProgram(int32_t exit_code);

// The fatal run-time error stop: shows the error box (or, without a
// display, writes its text to standard error), discards the exit hooks and
// ends with status -1. Does not return.
[[noreturn]] void RuntimeErrorStop(int32_t code, const std::string& message,
                                   const std::vector<std::string>& where = {});

// The text of the error box, lines separated by CR LF.
std::string BuildErrorText(int32_t code, const std::string& message,
                           const std::vector<std::string>& where);

namespace internal {
// Runs the registered hooks once and empties the list.
void RunExitHooks();
void DiscardExitHooks();
size_t ExitHookCount();
}  // namespace internal

}  // namespace gs
