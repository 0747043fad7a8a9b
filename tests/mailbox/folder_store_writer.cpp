#include "folder_store_writer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "tools/edbforge/ese/database_writer.h"

namespace tarvex::testing {
namespace {

using edbforge::ColumnDefinition;
using edbforge::ColumnStorage;
using edbforge::ColumnType;
using edbforge::Record;
using edbforge::TableDefinition;

ColumnDefinition Column(std::u16string name, ColumnType type) {
  ColumnDefinition column;
  column.name = std::move(name);
  column.type = type;
  column.storage = ColumnStorage::kTagged;
  if (type == ColumnType::kBinary) column.compressed = true;  // lets FlaggedId values in
  return column;
}

TableDefinition Table(std::u16string name, std::vector<ColumnDefinition> columns,
                      const std::vector<std::u16string>& missing) {
  TableDefinition table;
  table.name = std::move(name);
  ColumnDefinition id;
  id.name = u"Id";
  id.type = ColumnType::kLong;
  id.storage = ColumnStorage::kFixed;
  table.columns.push_back(id);
  for (ColumnDefinition& column : columns) {
    if (std::find(missing.begin(), missing.end(), column.name) == missing.end()) {
      table.columns.push_back(std::move(column));
    }
  }
  return table;
}

bool HasColumn(const TableDefinition& table, std::u16string_view name) {
  return std::any_of(table.columns.begin(), table.columns.end(),
                     [&](const ColumnDefinition& column) { return column.name == name; });
}

void SetId(Record& record, const TableDefinition& table, std::u16string_view column,
           const std::optional<IdValue>& value) {
  if (!value || !HasColumn(table, column)) return;
  switch (value->form) {
    case IdValue::Form::kBinary: {
      std::vector<std::uint8_t> bytes(8);
      for (int i = 0; i < 8; ++i) {
        bytes[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(value->number >> (56 - 8 * i));
      }
      record.Set(column, std::move(bytes));
      break;
    }
    case IdValue::Form::kCurrency:
      record.Set(column, static_cast<std::int64_t>(value->number));
      break;
    case IdValue::Form::kFlaggedBytes:
      record.Set(column, edbforge::RawBytes{value->bytes, true});
      break;
  }
}

void SetText(Record& record, const TableDefinition& table, std::u16string_view column,
             const std::optional<std::u16string>& value) {
  if (value && HasColumn(table, column)) record.Set(column, *value);
}

}  // namespace

IdValue Id(std::uint64_t number) {
  return {IdValue::Form::kBinary, number, {}};
}
IdValue CurrencyId(std::uint64_t number) {
  return {IdValue::Form::kCurrency, number, {}};
}
IdValue FlaggedId(std::string_view text) {
  return {IdValue::Form::kFlaggedBytes, 0, std::vector<std::uint8_t>(text.begin(), text.end())};
}

void WriteFolderStore(const std::filesystem::path& path, const FolderStoreShape& shape) {
  edbforge::EseDatabaseWriter writer(path, {8192, shape.format_revision});
  bool currency_mailbox = false;
  for (const MailboxRowShape& row : shape.mailboxes) {
    if (row.number && row.number->form == IdValue::Form::kCurrency) currency_mailbox = true;
  }
  if (shape.private_store) {
    const TableDefinition definition =
        Table(u"Mailbox",
              {Column(u"Q6764", currency_mailbox ? ColumnType::kCurrency : ColumnType::kBinary),
               Column(u"S3001", ColumnType::kText), Column(u"S6773", ColumnType::kText)},
              {});
    edbforge::TableWriter& table = writer.AddTable(definition);
    std::int32_t id = 1;
    for (const MailboxRowShape& row : shape.mailboxes) {
      Record record;
      record.Set(u"Id", id++);
      SetId(record, definition, u"Q6764", row.number);
      SetText(record, definition, u"S3001", row.display_name);
      SetText(record, definition, u"S6773", row.owner);
      table.Append(record);
    }
  }
  for (const FolderTableShape& folders : shape.folder_tables) {
    bool currency_ids = false;
    for (const FolderRowShape& row : folders.rows) {
      for (const auto* value : {&row.folder_id, &row.parent_id, &row.mailbox_number}) {
        if (*value && (*value)->form == IdValue::Form::kCurrency) currency_ids = true;
      }
    }
    const ColumnType id_type = currency_ids ? ColumnType::kCurrency : ColumnType::kBinary;
    const TableDefinition definition =
        Table(folders.name,
              {Column(u"Q6748", id_type), Column(u"Q6749", id_type), Column(u"Q6764", id_type),
               Column(u"S3001", ColumnType::kText), Column(u"S3613", ColumnType::kText),
               Column(u"L3602", ColumnType::kLong), Column(u"S6707", ColumnType::kText)},
              folders.missing_columns);
    edbforge::TableWriter& table = writer.AddTable(definition);
    std::int32_t id = 1;
    for (const FolderRowShape& row : folders.rows) {
      Record record;
      record.Set(u"Id", id++);
      SetId(record, definition, u"Q6748", row.folder_id);
      SetId(record, definition, u"Q6749", row.parent_id);
      SetId(record, definition, u"Q6764", row.mailbox_number);
      SetText(record, definition, u"S3001", row.display_name);
      SetText(record, definition, u"S3613", row.container_class);
      if (HasColumn(definition, u"L3602")) record.Set(u"L3602", std::int32_t{0});
      SetText(record, definition, u"S6707", row.url_path);
      table.Append(record);
    }
  }
  writer.Finish();
}

}  // namespace tarvex::testing
