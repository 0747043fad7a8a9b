#pragma once

// The save queue of an export and its dispatcher: each queued item gets an empty working
// folder, the writer of its kind and the saver's answer before the next one starts, and its
// result goes into the run's report.

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "base/process_runner.h"
#include "mailbox/recovery.h"
#include "mailbox/table_columns.h"
#include "output/export_report.h"
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

// What the saver answered for the item last handed over.
struct SaverAnswer {
  bool saved = false;
  std::filesystem::path file;            // saved: where the item went
  std::u16string reason;                 // not saved: why
  std::vector<std::u16string> warnings;  // saved without something
};

// One export run's settings and counts, shared by the dispatcher, the writers and the saver.
struct ExportSession {
  ExportSession(Recovery& run_recovery, std::filesystem::path saver_program,
                std::filesystem::path manifest, std::filesystem::path output,
                std::string mail_format_name)
      : recovery(run_recovery),
        saver(std::move(saver_program)),
        manifest_folder(std::move(manifest)),
        output_folder(std::move(output)),
        mail_format(std::move(mail_format_name)) {}

  Recovery& recovery;
  std::u16string folder_path;  // the folder being exported: output folder/mailbox/folders
  std::filesystem::path saver;
  std::filesystem::path manifest_folder;
  std::filesystem::path output_folder;
  std::string mail_format;     // the saver's --mail-format: "mbox", "maildir" or "eml"
  int loop_record_number = 0;  // position of the item in its folder, shown in the status line
  int items_saved = 0;         // items the saver saved
  int saver_failures = 0;      // items the saver did not save, or that never reached it
  int items_skipped = 0;       // unreadable records and kinds that are never saved
  int deleted_left_out = 0;    // deleted items the export was not asked for (also skipped)
  // Files the working folder held before the run: the user's own, never deleted by it.
  FileNameSet kept_files;
  // The saver, started at the first item and kept for the whole run; started again when it
  // ended in the middle of one.
  LineProcess saver_process;
  std::chrono::milliseconds saver_answer_limit = std::chrono::minutes(10);
  SaverAnswer last_answer;
  // Every item the run met, in order, with its result.
  std::vector<ExportItemResult> results;
  std::u16string item_kind = {};  // kind of the item being saved, shown in the status line
};

using SaveQueue = std::deque<SaveQueueEntry>;

// Saves the queued items front to back and returns with the queue empty.
void SaveQueuedItems(ExportSession& session, SaveQueue& queue, const ExportItemValues& values);

// Hands the item whose manifest is written to the saver (the kind parameter on its input),
// shows the saving status and waits for its answer. The saver is started when none runs; one
// that ends before it answers fails the item, and the next item starts a new one. False when
// the item was not saved; `last_answer` says why.
bool RunSaver(ExportSession& session, std::u16string_view parameter, std::u16string_view subject);

}  // namespace tarvex
