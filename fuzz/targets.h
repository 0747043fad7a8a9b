#pragma once

// The fuzz targets: each takes one input as libFuzzer hands it over and returns 0. A crash, a
// sanitizer report or a broken promise of a parser (checks.h) stops the process; nothing else
// does. The libFuzzer programs and the replay test call the same functions.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarvex::fuzz {

// One page: the first byte chooses the page size and the revision (LayoutFromChoice).
int FuzzPage(const std::uint8_t* data, std::size_t size);
// One record of a derived table: the first byte chooses the layout.
int FuzzRecord(const std::uint8_t* data, std::size_t size);
// A whole database file: header, catalogue, tree walks, records, long values.
int FuzzDatabase(const std::uint8_t* data, std::size_t size);
// One column value through the 7-bit and LZXPRESS decoders.
int FuzzColumnDecompression(const std::uint8_t* data, std::size_t size);
// One compressed RTF stream.
int FuzzCompressedRtf(const std::uint8_t* data, std::size_t size);
// One stored HTML body through the sanitizer; its page is parsed again and checked.
int FuzzHtmlSanitizer(const std::uint8_t* data, std::size_t size);
// One HTML body, as UTF-16 units, through the reading of its visible text.
int FuzzHtmlVisibleText(const std::uint8_t* data, std::size_t size);
// One stored transport-header block through the readers and writers of message headers.
int FuzzMessageHeaders(const std::uint8_t* data, std::size_t size);
// The report of an earlier export, as a replacing export reads it.
int FuzzExportReport(const std::uint8_t* data, std::size_t size);

struct Target {
  std::string_view name;  // also the folder of its inputs
  int (*run)(const std::uint8_t* data, std::size_t size);
};

std::span<const Target> Targets();
// Null when no target has that name.
const Target* FindTarget(std::string_view name);

}  // namespace tarvex::fuzz
