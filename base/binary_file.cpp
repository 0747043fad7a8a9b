#include "base/binary_file.h"

#include <sys/stat.h>

#include <cerrno>

namespace tarvex {
namespace {

// fopen modes for the flag combinations; binary always, so bytes pass unchanged.
const char* FopenMode(unsigned flags, bool existing_only) {
  const bool read_write = (flags & BinaryFile::kReadWrite) != 0;
  const bool write = (flags & BinaryFile::kWrite) != 0;
  const bool create = (flags & BinaryFile::kCreate) != 0;
  const bool truncate = create && (flags & BinaryFile::kNoTruncate) == 0;
  if (!read_write && !write) return "rb";
  if (truncate) return read_write ? "w+b" : "wb";
  if (existing_only) return "r+b";
  return read_write ? "w+b" : "wb";  // kNoTruncate on a missing file: create it
}

}  // namespace

bool BinaryFile::Open(const std::filesystem::path& path, unsigned flags, std::error_code* error) {
  Close();
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), FopenMode(flags, true));
  const bool may_create = (flags & kCreate) != 0 && (flags & (kWrite | kReadWrite)) != 0;
  if (file == nullptr && may_create && errno == ENOENT) {
    file = std::fopen(path.c_str(), FopenMode(flags, false));
  }
  if (file == nullptr) {
    if (error) *error = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    return false;
  }
  file_.reset(file);
  last_ = LastAccess::kNone;
  if (error) error->clear();
  return true;
}

void BinaryFile::Close() {
  file_.reset();
  last_ = LastAccess::kNone;
}

void BinaryFile::SwitchTo(LastAccess access) {
  if (last_ != LastAccess::kNone && last_ != access) fseeko(file_.get(), 0, SEEK_CUR);
  last_ = access;
}

bool BinaryFile::Write(const void* data, std::size_t size) {
  if (!file_) return false;
  if (size == 0) return true;
  SwitchTo(LastAccess::kWrite);
  return std::fwrite(data, 1, size, file_.get()) == size;
}

std::size_t BinaryFile::Read(void* data, std::size_t size) {
  if (!file_ || size == 0) return 0;
  SwitchTo(LastAccess::kRead);
  return std::fread(data, 1, size, file_.get());
}

std::uint64_t BinaryFile::Seek(std::int64_t offset, SeekOrigin origin) {
  if (!file_) return 0;
  const int whence = origin == SeekOrigin::kBegin     ? SEEK_SET
                     : origin == SeekOrigin::kCurrent ? SEEK_CUR
                                                      : SEEK_END;
  fseeko(file_.get(), static_cast<off_t>(offset), whence);
  last_ = LastAccess::kNone;
  return Position();
}

std::uint64_t BinaryFile::Position() const {
  if (!file_) return 0;
  const off_t position = ftello(file_.get());
  return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

std::uint64_t BinaryFile::Length() const {
  if (!file_) return 0;
  // The stream may hold unwritten bytes; flush so the size on disk is current.
  std::fflush(file_.get());
  struct stat info {};
  if (fstat(fileno(file_.get()), &info) != 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

bool BinaryFile::ReadByteLine(std::string& line) {
  line.clear();
  if (!file_) return false;
  SwitchTo(LastAccess::kRead);
  int c = 0;
  while ((c = std::fgetc(file_.get())) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line.empty();
}

}  // namespace tarvex
