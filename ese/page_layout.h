#pragma once

// What the format revision and page size decide about a page's layout.

#include <cstddef>
#include <cstdint>

#include "ese/format.h"

namespace tarvex::ese {

struct PageLayout {
  std::uint32_t page_size = 4096;
  std::uint32_t revision = 20;

  // Windows 7 (revision 17) gave 16 and 32 KiB pages an 80-byte header, 15-bit tag fields,
  // the tag flags in the entry's first word and a flags byte on every tagged value.
  bool Large() const { return revision >= 17 && page_size >= 16384; }
  std::size_t HeaderSize() const { return Large() ? page_header::kExtendedSize : page_header::kSize; }
};

}  // namespace tarvex::ese
