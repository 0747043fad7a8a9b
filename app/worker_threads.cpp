#include "app/worker_threads.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>

namespace tarvex {

WorkerThreads::~WorkerThreads() {
  WaitAll();
}

void WorkerThreads::Start(std::function<void()> work) {
  JoinFinished();
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([work = std::move(work), done] {
    work();
    done->store(true);
  });
  workers_.push_back(Worker{std::move(thread), std::move(done)});
}

bool WorkerThreads::AnyRunning() const {
  return std::any_of(workers_.begin(), workers_.end(),
                     [](const Worker& worker) { return !worker.done->load(); });
}

void WorkerThreads::WaitAll() {
  while (AnyRunning()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  JoinFinished();
}

void WorkerThreads::JoinFinished() {
  auto finished = std::stable_partition(workers_.begin(), workers_.end(),
                                        [](const Worker& worker) { return !worker.done->load(); });
  for (auto it = finished; it != workers_.end(); ++it) it->thread.join();
  workers_.erase(finished, workers_.end());
}

}  // namespace tarvex
