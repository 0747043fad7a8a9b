#pragma once

// The rows of a run of older-layout folders, each folder's as ListFolderRows gives them, made
// ahead on threads of their own while the caller goes through the folders before. A search of
// the whole store reads every content table; making a row (its sender, subject and "Msg" facts)
// costs more than reading it, and two cores make rows twice as fast as one.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "mailbox/item_extraction.h"
#include "mailbox/sender_memo.h"
#include "mailbox/table_columns.h"

namespace tarvex {

// A folder's rows as its list places them: the rows listed, each with its place (from 0) in
// the list; the places between hold the items a filter turned away, which list as empty rows.
struct PlacedRows {
  std::vector<ItemListRow> rows;
  std::vector<std::uint32_t> places;
  std::size_t list_size = 0;
  bool operator==(const PlacedRows&) const = default;
};

// The rows listed among `rows`, a folder's list with its turned-away items as empty rows.
PlacedRows PlaceListedRows(std::vector<ItemListRow> rows);

class FolderRowsAhead {
 public:
  // Rows made at a time by one thread.
  static constexpr std::uint32_t kDefaultChunkRows = 2048;

  // Starts at once. The rows are read for FolderItemUse::kRowsOnly with `options`, which the
  // threads share: it and what it lends must outlive this, and the model must not change
  // meanwhile.
  FolderRowsAhead(Recovery& recovery, std::span<const TreeNodeHandle> folders,
                  const FolderReadOptions& options, std::uint32_t chunk_rows = kDefaultChunkRows);
  // Stops the threads; what was made ahead is dropped.
  ~FolderRowsAhead();
  FolderRowsAhead(const FolderRowsAhead&) = delete;
  FolderRowsAhead& operator=(const FolderRowsAhead&) = delete;

  // The next folder's rows, in the order the folders were given; none after the last folder, or
  // once the pause gate is cancelled.
  std::optional<PlacedRows> Next();

 private:
  // The rows of one table for one folder: a content table, or the "Msg" rows that a Recovered
  // items folder lists by number.
  struct Source {
    std::size_t folder = 0;
    const ese::Table* table = nullptr;
    TableColumns columns;
    bool by_number = false;
    std::vector<std::uint32_t> numbers;  // the "Msg" rows, when by number
    bool ended = false;                  // the caller met a chunk that ended it (caller's own)
  };
  enum class ChunkState { kWaiting, kTaken, kDone };
  static constexpr std::uint32_t kTurnedAway = UINT32_MAX;
  // A stretch of one source's rows, [first, last) of its records or of its numbers. A source
  // is one chunk until it is taken and its size known, then split in place.
  struct Chunk {
    std::size_t source = 0;
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    bool sized = false;
    ChunkState state = ChunkState::kWaiting;
    // Made: each item's list position and the place of its row (kTurnedAway when a filter
    // turned it away: it lists as an empty row).
    std::vector<int> positions;
    std::vector<std::uint32_t> rows_of_items;
    std::vector<ItemListRow> rows;
    // A row could not be made, or the gate was cancelled: the source ends with this chunk's
    // rows before that one, as one reader going through the table would end it.
    bool ended = false;
  };
  struct Worker;

  void AddSources(TreeNodeHandle folder, std::size_t folder_index);
  void Work(Worker& worker);
  // Under the lock: the first waiting chunk a maker may take now, or null. The caller (not a
  // worker) takes only the chunk it waits for.
  Chunk* TakeNext(std::unique_lock<std::mutex>& lock, std::size_t index_limit);
  // Splits a source's only chunk, just taken, into chunks of at most chunk_rows_.
  void Size(std::unique_lock<std::mutex>& lock, Chunk& chunk);
  // With the reader and sender memo of the thread that makes the chunk.
  void Make(ValueReader& reader, SenderMemo& memo, Chunk& chunk);

  Recovery& recovery_;
  const FolderReadOptions& options_;
  const std::uint32_t chunk_rows_;
  std::size_t folder_count_ = 0;
  std::vector<Source> sources_;
  TableColumns message_columns_;
  SenderMemo caller_memo_;  // the caller's, for the chunks it makes itself

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<Chunk>> chunks_;  // in the folders' order, then the rows'
  std::size_t consumed_ = 0;                    // chunks the caller has taken in
  std::size_t next_folder_ = 0;
  int sizing_ = 0;  // chunks being split, outside the lock
  bool stopping_ = false;
  std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace tarvex
