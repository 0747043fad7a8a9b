// Damaged copies of an engine-written file: what the reader still reads, and what it counts.
// Every damage here is one a real store meets: flipped bits, a zeroed or misdirected page, a
// sibling link that loops, a lost header, a file cut short.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <thread>

#include "ese/byte_order.h"
#include "ese/database.h"
#include "ese/format.h"
#include "support/sample_files.h"
#include "support/test_files.h"

namespace tarvex {
namespace {

// A copy of a sample database whose bytes a test changes before opening it.
class DamagedCopy {
 public:
  explicit DamagedCopy(const testing::UnpackedSample& sample)
      : path_(sample.DatabasePath().string() + ".damaged") {
    std::filesystem::copy_file(sample.DatabasePath(), path_,
                               std::filesystem::copy_options::overwrite_existing);
    bytes_ = testing::FileText(path_);
  }
  ~DamagedCopy() { std::filesystem::remove(path_); }

  std::uint8_t* Page(std::uint32_t number, std::uint32_t page_size) {
    return reinterpret_cast<std::uint8_t*>(bytes_.data()) + (number + 1ull) * page_size;
  }
  std::string& bytes() { return bytes_; }

  // By default the smallest cache: pages leave it and come back from the file.
  std::unique_ptr<ese::Database> Open(std::size_t cache_bytes = 0) {
    testing::WriteFile(path_, bytes_);
    return std::move(ese::Database::Open(path_, cache_bytes).database);
  }

 private:
  std::filesystem::path path_;
  std::string bytes_;
};

// The child page numbers of a branch page's entries (32 KiB pages, revision 20).
std::uint8_t* ChildField(std::uint8_t* page, std::size_t entry, std::uint32_t page_size) {
  const std::uint8_t* tag = page + page_size - ese::page_tag::kSize * (entry + 2);
  const std::size_t size = ese::LoadLe16(tag) & ese::page_tag::kLargePageMask;
  const std::size_t offset = ese::LoadLe16(tag + 2) & ese::page_tag::kLargePageMask;
  return page + ese::page_header::kExtendedSize + offset + size - 4;
}

struct Damage {
  const char* what;
  std::function<void(DamagedCopy&)> apply;
  // What the reader must still deliver from MSysObjects of large.edb (65,068 rows).
  std::uint32_t catalog_rows;
  bool walk_complete;
  bool counts_unparsable;
  bool counts_checksum;
};

TEST(ReaderDamage, TheCatalogueTreeOfTheLargeSample) {
  constexpr std::uint32_t kPageSize = 32768;
  constexpr std::uint32_t kRows = 65068;
  const std::optional<testing::UnpackedSample> sample = testing::UnpackedSample::Unpack("large");
  ASSERT_TRUE(sample);
  const std::vector<Damage> damages = {
      {"a flipped byte in the free space of a leaf: counted, still read",
       [](DamagedCopy& copy) { copy.Page(13, kPageSize)[kPageSize / 2] ^= 0x40; }, kRows, true,
       false, true},
      {"the root names a page of another tree: its leaf is reached along the siblings",
       [](DamagedCopy& copy) {
         ese::StoreLe32(ChildField(copy.Page(ese::kCatalogRootPage, kPageSize), 5, kPageSize),
                        ese::kCatalogShadowRootPage);
       },
       kRows, false, true, true},
      {"the root names the same leaf twice: read once, the other along the siblings",
       [](DamagedCopy& copy) {
         std::uint8_t* root = copy.Page(ese::kCatalogRootPage, kPageSize);
         ese::StoreLe32(ChildField(root, 6, kPageSize),
                        ese::LoadLe32(ChildField(root, 5, kPageSize)));
       },
       kRows, false, false, true},
      {"a leaf is zeroed: its rows are lost, the walk goes on",
       [](DamagedCopy& copy) { std::fill_n(copy.Page(14, kPageSize), kPageSize, 0); }, 0, false,
       true, false},
      {"a zeroed leaf and a sibling link back to the first leaf: no loop",
       [](DamagedCopy& copy) {
         std::uint8_t* root = copy.Page(ese::kCatalogRootPage, kPageSize);
         const std::uint32_t first = ese::LoadLe32(ChildField(root, 0, kPageSize));
         ese::StoreLe32(ChildField(root, 1, kPageSize), 0);
         ese::StoreLe32(copy.Page(first, kPageSize) + ese::page_header::kNextPage, first);
       },
       0, false, true, true},
  };
  // Each damage with the smallest cache (one shard), and with a cache of several shards that
  // holds a third of the file.
  std::vector<std::pair<const Damage*, std::size_t>> runs;
  for (const Damage& damage : damages) {
    for (const std::size_t cache_bytes : {std::size_t{0}, std::size_t{256} * kPageSize}) {
      runs.emplace_back(&damage, cache_bytes);
    }
  }
  for (const auto& [each, cache_bytes] : runs) {
    const Damage& damage = *each;
    SCOPED_TRACE(damage.what);
    SCOPED_TRACE(cache_bytes);
    DamagedCopy copy(*sample);
    damage.apply(copy);
    const std::unique_ptr<ese::Database> database = copy.Open(cache_bytes);
    ASSERT_TRUE(database);
    const ese::Table* catalog = database->FindTable(u"MSysObjects");
    ASSERT_NE(catalog, nullptr);
    if (damage.catalog_rows != 0) {
      EXPECT_EQ(catalog->record_count(), damage.catalog_rows);
    } else {
      EXPECT_LT(catalog->record_count(), kRows);
      EXPECT_GT(catalog->record_count(), 0u);
    }
    EXPECT_EQ(catalog->walk_complete(), damage.walk_complete);
    EXPECT_EQ(database->report().unparsable_pages > 0, damage.counts_unparsable);
    EXPECT_EQ(database->report().checksum_mismatches > 0, damage.counts_checksum);
    // A page read again from the file is not counted again, also by two threads at once.
    const std::uint64_t mismatches = database->report().checksum_mismatches;
    auto read_all = [catalog](std::uint32_t& records) {
      catalog->ForEachRecord([&records](std::uint32_t, const ese::Record* record) {
        records += record != nullptr;
        return true;
      });
    };
    std::uint32_t read_alone = 0;
    read_all(read_alone);
    std::array<std::uint32_t, 2> read_at_once = {0, 0};
    {
      const std::jthread other(read_all, std::ref(read_at_once[1]));
      read_all(read_at_once[0]);
    }
    EXPECT_EQ(read_at_once[0], read_alone);
    EXPECT_EQ(read_at_once[1], read_alone);
    EXPECT_EQ(database->report().checksum_mismatches, mismatches);
    // Whatever the damage, the shadow copy keeps the catalogue whole, and the user table reads.
    EXPECT_TRUE(database->catalog().complete);
    const ese::Table* large = database->FindTable(u"large");
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(large->record_count(), 16u);
    EXPECT_EQ(large->columns().size(), 64994u);
  }
}

TEST(ReaderDamage, HeaderAndLength) {
  const std::optional<testing::UnpackedSample> sample = testing::UnpackedSample::Unpack("text");
  ASSERT_TRUE(sample);
  {
    SCOPED_TRACE("a zeroed header: the shadow copy serves");
    DamagedCopy copy(*sample);
    std::fill_n(copy.bytes().begin(), 4096, '\0');
    const std::unique_ptr<ese::Database> database = copy.Open();
    ASSERT_TRUE(database);
    EXPECT_TRUE(database->header().from_shadow);
    ASSERT_NE(database->FindTable(u"text"), nullptr);
    EXPECT_EQ(database->FindTable(u"text")->record_count(), 1u);
  }
  {
    SCOPED_TRACE("the catalogue's root zeroed: the shadow catalogue lists the tables");
    DamagedCopy copy(*sample);
    std::fill_n(copy.Page(ese::kCatalogRootPage, 4096), 4096, 0);
    const std::unique_ptr<ese::Database> database = copy.Open();
    ASSERT_TRUE(database);
    EXPECT_TRUE(database->catalog().used_shadow);
    EXPECT_TRUE(database->catalog().complete);
    ASSERT_NE(database->FindTable(u"text"), nullptr);
    EXPECT_EQ(database->FindTable(u"text")->record_count(), 1u);
  }
  {
    SCOPED_TRACE("both header copies zeroed: no database");
    DamagedCopy copy(*sample);
    std::fill_n(copy.bytes().begin(), 8192, '\0');
    EXPECT_EQ(copy.Open(), nullptr);
  }
  for (const std::size_t kept : {0ul, 100ul, 4096ul * 2, 4096ul * 5, 4096ul * 28, 4096ul * 33}) {
    SCOPED_TRACE("cut after " + std::to_string(kept) + " bytes");
    DamagedCopy copy(*sample);
    copy.bytes().resize(kept);
    const std::unique_ptr<ese::Database> database = copy.Open();
    if (kept < 4096 * 2) {
      EXPECT_EQ(database, nullptr);
      continue;
    }
    ASSERT_TRUE(database);
    // Cut before the catalogue's pages: nothing to list, and the catalogue says so.
    if (kept <= 4096 * 5) {
      EXPECT_FALSE(database->catalog().complete);
    }
    bool damage_met = false;
    for (const auto& table : database->tables()) {
      table->ForEachRecord([](std::uint32_t, const ese::Record*) { return true; });
      damage_met = damage_met || table->damage_met();
    }
    // Trees that reach beyond the cut (the catalogue's among them) say so, and count the pages
    // they miss there.
    EXPECT_EQ(damage_met || !database->catalog().complete, database->report().missing_pages > 0);
  }
}

}  // namespace
}  // namespace tarvex
