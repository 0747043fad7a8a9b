#pragma once

// Long values read straight from the leaf pages of a database file, for the values that
// libesedb 20181229 cannot return (it answers "no value" for most long values of the engine
// samples). Pages of 2, 4 and 8 KiB, whose page tags carry the entry flags.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace tarvex::testing {

class LongValuePages {
 public:
  using Bytes = std::vector<std::uint8_t>;

  // None when the file cannot be read or is no database of small pages.
  static std::optional<LongValuePages> Read(const std::filesystem::path& database);

  // The chunks of long value `id` (the identifier a record stores for it) in offset order, as
  // stored: chunks of compressed columns stay compressed. None when no tree holds the value,
  // or more than one does.
  std::optional<std::vector<Bytes>> Chunks(std::uint32_t id) const;

 private:
  // Chunk bytes by offset, by long value identifier, by the tree's father data page object.
  std::map<std::uint32_t, std::map<std::uint32_t, std::map<std::uint32_t, Bytes>>> trees_;
};

}  // namespace tarvex::testing
