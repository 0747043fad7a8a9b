#include "tools/edbforge/exchange/store_rows.h"

#include <algorithm>
#include <array>

namespace tarvex::edbforge {
namespace {

// Columns of an older-layout content table row: what the folder's item list is read from.
constexpr std::array<std::u16string_view, 17> kContentRowColumns = {
    u"N67b0", u"S1a", u"S42",  u"S4031", u"N67bd", u"N67b9", u"N67ba", u"Se1d", u"S3d",
    u"Be1b",  u"T39", u"Te06", u"T3007", u"S1000", u"Le23",  u"N67be", u"S70"};

// Columns of a 2010 "MsgHeader-" row.
constexpr std::array<std::u16string_view, 19> kHeaderRowColumns = {
    u"N67b0", u"Q6748", u"S1a",   u"S42",  u"Se1d", u"S3d",   u"S70",
    u"Be1b",  u"Te06",  u"T3007", u"T39",  u"Se04", u"S4031", u"N67bd",
    u"N67be", u"N67b9", u"N67ba", u"Le23", u"S1000"};

template <size_t N>
bool Contains(const std::array<std::u16string_view, N>& names, std::u16string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

void SetUnlessGiven(Cells& row, const Cells& given, std::u16string column, CellValue value) {
  if (!given.Has(column)) row.Set(std::move(column), std::move(value));
}

void Append(Cells& row, const Cells& cells) {
  for (const Cell& cell : cells.cells()) row.cells().push_back(cell);
}

// The item's attachment list: the attachments' identifiers, 8 bytes each, one after another.
// Read as hexadecimal digits it holds each attachment's identifier text.
std::vector<uint8_t> AttachmentList(const std::vector<Identifier>& ids) {
  std::vector<uint8_t> bytes;
  for (const Identifier& id : ids) bytes.insert(bytes.end(), id.bytes.begin(), id.bytes.end());
  return bytes;
}

Cells AttachmentRow(StoreLayout layout, const AttachmentDescription& attachment,
                    const Identifier& id) {
  Cells row;
  const Cells& given = attachment.cells;
  SetUnlessGiven(row, given, layout == StoreLayout::kOlder ? u"Q3f88" : u"N65f9", Id(id));
  SetUnlessGiven(row, given, u"L3705", Integer(1));  // attached by value
  if (!attachment.name.empty()) SetUnlessGiven(row, given, u"S3001", Text(attachment.name));
  SetUnlessGiven(row, given, u"N3701", Bytes(attachment.data));
  Append(row, given);
  return row;
}

}  // namespace

std::u16string EscapePathSegment(std::u16string_view name) {
  std::u16string escaped;
  for (char16_t unit : name) {
    switch (unit) {
      case u'%':
        escaped += u"%25";
        break;
      case u'/':
        escaped += u"%2F";
        break;
      case u'#':
        escaped += u"%23";
        break;
      case u'+':
        escaped += u"%2B";
        break;
      default:
        escaped.push_back(unit);
    }
  }
  return escaped;
}

Cells MailboxRow(const PlannedMailbox& mailbox) {
  Cells row;
  const Cells& given = mailbox.description->cells;
  SetUnlessGiven(row, given, u"Q6764", Id(mailbox.id));
  SetUnlessGiven(row, given, u"S3001", Text(mailbox.description->name));
  SetUnlessGiven(row, given, u"S6773", Text(mailbox.description->owner));
  Append(row, given);
  return row;
}

Cells FolderRow(StoreLayout layout, const PlannedFolder& folder,
                const std::optional<Identifier>& parent_id,
                const std::optional<Identifier>& mailbox_id) {
  static const Cells kNoCells;
  const Cells& given = folder.description != nullptr ? folder.description->cells : kNoCells;
  Cells row;
  SetUnlessGiven(row, given, u"Q6748", Id(folder.id));
  if (parent_id) SetUnlessGiven(row, given, u"Q6749", Id(*parent_id));
  if (mailbox_id) SetUnlessGiven(row, given, u"Q6764", Id(*mailbox_id));
  if (folder.description != nullptr) {
    SetUnlessGiven(row, given, u"S3001", Text(folder.description->name));
    if (!folder.description->container_class.empty()) {
      SetUnlessGiven(row, given, u"S3613", Text(folder.description->container_class));
    }
  }
  SetUnlessGiven(row, given, u"L3602", Integer(folder.item_count));
  if (layout == StoreLayout::kOlder) {
    SetUnlessGiven(row, given, u"S6707", Text(folder.path.empty() ? u"/" : folder.path));
  }
  Append(row, given);
  return row;
}

ItemRows MakeItemRows(StoreLayout layout, const PlannedFolder& folder, const ItemDescription& item,
                      const ItemIds& ids, uint32_t position) {
  const Cells& given = item.cells;
  const bool has_attachments = !item.attachments.empty();
  Cells all;  // every property of the item, explicit ones first
  Append(all, given);
  SetUnlessGiven(all, given, u"N67b0", Id(ids.message));
  if (!item.message_class.empty()) SetUnlessGiven(all, given, u"S1a", Text(item.message_class));
  SetUnlessGiven(all, given, u"Be1b", Flag(has_attachments));
  if (has_attachments) SetUnlessGiven(all, given, u"N67b3", Bytes(AttachmentList(ids.attachments)));

  ItemRows rows;
  if (layout == StoreLayout::kOlder) {
    rows.main = all;
    for (const Cell& cell : all.cells()) {
      if (Contains(kContentRowColumns, cell.column)) rows.listing.cells().push_back(cell);
    }
    SetUnlessGiven(rows.listing, given, u"Le23", Integer(position));
  } else {
    rows.main.Set(u"N65f9", Id(ids.message));
    SetUnlessGiven(rows.main, given, u"L3705", Integer(0));  // the body row of the item
    for (const Cell& cell : all.cells()) {
      if (cell.column != u"N67b0" && cell.column != u"Q6748" && cell.column != u"N65f9") {
        rows.main.cells().push_back(cell);
      }
      if (Contains(kHeaderRowColumns, cell.column)) rows.listing.cells().push_back(cell);
    }
    SetUnlessGiven(rows.listing, given, u"Q6748", Id(folder.id));
  }
  for (size_t index = 0; index < item.attachments.size(); ++index) {
    rows.attachments.push_back(
        AttachmentRow(layout, item.attachments[index], ids.attachments[index]));
  }
  return rows;
}

}  // namespace tarvex::edbforge
