#include <array>

#include "base/file_names.h"
#include "base/utf16_file.h"
#include "base/utf16_text.h"
#include "output/contact_columns.h"
#include "output/export_item_record.h"
#include "output/export_manifest.h"
#include "output/export_writers.h"

namespace tarvex {
namespace {

// The columns of each field in both layouts; the 2010 layout keeps some of them under other
// names, as its contact page reads them.
struct ContactField {
  ColumnSteps older;
  ColumnSteps newer;
};

// A field read from the same columns in both layouts.
constexpr ContactField Same(ColumnSteps steps) {
  return {steps, steps};
}

constexpr std::array kContactFields = {
    Same({First(u"S82a0"), Then(u"S3001")}),
    Same({First(u"S3a06")}),
    Same({First(u"S3a44")}),
    Same({First(u"S3a11")}),
    Same({First(u"S3a16")}),
    Same({First(u"S81c2")}),
    Same({First(u"S70")}),
    ContactField{{First(u"S81b1"), Else(u"S81b0"), Else(u"S801a"), Else(u"S8010"), Else(u"S803a"),
                  Else(u"S82f6"), Else(u"S803b"), Else(u"S802c")},
                 {First(u"S802c"), Else(u"S81b0"), Else(u"S3003"), Else(u"S803a"), Else(u"S8023")}},
    ContactField{{First(u"S829f"), Else(u"S81b2"), Else(u"S802f")},
                 {First(u"S829f"), Else(u"S81b2"), Else(u"S801a")}},
    ContactField{{First(u"S81b1"), Else(u"S81b5"), Else(u"S801b"), Else(u"S3003"), Else(u"S802b"),
                  Else(u"S802c"), Else(u"S803b")},
                 {First(u"S81b1"), Else(u"S801d"), Else(u"S81b5"), Else(u"S8010"), Else(u"S801b"),
                  Else(u"S802b"), Else(u"S800e")}},
    ContactField{{First(u"S81af")}, {First(u"S81af"), Else(u"S8020")}},
    ContactField{{First(u"S81ba")}, {First(u"S81ba"), WhenSet(u"S800b")}},
    Same({First(u"S81b9")}),
    Same({First(u"S3a17")}),
    ContactField{{First(u"S3a09")}, {First(u"S3a09"), Else(u"S8145")}},
    Same({First(u"S3a2f")}),
    Same({First(u"S3a08")}),
    Same({First(u"S3a1b")}),
    Same({First(u"S3a1c")}),
    Same({First(u"S3a1f")}),
    Same({First(u"S3a23")}),
    Same({First(u"S8241")}),
    Same({First(u"S3a15")}),
    Same({First(u"S80a6")}),
    ContactField{{First(u"S8097")}, {First(u"S8097"), Else(u"S8143")}},
    ContactField{{First(u"S80a5")}, {First(u"S80a5"), Else(u"S8146")}},
    ContactField{{First(u"S808d")}, {First(u"S808d"), Else(u"S8144")}},
    ContactField{{First(u"S3a2a"), Then(u"S809e")},
                 {First(u"S3a2a"), Then(u"S809e"), Else(u"L813a")}},
    Same({First(u"S3a24")}),
    Same({First(u"S3a51")}),
    Same({First(u"S3a29")}),
    Same({First(u"S3a28")}),
    Same({First(u"S3a27")}),
    Same({First(u"S3a26")}),
    Same({First(u"S3a0a")}),
    ContactField{{First(u"S80a7"), Then(u"S8095")},
                 {First(u"S80a7"), Else(u"S801a"), Then(u"S8095")}},
    Same({First(u"S3a5d")}),
    Same({First(u"S3a5a")}),
    Same({First(u"S3a5b")}),
    Same({First(u"MS80db")}),
    Same({First(u"S3a45")}),
    Same({First(u"S3a4f")}),
    Same({First(u"S3a19")}),
    Same({First(u"S3a18")}),
    Same({First(u"T3a42")}),
    Same({First(u"S3a05")}),
    Same({First(u"S3a46")}),
    Same({First(u"S8027")}),
};
static_assert(kContactFields.size() == 48);

}  // namespace

std::u16string ContactFieldsText(PreviewRecord& record, StoreLayout layout) {
  std::u16string text;
  for (const ContactField& field : kContactFields) {
    const ColumnSteps& steps = layout == StoreLayout::k2010 ? field.newer : field.older;
    text += ReplacedAll(ContactFieldValue(record, steps), u"<br>", u"");
    text += u"<br>";
  }
  ReplaceAll(text, u"\n", u"<newlinebreak>");
  ReplaceAll(text, u",", u"cama");
  return text;
}

void SaveContactItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ExportItemRecord item_record(session, values);
  if (!item_record.record()) return;
  PreviewRecord& record = *item_record.record();
  const std::u16string fields = ContactFieldsText(record, recovery.layout());
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
  manifest.Add(u"UID:", item.item_id);
  manifest.Add(u"CATEGORIES:", ManifestList(record.Texts(u"MS80db")));
  HandOver(session, manifest, false, u"contact", item.subject);
}

}  // namespace tarvex
