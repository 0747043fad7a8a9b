#pragma once

// The commands of `tarvex`. Each returns the process exit code.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal_window.h"

namespace tarvex::cli {

struct CommonOptions {
  bool quiet = false;
  bool verbose = false;   // status texts on standard error
  bool progress = false;  // progress on standard error even when it is no terminal
  bool json = false;
  std::optional<std::filesystem::path> workdir;
  bool deep = false;   // the deep scan
  bool paths = false;  // tree: the paths alone, one a line
};

inline ErrorStreamOptions StreamOf(const CommonOptions& options) {
  return {.quiet = options.quiet, .verbose = options.verbose, .progress = options.progress};
}

int RunInfo(const std::filesystem::path& database, const CommonOptions& options);
int RunTree(const std::filesystem::path& database, const CommonOptions& options);
int RunList(const std::filesystem::path& database, const std::string& folder,
            const CommonOptions& options);

// Writes the preview pages of one item (its message id, or its 1-based position in the list)
// into the working folder and prints the page to open.
int RunShow(const std::filesystem::path& database, const std::string& folder,
            const std::string& item, const CommonOptions& options);

// Writes one item as a MIME message (.eml) to `out` and prints its path.
int RunEml(const std::filesystem::path& database, const std::string& folder,
           const std::string& item, const std::filesystem::path& out, const CommonOptions& options);

// Every table of the store with its columns and record count, and what the reader met in the
// file (pages read, checksum mismatches, pages it could not parse).
int RunTables(const std::filesystem::path& database, const CommonOptions& options);

// Every record of one table, every column: one value per line, or with --json the shape of
// independent decodings (table, columns, records by column name).
int RunDump(const std::filesystem::path& database, const std::string& table,
            const CommonOptions& options);

struct ExportOptions {
  std::string kinds = "all";  // "mail", "contact", "calendar", "all", separated by commas
  std::filesystem::path output_folder;
  std::filesystem::path saver;       // empty: "mailsaving" beside this program
  bool include_deleted = false;      // the deep scan's deleted items too
  std::string mail_format = "mbox";  // "mbox", "maildir" or "eml"
  bool replace = false;              // an earlier export in the output folder is removed first
  bool append = false;               // or added to; without either, it makes the export refuse
};

// Exports the named folders ("Mailbox/Folder/Subfolder"), or every folder when none is named.
int RunExportCommand(const std::filesystem::path& database, const std::vector<std::string>& folders,
                     const ExportOptions& export_options, const CommonOptions& options);

struct SearchOptions {
  // Texts found anywhere in the field, without regard to case; regular expressions with `regex`.
  std::string from;
  std::string to;  // any recipient: To, Cc or Bcc
  std::string subject;
  std::string body;
  std::string after;   // items dated at or after this date (UTC)
  std::string before;  // items dated before this date (UTC)
  std::string kind;    // "mail", "task", ... as `list` shows it
  bool has_attachment = false;
  bool regex = false;
};

// Prints every item of every mailbox, or of the named folders and those below them, that
// meets every condition given, as it is found.
int RunSearch(const std::filesystem::path& database, const std::vector<std::string>& folders,
              const SearchOptions& search, const CommonOptions& options);

}  // namespace tarvex::cli
