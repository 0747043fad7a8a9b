#pragma once

// Which tables and columns each measured step of the program reads, so that the plain scan
// beside it reads the same.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/plain_scan.h"
#include "cli/database_run.h"

namespace tarvex::bench {

// The analysis: "Mailbox", then "Folders", "Msg" and the attachment table (older layout) or
// every "Folders-" table (2010 layout).
ScanTally PlainAnalysis(PlainScan& scan);

// Selecting one folder, worked out from an analysed run.
struct SelectionReads {
  TreeNodeHandle node = kTopOfTree;
  std::u16string folder_path;
  bool older_layout = false;
  // 2010 layout: the mailbox's "MsgHeader-" and "Body-" tables.
  std::vector<TableRead> tables;
  // Older layout: the folder's content table, and its items' "Msg" rows by message id.
  TableRead content;
  TableRead messages;
  std::unordered_map<std::u16string, std::uint32_t> message_rows;
};

// The folder at `path` ("Mailbox/Top of Information Store/Inbox"), or without a path the first
// "Inbox" of the tree (edbforge gives it the most items); none when there is no such folder.
std::optional<SelectionReads> PlanSelection(cli::DatabaseRun& run,
                                            const std::optional<std::u16string>& path);

ScanTally PlainSelection(PlainScan& scan, const SelectionReads& reads);

}  // namespace tarvex::bench
