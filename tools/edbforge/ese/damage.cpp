#include "tools/edbforge/ese/damage.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <unordered_set>

#include "ese/byte_order.h"
#include "ese/format.h"
#include "ese/page_checksum.h"

namespace tarvex::edbforge {
namespace {

// The copy being damaged, page by page: stores of millions of items do not fit in memory.
class DamagedFile {
 public:
  explicit DamagedFile(const std::filesystem::path& path)
      : path_(path), descriptor_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {
    if (descriptor_ < 0) throw std::runtime_error("cannot open " + path.string());
  }
  ~DamagedFile() { ::close(descriptor_); }
  DamagedFile(const DamagedFile&) = delete;
  DamagedFile& operator=(const DamagedFile&) = delete;

  void Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (::pread(descriptor_, out.data(), out.size(), static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(out.size())) {
      throw std::runtime_error("cannot read " + path_.string());
    }
  }
  void Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) const {
    if (::pwrite(descriptor_, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("cannot write " + path_.string());
    }
  }
  void Cut(std::uint64_t size) const {
    if (::ftruncate(descriptor_, static_cast<off_t>(size)) != 0) {
      throw std::runtime_error("cannot cut " + path_.string());
    }
  }

 private:
  std::filesystem::path path_;
  int descriptor_;
};

}  // namespace

bool DamageReport::Intact(std::uint32_t page) const {
  if (first_cut_page && page >= *first_cut_page) return false;
  return !std::binary_search(hit_pages.begin(), hit_pages.end(), page);
}

DamageReport DamageDatabase(const std::filesystem::path& source,
                            const std::filesystem::path& target, const DamageOptions& options) {
  if (source != target) {
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  }
  const DamagedFile file(target);
  const std::uint64_t file_size = std::filesystem::file_size(target);
  std::vector<std::uint8_t> header(ese::file_header::kMinimumSize);
  if (file_size < header.size()) throw std::runtime_error(source.string() + " is no ESE database");
  file.Read(0, header);
  DamageReport report;
  report.page_size = ese::LoadLe32(header.data() + ese::file_header::kPageSize);
  if (report.page_size < 2048 || file_size < 2ull * report.page_size) {
    throw std::runtime_error(source.string() + " is no ESE database");
  }
  report.page_count = static_cast<std::uint32_t>(file_size / report.page_size - 2);
  const auto offset = [&](std::uint32_t number) { return (number + 1ull) * report.page_size; };

  std::vector<std::uint32_t> hit;
  std::vector<std::uint8_t> page(report.page_size);
  if (options.zero_branches) {
    for (std::uint32_t number = 1; number <= report.page_count; ++number) {
      file.Read(offset(number), page);
      if (ese::IsZeroPage(page)) continue;
      const std::uint32_t flags = ese::LoadLe32(page.data() + ese::page_header::kFlags);
      if ((flags & ese::page_flag::kLeaf) == 0) hit.push_back(number);
    }
  }
  std::mt19937_64 random(options.seed);
  const auto chosen = static_cast<std::uint32_t>(options.page_rate * report.page_count + 0.5);
  std::unordered_set<std::uint32_t> picked;
  while (picked.size() < std::min(chosen, report.page_count)) {
    picked.insert(static_cast<std::uint32_t>(1 + random() % report.page_count));
  }
  hit.insert(hit.end(), picked.begin(), picked.end());
  std::sort(hit.begin(), hit.end());
  hit.erase(std::unique(hit.begin(), hit.end()), hit.end());
  for (std::uint32_t number : hit) {
    if (options.noise) {
      for (std::uint8_t& byte : page) byte = static_cast<std::uint8_t>(random());
    } else {
      std::fill(page.begin(), page.end(), 0);
    }
    file.Write(offset(number), page);
  }
  report.hit_pages = std::move(hit);
  if (options.keep_fraction < 1) {
    const auto kept = static_cast<std::uint32_t>(options.keep_fraction * report.page_count);
    report.first_cut_page = kept + 1;
    file.Cut(offset(kept + 1));
  }
  return report;
}

}  // namespace tarvex::edbforge
