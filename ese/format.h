#pragma once

// The on-disk structures of an ESE database file (format 0x620), declared once for the reader
// and for edbforge's writer: file header, page header, page tags, records, catalogue rows and
// long values. Offsets are in bytes; every integer is little-endian unless said otherwise.

#include <cstddef>
#include <cstdint>

namespace tarvex::ese {

inline constexpr uint32_t kFormatVersion = 0x620;

// ---- File header (page -1, its shadow copy at page 0, each one page long) ----
namespace file_header {
inline constexpr size_t kChecksum = 0;  // XOR of the words from byte 4, seeded with kSignature
inline constexpr size_t kSignatureField = 4;
inline constexpr size_t kFormatVersionField = 8;
inline constexpr size_t kFileType = 12;  // 0 database, 1 streaming file
inline constexpr size_t kDatabaseTime = 16;
inline constexpr size_t kDatabaseState = 52;
inline constexpr size_t kLastObjectId = 212;
inline constexpr size_t kFormatRevision = 232;
inline constexpr size_t kPageSize = 236;
inline constexpr size_t kCreationFormatVersion = 340;
inline constexpr size_t kCreationFormatRevision = 344;
inline constexpr size_t kMinimumSize = 668;
inline constexpr uint32_t kSignature = 0x89abcdefU;
// Further fields of a written header; times are log times (8 bytes), signatures 28 bytes.
inline constexpr size_t kDatabaseSignature = 24;
inline constexpr size_t kConsistentPosition = 56;
inline constexpr size_t kConsistentTime = 64;
inline constexpr size_t kAttachTime = 72;
inline constexpr size_t kDetachTime = 88;
inline constexpr size_t kWindowsMajorVersion = 216;  // the Windows that last built the indexes
inline constexpr size_t kWindowsMinorVersion = 220;
inline constexpr size_t kWindowsBuildNumber = 224;
inline constexpr size_t kWindowsServicePack = 228;
inline constexpr uint32_t kStateCleanShutdown = 3;
}  // namespace file_header

// Page n of the database lives at file offset (n + 1) * page size: the two header copies come
// first. Pages 1 to 3 hold the database's own space trees; the catalogue roots are fixed.
inline constexpr uint32_t kDatabaseRootPage = 1;
inline constexpr uint32_t kCatalogRootPage = 4;
inline constexpr uint32_t kCatalogShadowRootPage = 24;
inline constexpr uint32_t kCatalogObjectId = 2;
inline constexpr uint32_t kCatalogShadowObjectId = 3;

// ---- Page header ----
namespace page_header {
inline constexpr size_t kChecksum = 0;    // XOR (and from revision 11 the ECC word at 4)
inline constexpr size_t kPageNumber = 4;  // before revision 11 only
inline constexpr size_t kDatabaseTime = 8;
inline constexpr size_t kPreviousPage = 16;
inline constexpr size_t kNextPage = 20;
inline constexpr size_t kFatherObjectId = 24;
inline constexpr size_t kFreeBytes = 28;
inline constexpr size_t kUncommittedFreeBytes = 30;
inline constexpr size_t kFirstFreeOffset = 32;  // relative to the end of the header
inline constexpr size_t kTagState = 34;         // tag count; the top 4 bits count reserved tags
inline constexpr size_t kFlags = 36;
inline constexpr size_t kSize = 40;
// Revision 17 on, 16 and 32 KiB pages: three more XOR/ECC pairs and the page number.
inline constexpr size_t kExtendedChecksums = 40;
inline constexpr size_t kExtendedPageNumber = 64;
inline constexpr size_t kExtendedSize = 80;
}  // namespace page_header

namespace page_flag {
inline constexpr uint32_t kRoot = 0x0001;
inline constexpr uint32_t kLeaf = 0x0002;
inline constexpr uint32_t kParentOfLeaf = 0x0004;
inline constexpr uint32_t kEmpty = 0x0008;
inline constexpr uint32_t kSpaceTree = 0x0020;
inline constexpr uint32_t kIndex = 0x0040;
inline constexpr uint32_t kLongValue = 0x0080;
inline constexpr uint32_t kNonUniqueKeys = 0x0400;
inline constexpr uint32_t kNewRecordFormat = 0x0800;
inline constexpr uint32_t kNewChecksumFormat = 0x2000;
inline constexpr uint32_t kScrubbed = 0x4000;
}  // namespace page_flag

// ---- Page tags: 4 bytes each, from the page end backwards; tag 0 is the page's own header
// (the common key prefix, or the root header on a root page) ----
namespace page_tag {
inline constexpr size_t kSize = 4;
inline constexpr size_t kValueSize = 0;    // first 16-bit word
inline constexpr size_t kValueOffset = 2;  // second 16-bit word, relative to the header end
inline constexpr uint16_t kSmallPageMask = 0x1fff;   // flags in the offset word's top 3 bits
inline constexpr uint16_t kLargePageMask = 0x7fff;   // flags in the value's first word
inline constexpr unsigned kSmallPageFlagShift = 13;  // of the offset word
inline constexpr unsigned kLargePageFlagShift = 5;   // of the value's second byte
}  // namespace page_tag

namespace tag_flag {
inline constexpr uint8_t kVersion = 0x01;
inline constexpr uint8_t kDeleted = 0x02;
inline constexpr uint8_t kCommonKey = 0x04;  // the entry starts with a common key size
}  // namespace tag_flag

// An entry: [common key size, if kCommonKey] local key size, local key, data. Both sizes are
// 16-bit with 13 bits of value. A branch entry's data is its child's page number; its key is
// the highest key of that child (empty on the last entry: "everything above").
inline constexpr uint16_t kKeySizeMask = 0x1fff;
// The root header in tag 0 of a root page: 16 bytes, 25 in later revisions.
inline constexpr size_t kRootHeaderSize = 16;
namespace root_header {
inline constexpr size_t kInitialPages = 0;    // the tree's pages when it was created
inline constexpr size_t kParentRootPage = 4;  // the root page of the tree's owner
inline constexpr size_t kSpaceFlags = 8;      // root_space_flag
// With several extents: the root of the tree's owned-space tree; its available-space tree's
// root is the next page. With one: a bitmap of the free pages behind the root (bit 0: root + 1).
inline constexpr size_t kOwnedSpaceRoot = 12;
}  // namespace root_header

namespace root_space_flag {
inline constexpr uint32_t kMultipleExtents = 0x1;
inline constexpr uint32_t kNonUniqueKeys = 0x2;
}  // namespace root_space_flag

// Entries of the space trees (pages flagged kSpaceTree): the key is an extent's last page,
// big-endian; the data its page count. An entry flagged deleted counts for nothing.
namespace space_entry {
inline constexpr size_t kKeySize = 4;
inline constexpr size_t kPageCountSize = 4;
}  // namespace space_entry

// Normalized keys: each column of the key starts with this byte when it holds a value, in
// ascending order; integers follow big-endian with the sign bit flipped.
inline constexpr uint8_t kKeyValuePresent = 0x7f;

// ---- Records of table trees ----
// Header: last fixed column id (1 byte), last variable column id (1 byte), offset of the
// variable offsets (16-bit, from the record start). Fixed values follow the header at their
// columns' record offsets, then the null bits of the fixed columns (bit id - 1 set: null).
namespace record {
inline constexpr size_t kHeaderSize = 4;
inline constexpr uint32_t kFirstFixed = 1;
inline constexpr uint32_t kLastFixed = 127;
inline constexpr uint32_t kFirstVariable = 128;
inline constexpr uint32_t kLastVariable = 255;
inline constexpr uint32_t kFirstTagged = 256;
// Variable columns: one 16-bit end offset per id, relative to the end of the offsets.
inline constexpr uint16_t kVariableEmpty = 0x8000;
inline constexpr uint16_t kVariableOffsetMask = 0x7fff;
}  // namespace record

// Tagged columns: a directory of (16-bit id, 16-bit offset) entries, offsets relative to the
// directory start; the first entry's offset gives the directory's size.
namespace tagged {
inline constexpr size_t kEntrySize = 4;
inline constexpr uint16_t kDerived = 0x8000;      // a template's column in a derived table
inline constexpr uint16_t kExtendedInfo = 0x4000;  // small pages: a flags byte leads the value
inline constexpr uint16_t kNullSmallPage = 0x2000;
inline constexpr uint16_t kSmallPageOffsetMask = 0x1fff;
inline constexpr uint16_t kLargePageOffsetMask = 0x7fff;
}  // namespace tagged

// The older tagged layout, on leaf pages without page_flag::kNewRecordFormat (written by the
// engine of revisions up to 2, ESE97, and left so in an upgraded file until the engine next
// changes the page): a list of entries, each a
// 16-bit id, a 16-bit word of size and flags, then the value. The values of a multi-valued
// column are consecutive entries of the same id. A long column's value starts with one byte
// whose bit 0 says the rest is a long-value id rather than the value itself.
namespace old_tagged {
inline constexpr size_t kEntryHeaderSize = 4;
inline constexpr uint16_t kSizeMask = 0x0fff;
inline constexpr uint16_t kDerived = 0x2000;
inline constexpr uint16_t kNull = 0x4000;
inline constexpr uint16_t kLongValue = 0x8000;
inline constexpr uint8_t kSeparated = 0x01;  // in the long value's leading byte
}  // namespace old_tagged

// The flags byte that leads a tagged value.
namespace value_flag {
inline constexpr uint8_t kLongType = 0x01;  // the column is LongText or LongBinary
inline constexpr uint8_t kCompressed = 0x02;
inline constexpr uint8_t kSeparated = 0x04;  // the value is a long-value id
inline constexpr uint8_t kMultiValue = 0x08;
inline constexpr uint8_t kTwoValues = 0x10;  // multi value of two: 1 size byte, then both
inline constexpr uint8_t kNull = 0x20;
inline constexpr uint8_t kEncrypted = 0x40;
}  // namespace value_flag

// Multi values: 16-bit offsets of each value from the start of the data; the first offset
// gives the count. The top bit marks a value kept as a separate long value.
inline constexpr uint16_t kMultiValueSeparated = 0x8000;
inline constexpr uint16_t kMultiValueOffsetMask = 0x7fff;

// ---- Long values ----
// A separated value holds the long-value id (4 bytes, or 8 in later revisions) little-endian.
// Its tree keys are the id big-endian (the long value's root: reference count and total size,
// 32-bit each) and the id followed by the segment's offset, 32-bit big-endian (its bytes).
// A segment of a compressed column may be stored compressed: its stored size then differs
// from the distance to the next segment's offset.
// A compressed value (or segment) names its form in its first byte: 0x18 LZXPRESS (then the
// unpacked size, 16-bit), 0x08-0x0F 7-bit packed 8-bit characters, 0x10-0x17 7-bit packed
// UTF-16 characters; the low 3 bits of a 7-bit header count the bits used in the last byte.
namespace compression {
inline constexpr std::uint8_t kLzxpress = 0x18;
inline constexpr std::uint8_t kSevenBitFirst = 0x08;
inline constexpr std::uint8_t kSevenBitUnicode = 0x10;
inline constexpr std::uint8_t kSevenBitLast = 0x17;
}  // namespace compression

namespace long_value {
inline constexpr size_t kIdSize = 4;  // before the 8-byte ids
inline constexpr size_t kRootReferenceCount = 0;
inline constexpr size_t kRootSize = 4;
inline constexpr size_t kRootMinimumSize = 8;
inline constexpr size_t kSegmentOffsetSize = 4;
}  // namespace long_value

// ---- The catalogue: MSysObjects and its copy MSysObjectsShadow ----
namespace catalog_type {
inline constexpr uint16_t kTable = 1;
inline constexpr uint16_t kColumn = 2;
inline constexpr uint16_t kIndex = 3;
inline constexpr uint16_t kLongValue = 4;
inline constexpr uint16_t kCallback = 5;
}  // namespace catalog_type

// Column ids of the catalogue's own columns.
namespace catalog_column {
inline constexpr uint32_t kObjidTable = 1;       // Long
inline constexpr uint32_t kType = 2;             // Short
inline constexpr uint32_t kId = 3;               // Long: object or column id
inline constexpr uint32_t kColtypOrPgnoFDP = 4;  // Long: column type, or a tree's root page
inline constexpr uint32_t kSpaceUsage = 5;       // Long: a fixed column's width
inline constexpr uint32_t kFlags = 6;            // Long
inline constexpr uint32_t kPagesOrLocale = 7;    // Long: a text column's code page
inline constexpr uint32_t kRootFlag = 8;         // Bit
inline constexpr uint32_t kRecordOffset = 9;     // Short: a fixed column's record offset
inline constexpr uint32_t kLCMapFlags = 10;      // Long
inline constexpr uint32_t kKeyMost = 11;         // UnsignedShort
inline constexpr uint32_t kLVChunkMax = 12;      // Long
inline constexpr uint32_t kName = 128;           // Text (8-bit)
inline constexpr uint32_t kStats = 129;
inline constexpr uint32_t kTemplateTable = 130;  // Text: a derived table's template, a callback
inline constexpr uint32_t kDefaultValue = 131;   // Binary: a column's default value
inline constexpr uint32_t kKeyFldIDs = 132;
inline constexpr uint32_t kVarSegMac = 133;
inline constexpr uint32_t kConditionalColumns = 134;
inline constexpr uint32_t kTupleLimits = 135;
inline constexpr uint32_t kVersion = 136;
inline constexpr uint32_t kSortID = 137;
inline constexpr uint32_t kCallbackData = 256;
inline constexpr uint32_t kCallbackDependencies = 257;
inline constexpr uint32_t kSeparateLV = 258;
inline constexpr uint32_t kSpaceHints = 259;
inline constexpr uint32_t kSpaceDeferredLVHints = 260;
inline constexpr uint32_t kLocaleName = 261;
}  // namespace catalog_column

namespace table_flag {
inline constexpr uint32_t kDerived = 0x10000000;
inline constexpr uint32_t kTemplate = 0x20000000;
inline constexpr uint32_t kFixedDdl = 0x40000000;
inline constexpr uint32_t kSystem = 0x80000000;
}  // namespace table_flag

namespace column_flag {
inline constexpr uint32_t kNotNull = 0x0001;
inline constexpr uint32_t kMultiValued = 0x0008;
inline constexpr uint32_t kCompressed = 0x1000;
}  // namespace column_flag

// JET column types.
enum class ColumnType : uint32_t {
  kNil = 0,
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

inline constexpr uint32_t kCodePageUnicode = 1200;
inline constexpr uint32_t kCodePageWestern = 1252;

// The width of a fixed-size type; 0 for Binary, Text and the long types.
constexpr uint32_t NaturalSize(ColumnType type) {
  switch (type) {
    case ColumnType::kBit:
    case ColumnType::kUnsignedByte:
      return 1;
    case ColumnType::kShort:
    case ColumnType::kUnsignedShort:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kIeeeSingle:
    case ColumnType::kUnsignedLong:
      return 4;
    case ColumnType::kCurrency:
    case ColumnType::kIeeeDouble:
    case ColumnType::kDateTime:
    case ColumnType::kLongLong:
      return 8;
    case ColumnType::kGuid:
      return 16;
    default:
      return 0;
  }
}

}  // namespace tarvex::ese
