#pragma once

// The deep scan of one table: the records its tree no longer hands on. The walk of the tree
// tells the salvage what it reached (live keys, live pages, entries flagged deleted); the
// census adds the table's leaves that no walk reaches. A key the tree still holds is the
// engine's current copy, whatever the page times say (a page released by a merge carries the
// time of its release); of the other copies of one key, the one on the newest page wins, and
// the rest are earlier versions, not records of their own.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "ese/page_census.h"
#include "ese/tree.h"

namespace tarvex::ese {

enum class RecordState : std::uint8_t {
  kLive,       // in the table's tree
  kRecovered,  // on a leaf of the table that no walk of its tree reaches any more
  kDeleted,    // flagged deleted, or on a leaf the tree released
};

struct RecordPosition {
  std::uint32_t page = 0;
  std::uint16_t entry = 0;
  RecordState state = RecordState::kLive;
};

// What a scan of one table found.
struct TableRecovery {
  std::uint64_t live = 0;
  std::uint64_t recovered = 0;  // only the deep scan found them
  std::uint64_t deleted = 0;
  std::uint64_t earlier_versions = 0;  // further copies of a key, not counted as records
};

class RecordSalvage {
 public:
  RecordSalvage(const Tree& tree, const PageCensus& census) : tree_(tree), census_(census) {}

  // From the walk: every entry it handed on, live or flagged deleted.
  void NoteWalkEntry(const Page& page, std::size_t index, const PageEntry& entry);

  // The records found beside the walk, after it. `walk_complete` says whether the walk met
  // damage: without damage a leaf it did not reach was released, and its records count as
  // deleted. `plausible` tells a record (of its page's format) from noise.
  std::vector<RecordPosition> Finish(
      bool walk_complete, const std::function<bool(std::span<const std::uint8_t>, RecordFormat)>& plausible,
      TableRecovery& figures);

 private:
  struct Candidate {
    std::vector<std::uint8_t> key;
    std::uint64_t key_hash = 0;
    std::uint64_t time = 0;
    RecordPosition position;
  };
  struct LiveKey {
    std::uint64_t key_hash = 0;
    std::uint32_t page = 0;
    std::uint16_t entry = 0;
  };

  void AddCandidate(const Page& page, std::size_t index, const PageEntry& entry, RecordState state);
  bool HeldByTree(const Candidate& candidate) const;

  const Tree& tree_;
  const PageCensus& census_;
  std::vector<LiveKey> live_;
  std::vector<std::uint32_t> reached_pages_;
  std::vector<Candidate> candidates_;
};

}  // namespace tarvex::ese
