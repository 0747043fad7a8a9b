// The body routes on ESE files written by edbforge: what each leaves in the working folder and
// in the body state, for inline, long, compressed, empty and damaged body values.

#include "content/body_extraction.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "base/file_names.h"
#include "base/utf_conversion.h"
#include "content/body_text_encoding.h"
#include "store/store_session.h"
#include "store/stored_value.h"
#include "store/value_reader.h"
#include "support/test_files.h"
#include "tools/edbforge/encoding/lzxpress_encoder.h"
#include "tools/edbforge/encoding/rtf_compressor.h"
#include "tools/edbforge/encoding/seven_bit_encoder.h"
#include "tools/edbforge/ese/database_writer.h"

namespace tarvex::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace forge = edbforge;

// Value entries of the test table's columns.
constexpr int kTextEntry = 1;
constexpr int kHtmlEntry = 2;
constexpr int kRtfEntry = 3;
constexpr BodyColumns kAllColumns{kTextEntry, kHtmlEntry, kRtfEntry};

Bytes Utf16LeBytes(std::u16string_view text) {
  return TextBytes(EncodeUtf16Le(text));
}

forge::ColumnDefinition Column(std::u16string name, forge::ColumnType type,
                               forge::ColumnStorage storage = forge::ColumnStorage::kTagged) {
  forge::ColumnDefinition column;
  column.name = std::move(name);
  column.type = type;
  column.storage = storage;
  column.compressed = storage == forge::ColumnStorage::kTagged;
  return column;
}

// A record read by its number; get() is null when it cannot be read.
class ItemRecord {
 public:
  explicit ItemRecord(std::optional<ese::Record> record) : record_(std::move(record)) {}
  const ese::Record* get() const { return record_ ? &*record_ : nullptr; }

 private:
  std::optional<ese::Record> record_;
};

// One message table "Msg" with the three body columns at entries 1 to 3, one record per item,
// opened through the program's own session, value reader and body extractor.
class BodyStore {
 public:
  explicit BodyStore(const std::vector<forge::Record>& items) {
    const std::filesystem::path database = folder_.path() / "bodies.edb";
    std::filesystem::create_directories(work_);
    {
      forge::EseDatabaseWriter writer(database, {});
      forge::TableDefinition table;
      table.name = u"Msg";
      table.columns = {Column(u"Id", forge::ColumnType::kLong, forge::ColumnStorage::kFixed),
                       Column(u"S1000", forge::ColumnType::kLongText),
                       Column(u"N1013", forge::ColumnType::kLongBinary),
                       Column(u"N1009", forge::ColumnType::kLongBinary)};
      forge::TableWriter& messages = writer.AddTable(table);
      std::int32_t id = 1;
      for (forge::Record item : items) messages.Append(item.Set(u"Id", id++));
      writer.Finish();
    }
    StoreSession::OpenResult opened = StoreSession::Open(database);
    if (auto* session = std::get_if<std::unique_ptr<StoreSession>>(&opened)) {
      session_ = std::move(*session);
      session_->BuildTableCatalog();
      table_ = session_->OpenTableByName(u"Msg");
      reader_ = std::make_unique<ValueReader>(*session_, work_, state_);
      extractor_ = std::make_unique<BodyExtractor>(work_, state_, *reader_);
    }
  }

  bool ok() const { return table_ != nullptr; }
  ItemRecord Item(std::uint32_t index) { return ItemRecord(table_->ReadRecord(index)); }
  BodyExtractor& extractor() { return *extractor_; }
  ValueReader& reader() { return *reader_; }
  BodyState& state() { return state_; }
  std::filesystem::path Work(const char* name) const { return work_ / name; }
  std::size_t FilesInWork() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(work_),
                                                  std::filesystem::directory_iterator()));
  }

 private:
  ScratchFolder folder_;
  std::filesystem::path work_ = folder_ / "work";
  BodyState state_;
  std::unique_ptr<StoreSession> session_;
  const ese::Table* table_ = nullptr;
  std::unique_ptr<ValueReader> reader_;
  std::unique_ptr<BodyExtractor> extractor_;
};

forge::Record Item() {
  return forge::Record();
}

forge::RawBytes Separate(Bytes bytes) {
  return forge::RawBytes{std::move(bytes), false, forge::LongValuePlacement::kSeparate};
}
// A long value the engine packed as one segment, which stands for `unpacked_size` bytes.
forge::RawBytes SeparatePacked(Bytes packed, std::size_t unpacked_size) {
  return forge::RawBytes{std::move(packed), true, forge::LongValuePlacement::kSeparate,
                         unpacked_size};
}
forge::RawBytes Packed(Bytes bytes) {
  return forge::RawBytes{std::move(bytes), true};
}

Bytes Lzxpress(const Bytes& bytes) {
  return forge::EncodeLzxpress(bytes).value();
}

int SegmentCount(const ese::Record* record, int entry) {
  const std::optional<RawValue> raw = GetRawValue(record, entry);
  int count = 0;
  if (raw) ForEachLongValueSegment(*record, raw->bytes, [&count](auto) { ++count; });
  return count;
}

constexpr std::string_view kRussianRtf =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}\r\n"
    "\\pard\\f0 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2, caf\\u233? \\u-10179?\\u-8694?\\par\r\n"
    "second line\\par\r\n}\r\n";
constexpr std::u16string_view kRussianText =
    u"\u041f\u0440\u0438\u0432\u0435\u0442, caf\u00e9 \U0001F60A\r\nsecond line";

TEST(BodyRoutes, TextBodyIsTheStoredBytes) {
  const std::u16string body = u"Hello\r\nW\u00f6rld \U0001F60A";
  BodyStore store({Item().Set(u"S1000", body)});
  ASSERT_TRUE(store.ok());
  ItemRecord record = store.Item(0);
  store.extractor().ExtractTextBody(record.get(), kTextEntry);
  EXPECT_EQ(store.state().format, BodyFormat::kText);
  EXPECT_EQ(store.state().file_path, store.Work("textbody.txt"));
  EXPECT_EQ(FileBytes(store.Work("textbody.txt")), Utf16LeBytes(body));
}

TEST(BodyRoutes, EngineCompressedTextIsWrittenDecoded) {
  const std::u16string body = u"Compressed body text, compressed body text, compressed.";
  const std::u16string ascii = u"seven bit";
  BodyStore store({Item().Set(u"S1000", Packed(Lzxpress(Utf16LeBytes(body)))),
                   Item().Set(u"S1000", Packed(*forge::EncodeSevenBitText(
                                            ascii, forge::SevenBitForm::kEightBit))),
                   Item().Set(u"S1000", Packed({0x18, 0xff, 0xff, 0x01}))});
  ASSERT_TRUE(store.ok());
  ItemRecord first = store.Item(0);
  store.extractor().ExtractTextBody(first.get(), kTextEntry);
  EXPECT_EQ(FileBytes(store.Work("textbody.txt")), Utf16LeBytes(body));
  ItemRecord second = store.Item(1);
  store.extractor().ExtractTextBody(second.get(), kTextEntry);
  EXPECT_EQ(FileBytes(store.Work("textbody.txt")), Utf16LeBytes(ascii));

  // A packed value that does not unpack is no body: the next route gets its turn.
  store.state() = BodyState{};
  std::filesystem::remove(store.Work("textbody.txt"));
  ItemRecord broken = store.Item(2);
  store.extractor().ExtractTextBody(broken.get(), kTextEntry);
  EXPECT_EQ(store.state().format, BodyFormat::kNone);
  EXPECT_FALSE(std::filesystem::exists(store.Work("textbody.txt")));
}

TEST(StoredBodyText, IsTheBodyFileReadBack) {
  // Packed texts are taken as they unpack where their file reads back the same; each must give
  // what writing the bytes and reading them back gives.
  const std::u16string cjk_then_ascii = std::u16string(130, u'\u4e2d') + u" budget";
  const std::vector<std::u16string> packed_texts = {
      u"plain budget text",     u"\xFEFFmarked",          cjk_then_ascii,
      u"pair \U0001F60A here", u"lone \xD800 surrogate", std::u16string(u"zero\0inside", 11),
      u"\u00e9t\u00e9"};
  std::vector<forge::Record> items;
  for (const std::u16string& text : packed_texts) {
    items.push_back(Item().Set(u"S1000", Packed(Lzxpress(Utf16LeBytes(text)))));
  }
  items.push_back(Item().Set(u"S1000", Packed(*forge::EncodeSevenBitText(
                                           u"seven bit", forge::SevenBitForm::kEightBit))));
  items.push_back(Item().Set(u"S1000", Packed({0x18, 0xff, 0xff, 0x01})));  // does not unpack
  items.push_back(Item().Set(u"S1000", u"stored as it is"));
  items.push_back(Item().Set(u"S1000", Separate(Utf16LeBytes(u"a long one"))));
  items.push_back(Item());
  BodyStore store(items);
  ASSERT_TRUE(store.ok());
  for (std::uint32_t index = 0; index < items.size(); ++index) {
    SCOPED_TRACE(index);
    ItemRecord record = store.Item(index);
    const std::optional<std::string> bytes = StoredBodyBytes(record.get(), kTextEntry);
    const std::optional<std::u16string> text = StoredBodyText(record.get(), kTextEntry);
    ASSERT_EQ(text.has_value(), bytes.has_value());
    if (bytes) {
      EXPECT_EQ(*text, BodyFileText(*bytes));
    }
  }
  EXPECT_FALSE(StoredBodyText(nullptr, kTextEntry).has_value());
}

TEST(BodyRoutes, HtmlLongValueIsItsSegmentsInOrder) {
  const Bytes html = PatternBytes(10000, 7);
  BodyStore store({Item().Set(u"N1013", Separate(html))});
  ASSERT_TRUE(store.ok());
  ItemRecord record = store.Item(0);
  ASSERT_EQ(SegmentCount(record.get(), kHtmlEntry), 3);
  store.state().text = u"left by the previous item";
  store.extractor().ExtractHtmlBody(record.get(), kHtmlEntry);
  EXPECT_EQ(store.state().format, BodyFormat::kHtml);
  EXPECT_EQ(store.state().file_path, store.Work("htmlbody.html"));
  EXPECT_EQ(FileBytes(store.Work("htmlbody.html")), html);
  EXPECT_EQ(store.state().text, u"");
}

TEST(BodyRoutes, CompressedHtmlLongValueIsUnpacked) {
  std::string html = "<html><body>";
  for (int i = 0; i < 300; ++i) html += "<p>line " + std::to_string(i) + "</p>";
  html += "</body></html>";
  BodyStore store({Item().Set(u"N1013", SeparatePacked(Lzxpress(TextBytes(html)), html.size()))});
  ASSERT_TRUE(store.ok());
  ItemRecord record = store.Item(0);
  store.extractor().ExtractHtmlBody(record.get(), kHtmlEntry);
  EXPECT_EQ(store.state().format, BodyFormat::kHtml);
  EXPECT_EQ(FileBytes(store.Work("htmlbody.html")), TextBytes(html));
  store.extractor().WriteBodyValueAsText(record.get(), kHtmlEntry);
  EXPECT_EQ(FileBytes(store.Work("blank.txt")), TextBytes(html));
}

TEST(BodyRoutes, InlineHtmlIsDecodedByItsOwnEncodingAndWrittenAsUtf8) {
  const std::u16string text = u"<p>Gr\u00fc\u00dfe \u20ac \u0416</p>";
  const std::u16string latin = u"<p>Gr\u00fc\u00dfe \u20ac</p>";
  BodyStore store({
      Item().Set(u"N1013", TextBytes(Utf16ToUtf8(text))),
      Item().Set(u"N1013", TextBytes("<p>Gr\xfc\xdf"
                                     "e \x80</p>")),
      Item().Set(u"N1013", Utf16LeBytes(text + u'\0')),
      Item().Set(u"N1013", TextBytes(std::string("<p>a</p>\0trailing junk", 22))),
      Item().Set(u"N1013", Packed(Lzxpress(TextBytes(Utf16ToUtf8(text))))),
  });
  ASSERT_TRUE(store.ok());
  const std::vector<std::u16string> expected = {text, latin, text, u"<p>a</p>", text};
  for (int index = 0; index < static_cast<int>(expected.size()); ++index) {
    SCOPED_TRACE(index);
    ItemRecord record = store.Item(index);
    store.extractor().ExtractHtmlBody(record.get(), kHtmlEntry);
    EXPECT_EQ(store.state().format, BodyFormat::kHtml);
    EXPECT_EQ(store.state().text, expected[index]);
    EXPECT_EQ(FileBytes(store.Work("htmlbody.html")), TextBytes(Utf16ToUtf8(expected[index])));
  }
}

TEST(BodyRoutes, RtfOnlyItemEndsAsUtf8PlainText) {
  BodyStore store({Item().Set(u"N1009", forge::CompressRtf(kRussianRtf)),
                   Item().Set(u"N1009", Separate(forge::CompressRtf(kRussianRtf)))});
  ASSERT_TRUE(store.ok());
  for (int index = 0; index < 2; ++index) {
    SCOPED_TRACE(index);
    std::filesystem::remove(store.Work("temp.rtf"));
    ItemRecord record = store.Item(index);
    store.extractor().ExtractFirstBody(record.get(), kAllColumns);
    EXPECT_EQ(store.state().format, BodyFormat::kText);
    EXPECT_EQ(store.state().text, kRussianText);
    EXPECT_EQ(store.state().file_path, store.Work("rtfbody.txt"));
    // Every byte of the UTF-8, not one per character.
    const std::string utf8 = Utf16ToUtf8(kRussianText);
    EXPECT_GT(utf8.size(), kRussianText.size());
    EXPECT_EQ(FileBytes(store.Work("rtfbody.txt")), TextBytes(utf8));
    EXPECT_TRUE(std::filesystem::exists(store.Work("temp.rtf")));
  }
}

TEST(BodyRoutes, UnpackedLongValuesStayAsStored) {
  // Bytes that happen to form an LZXPRESS stream are still a body's own bytes: only a segment
  // whose stored size differs from the size it stands for was packed by the engine.
  const Bytes looks_packed = Lzxpress(Bytes(2000, 'x'));
  BodyStore store({Item().Set(u"N1013", Separate(looks_packed))});
  ASSERT_TRUE(store.ok());
  ItemRecord record = store.Item(0);
  store.extractor().ExtractHtmlBody(record.get(), kHtmlEntry);
  EXPECT_EQ(FileBytes(store.Work("htmlbody.html")), looks_packed);
  store.extractor().WriteBodyValueAsText(record.get(), kHtmlEntry);
  EXPECT_EQ(FileBytes(store.Work("blank.txt")), looks_packed);
}

TEST(BodyRoutes, UncompressedRtfStreamIsTakenAsItStands) {
  BodyStore store({Item().Set(u"N1009", forge::WrapRtfUncompressed(kRussianRtf))});
  ASSERT_TRUE(store.ok());
  ItemRecord record = store.Item(0);
  store.extractor().ExtractRtfBody(record.get(), kRtfEntry);
  EXPECT_EQ(store.state().format, BodyFormat::kText);
  EXPECT_EQ(store.state().text, kRussianText);
}

TEST(BodyRoutes, DamagedRtfStreamsGiveAnEmptyText) {
  Bytes oversized = forge::CompressRtf(kRussianRtf);
  // The compressed-size field counts what follows it; here it claims one byte beyond the value.
  const auto beyond = static_cast<std::uint32_t>(oversized.size() - 4 + 1 + 4);
  for (std::size_t i = 0; i < 4; ++i) oversized[i] = static_cast<std::uint8_t>(beyond >> (8 * i));
  BodyStore store({Item().Set(u"N1009", oversized), Item().Set(u"N1009", Bytes{1, 2, 3, 4, 5})});
  ASSERT_TRUE(store.ok());
  for (int index = 0; index < 2; ++index) {
    SCOPED_TRACE(index);
    store.state().text = u"stale";
    ItemRecord record = store.Item(index);
    store.extractor().ExtractRtfBody(record.get(), kRtfEntry);
    EXPECT_EQ(store.state().format, BodyFormat::kText);
    EXPECT_EQ(store.state().text, u"");
    EXPECT_TRUE(std::filesystem::exists(store.Work("rtfbody.txt")));
    EXPECT_EQ(std::filesystem::file_size(store.Work("rtfbody.txt")), 0U);
  }
}

TEST(BodyRoutes, EmptyOrAbsentBodyLeavesNoTrace) {
  BodyStore store({Item().Set(u"S1000", std::u16string()).Set(u"N1013", Bytes{}),
                   Item().Set(u"Id", std::int32_t{5})});
  ASSERT_TRUE(store.ok());
  for (int index = 0; index < 2; ++index) {
    SCOPED_TRACE(index);
    ItemRecord record = store.Item(index);
    store.extractor().ExtractFirstBody(record.get(), kAllColumns);
    EXPECT_EQ(store.state().format, BodyFormat::kNone);
    EXPECT_EQ(store.extractor().WriteBodyValueAsText(record.get(), kTextEntry), u"");
    EXPECT_EQ(store.FilesInWork(), 0U);
  }
  store.extractor().ExtractTextBody(nullptr, kTextEntry);
  EXPECT_EQ(store.state().format, BodyFormat::kNone);
}

TEST(BodyRoutes, TextBodyWinsOverHtmlAndRtf) {
  BodyStore store({Item()
                       .Set(u"S1000", std::u16string(u"plain"))
                       .Set(u"N1013", TextBytes("<p>html</p>"))
                       .Set(u"N1009", forge::CompressRtf(kRussianRtf)),
                   Item()
                       .Set(u"S1000", Packed({0x18, 0xff, 0xff, 0x01}))
                       .Set(u"N1013", TextBytes("<p>html</p>"))});
  ASSERT_TRUE(store.ok());
  ItemRecord record = store.Item(0);
  store.extractor().ExtractFirstBody(record.get(), kAllColumns);
  EXPECT_EQ(store.state().format, BodyFormat::kText);
  EXPECT_EQ(store.state().file_path, store.Work("textbody.txt"));
  EXPECT_FALSE(std::filesystem::exists(store.Work("htmlbody.html")));
  EXPECT_FALSE(std::filesystem::exists(store.Work("rtfbody.txt")));

  // An unreadable text body lets the HTML route have its turn.
  ItemRecord second = store.Item(1);
  store.extractor().ExtractFirstBody(second.get(), kAllColumns);
  EXPECT_EQ(store.state().format, BodyFormat::kHtml);
  EXPECT_EQ(store.state().text, u"<p>html</p>");
}

TEST(ConvertRtfBodyFile, KeepsTheRtfFormatForTheStreamWriter) {
  BodyStore store({Item().Set(u"N1009", forge::CompressRtf(kRussianRtf))});
  ASSERT_TRUE(store.ok());
  ItemRecord record = store.Item(0);
  ASSERT_TRUE(store.reader().WriteRtfBodyFile(record.get(), kRtfEntry).has_value());
  ASSERT_EQ(store.state().format, BodyFormat::kRtf);
  EXPECT_TRUE(store.extractor().ConvertRtfBodyFile());
  EXPECT_EQ(store.state().format, BodyFormat::kRtf);
  EXPECT_EQ(store.state().text, kRussianText);
  EXPECT_EQ(FileBytes(store.Work("rtfbody.txt")), TextBytes(Utf16ToUtf8(kRussianText)));

  // An empty stream file changes nothing.
  { std::ofstream truncate(store.Work("rtfbody.txt"), std::ios::trunc); }
  store.state().text = u"kept";
  EXPECT_FALSE(store.extractor().ConvertRtfBodyFile());
  EXPECT_EQ(store.state().format, BodyFormat::kRtf);
  EXPECT_EQ(store.state().text, u"kept");
}

TEST(WriteBodyValueAsText, DecodesByColumnType) {
  const std::u16string body = u"Text \u00e9 \U0001F60A";
  const std::u16string long_body(3000, u'\u0416');
  Bytes unpacked = PatternBytes(300, 1);
  unpacked.insert(unpacked.end(), 300, 'a');
  BodyStore store({Item()
                       .Set(u"S1000", body)
                       .Set(u"N1013", Bytes{1, 2, 3, 4})
                       .Set(u"N1009", Bytes{1, 2, 3, 4, 5}),
                   Item()
                       .Set(u"S1000", Separate(Utf16LeBytes(long_body)))
                       .Set(u"N1013", Packed(Lzxpress(unpacked)))});
  ASSERT_TRUE(store.ok());
  ItemRecord first = store.Item(0);
  const std::u16string path = store.extractor().WriteBodyValueAsText(first.get(), kTextEntry);
  EXPECT_EQ(path, TextFromPath(store.Work("blank.txt")));
  EXPECT_EQ(store.state().file_path, store.Work("blank.txt"));
  Bytes marked = {0xFF, 0xFE};
  const Bytes units = Utf16LeBytes(body);
  marked.insert(marked.end(), units.begin(), units.end());
  EXPECT_EQ(FileBytes(store.Work("blank.txt")), marked);

  // Binary values of 4 bytes or fewer are no text; longer ones are written as they are.
  EXPECT_NE(store.extractor().WriteBodyValueAsText(first.get(), kHtmlEntry), u"");
  EXPECT_EQ(FileBytes(store.Work("blank.txt")), Bytes{});
  store.extractor().WriteBodyValueAsText(first.get(), kRtfEntry);
  EXPECT_EQ(FileBytes(store.Work("blank.txt")), (Bytes{1, 2, 3, 4, 5}));

  // Long values: every segment, whose bytes may start like a compression header (U+0416).
  ItemRecord second = store.Item(1);
  store.extractor().WriteBodyValueAsText(second.get(), kTextEntry);
  EXPECT_EQ(FileBytes(store.Work("blank.txt")), Utf16LeBytes(long_body));
  store.extractor().WriteBodyValueAsText(second.get(), kHtmlEntry);
  EXPECT_EQ(FileBytes(store.Work("blank.txt")), unpacked);
}

TEST(DecodeBodyBytes, FollowsMarksZeroBytesAndUtf8) {
  EXPECT_EQ(DecodeBodyBytes(Bytes{0xFF, 0xFE, 'a', 0, 0x16, 0x04, 0, 0, 'z', 0}), u"a\u0416");
  EXPECT_EQ(DecodeBodyBytes(Bytes{0xEF, 0xBB, 0xBF, 'a', 0xC3, 0xA9, 0, 'z'}), u"a\u00e9");
  EXPECT_EQ(DecodeBodyBytes(Utf16LeBytes(u"<p>\u0416\u0416\u0416</p>")),
            u"<p>\u0416\u0416\u0416</p>");
  // 8-bit text: a short value, one with a terminator in the middle, one that is not UTF-8.
  EXPECT_EQ(DecodeBodyBytes(Bytes{'a', 0}), u"a");
  EXPECT_EQ(DecodeBodyBytes(Bytes{'a', 'b', 'c', 0, 'd'}), u"abc");
  EXPECT_EQ(DecodeBodyBytes(Bytes{'c', 'a', 'f', 0xE9}), u"caf\u00e9");
  EXPECT_EQ(DecodeBodyBytes(Bytes{}), u"");
  EXPECT_EQ(DecodeBodyBytes(Bytes{0xFF, 0xFE, 'a'}), u"");  // half a unit
}

}  // namespace
}  // namespace tarvex::testing
