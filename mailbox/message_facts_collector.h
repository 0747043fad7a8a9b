#pragma once

// Gathers the facts of the "Msg" rows (GatheredMessageFacts) from a pass over that table that
// another reader makes: the analysis, which reads every row in order anyway, or a pass of its
// own (GatherMessageFacts). The reading thread hands each row over; workers of the collector's
// own make the facts and run the row test meanwhile, so that making texts does not hold up the
// reading. When the workers fall behind, the reading thread makes rows too rather than wait.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "mailbox/message_facts.h"

namespace tarvex {

class MessageFactsCollector {
 public:
  // With a row test, two workers (making bodies text is the work a second core shares); the
  // facts alone are made by one. `read`: which facts are made.
  explicit MessageFactsCollector(GatheredMessageFacts::RowTest test = {},
                                 FactsRead read = FactsRead::kSendersAndRecipients,
                                 std::size_t text_bound = GatheredMessageFacts::kDefaultTextBound);
  ~MessageFactsCollector();
  MessageFactsCollector(const MessageFactsCollector&) = delete;
  MessageFactsCollector& operator=(const MessageFactsCollector&) = delete;

  // The next "Msg" row, in the table's order, on the reading thread (null when it could not be
  // read). The first row starts the workers.
  void Take(Recovery& recovery, std::uint32_t number, const ese::Record* record);

  // Makes the rows still waiting, with the workers. The facts when the rows taken were every row of
  // "Msg", from the first on; none when the pass stopped early, a worker failed or the pause gate
  // was cancelled.
  std::optional<GatheredMessageFacts> Finish(Recovery& recovery);

 private:
  // Rows as their bytes, one after the other: a worker takes each record apart again, so that
  // what it allocates it also frees (a row copied on one thread and freed on another costs
  // both threads the allocator's locks).
  struct Batch {
    std::uint32_t first = 0;
    std::vector<std::uint8_t> bytes;
    // Row r is bytes[ends[r - 1], ends[r]); a row that could not be read has none (a record
    // always has its header).
    std::vector<std::uint32_t> ends;
    std::size_t rows() const { return ends.size(); }
  };
  struct Worker;

  void Start(Recovery& recovery);
  // Queues the batch for the workers, or makes it on the reading thread when they are behind.
  void Hand(Batch batch);
  // Makes the batch's part and keeps it; false, with the gathering failed, when it could not.
  bool MakeAndKeep(Worker& worker, const Batch& batch);
  void Work(Worker& worker);
  GatheredMessageFacts::Part Make(Worker& worker, const Batch& batch);
  // Ends the workers; with `discard` the rows still waiting are dropped.
  void Stop(bool discard);

  const GatheredMessageFacts::RowTest test_;
  const FactsRead read_;
  const std::size_t text_bound_;
  std::atomic<std::size_t> kept_bytes_ = 0;

  // The reading thread's side.
  bool started_ = false;
  bool out_of_order_ = false;
  std::uint32_t next_number_ = 0;
  const ese::Table* table_ = nullptr;
  TableColumns columns_;
  Batch batch_;

  // Shared with the workers, behind the lock.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> waiting_;
  bool closing_ = false;
  bool discarding_ = false;
  bool failed_ = false;
  std::vector<GatheredMessageFacts::Part> parts_;

  std::vector<std::unique_ptr<Worker>> workers_;
  std::unique_ptr<Worker> own_;  // the reading thread's reader (it has no thread)
};

// One pass of its own over "Msg" in its order, on the calling thread, through a collector; none
// without a "Msg" table, or when the pause gate is cancelled or `progress` (rows read, rows;
// now and then) returns false.
std::optional<GatheredMessageFacts> GatherMessageFacts(
    Recovery& recovery, const GatheredMessageFacts::RowTest& test = {},
    const std::function<bool(std::uint32_t, std::uint32_t)>& progress = {},
    std::size_t text_bound = GatheredMessageFacts::kDefaultTextBound);

}  // namespace tarvex
