#include "tools/edbforge/ese/index_key.h"

#include <algorithm>
#include <string>

#include "base/utf_conversion.h"
#include "ese/format.h"
#include "tools/edbforge/ese/ese_error.h"
#include "tools/edbforge/ese/record_encoder.h"

namespace tarvex::edbforge {
namespace {

constexpr uint8_t kKeyNull = 0x00;
constexpr size_t kChunk = 8;
constexpr uint8_t kChunkFollows = 9;

// Stored little-endian bytes, appended big-endian, the top bit flipped for signed types.
void AppendInteger(std::vector<uint8_t>& key, const std::vector<uint8_t>& stored, bool is_signed) {
  const size_t start = key.size();
  key.insert(key.end(), stored.rbegin(), stored.rend());
  if (is_signed && key.size() > start) key[start] ^= 0x80;
}

// An 8-byte value whose bits order like a double's: positive ones with the sign flipped,
// negative ones inverted whole.
void AppendDoubleBits(std::vector<uint8_t>& key, const std::vector<uint8_t>& stored) {
  const size_t start = key.size();
  key.insert(key.end(), stored.rbegin(), stored.rend());
  if ((key[start] & 0x80) == 0) {
    key[start] ^= 0x80;
  } else {
    for (size_t index = start; index < key.size(); ++index) key[index] = ~key[index];
  }
}

void AppendBinary(std::vector<uint8_t>& key, const std::vector<uint8_t>& bytes) {
  for (size_t offset = 0; offset < bytes.size(); offset += kChunk) {
    const size_t length = std::min(kChunk, bytes.size() - offset);
    key.insert(key.end(), bytes.begin() + offset, bytes.begin() + offset + length);
    key.insert(key.end(), kChunk - length, 0);
    key.push_back(offset + kChunk < bytes.size() ? kChunkFollows : static_cast<uint8_t>(length));
  }
}

}  // namespace

void AppendKeySegment(std::vector<uint8_t>& key, const ColumnLayout& column, const Value* value) {
  const std::string prefix = "index key";
  const ErrorPlace place{prefix, &column.name};
  const auto refuse = [&] {
    throw EseWriteError("column \"" + Utf16ToUtf8(column.name) + "\" of type " +
                        ColumnTypeName(column.type) + " cannot be part of an index key");
  };
  const bool text_1252 = IsTextType(column.type) && column.code_page == kCodePageWestern;
  const bool keyable = column.type == ColumnType::kBinary ||
                       column.type == ColumnType::kLongBinary || text_1252 ||
                       NaturalSize(column.type) != 0;
  if (!keyable || column.type == ColumnType::kGuid || column.type == ColumnType::kIeeeSingle ||
      column.type == ColumnType::kIeeeDouble) {
    refuse();
  }
  if (value == nullptr) {
    key.push_back(kKeyNull);
    return;
  }
  const StoredValue stored = ToStoredValue(column, *value, place);
  if (stored.compressed) refuse();
  key.push_back(ese::kKeyValuePresent);
  switch (column.type) {
    case ColumnType::kBit:
      key.push_back(!stored.bytes.empty() && stored.bytes[0] != 0 ? 0xff : 0x00);
      break;
    case ColumnType::kUnsignedByte:
    case ColumnType::kUnsignedShort:
    case ColumnType::kUnsignedLong:
      AppendInteger(key, stored.bytes, false);
      break;
    case ColumnType::kShort:
    case ColumnType::kLong:
    case ColumnType::kCurrency:
    case ColumnType::kLongLong:
      AppendInteger(key, stored.bytes, true);
      break;
    case ColumnType::kDateTime:
      AppendDoubleBits(key, stored.bytes);
      break;
    case ColumnType::kText:
    case ColumnType::kLongText:
      for (const uint8_t byte : stored.bytes) {
        if (byte >= 0x80) refuse();  // the engine's sort weights beyond ASCII are its own
        key.push_back(byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - 'a' + 'A') : byte);
      }
      key.push_back(0);
      break;
    default:
      AppendBinary(key, stored.bytes);
      break;
  }
}

}  // namespace tarvex::edbforge
