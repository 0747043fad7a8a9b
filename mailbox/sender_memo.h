#pragma once

// What one thread has learnt of the senders of the content rows it made for a search by sender.
// A million rows name a few hundred senders: each sender, known by its stored bytes (or by its
// place among the gathered "Msg" senders), is made and tested once, and a row whose sender the
// search does not want is turned away having read no more than its id and list position.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ese/record.h"

namespace tarvex {

struct MailboxEntry;

struct SenderMemo {
  // The search's answer for a sender; kUndecided for one that trims to nothing, whose row is
  // listed or not by its subject.
  enum class Answer : std::uint8_t { kUnasked, kWanted, kTurnedAway, kUndecided };

  // What a row's own sender columns make.
  struct Candidate {
    std::u16string sender;                // escaped as the list shows it; empty: the row's
                                          // other columns decide
    const MailboxEntry* owner = nullptr;  // the mailbox whose owner the sender names
    Answer answer = Answer::kUnasked;     // for the sender when the header's does not count
  };

  struct BytesHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view bytes) const {
      return std::hash<std::string_view>()(bytes);
    }
  };
  template <typename Value>
  using ByStoredBytes = std::unordered_map<std::string, Value, BytesHash, std::equal_to<>>;

  // Appends to `key` what a plain value of the record's column at `entry` reads as (its
  // column's type and code page, its flags and bytes), or that there is none. False for a value
  // stored otherwise (compressed, long, multiple): its text is not the bytes' alone.
  static bool AppendValueKey(const ese::Record& record, std::optional<int> entry,
                             std::string& key);

  // A store of very many senders: what is remembered is forgotten past this many.
  static constexpr std::size_t kMostRemembered = 1u << 16;
  void ForgetIfFull();

  ByStoredBytes<bool> excluded_kinds;  // by the message class's bytes
  ByStoredBytes<Candidate> candidates;  // by the sender name's and address' bytes
  std::vector<Answer> header_answers;   // by the sender's place among the gathered senders
  std::string key;                      // the key being made, kept for its room
};

}  // namespace tarvex
