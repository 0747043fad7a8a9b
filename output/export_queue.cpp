#include "output/export_queue.h"

#include <string>
#include <vector>

#include "base/file_names.h"
#include "base/process_runner.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "output/export_manifest.h"
#include "output/export_working_files.h"
#include "output/export_writers.h"

namespace tarvex {

// Between the folder and the item in status texts, as paths are written on this system.
constexpr char16_t kPathSeparator =
    static_cast<char16_t>(std::filesystem::path::preferred_separator);

void SaveQueuedItems(ExportSession& session, SaveQueue& queue, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  while (!queue.empty()) {
    ClearWorkingFolder(recovery.working_folder(), session.kept_files);
    SaveQueueEntry item = std::move(queue.front());
    queue.pop_front();
    item.sender = ReplacedAll(item.sender, u"\"", u"");
    session.item_kind = item.kind;
    recovery.window().SetStatusText(u"Saving Status: " + session.folder_path + kPathSeparator +
                                    SingleLine(item.subject));

    const std::u16string& kind = item.kind;
    if (kind == u"contact") {
      SaveContactItem(session, item, values);
    } else if (kind == u"distlist") {
      SaveDistListItem(session, item, values);
    } else if (kind == u"appointment") {
      SaveAppointmentItem(session, item, values);
    } else if (kind == u"activity") {
      SaveJournalItem(session, item, values);
    } else if (kind == u"notes") {
      SaveNoteItem(session, item, values);
    } else if (kind == u"task") {
      SaveTaskItem(session, item, values);
    } else {
      SaveMailItem(session, item, values);
    }
  }
}

bool RunSaver(ExportSession& session, std::u16string_view parameter, std::u16string_view subject) {
  const std::vector<std::string> arguments = {Utf16ToUtf8(parameter), "--manifest-dir",
                                              session.manifest_folder.string()};
  const std::u16string_view kind = parameter == u"contact" || session.item_kind.empty()
                                       ? parameter
                                       : std::u16string_view(session.item_kind);
  const std::u16string prefix = u"Saving " + std::u16string(kind) + u" status: [ ";
  // The status follows the start, as it names a save under way.
  const std::optional<int> status = RunProgramAndWait(session.saver, arguments, [&] {
    session.recovery.window().SetStatusText(
        prefix + FromAscii(std::to_string(session.loop_record_number)) + u" ] " +
        session.folder_path + kPathSeparator + SingleLine(subject));
  });
  if (status && *status == 0) {
    ++session.items_saved;
    return true;
  }
  ++session.saver_failures;
  return false;
}

}  // namespace tarvex
