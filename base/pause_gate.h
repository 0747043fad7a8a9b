#pragma once

// Cooperative Stop/Resume for worker procedures. The window pauses the gate; the worker
// calls Checkpoint() between records and between tables and waits there while paused.

#include <condition_variable>
#include <mutex>

namespace tarvex {

class PauseGate {
 public:
  void Pause();
  void Resume();
  bool IsPaused() const;

  // Makes every current and later Checkpoint() return false at once, even while paused;
  // used when the program ends so that no worker stays parked.
  void Cancel();
  bool IsCancelled() const;

  // Blocks while paused. Returns false when the gate was cancelled: the worker should end.
  bool Checkpoint();

  // How many workers are parked in Checkpoint() now: a window test knows the pause took hold.
  int parked() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool paused_ = false;
  bool cancelled_ = false;
  int parked_ = 0;
};

}  // namespace tarvex
