#pragma once

// What the targets check beyond the sanitizers: promises the parsers make about what they hand
// back. A broken promise aborts, which libFuzzer saves as a crash and the replay test fails on.

#include <cstdint>
#include <span>

#include "ese/page_layout.h"

namespace tarvex::fuzz {

// Aborts with `what` on stderr unless `condition` holds.
void Require(bool condition, const char* what);

// Aborts unless `inner` lies inside `outer` (an empty `inner` anywhere within or at its end).
void RequireWithin(std::span<const std::uint8_t> inner, std::span<const std::uint8_t> outer,
                   const char* what);

// Reads every byte, so that the address sanitizer sees a span that reaches past its buffer.
std::uint8_t Touch(std::span<const std::uint8_t> bytes);

// The page layout a fuzz input chooses with one byte: the page size from the low three bits
// (2 to 32 KiB), and with bit 3 set a revision older than the large-page layout.
ese::PageLayout LayoutFromChoice(std::uint8_t choice);

}  // namespace tarvex::fuzz
