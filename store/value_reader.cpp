#include "store/value_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <fstream>
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
  if (multi_value && !long_value && (flags & 0x10) == 0) return ValueShape::kMulti;
  return ValueShape::kOther;
}

bool IsTextType(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kLongText;
}
bool IsBinaryType(ColumnType type) {
  return type == ColumnType::kBinary || type == ColumnType::kLongBinary;
}

std::optional<ColumnType> TypeOf(libesedb_record_t* record, int value_entry) {
  std::uint32_t identifier = 0;
  std::uint32_t type = 0;
  if (libesedb_record_get_column_identifier(record, value_entry, &identifier, nullptr) != 1 ||
      libesedb_record_get_column_type(record, value_entry, &type, nullptr) != 1) {
    return std::nullopt;
  }
  return static_cast<ColumnType>(type);
}

std::u16string FormatNumber(const char* format, auto value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return FromAscii(buffer);
}

// Units the library emits where it mangled text outside the Basic Multilingual Plane.
bool HasGarbledUnits(std::u16string_view text) {
  for (char16_t unit : text) {
    if ((unit >= 0xD800 && unit <= 0xDFFF) || unit == 0xFFFD) return true;
  }
  return false;
}

std::u16string_view WithoutTrailingZeros(std::u16string_view text) {
  while (!text.empty() && text.back() == 0) text.remove_suffix(1);
  return text;
}

// The library's UTF-16 getter garbles surrogate pairs (and 8-bit text never yields surrogates
// or replacement characters). When its result shows the damage, decode the stored bytes as
// the UTF-16 they are. The result keeps the terminator the library's result has.
std::u16string RepairSurrogates(std::u16string from_library, std::span<const std::uint8_t> stored) {
  if (!HasGarbledUnits(from_library)) return from_library;
  // Fixed-size columns have an odd size when the engine pads them bytewise; the last byte
  // is then the low half of one more unit.
  std::string bytes(reinterpret_cast<const char*>(stored.data()), stored.size());
  if (bytes.size() % 2 != 0) bytes.push_back('\0');
  const std::optional<std::u16string> decoded = DecodeUtf16LeStrict(bytes);
  if (!decoded) return from_library;
  return std::u16string(WithoutTrailingZeros(*decoded)) + u'\0';
}

// The value's UTF-16 units as the library gives them, terminator included; empty optional on
// a getter error, an empty text for an empty value.
std::optional<std::u16string> LibraryText(libesedb_record_t* record, int value_entry,
                                          std::span<const std::uint8_t> stored) {
  std::size_t size = 0;
  const int result =
      libesedb_record_get_value_utf16_string_size(record, value_entry, &size, nullptr);
  if (result == 0) return std::u16string();
  if (result != 1 || size == 0) return std::nullopt;
  std::u16string units(size, u'\0');
  if (libesedb_record_get_value_utf16_string(
          record, value_entry, reinterpret_cast<uint16_t*>(units.data()), size, nullptr) != 1) {
    return std::nullopt;
  }
  return RepairSurrogates(std::move(units), stored);
}

std::optional<std::vector<std::uint8_t>> LibraryBinary(libesedb_record_t* record, int value_entry) {
  std::size_t size = 0;
  const int result =
      libesedb_record_get_value_binary_data_size(record, value_entry, &size, nullptr);
  if (result == 0) return std::vector<std::uint8_t>();
  if (result != 1 || size == 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(size);
  if (libesedb_record_get_value_binary_data(record, value_entry, bytes.data(), size, nullptr) !=
      1) {
    return std::nullopt;
  }
  return bytes;
}

// The engine packs the long-value segments of its compressed columns with LZXPRESS (lead byte
// 0x18, then the unpacked size) without saying so in the value's flags. 7-bit lead bytes are
// no sign: UTF-16 text often starts with them (U+0408-U+0417).
bool LooksLzxpressPacked(std::span<const std::uint8_t> bytes) {
  return !bytes.empty() && bytes[0] == 0x18;
}

std::span<const std::uint8_t> AsBytes(std::u16string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size() * 2};
}

void WriteBytes(std::ofstream& file, std::span<const std::uint8_t> bytes) {
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The segment as its reader should see it: unpacked when it is LZXPRESS data that unpacks to
// exactly its declared size, otherwise as stored.
std::vector<std::uint8_t> SegmentContent(std::span<const std::uint8_t> segment) {
  if (LooksLzxpressPacked(segment)) {
    if (std::optional<std::vector<std::uint8_t>> decoded = Decompress(segment)) return *decoded;
  }
  return {segment.begin(), segment.end()};
}

std::optional<std::u16string> ReaderPlainBoolean(libesedb_record_t* record, int value_entry) {
  std::uint8_t value = 0;
  const int result = libesedb_record_get_value_boolean(record, value_entry, &value, nullptr);
  if (result == 0) return std::u16string();
  if (result != 1) return std::nullopt;
  return value != 0 ? u"true" : u"false";
}

// One text of a multi value, terminator included.
std::optional<std::u16string> MultiValueText(libesedb_multi_value_t* multi_value, int index,
                                             std::span<const std::uint8_t> stored) {
  std::size_t size = 0;
  if (libesedb_multi_value_get_value_utf16_string_size(multi_value, index, &size, nullptr) != 1 ||
      size == 0) {
    return std::nullopt;
  }
  std::u16string units(size, u'\0');
  if (libesedb_multi_value_get_value_utf16_string(
          multi_value, index, reinterpret_cast<uint16_t*>(units.data()), size, nullptr) != 1) {
    return std::nullopt;
  }
  return RepairSurrogates(std::move(units), stored);
}

using EightBytesOf = std::array<std::uint8_t, 8>;
// What an identifier or time reader has to work with: the value's 8 bytes, or the printable
// text of a value stored in another form (compressed, long, multi).
using EightByteValue = std::variant<EightBytesOf, std::u16string>;

// None unless the record exists, the column is binary or currency (or date time, when
// `date_column_too`), and a plain value has exactly 8 bytes.
std::optional<EightByteValue> ReadEightBytes(libesedb_record_t* record, int value_entry,
                                             bool date_column_too) {
  if (record == nullptr) return std::nullopt;
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

// A long text value decoded by the library (which knows the column's code page); none when it
// cannot.
std::optional<std::u16string> LongValueText(libesedb_long_value_t* long_value) {
  std::size_t size = 0;
  if (libesedb_long_value_get_utf16_string_size(long_value, &size, nullptr) != 1 || size == 0) {
    return std::nullopt;
  }
  std::u16string units(size, u'\0');
  if (libesedb_long_value_get_utf16_string(long_value, reinterpret_cast<uint16_t*>(units.data()),
                                           size, nullptr) != 1) {
    return std::nullopt;
  }
  return std::u16string(WithoutTrailingZeros(units));
}

}  // namespace

ValueReader::ValueReader(const StoreSession& session, std::filesystem::path working_folder,
                         BodyState& body_state)
    : session_(session), working_folder_(std::move(working_folder)), body_state_(body_state) {}

std::optional<std::u16string> ValueReader::ReadPlainValue(libesedb_record_t* record,
                                                          int value_entry, ColumnType type,
                                                          const RawValue& raw, bool hex_for_bytes) {
  // Each typed getter answers 1 (a value), 0 (an empty value) or -1 (an error).
  auto number = [&](auto getter, auto storage, const char* format,
                    auto convert) -> std::optional<std::u16string> {
    const int result = getter(record, value_entry, &storage, nullptr);
    if (result == 0) return std::u16string();
    if (result != 1) return std::nullopt;
    return FormatNumber(format, convert(storage));
  };
  switch (type) {
    case ColumnType::kBoolean:
      return ReaderPlainBoolean(record, value_entry);
    case ColumnType::kUnsigned8:
      return number(libesedb_record_get_value_8bit, std::uint8_t{}, "%u",
                    [](std::uint8_t v) { return static_cast<unsigned>(v); });
    case ColumnType::kSigned16:
      return number(libesedb_record_get_value_16bit, std::uint16_t{}, "%d",
                    [](std::uint16_t v) { return static_cast<int>(static_cast<std::int16_t>(v)); });
    case ColumnType::kUnsigned16:
      return number(libesedb_record_get_value_16bit, std::uint16_t{}, "%u",
                    [](std::uint16_t v) { return static_cast<unsigned>(v); });
    case ColumnType::kSigned32:
      return number(libesedb_record_get_value_32bit, std::uint32_t{}, "%d",
                    [](std::uint32_t v) { return static_cast<int>(static_cast<std::int32_t>(v)); });
    case ColumnType::kUnsigned32:
      return number(libesedb_record_get_value_32bit, std::uint32_t{}, "%u",
                    [](std::uint32_t v) { return static_cast<unsigned>(v); });
    case ColumnType::kCurrency:
      return number(libesedb_record_get_value_64bit, std::uint64_t{}, "%llu",
                    [](std::uint64_t v) { return static_cast<unsigned long long>(v); });
    case ColumnType::kSigned64:
      return number(libesedb_record_get_value_64bit, std::uint64_t{}, "%lld",
                    [](std::uint64_t v) { return static_cast<long long>(v); });
    case ColumnType::kFloat32: {
      // The library's 32-bit float getter answers 0 for every value; the stored bytes are
      // the IEEE single itself.
      if (raw.bytes.empty()) return std::u16string();
      if (raw.bytes.size() != 4) return std::nullopt;
      std::uint32_t bits = 0;
      for (std::size_t i = 4; i-- > 0;) bits = (bits << 8) | raw.bytes[i];
      return FormatNumber("%f", static_cast<double>(std::bit_cast<float>(bits)));
    }
    case ColumnType::kFloat64:
      return number(libesedb_record_get_value_floating_point_64bit, double{}, "%f",
                    [](double v) { return v; });
    case ColumnType::kDateTime: {
      std::uint64_t filetime = 0;
      const int result =
          libesedb_record_get_value_filetime(record, value_entry, &filetime, nullptr);
      if (result == 0) return std::u16string();
      if (result != 1) return std::nullopt;
      return DateText(filetime);
    }
    case ColumnType::kText:
    case ColumnType::kLongText: {
      std::optional<std::u16string> units = LibraryText(record, value_entry, raw.bytes);
      if (!units || hex_for_bytes) {
        if (units) return std::u16string(WithoutTrailingZeros(*units));
        return units;
      }
      return Utf16WithoutZeros(*units);
    }
    case ColumnType::kLongBinary: {
      if (hex_for_bytes) return HexText(raw.bytes);
      const std::optional<std::vector<std::uint8_t>> bytes = LibraryBinary(record, value_entry);
      if (!bytes) return std::nullopt;
      return PrintableFilter(*bytes);
    }
    default:
      return hex_for_bytes ? HexText(raw.bytes) : PrintableFilter(raw.bytes);
  }
}

std::optional<std::u16string> ValueReader::ReadCompressedValue(ColumnType type,
                                                               const RawValue& raw) {
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

std::optional<std::u16string> ValueReader::ReadLongValue(libesedb_record_t* record,
                                                         int value_entry) {
  const EsedbLongValue long_value = GetLongValue(record, value_entry);
  if (!long_value) return std::u16string();
  if (session_.Is2010Layout()) {
    std::ofstream file(working_folder_ / "ccc.txt", std::ios::binary | std::ios::trunc);
    if (!file) return std::u16string();
    const bool complete = ForEachLongValueSegment(
        long_value.get(), [&file](auto segment) { WriteBytes(file, segment); });
    if (!complete) return std::nullopt;
    return std::u16string();
  }
  const std::uint32_t header_slot = session_.columns().Position(ColumnGroup::kContent, u"S7d");
  if (header_slot == 0 || static_cast<std::uint32_t>(value_entry) != header_slot) {
    return std::u16string();
  }
  // The transport headers, each line ending in CR LF. A text column is decoded by the library
  // in its column's code page and written as UTF-8: control characters, "~" and DEL are left
  // out as the 7-bit reading always did, every other character is kept, non-ASCII included.
  // Other columns keep the 7-bit reading of their bytes.
  const std::filesystem::path path = working_folder_ / "m_S7d.txt";
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return std::u16string();
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  std::optional<std::u16string> headers =
      type && IsTextType(*type) ? LongValueText(long_value.get()) : std::nullopt;
  // Headers always hold ASCII (names, colons, line ends); a decoding without a single ASCII
  // character means 8-bit bytes in a column that claims UTF-16.
  if (headers &&
      std::none_of(headers->begin(), headers->end(), [](char16_t unit) { return unit < 0x80; })) {
    headers.reset();
  }
  if (headers) {
    std::u16string kept;
    kept.reserve(headers->size());
    for (char16_t unit : *headers) {
      if (unit < 1 || unit == 126 || unit == 127) continue;
      if (unit == u'\n') kept.push_back(u'\r');
      kept.push_back(unit);
    }
    file << Utf16ToUtf8(kept);
  } else {
    ForEachLongValueSegment(long_value.get(), [&file](std::span<const std::uint8_t> segment) {
      std::string text;
      text.reserve(segment.size());
      for (std::uint8_t byte : segment) {
        if (byte < 1 || byte > 125) continue;
        if (byte == '\n') text.push_back('\r');
        text.push_back(static_cast<char>(byte));
      }
      file << text;
    });
  }
  transport_header_written_ = true;
  transport_header_path_ = path;
  return u"true";
}

std::optional<std::u16string> ValueReader::ReadMultiValue(libesedb_record_t* record,
                                                          int value_entry) {
  const EsedbMultiValue multi_value = GetMultiValue(record, value_entry);
  if (!multi_value) return std::nullopt;
  int count = 0;
  if (libesedb_multi_value_get_number_of_values(multi_value.get(), &count, nullptr) != 1) {
    return std::nullopt;
  }
  const std::optional<RawValue> whole = GetRawValue(record, value_entry);
  const bool first_compressed = whole && (whole->flags & kValueFlagCompressed) != 0;
  std::u16string joined;
  for (int index = 0; index < count; ++index) {
    const std::optional<MultiValueEntry> entry = GetMultiValueEntry(multi_value.get(), index);
    if (!entry) return std::nullopt;
    const bool compressed = first_compressed && index == 0;
    if (IsTextType(entry->type)) {
      std::optional<std::u16string> text;
      if (compressed) {
        text = DecompressedText(entry->bytes);
        if (text) text->push_back(u'\0');
      } else {
        text = MultiValueText(multi_value.get(), index, entry->bytes);
      }
      if (!text) return std::nullopt;
      joined += Utf16ZerosToBlanks(*text);
    } else {
      std::vector<std::uint8_t> bytes(entry->bytes.begin(), entry->bytes.end());
      if (compressed) {
        std::optional<std::vector<std::uint8_t>> decoded = Decompress(entry->bytes);
        if (!decoded) return std::nullopt;
        bytes = std::move(*decoded);
      }
      joined += PrintableFilter(bytes) + u",";
    }
  }
  return joined;
}

std::optional<std::u16string> ValueReader::ReadValue(libesedb_record_t* record, int value_entry,
                                                     bool hex_for_bytes) {
  if (record == nullptr) return std::nullopt;
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw) return std::nullopt;
  switch (ShapeOf(raw->flags)) {
    case ValueShape::kPlain:
      return ReadPlainValue(record, value_entry, *type, *raw, hex_for_bytes);
    case ValueShape::kCompressed:
      return ReadCompressedValue(*type, *raw);
    case ValueShape::kLong:
      if (hex_for_bytes) {
        // Read through to the end, so that a damaged value fails here as it would elsewhere.
        if (const EsedbLongValue long_value = GetLongValue(record, value_entry)) {
          ForEachLongValueSegment(long_value.get(), [](auto) {});
        }
        return std::u16string();
      }
      return ReadLongValue(record, value_entry);
    case ValueShape::kMulti:
      return ReadMultiValue(record, value_entry);
    case ValueShape::kOther:
      break;
  }
  return PrintableFilter(raw->bytes);
}

std::optional<std::u16string> ValueReader::ReadValueText(libesedb_record_t* record,
                                                         int value_entry) {
  return ReadValue(record, value_entry, false);
}

std::optional<std::u16string> ValueReader::ReadValueHexText(libesedb_record_t* record,
                                                            int value_entry) {
  return ReadValue(record, value_entry, true);
}

std::optional<std::u16string> ValueReader::ReadIdText(libesedb_record_t* record, int value_entry,
                                                      ByteOrder order) {
  const std::optional<EightByteValue> value = ReadEightBytes(record, value_entry, false);
  if (!value) return std::nullopt;
  if (const auto* text = std::get_if<std::u16string>(&*value)) return *text;
  last_identifier_text_ = IdentifierText(std::get<EightBytesOf>(*value), order);
  // Identifiers 0x0 to 0xf name nothing.
  if (last_identifier_text_.size() < 2) return std::nullopt;
  return last_identifier_text_;
}

std::optional<std::u16string> ValueReader::ReadStoreIdText(libesedb_record_t* record,
                                                           int value_entry, ByteOrder order) {
  if (session_.format_revision() != 17) return ReadIdText(record, value_entry, order);
  const std::optional<EightByteValue> value = ReadEightBytes(record, value_entry, false);
  if (!value) return std::nullopt;
  if (const auto* text = std::get_if<std::u16string>(&*value)) return *text;
  last_identifier_text_ = AlternativeIdentifierText(std::get<EightBytesOf>(*value), order);
  return last_identifier_text_;
}

std::optional<std::u16string> ValueReader::ReadTimeText(libesedb_record_t* record, int value_entry,
                                                        ByteOrder order) {
  const std::optional<EightByteValue> value = ReadEightBytes(record, value_entry, true);
  if (!value) return std::nullopt;
  if (const auto* text = std::get_if<std::u16string>(&*value)) return *text;
  return DateText(ReadUint64(std::get<EightBytesOf>(*value), order));
}

std::optional<std::u16string> ValueReader::ReadBodyText(libesedb_record_t* record,
                                                        int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw) return std::nullopt;
  const ValueShape shape = ShapeOf(raw->flags);
  if (shape == ValueShape::kPlain && IsTextType(*type)) {
    std::optional<std::u16string> units = LibraryText(record, value_entry, raw->bytes);
    if (units) *units = std::u16string(WithoutTrailingZeros(*units));
    return units;
  }
  if (shape == ValueShape::kPlain && *type == ColumnType::kLongBinary) {
    const std::optional<std::vector<std::uint8_t>> bytes = LibraryBinary(record, value_entry);
    if (!bytes) return std::nullopt;
    return PrintableFilter(*bytes);
  }
  if (shape == ValueShape::kCompressed && *type == ColumnType::kLongText &&
      (raw->flags & kValueFlagLongValue) == 0) {
    if (raw->bytes.empty()) return std::u16string();
    return DecompressedText(raw->bytes);
  }
  return std::nullopt;
}

std::optional<std::u16string> ValueReader::WriteHtmlBodyFile(libesedb_record_t* record,
                                                             int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<ColumnType> type = TypeOf(record, value_entry);
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!type || !raw || raw->bytes.empty()) return std::nullopt;

  const std::filesystem::path path = working_folder_ / "blank.html";
  body_state_.file_path = path;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return std::u16string();

  const bool long_value = (raw->flags & kValueFlagLongValue) != 0;
  const bool multi_value = (raw->flags & kValueFlagMultiValue) != 0;
  if (long_value && !multi_value) {
    if (const EsedbLongValue value = GetLongValue(record, value_entry)) {
      ForEachLongValueSegment(value.get(), [&file](std::span<const std::uint8_t> segment) {
        WriteBytes(file, SegmentContent(segment));
      });
    }
  } else if ((raw->flags & kValueFlagCompressed) != 0 && !multi_value) {
    if (IsTextType(*type)) {
      if (const std::optional<std::u16string> text = DecompressedText(raw->bytes)) {
        WriteBytes(file, AsBytes(*text));
      }
    } else if (IsBinaryType(*type)) {
      if (const std::optional<std::vector<std::uint8_t>> bytes = Decompress(raw->bytes)) {
        WriteBytes(file, *bytes);
      }
    } else {
      WriteBytes(file, raw->bytes);
    }
  } else if (raw->bytes.size() >= 5) {
    WriteBytes(file, raw->bytes);
  }
  return TextFromPath(path);
}

std::optional<std::u16string> ValueReader::WriteRtfBodyFile(libesedb_record_t* record,
                                                            int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!raw) return std::nullopt;
  const std::filesystem::path path = working_folder_ / "rtfbody.txt";
  body_state_.file_path = path;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) body_state_.format = BodyFormat::kRtf;

  if ((raw->flags & kValueFlagLongValue) != 0 && (raw->flags & kValueFlagMultiValue) == 0) {
    if (file) {
      if (const EsedbLongValue value = GetLongValue(record, value_entry)) {
        ForEachLongValueSegment(value.get(), [&file](auto segment) { WriteBytes(file, segment); });
      }
    }
    return std::u16string();
  }
  // An engine-compressed value holds the RTF stream only after decompression.
  std::vector<std::uint8_t> stream(raw->bytes.begin(), raw->bytes.end());
  if ((raw->flags & kValueFlagCompressed) != 0) {
    if (std::optional<std::vector<std::uint8_t>> decoded = Decompress(raw->bytes)) {
      stream = std::move(*decoded);
    }
  }
  if (file) WriteBytes(file, stream);
  return FormatNumber("%d", static_cast<int>(stream.size()));
}

std::optional<std::filesystem::path> ValueReader::WriteAttachmentFile(libesedb_record_t* record,
                                                                      int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!raw) return std::nullopt;
  const std::filesystem::path path =
      working_folder_ / PathFromText(SafeFileName(attachment_file_name_));
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return std::nullopt;
  if ((raw->flags & kValueFlagLongValue) != 0 && (raw->flags & kValueFlagMultiValue) == 0) {
    if (const EsedbLongValue value = GetLongValue(record, value_entry)) {
      ForEachLongValueSegment(value.get(), [&file](auto segment) { WriteBytes(file, segment); });
    }
  } else if ((raw->flags & kValueFlagCompressed) != 0) {
    const std::optional<std::vector<std::uint8_t>> decoded = Decompress(raw->bytes);
    WriteBytes(file, decoded ? std::span<const std::uint8_t>(*decoded) : raw->bytes);
  } else {
    WriteBytes(file, raw->bytes);
  }
  return path;
}

}  // namespace tarvex
