#pragma once

// The one-record manifest "mailsaving.txt" that the recovery program writes next to this
// program before it launches it: UTF-16LE with the FF FE mark, one "Key:value" line per field
// in a fixed order that depends on the item kind.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

enum class SavedItemKind { kMail, kContact, kAppointment, kTask, kNote, kDistList, kJournal };

// The launch parameter: "mailimport", "contact", "appointment", "task", "notes",
// "distlist" or "journal".
std::optional<SavedItemKind> SavedItemKindFromParameter(std::string_view parameter);

// The keys of a record of that kind, colon included, in line order.
const std::vector<std::u16string_view>& ManifestKeys(SavedItemKind kind);
// How many of those every record holds. The keys after them came later: a record written
// before them ends early and reads them as empty.
std::size_t RequiredKeyCount(SavedItemKind kind);

class Manifest {
 public:
  Manifest(SavedItemKind kind, std::vector<std::u16string> values)
      : kind_(kind), values_(std::move(values)) {}

  SavedItemKind kind() const { return kind_; }
  // The value of a key of this kind ("SUBJECT:"); an unknown key gives the empty text.
  const std::u16string& Value(std::u16string_view key) const;

 private:
  SavedItemKind kind_;
  std::vector<std::u16string> values_;  // in the order of ManifestKeys(kind_)
};

struct ManifestResult {
  std::optional<Manifest> manifest;
  std::string error;  // set exactly when manifest is empty; names the line where it can
};

// Validates the mark, the UTF-16 units, the line ends of the kind (LF for tasks, CR LF for the
// rest) and every key in its order; the record may end after the required keys. A free-text value
// (a subject, a location, a sender, an owner, a note body) may hold a line end of its own: a line
// that does not start with a key of the record continues the value before it.
ManifestResult ParseManifest(std::string_view bytes, SavedItemKind kind);

// Reads at most a few megabytes: a record is a handful of short lines and one note body.
ManifestResult ReadManifestFile(const std::filesystem::path& path, SavedItemKind kind);

// Reads a whole file of at most max_bytes; false (with a reason) when it cannot be read or is
// larger.
bool ReadFileBytes(const std::filesystem::path& path, std::size_t max_bytes, std::string& bytes,
                   std::string& error);

}  // namespace tarvex
