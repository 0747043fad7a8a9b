#include "tools/edbforge/ese/page_format.h"

#include <string>

#include "tools/edbforge/ese/byte_order.h"
#include "tools/edbforge/ese/ese_error.h"
#include "tools/edbforge/ese/page_checksum.h"

namespace tarvex::edbforge {

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
}

size_t PageBytesNeeded(size_t value_bytes, size_t value_count) {
  return value_bytes + 4 * value_count;
}

void StampChecksums(const PageFormat& format, uint32_t page_number, std::span<uint8_t> page) {
  uint8_t* bytes = page.data();
  const std::span<const uint8_t> whole(page);
  if (format.Extended()) {
    StoreLe64(bytes + 64, page_number);
    const size_t block = format.page_size / 4;
    for (size_t index = 1; index < 4; ++index) {
      const auto sum = EccChecksum(whole.subspan(index * block, block), 0, page_number);
      StoreLe32(bytes + 32 + 8 * index, sum.xor_value);
      StoreLe32(bytes + 36 + 8 * index, sum.ecc_value);
    }
    const auto sum = EccChecksum(whole.subspan(0, block), 8, page_number);
    StoreLe32(bytes, sum.xor_value);
    StoreLe32(bytes + 4, sum.ecc_value);
  } else if (format.EccChecksums()) {
    const auto sum = EccChecksum(whole, 8, page_number);
    StoreLe32(bytes, sum.xor_value);
    StoreLe32(bytes + 4, sum.ecc_value);
  } else {
    StoreLe32(bytes + 4, page_number);
    StoreLe32(bytes, XorChecksum(whole.subspan(4), 0x89abcdefU));
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
  const uint16_t field_mask = format.Extended() ? 0x7fff : 0x1fff;
  size_t offset = 0;
  for (size_t index = 0; index < values.size(); ++index) {
    const auto& value = values[index];
    const uint8_t flags = index < tag_flags.size() ? tag_flags[index] : 0;
    uint8_t* at = page.data() + header_size + offset;
    std::copy(value.begin(), value.end(), at);
    uint16_t offset_field = static_cast<uint16_t>(offset & field_mask);
    if (flags != 0) {
      if (format.Extended()) {
        if (value.size() < 2 || (value[1] & 0xe0) != 0) {
          throw EseWriteError("page " + std::to_string(header.page_number) +
                              ": no room for the flags of value " + std::to_string(index));
        }
        at[1] = static_cast<uint8_t>(at[1] | (flags << 5));
      } else {
        offset_field = static_cast<uint16_t>(offset_field | (flags << 13));
      }
    }
    uint8_t* tag = page.data() + format.page_size - 4 * (index + 1);
    StoreLe16(tag, static_cast<uint16_t>(value.size() & field_mask));
    StoreLe16(tag + 2, offset_field);
    offset += value.size();
  }

  uint8_t* bytes = page.data();
  StoreLe64(bytes + 8, header.database_time);
  StoreLe32(bytes + 16, header.previous_page);
  StoreLe32(bytes + 20, header.next_page);
  StoreLe32(bytes + 24, header.fdp_object_id);
  const size_t free_bytes = format.DataArea() - PageBytesNeeded(value_bytes, values.size());
  StoreLe16(bytes + 28, static_cast<uint16_t>(free_bytes));
  StoreLe16(bytes + 30, 0);
  StoreLe16(bytes + 32, static_cast<uint16_t>(offset));
  StoreLe16(bytes + 34, static_cast<uint16_t>(values.size()));
  StoreLe32(bytes + 36, header.flags);

  StampChecksums(format, header.page_number, page);
  return page;
}

}  // namespace tarvex::edbforge
