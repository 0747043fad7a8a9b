#pragma once

// Walks of one B+-tree (a table, a long-value tree, the catalogue): every leaf entry in key
// order, and the search for a key. Pages are checked as they come: a child must belong to the
// tree's object and must not have been seen before (no cycles). A branch page that cannot be
// read does not end the walk: the leaves below it are reached through the sibling links of
// the leaves before it.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "ese/page.h"

namespace tarvex::ese {

// Which leaf entries a walk hands on: the live ones, or also those flagged deleted (which
// the engine leaves on the page until cleanup, for a deep scan).
enum class LeafEntries { kLive, kLiveAndDeleted };

class Tree {
 public:
  Tree(PageFile& file, const PageLayout& layout, std::uint32_t root_page,
       std::uint32_t object_id);

  // Reads (through the cache) and takes apart a page of this tree; none when it cannot be
  // read or parsed, or belongs to another object. Failures are counted in the file's report.
  std::optional<Page> ReadPage(std::uint32_t page_number) const;

  // Hands every live leaf entry (or every one, as `entries` says) to `visit` in key order;
  // `visit` returns false to stop. Returns false when the walk stopped early because of
  // damage (pages skipped are counted).
  bool ForEachLeafEntry(
      const std::function<bool(const Page& page, std::size_t entry_index, const PageEntry& entry)>&
          visit,
      LeafEntries entries = LeafEntries::kLive) const;

  // The first live leaf entry whose key is not below `key`, with the walk forward from there:
  // `visit` sees the entries in key order until it returns false. False when the search could
  // not descend (damaged or unusual branch keys); the caller may then walk the leaves instead.
  bool VisitFrom(std::span<const std::uint8_t> key,
                 const std::function<bool(const Page& page, const PageEntry& entry)>& visit) const;

  // The walk of VisitFrom from a given leaf page on, for callers that found the leaf otherwise.
  bool VisitFromLeaf(std::uint32_t leaf_page, std::span<const std::uint8_t> key,
                     const std::function<bool(const Page& page, const PageEntry& entry)>& visit)
      const;

  std::uint32_t root_page() const { return root_page_; }
  std::uint32_t object_id() const { return object_id_; }
  PageFile& file() const { return file_; }
  const PageLayout& layout() const { return layout_; }

 private:
  PageFile& file_;
  PageLayout layout_;
  std::uint32_t root_page_;
  std::uint32_t object_id_;
};

int CompareKeys(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right);

}  // namespace tarvex::ese
