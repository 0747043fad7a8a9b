// Damaged copies of both layouts' ready scenarios through the command line: flipped bits,
// zeroed, noisy and swapped pages, files cut short, destroyed headers and catalogues. Every run
// must end by itself without a sanitizer report, say truthfully whether something was lost, and
// recover at least the items whose pages the damage left alone.
//
// CI runs a fixed, seeded set. TARVEX_DAMAGE_MUTANTS=N adds N random mutants per layout (the
// long campaign of tests/damage_campaign.sh) and prints what they gave.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "ese/database.h"
#include "ese/format.h"
#include "scenario_run.h"
#include "store/folder_key.h"

namespace tarvex::testing {
namespace {

using nlohmann::json;
using PageSet = std::set<std::uint32_t>;

// What the undamaged store holds where, from our reader's walk of its trees.
struct StoreMap {
  std::uint32_t page_size = 0;
  std::uint32_t page_count = 0;
  // Pages without which items cannot be placed: the mailbox and folder tables' pages and the
  // roots of the tables that list items.
  PageSet structure;
  PageSet catalogue;  // both copies
  // Records of the tables that list items, by leaf page.
  std::map<std::uint32_t, std::size_t> listing_records;
};

void AddTreePages(const ese::Table& table, PageSet& pages) {
  pages.insert(table.schema().root_page);
  for (std::uint32_t number = 0; number < table.record_count(); ++number) {
    pages.insert(table.Position(number)->page);
  }
}

StoreMap MapStore(const std::filesystem::path& database, bool layout_2010) {
  const std::unique_ptr<ese::Database> opened = ese::Database::Open(database).database;
  StoreMap map;
  map.page_size = opened->layout().page_size;
  map.page_count = opened->file().page_count();
  map.catalogue = {ese::kCatalogRootPage, ese::kCatalogShadowRootPage};
  for (const auto& table : opened->tables()) {
    const std::u16string& name = table->name();
    if (name.starts_with(u"MSysObjects")) {
      AddTreePages(*table, map.catalogue);
    } else if (name == u"Mailbox" || name == u"Folders" || name.starts_with(u"Folders-")) {
      AddTreePages(*table, map.structure);
    } else if (layout_2010 ? name.starts_with(u"MsgHeader-")
                           : !FolderKeyFromTableName(name).empty()) {
      map.structure.insert(table->schema().root_page);
      for (std::uint32_t number = 0; number < table->record_count(); ++number) {
        ++map.listing_records[table->Position(number)->page];
      }
    }
  }
  return map;
}

struct Mutant {
  std::string what;
  PageSet touched;        // engine page numbers the damage reached
  bool whole = false;     // the damage is repaired from a copy: every item must come back
  bool no_store = false;  // nothing left to read: every command must fail as such
};

// The engine's page n starts at (n + 1) page sizes into the file.
std::size_t PageOffset(std::uint32_t page, std::uint32_t page_size) {
  return (static_cast<std::size_t>(page) + 1) * page_size;
}

using Damage = std::function<Mutant(std::string& bytes, const StoreMap& map, std::mt19937& random)>;

std::uint32_t RandomPage(const StoreMap& map, std::mt19937& random) {
  return std::uniform_int_distribution<std::uint32_t>(1, map.page_count)(random);
}

Mutant FlipBits(std::string& bytes, const StoreMap& map, std::mt19937& random) {
  Mutant mutant{"two flipped bits", {}};
  std::uniform_int_distribution<std::size_t> offset(2ull * map.page_size, bytes.size() - 1);
  for (int flip = 0; flip < 2; ++flip) {
    const std::size_t at = offset(random);
    bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
    mutant.touched.insert(static_cast<std::uint32_t>(at / map.page_size - 1));
  }
  return mutant;
}

Mutant ZeroPage(std::string& bytes, const StoreMap& map, std::mt19937& random) {
  const std::uint32_t page = RandomPage(map, random);
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(PageOffset(page, map.page_size)),
              map.page_size, '\0');
  return {"zeroed page: " + std::to_string(page), {page}};
}

Mutant NoisePage(std::string& bytes, const StoreMap& map, std::mt19937& random) {
  const std::uint32_t page = RandomPage(map, random);
  for (std::size_t at = 0; at < map.page_size; ++at) {
    bytes[PageOffset(page, map.page_size) + at] = static_cast<char>(random());
  }
  return {"noise in page: " + std::to_string(page), {page}};
}

Mutant SwapPages(std::string& bytes, const StoreMap& map, std::mt19937& random) {
  const std::uint32_t first = RandomPage(map, random);
  const std::uint32_t second = RandomPage(map, random);
  std::swap_ranges(
      bytes.begin() + static_cast<std::ptrdiff_t>(PageOffset(first, map.page_size)),
      bytes.begin() + static_cast<std::ptrdiff_t>(PageOffset(first + 1, map.page_size)),
      bytes.begin() + static_cast<std::ptrdiff_t>(PageOffset(second, map.page_size)));
  return {"swapped pages: " + std::to_string(first) + ", " + std::to_string(second),
          {first, second}};
}

Damage CutAt(int percent) {
  return [percent](std::string& bytes, const StoreMap& map, std::mt19937&) {
    bytes.resize(bytes.size() * static_cast<std::size_t>(percent) / 100);
    Mutant mutant{"cut at " + std::to_string(percent) + " %", {}};
    for (std::uint32_t page = 1; page <= map.page_count; ++page) {
      if (PageOffset(page + 1, map.page_size) > bytes.size()) mutant.touched.insert(page);
    }
    return mutant;
  };
}

Damage ZeroPages(std::string what, std::vector<std::uint32_t> pages, bool whole) {
  return [what, pages, whole](std::string& bytes, const StoreMap& map, std::mt19937&) {
    Mutant mutant{what, {}, whole};
    for (std::uint32_t page : pages) {
      std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(PageOffset(page, map.page_size)),
                  map.page_size, '\0');
      mutant.touched.insert(page);
    }
    return mutant;
  };
}

Damage ZeroHeaders(bool both) {
  return [both](std::string& bytes, const StoreMap& map, std::mt19937&) {
    std::fill_n(bytes.begin(), (both ? 2 : 1) * map.page_size, '\0');
    Mutant mutant{both ? "both headers zeroed" : "header zeroed, shadow intact", {}, !both};
    mutant.no_store = both;
    return mutant;
  };
}

// The fewest items the damage must leave: all but those on touched listing leaves, unless it
// reached the pages that place them or the catalogue's schemas (a flipped column type may spoil
// every record of a table).
std::size_t SurvivorsAtLeast(const Mutant& mutant, const StoreMap& map, std::size_t items) {
  if (mutant.no_store) return 0;
  if (mutant.whole) return items;
  for (std::uint32_t page : mutant.touched) {
    if (map.structure.contains(page) || map.catalogue.contains(page)) return 0;
  }
  std::size_t lost = 0;
  for (std::uint32_t page : mutant.touched) {
    if (const auto found = map.listing_records.find(page); found != map.listing_records.end()) {
      lost += found->second;
    }
  }
  return lost >= items ? 0 : items - lost;
}

std::size_t CountItems(const json& node) {
  std::size_t count = node.value("items", std::size_t{0});
  for (const json& child : node.at("folders")) count += CountItems(child);
  return count;
}

// "Mailbox/Folder/..." of the first folder with items.
std::optional<std::string> FolderWithItems(const json& node, const std::string& path) {
  for (const json& child : node.at("folders")) {
    const std::string child_path = path.empty() ? child.at("name").get<std::string>()
                                                : path + "/" + child.at("name").get<std::string>();
    if (child.value("items", 0) > 0) return child_path;
    if (std::optional<std::string> found = FolderWithItems(child, child_path)) return found;
  }
  return std::nullopt;
}

// What the undamaged store gives, to compare the damaged runs with.
struct Baseline {
  json tree;
  std::size_t items = 0;
  std::string folder;
  json listed;
  std::string exported;  // "exported N item(s) from M folder(s)"
};

std::string ExportSummary(const std::string& out) {
  return out.substr(0, out.find(" to "));
}

class DamageSuite : public ::testing::TestWithParam<std::string> {
 protected:
  static constexpr int kTimeLimitSeconds = 120;

  ProgramRun Run(const std::vector<std::string>& arguments) {
    ProgramRun run = RunTarvex(arguments, scratch_.path(), kTimeLimitSeconds);
    EXPECT_FALSE(run.timed_out) << arguments.front() << " did not end";
    // 1 (usage) and 2 (missing file) have no place here; a crash gives no exit code.
    static const std::set<int> kOutcomes = {0, 3, 4, 5, 6, 7};
    EXPECT_TRUE(kOutcomes.contains(run.exit_code))
        << arguments.front() << " ended with " << run.exit_code << "\n"
        << run.err;
    for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error:"}) {
      EXPECT_EQ(run.err.find(report), std::string::npos) << arguments.front() << "\n" << run.err;
    }
    return run;
  }

  Baseline RunWhole(const std::string& database) {
    Baseline baseline;
    const ProgramRun tree = Run({"tree", "-q", "--json", database});
    EXPECT_EQ(tree.exit_code, 0) << tree.err;
    baseline.tree = json::parse(tree.out);
    EXPECT_EQ(baseline.tree.at("losses").at("any"), false);
    baseline.items = CountItems(baseline.tree);
    baseline.folder = FolderWithItems(baseline.tree, "").value_or("");
    const ProgramRun list = Run({"list", "-q", "--json", database, baseline.folder});
    EXPECT_EQ(list.exit_code, 0) << list.err;
    baseline.listed = json::parse(list.out).at("items");
    const ProgramRun exported = Run({"export", "-q", database, baseline.folder, "--out",
                                     (scratch_.path() / "whole-export").string(), "--saver",
                                     TARVEX_SAVER});
    EXPECT_EQ(exported.exit_code, 0) << exported.err;
    baseline.exported = ExportSummary(exported.out);
    return baseline;
  }

  // Runs every command on the damaged copy and checks what they say; the items recovered.
  std::size_t RunDamaged(const std::string& database, const Mutant& mutant,
                         const Baseline& baseline, std::size_t at_least) {
    SCOPED_TRACE(mutant.what);
    const ProgramRun tree = Run({"tree", "-q", "--json", database});
    std::size_t recovered = 0;
    if (tree.exit_code == 0 || tree.exit_code == 7) {
      const json document = json::parse(tree.out);
      recovered = CountItems(document);
      EXPECT_EQ(document.at("losses").at("any"), tree.exit_code == 7);
      // Success is claimed only for the whole tree.
      if (tree.exit_code == 0) {
        EXPECT_EQ(document.at("folders"), baseline.tree.at("folders"));
      }
    }
    EXPECT_GE(recovered, at_least) << "items recovered of " << baseline.items;
    if (mutant.no_store) {
      EXPECT_EQ(tree.exit_code, 3);
    }

    const ProgramRun list = Run({"list", "-q", "--json", database, baseline.folder});
    if (list.exit_code == 0) {
      EXPECT_EQ(json::parse(list.out).at("items"), baseline.listed);
    }
    const std::filesystem::path pages = scratch_.path() / "pages";
    std::filesystem::remove_all(pages);
    std::filesystem::create_directories(pages);
    const ProgramRun show =
        Run({"show", "-q", database, baseline.folder, "1", "--workdir", pages.string()});
    if (show.exit_code == 0 || show.exit_code == 7) {
      EXPECT_TRUE(std::filesystem::exists(show.out.substr(0, show.out.find('\n')))) << show.out;
    }
    const std::filesystem::path message = scratch_.path() / "item.eml";
    std::filesystem::remove(message);
    const ProgramRun eml =
        Run({"eml", "-q", database, baseline.folder, "1", "--out", message.string()});
    if (eml.exit_code == 0 || eml.exit_code == 7) {
      EXPECT_TRUE(std::filesystem::exists(message));
    }
    const std::filesystem::path out = scratch_.path() / "export";
    std::filesystem::remove_all(out);
    const ProgramRun exported = Run({"export", "-q", database, baseline.folder, "--out",
                                     out.string(), "--saver", TARVEX_SAVER});
    if (exported.exit_code == 0) {
      EXPECT_EQ(ExportSummary(exported.out), baseline.exported);
    }
    if (mutant.no_store) {
      for (const ProgramRun* run : {&list, &show, &eml, &exported}) EXPECT_EQ(run->exit_code, 3);
    }
    return recovered;
  }

  ScratchFolder scratch_;
};

TEST_P(DamageSuite, NoCrashNoLieNothingLostBeyondTheDamage) {
  const std::string scenario = GetParam();
  const bool layout_2010 = scenario.starts_with("2010");
  const std::filesystem::path whole = scratch_.path() / "whole.edb";
  BuildScenario(scenario, whole);
  const StoreMap map = MapStore(whole, layout_2010);
  const Baseline baseline = RunWhole(whole.string());
  ASSERT_GT(baseline.items, 0u);
  ASSERT_FALSE(baseline.folder.empty());
  const std::string original = FileText(whole);

  std::vector<Damage> damages = {
      CutAt(25),
      CutAt(50),
      CutAt(90),
      ZeroHeaders(false),
      ZeroHeaders(true),
      ZeroPages("catalogue root zeroed, shadow intact", {ese::kCatalogRootPage}, true),
      ZeroPages("both catalogue roots zeroed", {ese::kCatalogRootPage, ese::kCatalogShadowRootPage},
                false),
      FlipBits,
      ZeroPage,
      NoisePage,
      SwapPages};
  const std::vector<Damage> random_kinds = {FlipBits, ZeroPage, NoisePage, SwapPages};
  const char* campaign = std::getenv("TARVEX_DAMAGE_MUTANTS");
  const int extra = campaign == nullptr ? 0 : std::atoi(campaign);
  for (int mutant = 0; mutant < extra; ++mutant) {
    damages.push_back(random_kinds[static_cast<std::size_t>(mutant) % random_kinds.size()]);
  }

  // Per kind of damage: mutants, items expected at least, items recovered.
  std::map<std::string, std::array<std::size_t, 3>> figures;
  std::mt19937 random(20261206);
  const std::filesystem::path damaged = scratch_.path() / "damaged.edb";
  for (const Damage& damage : damages) {
    std::string bytes = original;
    const Mutant mutant = damage(bytes, map, random);
    WriteFile(damaged, bytes);
    const std::size_t at_least = SurvivorsAtLeast(mutant, map, baseline.items);
    const std::size_t recovered = RunDamaged(damaged.string(), mutant, baseline, at_least);
    std::array<std::size_t, 3>& kind = figures[mutant.what.substr(0, mutant.what.find(':'))];
    kind[0] += 1;
    kind[1] += at_least;
    kind[2] += recovered;
    if (HasFailure() && extra == 0) return;
  }
  if (extra > 0) {
    for (const auto& [kind, counts] : figures) {
      std::cout << scenario << " " << kind << ": " << counts[0] << " mutants, " << counts[2]
                << " of " << counts[0] * baseline.items << " items recovered (" << counts[1]
                << " at least expected)\n";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, DamageSuite,
                         ::testing::Values("older-private", "2010-private"),
                         [](const auto& parameter) {
                           return parameter.param.starts_with("2010") ? std::string("Layout2010")
                                                                      : std::string("OlderLayout");
                         });

}  // namespace
}  // namespace tarvex::testing
