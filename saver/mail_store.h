#pragma once

// Where a composed mail message lands: appended to the folder's mbox, delivered into the
// folder as a Maildir, or written as an .eml file of its own.

#include <filesystem>
#include <string>
#include <vector>

#include "saver/mail_writer.h"
#include "saver/output_files.h"

namespace tarvex {

// Stores the message in `folder` (which exists) and sets `output_file` to the file it went to.
bool StoreMail(const MailItem& item, const std::filesystem::path& folder, MailFormat format,
               std::filesystem::path& output_file, std::vector<std::string>& warnings,
               std::string& error);

}  // namespace tarvex
