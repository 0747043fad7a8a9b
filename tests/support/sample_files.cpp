#include "support/sample_files.h"

#include <stdlib.h>
#include <zlib.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>

namespace tarvex::testing {
namespace {

struct GzCloser {
  void operator()(gzFile_s* file) const { gzclose(file); }
};
using GzFile = std::unique_ptr<gzFile_s, GzCloser>;

std::optional<std::filesystem::path> MakeScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarvex-sample-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return std::nullopt;
  return std::filesystem::path(pattern);
}

bool Gunzip(const std::filesystem::path& source, const std::filesystem::path& target) {
  GzFile input(gzopen(source.c_str(), "rb"));
  if (!input) return false;
  std::ofstream output(target, std::ios::binary);
  if (!output) return false;
  std::string buffer(1 << 16, '\0');
  while (true) {
    const int read = gzread(input.get(), buffer.data(), static_cast<unsigned>(buffer.size()));
    if (read < 0) return false;
    if (read == 0) break;
    output.write(buffer.data(), read);
  }
  int error = Z_OK;
  gzerror(input.get(), &error);
  return error == Z_OK && output.good();
}

}  // namespace

std::filesystem::path SamplesDirectory() {
  return TARVEX_SAMPLES_DIR;
}

std::filesystem::path ExpectedJsonPath(std::string_view name) {
  return SamplesDirectory() / "expected" / (std::string(name) + ".json");
}

std::optional<UnpackedSample> UnpackedSample::Unpack(std::string_view name) {
  const std::filesystem::path source = SamplesDirectory() / (std::string(name) + ".edb.gz");
  if (!std::filesystem::is_regular_file(source)) return std::nullopt;
  std::optional<std::filesystem::path> folder = MakeScratchFolder();
  if (!folder) return std::nullopt;
  UnpackedSample sample(*folder, *folder / (std::string(name) + ".edb"));
  if (!Gunzip(source, sample.database_)) return std::nullopt;
  return sample;
}

UnpackedSample::UnpackedSample(UnpackedSample&& other) noexcept
    : folder_(std::exchange(other.folder_, {})), database_(std::exchange(other.database_, {})) {}

UnpackedSample& UnpackedSample::operator=(UnpackedSample&& other) noexcept {
  if (this != &other) {
    Remove();
    folder_ = std::exchange(other.folder_, {});
    database_ = std::exchange(other.database_, {});
  }
  return *this;
}

UnpackedSample::~UnpackedSample() {
  Remove();
}

void UnpackedSample::Remove() noexcept {
  if (folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
  folder_.clear();
}

}  // namespace tarvex::testing
