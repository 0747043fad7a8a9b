#include "tools/edbforge/ese/tree_space.h"

#include <algorithm>
#include <string>

#include "ese/byte_order.h"
#include "ese/format.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

constexpr uint32_t kSmallestExtent = 16;
// The free-page bitmap of a single extent covers the 32 pages behind the root.
constexpr uint32_t kBitmapPages = 32;

}  // namespace

TreeSpace::TreeSpace(PageFile& file, uint32_t primary_pages) : file_(file) {
  if (primary_pages == 0 || primary_pages > kBitmapPages + 1) {
    throw EseWriteError("a primary extent of " + std::to_string(primary_pages) + " pages");
  }
  owned_.push_back({file_.AllocateExtent(primary_pages), primary_pages});
  used_.push_back(1);  // the root
  owned_pages_ = primary_pages;
}

TreeSpace::TreeSpace(PageFile& file, PageExtent primary, bool space_trees) : file_(file) {
  owned_.push_back(primary);
  used_.push_back(1);  // the root
  owned_pages_ = primary.count;
  if (space_trees) {
    owned_root_ = primary.first + 1;
    used_.back() = 3;  // the root, then the two space trees
  }
}

uint32_t TreeSpace::Allocate() {
  for (; current_ < owned_.size(); ++current_) {
    if (used_[current_] < owned_[current_].count) {
      return owned_[current_].first + used_[current_]++;
    }
  }
  Grow();
  return Allocate();
}

void TreeSpace::Grow() {
  const uint32_t pages = std::max(kSmallestExtent, owned_pages_ / 8);
  AddExtent({file_.AllocateExtent(pages), pages});
}

void TreeSpace::AddExtent(PageExtent extent) {
  if (extent.count == 0) return;
  owned_.push_back(extent);
  used_.push_back(0);
  owned_pages_ += extent.count;
  // Leaving the primary extent, the tree's space moves into space trees of its own.
  if (owned_root_ == 0) {
    if (extent.count < 2) throw EseWriteError("an extent too small for the space trees");
    owned_root_ = extent.first;
    used_.back() = 2;
  }
}

void TreeSpace::UseThrough(uint32_t page) {
  for (size_t index = 0; index < owned_.size(); ++index) {
    const PageExtent& extent = owned_[index];
    if (page < extent.first) break;
    used_[index] = std::max(used_[index], std::min(page, extent.last()) - extent.first + 1);
  }
}

std::vector<PageExtent> TreeSpace::Available() const {
  std::vector<uint32_t> released = released_;
  std::sort(released.begin(), released.end());
  std::vector<PageExtent> available;
  auto add = [&](uint32_t page, const PageExtent& owner) {
    // Runs of free pages join within their owned extent.
    if (!available.empty() && available.back().last() + 1 == page &&
        available.back().first >= owner.first) {
      ++available.back().count;
    } else {
      available.push_back({page, 1});
    }
  };
  auto next_released = released.begin();
  for (size_t index = 0; index < owned_.size(); ++index) {
    const PageExtent& extent = owned_[index];
    const uint32_t free_from = extent.first + used_[index];
    for (; next_released != released.end() && *next_released < free_from; ++next_released) {
      if (*next_released >= extent.first) add(*next_released, extent);
    }
    if (free_from <= extent.last()) {
      if (!available.empty() && available.back().last() + 1 == free_from &&
          available.back().first >= extent.first) {
        available.back().count += extent.last() - free_from + 1;
      } else {
        available.push_back({free_from, extent.last() - free_from + 1});
      }
    }
  }
  return available;
}

RootSpace TreeSpace::Finish(uint32_t fdp_object_id, uint64_t database_time, uint32_t tree_flags) {
  RootSpace space;
  space.primary_pages = owned_.front().count;
  if (owned_root_ == 0) {
    for (const PageExtent& extent : Available()) {
      for (uint32_t page = extent.first; page <= extent.last(); ++page) {
        space.pages_or_bitmap |= 1u << (page - root() - 1);
      }
    }
    return space;
  }
  space.flags = ese::root_space_flag::kMultipleExtents;
  space.pages_or_bitmap = owned_root_;
  std::vector<PageExtent> owned = owned_;
  std::sort(owned.begin(), owned.end(), [](const PageExtent& left, const PageExtent& right) {
    return left.first < right.first;
  });
  WriteSpacePage(owned_root_, fdp_object_id, database_time, tree_flags, owned);
  WriteSpacePage(owned_root_ + 1, fdp_object_id, database_time, tree_flags, Available());
  return space;
}

void TreeSpace::WriteSpacePage(uint32_t page, uint32_t fdp_object_id, uint64_t database_time,
                               uint32_t tree_flags, const std::vector<PageExtent>& extents) const {
  const PageFormat& format = file_.format();
  std::vector<std::vector<uint8_t>> values;
  values.emplace_back(ese::kRootHeaderSize, 0);
  size_t bytes = PageBytesNeeded(ese::kRootHeaderSize, 1);
  for (const PageExtent& extent : extents) {
    std::vector<uint8_t> entry;
    ese::AppendLe16(entry, ese::space_entry::kKeySize);
    ese::AppendBe32(entry, extent.last());
    ese::AppendLe32(entry, extent.count);
    bytes += PageBytesNeeded(entry.size(), 1);
    values.push_back(std::move(entry));
  }
  if (bytes > format.DataArea()) {
    throw EseWriteError("object " + std::to_string(fdp_object_id) + " has more than a page of " +
                        std::to_string(extents.size()) + " extents");
  }
  PageHeaderFields header;
  header.page_number = page;
  header.fdp_object_id = fdp_object_id;
  header.database_time = database_time;
  using namespace ese::page_flag;
  header.flags = format.BaseFlags() | kRoot | kLeaf | kSpaceTree | tree_flags;
  file_.WritePage(page, BuildPage(format, header, values));
}

}  // namespace tarvex::edbforge
