#pragma once

// The files a preview leaves in the working folder besides the body: the header page, the
// frameset page that shows it above or beside the body, and the plain UTF-16 body files.

#include <filesystem>
#include <string>
#include <string_view>

#include "mailbox/recovery.h"
#include "output/header_page.h"

namespace tarvex {

// How the frameset divides the pane between the header page and the body.
enum class FramesetLayout {
  kMail,        // rows 28% / rest
  kNotes,       // rows 30% / rest: older-layout notes, distribution lists
  kActivity,    // rows 20% / rest
  kSideBySide,  // two columns: appointments, tasks, contacts
};

// The frame source of a body file: its percent-encoded name when it lies in the working folder
// (the frameset page's own folder), else a file: URL. Either way the browser finds the file
// whatever characters its path holds.
std::u16string BodyFrameSource(const std::filesystem::path& body_file,
                               const std::filesystem::path& working_folder);

// The frameset page for the layout, its second frame showing `body_source`.
std::u16string FramesetPage(FramesetLayout layout, std::u16string_view body_source);

// A page: FF FE, then the document as UTF-16LE in one write. False when it cannot be created.
bool WritePageFile(const std::filesystem::path& path, std::u16string_view document);

// UTF-16LE units without a mark, as the plain body files are kept.
bool WriteUnmarkedUtf16File(const std::filesystem::path& path, std::u16string_view text);

// Writes "header.html" and "strEmlPath.html" (whose second frame shows the current body file)
// and navigates the browser to the frameset. A page that cannot be written ends the step
// quietly; the browser is only sent to a frameset that was written.
void ShowPageSet(Recovery& recovery, const HeaderPage& header, FramesetLayout layout);

}  // namespace tarvex
