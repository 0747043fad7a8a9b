#pragma once

// Lookups by identifier text that answer what a walk over a list would, without the walk:
// records are named by their position in the list, counted from the oldest (0) upward.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarvex {

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view text) const {
    return std::hash<std::u16string_view>()(text);
  }
};

// The positions of the records that carry each key, oldest first.
class KeyPositions {
 public:
  // Positions must be added in increasing order.
  void Add(std::u16string_view key, std::size_t position);
  // Null when no record carries the key.
  const std::vector<std::size_t>* Find(std::u16string_view key) const;
  std::size_t key_count() const { return positions_.size(); }
  void Clear() { positions_.clear(); }

  template <typename Visit>
  void ForEachKey(Visit&& visit) const {
    for (const auto& [key, positions] : positions_) visit(key, positions);
  }

 private:
  std::unordered_map<std::u16string, std::vector<std::size_t>, TextHash, std::equal_to<>>
      positions_;
};

// Which record is the newest whose key begins with a given text. Built at once from all keys;
// answers in logarithmic time also for short texts that begin many keys. It keeps views of the
// keys, not copies (a million message ids): the texts must outlive the index or its next Build.
class KeyPrefixIndex {
  // Every distinct key by its hash (open addressing), so that finding a key takes no search.
  // Keys of up to 16 lower-case hexadecimal digits (identifiers: nearly all keys) are held in
  // the slot itself with their answer, and are found without reading any key text; the
  // others by their index in `sorted_`.
  struct KeySlot {
    std::uint64_t key = 0;    // the digits' value, or the key's hash
    std::uint32_t tag = 0;    // kSlotUsed | kSlotDigits | the number of digits
    std::uint32_t value = 0;  // the answer (digits) or the index in `sorted_`
  };

 public:
  // A look-up begun (Begin): its key's slot found and asked for from memory, for a caller with
  // other work to do before it finishes the look-up; a million look-ups each wait for memory.
  // It views the prefix it was begun with.
  class Lookup {
    friend class KeyPrefixIndex;
    std::u16string_view prefix_;
    KeySlot wanted_;
    std::size_t first_slot_ = 0;
    std::size_t slot_count_ = 0;  // the slots it was begun for; another count begins it again
  };

  // `keys[p]` is the key of the record at position p.
  void Build(std::vector<std::u16string_view> keys);
  std::optional<std::size_t> NewestBeginningWith(std::u16string_view prefix) const {
    return NewestBeginningWith(Begin(prefix));
  }
  Lookup Begin(std::u16string_view prefix) const;
  std::optional<std::size_t> NewestBeginningWith(const Lookup& lookup) const;
  std::size_t size() const { return sorted_.size(); }
  void Clear();

 private:
  std::vector<std::pair<std::u16string_view, std::size_t>> sorted_;  // by key, then position
  std::vector<std::size_t> newest_;  // a max tree over the positions of `sorted_`
  // A prefix is most often a key itself (an item's id asks for its own message): the answer
  // for each key of `sorted_`, so that finding the key is all the search there is.
  std::vector<std::size_t> newest_for_key_;
  static constexpr std::uint32_t kSlotUsed = 1u << 31;
  static constexpr std::uint32_t kSlotDigits = 1u << 30;
  std::vector<KeySlot> key_slots_;
  // The key and tag of `key`'s slot.
  static KeySlot SlotFor(std::u16string_view key);
  // Where the search for `wanted`'s slot starts.
  std::size_t FirstSlot(const KeySlot& wanted) const;
  // The slot that holds `key` (`wanted` = SlotFor(key)), or the empty slot where it would go;
  // the search starts at `first` (FirstSlot(wanted)).
  std::size_t SlotOf(const KeySlot& wanted, std::u16string_view key, std::size_t first) const;
};

// Which records have a key that occurs somewhere inside a given text. Empty keys occur in no
// text here: they name nothing.
class SubstringKeyIndex {
 public:
  void Add(std::u16string_view key, std::size_t position);
  // The positions, oldest first, of every record whose key occurs in `text`.
  std::vector<std::size_t> PositionsOccurringIn(std::u16string_view text) const;
  void Clear();

 private:
  KeyPositions keys_;
  std::map<std::size_t, std::size_t> keys_of_length_;  // key length -> distinct keys
};

}  // namespace tarvex
