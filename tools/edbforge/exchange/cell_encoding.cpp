#include "tools/edbforge/exchange/cell_encoding.h"

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "tools/edbforge/encoding/lzxpress_encoder.h"
#include "tools/edbforge/encoding/rtf_compressor.h"
#include "tools/edbforge/encoding/seven_bit_encoder.h"
#include "tools/edbforge/ese/table_layout.h"
#include "tools/edbforge/exchange/scenario_error.h"

namespace tarvex::edbforge {
namespace {

std::vector<uint8_t> AsBytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> LittleEndian64(uint64_t value) {
  std::vector<uint8_t> bytes(8);
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

bool IsBinaryType(ColumnType type) {
  return type == ColumnType::kBinary || type == ColumnType::kLongBinary;
}

std::string ToCodePage1252(std::u16string_view text, const std::string& place) {
  std::string bytes = Utf16ToWindows1252(text);
  if (Windows1252ToUtf16(bytes) != text) {
    throw ScenarioError(place + ": the text has characters that code page 1252 cannot hold");
  }
  return bytes;
}

class CellEncoder {
 public:
  CellEncoder(std::u16string_view column, const ColumnDeclaration& description,
              const CellValue& value, const std::string& place)
      : column_(column), declaration_(description), value_(value), place_(place) {}

  Value Encode() {
    switch (value_.kind) {
      case CellKind::kText:
        return Stored(TextBytes(), /*unicode_text=*/true);
      case CellKind::kBytes:
        Expect(IsTextType(declaration_.type) || IsBinaryType(declaration_.type), "bytes");
        return Stored(value_.bytes, false);
      case CellKind::kInteger:
        NoCompression();
        if (declaration_.type == ColumnType::kLong) {
          if (value_.integer < INT32_MIN || value_.integer > INT32_MAX) {
            throw ScenarioError(place_ + ": " + std::to_string(value_.integer) +
                                " is too large for a 32-bit Long column");
          }
          return static_cast<int32_t>(value_.integer);
        }
        Expect(declaration_.type == ColumnType::kCurrency, "an integer");
        return Fixed(LittleEndian64(static_cast<uint64_t>(value_.integer)));
      case CellKind::kBoolean:
        NoCompression();
        Expect(declaration_.type == ColumnType::kBit, "a boolean");
        return value_.boolean;
      case CellKind::kTime:
        NoCompression();
        if (declaration_.type == ColumnType::kDateTime) return FileTime{value_.time};
        Expect(
            declaration_.type == ColumnType::kCurrency || declaration_.type == ColumnType::kBinary,
            "a time");
        return Fixed(LittleEndian64(value_.time));
      case CellKind::kIdentifier:
        NoCompression();
        Expect(declaration_.type == ColumnType::kCurrency || IsBinaryType(declaration_.type),
               "an identifier");
        return Fixed({value_.id.bytes.begin(), value_.id.bytes.end()});
    }
    return RawBytes{};
  }

 private:
  void Expect(bool suits, const char* what) const {
    if (!suits) {
      throw ScenarioError(place_ + ": " + what + " does not suit a " +
                          ColumnTypeName(declaration_.type) + " column");
    }
  }

  void NoCompression() const {
    if (value_.compression != Compression::kNone) {
      throw ScenarioError(place_ + ": only text and binary values can be compressed");
    }
  }

  // Text in the form its column keeps it.
  std::vector<uint8_t> TextBytes() const {
    const std::u16string& text = value_.text;
    if (value_.compression == Compression::kRtf ||
        value_.compression == Compression::kRtfUncompressed) {
      Expect(IsBinaryType(declaration_.type), "an RTF stream");
      const std::string rtf = ToCodePage1252(text, place_);
      return value_.compression == Compression::kRtf ? CompressRtf(rtf) : WrapRtfUncompressed(rtf);
    }
    if (IsTextType(declaration_.type)) {
      if (declaration_.code_page == kCodePageWestern) return AsBytes(ToCodePage1252(text, place_));
      return AsBytes(EncodeUtf16Le(text));
    }
    Expect(IsBinaryType(declaration_.type), "text");
    // String properties kept in binary columns hold UTF-16 as the string columns do.
    if (column_.starts_with(u"S") || column_.starts_with(u"MS")) {
      return AsBytes(EncodeUtf16Le(text));
    }
    return AsBytes(Utf16ToUtf8(text));
  }

  std::vector<uint8_t> Compress(const std::vector<uint8_t>& plain, bool unicode_text) const {
    std::optional<std::vector<uint8_t>> packed;
    if (value_.compression == Compression::kSevenBit) {
      const bool utf16 = unicode_text && IsTextType(declaration_.type) &&
                         declaration_.code_page == kCodePageUnicode;
      packed =
          utf16 ? EncodeSevenBitText(value_.text, SevenBitForm::kUnicode) : EncodeSevenBit(plain);
      if (!packed) {
        throw ScenarioError(place_ + ": 7-bit compression needs characters below 0x80");
      }
    } else {
      packed = EncodeLzxpress(plain);
      if (!packed) {
        throw ScenarioError(place_ + ": LZXPRESS compression takes at most " +
                            std::to_string(kLzxpressMaxInput) + " bytes, not " +
                            std::to_string(plain.size()));
      }
    }
    return std::move(*packed);
  }

  Value Stored(std::vector<uint8_t> bytes, bool unicode_text) const {
    RawBytes raw;
    raw.placement = value_.placement;
    const bool compress = value_.compression == Compression::kSevenBit ||
                          value_.compression == Compression::kLzxpress;
    if (compress) {
      if (declaration_.storage != ColumnStorage::kTagged) {
        throw ScenarioError(place_ + ": only tagged columns hold compressed values");
      }
      raw.bytes = Compress(bytes, unicode_text);
      raw.compressed = true;
      raw.uncompressed_size = bytes.size();
      const bool separate =
          value_.placement == LongValuePlacement::kSeparate ||
          (value_.placement == LongValuePlacement::kAutomatic && IsLongType(declaration_.type) &&
           raw.bytes.size() > kCompressedInRecordLimit);
      if (separate) {
        // A separated long value is compressed segment by segment; the record does not say
        // so. One segment keeps the whole stream decodable.
        if (!IsLongType(declaration_.type) || raw.bytes.size() > kCompressedSegmentLimit) {
          throw ScenarioError(place_ +
                              ": a compressed long value must be a LongText or "
                              "LongBinary value of at most " +
                              std::to_string(kCompressedSegmentLimit) + " compressed bytes");
        }
        raw.placement = LongValuePlacement::kSeparate;
      } else {
        raw.placement = LongValuePlacement::kInRecord;
      }
    } else {
      raw.bytes = std::move(bytes);
    }
    CheckSize(raw.bytes.size());
    return raw;
  }

  Value Fixed(std::vector<uint8_t> bytes) const {
    CheckSize(bytes.size());
    return RawBytes{std::move(bytes), false, LongValuePlacement::kAutomatic};
  }

  void CheckSize(size_t size) const {
    if (declaration_.storage == ColumnStorage::kFixed &&
        (declaration_.type == ColumnType::kBinary || declaration_.type == ColumnType::kText) &&
        size > declaration_.fixed_size) {
      throw ScenarioError(place_ + ": a value of " + std::to_string(size) +
                          " bytes is too large for a fixed column of " +
                          std::to_string(declaration_.fixed_size) + " bytes");
    }
    if ((declaration_.type == ColumnType::kBinary || declaration_.type == ColumnType::kText) &&
        size > kShortColumnLimit) {
      throw ScenarioError(place_ + ": a value of " + std::to_string(size) +
                          " bytes is too large for a " + ColumnTypeName(declaration_.type) +
                          " column (at most " + std::to_string(kShortColumnLimit) + ")");
    }
    if (declaration_.type == ColumnType::kCurrency && size != 8) {
      throw ScenarioError(place_ + ": a Currency column holds exactly 8 bytes");
    }
    // Identifiers and times are 8 bytes whatever the column's type.
    if ((column_.starts_with(u"Q") || column_.starts_with(u"T")) && size != 8) {
      throw ScenarioError(place_ + ": a Q or T column holds exactly 8 bytes, not " +
                          std::to_string(size));
    }
    if (value_.placement == LongValuePlacement::kSeparate && !IsLongType(declaration_.type)) {
      throw ScenarioError(place_ + ": only LongText and LongBinary values can be long values");
    }
  }

  std::u16string_view column_;
  const ColumnDeclaration& declaration_;
  const CellValue& value_;
  const std::string& place_;
};

}  // namespace

Value EncodeCell(std::u16string_view column, const ColumnDeclaration& description,
                 const CellValue& value, const std::string& place) {
  return CellEncoder(column, description, value, place).Encode();
}

}  // namespace tarvex::edbforge
