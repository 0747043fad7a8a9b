#include "content/body_extraction.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include "base/file_names.h"
#include "base/utf16_file.h"
#include "base/utf_conversion.h"
#include "content/body_text_encoding.h"
#include "content/compressed_rtf.h"
#include "content/rtf_to_text.h"
#include "store/column_decompression.h"
#include "store/column_type.h"
#include "store/stored_value.h"
#include "store/value_reader.h"

namespace tarvex {
namespace {

constexpr unsigned kCreateReadWrite = BinaryFile::kCreate | BinaryFile::kReadWrite;
constexpr unsigned kCreateWrite = BinaryFile::kCreate | BinaryFile::kWrite;

// Binary values of 4 bytes or fewer are taken as no body.
constexpr std::size_t kShortestBinaryBody = 5;

bool IsTextType(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kLongText;
}

bool IsMulti(const RawValue& raw) {
  return (raw.flags & kValueFlagMultiValue) != 0;
}
bool IsLong(const RawValue& raw) {
  return (raw.flags & kValueFlagLongValue) != 0 && !IsMulti(raw);
}
bool IsCompressed(const RawValue& raw) {
  return (raw.flags & kValueFlagCompressed) != 0 && !IsMulti(raw);
}

bool WriteBytes(BinaryFile& file, std::span<const std::uint8_t> bytes) {
  return file.Write(bytes.data(), bytes.size());
}
bool WriteBytes(BinaryFile& file, std::string_view bytes) {
  return file.Write(bytes.data(), bytes.size());
}

// Streams a long value into `file`, which `open` makes once the value is found: a long value
// that cannot be found is no body (its stored bytes are only a key) and leaves the body state
// and the working folder as they were. False then, or when the file cannot be made.
bool WriteLongValue(const ese::Record& record, const RawValue& raw, BinaryFile& file,
                    const std::function<bool()>& open) {
  std::optional<bool> opened;
  auto ensure_open = [&] {
    if (!opened) opened = open();
    return *opened;
  };
  const LongValueRead read =
      ForEachLongValueSegment(record, raw.bytes, [&](std::span<const std::uint8_t> segment) {
        if (ensure_open()) WriteBytes(file, segment);
      });
  if (read == LongValueRead::kNotFound) return false;
  return ensure_open();
}

// The bytes of an inline value, unpacked when the engine compressed it: text columns give
// UTF-16LE. None when a packed value does not unpack.
std::optional<std::vector<std::uint8_t>> InlineBytes(ColumnType type, const RawValue& raw) {
  if (!IsCompressed(raw)) return std::vector<std::uint8_t>(raw.bytes.begin(), raw.bytes.end());
  if (IsTextType(type)) {
    const std::optional<std::u16string> text = DecompressedText(raw.bytes);
    if (!text) return std::nullopt;
    const std::string units = EncodeUtf16Le(*text);
    return std::vector<std::uint8_t>(units.begin(), units.end());
  }
  return Decompress(raw.bytes);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string RtfOfStream(std::string_view stream) {
  constexpr std::size_t kHeaderSize = 16;
  constexpr std::string_view kUncompressedType = "MELA";
  if (stream.size() >= kHeaderSize && stream.substr(8, 4) == kUncompressedType) {
    std::uint32_t raw_size = 0;
    for (int i = 3; i >= 0; --i) {
      raw_size =
          raw_size << 8 | static_cast<unsigned char>(stream[4 + static_cast<std::size_t>(i)]);
    }
    return std::string(stream.substr(kHeaderSize, raw_size));
  }
  return DecompressRtf(stream).value_or(std::string());
}

std::optional<std::string> StoredBodyBytes(const ese::Record* record, int value_entry) {
  if (record == nullptr || value_entry <= 0) return std::nullopt;
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw || raw->bytes.empty()) return std::nullopt;
  std::string bytes;
  if (IsLong(*raw)) {
    const LongValueRead read =
        ForEachLongValueSegment(*record, raw->bytes, [&bytes](std::span<const std::uint8_t> part) {
          bytes.append(reinterpret_cast<const char*>(part.data()), part.size());
        });
    if (read == LongValueRead::kNotFound) return std::nullopt;
    return bytes;
  }
  const std::optional<std::vector<std::uint8_t>> inline_bytes = InlineBytes(*type, *raw);
  if (!inline_bytes) return std::nullopt;
  return std::string(inline_bytes->begin(), inline_bytes->end());
}

std::optional<std::u16string> StoredBodyText(const ese::Record* record, int value_entry) {
  if (record == nullptr || value_entry <= 0) return std::nullopt;
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (type && raw && !raw->bytes.empty() && !IsLong(*raw) && IsCompressed(*raw) &&
      IsTextType(*type)) {
    // A packed text unpacks to UTF-16: taken as it is where its file would read back the same,
    // rather than written out as bytes and decoded again.
    std::optional<std::u16string> text = DecompressedText(raw->bytes);
    if (!text || ReadsBackAsWritten(*text)) return text;
    return BodyFileText(EncodeUtf16Le(*text));
  }
  const std::optional<std::string> bytes = StoredBodyBytes(record, value_entry);
  if (!bytes) return std::nullopt;
  return BodyFileText(*bytes);
}

BodyExtractor::BodyExtractor(std::filesystem::path working_folder, BodyState& body_state,
                             ValueReader& value_reader)
    : working_folder_(std::move(working_folder)),
      body_state_(body_state),
      value_reader_(value_reader) {}

void BodyExtractor::ExtractFirstBody(const ese::Record* record, const BodyColumns& columns) {
  body_state_.format = BodyFormat::kNone;
  if (columns.text != 0) ExtractTextBody(record, columns.text);
  if (body_state_.format == BodyFormat::kNone && columns.html != 0) {
    ExtractHtmlBody(record, columns.html);
  }
  if (body_state_.format == BodyFormat::kNone && columns.rtf != 0)
    ExtractRtfBody(record, columns.rtf);
}

void BodyExtractor::ExtractTextBody(const ese::Record* record, int value_entry) {
  StoreColumnValue(record, value_entry, Route::kText);
}

void BodyExtractor::ExtractHtmlBody(const ese::Record* record, int value_entry) {
  StoreColumnValue(record, value_entry, Route::kHtml);
}

void BodyExtractor::ExtractRtfBody(const ese::Record* record, int value_entry) {
  if (!StoreColumnValue(record, value_entry, Route::kRtf)) return;
  if (ConvertRtfBodyFile()) body_state_.format = BodyFormat::kText;
}

bool BodyExtractor::StoreColumnValue(const ese::Record* record, int value_entry, Route route) {
  if (record == nullptr || value_entry <= 0) return false;
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw || raw->bytes.empty()) return false;

  // A packed value that does not unpack is no body.
  std::optional<std::vector<std::uint8_t>> inline_bytes;
  if (!IsLong(*raw)) {
    inline_bytes = InlineBytes(*type, *raw);
    if (!inline_bytes) return false;
  }

  const char* name = route == Route::kText   ? "textbody.txt"
                     : route == Route::kHtml ? "htmlbody.html"
                                             : "rtfbody.txt";
  const std::filesystem::path path = working_folder_ / name;
  Utf16File utf16_file;
  BinaryFile plain_file;
  // Text and HTML bodies go through the program's text file class, written raw (no mark).
  BinaryFile& file = route == Route::kRtf ? plain_file : utf16_file;
  auto open = [&] {
    if (!file.Open(path, route == Route::kRtf ? kCreateWrite : kCreateReadWrite)) return false;
    body_state_.file_path = path;
    body_state_.text.clear();  // never the text of the previous item
    body_state_.format = route == Route::kText   ? BodyFormat::kText
                         : route == Route::kHtml ? BodyFormat::kHtml
                                                 : BodyFormat::kRtf;
    return true;
  };

  if (!inline_bytes) return WriteLongValue(*record, *raw, file, open);
  if (!open()) return false;
  if (route == Route::kHtml) {
    body_state_.text = DecodeBodyBytes(*inline_bytes);
    WriteBytes(file, Utf16ToUtf8(body_state_.text));
  } else {
    WriteBytes(file, *inline_bytes);
  }
  return true;
}

bool BodyExtractor::ConvertRtfBodyFile() {
  const std::optional<std::string> stream = ReadWholeFile(body_state_.file_path);
  if (!stream || stream->empty()) return false;

  const std::string rtf = RtfOfStream(*stream);
  {
    // Kept beside the other working files for whoever wants to open the document itself.
    BinaryFile copy;
    if (copy.Open(working_folder_ / "temp.rtf", kCreateWrite)) WriteBytes(copy, rtf);
  }
  body_state_.text = rtf.empty() ? std::u16string() : RtfToPlainText(rtf);

  const std::filesystem::path path = working_folder_ / "rtfbody.txt";
  body_state_.file_path = path;
  BinaryFile file;
  if (!file.Open(path, kCreateWrite)) return false;
  body_state_.format = BodyFormat::kRtf;
  WriteBytes(file, Utf16ToUtf8(body_state_.text));
  return true;
}

std::string BodyExtractor::InlineValueAsText(const ese::Record* record, int value_entry,
                                             ColumnType type, const RawValue& raw) {
  // Text goes through the program's text file class: UTF-16LE after its mark.
  auto marked_text = [](std::u16string_view text) { return "\xFF\xFE" + EncodeUtf16Le(text); };
  if (IsCompressed(raw)) {
    if (IsTextType(type)) {
      const std::optional<std::u16string> text = DecompressedText(raw.bytes);
      return text ? marked_text(*text) : std::string();
    }
    const std::optional<std::vector<std::uint8_t>> bytes = InlineBytes(type, raw);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
  }
  if (IsTextType(type)) {
    std::optional<std::u16string> text = value_reader_.ReadBodyText(record, value_entry);
    if (!text) return std::string();
    std::erase(*text, u'\0');
    return marked_text(*text);
  }
  if (raw.bytes.size() >= kShortestBinaryBody) return std::string(raw.bytes.begin(), raw.bytes.end());
  return std::string();
}

std::u16string BodyExtractor::WriteBodyValueAsText(const ese::Record* record, int value_entry) {
  if (record == nullptr || value_entry <= 0) return std::u16string();
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw || raw->bytes.empty()) return std::u16string();

  const std::filesystem::path path = working_folder_ / "blank.txt";
  Utf16File file;
  auto open = [&] {
    body_state_.file_path = path;
    return file.Open(path, kCreateWrite);
  };
  if (IsLong(*raw)) {
    if (!WriteLongValue(*record, *raw, file, open)) return std::u16string();
  } else if (!open()) {
    return std::u16string();
  } else {
    WriteBytes(file, InlineValueAsText(record, value_entry, *type, *raw));
  }
  return TextFromPath(path);
}

std::optional<std::string> BodyExtractor::BodyValueAsText(const ese::Record* record,
                                                          int value_entry) {
  if (record == nullptr || value_entry <= 0) return std::nullopt;
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw || raw->bytes.empty()) return std::nullopt;
  if (IsLong(*raw)) return StoredBodyBytes(record, value_entry);
  return InlineValueAsText(record, value_entry, *type, *raw);
}

}  // namespace tarvex
