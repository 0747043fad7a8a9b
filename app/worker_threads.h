#pragma once

// The window's worker threads: analysis, loader and preview procedures of the core. Each runs
// on its own thread; the window never blocks on one, except when it ends and waits for them
// while still serving their calls.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace tarvex {

class WorkerThreads {
 public:
  WorkerThreads() = default;
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  // Waits for every worker; the owner cancels their work first.
  ~WorkerThreads();

  void Start(std::function<void()> work);
  bool AnyRunning() const;

  // Waits until every worker has ended, handling the window's events meanwhile, so that a
  // worker waiting for the window can finish.
  void WaitAll();

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void JoinFinished();

  std::vector<Worker> workers_;
};

}  // namespace tarvex
