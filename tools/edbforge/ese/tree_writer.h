#pragma once

// A B+-tree written in one pass: entries arrive in ascending key order, leaves are filled and
// written as they overflow, and each level passes its finished pages up to the next, so memory
// stays at about one page per level however large the tree grows.
//
// Branch entries carry the last key of their child; the last entry of the rightmost page of
// each level carries an empty key, which the reader takes as "everything above".
//
// Leaves keep a key in tag 0 that their entries share as a common prefix where they have more
// than two bytes in common with it, as the engine's do: on a record tree every leaf but the
// first (which the engine fills as the root, before its first split) takes its first key; on a
// long-value tree every leaf takes the key of its first segment. A root page has no prefix.
//
// Long-value trees are laid out as the engine lays them out (kEngineLongValues), or on request
// for libesedb 20181229 (kLongValues), which takes a page key from the first bytes of the page
// value (size field included) instead of from behind the size field, and then searches long
// values by those keys:
// - their leaves hold one chain of keys each (a long value's header and first segment, or one
//   further segment), stored whole as the page's common key, so that the local key is empty;
// - their branch keys are written so that the bytes the reader takes (size field first) spell
//   the separator: the key size equals the separator's first byte, its second byte is zero, and
//   the stored key continues with the separator's remaining bytes (see LongValueId);
// - the root is never a leaf, because the reader refuses common keys on a root page.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ese/format.h"
#include "tools/edbforge/ese/page_file.h"
#include "tools/edbforge/ese/tree_space.h"

namespace tarvex::edbforge {

// kEngineLongValues lays a long-value tree out as the engine does (keys as they are, common key
// compression unused), which libesedb 20181229 cannot search; kLongValues as described above.
// kIndex is a secondary index: entries of index key and the record's key, on pages flagged
// as an index's.
enum class TreeKind { kRecords, kLongValues, kEngineLongValues, kIndex };

class TreeWriter {
 public:
  // The tree's pages come from `space`, whose first page is the root. `place` names the tree
  // in error messages.
  TreeWriter(PageFile& file, uint32_t fdp_object_id, TreeKind kind, TreeSpace space,
             std::string place);

  // Keys must rise strictly (in an index of repeated keys, an equal key with rising data).
  // `tag_flags` may mark the entry deleted (ese::tag_flag::kDeleted), as the engine leaves
  // deleted records on their page until cleanup. `keep_with_next` moves the entry to the next
  // page with the entry after it when that one does not fit beside it, as the engine keeps a
  // long value's root with its first segment.
  void Append(std::span<const uint8_t> key, std::span<const uint8_t> data, uint8_t tag_flags = 0,
              bool keep_with_next = false);
  // Writes the remaining pages; returns the root page number.
  uint32_t Finish();

  // The root page of the tree this one belongs to (a table for its long values).
  void set_parent_page(uint32_t page) { parent_page_ = page; }
  // An index whose keys may repeat (each entry's record key tells them apart).
  void set_non_unique_keys() { non_unique_keys_ = true; }
  // A page of the tree's space for the caller to write (a page released to free space, which
  // the tree's space then lists as available).
  uint32_t AllocateReleasedPage();
  uint32_t root_page() const { return space_.root(); }
  const TreeSpace& space() const { return space_; }

  uint64_t entry_count() const { return entry_count_; }
  // After Finish: the leaf page that holds `key`'s entry (the last leaf whose first key is not
  // above it); none for an empty tree.
  std::optional<uint32_t> LeafPageOf(std::span<const uint8_t> key) const;
  uint32_t page_count() const { return page_count_; }
  // The largest data part of a record-tree leaf entry with a key of `key_size` bytes.
  static size_t MaxDataSize(const PageFormat& format, size_t key_size);

 private:
  struct Entry {
    std::vector<uint8_t> key;
    std::vector<uint8_t> data;  // leaf data, or the child page number of a branch entry
    uint8_t tag_flags = 0;
    bool keep_with_next = false;
  };
  struct PendingPage {
    std::vector<Entry> entries;
    std::vector<uint8_t> prefix;  // leaves: the key in tag 0
    size_t bytes = 0;  // encoded entries, tags included
    size_t plain_bytes = 0;  // the same without common prefixes, as a root holds them
    uint32_t page_number = 0;  // given when the page takes its first entry
  };
  struct Level {
    PendingPage current;
    bool has_written_page = false;
  };
  struct CompletedLeaf {
    PendingPage page;
    uint32_t page_number = 0;
    uint32_t previous_page = 0;
  };

  size_t EncodedSize(size_t level, const Entry& entry, std::span<const uint8_t> prefix) const;
  // The key a leaf beginning with `first_key` keeps in tag 0 (empty: none).
  std::vector<uint8_t> LeafPrefix(std::span<const uint8_t> first_key) const;
  // Whether the current leaf is the tree's first, which may yet become its root.
  bool FirstLeaf() const { return !levels_[0].has_written_page && levels_.size() == 1; }
  bool Accepts(size_t level, const PendingPage& page, const Entry& entry) const;
  void AddToLevel(size_t level, Entry entry);
  void PlaceEntry(size_t level, Entry entry);
  // Closes the current page of `level` (not the root) and hands it to the level above.
  void CloseLevelPage(size_t level, bool rightmost);
  void WritePage(size_t level, uint32_t page_number, uint32_t previous, uint32_t next,
                 const PendingPage& page, bool root);

  PageFile& file_;
  uint32_t fdp_object_id_;
  TreeKind kind_;
  TreeSpace space_;
  std::string place_;
  std::vector<Level> levels_;
  std::optional<CompletedLeaf> pending_leaf_;
  std::vector<uint8_t> previous_key_;
  std::vector<uint8_t> previous_data_;
  uint64_t entry_count_ = 0;
  uint32_t page_count_ = 0;
  std::vector<std::pair<std::vector<uint8_t>, uint32_t>> leaf_first_keys_;  // in key order
  uint32_t parent_page_ = ese::kDatabaseRootPage;
  bool finished_ = false;
  bool non_unique_keys_ = false;
  RootSpace root_space_;
};

// The page time the writer gives the pages of live trees; pages written as released to free
// space carry an older one, as a page freed before the last changes does.
inline constexpr uint64_t kLivePageTime = 2;
inline constexpr uint64_t kReleasedPageTime = 1;

// The long-value identifier of the n-th long value (from 0) of a table. Its big-endian form
// starts with a byte of at least 8 and a zero byte, which the branch keys of the long-value
// tree need (see above); 16 million values fit a table.
uint32_t LongValueId(uint32_t index);

}  // namespace tarvex::edbforge
