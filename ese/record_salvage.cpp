#include "ese/record_salvage.h"

#include <algorithm>
#include <string_view>

#include "ese/format.h"

namespace tarvex::ese {
namespace {

std::uint64_t KeyHash(std::span<const std::uint8_t> key) {
  return std::hash<std::string_view>()(
      std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
}

}  // namespace

void RecordSalvage::NoteWalkEntry(const Page& page, std::size_t index, const PageEntry& entry) {
  if (reached_pages_.empty() || reached_pages_.back() != page.number()) {
    reached_pages_.push_back(page.number());
  }
  if (entry.deleted()) {
    AddCandidate(page, index, entry, RecordState::kDeleted);
    return;
  }
  live_.push_back({KeyHash(entry.key), page.number(), static_cast<std::uint16_t>(index)});
}

void RecordSalvage::AddCandidate(const Page& page, std::size_t index, const PageEntry& entry,
                                 RecordState state) {
  candidates_.push_back({entry.key,
                         KeyHash(entry.key),
                         page.database_time(),
                         {page.number(), static_cast<std::uint16_t>(index), state}});
}

bool RecordSalvage::HeldByTree(const Candidate& candidate) const {
  auto live =
      std::lower_bound(live_.begin(), live_.end(), candidate.key_hash,
                       [](const LiveKey& key, std::uint64_t hash) { return key.key_hash < hash; });
  // Equal hashes are checked against the live entry's key itself.
  for (; live != live_.end() && live->key_hash == candidate.key_hash; ++live) {
    const std::optional<Page> page = tree_.ReadPage(live->page);
    const std::optional<PageEntry> entry = page ? page->Entry(live->entry) : std::nullopt;
    if (entry && entry->key == candidate.key) return true;
  }
  return false;
}

std::vector<RecordPosition> RecordSalvage::Finish(
    bool walk_complete,
    const std::function<bool(std::span<const std::uint8_t>, RecordFormat)>& plausible,
    TableRecovery& figures, const std::unordered_set<std::string>* indexed_keys) {
  figures.live = live_.size();
  std::sort(reached_pages_.begin(), reached_pages_.end());
  for (const CensusPage& leaf : census_.LeavesOf(tree_.object_id())) {
    if ((leaf.flags & (page_flag::kLongValue | page_flag::kIndex)) != 0) continue;
    if (std::binary_search(reached_pages_.begin(), reached_pages_.end(), leaf.number)) continue;
    // A page that no tree vouches for must vouch for itself: noise can look like a header.
    if (!leaf.checksum_matches) continue;
    const std::optional<Page> page = tree_.ReadPage(leaf.number);
    if (!page || !page->IsLeaf()) continue;
    const bool released =
        (leaf.flags & page_flag::kEmpty) != 0 ||
        (available_ != nullptr ? available_->Contains(leaf.number) : walk_complete);
    for (std::size_t index = 0; index < page->entry_count(); ++index) {
      const std::optional<PageEntry> entry = page->Entry(index);
      if (!entry) continue;
      const bool maybe_live =
          !walk_complete && (indexed_keys == nullptr || indexed_keys->contains(std::string(
                                                            entry->key.begin(), entry->key.end())));
      AddCandidate(*page, index, *entry,
                   entry->deleted() || (released && !maybe_live) ? RecordState::kDeleted
                                                                 : RecordState::kRecovered);
    }
  }
  reached_pages_ = {};
  std::sort(live_.begin(), live_.end(), [](const LiveKey& left, const LiveKey& right) {
    return left.key_hash < right.key_hash;
  });
  // Copies of one key together, the newest first.
  std::sort(candidates_.begin(), candidates_.end(),
            [](const Candidate& left, const Candidate& right) {
              if (left.key_hash != right.key_hash) return left.key_hash < right.key_hash;
              if (left.key != right.key) return left.key < right.key;
              return left.time > right.time;
            });
  std::vector<RecordPosition> found;
  for (std::size_t index = 0; index < candidates_.size(); ++index) {
    const Candidate& candidate = candidates_[index];
    const bool newest = index == 0 || candidates_[index - 1].key != candidate.key;
    if (!newest || HeldByTree(candidate)) {
      ++figures.earlier_versions;
      continue;
    }
    const std::optional<Page> page = tree_.ReadPage(candidate.position.page);
    const std::optional<PageEntry> entry =
        page ? page->Entry(candidate.position.entry) : std::nullopt;
    if (!entry || !plausible(entry->data, page->record_format())) continue;
    found.push_back(candidate.position);
    ++(candidate.position.state == RecordState::kDeleted ? figures.deleted : figures.recovered);
  }
  candidates_ = {};
  live_ = {};
  // Read back in file order.
  std::sort(found.begin(), found.end(),
            [](const RecordPosition& left, const RecordPosition& right) {
              return left.page != right.page ? left.page < right.page : left.entry < right.entry;
            });
  return found;
}

}  // namespace tarvex::ese
