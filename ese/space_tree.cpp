#include "ese/space_tree.h"

#include <algorithm>

#include "ese/byte_order.h"
#include "ese/format.h"
#include "ese/tree.h"

namespace tarvex::ese {
namespace {

// The root header: the value of tag 0 of a root page.
std::optional<std::span<const std::uint8_t>> RootHeader(const PageLayout& layout,
                                                        const std::vector<std::uint8_t>& page) {
  if (page.size() != layout.page_size || page.size() < layout.HeaderSize() + page_tag::kSize) {
    return std::nullopt;
  }
  const std::uint16_t mask = layout.Large() ? page_tag::kLargePageMask : page_tag::kSmallPageMask;
  const std::uint8_t* tag = page.data() + page.size() - page_tag::kSize;
  const std::size_t size = LoadLe16(tag + page_tag::kValueSize) & mask;
  const std::size_t offset = layout.HeaderSize() + (LoadLe16(tag + page_tag::kValueOffset) & mask);
  if (size < kRootHeaderSize || offset + size > page.size() - page_tag::kSize) return std::nullopt;
  return std::span<const std::uint8_t>(page.data() + offset, size);
}

}  // namespace

std::optional<std::vector<PageRun>> ReadAvailableSpace(PageFile& file, const PageLayout& layout,
                                                       std::uint32_t root_page,
                                                       std::uint32_t object_id) {
  if (root_page == 0 || root_page > file.page_count()) return std::nullopt;
  const PageBytes bytes = file.Read(root_page);
  if (!bytes) return std::nullopt;
  const std::vector<std::uint8_t>& page = *bytes;
  if (page.size() < layout.HeaderSize() ||
      LoadLe32(page.data() + page_header::kFatherObjectId) != object_id ||
      (LoadLe32(page.data() + page_header::kFlags) & page_flag::kRoot) == 0) {
    return std::nullopt;
  }
  const auto header = RootHeader(layout, page);
  if (!header) return std::nullopt;
  const std::uint32_t flags = LoadLe32(header->data() + root_header::kSpaceFlags);
  const std::uint32_t field = LoadLe32(header->data() + root_header::kOwnedSpaceRoot);
  std::vector<PageRun> available;
  if ((flags & root_space_flag::kMultipleExtents) == 0) {
    // One extent: bit n stands for the page n + 1 behind the root.
    for (std::uint32_t bit = 0; bit < 32; ++bit) {
      if ((field & (1u << bit)) == 0) continue;
      const std::uint32_t free_page = root_page + 1 + bit;
      if (!available.empty() && available.back().last + 1 == free_page) {
        available.back().last = free_page;
      } else {
        available.push_back({free_page, free_page});
      }
    }
    return available;
  }
  if (field == 0 || field >= 0xfffffffeU) return std::nullopt;
  const Tree space(file, layout, field + 1, object_id);
  bool sound = true;
  const bool walked =
      space.ForEachLeafEntry([&](const Page& leaf, std::size_t, const PageEntry& entry) {
        if (!leaf.IsSpaceTree() || entry.key.size() != space_entry::kKeySize ||
            entry.data.size() < space_entry::kPageCountSize) {
          sound = false;
          return false;
        }
        const std::uint32_t last = LoadBe32(entry.key.data());
        const std::uint32_t count = LoadLe32(entry.data.data());
        if (count == 0) return true;
        if (count > last) {
          sound = false;
          return false;
        }
        available.push_back({last - count + 1, last});
        return true;
      });
  if (!walked || !sound) return std::nullopt;
  return available;
}

void AvailablePages::Sort() {
  std::sort(runs_.begin(), runs_.end(),
            [](const PageRun& left, const PageRun& right) { return left.first < right.first; });
  // Overlaps (a crafted file's) merge, so that one run answers for each page.
  std::vector<PageRun> merged;
  for (const PageRun& run : runs_) {
    if (!merged.empty() && run.first <= merged.back().last) {
      merged.back().last = std::max(merged.back().last, run.last);
    } else {
      merged.push_back(run);
    }
  }
  runs_ = std::move(merged);
}

bool AvailablePages::Contains(std::uint32_t page) const {
  // The runs are sorted and apart: the last one starting at or before the page decides.
  auto after =
      std::upper_bound(runs_.begin(), runs_.end(), page,
                       [](std::uint32_t wanted, const PageRun& run) { return wanted < run.first; });
  return after != runs_.begin() && std::prev(after)->last >= page;
}

}  // namespace tarvex::ese
