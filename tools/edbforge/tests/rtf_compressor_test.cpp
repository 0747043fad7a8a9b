#include "tools/edbforge/encoding/rtf_compressor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "content/compressed_rtf.h"

namespace tarvex::edbforge {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The worked examples of MS-OXRTFCP: the texts and the streams a conforming compressor makes.
constexpr std::string_view kSimpleText = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";
const Bytes kSimpleStream = {0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a,
                             0x46, 0x75, 0xf1, 0xc5, 0xc7, 0xa7, 0x03, 0x00, 0x0a, 0x00,
                             0x72, 0x63, 0x70, 0x67, 0x31, 0x32, 0x35, 0x42, 0x32, 0x0a,
                             0xf3, 0x20, 0x68, 0x65, 0x6c, 0x09, 0x00, 0x20, 0x62, 0x77,
                             0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f, 0xa0};
constexpr std::string_view kRunText = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";
const Bytes kRunStream = {0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a,
                          0x46, 0x75, 0xe2, 0xd4, 0x4b, 0x51, 0x41, 0x00, 0x04, 0x20,
                          0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e, 0xb0};

std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::string Decompress(const Bytes& stream) {
  return DecompressRtf(stream).value_or("<failed>");
}

// Our reader leaves a stream's last tokens unread. Moving the size field past five extra
// bytes makes it decode every token, the end marker included (as two bytes of whatever the
// dictionary holds there), so the whole text must come out in front.
std::string DecompressEverything(Bytes stream) {
  stream.insert(stream.end(), 5, 0);
  const std::uint32_t size = Le32(stream, 0) + 5;
  for (int i = 0; i < 4; ++i) stream[i] = static_cast<std::uint8_t>(size >> (8 * i));
  return Decompress(stream);
}

std::string RandomRtf(std::mt19937& random, std::size_t size) {
  static constexpr std::string_view kWords[] = {
      "\\par ", "\\b ",   "\\b0 ", "{\\f1 ",         "}",     "hello ", "world ",   "\\'e9",
      "\r\n",   "\\tab ", "Dear ", "\\pard\\plain ", "Arial", "0000",   "\\u8364?", "x"};
  std::string text = "{\\rtf1\\ansi ";
  while (text.size() < size) {
    if (random() % 10 == 0) {
      text.push_back(static_cast<char>(random()));  // any byte value
    } else {
      text += kWords[random() % std::size(kWords)];
    }
  }
  return text + "}}";
}

TEST(RtfCompressor, ReproducesTheWorkedExamplesByteForByte) {
  EXPECT_EQ(CompressRtf(kSimpleText), kSimpleStream);
  EXPECT_EQ(CompressRtf(kRunText), kRunStream);
}

TEST(RtfCompressor, CrcIsTheFormatsVariant) {
  const std::span<const std::uint8_t> simple(kSimpleStream);
  EXPECT_EQ(RtfCrc32(simple.subspan(16)), 0xA7C7C5F1u);
  const std::span<const std::uint8_t> run(kRunStream);
  EXPECT_EQ(RtfCrc32(run.subspan(16)), 0x514BD4E2u);
  EXPECT_EQ(RtfCrc32({}), 0u);

  const Bytes stream = CompressRtf("{\\rtf1 something else}");
  EXPECT_EQ(Le32(stream, 12), RtfCrc32(std::span<const std::uint8_t>(stream).subspan(16)));
}

TEST(RtfCompressor, UncompressedFormCarriesTheTextAsItIs) {
  const Bytes stream = WrapRtfUncompressed("{\\rtf1 plain}");
  ASSERT_EQ(stream.size(), 16u + 13);
  EXPECT_EQ(Le32(stream, 0), 13u + 12);
  EXPECT_EQ(Le32(stream, 4), 13u);
  EXPECT_EQ(Le32(stream, 8), kRtfUncompressedType);
  EXPECT_EQ(Le32(stream, 12), 0u);
  EXPECT_EQ(std::string(stream.begin() + 16, stream.end()), "{\\rtf1 plain}");
  EXPECT_EQ(std::string(stream.begin() + 8, stream.begin() + 12), "MELA");
}

TEST(RtfCompressor, HeaderAndEndMarker) {
  const std::string text = "{\\rtf1 abc}";
  const Bytes stream = CompressRtf(text);
  EXPECT_EQ(Le32(stream, 0), stream.size() - 4);
  EXPECT_EQ(Le32(stream, 4), text.size());
  EXPECT_EQ(std::string(stream.begin() + 8, stream.begin() + 12), "LZFu");
  // The last token refers to the write position: 207 plus the bytes written.
  const unsigned marker = stream[stream.size() - 2] << 8 | stream[stream.size() - 1];
  EXPECT_EQ(marker, (207u + text.size()) << 4);

  // Nothing to compress: one control byte and the end marker at 207.
  const Bytes empty = CompressRtf("");
  ASSERT_EQ(empty.size(), 19u);
  EXPECT_EQ(Le32(empty, 0), 15u);
  EXPECT_EQ(Le32(empty, 4), 0u);
  EXPECT_EQ(empty[16], 0x01);
  EXPECT_EQ(empty[17], 0x0C);
  EXPECT_EQ(empty[18], 0xF0);
}

TEST(RtfCompressor, RoundTripsThroughOurReader) {
  // The reader decodes up to the end marker and appends its "}}", which close a stream cut
  // short and change nothing after a whole document.
  for (std::string_view closed : {"{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}}", "{\\rtf1\\ansi {\\b bold}}",
                                  "{\\rtf1\\ansi {\\b bold}{\\i italic}}"}) {
    EXPECT_EQ(Decompress(CompressRtf(closed)), std::string(closed) + "}}");
  }

  std::mt19937 random(4242);
  for (std::size_t size : {1u, 20u, 300u, 4000u, 5000u, 20000u}) {
    const std::string text = RandomRtf(random, size);
    EXPECT_EQ(Decompress(CompressRtf(text)), text + "}}") << size;
  }
}

TEST(RtfCompressor, MatchesRepeatedTextAndRuns) {
  std::string text = "{\\rtf1 ";
  for (int i = 0; i < 200; ++i) text += "\\par Repeated line of text.\r\n";
  text += std::string(3000, '-') + "}";
  const Bytes stream = CompressRtf(text);
  EXPECT_LT(stream.size(), text.size() / 5);
  EXPECT_TRUE(DecompressEverything(stream).starts_with(text));
}

}  // namespace
}  // namespace tarvex::edbforge
