#pragma once

// The commands of `tarvex`. Each returns the process exit code.

#include <filesystem>
#include <optional>
#include <string>

namespace tarvex::cli {

struct CommonOptions {
  bool quiet = false;
  bool json = false;
  std::optional<std::filesystem::path> workdir;
};

int RunInfo(const std::filesystem::path& database, const CommonOptions& options);
int RunTree(const std::filesystem::path& database, const CommonOptions& options);
int RunList(const std::filesystem::path& database, const std::string& folder,
            const CommonOptions& options);

}  // namespace tarvex::cli
