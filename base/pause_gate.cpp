#include "base/pause_gate.h"

namespace tarvex {

void PauseGate::Pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void PauseGate::Resume() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
  }
  changed_.notify_all();
}

bool PauseGate::IsPaused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

void PauseGate::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  changed_.notify_all();
}

bool PauseGate::IsCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool PauseGate::Checkpoint() {
  std::unique_lock lock(mutex_);
  ++parked_;
  changed_.wait(lock, [this] { return !paused_ || cancelled_; });
  --parked_;
  return !cancelled_;
}

int PauseGate::parked() const {
  std::lock_guard lock(mutex_);
  return parked_;
}

}  // namespace tarvex
