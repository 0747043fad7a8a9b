#pragma once

// Leaves an item's body in the working folder: the plain-text ("S1000"), HTML ("N1013") and
// compressed RTF ("N1009") columns each have a route that writes the body file and records in
// the body state which form was found, where the file is and, for HTML and RTF, the text.
//
// Previews and exports set the body format to kNone and try the routes in their order until
// one sets it. A route that finds no value (size 0, an unreadable column or long value) leaves
// the body state and the working folder as they were, so that the next route gets its turn.

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "ese/record.h"
#include "store/body_state.h"
#include "store/column_type.h"
#include "store/stored_value.h"

namespace tarvex {

class ValueReader;

// The bytes the text, HTML and RTF routes store of a value, in memory: an inline value unpacked
// (text as UTF-16LE), a long value as far as it is found. None where a route finds no body: no
// value, an empty one, a packed value that does not unpack, a long value that is not there.
std::optional<std::string> StoredBodyBytes(const ese::Record* record, int value_entry);

// The text of a body value as its file would be read back (BodyFileText of StoredBodyBytes).
std::optional<std::u16string> StoredBodyText(const ese::Record* record, int value_entry);

// The RTF a compressed RTF body stream holds. A stream marked uncompressed ("MELA") carries its
// RTF as it is after the header; running it through the token decoder would garble it. A stream
// that does not decode is an empty document.
std::string RtfOfStream(std::string_view stream);

// Value entries of the three body columns in the record's table; 0 where the store lacks one.
struct BodyColumns {
  int text = 0;  // "S1000"
  int html = 0;  // "N1013"
  int rtf = 0;   // "N1009"
};

class BodyExtractor {
 public:
  BodyExtractor(std::filesystem::path working_folder, BodyState& body_state,
                ValueReader& value_reader);

  // Resets the body format, then tries the text, HTML and RTF routes in this order until one
  // finds a body, skipping columns the store lacks.
  void ExtractFirstBody(const ese::Record* record, const BodyColumns& columns);

  // "textbody.txt": the value's bytes (decoded where the engine compressed them), no mark.
  // Sets kText.
  void ExtractTextBody(const ese::Record* record, int value_entry);
  // "htmlbody.html": a long value's bytes; an inline value becomes the body text, written
  // as UTF-8. Sets kHtml.
  void ExtractHtmlBody(const ese::Record* record, int value_entry);
  // "rtfbody.txt": first the compressed RTF stream (kRtf), then its plain text in UTF-8
  // (kText once written).
  void ExtractRtfBody(const ese::Record* record, int value_entry);

  // Turns the compressed RTF stream in the body file into plain text: sets the body text and
  // rewrites "rtfbody.txt" as UTF-8, leaving the format at kRtf. False when the stream file is
  // empty or unreadable (nothing changes then) or "rtfbody.txt" cannot be created.
  bool ConvertRtfBodyFile();

  // "blank.txt": the value decoded by its type (text as UTF-16LE with the FF FE mark, binary
  // as bytes); it becomes the body file. Returns its path, or an empty text when nothing was
  // written.
  std::u16string WriteBodyValueAsText(const ese::Record* record, int value_entry);
  // The bytes WriteBodyValueAsText leaves in "blank.txt", in memory; none where it writes none.
  std::optional<std::string> BodyValueAsText(const ese::Record* record, int value_entry);

 private:
  // What WriteBodyValueAsText writes of a value that is not a long value.
  std::string InlineValueAsText(const ese::Record* record, int value_entry, ColumnType type,
                                const RawValue& raw);
  enum class Route { kText, kHtml, kRtf };
  // The shared part of the routes. False when the route found nothing to store.
  bool StoreColumnValue(const ese::Record* record, int value_entry, Route route);

  std::filesystem::path working_folder_;
  BodyState& body_state_;
  ValueReader& value_reader_;
};

}  // namespace tarvex
