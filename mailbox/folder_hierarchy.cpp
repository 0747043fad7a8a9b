#include "mailbox/folder_hierarchy.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/utf16_text.h"
#include "mailbox/classification.h"
#include "mailbox/folder_path.h"
#include "mailbox/mailbox_key_lookup.h"

namespace tarvex {
namespace {

// The older layout's tree has room for this many levels below a mailbox.
constexpr std::size_t kDeepestFolderLevel = 26;

// A crafted 2010 folder table whose rows repeat identifiers could make every pending folder
// appear under many parents; the attach phase stops after this many nodes per table row.
constexpr std::size_t kAttachedNodesPerRow = 16;

constexpr std::u16string_view kFolderStatusPrefix =
    u"Status: (Step 4/7) Rebuilding mailbox folder information ( ";

// Where the folder columns sit in the current table; 0 means absent, as in the directory.
struct FolderColumns {
  int folder_id = 0;
  int parent_id = 0;
  int mailbox_number = 0;
  int display_name = 0;
  int container_class = 0;
  int url_path = 0;
};

FolderColumns FolderColumnsFromDirectory(const ColumnDirectory& directory) {
  auto position = [&](std::u16string_view name) {
    return static_cast<int>(directory.Position(ColumnGroup::kFolder, name));
  };
  return {position(u"Q6748"), position(u"Q6749"), position(u"Q6764"),
          position(u"S3001"), position(u"S3613"), position(u"S6707")};
}

// Every "Folders-" table is looked up by itself, so that a column one table lacks reads as
// absent there instead of at the position an earlier table had it. The directory still hears
// of every column, as after any other column pass.
void FindFolderColumnsOfTable(const ese::Table& table, ColumnDirectory& directory,
                              FolderColumns& columns) {
  const std::array<std::pair<std::u16string_view, int*>, 6> wanted = {{
      {u"Q6748", &columns.folder_id},
      {u"Q6749", &columns.parent_id},
      {u"Q6764", &columns.mailbox_number},
      {u"S3001", &columns.display_name},
      {u"S3613", &columns.container_class},
      {u"S6707", &columns.url_path},
  }};
  const auto& table_columns = table.columns();
  for (std::size_t position = 0; position < table_columns.size(); ++position) {
    const std::u16string& name = table_columns[position].name;
    directory.Offer(ColumnLookup::kFolderTable, static_cast<std::uint32_t>(position), name);
    if (position == 0) continue;
    for (const auto& [wanted_name, slot] : wanted) {
      if (name == wanted_name) *slot = static_cast<int>(position);
    }
  }
}

// Reads the values of one folder or mailbox row; absent columns and records read as empty.
class RowValues {
 public:
  RowValues(ValueReader& reader, const ese::Record* record) : reader_(reader), record_(record) {}

  std::u16string Text(int position) const {
    if (position <= 0) return {};
    return reader_.ReadValueText(record_, position).value_or(std::u16string());
  }
  std::u16string Id(int position) const {
    if (position <= 0) return {};
    return reader_.ReadIdText(record_, position, ByteOrder::kBigEndian).value_or(std::u16string());
  }
  // The identifier text even when it is a single digit: a parent id of 0 marks a folder at
  // the top of a 2010 folder table, and the plain reading gives no text for it.
  std::u16string ParentId(int position) const {
    if (position <= 0) return {};
    if (std::optional<std::u16string> id =
            reader_.ReadIdText(record_, position, ByteOrder::kBigEndian)) {
      return *id;
    }
    const std::optional<RawValue> raw = GetRawValue(record_, position);
    if (raw && raw->flags <= kValueFlagVariableSize && raw->bytes.size() == 8) {
      std::array<std::uint8_t, 8> bytes{};
      std::copy(raw->bytes.begin(), raw->bytes.end(), bytes.begin());
      return IdentifierText(bytes, ByteOrder::kBigEndian);
    }
    return {};
  }
  std::u16string StoreId(int position) const {
    if (position <= 0) return {};
    return reader_.ReadStoreIdText(record_, position, ByteOrder::kBigEndian)
        .value_or(std::u16string());
  }

 private:
  ValueReader& reader_;
  const ese::Record* record_;
};

std::u16string Decimal(std::uint32_t number) {
  return FromAscii(std::to_string(number));
}

std::u16string UnknownName(std::uint32_t record_number) {
  return u"Unknown" + Decimal(record_number);
}

// The older layout's reading of one "Folders" row; `owner_of` names the mailbox the row's
// mailbox number belongs to.
template <typename OwnerOf>
bool AddFolderRow(Recovery& recovery, const ese::Record* record, std::uint32_t record_number,
                  OwnerOf&& owner_of) {
  const FolderColumns columns = FolderColumnsFromDirectory(recovery.session().columns());
  const RowValues values(recovery.reader(), record);

  const std::u16string id_text = values.Id(columns.folder_id);
  // Short texts are no folder identifier (the content table name still comes from the text).
  const std::u16string folder_id = id_text.size() < 9 ? std::u16string() : id_text;
  const std::u16string mailbox_number = values.Id(columns.mailbox_number);
  std::u16string display_name = values.Text(columns.display_name);
  if (display_name.empty()) display_name = UnknownName(record_number);
  const std::u16string folder_kind = ClassifyFolderClass(values.Text(columns.container_class));

  std::u16string path = values.Text(columns.url_path);
  if (path.empty()) path = u"/" + UnknownName(record_number);
  ReplaceAll(path, u"/NON_IPM_SUBTREE", u"");
  std::u16string url_path;
  std::u16string composite_path;
  if (path != u"/") {
    ReplaceAll(path, u"%23", u"#");
    ReplaceAll(path, u"%2B", u"-");
    url_path = path;
    ReplaceAll(path, u"+", u" ");
    composite_path = path + u"+" + folder_kind + u"+" + Decimal(record_number) + u"+" + folder_id;
  }

  const std::optional<std::size_t> owner = owner_of(mailbox_number);
  if (owner && !IsFinderFolderPath(composite_path)) {
    const MailboxEntry& mailbox = recovery.model().mailboxes[*owner];
    FolderRow row;
    row.folder_id = folder_id;
    row.parent_id = values.Id(columns.parent_id);
    // The owner's key is the row's mailbox number, or "public_folder" in a public store.
    row.mailbox_key = mailbox.mailbox_key;
    row.url_path = std::move(url_path);
    row.display_name = std::move(display_name);
    row.content_table_name = ContentTableName(id_text);
    row.folder_kind = folder_kind;
    row.mailbox_name = mailbox.display_name;
    row.composite_path = std::move(composite_path);
    row.record_number = record_number;
    recovery.model().folder_rows.push_back(std::move(row));
  }
  return record != nullptr;
}

// The node most recently made at one level of the older layout's tree.
struct LevelSlot {
  TreeNodeHandle node = 0;
  std::u16string folder_path;
  bool filled = false;
};

void BuildMailboxFolderTree(Recovery& recovery, const MailboxEntry& mailbox,
                            const std::vector<std::size_t>& row_positions,
                            const std::unordered_map<std::u16string, std::size_t>& last_row_by_id) {
  const std::vector<FolderRow>& rows = recovery.model().folder_rows;
  std::vector<std::pair<std::u16string, std::size_t>> paths;
  paths.reserve(row_positions.size());
  for (std::size_t position : row_positions) {
    paths.emplace_back(CleanFolderPath(rows[position].composite_path), position);
  }
  // Stable, as the exchange sort it replaces: equal paths keep their table order.
  std::stable_sort(paths.begin(), paths.end(),
                   [](const auto& a, const auto& b) { return FolderPathLess(a.first, b.first); });

  // Levels start empty for every mailbox, so no folder lands in another mailbox's tree.
  std::array<LevelSlot, kDeepestFolderLevel + 1> levels;
  for (const auto& [path, position] : paths) {
    if (!recovery.pause_gate().Checkpoint()) return;
    const FolderRow& row = rows[position];
    // The node text is the name of the last row with this folder id (rows of every mailbox).
    const FolderRow* named_by = &row;
    if (!row.folder_id.empty()) {
      if (const auto last = last_row_by_id.find(row.folder_id); last != last_row_by_id.end()) {
        named_by = &rows[last->second];
      }
    }
    const std::u16string node_text = ReplacedAll(named_by->display_name, u"/", u"");
    recovery.window().SetStatusText(std::u16string(kFolderStatusPrefix) + node_text + u")");

    const std::size_t depth = FolderPathDepth(path);
    if (depth < 1 || depth > kDeepestFolderLevel) continue;
    // The parent is the node made last one level up; when that level has none yet (its row is
    // missing), the nearest level above that has one, else the mailbox itself.
    TreeNodeHandle parent = mailbox.tree_item;
    std::u16string folder_path;
    for (std::size_t level = depth - 1; level >= 1; --level) {
      if (levels[level].filled) {
        parent = levels[level].node;
        folder_path = levels[level].folder_path;
        break;
      }
    }
    folder_path += u"\\" + node_text;
    // The kind as the cleaned path carries it ("IPF_Note").
    const std::u16string folder_kind = CleanFolderPath(row.folder_kind);
    const TreeNodeHandle node = recovery.AddTreeNode(parent, node_text, folder_kind);
    levels[depth] = {node, folder_path, true};

    FolderLink link;
    link.mailbox_key = mailbox.mailbox_key;
    link.mailbox_name = mailbox.display_name;
    link.owner_text = mailbox.owner_text;
    link.content_key = row.folder_id;
    link.display_name = node_text;
    link.folder_kind = folder_kind;
    link.tree_item = node;
    link.folder_path = std::move(folder_path);
    link.record_number = row.record_number;
    link.depth = static_cast<std::uint32_t>(depth);
    recovery.model().folder_links.push_back(std::move(link));
  }
}

// A 2010 folder row waiting for its parent's node.
struct PendingFolder {
  std::u16string folder_id;
  std::u16string folder_key;
  std::u16string parent_id;
  std::u16string mailbox_key;
  std::u16string display_name;
  std::u16string folder_kind;
  TreeNodeHandle mailbox_node = 0;
  std::u16string mailbox_name;
};

struct TopFolder {
  std::u16string folder_id;
  TreeNodeHandle node = 0;
  std::u16string mailbox_name;
};

// Attaches the pending folders below the top folders, newest top folder first, each subtree
// depth first with children in table order. Done with an explicit stack, so that a long chain
// of folders cannot exhaust the call stack; a folder already on the path to the current node
// is not attached again, so that rows naming each other as parents cannot loop. Folders whose
// parents form a cycle (a folder its own parent, A and B each other's) are reached from no top
// folder: the first of each cycle in table order goes under its mailbox's node, the rest of the
// cycle and what hangs below it under that one, so that neither they nor their items are lost.
// So does a branch whose parent row is gone (a damaged page), headed by its topmost folder.
void AttachPendingFolders(Recovery& recovery, std::u16string_view table_name,
                          const std::vector<TopFolder>& top_folders,
                          const std::vector<PendingFolder>& pending,
                          const std::unordered_set<std::u16string>& ids_in_table,
                          std::size_t node_budget) {
  std::unordered_map<std::u16string, std::vector<std::size_t>> children_of;
  for (std::size_t position = 0; position < pending.size(); ++position) {
    children_of[pending[position].parent_id].push_back(position);
  }
  auto children_of_id = [&](const std::u16string& folder_id) -> const std::vector<std::size_t>* {
    const auto found = children_of.find(folder_id);
    return found == children_of.end() ? nullptr : &found->second;
  };

  struct Frame {
    const std::vector<std::size_t>* children;
    std::size_t next_child;
    TreeNodeHandle node;
    std::size_t pending_position;  // the folder of this frame; npos for a top folder
  };
  constexpr std::size_t kTopFrame = static_cast<std::size_t>(-1);
  std::vector<bool> on_path(pending.size(), false);
  std::vector<bool> attached_once(pending.size(), false);
  std::vector<Frame> stack;
  std::size_t attached = 0;

  auto attach = [&](TreeNodeHandle parent, std::size_t position,
                    const std::u16string& mailbox_name) {
    const PendingFolder& folder = pending[position];
    const TreeNodeHandle node =
        recovery.AddTreeNode(parent, folder.display_name, folder.folder_kind);
    ++attached;
    attached_once[position] = true;
    recovery.model().folder_nodes.PutAtFront(
        {folder.folder_key, folder.parent_id, folder.mailbox_key, mailbox_name,
         std::u16string(table_name), folder.display_name, folder.folder_kind, node});
    return node;
  };
  // Depth first from the frame on the stack; false when the budget or the user stopped it.
  auto attach_subtrees = [&](const std::u16string& mailbox_name) {
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.children == nullptr || frame.next_child == frame.children->size()) {
        if (frame.pending_position != kTopFrame) on_path[frame.pending_position] = false;
        stack.pop_back();
        continue;
      }
      const std::size_t child = (*frame.children)[frame.next_child++];
      if (on_path[child]) continue;
      if (attached == node_budget || !recovery.pause_gate().Checkpoint()) return false;
      const TreeNodeHandle node = attach(frame.node, child, mailbox_name);
      on_path[child] = true;
      stack.push_back({children_of_id(pending[child].folder_id), 0, node, child});
    }
    return true;
  };

  for (auto top = top_folders.rbegin(); top != top_folders.rend(); ++top) {
    stack.push_back({children_of_id(top->folder_id), 0, top->node, kTopFrame});
    if (!attach_subtrees(top->mailbox_name)) return;
  }
  // Whether a folder is on a cycle of parents, worked out once per chain of parents.
  std::unordered_map<std::u16string, std::size_t> pending_by_id;
  for (std::size_t position = 0; position < pending.size(); ++position) {
    pending_by_id.try_emplace(pending[position].folder_id, position);
  }
  enum class OnCycle : std::uint8_t { kUnknown, kYes, kNo };
  std::vector<OnCycle> on_cycle(pending.size(), OnCycle::kUnknown);
  auto is_on_cycle = [&](std::size_t position) {
    std::vector<std::size_t> chain;
    std::unordered_map<std::size_t, std::size_t> index_on_chain;
    std::size_t cycle_start = static_cast<std::size_t>(-1);
    for (std::size_t at = position; on_cycle[at] == OnCycle::kUnknown;) {
      if (const auto met = index_on_chain.find(at); met != index_on_chain.end()) {
        cycle_start = met->second;
        break;
      }
      index_on_chain.emplace(at, chain.size());
      chain.push_back(at);
      const auto parent = pending_by_id.find(pending[at].parent_id);
      if (parent == pending_by_id.end()) break;
      at = parent->second;
    }
    // The chain's start up to the cycle hangs below it; the cycle itself is rescued.
    for (std::size_t index = 0; index < chain.size(); ++index) {
      on_cycle[chain[index]] = index >= cycle_start ? OnCycle::kYes : OnCycle::kNo;
    }
    return on_cycle[position] == OnCycle::kYes;
  };
  // The head of a branch whose parent row was lost (damage): no row of the table has its
  // parent's id. A parent left out on purpose (a nameless folder) keeps its branch out.
  auto heads_lost_branch = [&](std::size_t position) {
    return !ids_in_table.contains(pending[position].parent_id);
  };
  for (std::size_t position = 0; position < pending.size(); ++position) {
    const PendingFolder& folder = pending[position];
    if (attached_once[position] || folder.mailbox_node == 0 ||
        !(heads_lost_branch(position) || is_on_cycle(position))) {
      continue;
    }
    if (attached == node_budget || !recovery.pause_gate().Checkpoint()) return;
    const TreeNodeHandle node = attach(folder.mailbox_node, position, folder.mailbox_name);
    on_path[position] = true;
    stack.push_back({children_of_id(folder.folder_id), 0, node, position});
    if (!attach_subtrees(folder.mailbox_name)) return;
  }
}

}  // namespace

bool HandleMailboxRow(Recovery& recovery, const ese::Record* record) {
  if (record == nullptr) return false;
  const ColumnDirectory& directory = recovery.session().columns();
  auto position = [&](std::u16string_view name) {
    return static_cast<int>(directory.Position(ColumnGroup::kMailbox, name));
  };
  const RowValues values(recovery.reader(), record);
  MailboxEntry entry;
  entry.mailbox_key = values.Id(position(u"Q6764"));
  if (recovery.layout() == StoreLayout::k2010)
    entry.alternate_key = values.StoreId(position(u"Q6764"));
  entry.owner_text = values.Text(position(u"S6773"));
  entry.display_name = ReplacedAll(values.Text(position(u"S3001")), u",", u"_");
  entry.tree_item = recovery.AddTreeNode(recovery.root_node(), entry.display_name, u"");
  recovery.model().mailboxes.push_back(std::move(entry));
  return true;
}

void AddPublicMailbox(Recovery& recovery) {
  MailboxEntry entry;
  entry.mailbox_key = kPublicMailboxKey;
  entry.alternate_key = kPublicMailboxKey;
  entry.display_name = kPublicMailboxName;
  entry.owner_text = kPublicMailboxName;
  entry.tree_item = recovery.AddTreeNode(recovery.root_node(), kPublicMailboxName, u"");
  recovery.model().mailboxes.push_back(std::move(entry));
}

bool HandleFolderRow(Recovery& recovery, const ese::Record* record, std::uint32_t record_number) {
  MailboxKeyLookup mailboxes(recovery.model().mailboxes);
  return AddFolderRow(recovery, record, record_number, [&](std::u16string_view mailbox_number) {
    return mailboxes.OwnerOfFolderRow(mailbox_number);
  });
}

RecordHandler FolderRowHandler(Recovery& recovery) {
  // Shared by the copies the scan makes of the handler.
  auto lookup = std::make_shared<std::unique_ptr<MailboxKeyLookup>>();
  return [&recovery, lookup](const ese::Record* record, std::uint32_t record_number) {
    const std::vector<MailboxEntry>& mailboxes = recovery.model().mailboxes;
    if (!*lookup || (*lookup)->mailbox_count() != mailboxes.size()) {
      *lookup = std::make_unique<MailboxKeyLookup>(mailboxes);
    }
    AddFolderRow(recovery, record, record_number, [&](std::u16string_view mailbox_number) {
      return (*lookup)->OwnerOfFolderRow(mailbox_number);
    });
  };
}

void BuildFolderTree(Recovery& recovery) {
  const std::vector<FolderRow>& rows = recovery.model().folder_rows;
  std::unordered_map<std::u16string, std::vector<std::size_t>> rows_by_mailbox;
  std::unordered_map<std::u16string, std::size_t> last_row_by_id;
  for (std::size_t position = 0; position < rows.size(); ++position) {
    rows_by_mailbox[rows[position].mailbox_key].push_back(position);
    if (!rows[position].folder_id.empty()) last_row_by_id[rows[position].folder_id] = position;
  }
  // A row belongs to the first mailbox with its key; a later entry with the same key (a
  // repeated "Mailbox" row) keeps its node empty instead of showing every folder again.
  std::unordered_set<std::u16string> built_keys;
  for (const MailboxEntry& mailbox : recovery.model().mailboxes) {
    if (!built_keys.insert(mailbox.mailbox_key).second) continue;
    const auto owned = rows_by_mailbox.find(mailbox.mailbox_key);
    if (owned == rows_by_mailbox.end()) continue;
    BuildMailboxFolderTree(recovery, mailbox, owned->second, last_row_by_id);
    if (recovery.pause_gate().IsCancelled()) return;
  }
}

bool ScanFolderTable(Recovery& recovery, const ese::Table* table, std::u16string_view table_name) {
  if (table == nullptr || table_name.empty()) return false;
  StoreSession& session = recovery.session();
  FolderColumns columns;
  FindFolderColumnsOfTable(*table, session.columns(), columns);

  const bool public_store = recovery.is_public_store();
  const std::vector<MailboxEntry>& mailboxes = recovery.model().mailboxes;
  MailboxKeyLookup lookup(mailboxes);
  std::vector<PendingFolder> pending;
  std::vector<TopFolder> top_folders;  // oldest first
  std::size_t row_count = 0;
  std::unordered_set<std::u16string> ids_in_table;

  const RecordHandler handle_row = [&](const ese::Record* record, std::uint32_t) {
    ++row_count;
    const RowValues values(recovery.reader(), record);
    std::u16string folder_id = values.Id(columns.folder_id);
    ids_in_table.insert(folder_id);
    std::u16string folder_key = public_store ? values.StoreId(columns.folder_id) : folder_id;
    std::u16string parent_id = values.ParentId(columns.parent_id);
    std::u16string mailbox_key =
        public_store ? std::u16string(kPublicMailboxKey) : values.Id(columns.mailbox_number);
    std::u16string display_name =
        ReplacedAll(values.Text(columns.display_name), u"Public Folder", u"Public_Folder");
    std::u16string folder_kind = ClassifyFolderClass(values.Text(columns.container_class));
    if (display_name == u"Restriction") return;

    const std::optional<std::size_t> owner = lookup.FirstWithKey(mailbox_key);
    if (!owner) return;
    const MailboxEntry& mailbox = mailboxes[*owner];
    const bool top_folder = parent_id == mailbox.mailbox_key || parent_id == u"0";
    if (!top_folder) {
      if (!display_name.empty()) {
        pending.push_back({std::move(folder_id), std::move(folder_key), std::move(parent_id),
                           std::move(mailbox_key), std::move(display_name),
                           std::move(folder_kind), mailbox.tree_item, mailbox.display_name});
      }
      return;
    }
    if (display_name.empty() || mailbox.tree_item == 0) return;
    const TreeNodeHandle node = recovery.AddTreeNode(mailbox.tree_item, display_name, folder_kind);
    recovery.model().folder_nodes.PutAtFront(
        {std::move(folder_key), std::move(parent_id), std::move(mailbox_key), mailbox.display_name,
         std::u16string(table_name), std::move(display_name), std::move(folder_kind), node});
    top_folders.push_back({std::move(folder_id), node, mailbox.display_name});
  };
  session.ScanRecords(table, handle_row, recovery.scan_context());
  if (recovery.pause_gate().IsCancelled()) return true;

  AttachPendingFolders(recovery, table_name, top_folders, pending, ids_in_table,
                       (row_count + 1) * kAttachedNodesPerRow);
  return true;
}

}  // namespace tarvex
