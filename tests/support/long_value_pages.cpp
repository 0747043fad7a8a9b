#include "support/long_value_pages.h"

#include <fstream>
#include <iterator>
#include <span>

namespace tarvex::testing {
namespace {

constexpr std::size_t kPageSizeOffset = 236;
constexpr std::size_t kPageHeaderSize = 40;
constexpr std::uint32_t kLeafPage = 0x02;
constexpr std::uint32_t kEmptyPage = 0x08;
constexpr std::uint32_t kLongValuePage = 0x80;
constexpr unsigned kDefunctEntry = 0x2;
constexpr unsigned kCommonKeyEntry = 0x4;

std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(Le16(bytes, at)) |
         (static_cast<std::uint32_t>(Le16(bytes, at + 2)) << 16);
}
std::uint32_t Be32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (static_cast<std::uint32_t>(bytes[at]) << 24) | (bytes[at + 1] << 16) |
         (bytes[at + 2] << 8) | bytes[at + 3];
}

struct PageEntry {
  unsigned flags = 0;
  std::span<const std::uint8_t> bytes;
};

// The value of page tag `index`; none when the tag points outside the page.
std::optional<PageEntry> EntryAt(std::span<const std::uint8_t> page, std::size_t index) {
  const std::size_t tag_at = page.size() - 4 * (index + 1);
  if (tag_at < kPageHeaderSize) return std::nullopt;
  const std::size_t size = Le16(page, tag_at) & 0x1FFFu;
  const std::uint16_t offset_and_flags = Le16(page, tag_at + 2);
  const std::size_t offset = kPageHeaderSize + (offset_and_flags & 0x1FFFu);
  if (offset > tag_at || size > tag_at - offset) return std::nullopt;
  return PageEntry{static_cast<unsigned>(offset_and_flags >> 13), page.subspan(offset, size)};
}

}  // namespace

std::optional<LongValuePages> LongValuePages::Read(const std::filesystem::path& database) {
  std::ifstream file(database, std::ios::binary);
  if (!file) return std::nullopt;
  const Bytes content{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (content.size() < kPageSizeOffset + 4) return std::nullopt;
  const std::size_t page_size = Le32(content, kPageSizeOffset);
  if (page_size != 2048 && page_size != 4096 && page_size != 8192) return std::nullopt;

  LongValuePages pages;
  // Page n lies at (n + 1) * page size; the first two pages are the header and its shadow.
  for (std::size_t at = page_size; at + page_size <= content.size(); at += page_size) {
    const std::span<const std::uint8_t> page(content.data() + at, page_size);
    const std::uint32_t page_flags = Le32(page, 36);
    if ((page_flags & (kLeafPage | kLongValuePage)) != (kLeafPage | kLongValuePage) ||
        (page_flags & kEmptyPage) != 0) {
      continue;
    }
    const std::uint32_t tree = Le32(page, 24);
    const std::size_t tag_count = Le16(page, 34) & 0x0FFFu;
    const std::optional<PageEntry> prefix = tag_count > 0 ? EntryAt(page, 0) : std::nullopt;
    if (!prefix) continue;
    for (std::size_t index = 1; index < tag_count; ++index) {
      const std::optional<PageEntry> entry = EntryAt(page, index);
      if (!entry || (entry->flags & kDefunctEntry) != 0) continue;
      std::span<const std::uint8_t> rest = entry->bytes;
      std::size_t common_size = 0;
      if ((entry->flags & kCommonKeyEntry) != 0) {
        if (rest.size() < 2) continue;
        common_size = Le16(rest, 0);
        rest = rest.subspan(2);
      }
      if (rest.size() < 2 || common_size > prefix->bytes.size()) continue;
      const std::size_t local_size = Le16(rest, 0);
      if (local_size > rest.size() - 2) continue;
      Bytes key(prefix->bytes.begin(), prefix->bytes.begin() + common_size);
      key.insert(key.end(), rest.begin() + 2, rest.begin() + 2 + local_size);
      // Keys of 8 bytes are chunks (identifier, offset, both big-endian); 4 bytes are roots.
      if (key.size() != 8) continue;
      const std::span<const std::uint8_t> data = rest.subspan(2 + local_size);
      pages.trees_[tree][Be32(key, 0)][Be32(key, 4)] = Bytes(data.begin(), data.end());
    }
  }
  return pages;
}

std::optional<std::vector<LongValuePages::Bytes>> LongValuePages::Chunks(std::uint32_t id) const {
  const std::map<std::uint32_t, Bytes>* found = nullptr;
  for (const auto& [tree, values] : trees_) {
    const auto value = values.find(id);
    if (value == values.end()) continue;
    if (found != nullptr) return std::nullopt;
    found = &value->second;
  }
  if (found == nullptr) return std::nullopt;
  std::vector<Bytes> chunks;
  for (const auto& [offset, bytes] : *found) chunks.push_back(bytes);
  return chunks;
}

}  // namespace tarvex::testing
