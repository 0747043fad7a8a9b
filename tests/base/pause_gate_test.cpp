#include "base/pause_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tarvex {
namespace {

TEST(PauseGate, WorkerWaitsWhilePausedAndContinuesOnResume) {
  PauseGate gate;
  std::atomic<int> records{0};
  std::atomic<bool> stop_counting{false};
  gate.Pause();
  std::thread worker([&] {
    while (!stop_counting && gate.Checkpoint()) ++records;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(records.load(), 0);
  gate.Resume();
  while (records.load() < 10) std::this_thread::yield();
  stop_counting = true;
  worker.join();
  EXPECT_FALSE(gate.IsPaused());
}

TEST(PauseGate, CancelReleasesAPausedWorker) {
  PauseGate gate;
  gate.Pause();
  std::atomic<bool> returned{false};
  bool result = true;
  std::thread worker([&] {
    result = gate.Checkpoint();
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned.load());
  gate.Cancel();
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_TRUE(gate.IsCancelled());
  EXPECT_FALSE(gate.Checkpoint());
}

}  // namespace
}  // namespace tarvex
