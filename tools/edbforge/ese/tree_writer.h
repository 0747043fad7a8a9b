#pragma once

// A B+-tree written in one pass: entries arrive in ascending key order, leaves are filled and
// written as they overflow, and each level passes its finished pages up to the next, so memory
// stays at about one page per level however large the tree grows.
//
// Branch entries carry the last key of their child; the last entry of the rightmost page of
// each level carries an empty key, which the reader takes as "everything above".

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/edbforge/ese/page_file.h"

namespace tarvex::edbforge {

class TreeWriter {
 public:
  // `extra_flags` marks the kind of tree (long-value pages); `fixed_root` pins the root page
  // (the catalog's roots have known numbers). `place` names the tree in error messages.
  TreeWriter(PageFile& file, uint32_t fdp_object_id, uint32_t extra_flags,
             std::optional<uint32_t> fixed_root, std::string place);

  // Keys must rise strictly.
  void Append(std::span<const uint8_t> key, std::span<const uint8_t> data);
  // Writes the remaining pages; returns the root page number.
  uint32_t Finish();

  // The root page of the tree this one belongs to (a table for its long values).
  void set_parent_page(uint32_t page) { parent_page_ = page; }

  uint64_t entry_count() const { return entry_count_; }
  uint32_t page_count() const { return page_count_; }
  // The largest data part of a leaf entry with a key of `key_size` bytes.
  static size_t MaxDataSize(const PageFormat& format, size_t key_size);

 private:
  struct PendingPage {
    std::vector<std::vector<uint8_t>> values;  // encoded entries, tag 0 not included
    std::vector<uint8_t> last_key;
    size_t bytes = 0;
  };
  struct Level {
    PendingPage current;
    bool has_written_page = false;
  };
  struct CompletedLeaf {
    std::vector<std::vector<uint8_t>> values;
    uint32_t page_number = 0;
    uint32_t previous_page = 0;
  };

  bool Fits(const PendingPage& page, size_t entry_size) const;
  void AddToLevel(size_t level, std::vector<uint8_t> key, std::vector<uint8_t> entry);
  // Closes the current page of `level` (not the root) and hands it to the level above.
  void CloseLevelPage(size_t level, bool rightmost);
  void WriteLeaf(CompletedLeaf& leaf, uint32_t next_page);
  void WritePage(uint32_t page_number, uint32_t flags, uint32_t previous, uint32_t next,
                 std::vector<std::vector<uint8_t>>& values, bool root);

  PageFile& file_;
  uint32_t fdp_object_id_;
  uint32_t extra_flags_;
  std::optional<uint32_t> fixed_root_;
  std::string place_;
  std::vector<Level> levels_;
  std::optional<CompletedLeaf> pending_leaf_;
  std::vector<uint8_t> previous_key_;
  uint64_t entry_count_ = 0;
  uint32_t page_count_ = 0;
  uint32_t parent_page_ = kDatabaseRootPage;
  bool finished_ = false;
};

// Branch entry encoding helper, visible for tests: key size, key, child page.
std::vector<uint8_t> EncodeBranchEntry(std::span<const uint8_t> key, uint32_t child_page);

}  // namespace tarvex::edbforge
