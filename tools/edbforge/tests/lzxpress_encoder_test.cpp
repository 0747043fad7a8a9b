#include "tools/edbforge/encoding/lzxpress_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "store/column_decompression.h"
#include "store/lzxpress_decoder.h"
#include "support/test_files.h"

namespace tarvex::edbforge {
namespace {

using Bytes = std::vector<std::uint8_t>;
using tarvex::testing::TextBytes;

Bytes RandomBytes(std::size_t size, std::uint32_t seed, unsigned alphabet) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<unsigned> pick(0, alphabet - 1);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(pick(random));
  return bytes;
}

// Encodes, checks the header and decodes with the program's own decoder.
void ExpectRoundTrip(const Bytes& data) {
  const std::optional<Bytes> value = EncodeLzxpress(data);
  ASSERT_TRUE(value);
  ASSERT_GE(value->size(), 3u);
  EXPECT_EQ((*value)[0], 0x18);
  EXPECT_EQ(DecompressedSize(*value), data.size());
  const std::optional<Bytes> decoded = Decompress(*value);
  ASSERT_TRUE(decoded) << "size " << data.size();
  EXPECT_EQ(*decoded, data);
}

TEST(LzxpressEncoder, RoundTripsStructuredData) {
  ExpectRoundTrip({});
  ExpectRoundTrip({'a'});
  ExpectRoundTrip(TextBytes("abcabcabc"));
  // Runs whose lengths need each length form: 3 bits, nibble, extra byte, 16-bit value, and
  // several long matches in a row so nibble bytes are shared.
  for (const std::size_t run : {3u, 9u, 10u, 24u, 25u, 279u, 280u, 281u, 1000u, 12000u}) {
    SCOPED_TRACE(run);
    ExpectRoundTrip(Bytes(run, 'x'));
    Bytes mixed;
    for (int i = 0; i < 5; ++i) {
      mixed.insert(mixed.end(), run, static_cast<std::uint8_t>('a' + i));
      mixed.push_back('|');
    }
    ExpectRoundTrip(mixed);
  }
  // Matches at the longest length a reader takes, and past it.
  ExpectRoundTrip(Bytes(1 + 32771, 'y'));
  ExpectRoundTrip(Bytes(40000, 'y'));
  // Matches near the largest distance.
  Bytes far = RandomBytes(8200, 1, 256);
  far.insert(far.end(), far.begin(), far.begin() + 100);
  ExpectRoundTrip(far);
  // Exactly 32 and 64 items, so the stream ends right after a full flag word.
  ExpectRoundTrip(RandomBytes(32, 2, 256));
  ExpectRoundTrip(RandomBytes(64, 3, 256));
  ExpectRoundTrip(Bytes(65535, 0));
}

TEST(LzxpressEncoder, RoundTripsRandomData) {
  std::mt19937 sizes(99);
  for (std::uint32_t seed = 0; seed < 200; ++seed) {
    const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 3000)(sizes);
    // Small alphabets give many matches of every length and distance.
    const unsigned alphabet = seed % 3 == 0 ? 2 : seed % 3 == 1 ? 16 : 256;
    ExpectRoundTrip(RandomBytes(size, seed, alphabet));
  }
  ExpectRoundTrip(RandomBytes(65535, 7, 4));
}

TEST(LzxpressEncoder, CompressesRepetitiveDataWell) {
  std::string html;
  for (int row = 0; html.size() < 60000; ++row) {
    html +=
        "<tr><td class=\"cell\">Row " + std::to_string(row) + "</td><td>Lorem ipsum</td></tr>\n";
  }
  const std::optional<Bytes> value = EncodeLzxpress(TextBytes(html));
  ASSERT_TRUE(value);
  EXPECT_LT(value->size() * 5, html.size());
  EXPECT_EQ(Decompress(*value), TextBytes(html));

  const std::optional<Bytes> run = EncodeLzxpress(Bytes(60000, 'a'));
  ASSERT_TRUE(run);
  EXPECT_LT(run->size(), 40u);
}

TEST(LzxpressEncoder, RefusesDataBeyondTheHeaderSize) {
  EXPECT_FALSE(EncodeLzxpress(Bytes(65536, 'a')));
  // The bare stream has no such limit.
  const Bytes big = RandomBytes(70000, 5, 8);
  EXPECT_EQ(DecodePlainLz77(EncodePlainLz77(big), big.size()), big);
}

}  // namespace
}  // namespace tarvex::edbforge
