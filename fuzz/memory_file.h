#pragma once

// A file in memory with the bytes of one fuzz input, for the readers that open files by path.
// It lives as long as this object; nothing is written to disk.

#include <cstdint>
#include <filesystem>
#include <span>

#include "ese/page_file.h"

namespace tarvex::fuzz {

class MemoryFile {
 public:
  explicit MemoryFile(std::span<const std::uint8_t> bytes);

  // False when the file could not be made (the input is then skipped).
  bool ok() const { return ok_; }
  // A path that opens this file, while the object lives.
  std::filesystem::path path() const;

 private:
  ese::FileDescriptor fd_;
  bool ok_ = false;
};

}  // namespace tarvex::fuzz
