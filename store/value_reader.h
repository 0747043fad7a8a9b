#pragma once

// Reads record values as the texts, identifiers, dates and working-folder files the program
// shows, matches and exports. Every reader takes (record, value entry), where the entry is a
// column position from the column directory; a null record gives none.
//
// Results: std::nullopt stands for "none" (no value to speak of); an empty text is a value
// that exists but says nothing.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ese/record.h"
#include "store/body_state.h"
#include "store/column_type.h"
#include "store/stored_value.h"
#include "store/value_text.h"

namespace tarvex {

class StoreSession;

class ValueReader {
 public:
  // The session gives the layout (format revision) and the column directory; the body state
  // is the recovery's, which the body writers update.
  ValueReader(const StoreSession& session, std::filesystem::path working_folder,
              BodyState& body_state);

  std::optional<std::u16string> ReadValueText(const ese::Record* record, int value_entry);
  // Each value of a multi value on its own (a single value gives one); none for no value.
  std::vector<std::u16string> ReadValueTexts(const ese::Record* record, int value_entry);
  std::optional<std::u16string> ReadValueHexText(const ese::Record* record, int value_entry);
  std::optional<std::u16string> ReadIdText(const ese::Record* record, int value_entry,
                                           ByteOrder order);
  // The number of an identifier stored as its 8 bytes, which ReadIdText writes as its digits
  // (LowerHexInto); none for a value stored otherwise, or none at all.
  std::optional<std::uint64_t> ReadIdNumber(const ese::Record* record, int value_entry,
                                            ByteOrder order) const;
  std::optional<std::u16string> ReadStoreIdText(const ese::Record* record, int value_entry,
                                                ByteOrder order);
  std::optional<std::u16string> ReadTimeText(const ese::Record* record, int value_entry,
                                             ByteOrder order);
  std::optional<std::u16string> ReadBodyText(const ese::Record* record, int value_entry);

  // "blank.html": the body's bytes, long values decompressed segment by segment. Returns the
  // file's path, an empty text when it cannot be created, or none.
  std::optional<std::u16string> WriteHtmlBodyFile(const ese::Record* record, int value_entry);
  // "rtfbody.txt": the stored compressed RTF stream. Returns its byte count as text for an
  // inline value, an empty text for a long value, or none.
  std::optional<std::u16string> WriteRtfBodyFile(const ese::Record* record, int value_entry);
  // What the two writers above leave in their files, in memory, for a reader that wants the
  // body and no file; none where they return none.
  std::optional<std::string> HtmlBodyBytes(const ese::Record* record, int value_entry);
  std::optional<std::string> RtfBodyStream(const ese::Record* record, int value_entry);
  // The value under the current attachment file name, made safe for the working folder.
  // Returns the path written, or none.
  std::optional<std::filesystem::path> WriteAttachmentFile(const ese::Record* record,
                                                           int value_entry);

  void set_attachment_file_name(std::u16string name) { attachment_file_name_ = std::move(name); }
  const std::u16string& last_identifier_text() const { return last_identifier_text_; }
  // A long transport-header value reads as "true"; its text (lines ending in CR LF) is here
  // until the next one.
  const std::u16string& transport_headers() const { return transport_headers_; }
  const std::filesystem::path& working_folder() const { return working_folder_; }

 private:
  std::optional<std::u16string> ReadLongValue(const ese::Record& record, int value_entry,
                                              const ese::ColumnSchema& column, const RawValue& raw);
  std::optional<std::u16string> ReadValue(const ese::Record* record, int value_entry,
                                          bool hex_for_bytes);

  const StoreSession& session_;
  std::filesystem::path working_folder_;
  BodyState& body_state_;
  std::u16string attachment_file_name_;
  std::u16string last_identifier_text_;
  std::u16string transport_headers_;
};

// A reader with a body state of its own. A reader keeps the value it read last: each thread
// that reads values beside others has one.
struct OwnValueReader {
  OwnValueReader(const StoreSession& session, const std::filesystem::path& working_folder)
      : reader(session, working_folder, body_state) {}
  BodyState body_state;
  ValueReader reader;
};

}  // namespace tarvex
