// The readers on the engine's default.edb (a value of every type, taken from the columns'
// defaults) and binary.edb (binary values of every storage), against the independent decoding.

#include <gtest/gtest.h>

#include <algorithm>
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

namespace tarvex {
namespace {

using testing::FileBytes;
using testing::HexBytes;

using nlohmann::json;
using testing::UnpackedSample;
using Bytes = std::vector<std::uint8_t>;

struct OpenedSample {
  std::optional<UnpackedSample> sample;
  std::unique_ptr<StoreSession> session;
  const ese::Table* table = nullptr;
  json expected;
  std::filesystem::path folder;
  OpenedSample() = default;
  OpenedSample(OpenedSample&&) = default;
  OpenedSample& operator=(OpenedSample&&) = default;
  ~OpenedSample() {
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }
};

OpenedSample OpenSample(const std::string& name) {
  OpenedSample open;
  open.sample = UnpackedSample::Unpack(name);
  open.folder = std::filesystem::temp_directory_path() / ("tarvex-" + name + "-readers");
  std::filesystem::create_directories(open.folder);
  std::ifstream(testing::ExpectedJsonPath(name)) >> open.expected;
  if (!open.sample) return open;
  StoreSession::OpenResult result = StoreSession::Open(open.sample->DatabasePath());
  if (auto* session = std::get_if<std::unique_ptr<StoreSession>>(&result)) {
    open.session = std::move(*session);
    open.session->BuildTableCatalog();
    open.table = open.session->OpenTableByName(Utf8ToUtf16(name));
  }
  return open;
}

std::u16string Printed(const char* format, auto value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return FromAscii(buffer);
}

Bytes GuidBytes(const std::string& guid) {
  std::string hex;
  for (char c : guid) {
    if (c != '-') hex.push_back(c);
  }
  Bytes bytes = HexBytes(hex);
  std::swap(bytes[0], bytes[3]);
  std::swap(bytes[1], bytes[2]);
  std::swap(bytes[4], bytes[5]);
  std::swap(bytes[6], bytes[7]);
  return bytes;
}

TEST(ValueReaderOnDefaultSample, DefaultValuesOfEveryTypeRenderAsTheirText) {
  OpenedSample open = OpenSample("default");
  ASSERT_TRUE(open.session && open.table);
  BodyState body;
  ValueReader reader(*open.session, open.folder, body);
  const json& columns = open.expected.at("columns");
  const json& values = open.expected.at("records").at(0);
  const std::optional<ese::Record> record = open.table->ReadRecord(0);
  ASSERT_TRUE(record);
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const std::string name = columns[c].at("name").get<std::string>();
    const int type = columns[c].at("type").get<int>();
    const json& value = values.at(name);
    const int entry = static_cast<int>(c);
    SCOPED_TRACE(name);
    const std::optional<RawValue> raw = GetRawValue(&*record, entry);
    ASSERT_TRUE(raw);
    const std::optional<std::u16string> text = reader.ReadValueText(&*record, entry);
    ASSERT_TRUE(text);
    std::u16string expected;
    switch (type) {
      case 1:
        expected = value.get<bool>() ? u"true" : u"false";
        break;
      case 2:
      case 14:
      case 17:
        expected = Printed("%" PRIu64, value.get<std::uint64_t>());
        break;
      case 3:
      case 4:
      case 15:
        expected = Printed("%" PRId64, value.get<std::int64_t>());
        break;
      case 5:
        expected = Printed("%" PRIu64, static_cast<std::uint64_t>(value.get<std::int64_t>()));
        break;
      case 6:
      case 7:
        expected = Printed("%f", std::stod(value.at("float").get<std::string>()));
        break;
      case 8:
        expected = DateText(static_cast<std::uint64_t>(value.get<std::int64_t>()));
        break;
      case 9:
        expected = PrintableFilter(HexBytes(value.at("hex").get<std::string>()));
        EXPECT_EQ(reader.ReadValueHexText(&*record, entry),
                  HexText(HexBytes(value.at("hex").get<std::string>())));
        break;
      case 10:
      case 12:
        // The engine keeps no tagged default in the record: the column's default applies.
        expected = Utf8ToUtf16(value.get<std::string>());
        break;
      case 11:
        expected = PrintableFilter(HexBytes(value.at("hex").get<std::string>()));
        break;
      case 16:
        expected = PrintableFilter(GuidBytes(value.get<std::string>()));
        break;
      default:
        ADD_FAILURE() << "no rendering for type " << type;
        break;
    }
    EXPECT_EQ(Utf16ToUtf8(*text), Utf16ToUtf8(expected));
  }
}

// Plain values read as printable and hex text; separated values, those of compressed columns
// included, reach the files whole.
TEST(ValueReaderOnBinarySample, PlainValuesAsTextLongValuesWholeInTheirFiles) {
  OpenedSample open = OpenSample("binary");
  ASSERT_TRUE(open.session && open.table);
  BodyState body;
  ValueReader reader(*open.session, open.folder, body);
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
    const Bytes bytes = HexBytes(value.at("hex").get<std::string>());
    if (plain_value) {
      EXPECT_EQ(reader.ReadValueText(&*record, entry), PrintableFilter(bytes));
      EXPECT_EQ(reader.ReadValueHexText(&*record, entry), HexText(bytes));
      ++plain;
    }
    if (!long_binary) continue;
    const std::optional<std::filesystem::path> attachment =
        reader.WriteAttachmentFile(&*record, entry);
    ASSERT_TRUE(attachment);
    EXPECT_EQ(FileBytes(*attachment), bytes);
    ASSERT_TRUE(reader.WriteHtmlBodyFile(&*record, entry));
    EXPECT_EQ(FileBytes(open.folder / "blank.html"), bytes);
    ++whole;
  }
  EXPECT_GE(plain, 4);
  EXPECT_GT(whole, 0);
  EXPECT_EQ(whole, std::count_if(columns.begin(), columns.end(), [&](const json& column) {
              return column.at("type").get<int>() == 11 &&
                     !values.at(column.at("name").get<std::string>()).is_null();
            }));
}

}  // namespace
}  // namespace tarvex
