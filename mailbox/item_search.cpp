#include "mailbox/item_search.h"

#include <algorithm>
#include <regex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mailbox/folder_rows_ahead.h"
#include "mailbox/item_content_reader.h"
#include "mailbox/item_texts.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/message_facts_collector.h"
#include "mailbox/model_indexes.h"

namespace tarvex {
namespace {

// How often a long folder reports progress, in items.
constexpr std::size_t kItemsPerProgress = 256;

// The conditions on the sender, subject and kind columns, which an older-layout item has before
// the rest of its row.
bool MeetsFirstColumns(const SearchConditions& wanted, const ItemListRow& row) {
  return (!wanted.from || wanted.from->Matches(row[4])) &&
         (!wanted.subject || wanted.subject->Matches(row[5])) &&
         (!wanted.kind || wanted.kind->Matches(row[1]));
}

// The older layout's recipients, as the search matches them.
std::u16string OlderRecipients(const std::u16string& to, const std::u16string& copy,
                               const std::u16string& blind_copy) {
  return to + u"\n" + copy + u"\n" + blind_copy;
}

// Header conditions first: they cost nothing, and an item they turn away is never read. The
// first columns' are known to be met for a row that a prefilter let through.
bool MeetsHeaderConditions(const SearchConditions& wanted, const ItemListRow& row,
                           bool first_columns_met) {
  if (!first_columns_met && !MeetsFirstColumns(wanted, row)) return false;
  if (wanted.has_attachment && row[7] != u"true") return false;
  if (!wanted.after.empty() || !wanted.before.empty()) {
    const std::optional<std::string> date = IsoDate(row[6]);
    if (!date) return false;
    if (!wanted.after.empty() && *date < wanted.after) return false;
    if (!wanted.before.empty() && *date >= wanted.before) return false;
  }
  return true;
}

// Older layout: the body condition's answer the pass over "Msg" gave for an item of this kind
// and "Msg" row; none where it gave none. A distribution list shows no body, and an item
// without a "Msg" row none of one: those are left to the item's own reading.
std::optional<bool> GatheredBodyResult(const GatheredMessageFacts& gathered,
                                       std::u16string_view kind,
                                       std::optional<std::uint32_t> message_row) {
  if (kind == u"distlist" || !message_row) return std::nullopt;
  return gathered.TestResult(*message_row);
}

// The same for a listed row: its "Msg" row as the listing wrote it in column 2, or, for "0"
// (also written for none), found by its id as the listing found it.
std::optional<bool> GatheredBodyResult(Recovery& recovery, const GatheredMessageFacts& gathered,
                                       const ItemListRow& row) {
  if (row[0].empty()) return GatheredBodyResult(gathered, row[1], std::nullopt);
  std::optional<std::uint32_t> message_row = RecordNumberFromText(row[2]);
  if (!message_row || *message_row == 0) {
    message_row = recovery.indexes().FirstMessageRecordBeginningWith(recovery.model(), row[0]);
  }
  return GatheredBodyResult(gathered, row[1], message_row);
}

// `prefiltered`: the row's reader has tested the first columns and the listed recipients.
bool MeetsAll(Recovery& recovery, const SearchConditions& wanted, ItemContentReader& content,
              const GatheredMessageFacts* gathered, const ItemListRow& row, bool prefiltered) {
  if (!MeetsHeaderConditions(wanted, row, prefiltered)) return false;
  // The older layout's list carries the recipients; the 2010 layout's are in the record.
  const bool recipients_listed = recovery.layout() == StoreLayout::kOlder;
  if (wanted.to && recipients_listed && !prefiltered &&
      !wanted.to->Matches(OlderRecipients(row[8], row[9], row[10]))) {
    return false;
  }
  if (!wanted.body && (!wanted.to || recipients_listed)) return true;
  if (wanted.body && gathered != nullptr) {
    if (const std::optional<bool> known = GatheredBodyResult(recovery, *gathered, row)) {
      return *known;
    }
  }
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
  for (const FolderLink& link : model.folder_links)
    kinds.try_emplace(link.tree_item, link.folder_kind);
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

GatheredMessageFacts::RowTest SearchRowTest(const SearchConditions& conditions) {
  if (!conditions.body) return {};
  return [&conditions](const ese::Record& record, const TableColumns& message_columns) {
    return conditions.body->Matches(OlderMessageBody(record, message_columns));
  };
}

SearchOutcome SearchItems(Recovery& recovery, const SearchConditions& conditions,
                          std::span<const TreeNodeHandle> start_nodes,
                          const SearchMatchSink& on_match, const SearchProgressSink& on_progress,
                          std::optional<GatheredMessageFacts> gathered,
                          bool rows_with_recipients) {
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

  // Older layout: a folder's items lie far apart in "Msg", so reading each item's row where it
  // lies costs a page read per item. A search of most folders reads every row once, in the
  // table's order, first (testing each body there), and the items take what it kept.
  const std::size_t folders_with_items = static_cast<std::size_t>(std::count_if(
      kinds.begin(), kinds.end(), [](const auto& kind) { return !kind.second.empty(); }));
  if (layout != StoreLayout::kOlder) gathered.reset();
  // Facts gathered for the senders alone serve only rows and conditions without recipients.
  if (gathered && !gathered->has_recipients() && (rows_with_recipients || conditions.to)) {
    gathered.reset();
  }
  if (!gathered && layout == StoreLayout::kOlder && 4 * folders.size() >= folders_with_items) {
    // Each body is tested where its row is read.
    gathered = GatherMessageFacts(recovery, SearchRowTest(conditions),
                                  [&](std::uint32_t, std::uint32_t) { return report(); });
    if (outcome.stopped || recovery.pause_gate().IsCancelled()) {
      outcome.stopped = true;
      return outcome;
    }
  }
  const GatheredMessageFacts* kept = gathered ? &*gathered : nullptr;
  // Older layout: an item is tested as soon as its sender is known, and one turned away is read
  // no further; the folders' rows are made ahead on threads of their own.
  FolderReadOptions options{.gathered = kept, .rows_with_recipients = rows_with_recipients};
  if (layout == StoreLayout::kOlder) {
    // The body's answer the pass over "Msg" gave, where it gave one.
    auto body_not_refused = [&conditions, kept](std::u16string_view kind,
                                                std::optional<std::uint32_t> message_row) {
      if (!conditions.body || kept == nullptr) return true;
      const std::optional<bool> known = GatheredBodyResult(*kept, kind, message_row);
      return !known || *known;
    };
    options.prefilter = [&conditions, body_not_refused](const FolderItem& item) {
      return MeetsFirstColumns(conditions, item.columns) &&
             body_not_refused(item.columns[1], item.has_message_row
                                                   ? std::optional(item.message_record_number)
                                                   : std::nullopt);
    };
    if (conditions.body && kept != nullptr) options.message_row_test = body_not_refused;
    if (conditions.from) {
      options.sender_test = [&conditions](std::u16string_view sender) {
        return conditions.from->Matches(sender);
      };
    }
    if (conditions.to) {
      options.recipient_filter = [&conditions](const FolderItem& item) {
        return conditions.to->Matches(
            OlderRecipients(item.recipients, item.copy_recipients, item.blind_copy_recipients));
      };
    }
  }

  std::optional<FolderRowsAhead> rows_ahead;
  if (layout == StoreLayout::kOlder) rows_ahead.emplace(recovery, folders, options);
  // Progress as the items of a list are passed, the turned-away ones with them.
  auto tested_up_to = [&](std::size_t count) {
    const std::size_t before = outcome.progress.items_tested;
    outcome.progress.items_tested = count;
    if (count / kItemsPerProgress != before / kItemsPerProgress) report();
  };
  for (TreeNodeHandle folder : folders) {
    if (outcome.stopped) break;
    const PlacedRows placed =
        rows_ahead ? rows_ahead->Next().value_or(PlacedRows{})
                   : PlaceListedRows(ListFolderRows(recovery, folder, reads_records, options));
    const std::u16string path = tree.PathOf(folder);
    const std::size_t tested_before = outcome.progress.items_tested;
    for (std::size_t i = 0; i < placed.rows.size() && !outcome.stopped; ++i) {
      if (!recovery.pause_gate().Checkpoint()) {
        outcome.stopped = true;
        break;
      }
      const ItemListRow& row = placed.rows[i];
      const std::size_t place = placed.places[i];
      if (MeetsAll(recovery, conditions, content, kept, row, options.prefilter != nullptr)) {
        ++outcome.matches;
        if (on_match && !on_match({folder, path, row, place + 1})) outcome.stopped = true;
      }
      tested_up_to(tested_before + place + 1);
    }
    if (recovery.pause_gate().IsCancelled()) outcome.stopped = true;
    if (outcome.stopped) break;
    tested_up_to(tested_before + placed.list_size);
    ++outcome.progress.folders_done;
    report();
  }
  return outcome;
}

}  // namespace tarvex
