#pragma once

// Body values whose encoding the store does not record: HTML bodies arrive as UTF-16LE, UTF-8
// or 8-bit Windows-1252 bytes, depending on the client that wrote them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarvex {

// The text of a NUL-terminated body value, decoded by what the bytes show: a byte-order mark,
// else the zero high bytes of UTF-16LE, else UTF-8 when the bytes are well-formed UTF-8,
// else Windows-1252. The terminator and anything after it are not text; a mark is dropped.
std::u16string DecodeBodyBytes(std::span<const std::uint8_t> bytes);

// A body as its file would be read back: UTF-16LE (with or without its mark), UTF-8 or 8-bit
// text.
std::u16string BodyFileText(const std::string& bytes);

// Whether `text`, written as UTF-16LE without a mark, reads back as BodyFileText gives it: no
// mark in front, a unit below 0x100 among the first 128 (the zero high byte that makes the file
// read as UTF-16LE) and no surrogate.
bool ReadsBackAsWritten(std::u16string_view text);

}  // namespace tarvex
