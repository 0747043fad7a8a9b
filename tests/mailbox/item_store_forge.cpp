#include "item_store_forge.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tarvex::testing {

namespace ef = edbforge;

edbforge::TableDefinition ExchangeTable(std::u16string name,
                                        std::initializer_list<std::u16string_view> columns) {
  ef::TableDefinition table;
  table.name = std::move(name);
  ef::ColumnDefinition id;
  id.name = u"Id";
  id.type = ef::ColumnType::kLong;
  id.storage = ef::ColumnStorage::kFixed;
  table.columns.push_back(id);
  for (std::u16string_view column_name : columns) {
    ef::ColumnDefinition column;
    column.name = std::u16string(column_name);
    column.storage = ef::ColumnStorage::kTagged;
    switch (column_name.front()) {
      case u'S':
        column.type = ef::ColumnType::kLongText;
        break;
      case u'L':
        column.type = ef::ColumnType::kLong;
        break;
      case u'B':
        column.type = ef::ColumnType::kBit;
        break;
      case u'T':
        column.type = ef::ColumnType::kDateTime;
        break;
      default:
        // Identifiers are 8-byte binary values; data and display texts may be long.
        column.type = column_name == u"N3701" || column_name == u"N67b4" || column_name == u"N67b5"
                          ? ef::ColumnType::kLongBinary
                          : ef::ColumnType::kBinary;
        break;
    }
    if (column_name == u"N1009" || column_name == u"N1013") {
      column.type = ef::ColumnType::kLongBinary;
    } else if (column_name.starts_with(u"MS") || column_name.starts_with(u"MN")) {
      column.type = column_name[1] == u'S' ? ef::ColumnType::kLongText : ef::ColumnType::kBinary;
      column.multi_valued = true;
    }
    table.columns.push_back(column);
  }
  return table;
}

edbforge::Record WithTexts(
    edbforge::Record record,
    std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> texts) {
  for (const auto& [column, text] : texts) record.Set(std::u16string(column), std::u16string(text));
  return record;
}

std::vector<std::uint8_t> Utf8Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint8_t> IdBytes(std::uint64_t value) {
  std::vector<std::uint8_t> bytes(8);
  for (int i = 7; i >= 0; --i) {
    bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
  return bytes;
}

edbforge::FileTime FileTimeOf(int year, unsigned month, unsigned day, int hours, int minutes,
                              int seconds) {
  using namespace std::chrono;
  const sys_days date =
      year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
  const sys_days epoch = year_month_day{std::chrono::year{1601}, January, std::chrono::day{1}};
  const auto since = duration_cast<std::chrono::seconds>(date - epoch) + hours * 1h +
                     minutes * 1min + std::chrono::seconds(seconds);
  return {static_cast<std::uint64_t>(since.count()) * 10000000ULL};
}

edbforge::RawBytes LongAnsiText(std::string_view text) {
  return {std::vector<std::uint8_t>(text.begin(), text.end()), false,
          ef::LongValuePlacement::kSeparate};
}

OpenedStore::OpenedStore(const std::filesystem::path& database,
                         const std::filesystem::path& working_folder, WindowPort* window)
    : pages_(working_folder),
      recovery_(window ? *window : recorder_, gate_, working_folder, working_folder, pages_) {
  StoreSession::OpenResult opened = StoreSession::Open(database);
  auto* session = std::get_if<std::unique_ptr<StoreSession>>(&opened);
  if (session == nullptr) {
    ADD_FAILURE() << "cannot open " << database;
    return;
  }
  recovery_.AttachSession(std::move(*session));
  EXPECT_EQ(recovery_.session().BuildTableCatalog(), CatalogResult::kComplete);
  recovery_.session().RecogniseLayout();
}

}  // namespace tarvex::testing
