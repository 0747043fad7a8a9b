#include "mailbox/message_facts_collector.h"

#include <exception>
#include <span>
#include <system_error>
#include <utility>

namespace tarvex {
namespace {

// Rows handed to a worker at a time, and how many such batches may wait: the reading thread
// waits rather than keep more copies of rows than that.
constexpr std::size_t kBatchRows = 1024;
constexpr std::size_t kMostWaitingBatches = 8;

}  // namespace

// A thread of its own, with a reader of its own.
struct MessageFactsCollector::Worker : OwnValueReader {
  using OwnValueReader::OwnValueReader;
  std::jthread thread;  // joined before the reader goes
};

MessageFactsCollector::MessageFactsCollector(GatheredMessageFacts::RowTest test, FactsRead read,
                                             std::size_t text_bound)
    : test_(std::move(test)), read_(read), text_bound_(text_bound) {}

MessageFactsCollector::~MessageFactsCollector() {
  Stop(true);
}

void MessageFactsCollector::Start(Recovery& recovery) {
  started_ = true;
  StoreSession& session = recovery.session();
  table_ = session.message_table();
  // Found here, before any worker reads: this also points the column directory's header slot
  // at "Msg", which is where the readers look for long transport headers.
  columns_.Find(session, table_, ColumnLookup::kMessageTable);
  // The reading thread makes rows too whenever the workers fall behind: a reader of its own.
  own_ = std::make_unique<Worker>(session, recovery.working_folder());
  const int worker_count = test_ ? 2 : 1;
  for (int i = 0; i < worker_count; ++i) {
    auto worker = std::make_unique<Worker>(session, recovery.working_folder());
    try {
      worker->thread = std::jthread([this, raw = worker.get()] { Work(*raw); });
    } catch (const std::system_error&) {
      break;  // no thread to be had: the rows are made on the reading thread
    }
    workers_.push_back(std::move(worker));
  }
}

void MessageFactsCollector::Take(Recovery& recovery, std::uint32_t number,
                                 const ese::Record* record) {
  if (!started_) Start(recovery);
  if (number != next_number_ || table_ == nullptr) {
    out_of_order_ = true;
    return;
  }
  ++next_number_;
  if (batch_.rows() == 0) batch_.first = number;
  if (record != nullptr)
    batch_.bytes.insert(batch_.bytes.end(), record->data().begin(), record->data().end());
  batch_.ends.push_back(static_cast<std::uint32_t>(batch_.bytes.size()));
  if (batch_.rows() == kBatchRows) {
    // The next batch is about as large: room made once rather than by doubling.
    const std::size_t bytes = batch_.bytes.size();
    Hand(std::exchange(batch_, {}));
    batch_.bytes.reserve(bytes + bytes / 8);
    batch_.ends.reserve(kBatchRows);
  }
}

void MessageFactsCollector::Hand(Batch batch) {
  {
    const std::lock_guard lock(mutex_);
    if (failed_) return;
    // With the workers behind (or none), this thread makes the rows rather than wait.
    if (!workers_.empty() && waiting_.size() < kMostWaitingBatches) {
      waiting_.push_back(std::move(batch));
      changed_.notify_all();
      return;
    }
  }
  MakeAndKeep(*own_, batch);
}

bool MessageFactsCollector::MakeAndKeep(Worker& worker, const Batch& batch) {
  try {
    GatheredMessageFacts::Part part = Make(worker, batch);
    const std::lock_guard lock(mutex_);
    parts_.push_back(std::move(part));
    return true;
  } catch (const std::exception&) {
    // A failure ends the gathering, not the program: the search then reads each row where it
    // lies.
    const std::lock_guard lock(mutex_);
    failed_ = true;
    changed_.notify_all();
    return false;
  }
}

void MessageFactsCollector::Work(Worker& worker) {
  while (true) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !waiting_.empty() || closing_; });
      if (waiting_.empty() || discarding_ || failed_) return;
      batch = std::move(waiting_.front());
      waiting_.pop_front();
      changed_.notify_all();
    }
    if (!MakeAndKeep(worker, batch)) return;
  }
}

GatheredMessageFacts::Part MessageFactsCollector::Make(Worker& worker, const Batch& batch) {
  GatheredMessageFacts::Part part;
  part.first = batch.first;
  part.states.assign(batch.rows(), 0);
  part.starts.reserve(GatheredMessageFacts::kRecipientFields * batch.rows() + 1);
  part.sender_places.reserve(2 * batch.rows());
  std::uint32_t begin = 0;
  for (std::size_t row = 0; row < batch.rows(); ++row) {
    const std::span<const std::uint8_t> bytes(batch.bytes.data() + begin, batch.ends[row] - begin);
    begin = batch.ends[row];
    // The bytes are a record as read, its tagged columns already in the current layout; no
    // bytes, no record.
    const std::optional<ese::Record> record = ese::Record::Parse(*table_, bytes);
    std::uint8_t& state = part.states[row];
    std::optional<MessageFacts> facts;
    if (record && kept_bytes_.load(std::memory_order_relaxed) < text_bound_) {
      facts = ReadMessageFacts(worker.reader, *record, columns_, read_);
    }
    std::size_t taken = 0;
    if (part.AppendRow(facts ? &*facts : nullptr, taken)) state |= GatheredMessageFacts::kKept;
    kept_bytes_ += taken;
    if (record && test_) {
      state |= GatheredMessageFacts::kTested;
      if (test_(*record, columns_)) state |= GatheredMessageFacts::kPassed;
    }
  }
  return part;
}

void MessageFactsCollector::Stop(bool discard) {
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
    discarding_ = discarding_ || discard;
    changed_.notify_all();
  }
  for (const std::unique_ptr<Worker>& worker : workers_) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

std::optional<GatheredMessageFacts> MessageFactsCollector::Finish(Recovery& recovery) {
  if (!started_) {
    // No row taken: right only for a "Msg" table without rows.
    Stop(true);
    const ese::Table* table = recovery.has_session() ? recovery.session().message_table() : nullptr;
    if (table == nullptr || table->record_count() != 0 || recovery.pause_gate().IsCancelled()) {
      return std::nullopt;
    }
    return GatheredMessageFacts({}, read_);
  }
  const bool cancelled = recovery.pause_gate().IsCancelled();
  if (batch_.rows() != 0 && !cancelled) Hand(std::exchange(batch_, {}));
  // The reading thread takes its share of the rows still waiting.
  while (!cancelled) {
    Batch batch;
    {
      const std::lock_guard lock(mutex_);
      if (waiting_.empty() || failed_) break;
      batch = std::move(waiting_.front());
      waiting_.pop_front();
    }
    MakeAndKeep(*own_, batch);
  }
  Stop(cancelled);
  // Every row, or none: a pass that stopped early leaves rows out.
  if (cancelled || failed_ || out_of_order_ || next_number_ != table_->record_count()) {
    return std::nullopt;
  }
  return GatheredMessageFacts(std::move(parts_), read_);
}

std::optional<GatheredMessageFacts> GatherMessageFacts(
    Recovery& recovery, const GatheredMessageFacts::RowTest& test,
    const std::function<bool(std::uint32_t, std::uint32_t)>& progress, std::size_t text_bound) {
  if (!recovery.has_session()) return std::nullopt;
  const ese::Table* table = recovery.session().message_table();
  if (table == nullptr) return std::nullopt;
  const std::uint32_t rows = table->record_count();
  MessageFactsCollector collector(test, FactsRead::kSendersAndRecipients, text_bound);
  bool ended = false;
  table->ForEachRecord([&](std::uint32_t number, const ese::Record* record) {
    if (number % kBatchRows == 0 &&
        (!recovery.pause_gate().Checkpoint() || (progress && !progress(number, rows)))) {
      ended = true;
      return false;
    }
    collector.Take(recovery, number, record);
    return true;
  });
  if (ended) return std::nullopt;
  std::optional<GatheredMessageFacts> gathered = collector.Finish(recovery);
  if (gathered && progress && !progress(rows, rows)) return std::nullopt;
  return gathered;
}

}  // namespace tarvex
