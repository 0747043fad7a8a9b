#pragma once

// What a generator declares: database options, tables and their columns.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::edbforge {

// JET column types 1 to 17.
enum class ColumnType : uint32_t {
  kBit = 1,
  kUnsignedByte = 2,
  kShort = 3,
  kLong = 4,
  kCurrency = 5,
  kIeeeSingle = 6,
  kIeeeDouble = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kLongBinary = 11,
  kLongText = 12,
  kSuperLongValue = 13,
  kUnsignedLong = 14,
  kLongLong = 15,
  kGuid = 16,
  kUnsignedShort = 17,
};

// Where a column's values live in a record. Fixed columns take identifiers 1-127, variable ones
// 128-255 and tagged ones 256 and above.
enum class ColumnStorage { kFixed, kVariable, kTagged };

inline constexpr uint32_t kCodePageUnicode = 1200;
inline constexpr uint32_t kCodePageWestern = 1252;

struct ColumnDefinition {
  std::u16string name;
  ColumnType type = ColumnType::kBinary;
  ColumnStorage storage = ColumnStorage::kTagged;
  // 0 lets the writer number the column in its storage's range, in declaration order.
  uint32_t identifier = 0;
  // Width of a fixed Binary or Text column (1-255); other fixed types have their own size.
  uint32_t fixed_size = 0;
  // Text columns: 1200 (UTF-16LE) or 1252.
  uint32_t code_page = kCodePageUnicode;
  bool multi_valued = false;  // tagged columns only
  bool compressed = false;    // the column allows compressed values
  bool not_null = false;
};

struct TableDefinition {
  std::u16string name;
  std::vector<ColumnDefinition> columns;
  // A template table lends its columns to derived tables.
  bool is_template = false;
  // Name of an earlier template table whose columns come first in this one. A derived table may
  // add tagged columns only (numbered from 256), and no more than its template has: libesedb
  // 20181229 cannot read the records of a derived table with more columns of its own.
  std::u16string template_table;
  // Callback attached to the table in the catalog, e.g. u"JCB.DLL!EcJcbAttachCallback".
  std::optional<std::u16string> callback;
};

struct DatabaseOptions {
  uint32_t page_size = 4096;      // 4096, 8192, or 32768 from revision 17
  uint32_t format_revision = 20;  // 9 to 20 (format version 0x620)
  // LongText/LongBinary values above this many bytes go to the long-value tree (values that do
  // not fit the record go there anyway). 0 means half a page: each separated value takes at
  // least one page of its own, so keeping mid-sized values in the record keeps big stores small.
  // The engine itself separates values above 1024 bytes.
  uint32_t inline_long_value_limit = 0;
  // Lay the long-value trees out as the engine does (identifiers from 1, keys as they are):
  // libesedb 20181229 then finds none of the separated values, as with the engine's own files,
  // which makes stores for testing what a reader does without them.
  bool engine_long_value_layout = false;
};

}  // namespace tarvex::edbforge
