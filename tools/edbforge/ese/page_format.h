#pragma once

// The layout rules that a format revision and page size call for, and the assembly of one
// complete page (header, values, tags, checksums).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ese/format.h"
#include "ese/page_layout.h"

namespace tarvex::edbforge {

struct PageFormat {
  uint32_t page_size = 4096;
  uint32_t revision = 20;
  // Pages as an in-place upgrade from the engine of revisions up to 2 (ESE97) leaves those it
  // has not changed yet: without the new-record-format flag, their records' tagged columns in
  // the older layout (ese/format.h, old_tagged).
  bool older_record_format = false;

  ese::PageLayout Layout() const { return {page_size, revision}; }
  // Windows 7 (revision 17) moved 16/32 KiB pages to an 80-byte header, 15-bit tags and
  // tagged-column flag bytes that are always present.
  bool Extended() const { return Layout().Large(); }
  // Exchange 2003 SP1 (revision 11) brought the ECC checksum and its page flag.
  bool EccChecksums() const { return revision >= 11; }
  size_t HeaderSize() const { return Layout().HeaderSize(); }
  // Bytes after the header, shared by values and tags.
  size_t DataArea() const { return page_size - HeaderSize(); }
  // Every page the engine formats since ESE98 (every revision written here) says that its
  // records are in the current layout, whatever tree it belongs to.
  uint32_t BaseFlags() const {
    return (EccChecksums() ? ese::page_flag::kNewChecksumFormat : 0) |
           (older_record_format ? 0 : ese::page_flag::kNewRecordFormat);
  }
};

// Throws EseWriteError unless the page size and revision form a layout the writer supports
// (format 0x620, revisions 9 to 20; 4 and 8 KiB pages, 32 KiB pages from revision 17 on; the
// older record format on 4 and 8 KiB pages only, as the large pages came after it).
void CheckPageFormat(const PageFormat& format);

struct PageHeaderFields {
  uint32_t page_number = 0;
  uint32_t previous_page = 0;
  uint32_t next_page = 0;
  uint32_t fdp_object_id = 0;
  uint32_t flags = 0;
  uint64_t database_time = 1;
};

// Lays out the values (tag 0 first) behind the header, writes their tags at the page end and
// stamps the checksums. `tag_flags` (one per value, or none) go into the tags on small pages and
// into the top bits of the value's first two bytes on extended pages. Throws EseWriteError when
// the values do not fit.
std::vector<uint8_t> BuildPage(const PageFormat& format, const PageHeaderFields& header,
                               std::span<const std::vector<uint8_t>> values,
                               std::span<const uint8_t> tag_flags = {});

// Writes the checksums (and for extended pages the page number) into a finished page.
void StampChecksums(const PageFormat& format, uint32_t page_number, std::span<uint8_t> page);

// Page bytes that `value_sizes` values need, tags included.
size_t PageBytesNeeded(size_t value_bytes, size_t value_count);

}  // namespace tarvex::edbforge
