#include "ese/page_file.h"

#include "ese/page_checksum.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace tarvex::ese {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::pair<FileDescriptor, std::uint64_t>> PageFile::OpenFile(
    const std::filesystem::path& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return std::make_pair(std::move(fd), static_cast<std::uint64_t>(status.st_size));
}

bool PageFile::ReadAt(int fd, std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t got = ::pread(fd, out.data() + done, out.size() - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

PageFile::PageFile(FileDescriptor fd, std::uint64_t file_size, const PageLayout& layout,
                   std::size_t cache_bytes)
    : fd_(std::move(fd)), layout_(layout), page_count_(0) {
  const std::uint64_t pages = layout.page_size == 0 ? 0 : file_size / layout.page_size;
  // Page numbers are 32-bit; the first two pages of the file are the header copies.
  page_count_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      pages > 2 ? pages - 2 : 0, std::numeric_limits<std::uint32_t>::max() - 1));
  const std::size_t cache_pages =
      std::max<std::size_t>(16, cache_bytes / std::max<std::uint32_t>(layout.page_size, 1));
  // A small cache stays one shard, so that it keeps its most recent pages whatever they are.
  shard_count_ = std::clamp<std::size_t>(cache_pages / kPagesPerShard, 1, kMostShards);
  shard_pages_ = cache_pages / shard_count_;
  shards_ = std::make_unique<Shard[]>(shard_count_);
  checked_ = std::vector<std::atomic<std::uint64_t>>(page_count_ / 64 + 1);
}

PageBytes PageFile::Read(std::uint32_t page_number) {
  if (page_number == 0 || page_number > page_count_) return nullptr;
  Shard& shard = ShardOf(page_number);
  std::shared_ptr<std::vector<std::uint8_t>> bytes;
  {
    std::lock_guard lock(shard.mutex);
    if (auto found = shard.pages.find(page_number); found != shard.pages.end()) {
      shard.ages.splice(shard.ages.begin(), shard.ages, found->second.age);
      return found->second.bytes;
    }
    bytes = TakeBuffer(shard);
  }
  std::atomic<std::uint64_t>& checked = checked_[page_number / 64];
  const std::uint64_t bit = std::uint64_t{1} << (page_number % 64);
  const bool check = (checked.load(std::memory_order_relaxed) & bit) == 0;
  // Another thread may read pages meanwhile: the file is read outside the lock.
  const std::uint64_t offset = (static_cast<std::uint64_t>(page_number) + 1) * layout_.page_size;
  if (!ReadAt(fd_.get(), offset, *bytes)) return nullptr;
  ++report_.pages_read;
  if (check && (checked.fetch_or(bit, std::memory_order_relaxed) & bit) == 0 &&
      !PageChecksumMatches(layout_, page_number, *bytes) && !IsZeroPage(*bytes)) {
    ++report_.checksum_mismatches;
  }
  std::lock_guard lock(shard.mutex);
  // Read by another thread meanwhile: one copy is enough.
  if (auto found = shard.pages.find(page_number); found != shard.pages.end()) {
    return found->second.bytes;
  }
  while (shard.pages.size() >= shard_pages_) EvictOldest(shard);
  shard.ages.push_front(page_number);
  shard.pages.emplace(page_number, CachedPage{bytes, shard.ages.begin()});
  return bytes;
}

namespace {

// Whether the cache's reference is the only one left, so that the buffer may take another page.
// Once it is, it stays so: references are handed out only from the cache, under its lock. The
// count alone is read without ordering anything; a copy's count update (acquire and release)
// makes the last holder's reads of the old page come before this thread writes the new one.
bool HeldByTheCacheAlone(const std::shared_ptr<std::vector<std::uint8_t>>& bytes) {
  if (bytes.use_count() != 1) return false;
  const std::shared_ptr<std::vector<std::uint8_t>> synchronizing = bytes;
  return synchronizing != nullptr;
}

}  // namespace

std::shared_ptr<std::vector<std::uint8_t>> PageFile::EvictOldest(Shard& shard) {
  std::shared_ptr<std::vector<std::uint8_t>> buffer;
  const auto oldest = shard.pages.find(shard.ages.back());
  if (HeldByTheCacheAlone(oldest->second.bytes)) buffer = std::move(oldest->second.bytes);
  shard.pages.erase(oldest);
  shard.ages.pop_back();
  return buffer;
}

std::shared_ptr<std::vector<std::uint8_t>> PageFile::TakeBuffer(Shard& shard) {
  std::shared_ptr<std::vector<std::uint8_t>> buffer;
  if (shard.pages.size() >= shard_pages_) buffer = EvictOldest(shard);
  if (!buffer) buffer = std::make_shared<std::vector<std::uint8_t>>(layout_.page_size);
  return buffer;
}

bool PageFile::ReadRun(std::uint32_t first_page, std::span<std::uint8_t> out) {
  const std::uint64_t pages = out.size() / layout_.page_size;
  if (first_page == 0 || pages == 0 || first_page - 1 + pages > page_count_) return false;
  const std::uint64_t offset = (static_cast<std::uint64_t>(first_page) + 1) * layout_.page_size;
  if (!ReadAt(fd_.get(), offset, out)) return false;
  report_.pages_read += pages;
  return true;
}

void PageFile::ReportUnparsable(std::uint32_t page_number) {
  std::lock_guard lock(mutex_);
  if (unparsable_.insert(page_number).second) ++report_.unparsable_pages;
}

void PageFile::ReportMissing(std::uint32_t page_number) {
  std::lock_guard lock(mutex_);
  if (missing_.insert(page_number).second) ++report_.missing_pages;
}

void PageFile::ReportUnreadableRecord(std::uint32_t page_number, std::size_t entry) {
  std::lock_guard lock(mutex_);
  const std::uint64_t where = (static_cast<std::uint64_t>(page_number) << 32) | (entry & 0xFFFFFFFF);
  if (unreadable_records_.insert(where).second) ++report_.unreadable_records;
}

void PageFile::ReportUnreadableLongValue(std::uint32_t tree_object_id,
                                         std::span<const std::uint8_t> id) {
  std::uint64_t value = 0;
  for (std::uint8_t byte : id.first(std::min<std::size_t>(id.size(), 8))) value = value << 8 | byte;
  std::lock_guard lock(mutex_);
  if (unreadable_long_values_.emplace(tree_object_id, value).second) {
    ++report_.unreadable_long_values;
  }
}

}  // namespace tarvex::ese
