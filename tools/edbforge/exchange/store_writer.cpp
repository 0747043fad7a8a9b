#include "tools/edbforge/exchange/store_writer.h"

#include <algorithm>
#include <set>

#include "base/utf_conversion.h"
#include "tools/edbforge/ese/ese_error.h"
#include "tools/edbforge/exchange/cell_encoding.h"
#include "tools/edbforge/exchange/column_convention.h"
#include "tools/edbforge/exchange/scenario_error.h"

namespace tarvex::edbforge {
namespace {

std::string Quoted(std::u16string_view text) {
  return "\"" + Utf16ToUtf8(text) + "\"";
}

std::string ColumnPlace(const std::string& place, std::u16string_view column) {
  return place + ", column " + Quoted(column);
}

// The indexes Exchange keeps on its tables, by the columns it looks items and folders up
// with (folder id, message id, delivery time); each only where the table has its columns.
std::vector<IndexDefinition> StoreIndexes(StoreLayout layout, const std::u16string& table,
                                          const std::unordered_set<std::u16string>& columns) {
  std::vector<IndexDefinition> wanted;
  if (table.starts_with(u"Folders")) {
    wanted = {{u"FolderId", {u"Q6748"}}, {u"ParentFolderId", {u"Q6749", u"Q6748"}}};
  } else if (table == u"Msg") {
    wanted = {{u"MessageId", {u"N67b0"}}};
  } else if (table.starts_with(u"MsgHeader-")) {
    wanted = {{u"FolderDeliveryTime", {u"Q6748", u"Te06"}}, {u"MessageId", {u"N67b0"}}};
  } else if (layout == StoreLayout::kOlder) {
    wanted = {{u"DeliveryTime", {u"Te06"}}, {u"MessageId", {u"N67b0"}}};
  }
  std::erase_if(wanted, [&](const IndexDefinition& index) {
    return std::any_of(index.columns.begin(), index.columns.end(),
                       [&](const std::u16string& column) { return !columns.contains(column); });
  });
  return wanted;
}

}  // namespace

StoreWriter::StoreWriter(const StoreDescription& description, std::filesystem::path path,
                         std::string source)
    : layout_(description.layout),
      kind_(description.kind),
      options_{.page_size = description.page_size,
               .format_revision = description.format_revision,
               .libesedb_long_value_layout = description.libesedb_long_value_layout},
      attachment_table_(description.attachment_table),
      template_table_(description.template_table),
      declared_columns_(description.columns),
      path_(std::move(path)),
      source_(std::move(source)) {
  const std::string store_place = source_.empty() ? std::string("store") : source_;
  if (layout_ == StoreLayout::k2010 && description.format_revision <= 16) {
    throw ScenarioError(store_place + ": the 2010 layout needs format revision 17 or above");
  }
  if (kind_ == StoreKind::kPublic && !description.mailboxes.empty()) {
    throw ScenarioError(store_place + ": a public store has no mailboxes, only folders");
  }
  if (kind_ == StoreKind::kPrivate && !description.folders.empty()) {
    throw ScenarioError(store_place + ": the folders of a private store belong to its mailboxes");
  }
  if (layout_ == StoreLayout::kOlder) {
    const std::set<std::u16string> reserved = {u"Mailbox", u"Folders", u"Msg"};
    if (attachment_table_.empty() || template_table_.empty() ||
        reserved.contains(attachment_table_) || reserved.contains(template_table_) ||
        attachment_table_ == template_table_) {
      throw ScenarioError(store_place +
                          ": the attachment table and the template table need names of their "
                          "own");
    }
  }
  // The readers take a column found at position 0 for an absent one; every table therefore
  // starts with a column they never read.
  declared_columns_[std::u16string(kLeadingColumn)] =
      ColumnDeclaration{ColumnType::kLong, ColumnStorage::kFixed, kCodePageUnicode, 4};
  for (const auto& [name, column] : declared_columns_) {
    const std::string place = store_place + ", columns, " + Quoted(name);
    const std::optional<TagPrefix> prefix = PrefixOf(name);
    if (!prefix) throw ScenarioError(place + ": unknown column (not a column tag name)");
    if (!TypeSuitsPrefix(column.type, *prefix)) {
      throw ScenarioError(place + ": unknown type for this column: " + ColumnTypeName(column.type) +
                          " does not suit its prefix");
    }
  }

  const std::string prefix = source_.empty() ? std::string() : source_ + ": ";
  if (kind_ == StoreKind::kPrivate) {
    std::set<std::u16string> suffixes;
    for (size_t index = 0; index < description.mailboxes.size(); ++index) {
      const MailboxDescription& mailbox = description.mailboxes[index];
      PlannedMailbox planned;
      planned.description = &mailbox;
      planned.id = mailbox.id.value_or(MakeIdentifier(1, 0xA0000000 + index));
      planned.table_suffix = mailbox.table_suffix.empty() ? Utf8ToUtf16(std::to_string(101 + index))
                                                          : mailbox.table_suffix;
      planned.place = prefix + "mailbox " + Quoted(mailbox.name);
      if (layout_ == StoreLayout::k2010 && !suffixes.insert(planned.table_suffix).second) {
        throw ScenarioError(planned.place + ": table suffix " + Quoted(planned.table_suffix) +
                            " is used by another mailbox");
      }
      mailboxes_.push_back(std::move(planned));
      // The 2010 layout shows a folder at the top of its mailbox when its parent is the
      // mailbox: the root folder there carries the mailbox's number.
      const std::optional<Identifier> root_id =
          layout_ == StoreLayout::k2010 ? std::optional<Identifier>(mailboxes_.back().id)
                                        : std::nullopt;
      const size_t root = PlanFolder(index, std::nullopt, nullptr, root_id,
                                     mailboxes_.back().place + ", root folder");
      PlanFolders(mailbox.folders, index, root, mailboxes_.back().place + ", ", u"");
    }
  } else if (layout_ == StoreLayout::kOlder) {
    const size_t root = PlanFolder(0, std::nullopt, nullptr, std::nullopt, prefix + "root folder");
    PlanFolders(description.folders, 0, root, prefix, u"");
  } else {
    PlanFolders(description.folders, 0, std::nullopt, prefix, u"");
  }

  // Catalogue order, and the columns each table has whatever its rows hold.
  if (layout_ == StoreLayout::kOlder) {
    if (kind_ == StoreKind::kPrivate) table_order_.push_back(u"Mailbox");
    table_order_.insert(table_order_.end(),
                        {u"Folders", u"Msg", attachment_table_, template_table_});
    for (const PlannedFolder& folder : folders_) table_order_.push_back(folder.content_table);
    for (const char16_t* name : {kLeadingColumn.data(), u"N67b0", u"S1a", u"Le23"}) {
      content_columns_.Add(name);
      shared_content_columns_.insert(name);
    }
  } else if (kind_ == StoreKind::kPrivate) {
    table_order_.push_back(u"Mailbox");
    for (const PlannedMailbox& mailbox : mailboxes_) {
      table_order_.push_back(u"Folders-" + mailbox.table_suffix);
      table_order_.push_back(u"MsgHeader-" + mailbox.table_suffix);
      table_order_.push_back(u"Body-" + mailbox.table_suffix);
      for (const PlannedFolder& folder : folders_) {
        if (&mailboxes_[folder.mailbox] == &mailbox && !folder.view_table.empty()) {
          table_order_.push_back(folder.view_table);
        }
      }
    }
  } else {
    table_order_.push_back(u"Folders");
    for (const PlannedFolder& folder : folders_) {
      table_order_.push_back(folder.header_table);
      table_order_.push_back(folder.body_table);
      table_order_.push_back(folder.view_table);
    }
  }
  for (const std::u16string& table : table_order_) {
    TableColumns& columns = columns_[table];
    columns.Add(std::u16string(kLeadingColumn));
    if (table == u"Msg" || table.starts_with(u"MsgHeader-")) columns.Add(u"N67b0");
    if (table.starts_with(u"Body-")) columns.Add(u"N65f9");
    if (table.starts_with(u"MsgView-")) {
      for (const char16_t* name : {u"N67b0", u"Q6748", u"Te06"}) columns.Add(name);
    }
    if (table.starts_with(u"Folders")) columns.Add(u"Q6748");
    if (table == u"Mailbox") columns.Add(u"Q6764");
    if (layout_ == StoreLayout::kOlder && table == attachment_table_) columns.Add(u"Q3f88");
  }

  for (const PlannedMailbox& mailbox : mailboxes_) {
    Declare(u"Mailbox", MailboxRow(mailbox), mailbox.place);
  }
  for (size_t index = 0; index < folders_.size(); ++index) {
    const PlannedFolder& folder = folders_[index];
    std::optional<Identifier> parent_id;
    if (folder.parent) {
      parent_id = folders_[*folder.parent].id;
    } else if (layout_ == StoreLayout::k2010) {
      parent_id = Identifier{};  // the top of the 2010 tree
    }
    std::optional<Identifier> mailbox_id;
    if (kind_ == StoreKind::kPrivate) mailbox_id = mailboxes_[folder.mailbox].id;
    const std::u16string table = layout_ == StoreLayout::k2010 && kind_ == StoreKind::kPrivate
                                     ? u"Folders-" + mailboxes_[folder.mailbox].table_suffix
                                     : std::u16string(u"Folders");
    Declare(table, FolderRow(layout_, folder, parent_id, mailbox_id), folder.place);
  }
}

StoreWriter::~StoreWriter() = default;

void StoreWriter::PlanFolders(const std::vector<FolderDescription>& descriptions, size_t mailbox,
                              std::optional<size_t> parent, const std::string& owner_place,
                              const std::u16string& path) {
  for (const FolderDescription& description : descriptions) {
    const std::u16string folder_path = path + description.name;
    const size_t index = PlanFolder(mailbox, parent, &description, description.id,
                                    owner_place + "folder " + Quoted(folder_path));
    PlanFolders(description.folders, mailbox, index, owner_place, folder_path + u"/");
  }
}

size_t StoreWriter::PlanFolder(size_t mailbox, std::optional<size_t> parent,
                               const FolderDescription* description, std::optional<Identifier> id,
                               const std::string& place) {
  PlannedFolder folder;
  folder.mailbox = mailbox;
  folder.parent = parent;
  folder.description = description;
  folder.id = id.value_or(MakeIdentifier(1, 0x100 + folders_.size()));
  folder.place = place;
  folder.item_count = description != nullptr ? static_cast<uint32_t>(description->items.size()) : 0;
  for (const PlannedFolder& other : folders_) {
    if (other.id == folder.id) {
      throw ScenarioError(place + ": folder id " + Utf16ToUtf8(IdentifierHexText(folder.id)) +
                          " is used by another folder");
    }
  }
  if (description != nullptr) {
    const std::u16string base = parent ? folders_[*parent].path : std::u16string();
    folder.path = base + u"/" + EscapePathSegment(description->name);
    // A path given in the scenario is the one the children extend.
    if (const Cell* given = description->cells.Find(u"S6707");
        given != nullptr && given->values.size() == 1 &&
        given->values.front().kind == CellKind::kText) {
      folder.path = given->values.front().text;
    }
  }
  if (layout_ == StoreLayout::kOlder) {
    const std::optional<std::u16string> table = ContentTableName(folder.id);
    if (!table) {
      throw ScenarioError(place + ": folder id " + Utf16ToUtf8(IdentifierHexText(folder.id)) +
                          " has no replica number to name a content table after");
    }
    folder.content_table = *table;
  } else if (kind_ == StoreKind::kPublic) {
    const std::u16string key = options_.format_revision == 17 ? ReplicaCounterText(folder.id)
                                                              : IdentifierHexText(folder.id);
    folder.header_table = u"MsgHeader-" + key;
    folder.body_table = u"Body-" + key;
    folder.view_table = u"MsgView-" + key;
  } else {
    folder.header_table = u"MsgHeader-" + mailboxes_[mailbox].table_suffix;
    folder.body_table = u"Body-" + mailboxes_[mailbox].table_suffix;
    if (description != nullptr) {
      folder.view_table =
          u"MsgView-" + mailboxes_[mailbox].table_suffix + u"-" + IdentifierHexText(folder.id);
    }
  }
  folders_.push_back(std::move(folder));
  return folders_.size() - 1;
}

std::u16string StoreWriter::MainTable(const PlannedFolder& folder) const {
  return layout_ == StoreLayout::kOlder ? std::u16string(u"Msg") : folder.body_table;
}

std::u16string StoreWriter::ListingTable(const PlannedFolder& folder) const {
  return layout_ == StoreLayout::kOlder ? folder.content_table : folder.header_table;
}

std::u16string StoreWriter::AttachmentTable(const PlannedFolder& folder) const {
  return layout_ == StoreLayout::kOlder ? attachment_table_ : folder.body_table;
}

void StoreWriter::Declare(const std::u16string& table, const Cells& row, const std::string& place) {
  Check(row, place);
  TableColumns& columns = columns_[table];
  for (const Cell& cell : row.cells()) columns.Add(cell.column);
}

void StoreWriter::Check(const Cells& row, const std::string& place) const {
  std::unordered_set<std::u16string_view> in_row;
  for (const Cell& cell : row.cells()) {
    const std::string column_place = ColumnPlace(place, cell.column);
    if (!in_row.insert(cell.column).second) {
      throw ScenarioError(column_place + ": duplicate column");
    }
    const ColumnDeclaration description =
        ResolveColumn(declared_columns_, cell.column, column_place);
    const std::optional<TagPrefix> prefix = PrefixOf(cell.column);
    if (cell.values.size() > 1 && !IsMultiValued(*prefix)) {
      throw ScenarioError(column_place +
                          ": several values for a column that is not "
                          "multi-valued (MS or MN)");
    }
    for (const CellValue& value : cell.values)
      EncodeCell(cell.column, description, value, column_place);
  }
}

void StoreWriter::DeclareItem(size_t folder, const ItemDescription& item,
                              const std::string& place) {
  const PlannedFolder& planned = folders_.at(folder);
  ItemIds ids;
  ids.attachments.resize(item.attachments.size());
  const ItemRows rows = MakeItemRows(layout_, planned, item, ids, 0);
  Declare(MainTable(planned), rows.main, place);
  if (layout_ == StoreLayout::kOlder) {
    // The columns are shared out between the template and the folder's table at Start.
    Check(rows.listing, place);
    for (const Cell& cell : rows.listing.cells()) {
      content_columns_.Add(cell.column);
      content_column_folders_[cell.column].insert(folder);
    }
  } else {
    Declare(ListingTable(planned), rows.listing, place);
  }
  for (size_t index = 0; index < rows.attachments.size(); ++index) {
    Declare(AttachmentTable(planned), rows.attachments[index],
            place + ", attachment " + std::to_string(index + 1));
  }
}

void StoreWriter::DeclareSharedItem(const ItemDescription& item) {
  for (size_t folder = 0; folder < folders_.size(); ++folder) {
    DeclareItem(folder, item, folders_[folder].place + ", sample item");
  }
  if (layout_ == StoreLayout::kOlder) {
    for (const std::u16string& name : content_columns_.names) shared_content_columns_.insert(name);
  }
}

TableDefinition StoreWriter::Definition(const std::u16string& name,
                                        const TableColumns& columns) const {
  TableDefinition definition;
  definition.name = name;
  for (const std::u16string& column : columns.names) {
    definition.columns.push_back(
        MakeColumnDefinition(column, ResolveColumn(declared_columns_, column, "")));
  }
  return definition;
}

void StoreWriter::Start() {
  writer_ = std::make_unique<EseDatabaseWriter>(path_, options_);
  std::vector<TableColumns> own_columns(folders_.size());
  TableColumns template_columns;
  if (layout_ == StoreLayout::kOlder) {
    // A column that only one folder's items use becomes a column of that folder's own table;
    // every other one comes from the template. The reader then meets both kinds.
    std::vector<std::pair<size_t, std::u16string>> own;
    for (const std::u16string& name : content_columns_.names) {
      const auto users = content_column_folders_.find(name);
      const bool tagged =
          ResolveColumn(declared_columns_, name, "").storage == ColumnStorage::kTagged;
      if (!shared_content_columns_.contains(name) && tagged &&
          users != content_column_folders_.end() && users->second.size() == 1) {
        own.emplace_back(*users->second.begin(), name);
      } else {
        template_columns.Add(name);
      }
    }
    // The reader cannot read a derived table with more columns of its own than its template.
    for (const auto& [folder, name] : own) {
      if (own_columns[folder].names.size() < template_columns.names.size()) {
        own_columns[folder].Add(name);
      } else {
        template_columns.Add(name);
      }
    }
  }

  for (const std::u16string& table : table_order_) {
    TableDefinition definition;
    if (layout_ == StoreLayout::kOlder && table == template_table_) {
      definition = Definition(table, template_columns);
      definition.is_template = true;
    } else if (layout_ == StoreLayout::kOlder && table == attachment_table_) {
      definition = Definition(table, columns_[table]);
      definition.callback = std::u16string(kAttachmentCallback);
    } else {
      const auto folder = std::find_if(folders_.begin(), folders_.end(), [&](const auto& f) {
        return layout_ == StoreLayout::kOlder && f.content_table == table;
      });
      if (folder != folders_.end()) {
        definition = Definition(table, own_columns[folder - folders_.begin()]);
        definition.template_table = template_table_;
      } else {
        definition = Definition(table, columns_[table]);
      }
    }
    std::unordered_set<std::u16string> columns;
    for (const ColumnDefinition& column : definition.columns) columns.insert(column.name);
    if (!definition.template_table.empty()) {
      columns.insert(template_columns.names.begin(), template_columns.names.end());
    }
    definition.indexes = StoreIndexes(layout_, table, columns);
    try {
      tables_[table] = &writer_->AddTable(definition);
    } catch (const EseWriteError& error) {
      throw ScenarioError((source_.empty() ? std::string() : source_ + ": ") + error.what());
    }
  }

  writer_->ReserveCatalogPages();
  for (const PlannedMailbox& mailbox : mailboxes_) {
    mailbox_rows_.push_back({u"Mailbox", Write(u"Mailbox", MailboxRow(mailbox), mailbox.place)});
  }
  for (const PlannedFolder& folder : folders_) {
    std::optional<Identifier> parent_id;
    if (folder.parent) {
      parent_id = folders_[*folder.parent].id;
    } else if (layout_ == StoreLayout::k2010) {
      parent_id = Identifier{};
    }
    std::optional<Identifier> mailbox_id;
    if (kind_ == StoreKind::kPrivate) mailbox_id = mailboxes_[folder.mailbox].id;
    const std::u16string table = layout_ == StoreLayout::k2010 && kind_ == StoreKind::kPrivate
                                     ? u"Folders-" + mailboxes_[folder.mailbox].table_suffix
                                     : std::u16string(u"Folders");
    folder_rows_.push_back(
        {table, Write(table, FolderRow(layout_, folder, parent_id, mailbox_id), folder.place)});
  }
  next_position_.assign(folders_.size(), 0);
}

ItemIds StoreWriter::NextIds(const ItemDescription& item) {
  ItemIds ids;
  ids.message = item.id.value_or(MakeIdentifier(1, next_message_));
  if (!item.id) ++next_message_;
  for (const AttachmentDescription& attachment : item.attachments) {
    ids.attachments.push_back(attachment.id.value_or(MakeIdentifier(1, next_attachment_)));
    if (!attachment.id) ++next_attachment_;
  }
  return ids;
}

void StoreWriter::AddItem(size_t folder, const ItemDescription& item, const std::string& place) {
  if (!writer_) throw ScenarioError(place + ": items are added after Start()");
  const PlannedFolder& planned = folders_.at(folder);
  const ItemIds ids = NextIds(item);
  const uint32_t position = next_position_[folder];
  ++next_position_[folder];
  const ItemRows rows = MakeItemRows(layout_, planned, item, ids, position);
  const uint32_t main = Write(MainTable(planned), rows.main, place, item.state);
  const uint32_t listing = Write(ListingTable(planned), rows.listing, place, item.state);
  for (size_t index = 0; index < rows.attachments.size(); ++index) {
    Write(AttachmentTable(planned), rows.attachments[index],
          place + ", attachment " + std::to_string(index + 1), item.state);
  }
  item_rows_.push_back({folder, position, item.state, {ListingTable(planned), listing},
                        {MainTable(planned), main}});
  if (!planned.view_table.empty() && item.state == ItemState::kLive) {
    Cells view;
    for (const Cell& cell : rows.listing.cells()) {
      if (cell.column == u"N67b0" || cell.column == u"Q6748" || cell.column == u"Te06") {
        view.Set(cell.column, cell.values.front());
      }
    }
    Write(planned.view_table, view, place + ", view");
  }
  if (!item.earlier_cells) return;
  // The older copy keeps the item's ids and keys and differs in the cells given.
  ItemDescription earlier = item;
  for (const Cell& cell : item.earlier_cells->cells()) {
    auto own = std::find_if(earlier.cells.cells().begin(), earlier.cells.cells().end(),
                            [&](const Cell& mine) { return mine.column == cell.column; });
    if (own == earlier.cells.cells().end()) {
      throw ScenarioError(ColumnPlace(place + ", earlier_cells", cell.column) +
                          ": an earlier version may change only cells the item sets");
    }
    *own = cell;
  }
  const ItemRows earlier_rows = MakeItemRows(layout_, planned, earlier, ids, position);
  const std::string earlier_place = place + ", earlier version";
  Write(MainTable(planned), earlier_rows.main, earlier_place, ItemState::kReleased, main);
  Write(ListingTable(planned), earlier_rows.listing, earlier_place, ItemState::kReleased,
        listing);
}

uint32_t StoreWriter::Write(const std::u16string& table, const Cells& row,
                            const std::string& place, ItemState state,
                            std::optional<uint32_t> copy_of) {
  Record record;
  for (const Cell& cell : row.cells()) {
    const std::string column_place = ColumnPlace(place, cell.column);
    for (const Record::Cell& earlier : record.cells()) {
      if (earlier.column == cell.column) throw ScenarioError(column_place + ": duplicate column");
    }
    const ColumnDeclaration description =
        ResolveColumn(declared_columns_, cell.column, column_place);
    const bool multi = IsMultiValued(*PrefixOf(cell.column));
    if (cell.values.size() > 1 && !multi) {
      throw ScenarioError(column_place +
                          ": several values for a column that is not "
                          "multi-valued (MS or MN)");
    }
    for (const CellValue& value : cell.values) {
      record.Add(cell.column, EncodeCell(cell.column, description, value, column_place));
    }
  }
  try {
    TableWriter& writer = *tables_.at(table);
    switch (state) {
      case ItemState::kLive: return writer.Append(record);
      case ItemState::kDeleted: return writer.AppendDeleted(record);
      case ItemState::kReleased: return writer.AppendReleased(record, copy_of);
    }
    return 0;
  } catch (const EseWriteError& error) {
    throw ScenarioError(place + ": " + error.what());
  }
}

uint32_t StoreWriter::PageOf(const RowPlace& row) const {
  const auto table = tables_.find(row.table);
  if (table == tables_.end()) return 0;
  return table->second->PageOfRecord(row.record).value_or(0);
}

StorePages StoreWriter::Pages() const {
  StorePages pages;
  for (const RowPlace& row : mailbox_rows_) pages.mailbox_pages.push_back(PageOf(row));
  for (const RowPlace& row : folder_rows_) pages.folder_pages.push_back(PageOf(row));
  for (const PlannedFolder& folder : folders_) {
    std::vector<std::u16string> path;
    if (folder.parent) {
      path = pages.folder_paths[*folder.parent];
    } else if (kind_ == StoreKind::kPrivate) {
      path.push_back(mailboxes_[folder.mailbox].description->name);
    }
    if (folder.description != nullptr) path.push_back(folder.description->name);
    pages.folder_paths.push_back(std::move(path));
    pages.folder_parents.push_back(folder.parent);
    pages.folder_mailboxes.push_back(folder.mailbox);
  }
  for (const ItemPlace& item : item_rows_) {
    pages.items.push_back(
        {item.folder, item.index, item.state, PageOf(item.listing), PageOf(item.main)});
  }
  return pages;
}

void StoreWriter::Finish() {
  if (!writer_) Start();
  try {
    writer_->Finish();
  } catch (const EseWriteError& error) {
    throw ScenarioError((source_.empty() ? std::string() : source_ + ": ") + error.what());
  }
}

}  // namespace tarvex::edbforge
