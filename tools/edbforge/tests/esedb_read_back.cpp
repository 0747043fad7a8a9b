#include "esedb_read_back.h"

#include <libesedb.h>

#include <memory>

namespace tarvex::edbforge::testing {
namespace {

struct ErrorText {
  libesedb_error_t* error = nullptr;
  ~ErrorText() {
    if (error != nullptr) libesedb_error_free(&error);
  }
  std::string Take(const std::string& what) {
    char text[512] = {0};
    if (error != nullptr) libesedb_error_backtrace_sprint(error, text, sizeof(text));
    return what + ": " + text;
  }
};

template <typename T, int (*Free)(T**, libesedb_error_t**)>
struct Freer {
  void operator()(T* handle) const { Free(&handle, nullptr); }
};

struct FileCloser {
  void operator()(libesedb_file_t* file) const {
    libesedb_file_close(file, nullptr);
    libesedb_file_free(&file, nullptr);
  }
};

using File = std::unique_ptr<libesedb_file_t, FileCloser>;
using Table = std::unique_ptr<libesedb_table_t, Freer<libesedb_table_t, libesedb_table_free>>;
using Column = std::unique_ptr<libesedb_column_t, Freer<libesedb_column_t, libesedb_column_free>>;
using RecordHandle =
    std::unique_ptr<libesedb_record_t, Freer<libesedb_record_t, libesedb_record_free>>;
using LongValue =
    std::unique_ptr<libesedb_long_value_t, Freer<libesedb_long_value_t, libesedb_long_value_free>>;
using MultiValue = std::unique_ptr<libesedb_multi_value_t,
                                   Freer<libesedb_multi_value_t, libesedb_multi_value_free>>;

std::u16string Utf16(const uint16_t* text, size_t size) {
  std::u16string out;
  for (size_t i = 0; i < size && text[i] != 0; ++i) out.push_back(static_cast<char16_t>(text[i]));
  return out;
}

bool ReadValueEntry(libesedb_record_t* record, int entry, ReadValue& value, std::string& error) {
  ErrorText failure;
  size_t size = 0;
  if (libesedb_record_get_value_data_flags(record, entry, &value.flags, &failure.error) != 1 ||
      libesedb_record_get_value_data_size(record, entry, &size, &failure.error) != 1) {
    error = failure.Take("value " + std::to_string(entry));
    return false;
  }
  value.present = size > 0;
  if (value.present) {
    value.bytes.resize(size);
    if (libesedb_record_get_value_data(record, entry, value.bytes.data(), size, &failure.error) !=
        1) {
      error = failure.Take("value data " + std::to_string(entry));
      return false;
    }
  }
  if (!value.present) return true;
  if ((value.flags & 0x04) != 0 && (value.flags & 0x08) == 0) {
    libesedb_long_value_t* raw = nullptr;
    const int found = libesedb_record_get_long_value(record, entry, &raw, &failure.error);
    if (found == 0) {
      value.long_value_missing = true;
      return true;
    }
    if (found != 1) {
      error = failure.Take("long value " + std::to_string(entry));
      return false;
    }
    LongValue long_value(raw);
    size64_t long_size = 0;
    if (libesedb_long_value_get_data_size(raw, &long_size, &failure.error) != 1) {
      error = failure.Take("long value size");
      return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(long_size));
    if (long_size > 0 &&
        libesedb_long_value_get_data(raw, bytes.data(), bytes.size(), &failure.error) != 1) {
      error = failure.Take("long value data");
      return false;
    }
    value.long_value = std::move(bytes);
  } else if ((value.flags & 0x08) != 0) {
    libesedb_multi_value_t* raw = nullptr;
    if (libesedb_record_get_multi_value(record, entry, &raw, &failure.error) != 1) {
      error = failure.Take("multi value " + std::to_string(entry));
      return false;
    }
    MultiValue multi(raw);
    int count = 0;
    if (libesedb_multi_value_get_number_of_values(raw, &count, &failure.error) != 1) {
      error = failure.Take("multi value count");
      return false;
    }
    std::vector<std::vector<uint8_t>> values;
    for (int index = 0; index < count; ++index) {
      size_t item_size = 0;
      if (libesedb_multi_value_get_value_data_size(raw, index, &item_size, &failure.error) != 1) {
        error = failure.Take("multi value item size");
        return false;
      }
      std::vector<uint8_t> item(item_size);
      if (item_size > 0 && libesedb_multi_value_get_value_data(raw, index, item.data(), item_size,
                                                               &failure.error) != 1) {
        error = failure.Take("multi value item");
        return false;
      }
      values.push_back(std::move(item));
    }
    value.multi_values = std::move(values);
  }
  return true;
}

}  // namespace

std::optional<ReadDatabase> ReadBack(const std::filesystem::path& path, std::string& error,
                                     bool with_records) {
  ErrorText failure;
  libesedb_file_t* raw_file = nullptr;
  if (libesedb_file_initialize(&raw_file, &failure.error) != 1) {
    error = failure.Take("initialize");
    return std::nullopt;
  }
  if (libesedb_file_open(raw_file, path.c_str(), LIBESEDB_OPEN_READ, &failure.error) != 1) {
    libesedb_file_free(&raw_file, nullptr);
    error = failure.Take("open");
    return std::nullopt;
  }
  File file(raw_file);
  ReadDatabase database;
  libesedb_file_get_format_version(raw_file, &database.format_version, &database.format_revision,
                                   &failure.error);
  libesedb_file_get_page_size(raw_file, &database.page_size, &failure.error);
  int table_count = 0;
  if (libesedb_file_get_number_of_tables(raw_file, &table_count, &failure.error) != 1) {
    error = failure.Take("tables");
    return std::nullopt;
  }
  for (int table_index = 0; table_index < table_count; ++table_index) {
    libesedb_table_t* raw_table = nullptr;
    if (libesedb_file_get_table(raw_file, table_index, &raw_table, &failure.error) != 1) {
      error = failure.Take("table " + std::to_string(table_index));
      return std::nullopt;
    }
    Table table(raw_table);
    ReadTable read;
    uint16_t name[1024];
    if (libesedb_table_get_utf16_name(raw_table, name, 1024, &failure.error) != 1) {
      error = failure.Take("table name");
      return std::nullopt;
    }
    read.name = Utf16(name, 1024);
    size_t template_size = 0;
    if (libesedb_table_get_utf16_template_name_size(raw_table, &template_size, nullptr) == 1 &&
        template_size > 0 &&
        libesedb_table_get_utf16_template_name(raw_table, name, 1024, nullptr) == 1) {
      read.template_name = Utf16(name, 1024);
    }
    int column_count = 0;
    if (libesedb_table_get_number_of_columns(raw_table, &column_count, 0, &failure.error) != 1) {
      error = failure.Take("columns of " + std::to_string(table_index));
      return std::nullopt;
    }
    for (int column_index = 0; column_index < column_count; ++column_index) {
      libesedb_column_t* raw_column = nullptr;
      if (libesedb_table_get_column(raw_table, column_index, &raw_column, 0, &failure.error) != 1) {
        error = failure.Take("column");
        return std::nullopt;
      }
      Column column(raw_column);
      ReadColumn read_column;
      libesedb_column_get_identifier(raw_column, &read_column.identifier, nullptr);
      libesedb_column_get_type(raw_column, &read_column.type, nullptr);
      if (libesedb_column_get_utf16_name(raw_column, name, 1024, &failure.error) != 1) {
        error = failure.Take("column name");
        return std::nullopt;
      }
      read_column.name = Utf16(name, 1024);
      read.columns.push_back(std::move(read_column));
    }
    if (with_records) {
      int record_count = 0;
      if (libesedb_table_get_number_of_records(raw_table, &record_count, &failure.error) != 1) {
        error = failure.Take("records of " + std::to_string(table_index));
        return std::nullopt;
      }
      for (int record_index = 0; record_index < record_count; ++record_index) {
        libesedb_record_t* raw_record = nullptr;
        if (libesedb_table_get_record(raw_table, record_index, &raw_record, &failure.error) != 1) {
          error = failure.Take("table " + std::to_string(table_index) + " record " +
                               std::to_string(record_index));
          return std::nullopt;
        }
        RecordHandle record(raw_record);
        int value_count = 0;
        libesedb_record_get_number_of_values(raw_record, &value_count, nullptr);
        std::vector<ReadValue> values(static_cast<size_t>(value_count));
        for (int entry = 0; entry < value_count; ++entry) {
          if (!ReadValueEntry(raw_record, entry, values[static_cast<size_t>(entry)], error)) {
            error = "table " + std::to_string(table_index) + " record " +
                    std::to_string(record_index) + ": " + error;
            return std::nullopt;
          }
        }
        read.records.push_back(std::move(values));
      }
    }
    database.tables.push_back(std::move(read));
  }
  return database;
}

}  // namespace tarvex::edbforge::testing
