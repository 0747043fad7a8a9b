#include "base/program_files.h"

#include <initializer_list>
#include <system_error>

namespace tarvex {
namespace {

// TARVEX_INSTALLED_SAVER_FOLDER and TARVEX_INSTALLED_DATA_FOLDER come from the build's install
// layout, relative to the folder the programs are installed in (base/CMakeLists.txt).

// The first of the candidates that exists, else the first.
std::filesystem::path FirstExisting(std::initializer_list<std::filesystem::path> candidates) {
  for (const std::filesystem::path& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate.lexically_normal();
  }
  return *candidates.begin();
}

}  // namespace

std::filesystem::path RunningProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return program.parent_path();
  return std::filesystem::current_path(error);
}

std::filesystem::path SaverProgram(const std::filesystem::path& program_folder) {
  constexpr const char* kName = "mailsaving";
  return FirstExisting({program_folder / kName,
                        program_folder / TARVEX_INSTALLED_SAVER_FOLDER / kName,
                        program_folder.parent_path() / "saver" / kName});
}

std::filesystem::path HelpPage(const std::filesystem::path& program_folder) {
  constexpr const char* kName = "tarvex-mailbox-rescue.html";
  return FirstExisting(
      {program_folder / kName, program_folder / TARVEX_INSTALLED_DATA_FOLDER / kName});
}

}  // namespace tarvex
