#include "output/export_working_files.h"

#include <system_error>

#include "base/file_names.h"

namespace tarvex {

std::u16string FilterAttachmentFiles(const std::filesystem::path& working_folder,
                                     std::u16string_view attachment_names) {
  std::u16string files;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = attachment_names.find(u';', start);
    // The text after the last ";" is not a name.
    if (end == std::u16string_view::npos) break;
    const std::u16string_view piece = attachment_names.substr(start, end - start);
    start = end + 1;
    if (piece.empty() || SafeFileName(piece, u"") != piece) continue;
    const std::filesystem::path file = working_folder / PathFromText(piece);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) continue;
    files += TextFromPath(file);
    files += u';';
  }
  return files;
}

FileNameSet FilesIn(const std::filesystem::path& folder) {
  FileNameSet names;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    std::error_code entry_error;
    if (!entries->is_directory(entry_error)) names.insert(entries->path().filename().string());
  }
  return names;
}

void ClearWorkingFolder(const std::filesystem::path& folder, const FileNameSet& keep) {
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  // Stepped with an error code: a folder that changes underneath must not throw.
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    std::error_code entry_error;
    if (entries->is_directory(entry_error) || keep.contains(entries->path().filename().string())) {
      continue;
    }
    std::filesystem::remove(entries->path(), entry_error);
  }
}

}  // namespace tarvex
