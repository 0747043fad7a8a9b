#include "mailbox/text_indexes.h"

#include <algorithm>

namespace tarvex {

void KeyPositions::Add(std::u16string_view key, std::size_t position) {
  auto found = positions_.find(key);
  if (found == positions_.end()) {
    found = positions_.emplace(std::u16string(key), std::vector<std::size_t>()).first;
  }
  found->second.push_back(position);
}

const std::vector<std::size_t>* KeyPositions::Find(std::u16string_view key) const {
  const auto found = positions_.find(key);
  return found == positions_.end() ? nullptr : &found->second;
}

void KeyPrefixIndex::Build(std::vector<std::u16string_view> keys) {
  sorted_.clear();
  sorted_.reserve(keys.size());
  for (std::size_t position = 0; position < keys.size(); ++position) {
    sorted_.emplace_back(keys[position], position);
  }
  std::sort(sorted_.begin(), sorted_.end());
  const std::size_t count = sorted_.size();
  newest_.assign(2 * count, 0);
  for (std::size_t i = 0; i < count; ++i) newest_[count + i] = sorted_[i].second;
  for (std::size_t i = count; i-- > 1;) newest_[i] = std::max(newest_[2 * i], newest_[2 * i + 1]);

  // The keys that begin with a key follow it in sorted order. From the back, `chain` holds the
  // entries not yet taken into an earlier key's answer, each with the answer for its own keys.
  newest_for_key_.assign(count, 0);
  std::vector<std::pair<std::size_t, std::size_t>> chain;  // (index in sorted_, newest)
  for (std::size_t i = count; i-- > 0;) {
    const std::u16string_view key = sorted_[i].first;
    std::size_t newest = sorted_[i].second;
    while (!chain.empty() && sorted_[chain.back().first].first.starts_with(key)) {
      newest = std::max(newest, chain.back().second);
      chain.pop_back();
    }
    chain.emplace_back(i, newest);
    newest_for_key_[i] = newest;
  }

  key_slots_.assign(count < (1u << 30) ? 2 * count + 1 : 0, 0);
  for (std::size_t i = 0; i < count && !key_slots_.empty(); ++i) {
    if (i > 0 && sorted_[i - 1].first == sorted_[i].first) continue;
    const std::size_t hash = TextHash()(sorted_[i].first);
    std::size_t slot = hash % key_slots_.size();
    while (key_slots_[slot] != 0) slot = (slot + 1) % key_slots_.size();
    key_slots_[slot] = (static_cast<std::uint64_t>(hash >> 32) << 32) | (i + 1);
  }
}

std::optional<std::size_t> KeyPrefixIndex::IndexOfKey(std::u16string_view key) const {
  if (key_slots_.empty()) return std::nullopt;
  const std::size_t hash = TextHash()(key);
  const std::uint64_t high = static_cast<std::uint64_t>(hash >> 32) << 32;
  for (std::size_t slot = hash % key_slots_.size(); key_slots_[slot] != 0;
       slot = (slot + 1) % key_slots_.size()) {
    if ((key_slots_[slot] & 0xFFFFFFFF00000000u) != high) continue;
    const std::size_t index = (key_slots_[slot] & 0xFFFFFFFFu) - 1;
    if (sorted_[index].first == key) return index;
  }
  return std::nullopt;
}

std::optional<std::size_t> KeyPrefixIndex::NewestBeginningWith(std::u16string_view prefix) const {
  if (const std::optional<std::size_t> index = IndexOfKey(prefix)) return newest_for_key_[*index];
  // The keys that begin with `prefix` follow each other in sorted order, from the first key
  // not less than the prefix itself.
  const auto first = std::lower_bound(
      sorted_.begin(), sorted_.end(), prefix,
      [](const auto& entry, std::u16string_view text) { return entry.first < text; });
  if (first != sorted_.end() && first->first == prefix) {
    return newest_for_key_[static_cast<std::size_t>(first - sorted_.begin())];
  }
  const auto last = std::partition_point(first, sorted_.end(), [prefix](const auto& entry) {
    return entry.first.starts_with(prefix);
  });
  if (first == last) return std::nullopt;
  const std::size_t count = sorted_.size();
  std::size_t low = static_cast<std::size_t>(first - sorted_.begin()) + count;
  std::size_t high = static_cast<std::size_t>(last - sorted_.begin()) + count;
  std::size_t newest = 0;
  while (low < high) {
    if (low % 2 == 1) newest = std::max(newest, newest_[low++]);
    if (high % 2 == 1) newest = std::max(newest, newest_[--high]);
    low /= 2;
    high /= 2;
  }
  return newest;
}

void KeyPrefixIndex::Clear() {
  sorted_.clear();
  newest_.clear();
  newest_for_key_.clear();
  key_slots_.clear();
}

void SubstringKeyIndex::Add(std::u16string_view key, std::size_t position) {
  if (key.empty()) return;
  if (keys_.Find(key) == nullptr) ++keys_of_length_[key.size()];
  keys_.Add(key, position);
}

std::vector<std::size_t> SubstringKeyIndex::PositionsOccurringIn(std::u16string_view text) const {
  // Either look up every piece of the text that has the length of some key, or test every
  // key against the text, whichever reads fewer characters.
  std::size_t piece_cost = 0;
  for (const auto& [length, count] : keys_of_length_) {
    if (length > text.size()) break;
    piece_cost += (text.size() - length + 1) * length;
  }
  const std::size_t walk_cost = keys_.key_count() * (text.size() + 1);

  std::vector<std::size_t> positions;
  auto take = [&positions](const std::vector<std::size_t>& found) {
    positions.insert(positions.end(), found.begin(), found.end());
  };
  if (piece_cost <= walk_cost) {
    for (const auto& [length, count] : keys_of_length_) {
      if (length > text.size()) break;
      for (std::size_t start = 0; start + length <= text.size(); ++start) {
        if (const std::vector<std::size_t>* found = keys_.Find(text.substr(start, length))) {
          take(*found);
        }
      }
    }
  } else {
    keys_.ForEachKey([&](const std::u16string& key, const std::vector<std::size_t>& found) {
      if (text.find(key) != std::u16string_view::npos) take(found);
    });
  }
  // A key that occurs several times still names its records once.
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  return positions;
}

void SubstringKeyIndex::Clear() {
  keys_.Clear();
  keys_of_length_.clear();
}

}  // namespace tarvex
