#include "esedb_read_back.h"

#include "tools/esedb_reference/esedb_handles.h"

namespace tarvex::edbforge::testing {
namespace {

using namespace tarvex::esedb_reference;

// `size` bytes read by `read(buffer, size)`; none when libesedb fails.
template <typename Read>
std::optional<std::vector<uint8_t>> Data(size_t size, Read read) {
  std::vector<uint8_t> bytes(size);
  if (size > 0 && read(bytes.data(), size) != 1) return std::nullopt;
  return bytes;
}

bool ReadValueEntry(libesedb_record_t* record, int entry, ReadValue& value) {
  size_t size = 0;
  if (libesedb_record_get_value_data_flags(record, entry, &value.flags, nullptr) != 1 ||
      libesedb_record_get_value_data_size(record, entry, &size, nullptr) != 1) {
    return false;
  }
  value.present = size > 0;
  if (!value.present) return true;
  auto bytes = Data(size, [&](uint8_t* data, size_t n) {
    return libesedb_record_get_value_data(record, entry, data, n, nullptr);
  });
  if (!bytes) return false;
  value.bytes = std::move(*bytes);
  if ((value.flags & 0x04) != 0 && (value.flags & 0x08) == 0) {
    libesedb_long_value_t* raw = nullptr;
    const int found = libesedb_record_get_long_value(record, entry, &raw, nullptr);
    value.long_value_missing = found == 0;
    if (found != 1) return found == 0;
    const EsedbLongValue long_value(raw);
    size64_t long_size = 0;
    if (libesedb_long_value_get_data_size(raw, &long_size, nullptr) != 1) return false;
    value.long_value = Data(static_cast<size_t>(long_size), [&](uint8_t* data, size_t n) {
      return libesedb_long_value_get_data(raw, data, n, nullptr);
    });
    return value.long_value.has_value();
  }
  if ((value.flags & 0x08) == 0) return true;
  const EsedbMultiValue multi = GetMultiValue(record, entry);
  int count = 0;
  if (!multi || libesedb_multi_value_get_number_of_values(multi.get(), &count, nullptr) != 1) {
    return false;
  }
  value.multi_values.emplace();
  for (int index = 0; index < count; ++index) {
    size_t item_size = 0;
    if (libesedb_multi_value_get_value_data_size(multi.get(), index, &item_size, nullptr) != 1) {
      return false;
    }
    auto item = Data(item_size, [&](uint8_t* data, size_t n) {
      return libesedb_multi_value_get_value_data(multi.get(), index, data, n, nullptr);
    });
    if (!item) return false;
    value.multi_values->push_back(std::move(*item));
  }
  return true;
}

std::u16string TemplateName(libesedb_table_t* table) {
  size_t size = 0;
  uint16_t name[1024] = {0};
  if (libesedb_table_get_utf16_template_name_size(table, &size, nullptr) != 1 || size == 0 ||
      libesedb_table_get_utf16_template_name(table, name, 1024, nullptr) != 1) {
    return {};
  }
  std::u16string text;
  for (size_t i = 0; i < 1024 && name[i] != 0; ++i) text.push_back(static_cast<char16_t>(name[i]));
  return text;
}

}  // namespace

std::optional<ReadDatabase> ReadBack(const std::filesystem::path& path, std::string& error,
                                     bool with_records) {
  const EsedbFile file = OpenEsedbFile(path);
  if (!file) {
    error = "libesedb cannot open " + path.string();
    return std::nullopt;
  }
  ReadDatabase database;
  libesedb_file_get_format_version(file.get(), &database.format_version, &database.format_revision,
                                   nullptr);
  libesedb_file_get_page_size(file.get(), &database.page_size, nullptr);
  int table_count = 0;
  libesedb_file_get_number_of_tables(file.get(), &table_count, nullptr);
  for (int table_index = 0; table_index < table_count; ++table_index) {
    const std::string where = "table " + std::to_string(table_index);
    const EsedbTable table = GetTable(file.get(), table_index);
    const std::optional<std::u16string> name = table ? TableName(table.get()) : std::nullopt;
    int column_count = 0;
    if (!name ||
        libesedb_table_get_number_of_columns(table.get(), &column_count, 0, nullptr) != 1) {
      error = where + ": no name or columns";
      return std::nullopt;
    }
    ReadTable read{*name, TemplateName(table.get()), {}, {}};
    for (int column_index = 0; column_index < column_count; ++column_index) {
      const EsedbColumn column = GetColumn(table.get(), column_index);
      const std::optional<std::u16string> column_name =
          column ? ColumnName(column.get()) : std::nullopt;
      if (!column_name) {
        error = where + " column " + std::to_string(column_index);
        return std::nullopt;
      }
      ReadColumn read_column{*column_name, 0, 0};
      libesedb_column_get_identifier(column.get(), &read_column.identifier, nullptr);
      libesedb_column_get_type(column.get(), &read_column.type, nullptr);
      read.columns.push_back(std::move(read_column));
    }
    int record_count = 0;
    if (with_records &&
        libesedb_table_get_number_of_records(table.get(), &record_count, nullptr) != 1) {
      error = where + ": no record count";
      return std::nullopt;
    }
    for (int record_index = 0; record_index < record_count; ++record_index) {
      const EsedbRecord record = GetRecord(table.get(), record_index);
      int value_count = 0;
      if (record) libesedb_record_get_number_of_values(record.get(), &value_count, nullptr);
      std::vector<ReadValue> values(static_cast<size_t>(value_count));
      for (int entry = 0; entry < value_count; ++entry) {
        if (!ReadValueEntry(record.get(), entry, values[static_cast<size_t>(entry)])) {
          error =
              where + " record " + std::to_string(record_index) + " value " + std::to_string(entry);
          return std::nullopt;
        }
      }
      if (!record) {
        error = where + " record " + std::to_string(record_index);
        return std::nullopt;
      }
      read.records.push_back(std::move(values));
    }
    database.tables.push_back(std::move(read));
  }
  return database;
}

}  // namespace tarvex::edbforge::testing
