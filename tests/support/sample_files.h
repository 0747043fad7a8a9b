#pragma once

// The engine-written sample databases: gzipped files in TARVEX_SAMPLES_DIR with the values an
// independent reader decoded in expected/NAME.json.

#include <filesystem>
#include <optional>
#include <string_view>

namespace tarvex::testing {

std::filesystem::path SamplesDirectory();

// expected/NAME.json for the sample NAME ("text" for text.edb.gz).
std::filesystem::path ExpectedJsonPath(std::string_view name);

// NAME.edb.gz unpacked into a fresh temporary folder, which goes away with this object.
class UnpackedSample {
 public:
  // None when the sample is missing or its gzip stream is damaged.
  static std::optional<UnpackedSample> Unpack(std::string_view name);

  UnpackedSample(UnpackedSample&& other) noexcept;
  UnpackedSample& operator=(UnpackedSample&& other) noexcept;
  UnpackedSample(const UnpackedSample&) = delete;
  UnpackedSample& operator=(const UnpackedSample&) = delete;
  ~UnpackedSample();

  // The unpacked database, NAME.edb inside the temporary folder.
  const std::filesystem::path& DatabasePath() const { return database_; }

 private:
  UnpackedSample(std::filesystem::path folder, std::filesystem::path database)
      : folder_(std::move(folder)), database_(std::move(database)) {}
  void Remove() noexcept;

  std::filesystem::path folder_;
  std::filesystem::path database_;
};

}  // namespace tarvex::testing
