#include "output/preview_body.h"

#include <fstream>
#include <iterator>
#include <span>

#include "base/file_names.h"
#include "base/utf_conversion.h"
#include "content/body_extraction.h"
#include "content/body_text_encoding.h"
#include "output/html_sanitizer.h"
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

// The body file replaced by `page`; the stored form stays beside it as "<name>.stored", for
// the message writers, which hand on what the store holds.
void ReplaceWithSafePage(BodyState& body, std::string_view page) {
  std::filesystem::path stored = body.file_path;
  stored += ".stored";
  std::error_code error;
  std::filesystem::rename(body.file_path, stored, error);
  body.stored_path = error ? std::filesystem::path() : stored;
  std::ofstream file(body.file_path, std::ios::binary | std::ios::trunc);
  file.write(page.data(), static_cast<std::streamsize>(page.size()));
}

// An HTML body is shown as the page the sanitizer makes of it: the frame that shows it is a
// browser like any other.
void MakeHtmlBodySafe(BodyState& body) {
  if (body.format != BodyFormat::kHtml) return;
  std::ifstream file(body.file_path, std::ios::binary);
  if (!file) return;
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  file.close();
  const std::u16string html =
      DecodeBodyBytes(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  ReplaceWithSafePage(body, SafeHtmlPage(Utf16ToUtf8(html)));
}

}  // namespace

void FindBodyOlder(Recovery& recovery, PreviewRecord& record, const SelectedItem& item,
                   std::u16string_view fallback_name) {
  BodyState& body = recovery.body();
  body.stored_path.clear();
  if (record.get() != nullptr) {
    ExtractorFor(recovery).ExtractFirstBody(
        record.get(), {record.Entry(u"S1000"), record.Entry(u"N1013"), record.Entry(u"N1009")});
  } else {
    body.format = BodyFormat::kNone;
  }
  if (body.format != BodyFormat::kNone) {
    MakeHtmlBodySafe(body);
    return;
  }

  std::u16string plain;
  for (const PlainBody& entry : recovery.model().plain_bodies) {
    if (entry.message_id == item.item_key) plain += entry.body;
  }
  body.file_path = recovery.working_folder() / PathFromText(fallback_name);
  body.text.clear();
  WriteUnmarkedUtf16File(body.file_path, plain);
  // Plain text in a page file would be read as markup.
  if (body.file_path.extension() == ".html") {
    ReplaceWithSafePage(body, SafeTextPage(Utf16ToUtf8(plain)));
  }
}

void FindBody2010(Recovery& recovery, PreviewRecord& record, std::u16string_view no_body_text) {
  BodyState& body = recovery.body();
  body.format = BodyFormat::kNone;
  body.text.clear();
  body.stored_path.clear();
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
  if (body.format != BodyFormat::kNone) {
    MakeHtmlBodySafe(body);
    return;
  }

  body.file_path = recovery.working_folder() / "blank.txt";
  WriteUnmarkedUtf16File(body.file_path, no_body_text);
}

}  // namespace tarvex
