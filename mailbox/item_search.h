#pragma once

// Finding the items that meet a set of conditions, folder by folder, numbered as the folder's
// item list numbers them. A worker procedure like a folder's loading: the front end runs it on
// a thread of its own, with no other worker on the same recovery meanwhile. It leaves the
// window's item list and preview alone; Stop/Resume of the recovery's pause gate holds it.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mailbox/item_extraction.h"
#include "mailbox/message_facts.h"
#include "mailbox/recovery.h"
#include "mailbox/text_match.h"

namespace tarvex {

// What an item must meet; a condition not given is met by every item.
struct SearchConditions {
  std::optional<TextMatch> from = {};     // the sender, as the list shows it
  std::optional<TextMatch> to = {};       // the To, Cc and Bcc recipients
  std::optional<TextMatch> subject = {};  // the subject, as the list shows it
  std::optional<TextMatch> body = {};     // the body as text (an HTML body without its markup)
  std::optional<TextMatch> kind = {};     // the item kind ("mail", "appointment", ...)
  std::string after = {};   // "2010-01-05T09:03:07Z": dated at or after; empty when not given
  std::string before = {};  // dated before; empty when not given
  bool has_attachment = false;
};

// "2010-01-05" or "2010-01-05T09:03[:07][Z]" as "2010-01-05T09:03:07Z" (UTC), for the date
// bounds; none for other texts.
std::optional<std::string> SearchDateBound(std::string_view given);

// One item found.
struct SearchMatch {
  TreeNodeHandle folder;            // the folder's tree node
  std::u16string_view folder_path;  // FolderTreeNodes::PathOf(folder)
  const ItemListRow& row;           // the row a selection of the folder lists for the item
  std::size_t position;             // its 1-based place in that list
};

struct SearchProgress {
  std::size_t folders_done = 0;
  std::size_t folders_total = 0;  // the folders with items below the starting nodes
  std::size_t items_tested = 0;
};

// Each returns false to end the search early.
using SearchMatchSink = std::function<bool(const SearchMatch& match)>;
using SearchProgressSink = std::function<bool(const SearchProgress& progress)>;

struct SearchOutcome {
  SearchProgress progress;
  std::size_t matches = 0;
  bool stopped = false;  // ended early: by a sink, or the pause gate was cancelled
};

// The test a search runs on each "Msg" row where the row is read in the table's order (older
// layout): the body condition; none without one. It refers to `conditions`.
GatheredMessageFacts::RowTest SearchRowTest(const SearchConditions& conditions);

// Searches the folders of `start_nodes` and every folder below them, each folder once, in
// tree order; no start nodes: every mailbox of the store. Matches are handed on as they are
// found, in list order within a folder; progress after every folder and every few hundred
// items. Header conditions are tested first: an item they turn away is never read further.
// Older layout: `gathered` are the "Msg" facts, with SearchRowTest's answers, that the caller
// gathered while the analysis read that table; without them a search of most folders gathers
// them first in a pass of its own. Without `rows_with_recipients` the matches' rows may leave
// their To, Cc and Bcc columns empty (FolderReadOptions), for a caller that shows none.
SearchOutcome SearchItems(Recovery& recovery, const SearchConditions& conditions,
                          std::span<const TreeNodeHandle> start_nodes,
                          const SearchMatchSink& on_match,
                          const SearchProgressSink& on_progress = {},
                          std::optional<GatheredMessageFacts> gathered = std::nullopt,
                          bool rows_with_recipients = true);

}  // namespace tarvex
