#pragma once

// Files and runs for the saver tests: a scratch folder, manifests written byte for byte as the
// recovery program writes them, and the saver program run on them.

#include <gtest/gtest.h>

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

// A scratch folder as an export leaves it for the saver: the working folder "work", the output
// folder "out/Mailbox/<folder>" and the manifest "mailsaving.txt" beside them.
class SaverFolderTest : public ::testing::Test {
 protected:
  explicit SaverFolderTest(std::string_view folder)
      : work_(scratch_.path() / "work"), box_(scratch_.path() / "out" / "Mailbox" / folder) {
    std::filesystem::create_directories(work_);
  }
  void WriteManifest(const ManifestLines& lines, std::u16string_view line_end = u"\r\n") {
    WriteFile(scratch_.path() / "mailsaving.txt", ManifestBytes(lines, line_end));
  }

  ScratchFolder scratch_;
  std::filesystem::path work_;
  std::filesystem::path box_;
};

}  // namespace tarvex::testing
