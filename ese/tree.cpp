#include "ese/tree.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace tarvex::ese {
namespace {

// Real trees are a handful of levels deep; a deeper descent is a crafted or broken chain.
constexpr int kMaxDepth = 32;

using LeafVisitor =
    std::function<bool(const Page& page, std::size_t entry_index, const PageEntry& entry)>;

}  // namespace

int CompareKeys(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right) {
  const std::size_t common = std::min(left.size(), right.size());
  if (common > 0) {
    if (const int order = std::memcmp(left.data(), right.data(), common); order != 0) {
      return order < 0 ? -1 : 1;
    }
  }
  if (left.size() == right.size()) return 0;
  return left.size() < right.size() ? -1 : 1;
}

Tree::Tree(PageFile& file, const PageLayout& layout, std::uint32_t root_page,
           std::uint32_t object_id)
    : file_(file), layout_(layout), root_page_(root_page), object_id_(object_id) {}

std::optional<Page> Tree::ReadPage(std::uint32_t page_number) const {
  if (page_number == 0) return std::nullopt;
  if (page_number > file_.page_count()) {
    file_.ReportMissing(page_number);
    return std::nullopt;
  }
  std::optional<Page> page = Page::Parse(layout_, page_number, file_.Read(page_number));
  if (!page || page->father_object_id() != object_id_) {
    file_.ReportUnparsable(page_number);
    return std::nullopt;
  }
  return page;
}

namespace {

// Pages met by one walk: a bit each, kept in blocks allocated as pages are met, so that a walk
// costs memory by the pages it visits, not by the size the file claims.
class SeenPages {
 public:
  bool Contains(std::uint32_t page) const {
    const auto block = blocks_.find(page / kBlockBits);
    return block != blocks_.end() && block->second[page % kBlockBits];
  }
  void Insert(std::uint32_t page) { blocks_[page / kBlockBits][page % kBlockBits] = true; }

 private:
  static constexpr std::uint32_t kBlockBits = 1u << 16;
  std::unordered_map<std::uint32_t, std::bitset<kBlockBits>> blocks_;
};

// One walk: leaves in the order the branches give them; after a branch that could not be read,
// the sibling links of the last leaf visited lead on to the next leaf the branches name.
class LeafWalk {
 public:
  LeafWalk(const Tree& tree, const LeafVisitor& visit, LeafEntries entries)
      : tree_(tree), visit_(visit), entries_(entries) {}

  bool Run() {
    seen_.Insert(tree_.root_page());
    std::optional<Page> root = tree_.ReadPage(tree_.root_page());
    if (!root) return false;
    if (root->IsLeaf()) {
      VisitLeaf(*root);
    } else {
      Descend(*root, 0);
    }
    // A gap at the right end: the sibling chain is the only way on.
    if (gap_pending_ && !stopped_) FollowSiblings(0);
    return complete_;
  }

 private:
  void Descend(const Page& branch, int depth) {
    for (std::size_t index = 0; index < branch.entry_count() && !stopped_; ++index) {
      const std::optional<PageEntry> entry = branch.Entry(index);
      if (!entry || entry->deleted()) {
        if (!entry) MarkGap(branch.number());
        continue;
      }
      const std::optional<std::uint32_t> child = Page::ChildPage(*entry);
      if (!child || *child == 0 || depth + 1 >= kMaxDepth) {
        MarkGap(branch.number());
        continue;
      }
      // Beyond the end of the file (cut short): missing, not a fault of the branch.
      if (*child > tree_.file().page_count()) {
        tree_.file().ReportMissing(*child);
        MarkGap(0);
        continue;
      }
      // Met before: a cycle or a duplicate in the branches (what the entry should have named
      // may still come along the sibling links), or a leaf reached along them already.
      if (seen_.Contains(*child)) {
        MarkGap(0);
        continue;
      }
      seen_.Insert(*child);
      std::optional<Page> page = tree_.ReadPage(*child);
      if (!page) {
        MarkGap(0);
        continue;
      }
      if (gap_pending_ && page->IsLeaf()) FollowSiblings(*child);
      if (page->IsLeaf()) {
        VisitLeaf(*page);
      } else {
        Descend(*page, depth + 1);
      }
    }
  }

  void MarkGap(std::uint32_t page_number) {
    if (page_number != 0) tree_.file().ReportUnparsable(page_number);
    complete_ = false;
    gap_pending_ = last_leaf_next_ != 0;
  }

  // Leaves between the last one visited and `target` (0: to the end of the chain).
  void FollowSiblings(std::uint32_t target) {
    gap_pending_ = false;
    std::uint32_t next = last_leaf_next_;
    while (next != 0 && next != target && !stopped_ && next <= tree_.file().page_count() &&
           !seen_.Contains(next)) {
      seen_.Insert(next);
      std::optional<Page> page = tree_.ReadPage(next);
      if (!page || !page->IsLeaf()) break;
      VisitLeaf(*page);
      next = page->next_page();
    }
  }

  void VisitLeaf(const Page& leaf) {
    last_leaf_next_ = leaf.next_page();
    for (std::size_t index = 0; index < leaf.entry_count() && !stopped_; ++index) {
      const std::optional<PageEntry> entry = leaf.Entry(index);
      if (!entry) {
        tree_.file().ReportUnparsable(leaf.number());
        complete_ = false;
        continue;
      }
      if (entry->deleted() && entries_ == LeafEntries::kLive) continue;
      if (!visit_(leaf, index, *entry)) stopped_ = true;
    }
  }

  const Tree& tree_;
  const LeafVisitor& visit_;
  LeafEntries entries_;
  SeenPages seen_;
  std::uint32_t last_leaf_next_ = 0;
  bool gap_pending_ = false;
  bool complete_ = true;
  bool stopped_ = false;
};

}  // namespace

bool Tree::ForEachLeafEntry(const LeafVisitor& visit, LeafEntries entries) const {
  if (root_page_ == 0) return false;
  if (root_page_ > file_.page_count()) {
    file_.ReportMissing(root_page_);
    return false;
  }
  return LeafWalk(*this, visit, entries).Run();
}

bool Tree::VisitFrom(std::span<const std::uint8_t> key,
                     const std::function<bool(const Page& page, const PageEntry& entry)>& visit)
    const {
  std::optional<Page> page = ReadPage(root_page_);
  std::unordered_set<std::uint32_t> seen{root_page_};
  for (int depth = 0; page && !page->IsLeaf(); ++depth) {
    if (depth >= kMaxDepth) return false;
    // Each branch key is the highest key below it, the last one empty (all the rest): the
    // child to take is the first whose key is not below `key`, found by bisection.
    const std::size_t count = page->entry_count();
    if (count == 0) return false;
    std::size_t low = 0;
    std::size_t high = count - 1;
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      const std::optional<int> order = page->CompareKey(middle, key);
      if (!order) return false;
      if (*order < 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    const std::optional<PageEntry> entry = page->Entry(low);
    const std::optional<std::uint32_t> child = entry ? Page::ChildPage(*entry) : std::nullopt;
    if (!child || !seen.insert(*child).second) return false;
    page = ReadPage(*child);
  }
  if (!page) return false;
  return VisitFromLeaf(page->number(), key, visit);
}

bool Tree::VisitFromLeaf(std::uint32_t leaf_page, std::span<const std::uint8_t> key,
                         const std::function<bool(const Page& page, const PageEntry& entry)>& visit)
    const {
  std::optional<Page> page = ReadPage(leaf_page);
  std::unordered_set<std::uint32_t> seen{leaf_page};
  bool started = false;
  while (page && page->IsLeaf()) {
    for (std::size_t index = 0; index < page->entry_count(); ++index) {
      if (!started && page->CompareKey(index, key).value_or(-1) < 0) continue;
      const std::optional<PageEntry> entry = page->Entry(index);
      if (!entry || entry->deleted()) continue;
      started = true;
      if (!visit(*page, *entry)) return true;
    }
    // From the leaf found, forward along the sibling links.
    const std::uint32_t next = page->next_page();
    if (next == 0 || !seen.insert(next).second) break;
    page = ReadPage(next);
  }
  return started;
}

}  // namespace tarvex::ese
