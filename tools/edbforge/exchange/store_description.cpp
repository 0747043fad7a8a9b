#include "tools/edbforge/exchange/store_description.h"

namespace tarvex::edbforge {

CellValue Text(std::u16string text, Compression compression) {
  CellValue value;
  value.kind = CellKind::kText;
  value.text = std::move(text);
  value.compression = compression;
  return value;
}

CellValue Bytes(std::vector<uint8_t> bytes) {
  CellValue value;
  value.kind = CellKind::kBytes;
  value.bytes = std::move(bytes);
  return value;
}

CellValue Integer(int64_t number) {
  CellValue value;
  value.kind = CellKind::kInteger;
  value.integer = number;
  return value;
}

CellValue Flag(bool flag) {
  CellValue value;
  value.kind = CellKind::kBoolean;
  value.boolean = flag;
  return value;
}

CellValue Time(uint64_t filetime) {
  CellValue value;
  value.kind = CellKind::kTime;
  value.time = filetime;
  return value;
}

CellValue Id(Identifier id) {
  CellValue value;
  value.kind = CellKind::kIdentifier;
  value.id = id;
  return value;
}

Cells& Cells::Set(std::u16string column, CellValue value) {
  cells_.push_back(Cell{std::move(column), {std::move(value)}});
  return *this;
}

Cells& Cells::SetMulti(std::u16string column, std::vector<CellValue> values) {
  cells_.push_back(Cell{std::move(column), std::move(values)});
  return *this;
}

const Cell* Cells::Find(std::u16string_view column) const {
  for (const Cell& cell : cells_) {
    if (cell.column == column) return &cell;
  }
  return nullptr;
}

AttachmentDescription& ItemDescription::AddAttachment(std::u16string name,
                                                      std::vector<uint8_t> data) {
  attachments.push_back(AttachmentDescription{std::move(name), std::move(data), std::nullopt, {}});
  return attachments.back();
}

FolderDescription& FolderDescription::AddFolder(std::u16string folder_name,
                                                std::u16string folder_class) {
  FolderDescription folder;
  folder.name = std::move(folder_name);
  folder.container_class = std::move(folder_class);
  folders.push_back(std::move(folder));
  return folders.back();
}

ItemDescription& FolderDescription::AddItem(std::u16string item_class) {
  ItemDescription item;
  item.message_class = std::move(item_class);
  items.push_back(std::move(item));
  return items.back();
}

FolderDescription& MailboxDescription::AddFolder(std::u16string folder_name,
                                                 std::u16string folder_class) {
  FolderDescription folder;
  folder.name = std::move(folder_name);
  folder.container_class = std::move(folder_class);
  folders.push_back(std::move(folder));
  return folders.back();
}

MailboxDescription& StoreDescription::AddMailbox(std::u16string name, std::u16string owner) {
  MailboxDescription mailbox;
  mailbox.name = std::move(name);
  mailbox.owner = std::move(owner);
  mailboxes.push_back(std::move(mailbox));
  return mailboxes.back();
}

}  // namespace tarvex::edbforge
