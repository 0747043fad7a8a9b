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
#include <string>
#include <unordered_set>
#include <vector>

#include "ese/page_census.h"
#include "ese/space_tree.h"
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
  // `available` holds the pages the space trees call available, when the table's space could
  // be read; without it, release is inferred from the walk (see Finish).
  RecordSalvage(const Tree& tree, const PageCensus& census, const AvailablePages* available)
      : tree_(tree), census_(census), available_(available) {}

  // From the walk: every entry it handed on, live or flagged deleted.
  void NoteWalkEntry(const Page& page, std::size_t index, const PageEntry& entry);

  // The records found beside the walk, after it. A leaf the walk did not reach was released
  // when the space trees call it available (or, when they cannot be read, when the walk met
  // no damage), and its records count as deleted; else it was cut off by damage, and its
  // records are recovered. When the walk met damage, a record on a released leaf may be the
  // only copy left of a live record whose page was lost: it counts as deleted only when
  // `indexed_keys` (the record keys an index of the table lists whole) leaves its key out.
  // `plausible` tells a record (of its page's format) from noise.
  std::vector<RecordPosition> Finish(
      bool walk_complete, const std::function<bool(std::span<const std::uint8_t>, RecordFormat)>& plausible,
      TableRecovery& figures, const std::unordered_set<std::string>* indexed_keys = nullptr);

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
  const AvailablePages* available_;
  std::vector<LiveKey> live_;
  std::vector<std::uint32_t> reached_pages_;
  std::vector<Candidate> candidates_;
};

}  // namespace tarvex::ese
