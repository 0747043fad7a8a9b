#pragma once

// Small Exchange-like stores written with edbforge for the item tests, and a recovery opened
// on one of them with a recording window.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/message_pages.h"
#include "base/pause_gate.h"
#include "mailbox/recovery.h"
#include "support/recording_window_port.h"
#include "tools/edbforge/ese/database_writer.h"

namespace tarvex::testing {

// A table whose columns follow the Exchange naming convention, the prefix giving the type:
// "S" text, "N" and "Q" binary ("N3701", "N67b4" and "N67b5" long binary), "L" 32-bit,
// "B" bit, "T" date time; the body columns "N1009" and "N1013" long binary, "MS" columns
// multi-valued text and "MN" columns multi-valued binary. Position 0 is taken by a fixed "Id"
// column, which the program never reads.
edbforge::TableDefinition ExchangeTable(std::u16string name,
                                        std::initializer_list<std::u16string_view> columns);

// `record` with the given text cells, column and text in pairs.
edbforge::Record WithTexts(
    edbforge::Record record,
    std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> texts);

// The bytes of `text` as they stand; two byte strings one after the other.
std::vector<std::uint8_t> Utf8Bytes(std::string_view text);
std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b);

// The 8 bytes of an identifier, most significant first: its identifier text is `value` in
// lower-case hexadecimal.
std::vector<std::uint8_t> IdBytes(std::uint64_t value);

// A FILETIME for the given UTC time.
edbforge::FileTime FileTimeOf(int year, unsigned month, unsigned day, int hours, int minutes,
                              int seconds);

// A long 8-bit text stored outside its record (transport headers).
edbforge::RawBytes LongAnsiText(std::string_view text);

// A recovery over a written store: catalogue built and layout recognised.
class OpenedStore {
 public:
  OpenedStore(const std::filesystem::path& database, const std::filesystem::path& working_folder,
              WindowPort* window = nullptr);

  Recovery& recovery() { return recovery_; }
  RecordingWindowPort& recorder() { return recorder_; }
  PauseGate& gate() { return gate_; }

 private:
  RecordingWindowPort recorder_;
  PauseGate gate_;
  MessagePages pages_;
  Recovery recovery_;
};

}  // namespace tarvex::testing
