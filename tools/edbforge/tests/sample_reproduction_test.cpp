// The forge rebuilds the engine-written samples basic.edb and text.edb from their independent
// decodings (expected/NAME.json) alone; the program's readers must then see the forge's file as
// they see the engine's, separated long values included.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/utf_conversion.h"
#include "store/store_session.h"
#include "store/stored_value.h"
#include "store/value_reader.h"
#include "support/sample_files.h"
#include "support/test_files.h"
#include "tools/edbforge/encoding/seven_bit_encoder.h"
#include "tools/edbforge/ese/database_writer.h"

namespace tarvex::edbforge {
namespace {

using tarvex::testing::FileBytes;
using tarvex::testing::HexBytes;

using nlohmann::json;
using Bytes = std::vector<uint8_t>;

bool IsAsciiColumn(const std::string& name) {
  return name.find("ASCII") != std::string::npos;
}

ColumnStorage StorageOf(uint32_t identifier) {
  if (identifier < 128) return ColumnStorage::kFixed;
  if (identifier < 256) return ColumnStorage::kVariable;
  return ColumnStorage::kTagged;
}

Guid GuidOf(const std::string& text) {
  const Bytes bytes = tarvex::testing::GuidBytes(text);
  Guid guid;
  std::copy(bytes.begin(), bytes.end(), guid.bytes.begin());
  return guid;
}

// A text value as the column stores it: 8-bit for the ASCII columns, UTF-16LE otherwise.
Bytes StoredText(const std::string& column, const std::string& utf8) {
  if (IsAsciiColumn(column)) return Bytes(utf8.begin(), utf8.end());
  const std::u16string text = Utf8ToUtf16(utf8);
  Bytes bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

// The engine keeps values up to 1024 bytes in the record.
constexpr uint32_t kEngineInlineLimit = 1024;
constexpr std::size_t kPackAbove = 64;

TableDefinition DefinitionOf(const json& expected) {
  TableDefinition table;
  table.name = Utf8ToUtf16(expected.at("table").get<std::string>());
  for (const json& column : expected.at("columns")) {
    ColumnDefinition definition;
    const std::string name = column.at("name").get<std::string>();
    definition.name = Utf8ToUtf16(name);
    definition.identifier = column.at("identifier").get<uint32_t>();
    definition.storage = StorageOf(definition.identifier);
    definition.type = static_cast<ColumnType>(column.at("type").get<uint32_t>());
    const bool text =
        definition.type == ColumnType::kText || definition.type == ColumnType::kLongText;
    if (text) definition.code_page = IsAsciiColumn(name) ? kCodePageWestern : kCodePageUnicode;
    if (definition.storage == ColumnStorage::kFixed &&
        (definition.type == ColumnType::kText || definition.type == ColumnType::kBinary)) {
      definition.fixed_size = 255;  // the engine's width for every fixed text column here
    }
    definition.compressed = name.find("Compressed") != std::string::npos;
    definition.not_null = name == "Id";
    table.columns.push_back(definition);
  }
  return table;
}

Value ValueOf(const ColumnDefinition& column, const json& value) {
  const std::string name = Utf16ToUtf8(column.name);
  switch (column.type) {
    case ColumnType::kBit:
      return value.get<bool>();
    case ColumnType::kUnsignedByte:
      return value.get<uint8_t>();
    case ColumnType::kShort:
      return value.get<int16_t>();
    case ColumnType::kLong:
      return value.get<int32_t>();
    case ColumnType::kCurrency:
    case ColumnType::kLongLong:
      return value.get<int64_t>();
    case ColumnType::kIeeeSingle:
      return std::stof(value.at("float").get<std::string>());
    case ColumnType::kIeeeDouble:
      return std::stod(value.at("float").get<std::string>());
    case ColumnType::kDateTime:
      return FileTime{static_cast<uint64_t>(value.get<int64_t>())};
    case ColumnType::kUnsignedLong:
      return value.get<uint32_t>();
    case ColumnType::kUnsignedShort:
      return value.get<uint16_t>();
    case ColumnType::kGuid:
      return GuidOf(value.get<std::string>());
    case ColumnType::kText:
    case ColumnType::kLongText: {
      Bytes bytes = StoredText(name, value.get<std::string>());
      // The decoding of a fixed column shows its whole width, which for UTF-16 text of an odd
      // width ends in half a unit.
      if (column.fixed_size != 0 && bytes.size() > column.fixed_size) {
        bytes.resize(column.fixed_size);
      }
      // The engine packed the 956-byte MaxLongCompressedASCII in 7 bits in the record and left
      // the values of up to 18 bytes plain; the forge packs those between, as far as they fit.
      if (column.compressed && bytes.size() > kPackAbove && bytes.size() <= kEngineInlineLimit) {
        if (std::optional<Bytes> packed = EncodeSevenBit(bytes)) {
          return RawBytes{.bytes = std::move(*packed), .compressed = true};
        }
      }
      return RawBytes{std::move(bytes)};
    }
    default:
      return HexBytes(value.at("hex").get<std::string>());
  }
}

// Writes the forge's copy of the sample and returns the expected JSON.
json Reproduce(const std::string& name, const std::filesystem::path& path) {
  json expected;
  std::ifstream(tarvex::testing::ExpectedJsonPath(name)) >> expected;
  const TableDefinition definition = DefinitionOf(expected);
  EseDatabaseWriter writer(
      path,
      {.page_size = 4096, .format_revision = 20, .inline_long_value_limit = kEngineInlineLimit});
  TableWriter& table = writer.AddTable(definition);
  for (const json& values : expected.at("records")) {
    Record record;
    for (const ColumnDefinition& column : definition.columns) {
      const json& value = values.at(Utf16ToUtf8(column.name));
      if (!value.is_null()) record.Set(column.name, ValueOf(column, value));
    }
    table.Append(record);
  }
  writer.Finish();
  return expected;
}

struct OpenStore {
  std::unique_ptr<StoreSession> session;
  const ese::Table* table = nullptr;
};

OpenStore OpenTable(const std::filesystem::path& path, const std::string& table_name) {
  OpenStore open;
  StoreSession::OpenResult result = StoreSession::Open(path);
  if (auto* session = std::get_if<std::unique_ptr<StoreSession>>(&result)) {
    open.session = std::move(*session);
    open.session->BuildTableCatalog();
    open.table = open.session->OpenTableByName(Utf8ToUtf16(table_name));
  }
  return open;
}

struct ColumnInfo {
  std::u16string name;
  uint32_t identifier = 0;
  uint32_t type = 0;
  bool operator==(const ColumnInfo&) const = default;
};

std::vector<ColumnInfo> ColumnsOf(const ese::Table& table) {
  std::vector<ColumnInfo> columns;
  for (const ese::ColumnSchema& column : table.columns()) {
    columns.push_back({column.name, column.identifier, static_cast<uint32_t>(column.type)});
  }
  return columns;
}

// What the readers make of one value: its text and, for a plain value, its stored bytes; for a
// long value the bytes the body writer puts in its file.
struct ReadOut {
  std::optional<std::u16string> text;
  std::optional<uint8_t> flags;
  Bytes bytes;
  std::optional<Bytes> long_bytes;
};

ReadOut ReadOutOf(ValueReader& reader, const ese::Record* record, int entry) {
  ReadOut out;
  out.text = reader.ReadValueText(record, entry);
  if (const std::optional<RawValue> raw = GetRawValue(record, entry)) {
    out.flags = raw->flags;
    out.bytes.assign(raw->bytes.begin(), raw->bytes.end());
    if ((raw->flags & kValueFlagLongValue) != 0) {
      const std::optional<std::u16string> path = reader.WriteHtmlBodyFile(record, entry);
      if (path && !path->empty()) {
        Bytes bytes = FileBytes(reader.working_folder() / "blank.html");
        if (!bytes.empty()) out.long_bytes = std::move(bytes);
      }
    }
  }
  return out;
}

// Every difference the readers see between the engine's file and the forge's, as text.
std::vector<std::string> Differences(const std::string& name) {
  std::vector<std::string> differences;
  const std::optional<tarvex::testing::UnpackedSample> sample =
      tarvex::testing::UnpackedSample::Unpack(name);
  if (!sample) return {"sample missing"};
  tarvex::testing::ScratchFolder folder;
  const json expected = Reproduce(name, folder / (name + ".edb"));
  const TableDefinition definition = DefinitionOf(expected);

  OpenStore original = OpenTable(sample->DatabasePath(), name);
  OpenStore forged = OpenTable(folder / (name + ".edb"), name);
  if (!original.table || !forged.table) return {"table not opened"};
  if (original.session->format_revision() != forged.session->format_revision() ||
      original.session->page_size() != forged.session->page_size()) {
    differences.push_back("format revision or page size");
  }
  const std::vector<ColumnInfo> columns = ColumnsOf(*original.table);
  if (columns != ColumnsOf(*forged.table)) differences.push_back("columns");
  if (columns.size() != definition.columns.size()) differences.push_back("column count");

  std::filesystem::create_directories(folder / "original");
  std::filesystem::create_directories(folder / "forged");
  BodyState original_body;
  BodyState forged_body;
  ValueReader original_reader(*original.session, folder / "original", original_body);
  ValueReader forged_reader(*forged.session, folder / "forged", forged_body);
  const json& records = expected.at("records");
  for (std::size_t r = 0; r < records.size(); ++r) {
    const std::optional<ese::Record> original_record =
        original.table->ReadRecord(static_cast<uint32_t>(r));
    const std::optional<ese::Record> forged_record =
        forged.table->ReadRecord(static_cast<uint32_t>(r));
    if (!original_record || !forged_record) {
      differences.push_back("record " + std::to_string(r));
      continue;
    }
    for (std::size_t c = 0; c < definition.columns.size(); ++c) {
      const ColumnDefinition& column = definition.columns[c];
      const std::string where = Utf16ToUtf8(column.name) + " of record " + std::to_string(r);
      const int entry = static_cast<int>(c);
      const ReadOut engine = ReadOutOf(original_reader, &*original_record, entry);
      const ReadOut forge = ReadOutOf(forged_reader, &*forged_record, entry);
      if (engine.text != forge.text) differences.push_back("text of " + where);
      if (!engine.flags || !forge.flags) {
        if (engine.flags != forge.flags) differences.push_back("presence of " + where);
        continue;
      }
      const bool plain =
          *engine.flags <= kValueFlagVariableSize && *forge.flags <= kValueFlagVariableSize;
      if (!plain && *engine.flags != *forge.flags) differences.push_back("flags of " + where);
      // Separated values differ in their long-value keys only; those are compared below.
      if ((plain || *engine.flags == *forge.flags) && (*forge.flags & kValueFlagLongValue) == 0 &&
          engine.bytes != forge.bytes) {
        differences.push_back("bytes of " + where);
      }
      if ((*forge.flags & kValueFlagLongValue) != 0) {
        // The separated value as the independent reader decoded it.
        const json& value = records[r].at(Utf16ToUtf8(column.name));
        const Bytes decoded = column.type == ColumnType::kLongText
                                  ? StoredText(Utf16ToUtf8(column.name), value.get<std::string>())
                                  : HexBytes(value.at("hex").get<std::string>());
        if (forge.long_bytes != decoded) differences.push_back("long value of " + where);
        if (engine.long_bytes != forge.long_bytes) {
          differences.push_back("engine long value of " + where);
        }
      }
    }
  }
  return differences;
}

// For "text": the engine's record holds the unset fixed columns 4 and 5 (their null bits set,
// their width filled with '*'); the forge's record ends with the last fixed column set. Both read
// as empty.
TEST(SampleReproduction, TablesReadAsTheEnginesFiles) {
  for (const char* name : {"basic", "text"}) {
    EXPECT_EQ(Differences(name), std::vector<std::string>{}) << name;
  }
}

}  // namespace
}  // namespace tarvex::edbforge
