#pragma once

// A tree's space as its root and its space trees record it: which of its pages are available,
// owned by the tree but free to be used again. A page released from a tree keeps what was
// written on it until it is used again, so the deep scan takes the records on such pages for
// deleted ones. A tree that never grew past its first extent keeps its free pages as a bitmap
// in its root's header; any other keeps them in its available-space tree.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ese/page_file.h"
#include "ese/page_layout.h"

namespace tarvex::ese {

struct PageRun {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
};

// The available runs of the tree rooted at `root_page`; none when its root's header or its
// available-space tree cannot be read whole.
std::optional<std::vector<PageRun>> ReadAvailableSpace(PageFile& file, const PageLayout& layout,
                                                       std::uint32_t root_page,
                                                       std::uint32_t object_id);

// Available pages of several trees together: added, then sorted once, then asked.
class AvailablePages {
 public:
  void Add(std::span<const PageRun> runs) { runs_.insert(runs_.end(), runs.begin(), runs.end()); }
  void Sort();
  bool Contains(std::uint32_t page) const;

 private:
  std::vector<PageRun> runs_;
};

}  // namespace tarvex::ese
