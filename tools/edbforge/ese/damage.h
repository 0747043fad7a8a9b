#pragma once

// Damage as real stores suffer it, done to a copy of a database file: branch pages lost, a share
// of all pages overwritten with zeros or noise, the file cut short. The report says which pages
// were hit, so that a test knows exactly what still stands on intact pages.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace tarvex::edbforge {

struct DamageOptions {
  bool zero_branches = false;  // every page that is neither a leaf nor empty
  double page_rate = 0;        // this share of all pages, chosen at random, overwritten
  bool noise = false;          // overwrite with random bytes rather than zeros
  double keep_fraction = 1;    // the file cut to this share of its pages
  std::uint64_t seed = 1;
};

struct DamageReport {
  std::uint32_t page_size = 0;
  std::uint32_t page_count = 0;                 // pages after the two header copies, before the cut
  std::vector<std::uint32_t> hit_pages;         // overwritten, in ascending order
  std::optional<std::uint32_t> first_cut_page;  // pages from this one on are gone

  bool Intact(std::uint32_t page) const;
};

// Copies `source` to `target` and damages the copy. Throws std::runtime_error when the source
// cannot be read as an ESE file or the copy cannot be written.
DamageReport DamageDatabase(const std::filesystem::path& source,
                            const std::filesystem::path& target, const DamageOptions& options);

}  // namespace tarvex::edbforge
