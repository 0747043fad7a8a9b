#include "mailbox/item_search.h"

#include <regex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mailbox/item_content_reader.h"
#include "mailbox/item_texts.h"
#include "mailbox/mailbox_loading.h"

namespace tarvex {
namespace {

// How often a long folder reports progress, in items.
constexpr std::size_t kItemsPerProgress = 256;

// Header conditions first: they cost nothing, and an item they turn away is never read.
bool MeetsHeaderConditions(const SearchConditions& wanted, const ItemListRow& row) {
  if (wanted.from && !wanted.from->Matches(row[4])) return false;
  if (wanted.subject && !wanted.subject->Matches(row[5])) return false;
  if (wanted.kind && !wanted.kind->Matches(row[1])) return false;
  if (wanted.has_attachment && row[7] != u"true") return false;
  if (!wanted.after.empty() || !wanted.before.empty()) {
    const std::optional<std::string> date = IsoDate(row[6]);
    if (!date) return false;
    if (!wanted.after.empty() && *date < wanted.after) return false;
    if (!wanted.before.empty() && *date >= wanted.before) return false;
  }
  return true;
}

bool MeetsAll(const SearchConditions& wanted, ItemContentReader& content, StoreLayout layout,
              const ItemListRow& row) {
  if (!MeetsHeaderConditions(wanted, row)) return false;
  // The older layout's list carries the recipients; the 2010 layout's are in the record.
  const bool recipients_listed = layout == StoreLayout::kOlder;
  if (wanted.to && recipients_listed &&
      !wanted.to->Matches(row[8] + u"\n" + row[9] + u"\n" + row[10])) {
    return false;
  }
  if (!wanted.body && (!wanted.to || recipients_listed)) return true;
  // One read of the record for both.
  const ItemContent read = content.Read(row, wanted.body.has_value());
  if (wanted.to && !recipients_listed && !wanted.to->Matches(read.recipients)) return false;
  return !wanted.body || wanted.body->Matches(read.body);
}

// The folder kind of each tree node, as the folder links (older layout) or folder nodes (2010)
// give it; a node without one (a mailbox) has no items of its own.
std::unordered_map<TreeNodeHandle, std::u16string_view> FolderKindsByNode(
    const MailboxModel& model) {
  std::unordered_map<TreeNodeHandle, std::u16string_view> kinds;
  for (const FolderLink& link : model.folder_links) kinds.try_emplace(link.tree_item, link.folder_kind);
  for (const FolderNode& folder : model.folder_nodes) {
    kinds.try_emplace(folder.tree_item, folder.folder_kind);
  }
  for (const MailboxEntry& mailbox : model.mailboxes) kinds.try_emplace(mailbox.tree_item, u"");
  return kinds;
}

}  // namespace

std::optional<std::string> SearchDateBound(std::string_view given) {
  static const std::regex kDate(R"((\d{4}-\d\d-\d\d)(?:[T ](\d\d:\d\d)(:\d\d)?Z?)?)");
  std::match_results<std::string_view::const_iterator> parts;
  if (!std::regex_match(given.begin(), given.end(), parts, kDate)) return std::nullopt;
  return parts[1].str() + "T" + (parts[2].matched ? parts[2].str() : "00:00") +
         (parts[3].matched ? parts[3].str() : ":00") + "Z";
}

SearchOutcome SearchItems(Recovery& recovery, const SearchConditions& conditions,
                          std::span<const TreeNodeHandle> start_nodes,
                          const SearchMatchSink& on_match, const SearchProgressSink& on_progress) {
  SearchOutcome outcome;
  if (!recovery.has_session()) return outcome;
  const FolderTreeNodes& tree = recovery.folder_tree();
  const std::unordered_map<TreeNodeHandle, std::u16string_view> kinds =
      FolderKindsByNode(recovery.model());
  auto has_items = [&kinds](TreeNodeHandle node) {
    const auto found = kinds.find(node);
    return found != kinds.end() && !found->second.empty();
  };

  // The folders to search, each once, in tree order: a folder before the folders below it.
  std::vector<TreeNodeHandle> starts(start_nodes.begin(), start_nodes.end());
  if (starts.empty()) starts = tree.ChildrenOf(recovery.root_node());
  std::vector<TreeNodeHandle> folders;
  std::unordered_set<TreeNodeHandle> seen;
  std::function<void(TreeNodeHandle)> collect = [&](TreeNodeHandle node) {
    if (!seen.insert(node).second) return;
    if (has_items(node)) folders.push_back(node);
    for (TreeNodeHandle child : tree.ChildrenOf(node)) collect(child);
  };
  for (TreeNodeHandle start : starts) collect(start);
  outcome.progress.folders_total = folders.size();

  ItemContentReader content(recovery);
  const StoreLayout layout = recovery.layout();
  // Only the body and the 2010 recipients are read from the item's record.
  const bool reads_records =
      conditions.body.has_value() || (conditions.to.has_value() && layout == StoreLayout::k2010);
  auto report = [&] {
    if (on_progress && !on_progress(outcome.progress)) outcome.stopped = true;
    return !outcome.stopped;
  };
  for (TreeNodeHandle folder : folders) {
    if (outcome.stopped) break;
    const std::vector<ItemListRow> rows = ListFolderRows(recovery, folder, reads_records);
    const std::u16string path = tree.PathOf(folder);
    for (std::size_t i = 0; i < rows.size() && !outcome.stopped; ++i) {
      if (!recovery.pause_gate().Checkpoint()) {
        outcome.stopped = true;
        break;
      }
      if (MeetsAll(conditions, content, layout, rows[i])) {
        ++outcome.matches;
        if (on_match && !on_match({folder, path, rows[i], i + 1})) outcome.stopped = true;
      }
      if (++outcome.progress.items_tested % kItemsPerProgress == 0) report();
    }
    if (recovery.pause_gate().IsCancelled()) outcome.stopped = true;
    if (outcome.stopped) break;
    ++outcome.progress.folders_done;
    report();
  }
  return outcome;
}

}  // namespace tarvex
