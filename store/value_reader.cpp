#include "store/value_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <type_traits>
#include <variant>

#include "base/file_names.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "store/column_decompression.h"
#include "store/store_session.h"

namespace tarvex {
namespace {

// How a value is stored, from its flags byte, in the order the readers test them.
enum class ValueShape { kPlain, kCompressed, kLong, kMulti, kOther };

ValueShape ShapeOf(std::uint8_t flags) {
  if (flags <= kValueFlagVariableSize) return ValueShape::kPlain;
  const bool compressed = (flags & kValueFlagCompressed) != 0;
  const bool long_value = (flags & kValueFlagLongValue) != 0;
  const bool multi_value = (flags & kValueFlagMultiValue) != 0;
  if (compressed && !multi_value) return ValueShape::kCompressed;
  if (long_value && !multi_value) return ValueShape::kLong;
  // With 0x10 too, the engine's short form of two values: still a multi value, not one run of
  // bytes with a size byte inside it.
  if (multi_value && !long_value) return ValueShape::kMulti;
  return ValueShape::kOther;
}

bool IsTextType(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kLongText;
}
bool IsBinaryType(ColumnType type) {
  return type == ColumnType::kBinary || type == ColumnType::kLongBinary;
}

std::u16string FormatNumber(const char* format, auto value) {
  char buffer[64];
  if constexpr (std::is_integral_v<decltype(value)>) {
    // Integers in decimal, as printf writes them, without parsing the format for each row.
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return FromAscii(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
  } else {
    std::snprintf(buffer, sizeof buffer, format, value);
    return FromAscii(buffer);
  }
}

std::u16string_view WithoutTrailingZeros(std::u16string_view text) {
  while (!text.empty() && text.back() == 0) text.remove_suffix(1);
  return text;
}

std::span<const std::uint8_t> AsBytes(std::u16string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size() * 2};
}

void WriteBytes(std::ofstream& file, std::span<const std::uint8_t> bytes) {
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// Every typed reading of a plain value answers a text, the empty text for a value that holds
// nothing, or none when the stored size does not fit the type.
std::optional<std::u16string> NumberText(std::span<const std::uint8_t> bytes, ColumnType type,
                                         const char* format, auto convert) {
  if (bytes.empty()) return std::u16string();
  const std::optional<std::uint64_t> number = FixedSizeNumber(bytes, ese::NaturalSize(type));
  if (!number) return std::nullopt;
  return FormatNumber(format, convert(*number));
}

std::optional<std::u16string> ReadPlainValue(const ese::ColumnSchema& column, const RawValue& raw,
                                             bool hex_for_bytes) {
  const std::span<const std::uint8_t> bytes = raw.bytes;
  switch (column.type) {
    case ColumnType::kBit:
      if (bytes.empty()) return std::u16string();
      if (bytes.size() != 1) return std::nullopt;
      return bytes[0] != 0 ? u"true" : u"false";
    case ColumnType::kUnsignedByte:
    case ColumnType::kUnsignedShort:
    case ColumnType::kUnsignedLong:
      return NumberText(bytes, column.type, "%u",
                        [](std::uint64_t v) { return static_cast<unsigned>(v); });
    case ColumnType::kShort:
      return NumberText(bytes, column.type, "%d", [](std::uint64_t v) {
        return static_cast<int>(static_cast<std::int16_t>(v));
      });
    case ColumnType::kLong:
      return NumberText(bytes, column.type, "%d", [](std::uint64_t v) {
        return static_cast<int>(static_cast<std::int32_t>(v));
      });
    case ColumnType::kCurrency:
      return NumberText(bytes, column.type, "%llu",
                        [](std::uint64_t v) { return static_cast<unsigned long long>(v); });
    case ColumnType::kLongLong:
      return NumberText(bytes, column.type, "%lld",
                        [](std::uint64_t v) { return static_cast<long long>(v); });
    case ColumnType::kIeeeSingle:
      return NumberText(bytes, column.type, "%f", [](std::uint64_t v) {
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(v)));
      });
    case ColumnType::kIeeeDouble:
      return NumberText(bytes, column.type, "%f",
                        [](std::uint64_t v) { return std::bit_cast<double>(v); });
    case ColumnType::kDateTime: {
      if (bytes.empty()) return std::u16string();
      const std::optional<std::uint64_t> filetime = FixedSizeNumber(bytes, 8);
      if (!filetime) return std::nullopt;
      return DateText(*filetime);
    }
    case ColumnType::kText:
    case ColumnType::kLongText:
      // The stored text ends at its first zero, so it holds none to leave out.
      return bytes.empty() ? std::u16string() : StoredText(bytes, column.code_page);
    default:
      return hex_for_bytes ? HexText(bytes) : PrintableFilter(bytes);
  }
}

std::optional<std::u16string> ReadCompressedValue(ColumnType type, const RawValue& raw) {
  if (raw.bytes.empty()) return std::nullopt;
  // Text and binary columns are both decoded: the stored bytes of a compressed value mean
  // nothing to a reader.
  if (IsTextType(type)) return DecompressedText(raw.bytes);
  if (IsBinaryType(type)) {
    const std::optional<std::vector<std::uint8_t>> bytes = Decompress(raw.bytes);
    if (!bytes) return std::nullopt;
    return PrintableFilter(*bytes);
  }
  return PrintableFilter(raw.bytes);
}

// Each value of a multi value as stored: a text value up to its end (zeros kept), a binary one
// as its printable characters.
std::optional<std::vector<std::u16string>> ReadMultiValueParts(const ese::Record& record,
                                                               const ese::ColumnSchema& column,
                                                               const RawValue& raw) {
  const std::optional<std::vector<ese::MultiValuePart>> parts = MultiValueParts(raw);
  if (!parts) return std::nullopt;
  const bool first_compressed = (raw.flags & kValueFlagCompressed) != 0;
  std::vector<std::u16string> values;
  for (std::size_t index = 0; index < parts->size(); ++index) {
    const std::optional<std::vector<std::uint8_t>> stored =
        MultiValuePartBytes(record, (*parts)[index]);
    if (!stored) return std::nullopt;
    // Only the first value of a compressed multi value is packed.
    const bool compressed = first_compressed && index == 0;
    if (IsTextType(column.type)) {
      std::optional<std::u16string> text =
          compressed ? DecompressedText(*stored) : StoredText(*stored, column.code_page);
      if (!text) return std::nullopt;
      values.push_back(std::move(*text));
    } else {
      std::vector<std::uint8_t> bytes = *stored;
      if (compressed) {
        std::optional<std::vector<std::uint8_t>> decoded = Decompress(*stored);
        if (!decoded) return std::nullopt;
        bytes = std::move(*decoded);
      }
      values.push_back(PrintableFilter(bytes));
    }
  }
  return values;
}

// The values in one text: texts each ended by a blank, binary values each by a comma.
std::optional<std::u16string> ReadMultiValue(const ese::Record& record,
                                             const ese::ColumnSchema& column, const RawValue& raw) {
  const std::optional<std::vector<std::u16string>> values =
      ReadMultiValueParts(record, column, raw);
  if (!values) return std::nullopt;
  std::u16string joined;
  for (const std::u16string& value : *values) {
    joined += IsTextType(column.type) ? Utf16ZerosToBlanks(value + u'\0') : value + u",";
  }
  return joined;
}

// Writes the long value's segments to `file`; a value that cannot be found leaves it alone.
LongValueRead WriteLongValue(const ese::Record& record, const RawValue& raw, std::ofstream& file) {
  return ForEachLongValueSegment(record, raw.bytes, [&file](std::span<const std::uint8_t> segment) {
    WriteBytes(file, segment);
  });
}

using EightBytesOf = std::array<std::uint8_t, 8>;
// What an identifier or time reader has to work with: the value's 8 bytes, or the printable
// text of a value stored in another form (compressed, long, multi).
using EightByteValue = std::variant<EightBytesOf, std::u16string>;

// None unless the record exists, the column is binary or currency (or date time, when
// `date_column_too`), and a plain value has exactly 8 bytes.
std::optional<EightByteValue> ReadEightBytes(const ese::Record* record, int value_entry,
                                             bool date_column_too) {
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw) return std::nullopt;
  // A FILETIME may sit in a currency, binary or date column; each holds the same 8 bytes.
  const bool accepted = *type == ColumnType::kBinary || *type == ColumnType::kCurrency ||
                        (date_column_too && *type == ColumnType::kDateTime);
  if (!accepted) return std::nullopt;
  if (raw->flags > kValueFlagVariableSize) return PrintableFilter(raw->bytes);
  if (raw->bytes.size() != 8) return std::nullopt;
  EightBytesOf bytes{};
  std::copy(raw->bytes.begin(), raw->bytes.end(), bytes.begin());
  return bytes;
}

}  // namespace

ValueReader::ValueReader(const StoreSession& session, std::filesystem::path working_folder,
                         BodyState& body_state)
    : session_(session), working_folder_(std::move(working_folder)), body_state_(body_state) {}

std::optional<std::u16string> ValueReader::ReadLongValue(const ese::Record& record, int value_entry,
                                                         const ese::ColumnSchema& column,
                                                         const RawValue& raw) {
  if (session_.Is2010Layout()) {
    // The file is made once the value is found: a value that is not there writes nothing.
    const std::filesystem::path path = working_folder_ / "ccc.txt";
    std::optional<std::ofstream> file;
    auto open = [&] {
      if (!file) file.emplace(path, std::ios::binary | std::ios::trunc);
    };
    const LongValueRead read =
        ForEachLongValueSegment(record, raw.bytes, [&](std::span<const std::uint8_t> segment) {
          open();
          if (*file) WriteBytes(*file, segment);
        });
    if (read == LongValueRead::kNotFound) return std::u16string();
    open();
    if (!*file) return std::u16string();
    if (read == LongValueRead::kCutShort) return std::nullopt;
    return std::u16string();
  }
  const std::uint32_t header_slot = session_.columns().Position(ColumnGroup::kContent, u"S7d");
  if (header_slot == 0 || static_cast<std::uint32_t>(value_entry) != header_slot) {
    return std::u16string();
  }
  // Transport headers are a few kilobytes: read whole, as their code page decodes them whole.
  std::vector<std::uint8_t> whole;
  const LongValueRead read =
      ForEachLongValueSegment(record, raw.bytes, [&](std::span<const std::uint8_t> segment) {
        whole.insert(whole.end(), segment.begin(), segment.end());
      });
  if (read == LongValueRead::kNotFound) return std::u16string();
  // The transport headers, each line ending in CR LF. A text column is decoded in its
  // column's code page: control characters, "~" and DEL are left out as the 7-bit reading
  // always did, every other character is kept, non-ASCII included. Other columns, and a value
  // cut short, keep the 7-bit reading of their bytes.
  // Empty when the 7-bit reading applies.
  std::u16string headers;
  if (IsTextType(column.type) && read == LongValueRead::kComplete) {
    headers = StoredText(whole, column.code_page);
  }
  // Headers always hold ASCII (names, colons, line ends); a decoding without a single ASCII
  // character means 8-bit bytes in a column that claims UTF-16.
  if (std::none_of(headers.begin(), headers.end(), [](char16_t unit) { return unit < 0x80; })) {
    headers.clear();
  }
  transport_headers_.clear();
  transport_headers_.reserve(headers.empty() ? whole.size() : headers.size());
  auto keep = [this](char16_t unit) {
    if (unit == u'\n') transport_headers_.push_back(u'\r');
    transport_headers_.push_back(unit);
  };
  if (!headers.empty()) {
    for (char16_t unit : headers) {
      if (unit >= 1 && unit != 126 && unit != 127) keep(unit);
    }
  } else {
    for (std::uint8_t byte : whole) {
      if (byte >= 1 && byte <= 125) keep(byte);
    }
  }
  return u"true";
}

std::optional<std::u16string> ValueReader::ReadValue(const ese::Record* record, int value_entry,
                                                     bool hex_for_bytes) {
  const ese::ColumnSchema* column = ColumnAt(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (column == nullptr || !raw) return std::nullopt;
  switch (ShapeOf(raw->flags)) {
    case ValueShape::kPlain:
      return ReadPlainValue(*column, *raw, hex_for_bytes);
    case ValueShape::kCompressed:
      return ReadCompressedValue(column->type, *raw);
    case ValueShape::kLong:
      if (hex_for_bytes) {
        // Read through to the end, so that a damaged value fails here as it would elsewhere.
        ForEachLongValueSegment(*record, raw->bytes, [](std::span<const std::uint8_t>) {});
        return std::u16string();
      }
      return ReadLongValue(*record, value_entry, *column, *raw);
    case ValueShape::kMulti:
      return ReadMultiValue(*record, *column, *raw);
    case ValueShape::kOther:
      break;
  }
  return PrintableFilter(raw->bytes);
}

std::optional<std::u16string> ValueReader::ReadValueText(const ese::Record* record,
                                                         int value_entry) {
  return ReadValue(record, value_entry, false);
}

std::vector<std::u16string> ValueReader::ReadValueTexts(const ese::Record* record,
                                                        int value_entry) {
  const ese::ColumnSchema* column = ColumnAt(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (column == nullptr || !raw) return {};
  if (ShapeOf(raw->flags) != ValueShape::kMulti) {
    std::optional<std::u16string> text = ReadValue(record, value_entry, false);
    if (!text || text->empty()) return {};
    return {std::move(*text)};
  }
  std::vector<std::u16string> values =
      ReadMultiValueParts(*record, *column, *raw).value_or(std::vector<std::u16string>());
  for (std::u16string& value : values) {
    value = std::u16string(WithoutTrailingZeros(value));
  }
  return values;
}

std::optional<std::u16string> ValueReader::ReadValueHexText(const ese::Record* record,
                                                            int value_entry) {
  return ReadValue(record, value_entry, true);
}

std::optional<std::u16string> ValueReader::ReadIdText(const ese::Record* record, int value_entry,
                                                      ByteOrder order) {
  const std::optional<EightByteValue> value = ReadEightBytes(record, value_entry, false);
  if (!value) return std::nullopt;
  if (const auto* text = std::get_if<std::u16string>(&*value)) return *text;
  last_identifier_text_ = IdentifierText(std::get<EightBytesOf>(*value), order);
  // Identifiers 0x0 to 0xf name nothing.
  if (last_identifier_text_.size() < 2) return std::nullopt;
  return last_identifier_text_;
}

std::optional<std::uint64_t> ValueReader::ReadIdNumber(const ese::Record* record, int value_entry,
                                                      ByteOrder order) const {
  const std::optional<EightByteValue> value = ReadEightBytes(record, value_entry, false);
  if (!value || !std::holds_alternative<EightBytesOf>(*value)) return std::nullopt;
  return ReadUint64(std::get<EightBytesOf>(*value), order);
}

std::optional<std::u16string> ValueReader::ReadStoreIdText(const ese::Record* record,
                                                           int value_entry, ByteOrder order) {
  if (session_.format_revision() != 17) return ReadIdText(record, value_entry, order);
  const std::optional<EightByteValue> value = ReadEightBytes(record, value_entry, false);
  if (!value) return std::nullopt;
  if (const auto* text = std::get_if<std::u16string>(&*value)) return *text;
  last_identifier_text_ = AlternativeIdentifierText(std::get<EightBytesOf>(*value), order);
  return last_identifier_text_;
}

std::optional<std::u16string> ValueReader::ReadTimeText(const ese::Record* record, int value_entry,
                                                        ByteOrder order) {
  const std::optional<EightByteValue> value = ReadEightBytes(record, value_entry, true);
  if (!value) return std::nullopt;
  if (const auto* text = std::get_if<std::u16string>(&*value)) return *text;
  return DateText(ReadUint64(std::get<EightBytesOf>(*value), order));
}

std::optional<std::u16string> ValueReader::ReadBodyText(const ese::Record* record,
                                                        int value_entry) {
  const ese::ColumnSchema* column = ColumnAt(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (column == nullptr || !raw) return std::nullopt;
  const ValueShape shape = ShapeOf(raw->flags);
  if (shape == ValueShape::kPlain && IsTextType(column->type)) {
    return raw->bytes.empty() ? std::u16string() : StoredText(raw->bytes, column->code_page);
  }
  if (shape == ValueShape::kPlain && column->type == ColumnType::kLongBinary) {
    return PrintableFilter(raw->bytes);
  }
  if (shape == ValueShape::kCompressed && column->type == ColumnType::kLongText &&
      (raw->flags & kValueFlagLongValue) == 0) {
    if (raw->bytes.empty()) return std::u16string();
    return DecompressedText(raw->bytes);
  }
  return std::nullopt;
}

namespace {

bool IsLongValue(const RawValue& raw) {
  return (raw.flags & kValueFlagLongValue) != 0 && (raw.flags & kValueFlagMultiValue) == 0;
}

// What an HTML body value that is not a long value leaves in its file: packed text as UTF-16LE,
// packed bytes unpacked, a plain value of 5 bytes or more as it is.
std::string InlineHtmlBodyBytes(ColumnType type, const RawValue& raw) {
  const bool multi_value = (raw.flags & kValueFlagMultiValue) != 0;
  auto bytes_of = [](std::span<const std::uint8_t> bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  if ((raw.flags & kValueFlagCompressed) != 0 && !multi_value) {
    if (IsTextType(type)) {
      const std::optional<std::u16string> text = DecompressedText(raw.bytes);
      return text ? bytes_of(AsBytes(*text)) : std::string();
    }
    if (IsBinaryType(type)) {
      const std::optional<std::vector<std::uint8_t>> bytes = Decompress(raw.bytes);
      return bytes ? bytes_of(*bytes) : std::string();
    }
    return bytes_of(raw.bytes);
  }
  return raw.bytes.size() >= 5 ? bytes_of(raw.bytes) : std::string();
}

// The compressed RTF stream of a value that is not a long value: unpacked when the engine
// packed it (a value that does not unpack is taken as it is).
std::vector<std::uint8_t> InlineRtfStream(const RawValue& raw) {
  if ((raw.flags & kValueFlagCompressed) != 0) {
    if (std::optional<std::vector<std::uint8_t>> decoded = Decompress(raw.bytes)) return *decoded;
  }
  return std::vector<std::uint8_t>(raw.bytes.begin(), raw.bytes.end());
}

// A long value's segments one after the other, as far as they are found.
std::string GatheredLongValue(const ese::Record& record, const RawValue& raw) {
  std::string bytes;
  ForEachLongValueSegment(record, raw.bytes, [&bytes](std::span<const std::uint8_t> segment) {
    bytes.append(reinterpret_cast<const char*>(segment.data()), segment.size());
  });
  return bytes;
}

}  // namespace

std::optional<std::u16string> ValueReader::WriteHtmlBodyFile(const ese::Record* record,
                                                             int value_entry) {
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw || raw->bytes.empty()) return std::nullopt;

  const std::filesystem::path path = working_folder_ / "blank.html";
  body_state_.file_path = path;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return std::u16string();
  if (IsLongValue(*raw)) {
    WriteLongValue(*record, *raw, file);
  } else {
    file << InlineHtmlBodyBytes(*type, *raw);
  }
  return TextFromPath(path);
}

std::optional<std::string> ValueReader::HtmlBodyBytes(const ese::Record* record, int value_entry) {
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw || raw->bytes.empty()) return std::nullopt;
  return IsLongValue(*raw) ? GatheredLongValue(*record, *raw) : InlineHtmlBodyBytes(*type, *raw);
}

std::optional<std::u16string> ValueReader::WriteRtfBodyFile(const ese::Record* record,
                                                            int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!raw) return std::nullopt;
  const std::filesystem::path path = working_folder_ / "rtfbody.txt";
  body_state_.file_path = path;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) body_state_.format = BodyFormat::kRtf;

  if (IsLongValue(*raw)) {
    if (file) WriteLongValue(*record, *raw, file);
    return std::u16string();
  }
  const std::vector<std::uint8_t> stream = InlineRtfStream(*raw);
  if (file) WriteBytes(file, stream);
  return FormatNumber("%d", static_cast<int>(stream.size()));
}

std::optional<std::string> ValueReader::RtfBodyStream(const ese::Record* record, int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!raw) return std::nullopt;
  if (IsLongValue(*raw)) return GatheredLongValue(*record, *raw);
  const std::vector<std::uint8_t> stream = InlineRtfStream(*raw);
  return std::string(stream.begin(), stream.end());
}

std::optional<std::filesystem::path> ValueReader::WriteAttachmentFile(const ese::Record* record,
                                                                      int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!raw) return std::nullopt;
  const std::filesystem::path path =
      working_folder_ / PathFromText(SafeFileName(attachment_file_name_));
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return std::nullopt;
  if ((raw->flags & kValueFlagLongValue) != 0 && (raw->flags & kValueFlagMultiValue) == 0) {
    WriteLongValue(*record, *raw, file);
  } else if ((raw->flags & kValueFlagCompressed) != 0) {
    const std::optional<std::vector<std::uint8_t>> decoded = Decompress(raw->bytes);
    WriteBytes(file, decoded ? std::span<const std::uint8_t>(*decoded) : raw->bytes);
  } else {
    WriteBytes(file, raw->bytes);
  }
  return path;
}

}  // namespace tarvex
