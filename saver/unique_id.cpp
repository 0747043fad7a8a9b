#include "saver/unique_id.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <random>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

// The namespace of the item identifiers' UUIDs; any fixed UUID would do, it only has to stay.
constexpr std::array<std::uint8_t, 16> kItemIdNamespace = {
    0x6f, 0x3c, 0x1e, 0x52, 0x9a, 0x47, 0x4d, 0x0b, 0x8e, 0x21, 0x5b, 0xc4, 0x70, 0xd9, 0x13, 0xa6};

std::string UuidText(const std::array<std::uint8_t, 16>& bytes) {
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

}  // namespace

std::string NewUuid() {
  std::random_device random;
  char uuid[40];
  std::snprintf(uuid, sizeof uuid, "%08x-%04x-4%03x-%04x-%08x%04x", random(), random() & 0xFFFF,
                random() & 0xFFF, (random() & 0x3FFF) | 0x8000, random(), random() & 0xFFFF);
  return uuid;
}

std::string UuidFromItemId(std::u16string_view item_id) {
  const std::string name = Utf16ToUtf8(item_id);
  GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA1);
  g_checksum_update(checksum, kItemIdNamespace.data(), kItemIdNamespace.size());
  g_checksum_update(checksum, reinterpret_cast<const guchar*>(name.data()),
                    static_cast<gssize>(name.size()));
  std::array<std::uint8_t, 20> digest{};
  gsize digest_size = digest.size();
  g_checksum_get_digest(checksum, digest.data(), &digest_size);
  g_checksum_free(checksum);
  std::array<std::uint8_t, 16> bytes{};
  std::copy_n(digest.begin(), bytes.size(), bytes.begin());
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x50);  // version 5
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return UuidText(bytes);
}

std::string EntryUuid(std::u16string_view item_id) {
  return Trim(item_id).empty() ? NewUuid() : UuidFromItemId(Trim(item_id));
}

}  // namespace tarvex
