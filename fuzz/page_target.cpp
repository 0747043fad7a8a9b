// One page taken apart with every entry, in the layout the first input byte chooses; the rest
// of the input is the page, cut or padded with zeros to the page size.

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "ese/page.h"
#include "ese/page_checksum.h"
#include "fuzz/checks.h"
#include "fuzz/targets.h"

namespace tarvex::fuzz {

int FuzzPage(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ese::PageLayout layout = LayoutFromChoice(data[0]);
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(layout.page_size);
  std::copy_n(input.begin(), std::min<std::size_t>(input.size(), layout.page_size), bytes->begin());
  const std::span<const std::uint8_t> page_bytes(*bytes);

  constexpr std::uint32_t kPageNumber = 7;
  ese::PageChecksumMatches(layout, kPageNumber, page_bytes);
  const std::optional<ese::Page> page = ese::Page::Parse(layout, kPageNumber, bytes);
  if (!page) return 0;
  for (std::size_t index = 0; index < page->entry_count(); ++index) {
    const std::optional<ese::PageEntry> entry = page->Entry(index);
    if (!entry) continue;
    RequireWithin(entry->data, page_bytes, "an entry's data lies inside its page");
    Touch(entry->data);
    ese::Page::ChildPage(*entry);
  }
  Require(!page->Entry(page->entry_count()), "no entry past the last one");
  return 0;
}

}  // namespace tarvex::fuzz
