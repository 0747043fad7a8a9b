#pragma once

// The output file while it is being written: a temporary name beside the target, pages written
// at their place ((page number + 1) * page size), and page numbers handed out in runs, in order.
// Commit() renames it to the target; without Commit() the temporary file is removed.

#include <cstdint>
#include <filesystem>
#include <span>

#include "tools/edbforge/ese/page_format.h"

namespace tarvex::edbforge {

class PageFile {
 public:
  // Pages below `first_free_page` are the database's fixed ones, laid out by the caller.
  PageFile(std::filesystem::path target, const PageFormat& format, uint32_t first_free_page);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  const PageFormat& format() const { return format_; }

  // Hands out the next `count` pages, one run, from the end of what was handed out.
  uint32_t AllocateExtent(uint32_t count);
  // The pages from 1 up to here are owned by someone; the file's pages begin at 1.
  uint32_t AllocatedEnd() const { return next_page_ - 1; }
  void WritePage(uint32_t page_number, std::span<const uint8_t> page);
  // The two header copies at the start of the file.
  void WriteHeaders(std::span<const uint8_t> header_page);
  uint32_t HighestPage() const { return highest_page_; }
  // Makes the file long enough to hold `page`, unwritten pages reading as zeros.
  void ExtendTo(uint32_t page);

  void Commit();

 private:
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes);

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  PageFormat format_;
  int descriptor_ = -1;
  uint32_t next_page_;
  uint32_t highest_page_ = 0;
};

}  // namespace tarvex::edbforge
