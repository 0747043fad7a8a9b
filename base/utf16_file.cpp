#include "base/utf16_file.h"

#include <array>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

constexpr std::size_t kRefillBytes = 4096;
constexpr char16_t kCr = 0x0D;
constexpr char16_t kLf = 0x0A;

bool IsLineEnd(char16_t unit) {
  return unit == kCr || unit == kLf;
}

}  // namespace

bool Utf16File::Open(const std::filesystem::path& path, unsigned flags, std::error_code* error) {
  unicode_ = false;
  big_endian_ = false;
  read_ahead_.clear();
  logical_position_ = 0;
  if (!BinaryFile::Open(path, (flags & ~kText) | kBinary, error)) return false;
  if ((flags & kWrite) != 0) return true;

  std::array<unsigned char, 2> mark{};
  if (Length() >= 2 && Read(mark.data(), mark.size()) == mark.size()) {
    if (mark[0] == 0xFF && mark[1] == 0xFE) {
      unicode_ = true;
    } else if (mark[0] == 0xFE && mark[1] == 0xFF) {
      unicode_ = true;
      big_endian_ = true;
    }
  }
  if (unicode_) {
    logical_position_ = 2;
  } else {
    BinaryFile::Seek(0, SeekOrigin::kBegin);
  }
  return true;
}

bool Utf16File::WriteString(std::u16string_view text, bool /*flag*/) {
  return WriteString(text);
}

bool Utf16File::WriteString(std::u16string_view text) {
  if (!IsOpen()) return false;
  if (Position() == 0) {
    static constexpr unsigned char kMark[] = {0xFF, 0xFE};
    if (!Write(kMark, sizeof(kMark))) return false;
  }
  const std::string units = EncodeUtf16Le(text);
  return Write(units.data(), units.size());
}

bool Utf16File::WriteString(std::string_view bytes) {
  return Write(bytes.data(), bytes.size());
}

std::uint64_t Utf16File::Seek(std::int64_t offset, SeekOrigin origin) {
  read_ahead_.clear();
  logical_position_ = BinaryFile::Seek(offset, origin);
  return logical_position_;
}

bool Utf16File::Refill() {
  std::array<unsigned char, kRefillBytes> bytes{};
  const std::size_t got = Read(bytes.data(), bytes.size());
  // A trailing odd byte is no unit and is dropped.
  for (std::size_t i = 0; i + 1 < got; i += 2) {
    const unsigned low = big_endian_ ? bytes[i + 1] : bytes[i];
    const unsigned high = big_endian_ ? bytes[i] : bytes[i + 1];
    read_ahead_.push_back(static_cast<char16_t>(low | high << 8));
  }
  return got >= 2;
}

bool Utf16File::NextUnit(char16_t& unit) {
  if (read_ahead_.empty() && !Refill()) return false;
  unit = read_ahead_.front();
  read_ahead_.pop_front();
  logical_position_ += 2;
  return true;
}

void Utf16File::SwallowSecondLineEnd() {
  if (read_ahead_.empty() && !Refill()) return;
  if (IsLineEnd(read_ahead_.front())) {
    read_ahead_.pop_front();
    logical_position_ += 2;
  }
}

bool Utf16File::ReadString(std::u16string& text) {
  text.clear();
  if (!IsOpen()) return false;
  if (!unicode_) {
    std::string line;
    if (!ReadByteLine(line)) return false;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text = Windows1252ToUtf16(line);
    return true;
  }
  if (read_ahead_.empty() && !Refill()) return false;
  char16_t unit = 0;
  while (NextUnit(unit)) {
    if (IsLineEnd(unit)) {
      SwallowSecondLineEnd();
      return true;
    }
    text.push_back(unit);
  }
  return true;  // last line without a line end
}

char16_t* Utf16File::ReadString(char16_t* buffer, std::size_t max) {
  if (buffer == nullptr || max < 2 || !IsOpen()) return nullptr;
  std::size_t stored = 0;
  if (!unicode_) {
    // Byte by byte, so a line longer than the buffer continues with the next call.
    unsigned char byte = 0;
    while (stored + 1 < max && Read(&byte, 1) == 1) {
      buffer[stored++] = Windows1252ToUtf16(byte);
      if (byte == '\n') break;
    }
  } else {
    char16_t unit = 0;
    while (stored + 1 < max && NextUnit(unit)) {
      buffer[stored++] = unit;
      if (IsLineEnd(unit)) {
        SwallowSecondLineEnd();
        break;
      }
    }
  }
  buffer[stored] = 0;
  return stored > 0 ? buffer : nullptr;
}

}  // namespace tarvex
