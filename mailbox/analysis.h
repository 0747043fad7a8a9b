#pragma once

// The analysis: from a database path to the rebuilt mailboxes, folder trees and (older layout)
// message and attachment indexes, reported through the recovery's window. It runs on a worker
// thread; the front end has already inserted the tree's root node (the database path).

#include <cstdint>
#include <filesystem>
#include <functional>

#include "mailbox/recovery.h"

namespace tarvex {

// The quick scan reads what the tables' trees hold; the deep scan first reads every page of the
// file and adds the records on leaves no tree reaches (cut off by damage, or released with
// their records still on them) and the records flagged deleted.
enum class ScanDepth { kQuick, kDeep };

enum class AnalysisOutcome {
  kCompleted,
  kFailed,  // the database could not be opened; only Browse and Open stay usable
};

// What a caller sees of the older layout's analysis as it goes, on the analysis' thread.
struct AnalysisObserver {
  // Each "Msg" row as it is read (null when it cannot be read), in the table's order: a caller
  // that needs more of every row takes it there instead of reading the table again.
  std::function<void(std::uint32_t number, const ese::Record* record)> message_row;
  // Once "Msg" has been read: what is left (the attachments, the indexes) keeps one core busy.
  std::function<void()> messages_read;
};

AnalysisOutcome RunAnalysis(Recovery& recovery, const std::filesystem::path& database,
                            ScanDepth depth = ScanDepth::kQuick,
                            const AnalysisObserver& observer = {});

// The message that ends a completed analysis: what could not be read, or success when all was.
std::u16string AnalysisCompletedMessage(const Recovery& recovery);

// The texts of the run, as the window shows them.
inline constexpr std::u16string_view kApplicationTitle = u"Tarvex Mailbox Rescue";
inline constexpr std::u16string_view kAnalysisCompletedMessage =
    u"Analysis Completed successfully               ";
// Followed by what could not be read ("2 pages unreadable, catalogue incomplete").
inline constexpr std::u16string_view kAnalysisLossesMessage = u"Analysis completed with losses: ";
inline constexpr std::u16string_view kUnableToRecoverMessage =
    u"Unable to Recover Exchange Database               ";

}  // namespace tarvex
