#include "tools/edbforge/ese/page_format.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <optional>

#include "ese/byte_order.h"
#include "ese/page_checksum.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

using ese::EccChecksum;
using ese::LoadLe32;
using ese::XorChecksum;
using ese::page_flag::kLeaf;
using ese::page_flag::kNewChecksumFormat;

// The engine-written sample, unpacked into memory.
std::optional<std::vector<uint8_t>> LoadSample(const std::string& name) {
  const auto path = std::filesystem::path(TARVEX_SAMPLES_DIR) / (name + ".edb.gz");
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  int read = 0;
  while ((read = gzread(file, buffer, sizeof(buffer))) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + read);
  }
  gzclose(file);
  if (read < 0) return std::nullopt;
  return bytes;
}

// Clears a page's checksum fields, stamps them again and compares with what the engine wrote.
size_t CheckEnginePages(const std::vector<uint8_t>& file, const PageFormat& format) {
  size_t checked = 0;
  const size_t page_size = format.page_size;
  for (size_t offset = 2 * page_size; offset + page_size <= file.size(); offset += page_size) {
    const std::vector<uint8_t> original(file.begin() + static_cast<ptrdiff_t>(offset),
                                        file.begin() + static_cast<ptrdiff_t>(offset + page_size));
    if (LoadLe32(original.data()) == 0 && LoadLe32(original.data() + 4) == 0) continue;
    const auto page_number = static_cast<uint32_t>(offset / page_size - 1);
    std::vector<uint8_t> page = original;
    std::fill(page.begin(), page.begin() + 8, 0);
    if (format.Extended()) std::fill(page.begin() + 40, page.begin() + 72, 0);
    StampChecksums(format, page_number, page);
    EXPECT_EQ(page, original) << "page " << page_number;
    ++checked;
  }
  return checked;
}

TEST(PageChecksums, MatchTheEnginesOnSmallPages) {
  for (const std::string name : {"basic", "multi", "text"}) {
    const auto file = LoadSample(name);
    if (!file) GTEST_SKIP() << "sample " << name << " is missing";
    EXPECT_GT(CheckEnginePages(*file, {4096, 20}), 20U) << name;
  }
}

TEST(PageChecksums, MatchTheEnginesOnExtendedPages) {
  const auto file = LoadSample("large");
  if (!file) GTEST_SKIP() << "sample large is missing";
  EXPECT_GT(CheckEnginePages(*file, {32768, 20}), 300U);
}

TEST(PageChecksums, OldFormatIsOneXorWordAndThePageNumber) {
  const std::vector<std::vector<uint8_t>> values = {{}, {1, 2, 3, 4, 5}};
  const auto page = BuildPage({4096, 9}, {.page_number = 77, .flags = kLeaf}, values);
  EXPECT_EQ(LoadLe32(page.data() + 4), 77U);
  EXPECT_EQ(XorChecksum(std::span<const uint8_t>(page).subspan(4), 0x89abcdefU),
            LoadLe32(page.data()));
  EXPECT_EQ(LoadLe32(page.data() + 36) & kNewChecksumFormat, 0U);
}

TEST(PageChecksums, EccLocatesTheSameWordWhenOneBitFlips) {
  // The ECC word changes with every flipped bit, and differently for different bits.
  std::vector<uint8_t> block(4096, 0x5a);
  const auto base = EccChecksum(block, 8, 3);
  block[1000] ^= 0x10;
  const auto one = EccChecksum(block, 8, 3);
  block[1000] ^= 0x10;
  block[2000] ^= 0x01;
  const auto other = EccChecksum(block, 8, 3);
  EXPECT_NE(base.ecc_value, one.ecc_value);
  EXPECT_NE(one.ecc_value, other.ecc_value);
  EXPECT_NE(base.xor_value, one.xor_value);
}

TEST(BuildPage, LaysOutValuesAndTags) {
  const std::vector<std::vector<uint8_t>> values = {{}, {1, 2, 3}, {4, 5}};
  const auto page = BuildPage(
      {4096, 20},
      {.page_number = 9, .previous_page = 8, .next_page = 10, .fdp_object_id = 12, .flags = kLeaf},
      values);
  ASSERT_EQ(page.size(), 4096U);
  EXPECT_EQ(LoadLe32(page.data() + 16), 8U);
  EXPECT_EQ(LoadLe32(page.data() + 20), 10U);
  EXPECT_EQ(LoadLe32(page.data() + 24), 12U);
  EXPECT_EQ(page[34], 3);                                     // tags in use
  EXPECT_EQ(page[28] | (page[29] << 8), 4096 - 40 - 5 - 12);  // free bytes
  // Tag 2: size 2 at offset 3 (behind the header), stored back to front from the page end.
  EXPECT_EQ(page[4096 - 12], 2);
  EXPECT_EQ(page[4096 - 10], 3);
  EXPECT_EQ(page[40 + 3], 4);
  EXPECT_EQ(page[40 + 4], 5);
  EXPECT_EQ(LoadLe32(page.data() + 36), kLeaf);  // flags as given
}

TEST(BuildPage, ExtendedPagesUseAnEightyByteHeaderAndCarryTheirNumber) {
  const std::vector<std::vector<uint8_t>> values = {{}, {7}};
  const auto page = BuildPage({32768, 17}, {.page_number = 300, .flags = kLeaf}, values);
  EXPECT_EQ(page[80], 7);
  EXPECT_EQ(LoadLe32(page.data() + 64), 300U);
}

TEST(BuildPage, RefusesValuesThatDoNotFit) {
  const std::vector<std::vector<uint8_t>> values = {std::vector<uint8_t>(4053)};
  EXPECT_THROW(BuildPage({4096, 20}, {.page_number = 5}, values), EseWriteError);
}

TEST(PageFormat, AcceptsOnlyTheLayoutsOfTheStores) {
  EXPECT_NO_THROW(CheckPageFormat({4096, 9}));
  EXPECT_NO_THROW(CheckPageFormat({8192, 16}));
  EXPECT_NO_THROW(CheckPageFormat({32768, 17}));
  EXPECT_THROW(CheckPageFormat({32768, 16}), EseWriteError);
  EXPECT_THROW(CheckPageFormat({16384, 20}), EseWriteError);
  EXPECT_THROW(CheckPageFormat({4096, 8}), EseWriteError);
  EXPECT_THROW(CheckPageFormat({4096, 21}), EseWriteError);
  EXPECT_FALSE((PageFormat{8192, 20}.Extended()));
  EXPECT_TRUE((PageFormat{32768, 17}.Extended()));
}

}  // namespace
}  // namespace tarvex::edbforge
