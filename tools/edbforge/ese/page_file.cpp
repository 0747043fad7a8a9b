#include "tools/edbforge/ese/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
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

PageFile::PageFile(std::filesystem::path target, const PageFormat& format, uint32_t first_free_page)
    : target_(std::move(target)), format_(format), next_page_(first_free_page) {
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

uint32_t PageFile::AllocateExtent(uint32_t count) {
  if (count == 0 || next_page_ + static_cast<uint64_t>(count) >= 0xfffffff0U) {
    throw EseWriteError(target_.string() + ": out of page numbers");
  }
  const uint32_t first = next_page_;
  next_page_ += count;
  return first;
}

void PageFile::ExtendTo(uint32_t page) {
  const auto size = static_cast<off_t>((static_cast<uint64_t>(page) + 2) * format_.page_size);
  struct stat status {};
  if (::fstat(descriptor_, &status) != 0) throw EseWriteError(Describe(temporary_, "stat failed"));
  if (status.st_size < size && ::ftruncate(descriptor_, size) != 0) {
    throw EseWriteError(Describe(temporary_, "cannot extend"));
  }
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
