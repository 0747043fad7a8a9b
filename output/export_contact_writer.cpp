#include <vector>

#include "base/file_names.h"
#include "base/utf16_file.h"
#include "base/utf16_text.h"
#include "output/export_item_record.h"
#include "output/export_manifest.h"
#include "output/export_writers.h"

namespace tarvex {
namespace {

// How a field falls back to its later columns: kThen lets a later column that the store has
// replace the value even when empty; kElse reads a later column only while the value is empty.
enum class Fallback { kSingle, kThen, kElse };

struct ContactField {
  Fallback fallback;
  std::vector<std::u16string_view> columns;
};

const std::vector<ContactField>& ContactFields() {
  using enum Fallback;
  static const std::vector<ContactField> kFields = {
      {kThen, {u"S82a0", u"S3001"}},
      {kSingle, {u"S3a06"}},
      {kSingle, {u"S3a44"}},
      {kSingle, {u"S3a11"}},
      {kSingle, {u"S3a16"}},
      {kSingle, {u"S81c2"}},
      {kSingle, {u"S70"}},
      {kElse, {u"S81b1", u"S81b0", u"S801a", u"S8010", u"S803a", u"S82f6", u"S803b", u"S802c"}},
      {kElse, {u"S829f", u"S81b2", u"S802f"}},
      {kElse, {u"S81b1", u"S81b5", u"S801b", u"S3003", u"S802b", u"S802c", u"S803b"}},
      {kSingle, {u"S81af"}},
      {kSingle, {u"S81ba"}},
      {kSingle, {u"S81b9"}},
      {kSingle, {u"S3a17"}},
      {kSingle, {u"S3a09"}},
      {kSingle, {u"S3a2f"}},
      {kSingle, {u"S3a08"}},
      {kSingle, {u"S3a1b"}},
      {kSingle, {u"S3a1c"}},
      {kSingle, {u"S3a1f"}},
      {kSingle, {u"S3a23"}},
      {kSingle, {u"S8241"}},
      {kSingle, {u"S3a15"}},
      {kSingle, {u"S80a6"}},
      {kSingle, {u"S8097"}},
      {kSingle, {u"S80a5"}},
      {kSingle, {u"S808d"}},
      {kThen, {u"S3a2a", u"S809e"}},
      {kSingle, {u"S3a24"}},
      {kSingle, {u"S3a51"}},
      {kSingle, {u"S3a29"}},
      {kSingle, {u"S3a28"}},
      {kSingle, {u"S3a27"}},
      {kSingle, {u"S3a26"}},
      {kSingle, {u"S3a0a"}},
      {kThen, {u"S80a7", u"S8095"}},
      {kSingle, {u"S3a5d"}},
      {kSingle, {u"S3a5a"}},
      {kSingle, {u"S3a5b"}},
      {kSingle, {u"MS80db"}},
      {kSingle, {u"S3a45"}},
      {kSingle, {u"S3a4f"}},
      {kSingle, {u"S3a19"}},
      {kSingle, {u"S3a18"}},
      {kSingle, {u"T3a42"}},
      {kSingle, {u"S3a05"}},
      {kSingle, {u"S3a46"}},
      {kSingle, {u"S8027"}},
  };
  return kFields;
}

std::u16string FieldValue(PreviewRecord& record, const ContactField& field) {
  std::u16string value;
  for (std::u16string_view column : field.columns) {
    if (field.fallback == Fallback::kElse && !value.empty()) break;
    if (field.fallback == Fallback::kThen && !record.Has(column)) continue;
    value = record.Value(column);
  }
  return value;
}

}  // namespace

std::u16string ContactFieldsText(PreviewRecord& record) {
  std::u16string text;
  for (const ContactField& field : ContactFields()) {
    text += ReplacedAll(FieldValue(record, field), u"<br>", u"");
    text += u"<br>";
  }
  ReplaceAll(text, u"\n", u"<newlinebreak>");
  ReplaceAll(text, u",", u"cama");
  return text;
}

void SaveContactItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ResetItemState(recovery);
  ExportItemRecord item_record(recovery, values);
  if (!item_record.record()) {
    ++session.items_skipped;
    return;
  }
  PreviewRecord& record = *item_record.record();
  const std::u16string fields = ContactFieldsText(record);
  FindExportBody(recovery, record, u"blank.txt", values.plain_body);
  const BodyState& body = recovery.body();
  {
    Utf16File file;
    if (file.Open(session.manifest_folder / PathFromText(kContactFieldsFileName),
                  BinaryFile::kCreate | BinaryFile::kWrite)) {
      file.WriteString(std::u16string_view(fields));
    }
  }

  ManifestRecord manifest;
  manifest.Add(u"xxFolderPath:", session.folder_path);
  manifest.Add(u"FolderPath:", session.folder_path);
  manifest.Add(u"Body:", TextFromPath(body.file_path));
  manifest.Add(u"TYPE:", BodyKindText(body));
  HandOver(session, manifest, false, u"contact", item.subject);
}

}  // namespace tarvex
