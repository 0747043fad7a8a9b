#include "ese/page_census.h"

#include <algorithm>

#include "ese/byte_order.h"
#include "ese/format.h"
#include "ese/page_checksum.h"

namespace tarvex::ese {
namespace {

// Read in runs of pages rather than one at a time, past the page cache, which a pass over
// the whole file would only flush.
constexpr std::size_t kRunBytes = 4u << 20;

}  // namespace

std::optional<PageCensus> PageCensus::Take(
    PageFile& file, const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress) {
  PageCensus census;
  const PageLayout& layout = file.layout();
  const std::uint32_t page_size = layout.page_size;
  const std::uint64_t total = file.page_count();
  census.counts_.pages = total;
  const std::size_t run_pages = std::max<std::size_t>(1, kRunBytes / page_size);
  std::vector<std::uint8_t> run(run_pages * page_size);
  for (std::uint64_t first = 1; first <= total; first += run_pages) {
    if (progress && !progress(first - 1, total)) return std::nullopt;
    const std::size_t pages =
        static_cast<std::size_t>(std::min<std::uint64_t>(run_pages, total - first + 1));
    const std::span<std::uint8_t> bytes(run.data(), pages * page_size);
    if (!file.ReadRun(static_cast<std::uint32_t>(first), bytes)) {
      census.complete_ = false;
      break;
    }
    for (std::size_t index = 0; index < pages; ++index) {
      const auto number = static_cast<std::uint32_t>(first + index);
      const std::span<const std::uint8_t> page = bytes.subspan(index * page_size, page_size);
      if (IsZeroPage(page)) {
        ++census.counts_.empty_pages;
        continue;
      }
      const bool matches = PageChecksumMatches(layout, number, page);
      if (!matches) ++census.counts_.damaged_pages;
      const std::uint32_t flags = LoadLe32(page.data() + page_header::kFlags);
      if ((flags & page_flag::kLeaf) == 0 || (flags & page_flag::kSpaceTree) != 0) continue;
      ++census.counts_.leaf_pages;
      census.leaves_.push_back({LoadLe64(page.data() + page_header::kDatabaseTime), number,
                                LoadLe32(page.data() + page_header::kFatherObjectId), flags,
                                matches});
    }
  }
  if (progress) progress(total, total);
  std::sort(census.leaves_.begin(), census.leaves_.end(),
            [](const CensusPage& left, const CensusPage& right) {
              return left.object_id != right.object_id ? left.object_id < right.object_id
                                                       : left.number < right.number;
            });
  census.leaves_.shrink_to_fit();
  return census;
}

std::span<const CensusPage> PageCensus::LeavesOf(std::uint32_t object_id) const {
  const auto begin = std::partition_point(
      leaves_.begin(), leaves_.end(),
      [object_id](const CensusPage& page) { return page.object_id < object_id; });
  const auto end = std::partition_point(begin, leaves_.end(), [object_id](const CensusPage& page) {
    return page.object_id == object_id;
  });
  return {begin, end};
}

}  // namespace tarvex::ese
