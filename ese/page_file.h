#pragma once

// The database file opened read-only, read page by page through a bounded cache. Pages are
// numbered as the engine numbers them: page n starts at (n + 1) * page size.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/brief_lock.h"
#include "ese/page_layout.h"
#include "ese/read_report.h"

namespace tarvex::ese {

using PageBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// An open file descriptor, closed with its owner.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

class PageFile {
 public:
  // The cache keeps at most `cache_bytes` of pages (at least a few pages).
  PageFile(FileDescriptor fd, std::uint64_t file_size, const PageLayout& layout,
           std::size_t cache_bytes = kDefaultCacheBytes);

  static constexpr std::size_t kDefaultCacheBytes = 64u << 20;

  // Opens `path` read-only; none when it cannot be opened. The page size comes later, from
  // the header read through ReadAt.
  static std::optional<std::pair<FileDescriptor, std::uint64_t>> OpenFile(
      const std::filesystem::path& path);
  // Reads exactly `out.size()` bytes at `offset`; false on a short read or an error.
  static bool ReadAt(int fd, std::uint64_t offset, std::span<std::uint8_t> out);

  // The page's bytes, or null when the file does not hold the whole page. A page whose
  // checksum disagrees is counted once, when it comes from the file, and still handed on.
  PageBytes Read(std::uint32_t page_number);
  // Reads `out.size() / page size` consecutive pages from `first_page` on, past the cache,
  // for a pass over the whole file; false when the file does not hold them all.
  bool ReadRun(std::uint32_t first_page, std::span<std::uint8_t> out);

  std::uint32_t page_size() const { return layout_.page_size; }
  const PageLayout& layout() const { return layout_; }
  // Pages that the file holds after its two header pages.
  std::uint32_t page_count() const { return page_count_; }
  // Counts a page that could not be taken apart, once however often it is met.
  void ReportUnparsable(std::uint32_t page_number);
  // Counts a page that a tree names but the file does not hold (a file cut short, or a page
  // number out of range), once however often it is met.
  void ReportMissing(std::uint32_t page_number);
  // Counts a record that could not be taken apart (by its page and entry), and a long value
  // that could not be read whole (by its tree and id), each once however often it is met.
  void ReportUnreadableRecord(std::uint32_t page_number, std::size_t entry);
  void ReportUnreadableLongValue(std::uint32_t tree_object_id, std::span<const std::uint8_t> id);
  ReadReport& report() { return report_; }
  const ReadReport& report() const { return report_; }

 private:
  struct CachedPage {
    std::shared_ptr<std::vector<std::uint8_t>> bytes;
    std::list<std::uint32_t>::iterator age;
  };
  // The loader, preview and search threads may read at once. The cache is kept in shards by
  // page number, each with its lock and its own oldest page: threads reading at once (the
  // analysis beside a search's helpers) seldom meet on one lock, or on the memory a look-up
  // writes.
  struct alignas(64) Shard {
    BriefLock mutex;  // the file is read outside it
    std::unordered_map<std::uint32_t, CachedPage> pages;
    std::list<std::uint32_t> ages;  // most recent first
  };
  static constexpr std::size_t kMostShards = 16;
  // A shard keeps at least this many pages: a smaller cache has fewer shards, down to one.
  static constexpr std::size_t kPagesPerShard = 64;
  Shard& ShardOf(std::uint32_t page_number) { return shards_[page_number % shard_count_]; }

  // Drops the shard's oldest cached page; returns its buffer when nobody holds that page any
  // more.
  static std::shared_ptr<std::vector<std::uint8_t>> EvictOldest(Shard& shard);
  // A buffer for the shard's next page from the file: its oldest page's when the shard is full
  // and nobody holds that page, otherwise a new one.
  std::shared_ptr<std::vector<std::uint8_t>> TakeBuffer(Shard& shard);

  FileDescriptor fd_;
  PageLayout layout_;
  std::uint32_t page_count_;
  std::size_t shard_count_;
  std::size_t shard_pages_;  // the pages each shard keeps
  std::unique_ptr<Shard[]> shards_;
  // Pages whose checksum has been compared, a bit each: a page read again after it left the
  // cache is neither checked nor counted again.
  std::vector<std::atomic<std::uint64_t>> checked_;
  // Guards the sets of what was met below.
  std::mutex mutex_;
  std::unordered_set<std::uint32_t> unparsable_;
  std::unordered_set<std::uint32_t> missing_;
  std::unordered_set<std::uint64_t> unreadable_records_;      // page << 32 | entry
  std::set<std::pair<std::uint32_t, std::uint64_t>> unreadable_long_values_;
  ReadReport report_;
};

}  // namespace tarvex::ese
