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
namespace {

void CallWriter(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
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

// The result of the item just handed to its writer, told by which count the writer moved: a
// writer counts an item it cannot hand over as skipped, and the saver's answer says the rest.
ExportItemResult ResultOf(const ExportSession& session, const SaveQueueEntry& item,
                          int saved_before, int failures_before) {
  ExportItemResult result;
  result.folder = PathBelow(session.output_folder, PathFromText(session.folder_path));
  result.item_id = item.item_id;
  result.kind = item.kind;
  result.subject = item.subject;
  if (session.items_saved > saved_before) {
    result.written = true;
    result.file = PathBelow(session.output_folder, session.last_answer.file);
    result.warnings = session.last_answer.warnings;
  } else if (session.saver_failures > failures_before) {
    result.reason = session.last_answer.reason.empty()
                        ? u"the manifest could not be written"
                        : u"the saver failed: " + session.last_answer.reason;
  } else if (item.kind == u"distlist" || item.kind == u"activity") {
    result.reason = u"items of this kind are not exported";
  } else {
    result.reason = u"the item's record could not be read";
  }
  return result;
}

// "10 minutes", "1 second".
std::u16string DurationText(std::chrono::milliseconds length) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(length).count();
  const bool in_minutes = seconds >= 60 && seconds % 60 == 0;
  const auto count = in_minutes ? seconds / 60 : seconds;
  return FromAscii(std::to_string(count)) + (in_minutes ? u" minute" : u" second") +
         (count == 1 ? u"" : u"s");
}

SaverAnswer ReadAnswer(LineProcess& saver, std::chrono::milliseconds silence) {
  SaverAnswer answer;
  while (const std::optional<std::string> line = saver.ReadLine(silence)) {
    const std::size_t tab = line->find('\t');
    const std::string_view word = std::string_view(*line).substr(0, tab);
    const std::u16string text =
        tab == std::string::npos ? u"" : Utf8ToUtf16(std::string_view(*line).substr(tab + 1));
    if (word == "warning") {
      answer.warnings.push_back(text);
    } else if (word == "saved") {
      answer.saved = true;
      answer.file = PathFromText(text);
      return answer;
    } else if (word == "failed") {
      answer.reason = text.empty() ? u"no reason given" : text;
      return answer;
    }
  }
  if (saver.went_silent()) {
    answer.reason = u"the saver gave no answer within " + DurationText(silence) +
                    u" and was stopped; it is started again for the next item";
    return answer;
  }
  // The saver closed its output before it answered: it ended or died with this item.
  const std::optional<int> status = saver.Finish();
  answer.reason = u"the saver ended before it answered (" +
                  (status ? u"exit status " + FromAscii(std::to_string(*status))
                          : std::u16string(u"no exit status")) +
                  u"); it is started again for the next item";
  return answer;
}

}  // namespace

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
    const int saved_before = session.items_saved;
    const int failures_before = session.saver_failures;
    session.last_answer = {};
    CallWriter(session, item, values);
    session.results.push_back(ResultOf(session, item, saved_before, failures_before));
  }
}

bool RunSaver(ExportSession& session, std::u16string_view parameter, std::u16string_view subject) {
  LineProcess& saver = session.saver_process;
  auto hand_over = [&] {
    if (!saver.running() &&
        !saver.Start(session.saver, {"--serve", "--manifest-dir", session.manifest_folder.string(),
                                     "--mail-format", session.mail_format})) {
      return false;
    }
    return saver.SendLine(Utf16ToUtf8(parameter));
  };
  // A saver that ended after its last answer no longer reads: a new one gets the item.
  if (!hand_over()) {
    saver.Finish();
    if (!hand_over()) {
      session.last_answer.reason = u"the saver program could not be started";
      ++session.saver_failures;
      return false;
    }
  }
  const std::u16string_view kind = parameter == u"contact" || session.item_kind.empty()
                                       ? parameter
                                       : std::u16string_view(session.item_kind);
  const std::u16string prefix = u"Saving " + std::u16string(kind) + u" status: [ ";
  session.recovery.window().SetStatusText(
      prefix + FromAscii(std::to_string(session.loop_record_number)) + u" ] " +
      session.folder_path + kPathSeparator + SingleLine(subject));
  session.last_answer = ReadAnswer(saver, session.saver_answer_limit);
  if (session.last_answer.saved) {
    ++session.items_saved;
    return true;
  }
  ++session.saver_failures;
  return false;
}

}  // namespace tarvex
