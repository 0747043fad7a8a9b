#pragma once

// Reads a whole database back through libesedb, the reader the program uses, into plain data
// that tests compare with what was written.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::edbforge::testing {

struct ReadColumn {
  std::u16string name;
  uint32_t identifier = 0;
  uint32_t type = 0;
};

struct ReadValue {
  bool present = false;        // the library holds data for the entry
  uint8_t flags = 0;           // value flags as stored
  std::vector<uint8_t> bytes;  // the entry's bytes as stored
  // Filled when the entry is a long value the library resolves through the long-value tree.
  std::optional<std::vector<uint8_t>> long_value;
  // The entry is flagged as a long value but the library finds none.
  bool long_value_missing = false;
  // Filled when the entry is a multi value: each value's bytes.
  std::optional<std::vector<std::vector<uint8_t>>> multi_values;
};

struct ReadTable {
  std::u16string name;
  std::u16string template_name;
  std::vector<ReadColumn> columns;  // with the template's columns
  std::vector<std::vector<ReadValue>> records;
};

struct ReadDatabase {
  uint32_t format_version = 0;
  uint32_t format_revision = 0;
  uint32_t page_size = 0;
  std::vector<ReadTable> tables;
};

// Empty (with the library's message in `error`) when something cannot be read.
std::optional<ReadDatabase> ReadBack(const std::filesystem::path& path, std::string& error,
                                     bool with_records = true);

}  // namespace tarvex::edbforge::testing
