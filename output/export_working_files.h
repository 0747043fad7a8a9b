#pragma once

// The working folder during an export: emptied before every item, and the attachment files an
// item left there picked out by name.

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tarvex {

// Every piece of `attachment_names` before its ";" that names an existing file directly in
// the working folder, as a full path followed by ";". A piece that is not a plain file name
// (a separator, "..") is left out, so nothing outside the working folder is ever attached.
std::u16string FilterAttachmentFiles(const std::filesystem::path& working_folder,
                                     std::u16string_view attachment_names);

using FileNameSet = std::unordered_set<std::string>;

// The names of the files directly in the folder.
FileNameSet FilesIn(const std::filesystem::path& folder);

// Deletes every file directly in the folder except those named in `keep`; sub-folders stay
// and failures are ignored. An empty path does nothing.
void ClearWorkingFolder(const std::filesystem::path& folder, const FileNameSet& keep = {});

}  // namespace tarvex
