#include "output/preview_body.h"

#include "base/file_names.h"
#include "content/body_extraction.h"
#include "output/preview_page_files.h"

namespace tarvex {
namespace {

BodyExtractor ExtractorFor(Recovery& recovery) {
  return BodyExtractor(recovery.working_folder(), recovery.body(), recovery.reader());
}

bool HasStoredValue(const PreviewRecord& record, std::u16string_view name) {
  const int entry = record.Entry(name);
  if (record.get() == nullptr || entry == 0) return false;
  const std::optional<RawValue> raw = GetRawValue(record.get(), entry);
  return raw && !raw->bytes.empty();
}

}  // namespace

void FindBodyOlder(Recovery& recovery, PreviewRecord& record, const SelectedItem& item,
                   std::u16string_view fallback_name) {
  BodyState& body = recovery.body();
  if (record.get() != nullptr) {
    ExtractorFor(recovery).ExtractFirstBody(
        record.get(), {record.Entry(u"S1000"), record.Entry(u"N1013"), record.Entry(u"N1009")});
  } else {
    body.format = BodyFormat::kNone;
  }
  if (body.format != BodyFormat::kNone) return;

  std::u16string plain;
  for (const PlainBody& entry : recovery.model().plain_bodies) {
    if (entry.message_id == item.item_key) plain += entry.body;
  }
  body.file_path = recovery.working_folder() / PathFromText(fallback_name);
  body.text.clear();
  WriteUnmarkedUtf16File(body.file_path, plain);
}

void FindBody2010(Recovery& recovery, PreviewRecord& record, std::u16string_view no_body_text) {
  BodyState& body = recovery.body();
  body.format = BodyFormat::kNone;
  body.text.clear();
  ValueReader& reader = recovery.reader();
  BodyExtractor extractor = ExtractorFor(recovery);

  // A stored value only: an absent column would otherwise leave an empty stream that hides
  // the HTML and text bodies.
  if (HasStoredValue(record, u"N1009")) {
    reader.WriteRtfBodyFile(record.get(), record.Entry(u"N1009"));
    if (body.format == BodyFormat::kRtf) {
      extractor.ConvertRtfBodyFile();
      // A stream that does not decode to any text is no body.
      if (body.text.empty()) body.format = BodyFormat::kNone;
    }
  }
  if (body.format == BodyFormat::kNone && HasStoredValue(record, u"N1013")) {
    const std::optional<std::u16string> path =
        reader.WriteHtmlBodyFile(record.get(), record.Entry(u"N1013"));
    if (path && !path->empty()) {
      body.format = BodyFormat::kHtml;
      body.file_path = PathFromText(*path);
    }
  }
  if (body.format == BodyFormat::kNone && HasStoredValue(record, u"S1000")) {
    const std::u16string path =
        extractor.WriteBodyValueAsText(record.get(), record.Entry(u"S1000"));
    if (!path.empty()) {
      body.format = BodyFormat::kText;
      body.file_path = PathFromText(path);
    }
  }
  if (body.format != BodyFormat::kNone) return;

  body.file_path = recovery.working_folder() / "blank.txt";
  WriteUnmarkedUtf16File(body.file_path, no_body_text);
}

}  // namespace tarvex
