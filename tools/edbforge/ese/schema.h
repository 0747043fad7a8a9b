#pragma once

// What a generator declares: database options, tables and their columns.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ese/format.h"

namespace tarvex::edbforge {

// The engine's column types and code pages, under the names the generators use.
using ese::ColumnType;
using ese::kCodePageUnicode;
using ese::kCodePageWestern;

// Where a column's values live in a record. Fixed columns take identifiers 1-127, variable ones
// 128-255 and tagged ones 256 and above.
enum class ColumnStorage { kFixed, kVariable, kTagged };

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

// A secondary index: its own tree of entries keyed by the columns' values (in this order),
// each holding the key of its record. Keys may repeat.
struct IndexDefinition {
  std::u16string name;
  std::vector<std::u16string> columns;
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
  // Columns of Binary, Text (code page 1252), integer, Currency or DateTime types.
  std::vector<IndexDefinition> indexes;
};

struct DatabaseOptions {
  uint32_t page_size = 4096;      // 4096, 8192, or 32768 from revision 17
  uint32_t format_revision = 20;  // 9 to 20 (format version 0x620)
  // Long values are laid out as the engine lays them out: LongText/LongBinary values above
  // 1024 bytes in the long-value tree, numbered from 1, under their keys as they are; libesedb
  // 20181229 finds none of them. This asks instead for the layout that libesedb can search (see
  // tree_writer.h), for tests that compare with it: there each separated value takes at least
  // a page, so values up to half a page stay in the record.
  bool libesedb_long_value_layout = false;
  // LongText/LongBinary values above this many bytes go to the long-value tree (values that do
  // not fit the record go there anyway); 0 leaves the limit to the layout.
  uint32_t inline_long_value_limit = 0;
  // Writes every page as an in-place upgrade from the engine of revisions up to 2 (ESE97)
  // leaves the pages it has not changed yet: records with their tagged columns in the older
  // layout, no page flagged as in the new record format. 4 and 8 KiB pages; no compressed values.
  bool older_record_format = false;
  // Multi values of exactly two values of a column that is not long in the engine's short form
  // (one size byte, then both values), as the engine writes them. Ignored in libesedb's layout:
  // libesedb 20181229 takes such a value for its stored bytes rather than two values.
  bool engine_two_value_form = true;
};

}  // namespace tarvex::edbforge
