// Blocking delays, worker threads and the stop of all workers at the end.
#pragma once

#include <cstdint>

namespace gs {

// Blocks the calling thread for max(ms, 0) ms of program time, handling no
// events. 0 or less yields the processor and returns.
void Delay(int32_t ms);

using ThreadRoutine = void (*)(int32_t);
// Starts a thread running routine(argument) at once; false if it cannot be created.
bool StartThread(ThreadRoutine routine, int32_t argument);

// Sets stop_workers, refuses further moves and waits for every started
// thread to return. Delays in progress end early.
void StopAndJoinWorkers();

// The calling thread will never return (it waits for the fatal stop to end
// the process): the end of the program must not wait for it.
void MarkThreadAsStopped();

// Number of threads started and not yet joined.
int RunningThreadCount();

}  // namespace gs
