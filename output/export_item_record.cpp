#include "output/export_item_record.h"

#include "base/binary_file.h"
#include "base/file_names.h"
#include "base/utf_conversion.h"
#include "content/body_extraction.h"
#include "content/text_transformations.h"
#include "mailbox/item_extraction.h"
#include "output/export_working_files.h"
#include "output/preview_page_files.h"

namespace tarvex {

ExportItemRecord::ExportItemRecord(ExportSession& session, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  recovery.body().format = BodyFormat::kNone;
  recovery.body().text.clear();
  if (values.table != nullptr && values.columns != nullptr && values.has_record) {
    row_ = values.table->ReadRecord(values.record_number);
    if (row_) record_.emplace(recovery.reader(), &*row_, *values.columns);
  }
  if (!record_) ++session.items_skipped;
}

void HandOver(ExportSession& session, const ManifestRecord& record, bool mail_record,
              std::u16string_view parameter, std::u16string_view subject) {
  if (!WriteManifestFile(session.manifest_folder / PathFromText(kManifestFileName), record,
                         mail_record)) {
    ++session.saver_failures;
    return;
  }
  RunSaver(session, parameter, subject);
}

void FindExportBody(Recovery& recovery, PreviewRecord& record, std::u16string_view fallback_name,
                    std::u16string_view plain_body, FallbackBodyEncoding encoding) {
  BodyState& body = recovery.body();
  BodyExtractor extractor(recovery.working_folder(), body, recovery.reader());
  extractor.ExtractFirstBody(
      record.get(), {record.Entry(u"S1000"), record.Entry(u"N1013"), record.Entry(u"N1009")});
  if (body.format != BodyFormat::kNone) return;
  body.file_path = recovery.working_folder() / PathFromText(fallback_name);
  body.text.clear();
  if (encoding == FallbackBodyEncoding::kUtf16Le) {
    WriteUnmarkedUtf16File(body.file_path, plain_body);
    return;
  }
  BinaryFile file;
  if (!file.Open(body.file_path, BinaryFile::kCreate | BinaryFile::kWrite)) return;
  const std::string bytes = Utf16ToUtf8(plain_body);
  file.Write(bytes.data(), bytes.size());
  file.Close();
}

std::u16string BodyKindText(const BodyState& body) {
  if (body.format == BodyFormat::kHtml) return u"html";
  if (body.format == BodyFormat::kRtf) return u"rtf";
  return u"txt";
}

void SubjectFallback(PreviewRecord& record, SaveQueueEntry& item) {
  if (item.subject.empty()) item.subject = record.Text(u"S70");
}

void SenderFallback(PreviewRecord& record, SaveQueueEntry& item) {
  if (item.sender.empty()) {
    std::u16string addresses = ExtractMailAddresses(record.Text(u"N67b5"));
    if (!addresses.empty()) item.sender = std::move(addresses);
  }
  item.sender = EscapeAngleBrackets(item.sender);
}

std::u16string ExtractExportAttachments(Recovery& recovery, const ExportItemValues& values) {
  // A list of one identifier or less names no attachment.
  constexpr std::size_t kShortestAttachmentList = 15;
  if (values.attachment_ids.size() < kShortestAttachmentList) return u"";
  return WriteItemAttachments(recovery, values.attachment_ids);
}

std::u16string ExistingAttachmentFiles(Recovery& recovery, std::u16string_view attachment_names) {
  if (attachment_names.empty()) return u"";
  return FilterAttachmentFiles(recovery.working_folder(), attachment_names);
}

}  // namespace tarvex
