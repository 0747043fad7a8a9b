// A whole database file, read as the program reads one: the header, the catalogue (and its
// shadow), every table's tree walk with its records, every value of every record, multi values
// split, compressed values decoded, and each separated long value walked segment by segment.
// The deep scan's census runs first, so that leaves no tree reaches and entries flagged
// deleted are read too. The input is the file; the smallest page cache keeps evictions in play.

#include <optional>
#include <vector>

#include "ese/database.h"
#include "fuzz/checks.h"
#include "fuzz/memory_file.h"
#include "fuzz/targets.h"
#include "store/column_decompression.h"

namespace tarvex::fuzz {
namespace {

// A crafted catalogue may name thousands of tables over one big tree; how each is read is what
// is tested, not how many there are, so the work per input has a ceiling.
struct Budget {
  std::size_t tables = 64;
  std::size_t values = 20000;
  std::size_t long_values = 500;
};

void ReadLongValue(const ese::Table& table, std::span<const std::uint8_t> stored_id,
                   Budget& budget) {
  const ese::LongValues* long_values = table.long_values();
  if (long_values == nullptr || budget.long_values == 0) return;
  --budget.long_values;
  std::uint64_t next_offset = 0;
  bool contiguous = true;
  const std::optional<std::uint64_t> total =
      long_values->ForEachSegment(stored_id, [&](const ese::LongValueSegment& segment) {
        contiguous = contiguous && segment.offset == next_offset;
        next_offset = segment.offset + segment.size;
        Touch(segment.stored);
        if (segment.compressed()) Decompress(segment.stored);
      });
  if (total) {
    Require(contiguous && next_offset == *total,
            "a long value's segments cover it from start to end");
  }
}

void ReadStoredBytes(const ese::Table& table, std::span<const std::uint8_t> bytes,
                     std::uint8_t flags, bool separated, Budget& budget) {
  if (separated) {
    ReadLongValue(table, bytes, budget);
  } else if ((flags & ese::value_flag::kCompressed) != 0) {
    Decompress(bytes);
  }
}

void ReadValue(const ese::Table& table, const ese::StoredValue& value, Budget& budget) {
  Touch(value.bytes);
  const bool separated = (value.flags & ese::value_flag::kSeparated) != 0;
  const bool multi =
      (value.flags & (ese::value_flag::kMultiValue | ese::value_flag::kTwoValues)) != 0;
  if (!multi) {
    ReadStoredBytes(table, value.bytes, value.flags, separated, budget);
    return;
  }
  const std::optional<std::vector<ese::MultiValuePart>> parts = ese::SplitMultiValue(value);
  if (!parts) return;
  for (const ese::MultiValuePart& part : *parts) {
    RequireWithin(part.bytes, value.bytes, "a multi value's part lies inside the value");
    ReadStoredBytes(table, part.bytes, value.flags, part.separated, budget);
  }
}

void ReadRecord(const ese::Table& table, const ese::Record& record, Budget& budget) {
  for (std::size_t position = 0; position < record.column_count() && budget.values > 0;
       ++position) {
    --budget.values;
    const std::optional<ese::StoredValue> value = record.Value(position);
    Require(value.has_value(), "every column of the table has a value or none");
    if (value->present) ReadValue(table, *value, budget);
  }
}

}  // namespace

int FuzzDatabase(const std::uint8_t* data, std::size_t size) {
  const MemoryFile file(std::span(data, size));
  if (!file.ok()) return 0;
  const ese::Database::OpenResult opened = ese::Database::Open(file.path(), 0);
  if (!opened.database) return 0;
  Require(opened.database->TakeCensus(), "a census without a progress callback runs through");
  Budget budget;
  for (const auto& table : opened.database->tables()) {
    if (budget.tables == 0 || budget.values == 0) break;
    --budget.tables;
    table->ForEachRecord([&](std::uint32_t, const ese::Record* record) {
      if (record != nullptr) ReadRecord(*table, *record, budget);
      return budget.values > 0;
    });
  }
  return 0;
}

}  // namespace tarvex::fuzz
