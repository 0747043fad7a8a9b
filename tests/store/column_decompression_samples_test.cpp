// Every compressed value of the engine-written samples, decoded by our decompressors and
// compared with an independent reader's decoding in expected/NAME.json.
//
// Values come from libesedb where it can return them: inline values with the compressed
// flag and the first value of a compressed multi-value. libesedb 20181229 answers "no value"
// for most long values of these files, so their chunks are read from the database pages.

#include <gtest/gtest.h>
#include <libesedb.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "base/utf_conversion.h"
#include "store/column_decompression.h"
#include "support/long_value_pages.h"
#include "support/sample_files.h"
#include "support/test_files.h"
#include "tools/esedb_reference/esedb_handles.h"

namespace tarvex::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using esedb_reference::EsedbFile;
using esedb_reference::EsedbLongValue;
using esedb_reference::EsedbMultiValue;
using esedb_reference::EsedbRecord;
using esedb_reference::EsedbTable;
using esedb_reference::GetLongValue;
using esedb_reference::GetMultiValue;
using esedb_reference::GetRecord;
using nlohmann::json;

constexpr std::uint8_t kCompressedFlag = 0x02;
constexpr std::uint8_t kLongValueFlag = 0x04;
constexpr std::uint8_t kMultiValueFlag = 0x08;
constexpr std::uint32_t kLongBinaryType = 11;
constexpr std::uint32_t kLongTextType = 12;
constexpr std::uint32_t kTextType = 10;

// A column of these samples holds UTF-16 text when its name says Unicode, else ASCII.
bool IsUnicodeColumn(const std::string& name) {
  return name.find("Unicode") != std::string::npos;
}
bool IsCompressedColumn(const std::string& name) {
  return name.find("Compressed") != std::string::npos;
}

Bytes ExpectedBytes(const json& value, const std::string& column) {
  if (value.is_object()) return HexBytes(value.at("hex").get<std::string>());
  const std::string text = value.get<std::string>();
  if (!IsUnicodeColumn(column)) return Bytes(text.begin(), text.end());
  const std::string utf16 = EncodeUtf16Le(Utf8ToUtf16(text));
  return Bytes(utf16.begin(), utf16.end());
}

std::uint32_t LittleEndian32(const Bytes& bytes) {
  return static_cast<std::uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16)) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::optional<Bytes> RecordValueData(libesedb_record_t* record, int entry) {
  std::size_t size = 0;
  if (libesedb_record_get_value_data_size(record, entry, &size, nullptr) != 1) return std::nullopt;
  Bytes data(size);
  if (size > 0 && libesedb_record_get_value_data(record, entry, data.data(), size, nullptr) != 1) {
    return std::nullopt;
  }
  return data;
}

std::optional<Bytes> MultiValueData(libesedb_multi_value_t* multi, int index) {
  std::size_t size = 0;
  if (libesedb_multi_value_get_value_data_size(multi, index, &size, nullptr) != 1) {
    return std::nullopt;
  }
  Bytes data(size);
  if (size > 0 &&
      libesedb_multi_value_get_value_data(multi, index, data.data(), size, nullptr) != 1) {
    return std::nullopt;
  }
  return data;
}

std::optional<std::vector<Bytes>> Segments(libesedb_long_value_t* long_value) {
  int count = 0;
  if (libesedb_long_value_get_number_of_data_segments(long_value, &count, nullptr) != 1) {
    return std::nullopt;
  }
  std::vector<Bytes> segments;
  for (int segment = 0; segment < count; ++segment) {
    std::size_t size = 0;
    if (libesedb_long_value_get_data_segment_size(long_value, segment, &size, nullptr) != 1) {
      return std::nullopt;
    }
    Bytes data(size);
    if (size > 0 && libesedb_long_value_get_data_segment(long_value, segment, data.data(), size,
                                                         nullptr) != 1) {
      return std::nullopt;
    }
    segments.push_back(std::move(data));
  }
  return segments;
}

// One value the test checks: where it came from and its stored (compressed) pieces.
struct StoredValue {
  std::string label;  // column#record id, and [index] for a multi-value item
  std::vector<Bytes> pieces;
};

class SampleReader {
 public:
  SampleReader(libesedb_record_t* record, const testing::LongValuePages& pages)
      : record_(record), pages_(pages) {}

  std::string ColumnName(int entry) const {
    std::size_t size = 0;
    if (libesedb_record_get_utf8_column_name_size(record_, entry, &size, nullptr) != 1) return {};
    std::string name(size, '\0');
    if (libesedb_record_get_utf8_column_name(
            record_, entry, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1) {
      return {};
    }
    return name.substr(0, name.find('\0'));
  }

  // The pieces of the record's long value `entry`: libesedb's segments when it can return
  // them, else the chunks on the pages.
  std::optional<std::vector<Bytes>> LongValue(int entry, const Bytes& reference) const {
    if (EsedbLongValue long_value = GetLongValue(record_, entry)) {
      if (std::optional<std::vector<Bytes>> segments = Segments(long_value.get())) return segments;
    }
    return PagesLongValue(reference);
  }

  // libesedb has no call for the long value behind one item of a multi-value.
  std::optional<std::vector<Bytes>> PagesLongValue(const Bytes& reference) const {
    if (reference.size() != 4) return std::nullopt;
    return pages_.Chunks(LittleEndian32(reference));
  }

 private:
  libesedb_record_t* record_;
  const testing::LongValuePages& pages_;
};

// The separated flags (bit 15) of a multi-value's offset table.
std::vector<bool> SeparatedMultiValues(const Bytes& raw) {
  std::vector<bool> separated;
  if (raw.size() < 2) return separated;
  const std::size_t count = ((raw[0] | (raw[1] << 8)) & 0x7FFF) / 2;
  for (std::size_t i = 0; i < count && 2 * i + 1 < raw.size(); ++i) {
    separated.push_back((raw[2 * i + 1] & 0x80) != 0);
  }
  return separated;
}

struct SampleResult {
  std::vector<StoredValue> reached;
  std::set<std::string> unreached;
  std::map<std::string, json> expected;  // by label
  std::map<std::string, std::string> column_of;
};

// Collects every stored value of a compressed column (and every value flagged compressed).
SampleResult CollectCompressedValues(const std::string& name) {
  SampleResult result;
  std::optional<testing::UnpackedSample> sample = testing::UnpackedSample::Unpack(name);
  if (!sample) {
    ADD_FAILURE() << "cannot unpack " << name;
    return result;
  }
  std::ifstream expected_file(testing::ExpectedJsonPath(name));
  const json expected = json::parse(expected_file);
  std::optional<testing::LongValuePages> pages =
      testing::LongValuePages::Read(sample->DatabasePath());
  EsedbFile file = esedb_reference::OpenEsedbFile(sample->DatabasePath());
  if (!pages || !file) {
    ADD_FAILURE() << "cannot open " << name;
    return result;
  }
  EsedbTable table =
      esedb_reference::GetTableByName(file.get(), expected.at("table").get<std::string>());
  int records = 0;
  if (!table || libesedb_table_get_number_of_records(table.get(), &records, nullptr) != 1) {
    ADD_FAILURE() << "cannot read the table of " << name;
    return result;
  }
  for (int number = 0; number < records; ++number) {
    EsedbRecord record = GetRecord(table.get(), number);
    if (!record) {
      ADD_FAILURE() << "cannot read record " << number << " of " << name;
      continue;
    }
    std::int32_t id = 0;
    libesedb_record_get_value_32bit(record.get(), 0, reinterpret_cast<std::uint32_t*>(&id),
                                    nullptr);
    const json* expected_record = nullptr;
    for (const json& candidate : expected.at("records")) {
      if (candidate.at("Id").get<std::int32_t>() == id) expected_record = &candidate;
    }
    if (expected_record == nullptr) {
      ADD_FAILURE() << "record " << id << " of " << name << " is not expected";
      continue;
    }
    SampleReader reader(record.get(), *pages);
    int values = 0;
    libesedb_record_get_number_of_values(record.get(), &values, nullptr);
    for (int entry = 0; entry < values; ++entry) {
      const std::string column = reader.ColumnName(entry);
      const std::optional<Bytes> stored_value = RecordValueData(record.get(), entry);
      std::uint8_t flags = 0;
      if (!stored_value ||
          libesedb_record_get_value_data_flags(record.get(), entry, &flags, nullptr) != 1) {
        continue;
      }
      const bool compressed_column = IsCompressedColumn(column);
      if (!compressed_column && (flags & kCompressedFlag) == 0) continue;
      const json& expected_value = expected_record->at(column);
      const Bytes& raw = *stored_value;
      const std::string label = column + "#" + std::to_string(id);
      // A compressed column may still store a value plainly when packing would not pay.
      const bool packed = (flags & kCompressedFlag) != 0;
      const auto note = [&](const std::string& item_label, const json& value,
                            std::optional<std::vector<Bytes>> pieces) {
        result.expected[item_label] = value;
        result.column_of[item_label] = column;
        if (pieces)
          result.reached.push_back({item_label, std::move(*pieces)});
        else
          result.unreached.insert(item_label);
      };
      if ((flags & kMultiValueFlag) != 0) {
        const std::vector<bool> separated = SeparatedMultiValues(raw);
        EsedbMultiValue multi = GetMultiValue(record.get(), entry);
        for (std::size_t index = 0; index < separated.size(); ++index) {
          const std::string item_label = label + "[" + std::to_string(index) + "]";
          std::optional<std::vector<Bytes>> pieces;
          std::optional<Bytes> stored;
          if (multi) stored = MultiValueData(multi.get(), static_cast<int>(index));
          if (stored) {
            if (separated[index]) pieces = reader.PagesLongValue(*stored);
            // Only the first value of a multi-value is ever packed.
            else if (packed && index == 0)
              pieces = std::vector<Bytes>{*stored};
            else
              continue;
          }
          note(item_label, expected_value.at(index), std::move(pieces));
        }
      } else if ((flags & kLongValueFlag) != 0) {
        note(label, expected_value, reader.LongValue(entry, raw));
      } else if (packed) {
        note(label, expected_value, std::vector<Bytes>{raw});
      }
    }
  }
  return result;
}

struct SampleCase {
  const char* name;
  std::size_t packed_values;  // inline, multi-value and long values stored packed
};

class CompressedSampleValues : public ::testing::TestWithParam<SampleCase> {};

TEST_P(CompressedSampleValues, DecodeToTheIndependentReading) {
  const SampleResult result = CollectCompressedValues(GetParam().name);
  EXPECT_TRUE(result.unreached.empty()) << "first unreached: " << *result.unreached.begin();
  EXPECT_EQ(result.reached.size(), GetParam().packed_values);
  for (const StoredValue& value : result.reached) {
    SCOPED_TRACE(value.label);
    const std::string& column = result.column_of.at(value.label);
    const json& expected = result.expected.at(value.label);
    Bytes decoded;
    bool all_decoded = true;
    for (const Bytes& piece : value.pieces) {
      // Long value chunks of a compressed column are each packed on their own.
      const std::optional<Bytes> bytes = Decompress(piece);
      if (!bytes) {
        all_decoded = false;
        break;
      }
      decoded.insert(decoded.end(), bytes->begin(), bytes->end());
    }
    ASSERT_TRUE(all_decoded);
    EXPECT_EQ(decoded, ExpectedBytes(expected, column));
    if (value.pieces.size() == 1 && expected.is_string()) {
      const std::optional<std::u16string> text = DecompressedText(value.pieces.front());
      ASSERT_TRUE(text);
      EXPECT_EQ(Utf16ToUtf8(*text), expected.get<std::string>());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EngineSamples, CompressedSampleValues,
                         ::testing::Values(SampleCase{"text", 4}, SampleCase{"binary", 2},
                                           SampleCase{"multi", 10}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

}  // namespace
}  // namespace tarvex::testing
