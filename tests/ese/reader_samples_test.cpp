// Every value of the engine-written samples, read by our reader, against the decodings of an
// independent reader; and the one sample whose user table holds 65,000 columns.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "base/utf_conversion.h"
#include "ese/database.h"
#include "store/record_dump.h"
#include "support/sample_files.h"

namespace tarvex {
namespace {

using Json = nlohmann::json;

std::unique_ptr<ese::Database> OpenSample(const testing::UnpackedSample& sample) {
  ese::Database::OpenResult opened = ese::Database::Open(sample.DatabasePath());
  EXPECT_FALSE(opened.error.has_value());
  return std::move(opened.database);
}

TEST(ReaderSamples, EveryValueReadsAsTheIndependentDecodingSays) {
  for (const char* name : {"basic", "binary", "default", "index", "multi", "text"}) {
    SCOPED_TRACE(name);
    const std::optional<testing::UnpackedSample> sample = testing::UnpackedSample::Unpack(name);
    ASSERT_TRUE(sample);
    const std::unique_ptr<ese::Database> database = OpenSample(*sample);
    ASSERT_TRUE(database);
    const ese::Table* table = database->FindTable(std::u16string(name, name + strlen(name)));
    ASSERT_NE(table, nullptr);

    std::ostringstream dump;
    EXPECT_EQ(DumpTable(*table, dump), 0u);
    std::ifstream expected_file(testing::ExpectedJsonPath(name));
    const Json expected = Json::parse(expected_file);
    const Json dumped = Json::parse(dump.str());
    EXPECT_EQ(dumped["columns"], expected["columns"]);
    ASSERT_EQ(dumped["records"].size(), expected["records"].size());
    for (std::size_t index = 0; index < expected["records"].size(); ++index) {
      for (const auto& [column, value] : expected["records"][index].items()) {
        EXPECT_EQ(dumped["records"][index][column], value) << "record " << index << " " << column;
      }
    }
    // The engine's own pages: every checksum agrees and every page parses.
    EXPECT_EQ(database->report().checksum_mismatches, 0u);
    EXPECT_EQ(database->report().unparsable_pages, 0u);
    EXPECT_TRUE(database->catalog().complete);
  }
}

TEST(ReaderSamples, ThirtyTwoKilobytePagesWithSixtyFiveThousandColumns) {
  const std::optional<testing::UnpackedSample> sample = testing::UnpackedSample::Unpack("large");
  ASSERT_TRUE(sample);
  const std::unique_ptr<ese::Database> database = OpenSample(*sample);
  ASSERT_TRUE(database);
  EXPECT_EQ(database->layout().page_size, 32768u);
  const ese::Table* table = database->FindTable(u"large");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->record_count(), 16u);
  // Each "ColumnN" holds a value in exactly one record; the records share them out in order.
  std::vector<int> values_per_column(table->columns().size(), 0);
  std::set<std::int64_t> ids;
  table->ForEachRecord([&](std::uint32_t, const ese::Record* record) {
    EXPECT_NE(record, nullptr);
    if (record == nullptr) return true;
    const Json values = DumpRecord(*record);
    ids.insert(values["Id"].get<std::int64_t>());
    for (std::size_t position = 1; position < record->column_count(); ++position) {
      const auto value = values.find(Utf16ToUtf8(record->Column(position)->name));
      if (value != values.end() && !value->is_null()) {
        ++values_per_column[position];
      }
    }
    return true;
  });
  EXPECT_EQ(ids.size(), 16u);
  EXPECT_EQ(std::count(values_per_column.begin() + 1, values_per_column.end(), 1),
            static_cast<std::ptrdiff_t>(table->columns().size() - 1));
  EXPECT_EQ(database->report().checksum_mismatches, 0u);
}

}  // namespace
}  // namespace tarvex
