// The readers on databases written by Windows' own engine, against an independent reader's
// decoding of every value (expected/NAME.json).

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "store/store_session.h"
#include "store/value_reader.h"
#include "support/sample_files.h"
#include "support/test_files.h"

namespace tarvex::testing {
namespace {

using nlohmann::json;

struct OpenSample {
  std::optional<UnpackedSample> sample;
  std::unique_ptr<StoreSession> session;
  const ese::Table* table = nullptr;
  json expected;
};

OpenSample Open(const std::string& name) {
  OpenSample open;
  open.sample = UnpackedSample::Unpack(name);
  if (!open.sample) return open;
  StoreSession::OpenResult result = StoreSession::Open(open.sample->DatabasePath());
  if (auto* session = std::get_if<std::unique_ptr<StoreSession>>(&result)) {
    open.session = std::move(*session);
    open.session->BuildTableCatalog();
    open.table = open.session->OpenTableByName(Utf8ToUtf16(name));
  }
  std::ifstream(testing::ExpectedJsonPath(name)) >> open.expected;
  return open;
}

std::u16string Format(const char* format, auto value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return FromAscii(buffer);
}

// How the program renders a plain value of each type, from the independent decoding.
std::u16string ExpectedPlainText(int type, const json& value) {
  switch (type) {
    case 1:
      return value.get<bool>() ? u"true" : u"false";
    case 2:
    case 14:
    case 17:
      return Format("%" PRIu64, value.get<std::uint64_t>());
    case 3:
    case 4:
    case 15:
      return Format("%" PRId64, value.get<std::int64_t>());
    case 5:
      return Format("%" PRIu64, static_cast<std::uint64_t>(value.get<std::int64_t>()));
    case 6:
    case 7:
      return Format("%f", std::stod(value.at("float").get<std::string>()));
    case 8:
      return DateText(static_cast<std::uint64_t>(value.get<std::int64_t>()));
    case 10:
    case 12:
      return Utf8ToUtf16(value.get<std::string>());
    case 9:
    case 11:
      return PrintableFilter(HexBytes(value.at("hex").get<std::string>()));
    case 16:
      return PrintableFilter(GuidBytes(value.get<std::string>()));
    default:
      ADD_FAILURE() << "no rendering for type " << type;
      return {};
  }
}

// basic.edb: every fixed type; default.edb: a value of every type, taken from the columns'
// defaults (the engine keeps no tagged default in the record: the column's default applies).
TEST(ValueReaderOnSamples, EveryTypeRendersAsItsText) {
  for (const char* name : {"basic", "default"}) {
    SCOPED_TRACE(name);
    OpenSample open = Open(name);
    ASSERT_TRUE(open.session && open.table);
    BodyState body;
    ValueReader reader(*open.session, std::filesystem::temp_directory_path(), body);
    const json& columns = open.expected.at("columns");
    const json& records = open.expected.at("records");
    for (std::size_t r = 0; r < records.size(); ++r) {
      const std::optional<ese::Record> record =
          open.table->ReadRecord(static_cast<std::uint32_t>(r));
      ASSERT_TRUE(record);
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string column = columns[c].at("name").get<std::string>();
        const int type = columns[c].at("type").get<int>();
        const json& value = records[r].at(column);
        const int entry = static_cast<int>(c);
        SCOPED_TRACE("record " + std::to_string(r) + " column " + column);
        const std::optional<std::u16string> text = reader.ReadValueText(&*record, entry);
        ASSERT_TRUE(text);
        EXPECT_EQ(Utf16ToUtf8(*text),
                  Utf16ToUtf8(value.is_null() ? u"" : ExpectedPlainText(type, value)));
        if (type == 9 && !value.is_null()) {
          EXPECT_EQ(reader.ReadValueHexText(&*record, entry),
                    HexText(HexBytes(value.at("hex").get<std::string>())));
        }
      }
    }
  }
}

// binary.edb, binary values of every storage: plain values read as printable and hex text;
// separated values, those of compressed columns included, reach the files whole.
TEST(ValueReaderOnSamples, BinaryValuesAsTextLongValuesWholeInTheirFiles) {
  OpenSample open = Open("binary");
  ASSERT_TRUE(open.session && open.table);
  testing::ScratchFolder folder;
  BodyState body;
  ValueReader reader(*open.session, folder.path(), body);
  reader.set_attachment_file_name(u"attachment.bin");
  const json& columns = open.expected.at("columns");
  const json& values = open.expected.at("records").at(0);
  const std::optional<ese::Record> record = open.table->ReadRecord(0);
  ASSERT_TRUE(record);
  int plain = 0;
  int whole = 0;
  for (std::size_t c = 1; c < columns.size(); ++c) {
    const std::string name = columns[c].at("name").get<std::string>();
    const json& value = values.at(name);
    const int entry = static_cast<int>(c);
    SCOPED_TRACE(name);
    const std::optional<RawValue> raw = GetRawValue(&*record, entry);
    ASSERT_TRUE(raw);
    const bool plain_value = raw->flags <= kValueFlagVariableSize;
    const bool long_binary = columns[c].at("type").get<int>() == 11;
    if (value.is_null() || !(plain_value || long_binary)) continue;
    const std::vector<std::uint8_t> bytes = HexBytes(value.at("hex").get<std::string>());
    if (plain_value) {
      EXPECT_EQ(reader.ReadValueText(&*record, entry), PrintableFilter(bytes));
      EXPECT_EQ(reader.ReadValueHexText(&*record, entry), HexText(bytes));
      ++plain;
    }
    if (!long_binary) continue;
    const std::optional<std::filesystem::path> attachment =
        reader.WriteAttachmentFile(&*record, entry);
    ASSERT_TRUE(attachment);
    EXPECT_EQ(testing::FileBytes(*attachment), bytes);
    ASSERT_TRUE(reader.WriteHtmlBodyFile(&*record, entry));
    EXPECT_EQ(testing::FileBytes(folder.path() / "blank.html"), bytes);
    ++whole;
  }
  EXPECT_GE(plain, 4);
  EXPECT_GT(whole, 0);
  EXPECT_EQ(whole, std::count_if(columns.begin(), columns.end(), [&](const json& column) {
              return column.at("type").get<int>() == 11 &&
                     !values.at(column.at("name").get<std::string>()).is_null();
            }));
}

TEST(ValueReaderOnSamples, TextComesOutWholeEmojiIncluded) {
  OpenSample open = Open("text");
  ASSERT_TRUE(open.session && open.table);
  const auto folder = std::filesystem::temp_directory_path() / "tarvex-text-sample";
  std::filesystem::create_directories(folder);
  BodyState body;
  ValueReader reader(*open.session, folder, body);
  const json& columns = open.expected.at("columns");
  const json& record_values = open.expected.at("records").at(0);
  const std::optional<ese::Record> record = open.table->ReadRecord(0);
  ASSERT_TRUE(record);
  for (std::size_t c = 1; c < columns.size(); ++c) {
    const std::string name = columns[c].at("name").get<std::string>();
    const json& value = record_values.at(name);
    const int entry = static_cast<int>(c);
    const std::optional<std::u16string> text = reader.ReadValueText(&*record, entry);
    const std::optional<RawValue> raw = GetRawValue(&*record, entry);
    ASSERT_TRUE(raw);
    SCOPED_TRACE(name);
    if (value.is_null()) {
      EXPECT_TRUE(!text || text->empty());
      continue;
    }
    const std::u16string expected = Utf8ToUtf16(value.get<std::string>());
    if ((raw->flags & kValueFlagLongValue) != 0) {
      // Long values of the 2010 layout go to a file and read as empty text.
      ASSERT_TRUE(text);
      EXPECT_EQ(*text, u"");
      continue;
    }
    ASSERT_TRUE(text);
    EXPECT_EQ(Utf16ToUtf8(*text), Utf16ToUtf8(expected));
  }
  std::filesystem::remove_all(folder);
}

std::vector<std::uint8_t> LittleEndian(std::uint64_t value, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < size; ++i)
    bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return bytes;
}

// The stored bytes of one value of a multi-valued column.
std::vector<std::uint8_t> StoredBytes(int type, const json& value) {
  switch (type) {
    case 1:
      return {static_cast<std::uint8_t>(value.get<bool>() ? 0xFF : 0x00)};
    case 2:
      return LittleEndian(value.get<std::uint64_t>(), 1);
    case 3:
    case 17:
      return LittleEndian(static_cast<std::uint64_t>(value.get<std::int64_t>()), 2);
    case 4:
    case 14:
      return LittleEndian(static_cast<std::uint64_t>(value.get<std::int64_t>()), 4);
    case 5:
    case 8:
    case 15:
      return LittleEndian(static_cast<std::uint64_t>(value.get<std::int64_t>()), 8);
    case 6:
      return LittleEndian(
          std::bit_cast<std::uint32_t>(std::stof(value.at("float").get<std::string>())), 4);
    case 7:
      return LittleEndian(
          std::bit_cast<std::uint64_t>(std::stod(value.at("float").get<std::string>())), 8);
    case 16:
      return GuidBytes(value.get<std::string>());
    default:
      return HexBytes(value.at("hex").get<std::string>());
  }
}

TEST(ValueReaderOnSamples, MultiValuesAreJoined) {
  OpenSample open = Open("multi");
  ASSERT_TRUE(open.session && open.table);
  BodyState body;
  ValueReader reader(*open.session, std::filesystem::temp_directory_path(), body);
  const json& columns = open.expected.at("columns");
  const json& records = open.expected.at("records");
  int compared = 0;
  for (std::size_t r = 0; r < records.size(); ++r) {
    const std::optional<ese::Record> record = open.table->ReadRecord(static_cast<std::uint32_t>(r));
    ASSERT_TRUE(record);
    for (std::size_t c = 1; c < columns.size(); ++c) {
      const std::string name = columns[c].at("name").get<std::string>();
      const int type = columns[c].at("type").get<int>();
      const json& values = records[r].at(name);
      const int entry = static_cast<int>(c);
      const std::optional<RawValue> raw = GetRawValue(&*record, entry);
      ASSERT_TRUE(raw);
      SCOPED_TRACE(name + " record " + std::to_string(r));
      // Multi values of two (the engine's short form, flag 0x10) and values kept as long values
      // are joined like the others.
      const bool joined = !values.is_null();
      const std::optional<std::u16string> text = reader.ReadValueText(&*record, entry);
      if (!joined) continue;
      std::u16string expected;
      for (const json& value : values) {
        if (type == 10 || type == 12) {
          expected += Utf8ToUtf16(value.get<std::string>()) + u" ";
        } else {
          expected += PrintableFilter(StoredBytes(type, value)) + u",";
        }
      }
      ASSERT_TRUE(text);
      EXPECT_EQ(Utf16ToUtf8(*text), Utf16ToUtf8(expected));
      ++compared;
    }
  }
  EXPECT_GE(compared, 15);
}

}  // namespace
}  // namespace tarvex::testing
