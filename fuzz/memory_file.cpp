#include "fuzz/memory_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tarvex::fuzz {

MemoryFile::MemoryFile(std::span<const std::uint8_t> bytes)
    : fd_(::memfd_create("tarvex-fuzz-input", MFD_CLOEXEC)) {
  if (!fd_) return;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
  ok_ = true;
}

std::filesystem::path MemoryFile::path() const {
  return "/proc/self/fd/" + std::to_string(fd_.get());
}

}  // namespace tarvex::fuzz
