#include "mailbox/item_search.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "content/html_visible_text.h"
#include "mailbox/item_texts.h"
#include "mailbox/mailbox_loading.h"
#include "output/preview.h"

namespace tarvex {
namespace {

// How often a long folder reports progress, in items.
constexpr std::size_t kItemsPerProgress = 256;

// What the header row does not tell: the recipients of the 2010 layout and the body. Read
// once per item, whatever conditions ask for them.
struct ItemDetails {
  std::u16string recipients;  // To, Cc and Bcc, one per line
  std::u16string body;
};

// Body files hold UTF-16LE (with or without its mark), UTF-8 or 8-bit text.
std::u16string DecodeBodyFile(const std::string& bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    return DecodeUtf16LeStrict(bytes.substr(2)).value_or(std::u16string());
  }
  bool zero_in_odd_byte = false;
  for (std::size_t i = 1; i < bytes.size() && i < 256; i += 2) zero_in_odd_byte |= bytes[i] == 0;
  if (zero_in_odd_byte && bytes.size() % 2 == 0) {
    if (std::optional<std::u16string> text = DecodeUtf16LeStrict(bytes)) return *text;
  }
  if (std::optional<std::u16string> text = DecodeUtf8Strict(bytes)) return *text;
  return Windows1252ToUtf16(bytes);
}

// The preview's own road to the item's record finds its recipients and body.
ItemDetails ReadDetails(Recovery& recovery, const ItemListRow& row) {
  SelectedItem selected = SelectedItem::FromListRow(row);
  recovery.body() = BodyState{};
  if (recovery.layout() == StoreLayout::k2010) {
    ShowItemPreview2010(recovery, selected);
  } else {
    ShowItemPreviewOlder(recovery, selected);
  }
  ItemDetails details;
  details.recipients = selected.recipients + u"\n" + selected.copy_recipients + u"\n" +
                       selected.blind_copy_recipients;
  const BodyState& body = recovery.body();
  std::u16string text = body.text;
  if (text.empty() && body.format != BodyFormat::kNone) {
    const std::filesystem::path& file =
        body.stored_path.empty() ? body.file_path : body.stored_path;
    std::ifstream stream(file, std::ios::binary);
    text =
        DecodeBodyFile({std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()});
  }
  details.body = body.format == BodyFormat::kHtml ? HtmlVisibleText(text) : text;
  return details;
}

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

bool MeetsAll(const SearchConditions& wanted, Recovery& recovery, const ItemListRow& row) {
  if (!MeetsHeaderConditions(wanted, row)) return false;
  // The older layout's list carries the recipients; the 2010 layout's are in the record.
  const bool recipients_listed = recovery.layout() == StoreLayout::kOlder;
  if (wanted.to && recipients_listed && !wanted.to->Matches(row[8] + u"\n" + row[9] + u"\n" + row[10])) {
    return false;
  }
  if (!wanted.body && (!wanted.to || recipients_listed)) return true;
  const ItemDetails details = ReadDetails(recovery, row);
  if (wanted.to && !recipients_listed && !wanted.to->Matches(details.recipients)) return false;
  return !wanted.body || wanted.body->Matches(details.body);
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
  const FolderTree& tree = recovery.folder_tree();
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

  // The plain bodies a listing keeps belong to the window's list: kept aside meanwhile.
  NewestFirstList<PlainBody> listed_plain_bodies = std::move(recovery.model().plain_bodies);
  auto report = [&] {
    if (on_progress && !on_progress(outcome.progress)) outcome.stopped = true;
    return !outcome.stopped;
  };
  for (TreeNodeHandle folder : folders) {
    if (outcome.stopped) break;
    const std::vector<ItemListRow> rows = ListFolderRows(recovery, folder);
    const std::u16string path = tree.PathOf(folder);
    for (std::size_t i = 0; i < rows.size() && !outcome.stopped; ++i) {
      if (!recovery.pause_gate().Checkpoint()) {
        outcome.stopped = true;
        break;
      }
      if (MeetsAll(conditions, recovery, rows[i])) {
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
  recovery.model().plain_bodies = std::move(listed_plain_bodies);
  return outcome;
}

}  // namespace tarvex
