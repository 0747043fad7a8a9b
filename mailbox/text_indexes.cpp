#include "mailbox/text_indexes.h"

#include <algorithm>
#include <tuple>

namespace tarvex {
namespace {

// The value and number of the digits of a text of 1 to 16 lower-case hexadecimal digits.
std::optional<std::pair<std::uint64_t, std::uint32_t>> HexDigits(std::u16string_view text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (char16_t unit : text) {
    std::uint64_t digit = 0;
    if (unit >= u'0' && unit <= u'9') {
      digit = unit - u'0';
    } else if (unit >= u'a' && unit <= u'f') {
      digit = unit - u'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return std::pair{value, static_cast<std::uint32_t>(text.size())};
}

// Spreads the bits of a key over the slots (the finalizer of MurmurHash3).
std::uint64_t Mixed(std::uint64_t value) {
  value ^= value >> 33;
  value *= 0xff51afd7ed558ccdULL;
  value ^= value >> 33;
  value *= 0xc4ceb9fe1a85ec53ULL;
  return value ^ (value >> 33);
}

}  // namespace

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
  // Sorted by key, then position. Keys of hexadecimal digits (nearly all) compare as their
  // digits' value aligned left, then their length: the order of their texts, found without
  // reading the texts.
  struct Entry {
    std::u16string_view key;
    std::size_t position;
    std::uint64_t aligned;
    std::uint32_t digits;  // 0: not a key of digits
  };
  std::vector<Entry> entries;
  entries.reserve(keys.size());
  for (std::size_t position = 0; position < keys.size(); ++position) {
    const std::optional<std::pair<std::uint64_t, std::uint32_t>> digits = HexDigits(keys[position]);
    entries.push_back({keys[position], position,
                       digits ? digits->first << (4 * (16 - digits->second)) : 0,
                       digits ? digits->second : 0});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.digits != 0 && b.digits != 0) {
      return std::tie(a.aligned, a.digits, a.position) < std::tie(b.aligned, b.digits, b.position);
    }
    return std::tie(a.key, a.position) < std::tie(b.key, b.position);
  });
  sorted_.clear();
  sorted_.reserve(entries.size());
  for (const Entry& entry : entries) sorted_.emplace_back(entry.key, entry.position);
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

  // About two slots for three keys; answers and indexes fit 32 bits below that size.
  key_slots_.assign(count < (1u << 30) ? count + count / 2 + 1 : 0, KeySlot{});
  for (std::size_t i = 0; i < count && !key_slots_.empty(); ++i) {
    if (i > 0 && sorted_[i - 1].first == sorted_[i].first) continue;
    KeySlot slot = SlotFor(sorted_[i].first);
    const std::size_t at = SlotOf(slot, sorted_[i].first, FirstSlot(slot));
    slot.value = static_cast<std::uint32_t>((slot.tag & kSlotDigits) ? newest_for_key_[i] : i);
    key_slots_[at] = slot;
  }
}

KeyPrefixIndex::KeySlot KeyPrefixIndex::SlotFor(std::u16string_view key) {
  const std::optional<std::pair<std::uint64_t, std::uint32_t>> digits = HexDigits(key);
  return {.key = digits ? digits->first : TextHash()(key),
          .tag = kSlotUsed | (digits ? kSlotDigits | digits->second : 0)};
}

std::size_t KeyPrefixIndex::FirstSlot(const KeySlot& wanted) const {
  // The high half of the mixed bits scaled to the number of slots (below 2^32): a
  // multiplication, where a remainder would divide at every look-up.
  return ((Mixed(wanted.key ^ wanted.tag) >> 32) * key_slots_.size()) >> 32;
}

std::size_t KeyPrefixIndex::SlotOf(const KeySlot& wanted, std::u16string_view key,
                                   std::size_t first) const {
  const std::size_t count = key_slots_.size();
  std::size_t slot = first;
  for (; key_slots_[slot].tag != 0; slot = slot + 1 == count ? 0 : slot + 1) {
    const KeySlot& held = key_slots_[slot];
    if (held.key != wanted.key || held.tag != wanted.tag) continue;
    if ((wanted.tag & kSlotDigits) || sorted_[held.value].first == key) break;
  }
  return slot;
}

KeyPrefixIndex::Lookup KeyPrefixIndex::Begin(std::u16string_view prefix) const {
  Lookup lookup;
  lookup.prefix_ = prefix;
  lookup.wanted_ = SlotFor(prefix);
  lookup.slot_count_ = key_slots_.size();
  if (!key_slots_.empty()) {
    lookup.first_slot_ = FirstSlot(lookup.wanted_);
    __builtin_prefetch(&key_slots_[lookup.first_slot_]);
  }
  return lookup;
}

std::optional<std::size_t> KeyPrefixIndex::NewestBeginningWith(const Lookup& lookup) const {
  if (lookup.slot_count_ != key_slots_.size()) return NewestBeginningWith(Begin(lookup.prefix_));
  const std::u16string_view prefix = lookup.prefix_;
  if (!key_slots_.empty()) {
    const KeySlot& slot = key_slots_[SlotOf(lookup.wanted_, prefix, lookup.first_slot_)];
    if (slot.tag & kSlotDigits) return slot.value;
    if (slot.tag != 0) return newest_for_key_[slot.value];
  }
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
