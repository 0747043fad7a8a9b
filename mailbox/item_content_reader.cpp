#include "mailbox/item_content_reader.h"

#include <optional>

#include "base/code_page_1252.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/body_extraction.h"
#include "content/body_text_encoding.h"
#include "content/html_visible_text.h"
#include "content/rtf_to_text.h"
#include "content/text_transformations.h"
#include "mailbox/item_texts.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/model_indexes.h"

namespace tarvex {
namespace {

// The plain text of a compressed RTF stream; empty for an empty stream or document.
std::u16string RtfStreamText(const std::string& stream) {
  if (stream.empty()) return std::u16string();
  const std::string rtf = RtfOfStream(stream);
  return rtf.empty() ? std::u16string() : RtfToPlainText(rtf);
}

std::span<const std::uint8_t> Bytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// A record's values by column name; a column the table lacks reads as nothing.
class RecordColumns {
 public:
  RecordColumns(ValueReader& reader, const ese::Record* record, const TableColumns& columns)
      : reader_(reader), record_(record), columns_(columns) {}

  const ese::Record* record() const { return record_; }
  int Entry(std::u16string_view name) const { return columns_.Entry(name).value_or(0); }
  bool HasStoredValue(std::u16string_view name) const {
    if (record_ == nullptr || Entry(name) == 0) return false;
    const std::optional<RawValue> raw = GetRawValue(record_, Entry(name));
    return raw && !raw->bytes.empty();
  }
  std::u16string Text(std::u16string_view name) const {
    if (record_ == nullptr || Entry(name) == 0) return std::u16string();
    return reader_.ReadValueText(record_, Entry(name)).value_or(std::u16string());
  }
  std::u16string HexText(std::u16string_view name) const {
    if (record_ == nullptr || Entry(name) == 0) return std::u16string();
    return reader_.ReadValueHexText(record_, Entry(name)).value_or(std::u16string());
  }

 private:
  ValueReader& reader_;
  const ese::Record* record_;
  const TableColumns& columns_;
};

bool IsSingleLongValue(const ese::Record& record, int entry) {
  const std::optional<RawValue> raw = GetRawValue(&record, entry);
  return raw && (raw->flags & kValueFlagLongValue) != 0 && (raw->flags & kValueFlagMultiValue) == 0;
}

}  // namespace

std::u16string OlderMessageBody(const ese::Record& record, const TableColumns& columns) {
  const auto entry = [&columns](std::u16string_view name) {
    return columns.Entry(name).value_or(0);
  };
  if (std::optional<std::u16string> text = StoredBodyText(&record, entry(u"S1000"))) {
    return *text;
  }
  if (std::optional<std::string> html = StoredBodyBytes(&record, entry(u"N1013"))) {
    // An inline HTML body is kept as its text; a long one as the bytes stored.
    return HtmlVisibleText(IsSingleLongValue(record, entry(u"N1013"))
                               ? BodyFileText(*html)
                               : DecodeBodyBytes(Bytes(*html)));
  }
  if (std::optional<std::string> rtf = StoredBodyBytes(&record, entry(u"N1009"))) {
    return RtfStreamText(*rtf);
  }
  return std::u16string();
}

namespace {

// 2010 layout: RTF first (a stream without text does not count), then HTML, then text.
std::u16string Body2010(ValueReader& reader, BodyExtractor& extractor,
                        const RecordColumns& record) {
  if (record.HasStoredValue(u"N1009")) {
    std::u16string text =
        RtfStreamText(reader.RtfBodyStream(record.record(), record.Entry(u"N1009")).value_or(""));
    if (!text.empty()) return text;
  }
  if (record.HasStoredValue(u"N1013")) {
    if (std::optional<std::string> html =
            reader.HtmlBodyBytes(record.record(), record.Entry(u"N1013"))) {
      return HtmlVisibleText(BodyFileText(*html));
    }
  }
  if (record.HasStoredValue(u"S1000")) {
    if (std::optional<std::string> text =
            extractor.BodyValueAsText(record.record(), record.Entry(u"S1000"))) {
      return BodyFileText(*text);
    }
  }
  return std::u16string();
}

}  // namespace

ItemContentReader::ItemContentReader(Recovery& recovery) : recovery_(recovery) {
  if (!recovery.has_session() || recovery.layout() != StoreLayout::kOlder) return;
  if (const ese::Table* table = recovery.session().message_table()) {
    ColumnsOf(table, ColumnLookup::kMessageTable);
  }
}

const TableColumns& ItemContentReader::ColumnsOf(const ese::Table* table, ColumnLookup lookup) {
  auto [found, added] = columns_.try_emplace(table);
  if (added) found->second.Find(recovery_.session(), table, lookup);
  return found->second;
}

ItemContent ItemContentReader::Read(const ItemListRow& row, bool with_body) {
  if (!recovery_.has_session()) return {};
  return recovery_.layout() == StoreLayout::k2010 ? Read2010(row, with_body)
                                                  : ReadOlder(row, with_body);
}

ItemContent ItemContentReader::ReadOlder(const ItemListRow& row, bool with_body) {
  // The list carries the recipients.
  ItemContent content;
  content.recipients = row[8] + u"\n" + row[9] + u"\n" + row[10];
  const ese::Table* message_table = recovery_.session().message_table();
  if (!with_body || message_table == nullptr || row[1] == u"distlist") return content;
  // The item's "Msg" row, found as the listing found it: the list's number 0 also stands for
  // an item without one, which must not show the first row's body.
  const MessageRef* ref =
      row[0].empty() ? nullptr
                     : recovery_.indexes().FirstMessageRefBeginningWith(recovery_.model(), row[0]);
  const std::optional<ese::Record> record =
      ref != nullptr ? message_table->ReadRecord(ref->record_number) : std::nullopt;
  if (record) {
    content.body = OlderMessageBody(*record, ColumnsOf(message_table, ColumnLookup::kMessageTable));
  }
  return content;
}

ItemContent ItemContentReader::Read2010(const ItemListRow& row, bool with_body) {
  ItemContent content;
  const std::u16string& key = row[0];
  const ItemBodyLocation location = LocateItemBody(recovery_, key, row[3]);
  // Record number 0 also stands for "no body row": then no other item's row is read.
  const bool has_record = recovery_.indexes().LastBodyRefFor(
                              recovery_.model(), key, ReplacedAll(row[3], u"Folders", u"Body"),
                              !recovery_.is_public_store()) != nullptr;
  if (key.empty()) {
    content.recipients = u"\n\n";
    return content;
  }
  const Recovery::BodyTable& body_table = recovery_.body_table();
  const ese::Table* table = body_table.open ? body_table.table : nullptr;
  std::optional<ese::Record> found;
  if (table != nullptr && has_record) found = table->ReadRecord(location.record_number);
  const RecordColumns record(recovery_.reader(), found ? &*found : nullptr,
                             ColumnsOf(table, ColumnLookup::kContent));
  const std::u16string& kind = row[1];
  if (kind == u"appointment") {
    content.recipients = EscapeAngleBrackets(RecipientColumnAddresses(record.Text(u"N67b4")));
  } else if (kind != u"contact" && kind != u"task" && kind != u"notes") {
    content.recipients =
        MailRecipients2010(record.Text(u"N67b4"), record.Text(u"N2c"), record.HexText(u"S7d"));
  }
  content.recipients += u"\n\n";
  if (with_body) {
    BodyExtractor extractor(recovery_.working_folder(), recovery_.body(), recovery_.reader());
    content.body = Body2010(recovery_.reader(), extractor, record);
  }
  return content;
}

}  // namespace tarvex
