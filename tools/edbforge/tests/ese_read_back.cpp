#include "ese_read_back.h"

#include "ese/database.h"

namespace tarvex::edbforge::testing {
namespace {

ReadValue ReadEntry(const ese::Record& record, std::size_t position) {
  ReadValue value;
  const std::optional<ese::StoredValue> stored = record.Value(position);
  if (!stored || !stored->present || stored->bytes.empty()) return value;
  value.present = true;
  value.flags = stored->flags;
  value.bytes.assign(stored->bytes.begin(), stored->bytes.end());
  const bool multi = (stored->flags & ese::value_flag::kMultiValue) != 0;
  if ((stored->flags & ese::value_flag::kSeparated) != 0 && !multi) {
    const ese::LongValues* long_values = record.table().long_values();
    std::vector<uint8_t> whole;
    const auto size = long_values == nullptr
                          ? std::nullopt
                          : long_values->ForEachSegment(
                                stored->bytes, [&](const ese::LongValueSegment& segment) {
                                  whole.insert(whole.end(), segment.stored.begin(),
                                               segment.stored.end());
                                });
    if (size) {
      value.long_value = std::move(whole);
    } else {
      value.long_value_missing = true;
    }
  } else if (multi) {
    if (const auto parts = ese::SplitMultiValue(*stored)) {
      std::vector<std::vector<uint8_t>> values;
      for (const ese::MultiValuePart& part : *parts) values.emplace_back(part.bytes.begin(), part.bytes.end());
      value.multi_values = std::move(values);
    }
  }
  return value;
}

}  // namespace

std::optional<ReadDatabase> ReadBackWithOurReader(const std::filesystem::path& path,
                                                  std::string& error) {
  ese::Database::OpenResult opened = ese::Database::Open(path);
  if (!opened.database) {
    error = "our reader cannot open " + path.string();
    return std::nullopt;
  }
  const ese::Database& database = *opened.database;
  ReadDatabase read;
  read.format_version = database.header().format_version;
  read.format_revision = database.header().format_revision;
  read.page_size = database.layout().page_size;
  for (const auto& table : database.tables()) {
    ReadTable read_table;
    read_table.name = table->name();
    read_table.template_name = table->schema().template_name;
    for (const ese::ColumnSchema& column : table->columns()) {
      read_table.columns.push_back(
          {column.name, column.identifier, static_cast<uint32_t>(column.type)});
    }
    table->ForEachRecord([&](std::uint32_t number, const ese::Record* record) {
      if (record == nullptr) {
        error = "record " + std::to_string(number) + " cannot be read";
        return false;
      }
      std::vector<ReadValue> values;
      for (std::size_t position = 0; position < record->column_count(); ++position) {
        values.push_back(ReadEntry(*record, position));
      }
      read_table.records.push_back(std::move(values));
      return true;
    });
    if (!error.empty()) return std::nullopt;
    read.tables.push_back(std::move(read_table));
  }
  return read;
}

}  // namespace tarvex::edbforge::testing
