#pragma once

// What the export writers share: the item's reopened record, its body, and the texts every
// record carries.

#include <optional>
#include <string>
#include <string_view>

#include "output/export_manifest.h"
#include "output/export_queue.h"
#include "output/preview_record.h"

namespace tarvex {

// The item's row, held for the life of a writer.
class ExportItemRecord {
 public:
  // Clears the body state an earlier item left and opens the row; `record()` is empty when it
  // cannot be read, and the item then counts as skipped.
  ExportItemRecord(ExportSession& session, const ExportItemValues& values);
  std::optional<PreviewRecord>& record() { return record_; }

 private:
  std::optional<ese::Record> row_;
  std::optional<PreviewRecord> record_;
};

// Writes the manifest record and runs the saver with `parameter`; a manifest that cannot be
// written runs no saver and counts as a saver failure.
void HandOver(ExportSession& session, const ManifestRecord& record, bool mail_record,
              std::u16string_view parameter, std::u16string_view subject);

enum class FallbackBodyEncoding { kUtf16Le, kUtf8 };

// Tries the text, HTML and RTF routes in this order; without a body, `fallback_name` in the
// working folder holds `plain_body` without a mark and becomes the body file.
void FindExportBody(Recovery& recovery, PreviewRecord& record, std::u16string_view fallback_name,
                    std::u16string_view plain_body,
                    FallbackBodyEncoding encoding = FallbackBodyEncoding::kUtf16Le);

// "html", "rtf" or "txt" from the body format.
std::u16string BodyKindText(const BodyState& body);

// An empty subject takes the record's "S70".
void SubjectFallback(PreviewRecord& record, SaveQueueEntry& item);
// An empty sender takes the addresses of "N67b5"; then angle brackets become square ones.
void SenderFallback(PreviewRecord& record, SaveQueueEntry& item);

// The attachment files of the item, written into the working folder when its identifier list
// names any; the files' names, each followed by ";".
std::u16string ExtractExportAttachments(Recovery& recovery, const ExportItemValues& values);

// The full paths of those files that exist, each followed by ";"; empty without names.
std::u16string ExistingAttachmentFiles(Recovery& recovery, std::u16string_view attachment_names);

}  // namespace tarvex
