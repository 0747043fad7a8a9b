#pragma once

// The save queue of an export and its dispatcher: each queued item gets an empty working
// folder, the writer of its kind and a run of the saver before the next one starts.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>

#include "mailbox/recovery.h"
#include "mailbox/table_columns.h"
#include "output/export_working_files.h"

namespace tarvex {

struct SaveQueueEntry {
  std::u16string item_id;  // message id text; names the message file
  std::u16string kind;     // item kind; a kind no writer knows is saved as mail
  std::u16string sender;   // with angle brackets
  std::u16string subject;
  std::u16string date;
};

// What the writers read of the item being saved besides its queue entry.
struct ExportItemValues {
  // The item's record: the table it is in, that table's columns and the row. Without a table
  // (or with `has_record` false) the item is skipped.
  const ese::Table* table = nullptr;
  const TableColumns* columns = nullptr;
  std::uint32_t record_number = 0;
  bool has_record = true;
  std::u16string attachment_ids;
  std::u16string recipients;  // addresses in square brackets
  std::u16string copy_recipients;
  std::u16string blind_copy_recipients;
  std::u16string plain_body;  // "S1000" as the folder listing kept it
};

// One export run's settings and counts, shared by the dispatcher, the writers and the saver.
struct ExportSession {
  Recovery& recovery;
  std::u16string folder_path;  // the folder being exported: output folder/mailbox/folders
  std::filesystem::path saver;
  std::filesystem::path manifest_folder;
  int loop_record_number = 0;  // position of the item in its folder, shown in the status line
  int items_saved = 0;         // saver runs that ended with success
  int saver_failures = 0;      // saver runs that failed or could not start
  int items_skipped = 0;       // unreadable records and kinds that are never saved
  int deleted_left_out = 0;    // deleted items the export was not asked for (also skipped)
  // Files the working folder held before the run: the user's own, never deleted by it.
  FileNameSet kept_files;
  std::u16string item_kind = {};  // kind of the item being saved, shown in the status line
};

using SaveQueue = std::deque<SaveQueueEntry>;

// Saves the queued items front to back and returns with the queue empty.
void SaveQueuedItems(ExportSession& session, SaveQueue& queue, const ExportItemValues& values);

// Starts the saver with the kind parameter and the manifest folder, shows the saving status
// and waits until it has ended. False when it could not start or reported a failure.
bool RunSaver(ExportSession& session, std::u16string_view parameter, std::u16string_view subject);

}  // namespace tarvex
