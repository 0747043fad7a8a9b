#include "tools/edbforge/ese/page_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "ese/format.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

std::string Describe(const std::filesystem::path& path, const std::string& what) {
  return path.string() + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

PageFile::PageFile(std::filesystem::path target, const PageFormat& format)
    : target_(std::move(target)), format_(format), next_page_(ese::kCatalogRootPage + 1) {
  temporary_ = target_;
  temporary_ += ".partial";
  descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor_ < 0) throw EseWriteError(Describe(temporary_, "cannot create"));
}

PageFile::~PageFile() {
  if (descriptor_ >= 0) {
    ::close(descriptor_);
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
}

uint32_t PageFile::AllocatePage() {
  if (next_page_ == ese::kCatalogShadowRootPage) ++next_page_;
  if (next_page_ == 0xfffffff0U) throw EseWriteError(target_.string() + ": out of page numbers");
  return next_page_++;
}

void PageFile::Reserve(uint32_t count) {
  reserved_next_ = next_page_;
  for (uint32_t index = 0; index < count; ++index) AllocatePage();
  reserved_end_ = next_page_;
}

uint32_t PageFile::AllocateReservedPage() {
  if (reserved_next_ == ese::kCatalogShadowRootPage) ++reserved_next_;
  if (reserved_next_ < reserved_end_) return reserved_next_++;
  return AllocatePage();
}

void PageFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::pwrite(descriptor_, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + done));
    if (written < 0) {
      if (errno == EINTR) continue;
      throw EseWriteError(Describe(temporary_, "write failed"));
    }
    done += static_cast<size_t>(written);
  }
}

void PageFile::WritePage(uint32_t page_number, std::span<const uint8_t> page) {
  if (page.size() != format_.page_size || page_number == 0) {
    throw EseWriteError(target_.string() + ": bad page " + std::to_string(page_number));
  }
  WriteAt((static_cast<uint64_t>(page_number) + 1) * format_.page_size, page);
  if (page_number > highest_page_) highest_page_ = page_number;
}

void PageFile::WriteHeaders(std::span<const uint8_t> header_page) {
  WriteAt(0, header_page);
  WriteAt(format_.page_size, header_page);
}

void PageFile::Commit() {
  if (::close(descriptor_) != 0) {
    descriptor_ = -1;
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    throw EseWriteError(Describe(temporary_, "cannot finish"));
  }
  descriptor_ = -1;
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) {
    std::filesystem::remove(temporary_, error);
    throw EseWriteError(target_.string() + ": cannot rename the finished file into place");
  }
}

}  // namespace tarvex::edbforge
