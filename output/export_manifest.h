#pragma once

// The one-record manifest the saver reads: "Key:value" lines in a fixed order per item kind,
// written as UTF-16LE with the FF FE mark and without terminator.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

inline constexpr std::u16string_view kManifestFileName = u"mailsaving.txt";
inline constexpr std::u16string_view kContactFieldsFileName = u"conatctsaving.txt";
// A note's "Body:" value that starts with this names the body file instead of holding the
// body: for bodies longer than the saver takes in a line. (saver/note_body.h reads it.)
inline constexpr std::u16string_view kNoteBodyFileMarker = u"<bodyfile>";

struct ManifestRecord {
  // Keys with their colon ("SUBJECT:"), in line order.
  std::vector<std::pair<std::u16string_view, std::u16string>> lines;
  // Task records end their lines with LF, every other record with CR LF.
  bool lf_line_ends = false;

  void Add(std::u16string_view key, std::u16string value) {
    lines.emplace_back(key, std::move(value));
  }
};

// A value cannot add a line to a record: every CR and LF in it becomes a space.
std::u16string SingleLine(std::u16string_view value);

// A list value: each piece followed by a tab, tabs inside a piece made blanks, empty pieces
// left out.
std::u16string ManifestList(const std::vector<std::u16string>& pieces);

// The record's text: each key, its value made single-line, and the line end.
std::u16string ManifestText(const ManifestRecord& record);

// Mail records go through the export text file, the others through the UTF-16 text file; both
// give FF FE and the UTF-16LE units. False when the file cannot be created or written.
bool WriteManifestFile(const std::filesystem::path& path, const ManifestRecord& record,
                       bool mail_record);

}  // namespace tarvex
