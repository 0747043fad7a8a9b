// Random schemas and values of every kind, written and read back through libesedb and through
// our own reader: every table, column and value must come back as written, and the two readers
// agree value for value.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>

#include "ese_read_back.h"
#include "esedb_read_back.h"
#include "support/test_files.h"
#include "tools/edbforge/ese/database_writer.h"

namespace tarvex::edbforge {
namespace {

using testing::ReadBack;
using testing::ReadBackWithOurReader;
using testing::ReadDatabase;
using testing::ReadTable;
using testing::ReadValue;
using tarvex::testing::ScratchFolder;
using Bytes = std::vector<uint8_t>;

class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(engine_() % bound); }
  bool Chance(uint32_t percent) { return Below(100) < percent; }
  Bytes RandomBytes(size_t size) {
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(engine_());
    return bytes;
  }

 private:
  std::mt19937 engine_;
};

// What one column of one record should read back as.
struct Expected {
  // kUnsetFixed: a fixed column before the record's last one that was not set; its null bit
  // says so, which libesedb ignores (it reads the engine's fill, '*' bytes).
  enum class Kind { kAbsent, kBytes, kMulti, kUnsetFixed } kind = Kind::kAbsent;
  Bytes bytes;
  std::vector<Bytes> multi;
  bool compressed = false;
};

struct ModelTable {
  TableDefinition definition;
  std::vector<ColumnLayout> columns;  // reader order, worked out from the definitions
  std::vector<std::vector<Expected>> records;
};

constexpr ColumnType kFixedTypes[] = {
    ColumnType::kBit,        ColumnType::kUnsignedByte, ColumnType::kShort,
    ColumnType::kLong,       ColumnType::kCurrency,     ColumnType::kIeeeSingle,
    ColumnType::kIeeeDouble, ColumnType::kDateTime,     ColumnType::kBinary,
    ColumnType::kText,       ColumnType::kUnsignedLong, ColumnType::kLongLong,
    ColumnType::kGuid,       ColumnType::kUnsignedShort};

ColumnDefinition RandomColumn(Random& random, ColumnStorage storage, int number) {
  ColumnDefinition column;
  static const char16_t kPrefixes[] = u"STQNLMBI";
  char name[16];
  std::snprintf(name, sizeof(name), "%04x", number);
  column.name = std::u16string(1, kPrefixes[random.Below(8)]);
  for (const char* c = name; *c != 0; ++c) column.name.push_back(static_cast<char16_t>(*c));
  column.storage = storage;
  if (storage == ColumnStorage::kTagged && random.Chance(30)) {
    column.type = random.Chance(50) ? ColumnType::kLongBinary : ColumnType::kLongText;
  } else {
    column.type = kFixedTypes[random.Below(std::size(kFixedTypes))];
  }
  if (storage == ColumnStorage::kFixed &&
      (column.type == ColumnType::kBinary || column.type == ColumnType::kText)) {
    column.fixed_size = 1 + random.Below(40);
  }
  if (column.type == ColumnType::kText || column.type == ColumnType::kLongText) {
    column.code_page = random.Chance(50) ? kCodePageUnicode : kCodePageWestern;
  }
  column.multi_valued = storage == ColumnStorage::kTagged && random.Chance(25);
  column.compressed = storage == ColumnStorage::kTagged && random.Chance(20);
  return column;
}

// The columns a reader should list, from the definitions alone: each storage numbered from its
// first identifier in declaration order, fixed before variable before tagged; a derived
// table's template columns first, its own tagged ones numbered from 256 again.
std::vector<ColumnLayout> ExpectedColumns(const TableDefinition& definition,
                                          const std::vector<ColumnLayout>* template_columns) {
  std::vector<ColumnLayout> columns;
  if (template_columns != nullptr) columns = *template_columns;
  for (const ColumnStorage storage :
       {ColumnStorage::kFixed, ColumnStorage::kVariable, ColumnStorage::kTagged}) {
    uint32_t identifier = storage == ColumnStorage::kFixed      ? 1
                          : storage == ColumnStorage::kVariable ? 128
                                                                : 256;
    for (const ColumnDefinition& column : definition.columns) {
      if (column.storage != storage) continue;
      ColumnLayout layout;
      layout.name = column.name;
      layout.type = column.type;
      layout.storage = storage;
      layout.identifier = identifier++;
      layout.fixed_size = column.fixed_size != 0 ? column.fixed_size : NaturalSize(column.type);
      layout.code_page = column.code_page;
      layout.multi_valued = column.multi_valued;
      layout.compressed = column.compressed;
      columns.push_back(layout);
    }
  }
  return columns;
}

// A value for the column and the bytes it is stored as.
std::pair<Value, Bytes> RandomValue(Random& random, const ColumnLayout& column, bool allow_long) {
  auto natural = [&](auto value) {
    Bytes bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    return std::pair<Value, Bytes>{Value(value), bytes};
  };
  switch (column.type) {
    case ColumnType::kBit: {
      const bool value = random.Chance(50);
      return {Value(value), Bytes{static_cast<uint8_t>(value ? 0xff : 0)}};
    }
    case ColumnType::kUnsignedByte:
      return natural(static_cast<uint8_t>(random.Below(256)));
    case ColumnType::kShort:
      return natural(static_cast<int16_t>(random.Below(65536)));
    case ColumnType::kUnsignedShort:
      return natural(static_cast<uint16_t>(random.Below(65536)));
    case ColumnType::kLong:
      return natural(static_cast<int32_t>(random.Below(0xffffffffU)));
    case ColumnType::kUnsignedLong:
      return natural(random.Below(0xffffffffU));
    case ColumnType::kCurrency:
    case ColumnType::kLongLong:
      return natural(static_cast<int64_t>((uint64_t{random.Below(0xffffffffU)} << 32) |
                                          random.Below(0xffffffffU)));
    case ColumnType::kIeeeSingle:
      return natural(static_cast<float>(random.Below(100000)) / 7.0f);
    case ColumnType::kIeeeDouble:
      return natural(static_cast<double>(random.Below(1000000)) / 3.0);
    case ColumnType::kDateTime: {
      const FileTime time{0x01d0000000000000ULL + random.Below(0xffffffffU)};
      Bytes bytes(8);
      std::memcpy(bytes.data(), &time.ticks, 8);
      return {Value(time), bytes};
    }
    case ColumnType::kGuid: {
      Guid guid;
      const Bytes bytes = random.RandomBytes(16);
      std::copy(bytes.begin(), bytes.end(), guid.bytes.begin());
      return {Value(guid), bytes};
    }
    default:
      break;
  }
  size_t size = 1 + random.Below(column.storage == ColumnStorage::kFixed ? column.fixed_size : 40);
  if (allow_long &&
      (column.type == ColumnType::kLongBinary || column.type == ColumnType::kLongText) &&
      random.Chance(15)) {
    size = 500 + random.Below(20000);
  }
  if (column.type == ColumnType::kText || column.type == ColumnType::kLongText) {
    if (column.code_page == kCodePageWestern) {
      AnsiText text;
      for (size_t i = 0; i < size; ++i)
        text.bytes.push_back(static_cast<char>(0x20 + random.Below(95)));
      return {Value(text), Bytes(text.bytes.begin(), text.bytes.end())};
    }
    std::u16string text;
    Bytes bytes;
    for (size_t i = 0; i < (size + 1) / 2; ++i) {
      char16_t unit = static_cast<char16_t>(0x20 + random.Below(0xd000));
      text.push_back(unit);
      bytes.push_back(static_cast<uint8_t>(unit));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return {Value(text), bytes};
  }
  const Bytes bytes = random.RandomBytes(size);
  return {Value(bytes), bytes};
}

// The older record format has no compressed values.
void FillRecord(Random& random, ModelTable& table, TableWriter& writer, bool compression) {
  Record record;
  std::vector<Expected> expected(table.columns.size());
  uint32_t last_fixed = 0;
  for (size_t index = 0; index < table.columns.size(); ++index) {
    const ColumnLayout& column = table.columns[index];
    if (!random.Chance(65)) continue;
    Expected& cell = expected[index];
    if (column.multi_valued && random.Chance(50)) {
      const uint32_t count = 2 + random.Below(3);
      cell.kind = Expected::Kind::kMulti;
      const bool compressed = compression && column.compressed && random.Chance(50);
      for (uint32_t i = 0; i < count; ++i) {
        auto [value, bytes] = RandomValue(random, column, false);
        if (compressed) value = RawBytes{bytes, true};
        record.Add(column.name, value);
        cell.multi.push_back(bytes);
      }
      cell.compressed = compressed;
      continue;
    }
    auto [value, bytes] = RandomValue(random, column, true);
    // Bytes merely flagged compressed stay in the record: a separated compressed value must be
    // one genuine compressed segment that gives its unpacked size.
    if (compression && column.compressed && random.Chance(50) && bytes.size() <= 1024) {
      value = RawBytes{bytes, true, LongValuePlacement::kInRecord};
      cell.compressed = true;
    }
    record.Set(column.name, value);
    cell.kind = Expected::Kind::kBytes;
    cell.bytes = bytes;
    if (column.storage == ColumnStorage::kFixed) {
      last_fixed = std::max(last_fixed, column.identifier);
      cell.bytes.resize(column.fixed_size, 0);
    }
  }
  for (size_t index = 0; index < table.columns.size(); ++index) {
    const ColumnLayout& column = table.columns[index];
    if (column.storage == ColumnStorage::kFixed && column.identifier <= last_fixed &&
        expected[index].kind == Expected::Kind::kAbsent) {
      expected[index].kind = Expected::Kind::kUnsetFixed;
      expected[index].bytes.assign(column.fixed_size, '*');
    }
  }
  writer.Append(record);
  table.records.push_back(std::move(expected));
}

// What a run exercised, so that a seed that misses a kind of value shows up.
struct Coverage {
  size_t long_values = 0;
  size_t multi_values = 0;
  size_t compressed = 0;
  size_t records = 0;
};

enum class Reader { kLibesedb, kOurs };

void CheckTable(const ModelTable& model, const ReadTable& read, Reader reader,
                Coverage& coverage) {
  ASSERT_EQ(read.columns.size(), model.columns.size());
  for (size_t index = 0; index < model.columns.size(); ++index) {
    EXPECT_EQ(read.columns[index].name, model.columns[index].name);
    EXPECT_EQ(read.columns[index].identifier, model.columns[index].identifier);
    EXPECT_EQ(read.columns[index].type, static_cast<uint32_t>(model.columns[index].type));
  }
  ASSERT_EQ(read.records.size(), model.records.size());
  coverage.records += read.records.size();
  for (size_t record = 0; record < model.records.size(); ++record) {
    for (size_t index = 0; index < model.columns.size(); ++index) {
      const Expected& expected = model.records[record][index];
      const ReadValue& value = read.records[record][index];
      SCOPED_TRACE("record " + std::to_string(record) + " column " + std::to_string(index));
      if (value.long_value) ++coverage.long_values;
      if (value.multi_values) ++coverage.multi_values;
      if ((value.flags & 0x02) != 0) ++coverage.compressed;
      switch (expected.kind) {
        case Expected::Kind::kAbsent:
          EXPECT_FALSE(value.present);
          break;
        case Expected::Kind::kUnsetFixed:
          if (reader == Reader::kOurs) {
            EXPECT_FALSE(value.present);
          } else {
            EXPECT_EQ(value.bytes, expected.bytes);
          }
          break;
        case Expected::Kind::kBytes:
          ASSERT_TRUE(value.present);
          // A single value of a multi-valued column is stored as a plain value.
          EXPECT_FALSE(value.multi_values.has_value());
          EXPECT_EQ(value.long_value ? *value.long_value : value.bytes, expected.bytes);
          EXPECT_EQ((value.flags & 0x02) != 0, expected.compressed);
          break;
        case Expected::Kind::kMulti:
          ASSERT_TRUE(value.multi_values.has_value());
          EXPECT_EQ(*value.multi_values, expected.multi);
          EXPECT_EQ((value.flags & 0x02) != 0, expected.compressed);
          break;
      }
    }
  }
}

// Both readers on a store in libesedb's long-value layout; ours alone on one in the engine's,
// and on one in the older record format (which libesedb reads only below revision 3).
void RoundTrip(uint32_t page_size, uint32_t revision, uint32_t seed, bool libesedb_layout,
               bool older_record_format = false) {
  SCOPED_TRACE(std::to_string(page_size) + "/" + std::to_string(revision) +
               (libesedb_layout ? " libesedb layout" : " engine layout") +
               (older_record_format ? ", older record format" : ""));
  Random random(seed);
  ScratchFolder folder;
  const auto path = folder / "round.edb";
  std::vector<ModelTable> tables;
  {
    // Long values read back through libesedb need its layout; kept in the record up to the
    // engine's limit, and once up to that layout's own (half a page).
    const uint32_t inline_limit =
        libesedb_layout && page_size == 8192 && revision == 20 ? 0 : 1024;
    EseDatabaseWriter writer(path, {.page_size = page_size,
                                    .format_revision = revision,
                                    .libesedb_long_value_layout = libesedb_layout,
                                    .inline_long_value_limit = inline_limit,
                                    .older_record_format = older_record_format});
    int column_number = 0x3000;
    std::vector<TableWriter*> writers;
    const uint32_t table_count = 4 + random.Below(4);
    for (uint32_t t = 0; t < table_count; ++t) {
      ModelTable model;
      TableDefinition& definition = model.definition;
      definition.name = u"T" + std::u16string(1, char16_t(u'A' + t));
      const bool is_template = t == 0;
      const bool derived = t == 1 || t == 2;
      definition.is_template = is_template;
      if (derived) definition.template_table = u"TA";
      if (t == 3) definition.callback = u"JCB.DLL!EcJcbAttachCallback";
      const uint32_t count = derived ? 1 + random.Below(5) : 3 + random.Below(18);
      for (uint32_t c = 0; c < count; ++c) {
        ColumnStorage storage = ColumnStorage::kTagged;
        if (!derived) {
          const uint32_t pick = random.Below(3);
          storage = pick == 0 ? ColumnStorage::kFixed
                              : (pick == 1 ? ColumnStorage::kVariable : ColumnStorage::kTagged);
        }
        definition.columns.push_back(RandomColumn(random, storage, column_number++));
      }
      TableWriter& table = writer.AddTable(definition);
      model.columns = ExpectedColumns(definition, derived ? &tables[0].columns : nullptr);
      writers.push_back(&table);
      tables.push_back(std::move(model));
    }
    // Interleaved records; the first plain table spans many pages.
    for (uint32_t round = 0; round < 250; ++round) {
      for (size_t t = 0; t < tables.size(); ++t) {
        const uint32_t records = t == 3 ? 5 : (random.Chance(30) ? 1 : 0);
        for (uint32_t r = 0; r < records; ++r) {
          FillRecord(random, tables[t], *writers[t], !older_record_format);
        }
      }
    }
    writer.Finish();
  }
  std::vector<std::pair<Reader, ReadDatabase>> readings;
  std::string error;
  const auto ours = ReadBackWithOurReader(path, error);
  ASSERT_TRUE(ours.has_value()) << error;
  readings.emplace_back(Reader::kOurs, *ours);
  if (libesedb_layout) {
    const auto theirs = ReadBack(path, error);
    ASSERT_TRUE(theirs.has_value()) << error;
    readings.emplace_back(Reader::kLibesedb, *theirs);
  }
  for (const auto& [reader, database] : readings) {
    SCOPED_TRACE(reader == Reader::kOurs ? "our reader" : "libesedb");
    EXPECT_EQ(database.format_revision, revision);
    EXPECT_EQ(database.page_size, page_size);
    // The catalogue, its shadow, MSysObjids and MSysLocales come first.
    constexpr size_t kSystemTables = 4;
    ASSERT_EQ(database.tables.size(), tables.size() + kSystemTables);
    Coverage coverage;
    for (size_t t = 0; t < tables.size(); ++t) {
      const ReadTable& read = database.tables[t + kSystemTables];
      SCOPED_TRACE("table " + std::to_string(t));
      EXPECT_EQ(read.name, tables[t].definition.name);
      EXPECT_EQ(read.template_name, tables[t].definition.template_table);
      CheckTable(tables[t], read, reader, coverage);
    }
    EXPECT_GT(coverage.long_values, 10U);
    EXPECT_GT(coverage.multi_values, 10U);
    if (!older_record_format) {
      EXPECT_GT(coverage.compressed, 10U);
    }
    EXPECT_GT(coverage.records, 1000U);
  }
}

TEST(RoundTrip, RandomSchemasAndValuesComeBackThroughBothReaders) {
  // Each side of every revision at which the page format changes.
  const std::pair<uint32_t, uint32_t> formats[] = {{4096, 9},  {4096, 11},  {4096, 17}, {8192, 12},
                                                   {8192, 20}, {32768, 17}, {32768, 20}};
  uint32_t seed = 20240611;
  for (const auto& [page_size, revision] : formats) {
    RoundTrip(page_size, revision, seed, true);
    RoundTrip(page_size, revision, seed++, false);
  }
  for (const auto& [page_size, revision] : {std::pair{4096U, 9U}, std::pair{8192U, 12U}}) {
    RoundTrip(page_size, revision, seed++, false, true);
  }
}

}  // namespace
}  // namespace tarvex::edbforge
