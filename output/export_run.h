#pragma once

// An export run: the items of chosen folders handed one by one to the saver, which adds them
// to the output mailbox under the output folder. Runs on a worker of the front end; reports
// through the window port and stops between items when the pause gate is cancelled.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/file_names.h"
#include "base/window_port.h"
#include "mailbox/recovery.h"
#include "output/export_report.h"

namespace tarvex {

// Which item kinds an export saves; a set of these flags.
enum ExportKinds : unsigned {
  kExportMail = 1,        // mail and every kind saved as mail
  kExportContacts = 2,    // "contact"
  kExportCalendar = 4,    // "appointment"
  kExportTasks = 8,       // "task"
  kExportNotes = 16,      // "notes"
  kExportJournal = 32,    // "activity"
  kExportDistLists = 64,  // "distlist"
  kExportAll = 127,       // every kind
};

// The kinds named by a text of "mail", "contact", "calendar", "task", "note", "journal",
// "distlist" and "all", separated by commas; 0 when a name is unknown or none is given.
unsigned ExportKindsFromText(std::u16string_view text);

// How mail items are stored: "mail.mbox" per folder, a Maildir tree (Maildir++: a folder is
// ".Parent.Child" in its mailbox's folder), or one ".eml" file per message.
enum class ExportMailFormat { kMbox, kMaildir, kEml };

// "mbox", "maildir" or "eml"; none for another text.
std::optional<ExportMailFormat> ExportMailFormatFromText(std::string_view text);
std::string_view ExportMailFormatName(ExportMailFormat format);

// What an export does when its output folder holds an earlier one (its report file).
enum class EarlierExportChoice {
  kRefuse,   // nothing is exported
  kReplace,  // the files the earlier export wrote are removed first
  kAppend,   // the items are added to what is there
};

struct ExportRequest {
  std::vector<TreeNodeHandle> folders;  // tree nodes of folders; other nodes add nothing
  unsigned kinds = kExportAll;
  std::filesystem::path output_folder;
  // The saver program; empty: "mailsaving" for the recovery's program folder
  // (base/program_files.h).
  std::filesystem::path saver;
  // Where the manifest is written; empty: the recovery's program folder.
  std::filesystem::path manifest_folder;
  // Items the deep scan found deleted are left out unless asked for.
  bool include_deleted = false;
  ExportMailFormat mail_format = ExportMailFormat::kMbox;
  EarlierExportChoice earlier_export = EarlierExportChoice::kRefuse;
  // A saver that says nothing this long about one item is taken for hung, stopped, and the item
  // reported; the next item gets a new saver. Writing the largest message takes far less.
  std::chrono::milliseconds saver_answer_limit = std::chrono::minutes(10);
};

struct ExportOutcome {
  std::u16string error;  // set when the run could not start; nothing was exported then
  int folders_exported = 0;
  int items_saved = 0;       // the saver added them
  int items_skipped = 0;     // not of the chosen kinds, or unreadable
  int saver_failures = 0;    // the saver could not start, or failed
  int deleted_left_out = 0;  // deleted items not asked for (counted in items_skipped too)
  bool cancelled = false;
  // Set with `error` when the output folder holds an earlier export and the request did not
  // say to replace or add to it.
  bool refused_earlier_export = false;
  // Every item met, with its result; the report the output folder keeps
  // (kExportReportFileName).
  std::vector<ExportItemResult> items;
  nlohmann::json report;
};

// Whether the folder holds an export (its report file).
bool HoldsEarlierExport(const std::filesystem::path& output_folder);

// Exports the items of each requested folder in turn. The tree and the item list are disabled
// meanwhile; the status line names each item and the progress bar counts the folders. One
// saver runs for the whole export.
ExportOutcome RunExport(Recovery& recovery, const ExportRequest& request);

// The folder path text of an exported folder: the output folder, the mailbox name and the
// folder names, joined by "/". Each name is made a plain file name first, so that no name from
// the database leads out of the output folder.
std::u16string ExportFolderPath(const std::filesystem::path& output_folder,
                                std::u16string_view mailbox_name,
                                const std::vector<std::u16string>& folder_names);

// The folder paths of one export, as ExportFolderPath makes them, but two different names in
// one folder never get the same file name ("Folder", "Folder (2)"), so that two folders are
// never saved into one mailbox file.
// For a Maildir, the folders below the mailbox are ".Parent.Child" in the mailbox's folder,
// with every "." of a name made "_".
class ExportFolderPaths {
 public:
  explicit ExportFolderPaths(const std::filesystem::path& output_folder, bool maildir = false);
  std::u16string PathOf(std::u16string_view mailbox_name,
                        const std::vector<std::u16string>& folder_names);

 private:
  std::u16string output_folder_;
  bool maildir_;
  std::map<std::u16string, UniqueFileNames> names_in_;  // by the path of their folder
};

}  // namespace tarvex
