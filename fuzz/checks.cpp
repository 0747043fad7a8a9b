#include "fuzz/checks.h"

#include <cstdio>
#include <cstdlib>

namespace tarvex::fuzz {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz target: broken promise: %s\n", what);
  std::abort();
}

void RequireWithin(std::span<const std::uint8_t> inner, std::span<const std::uint8_t> outer,
                   const char* what) {
  // As addresses: the spans may come from different buffers, which pointers cannot compare.
  const auto inner_begin = reinterpret_cast<std::uintptr_t>(inner.data());
  const auto outer_begin = reinterpret_cast<std::uintptr_t>(outer.data());
  const bool within = inner_begin >= outer_begin && inner_begin - outer_begin <= outer.size() &&
                      inner.size() <= outer.size() - (inner_begin - outer_begin);
  Require(within, what);
}

std::uint8_t Touch(std::span<const std::uint8_t> bytes) {
  std::uint8_t folded = 0;
  for (const std::uint8_t byte : bytes) folded ^= byte;
  return folded;
}

ese::PageLayout LayoutFromChoice(std::uint8_t choice) {
  constexpr std::uint32_t kSmallestPage = 2048;
  constexpr std::uint32_t kPageSizes = 5;  // 2, 4, 8, 16 and 32 KiB
  constexpr std::uint32_t kLastSmallLayoutRevision = 12;
  constexpr std::uint32_t kCurrentRevision = 20;
  ese::PageLayout layout;
  layout.page_size = kSmallestPage << ((choice & 0x07u) % kPageSizes);
  layout.revision = (choice & 0x08u) != 0 ? kLastSmallLayoutRevision : kCurrentRevision;
  return layout;
}

}  // namespace tarvex::fuzz
