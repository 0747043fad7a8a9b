#pragma once

// A lock held for a few hundred nanoseconds at a time, taken hundreds of thousands of times a
// second by two or three threads (the page cache). A thread that finds it taken tries again a
// while before it sleeps: going to sleep and being woken cost more than the wait, and a plain
// mutex made the threads of a search sleep a hundred thousand times.

#include <mutex>

namespace tarvex {

class BriefLock {
 public:
  void lock() {
    for (int attempt = 0; attempt < kAttemptsBeforeSleeping; ++attempt) {
      if (mutex_.try_lock()) return;
      PauseBriefly();
    }
    mutex_.lock();
  }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  // About a microsecond or two of trying, the length of the longest hold.
  static constexpr int kAttemptsBeforeSleeping = 64;

  static void PauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

  std::mutex mutex_;
};

}  // namespace tarvex
