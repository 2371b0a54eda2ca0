#include "core/timing.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/globals.h"
#include "stage/framework.h"

namespace gs {
namespace {
std::mutex g_mutex;
std::condition_variable g_ending_changed;
bool g_ending = false;
std::vector<std::thread> g_threads;
std::vector<std::thread::id> g_stopped;
}  // namespace

void MarkThreadAsStopped() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_stopped.push_back(std::this_thread::get_id());
}

void Delay(int32_t ms) {
  if (ms <= 0) {
    sched_yield();
    return;
  }
  auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(ScaledUs(ms));
  std::unique_lock<std::mutex> lock(g_mutex);
  // Only the end of the program cuts a delay short (so workers stop promptly).
  if (!IsMainThread()) {
    g_ending_changed.wait_until(lock, until, [] { return g_ending; });
    return;
  }
  lock.unlock();
  std::this_thread::sleep_until(until);
}

bool StartThread(ThreadRoutine routine, int32_t argument) {
  try {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_threads.emplace_back([routine, argument] { routine(argument); });
    return true;
  } catch (...) {
    return false;
  }
}

void StopAndJoinWorkers() {
  stop_workers.store(1);
  CloseMainThreadChannel();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_ending = true;
    threads.swap(g_threads);
  }
  g_ending_changed.notify_all();
  std::vector<std::thread::id> stopped;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    stopped = g_stopped;
  }
  for (std::thread& thread : threads) {
    if (!thread.joinable()) continue;
    if (std::find(stopped.begin(), stopped.end(), thread.get_id()) != stopped.end())
      thread.detach();
    else
      thread.join();
  }
}

int RunningThreadCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return static_cast<int>(g_threads.size());
}

}  // namespace gs
