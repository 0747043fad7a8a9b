#pragma once

// The pages one tree owns, handed out as the engine hands them out, and its space written as
// the engine keeps it.
//
// A tree takes a primary extent when it is made (its root first, then the pages behind it)
// and, once that is used up, further extents from the end of the file: at least 16 pages, or
// an eighth of what it owns already, so that a large tree owns few extents. A tree that never
// left its primary extent keeps its space in its root's header (a bitmap of the free pages
// behind the root). Any other keeps it in two space trees whose roots are the first two pages
// of its second extent: the owned extents, and the available ones (pages never used, and
// pages written and released again). Both are one page each, keyed by the extent's last
// page, big-endian, holding its page count.

#include <cstdint>
#include <vector>

#include "tools/edbforge/ese/page_file.h"

namespace tarvex::edbforge {

struct PageExtent {
  uint32_t first = 0;
  uint32_t count = 0;
  uint32_t last() const { return first + count - 1; }
};

// The space fields of a tree's root header.
struct RootSpace {
  uint32_t primary_pages = 0;
  uint32_t flags = 0;            // ese::root_space_flag
  uint32_t pages_or_bitmap = 0;  // the owned-space tree's root, or the free-page bitmap
};

class TreeSpace {
 public:
  // Takes a primary extent of `primary_pages` pages from the file; its first is the root,
  // handed out already.
  TreeSpace(PageFile& file, uint32_t primary_pages);
  // A primary extent set aside already (the catalogue's, at fixed pages). With
  // `space_trees`, its second and third pages are the space trees' roots from the start.
  TreeSpace(PageFile& file, PageExtent primary, bool space_trees);

  uint32_t root() const { return owned_.front().first; }
  // The next page of the tree's space.
  uint32_t Allocate();
  // Adds pages set aside for this tree elsewhere as an extent of its own.
  void AddExtent(PageExtent extent);
  // Counts every page up to `page` as handed out (the database's own space, whose pages went
  // to the trees).
  void UseThrough(uint32_t page);
  // A page the tree used and gave back: owned, and available again.
  void Release(uint32_t page) { released_.push_back(page); }

  // Writes the space trees, if the tree needs them, and gives the root header's fields.
  // `database_time` stamps the space pages; `tree_flags` (an index's or a long-value tree's
  // page flag) marks them as the tree's own pages are marked.
  RootSpace Finish(uint32_t fdp_object_id, uint64_t database_time, uint32_t tree_flags = 0);

  const std::vector<PageExtent>& owned() const { return owned_; }
  // Available extents, after Finish.
  std::vector<PageExtent> Available() const;

 private:
  void Grow();
  void WriteSpacePage(uint32_t page, uint32_t fdp_object_id, uint64_t database_time,
                      uint32_t tree_flags, const std::vector<PageExtent>& extents) const;

  PageFile& file_;
  std::vector<PageExtent> owned_;  // in page order
  std::vector<uint32_t> used_;     // by extent: its pages handed out, from its first on
  std::vector<uint32_t> released_;
  size_t current_ = 0;  // the extent pages come from
  uint32_t owned_pages_ = 0;
  uint32_t owned_root_ = 0;  // the space trees' roots, once the tree needs them
};

}  // namespace tarvex::edbforge
