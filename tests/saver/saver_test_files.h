#pragma once

// Files and runs for the saver tests: a scratch folder, manifests written byte for byte as the
// recovery program writes them, and the saver program run on them.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/test_files.h"

namespace tarvex::testing {

using ManifestLines = std::vector<std::pair<std::u16string, std::u16string>>;

// FF FE, then each key, value and line end as UTF-16LE.
std::string ManifestBytes(const ManifestLines& lines, std::u16string_view line_end = u"\r\n");
std::string Utf16LeBytes(std::u16string_view text);

void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);

struct SaverRun {
  int exit_code = -1;
  std::string standard_error;
};

// Runs the built mailsaving program with the kind and --manifest-dir.
SaverRun RunSaver(std::string_view kind, const std::filesystem::path& manifest_folder);

// Runs a program and gives its standard output; the exit code must be 0.
std::string RunForOutput(const std::vector<std::string>& arguments, int& exit_code);

std::u16string Text(const std::filesystem::path& path);
std::filesystem::path PathOf(std::u16string_view text);

}  // namespace tarvex::testing
