#include "bench/table_reads.h"

#include "base/utf16_text.h"
#include "mailbox/recovery.h"

namespace tarvex::bench {
namespace {

std::vector<std::u16string> Columns(std::initializer_list<const char16_t*> names) {
  return {names.begin(), names.end()};
}

// The columns the program's handlers take from each kind of table.
std::vector<std::u16string> MailboxColumns() {
  return Columns({u"Q6764", u"S3001", u"S6773"});
}
std::vector<std::u16string> FolderColumns() {
  return Columns({u"Q6748", u"Q6749", u"Q6764", u"S3001", u"S3613", u"S6707", u"S6773"});
}

std::optional<TreeNodeHandle> FirstNamed(const cli::TerminalWindow& window, TreeNodeHandle node,
                                         std::u16string_view name) {
  for (TreeNodeHandle child : window.Node(node).children) {
    if (window.Node(child).text == name) return child;
    if (std::optional<TreeNodeHandle> found = FirstNamed(window, child, name)) return found;
  }
  return std::nullopt;
}

std::u16string PathOf(const cli::TerminalWindow& window, TreeNodeHandle node, TreeNodeHandle root) {
  std::u16string path;
  while (node != root && node != kTopOfTree) {
    path = path.empty() ? window.Node(node).text : window.Node(node).text + u"/" + path;
    node = window.Node(node).parent;
  }
  return path;
}

}  // namespace

ScanTally PlainAnalysis(PlainScan& scan) {
  ScanTally tally;
  scan.ScanTable({u"Mailbox", MailboxColumns(), true}, tally);
  const std::size_t before = tally.records;
  scan.ScanTable({u"Msg", Columns({u"N67b0", u"N67b3"}), true}, tally);
  if (tally.records != before) {
    scan.ScanTable({u"Folders", FolderColumns(), true}, tally);
    // edbforge names the attachment table "Attachment".
    scan.ScanTable({u"Attachment", Columns({u"Q3f88", u"S3001", u"S3704"}), true}, tally);
  } else {
    scan.ScanTablesStartingWith(u"Folders-", FolderColumns(), tally);
  }
  return tally;
}

std::optional<SelectionReads> PlanSelection(cli::DatabaseRun& run,
                                            const std::optional<std::u16string>& path) {
  const std::optional<TreeNodeHandle> node =
      path ? run.FindFolder(*path) : FirstNamed(run.window(), run.root(), u"Inbox");
  if (!node) return std::nullopt;
  Recovery& recovery = run.recovery();
  const MailboxModel& model = recovery.model();
  SelectionReads reads;
  reads.node = *node;
  reads.folder_path = PathOf(run.window(), *node, run.root());
  reads.older_layout = recovery.layout() == StoreLayout::kOlder;
  if (reads.older_layout) {
    for (const FolderLink& link : model.folder_links) {
      if (link.tree_item != *node) continue;
      const std::u16string key = ToAsciiUpper(link.content_key);
      for (const TableEntry& entry : recovery.session().catalog().entries()) {
        if (entry.folder_key == key) reads.content.table = entry.name;
      }
    }
    reads.content.columns =
        Columns({u"N67b0", u"S42", u"S4031", u"N67bd", u"N67b9", u"N67ba", u"Se1d", u"S3d", u"Be1b",
                 u"Le23", u"S1000", u"T39", u"Te06", u"T3007", u"S1a"});
    reads.messages = {u"Msg", Columns({u"S7d", u"N67b4", u"N67b5"}), true};
    // The newest reference of an id wins, as in the program's own lookup.
    for (const MessageRef& ref : model.message_refs) {
      reads.message_rows.emplace(ref.message_id, ref.record_number);
    }
    if (reads.content.table.empty()) return std::nullopt;
    return reads;
  }
  for (const FolderNode& folder : model.folder_nodes) {
    if (folder.tree_item != *node) continue;
    reads.tables.push_back({ReplacedAll(folder.table_name, u"Folders", u"MsgHeader"),
                            Columns({u"N67b0", u"Q6748", u"S1a", u"S42", u"Se1d", u"S3d", u"S70",
                                     u"Be1b", u"Te06", u"T3007", u"T39"})});
    reads.tables.push_back({ReplacedAll(folder.table_name, u"Folders", u"Body"),
                            Columns({u"N65f9", u"L3705", u"N67b3", u"S3001", u"S3707"}), false});
    break;
  }
  if (reads.tables.empty()) return std::nullopt;
  return reads;
}

ScanTally PlainSelection(PlainScan& scan, const SelectionReads& reads) {
  ScanTally tally;
  if (reads.older_layout) {
    scan.ScanWithLookups(reads.content, u"N67b0", reads.messages, reads.message_rows, tally);
  } else {
    for (const TableRead& read : reads.tables) scan.ScanTable(read, tally);
  }
  return tally;
}

}  // namespace tarvex::bench
