#pragma once

// Body values whose encoding the store does not record: HTML bodies arrive as UTF-16LE, UTF-8
// or 8-bit Windows-1252 bytes, depending on the client that wrote them.

#include <cstdint>
#include <span>
#include <string>

namespace tarvex {

// The text of a NUL-terminated body value, decoded by what the bytes show: a byte-order mark,
// else the zero high bytes of UTF-16LE, else UTF-8 when the bytes are well-formed UTF-8,
// else Windows-1252. The terminator and anything after it are not text; a mark is dropped.
std::u16string DecodeBodyBytes(std::span<const std::uint8_t> bytes);

}  // namespace tarvex
