#include "mailbox/folder_rows_ahead.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

#include "base/utf16_text.h"
#include "mailbox/folder_item_reader.h"
#include "mailbox/model_indexes.h"
#include "mailbox/recovered_items.h"

namespace tarvex {
namespace {

// How many stretches of rows may be made ahead of the caller: enough to keep both threads busy
// past a folder's end, few enough to hold little.
constexpr std::size_t kMostChunksAhead = 16;
constexpr int kWorkerCount = 2;
// The pause gate is asked every so many rows: it is behind a lock both threads would wait on.
constexpr std::uint32_t kRowsPerCheckpoint = 64;

}  // namespace

// A thread of its own, with a reader and a memo of its own.
struct FolderRowsAhead::Worker : OwnValueReader {
  using OwnValueReader::OwnValueReader;
  SenderMemo memo;
  std::jthread thread;  // joined before the reader and memo go
};

FolderRowsAhead::FolderRowsAhead(Recovery& recovery, std::span<const TreeNodeHandle> folders,
                                 const FolderReadOptions& options, std::uint32_t chunk_rows)
    : recovery_(recovery),
      options_(options),
      chunk_rows_(std::max<std::uint32_t>(chunk_rows, 1)),
      folder_count_(folders.size()) {
  if (!recovery.has_session()) return;
  recovery.body_table().open = false;
  // Everything the threads only read is brought up to date, and every column looked up, here:
  // looking up columns writes the session's column directory.
  recovery.indexes().CatchUpAfterAnalysis(recovery.model());
  for (std::size_t index = 0; index < folders.size(); ++index) AddSources(folders[index], index);
  message_columns_ = FindMessageTableColumns(recovery.session());
  for (std::size_t source = 0; source < sources_.size(); ++source) {
    auto chunk = std::make_unique<Chunk>();
    chunk->source = source;
    chunks_.push_back(std::move(chunk));
  }
  for (int i = 0; i < kWorkerCount; ++i) {
    auto worker = std::make_unique<Worker>(recovery.session(), recovery.working_folder());
    try {
      worker->thread = std::jthread([this, raw = worker.get()] { Work(*raw); });
    } catch (const std::system_error&) {
      break;  // no thread to be had: the caller makes what no thread does
    }
    workers_.push_back(std::move(worker));
  }
}

FolderRowsAhead::~FolderRowsAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  for (const std::unique_ptr<Worker>& worker : workers_) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

void FolderRowsAhead::AddSources(TreeNodeHandle folder, std::size_t folder_index) {
  StoreSession& session = recovery_.session();
  auto add = [&](const ese::Table* table, std::vector<std::uint32_t> numbers, bool by_number) {
    if (table == nullptr) return;
    Source& source = sources_.emplace_back();
    source.folder = folder_index;
    source.table = table;
    source.columns.Find(session, table, ColumnLookup::kMessageBodies);
    source.by_number = by_number;
    source.numbers = std::move(numbers);
  };
  // The tables a selection of the folder reads, in the order it reads them.
  for (const FolderLink& link : recovery_.model().folder_links) {
    if (link.tree_item != folder || link.content_key.empty()) continue;
    if (link.content_key == kRecoveredItemsKey) {
      for (const ese::Table* table : ContentTablesWithoutFolder(recovery_)) add(table, {}, false);
      add(session.message_table(), MessageRowsWithoutListing(recovery_), true);
      continue;
    }
    for (const TableEntry& entry : session.catalog().entries()) {
      if (EqualsIgnoringAsciiCase(entry.folder_key, link.content_key)) add(entry.table, {}, false);
    }
  }
}

FolderRowsAhead::Chunk* FolderRowsAhead::TakeNext(std::unique_lock<std::mutex>& lock,
                                                  std::size_t index_limit) {
  const std::size_t end = std::min(chunks_.size(), index_limit);
  for (std::size_t index = consumed_; index < end; ++index) {
    Chunk& chunk = *chunks_[index];
    if (chunk.state != ChunkState::kWaiting) continue;
    chunk.state = ChunkState::kTaken;
    if (!chunk.sized) Size(lock, chunk);
    return &chunk;
  }
  return nullptr;
}

void FolderRowsAhead::Size(std::unique_lock<std::mutex>& lock, Chunk& chunk) {
  const Source& source = sources_[chunk.source];
  // Counting a table's records walks its tree the first time: not under the lock.
  ++sizing_;
  lock.unlock();
  std::uint32_t rows = 0;
  try {
    rows = source.by_number ? static_cast<std::uint32_t>(source.numbers.size())
                            : source.table->record_count();
  } catch (const std::exception&) {
    chunk.ended = true;  // a table that cannot be walked gives no rows, and ends its source
  }
  lock.lock();
  --sizing_;
  chunk.sized = true;
  chunk.last = std::min(rows, chunk_rows_);
  std::vector<std::unique_ptr<Chunk>> rest;
  for (std::uint32_t first = chunk_rows_; first < rows; first += chunk_rows_) {
    auto part = std::make_unique<Chunk>();
    part->source = chunk.source;
    part->first = first;
    part->last = std::min(rows, first + chunk_rows_);
    part->sized = true;
    rest.push_back(std::move(part));
  }
  // Other chunks may have been split meanwhile, so the chunk is found again. It has not been
  // taken in: it lies at or after the caller's place.
  const auto at =
      std::find_if(chunks_.begin() + static_cast<std::ptrdiff_t>(consumed_), chunks_.end(),
                   [&chunk](const std::unique_ptr<Chunk>& other) { return other.get() == &chunk; });
  chunks_.insert(at + 1, std::make_move_iterator(rest.begin()),
                 std::make_move_iterator(rest.end()));
  changed_.notify_all();
}

void FolderRowsAhead::Work(Worker& worker) {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    Chunk* chunk = TakeNext(lock, consumed_ + kMostChunksAhead);
    if (chunk == nullptr) {
      // Nothing left to take, and nothing another thread may still split: done.
      const bool all_taken = std::none_of(
          chunks_.begin() + static_cast<std::ptrdiff_t>(consumed_), chunks_.end(),
          [](const std::unique_ptr<Chunk>& c) { return c->state == ChunkState::kWaiting; });
      if (all_taken && sizing_ == 0) return;
      changed_.wait(lock);
      continue;
    }
    lock.unlock();
    Make(worker.reader, worker.memo, *chunk);
    lock.lock();
    chunk->state = ChunkState::kDone;
    changed_.notify_all();
  }
}

void FolderRowsAhead::Make(ValueReader& reader, SenderMemo& memo, Chunk& chunk) {
  const Source& source = sources_[chunk.source];
  const FolderItemSink keep = [&chunk](FolderItem&& item) {
    chunk.positions.push_back(item.list_position);
    if (item.turned_away) {
      chunk.rows_of_items.push_back(kTurnedAway);
      return;
    }
    chunk.rows_of_items.push_back(static_cast<std::uint32_t>(chunk.rows.size()));
    chunk.rows.push_back(std::move(item.columns));
  };
  FolderItemReader items(recovery_, reader, source.columns, message_columns_, keep,
                         FolderItemUse::kRowsOnly, options_, &memo);
  PauseGate& gate = recovery_.pause_gate();
  const ese::Table& table = *source.table;
  // A row that cannot be made ends its source there, as it ends a table read by one thread.
  try {
    if (source.by_number) {
      for (std::uint32_t index = chunk.first; index < chunk.last; ++index) {
        if ((index - chunk.first) % kRowsPerCheckpoint == 0 && !gate.Checkpoint()) {
          chunk.ended = true;
          return;
        }
        const std::uint32_t number = source.numbers[index];
        const std::optional<ese::Record> record = table.ReadRecord(number);
        if (record) items.Process(&*record, table.record_state(number));
      }
      return;
    }
    table.ForEachRecordWithStateBetween(
        chunk.first, chunk.last,
        [&](std::uint32_t number, const ese::Record* record, ese::RecordState state) {
          if ((number - chunk.first) % kRowsPerCheckpoint == 0 && !gate.Checkpoint()) {
            chunk.ended = true;
            return false;
          }
          if (record != nullptr) items.Process(record, state);
          return true;
        });
  } catch (const std::exception&) {
    chunk.ended = true;
  }
}

PlacedRows PlaceListedRows(std::vector<ItemListRow> rows) {
  PlacedRows placed;
  placed.list_size = rows.size();
  for (std::size_t place = 0; place < rows.size(); ++place) {
    // A listed row always has its state; an empty row is an item turned away.
    if (rows[place][kItemStateColumn].empty()) continue;
    placed.rows.push_back(std::move(rows[place]));
    placed.places.push_back(static_cast<std::uint32_t>(place));
  }
  return placed;
}

std::optional<PlacedRows> FolderRowsAhead::Next() {
  if (next_folder_ >= folder_count_ || recovery_.pause_gate().IsCancelled()) return std::nullopt;
  const std::size_t folder = next_folder_++;
  // The folder's chunks as they are taken in, and the list's order as item places in them:
  // items are placed as the list places a row (a position past the end appends), and each row
  // is moved once, at the end.
  struct Place {
    std::uint32_t chunk;
    std::uint32_t row;  // in the chunk's rows; kTurnedAway for an empty row
  };
  std::vector<std::unique_ptr<Chunk>> made;
  std::vector<Place> order;
  std::unique_lock lock(mutex_);
  while (consumed_ < chunks_.size() && sources_[chunks_[consumed_]->source].folder == folder) {
    Chunk& chunk = *chunks_[consumed_];
    if (chunk.state == ChunkState::kWaiting) {
      // No thread has come to it: the caller makes it rather than wait.
      chunk.state = ChunkState::kTaken;
      if (!chunk.sized) Size(lock, chunk);
      lock.unlock();
      Make(recovery_.reader(), caller_memo_, chunk);
      lock.lock();
      chunk.state = ChunkState::kDone;
    }
    changed_.wait(lock, [&chunk] { return chunk.state == ChunkState::kDone; });
    made.push_back(std::move(chunks_[consumed_]));
    ++consumed_;
    changed_.notify_all();
    lock.unlock();
    const Chunk& taken = *made.back();
    Source& source = sources_[taken.source];
    const auto chunk_number = static_cast<std::uint32_t>(made.size() - 1);
    for (std::size_t i = 0; i < taken.positions.size() && !source.ended; ++i) {
      const auto index = std::clamp<std::ptrdiff_t>(taken.positions[i], 0, std::ssize(order));
      order.insert(order.begin() + index, {chunk_number, taken.rows_of_items[i]});
    }
    source.ended = source.ended || taken.ended;
    lock.lock();
  }
  lock.unlock();
  // Only the rows listed are handed on: most rows of a search by sender are turned away.
  PlacedRows placed;
  placed.list_size = order.size();
  for (std::size_t place = 0; place < order.size(); ++place) {
    if (order[place].row == kTurnedAway) continue;
    placed.rows.push_back(std::move(made[order[place].chunk]->rows[order[place].row]));
    placed.places.push_back(static_cast<std::uint32_t>(place));
  }
  return placed;
}

}  // namespace tarvex
