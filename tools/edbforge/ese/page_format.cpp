#include "tools/edbforge/ese/page_format.h"

#include <string>

#include "ese/byte_order.h"
#include "ese/page_checksum.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {

using ese::StoreLe16;
using ese::StoreLe32;
using ese::StoreLe64;
namespace page_header = ese::page_header;
namespace page_tag = ese::page_tag;

void CheckPageFormat(const PageFormat& format) {
  if (format.revision < 9 || format.revision > 20) {
    throw EseWriteError("format revision " + std::to_string(format.revision) +
                        " is not supported (9 to 20)");
  }
  const bool small = format.page_size == 4096 || format.page_size == 8192;
  if (!small && !(format.page_size == 32768 && format.revision >= 17)) {
    throw EseWriteError("page size " + std::to_string(format.page_size) +
                        " is not valid for revision " + std::to_string(format.revision) +
                        " (4096 or 8192; 32768 from revision 17)");
  }
  if (format.older_record_format && format.Extended()) {
    throw EseWriteError("the older record format has no " + std::to_string(format.page_size) +
                        "-byte pages");
  }
}

size_t PageBytesNeeded(size_t value_bytes, size_t value_count) {
  return value_bytes + page_tag::kSize * value_count;
}

void StampChecksums(const PageFormat& format, uint32_t page_number, std::span<uint8_t> page) {
  uint8_t* bytes = page.data();
  const std::span<const uint8_t> whole(page);
  if (format.Extended()) {
    StoreLe64(bytes + page_header::kExtendedPageNumber, page_number);
    const size_t block = format.page_size / 4;
    for (size_t index = 1; index < 4; ++index) {
      const auto sum = ese::EccChecksum(whole.subspan(index * block, block), 0, page_number);
      uint8_t* pair = bytes + page_header::kExtendedChecksums + 8 * (index - 1);
      StoreLe32(pair, sum.xor_value);
      StoreLe32(pair + 4, sum.ecc_value);
    }
    const auto sum = ese::EccChecksum(whole.subspan(0, block), 8, page_number);
    StoreLe32(bytes + page_header::kChecksum, sum.xor_value);
    StoreLe32(bytes + page_header::kChecksum + 4, sum.ecc_value);
  } else if (format.EccChecksums()) {
    const auto sum = ese::EccChecksum(whole, 8, page_number);
    StoreLe32(bytes + page_header::kChecksum, sum.xor_value);
    StoreLe32(bytes + page_header::kChecksum + 4, sum.ecc_value);
  } else {
    StoreLe32(bytes + page_header::kPageNumber, page_number);
    StoreLe32(bytes + page_header::kChecksum,
              ese::XorChecksum(whole.subspan(4), ese::file_header::kSignature));
  }
}

std::vector<uint8_t> BuildPage(const PageFormat& format, const PageHeaderFields& header,
                               std::span<const std::vector<uint8_t>> values,
                               std::span<const uint8_t> tag_flags) {
  const size_t header_size = format.HeaderSize();
  std::vector<uint8_t> page(format.page_size, 0);
  size_t value_bytes = 0;
  for (const auto& value : values) value_bytes += value.size();
  if (PageBytesNeeded(value_bytes, values.size()) > format.DataArea() || values.size() > 0xffff) {
    throw EseWriteError("page " + std::to_string(header.page_number) +
                        " overflows: " + std::to_string(values.size()) + " values of " +
                        std::to_string(value_bytes) + " bytes");
  }
  const uint16_t field_mask =
      format.Extended() ? page_tag::kLargePageMask : page_tag::kSmallPageMask;
  // On large pages the flags take the top bits of the value's second byte.
  constexpr auto kLargePageFlagBits = static_cast<uint8_t>(0xff << page_tag::kLargePageFlagShift);
  size_t offset = 0;
  for (size_t index = 0; index < values.size(); ++index) {
    const auto& value = values[index];
    const uint8_t flags = index < tag_flags.size() ? tag_flags[index] : 0;
    uint8_t* at = page.data() + header_size + offset;
    std::copy(value.begin(), value.end(), at);
    uint16_t offset_field = static_cast<uint16_t>(offset & field_mask);
    if (flags != 0) {
      if (format.Extended()) {
        if (value.size() < 2 || (value[1] & kLargePageFlagBits) != 0) {
          throw EseWriteError("page " + std::to_string(header.page_number) +
                              ": no room for the flags of value " + std::to_string(index));
        }
        at[1] = static_cast<uint8_t>(at[1] | (flags << page_tag::kLargePageFlagShift));
      } else {
        offset_field =
            static_cast<uint16_t>(offset_field | (flags << page_tag::kSmallPageFlagShift));
      }
    }
    uint8_t* tag = page.data() + format.page_size - page_tag::kSize * (index + 1);
    StoreLe16(tag + page_tag::kValueSize, static_cast<uint16_t>(value.size() & field_mask));
    StoreLe16(tag + page_tag::kValueOffset, offset_field);
    offset += value.size();
  }

  uint8_t* bytes = page.data();
  StoreLe64(bytes + page_header::kDatabaseTime, header.database_time);
  StoreLe32(bytes + page_header::kPreviousPage, header.previous_page);
  StoreLe32(bytes + page_header::kNextPage, header.next_page);
  StoreLe32(bytes + page_header::kFatherObjectId, header.fdp_object_id);
  const size_t free_bytes = format.DataArea() - PageBytesNeeded(value_bytes, values.size());
  StoreLe16(bytes + page_header::kFreeBytes, static_cast<uint16_t>(free_bytes));
  StoreLe16(bytes + page_header::kUncommittedFreeBytes, 0);
  StoreLe16(bytes + page_header::kFirstFreeOffset, static_cast<uint16_t>(offset));
  StoreLe16(bytes + page_header::kTagState, static_cast<uint16_t>(values.size()));
  StoreLe32(bytes + page_header::kFlags, header.flags);

  StampChecksums(format, header.page_number, page);
  return page;
}

}  // namespace tarvex::edbforge
