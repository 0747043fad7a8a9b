#pragma once

// The output file while it is being written: a temporary name beside the target, pages written
// at their place ((page number + 1) * page size), and page numbers handed out in order. Commit()
// renames it to the target; without Commit() the temporary file is removed.

#include <cstdint>
#include <filesystem>
#include <span>

#include "tools/edbforge/ese/page_format.h"

namespace tarvex::edbforge {

class PageFile {
 public:
  PageFile(std::filesystem::path target, const PageFormat& format);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  const PageFormat& format() const { return format_; }

  // The next free page number; the fixed system pages are never handed out.
  uint32_t AllocatePage();
  // Sets the next `count` pages aside, as the engine keeps the first extent of the file for
  // its catalogue; AllocateReservedPage hands them out, then ordinary pages.
  void Reserve(uint32_t count);
  uint32_t AllocateReservedPage();
  void WritePage(uint32_t page_number, std::span<const uint8_t> page);
  // The two header copies at the start of the file.
  void WriteHeaders(std::span<const uint8_t> header_page);
  uint32_t HighestPage() const { return highest_page_; }

  void Commit();

 private:
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes);

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  PageFormat format_;
  int descriptor_ = -1;
  uint32_t next_page_;
  uint32_t reserved_next_ = 0;
  uint32_t reserved_end_ = 0;
  uint32_t highest_page_ = 0;
};

}  // namespace tarvex::edbforge
