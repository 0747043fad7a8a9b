#pragma once

// One run of the saver: the manifest the recovery program left, turned into an entry of the
// output mailbox.

#include <filesystem>
#include <string>
#include <vector>

#include "saver/manifest.h"
#include "saver/output_files.h"

namespace tarvex {

struct SaveOutcome {
  bool saved = false;
  std::string error;                  // why nothing was saved
  std::vector<std::string> warnings;  // what was saved without (a listed file that is gone)
  std::filesystem::path output_file;  // the file the entry went to
};

// Reads "mailsaving.txt" (and "conatctsaving.txt" for a contact) in manifest_folder. Everything
// is read and checked before the first output file is touched, so a damaged manifest changes
// nothing. `mail_format` says how a mail item is stored.
SaveOutcome SaveItem(SavedItemKind kind, const std::filesystem::path& manifest_folder,
                     MailFormat mail_format = MailFormat::kMbox);

}  // namespace tarvex
