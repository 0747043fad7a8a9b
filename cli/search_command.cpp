// `tarvex search`: the items of every mailbox, or of the folders named, that meet every
// condition given, printed as they are found.

#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>
#include <stop_token>
#include <system_error>
#include <thread>
#include <vector>

#include "base/terminal_text.h"
#include "base/utf_conversion.h"
#include "cli/commands.h"
#include "cli/database_run.h"
#include "cli/display_width.h"
#include "cli/item_json.h"
#include "cli/read_outcome.h"
#include "mailbox/item_search.h"
#include "mailbox/message_facts_collector.h"

namespace tarvex::cli {
namespace {

using nlohmann::json;

// Prints the results as they come: a table, or one JSON document written piece by piece.
class ResultPrinter {
 public:
  ResultPrinter(bool as_json, StoreLayout layout) : json_(as_json), layout_(layout) {
    if (json_) {
      std::fputs("{\"items\": [", stdout);
    } else {
      std::printf("%5s  %s %s %s %s Folder\n", "No", PadToWidth("Kind", 12).c_str(),
                  PadToWidth("From", 24).c_str(), PadToWidth("Subject", 36).c_str(),
                  PadToWidth("Date", 20).c_str());
    }
    std::fflush(stdout);
  }

  void Print(std::u16string_view folder_path, const ItemListRow& row, std::size_t position) {
    if (json_) {
      json item = ItemJson(ListRow(row.begin(), row.end()), layout_, position);
      item["path"] = Utf16ToUtf8(folder_path);
      std::printf("%s\n  %s", printed_ == 0 ? "" : ",", TerminalSafeJson(item.dump()).c_str());
    } else {
      // "%5zu  %s %s %s %s %s\n", the columns padded to their widths, made in one line kept
      // for its room: a search may print a million of them.
      line_.clear();
      const std::string number = std::to_string(position);
      if (number.size() < 5) line_.append(5 - number.size(), ' ');
      line_.append(number).append("  ");
      for (const auto& [column, width] :
           {std::pair<std::size_t, std::size_t>{1, 12}, {4, 24}, {5, 36}, {6, 20}}) {
        AppendTerminalColumn(row[column], width, line_);
        line_.push_back(' ');
      }
      // A folder's items come one after another: its path is made printable once.
      if (folder_path != last_path_) {
        last_path_ = folder_path;
        last_path_shown_ = TerminalText(folder_path);
      }
      line_.append(last_path_shown_).push_back('\n');
      std::fwrite(line_.data(), 1, line_.size(), stdout);
    }
    ++printed_;
    unflushed_ = true;
  }

  // What was printed reaches a pipe as the search goes on, though not a write per item: the
  // search reports its progress every few hundred items and at each folder's end.
  void Flush() {
    if (unflushed_) std::fflush(stdout);
    unflushed_ = false;
  }

  void Finish(const json& losses) {
    if (json_) std::printf("\n], \"losses\": %s}\n", losses.dump().c_str());
    Flush();
  }

 private:
  bool json_;
  StoreLayout layout_;
  std::size_t printed_ = 0;
  bool unflushed_ = false;
  std::u16string last_path_;
  std::string last_path_shown_;
  std::string line_;
};

// Finds where the records of every folder's content table lie (a table's first read walks its
// tree) on a thread of its own, from the moment the analysis has read "Msg": what the analysis
// does after that keeps one core busy, and the search then finds each table walked.
std::jthread WalkContentTables(const StoreSession& session) {
  std::vector<const ese::Table*> tables;
  for (const TableEntry& entry : session.catalog().entries()) {
    if (!entry.folder_key.empty() && entry.table != nullptr) tables.push_back(entry.table);
  }
  try {
    return std::jthread([tables = std::move(tables)](std::stop_token stop) {
      for (const ese::Table* table : tables) {
        if (stop.stop_requested()) return;
        try {
          table->record_count();
        } catch (const std::exception&) {
          return;  // the search meets the table's damage again where it reads the table
        }
      }
    });
  } catch (const std::system_error&) {
    return {};  // no thread to be had: the search walks each table when it comes to it
  }
}

}  // namespace

int RunSearch(const std::filesystem::path& database, const std::vector<std::string>& folders,
              const SearchOptions& search, const CommonOptions& options) {
  SearchConditions wanted;
  const TextMatchMode mode = search.regex ? TextMatchMode::kRegex : TextMatchMode::kPart;
  const std::pair<const std::string*, std::optional<TextMatch>*> texts[] = {
      {&search.from, &wanted.from},
      {&search.to, &wanted.to},
      {&search.subject, &wanted.subject},
      {&search.body, &wanted.body}};
  for (const auto& [given, match] : texts) {
    if (given->empty()) continue;
    std::u16string error;
    *match = TextMatch::Make(Utf8ToUtf16(*given), mode, &error);
    if (!*match) {
      PrintError("not a regular expression: " + *given + ": " + Utf16ToUtf8(error));
      return kExitUsage;
    }
  }
  if (!search.kind.empty()) {
    wanted.kind = TextMatch::Make(Utf8ToUtf16(search.kind), TextMatchMode::kWholeText);
  }
  for (const auto& [given, bound] :
       {std::pair{&search.after, &wanted.after}, std::pair{&search.before, &wanted.before}}) {
    if (given->empty()) continue;
    const std::optional<std::string> date = SearchDateBound(*given);
    if (!date) {
      PrintError("not a date: " + *given + " (give it as 2010-01-05 or 2010-01-05T09:03:07Z)");
      return kExitUsage;
    }
    *bound = *date;
  }
  wanted.has_attachment = search.has_attachment;

  // Bodies are read in memory, but a long recipient list (2010 layout) still passes through a
  // working-folder file: one in memory too.
  const WorkingFolder scratch(std::nullopt, MemoryBackedFolder());
  std::optional<std::filesystem::path> workdir = options.workdir;
  if (!workdir && scratch.error().empty()) workdir = scratch.path();
  DatabaseRun run(database, workdir, StreamOf(options),
                  options.deep ? ScanDepth::kDeep : ScanDepth::kQuick);
  // A search of every mailbox takes what it needs of each "Msg" row (older layout) while the
  // analysis reads that table, instead of reading it again.
  // The table shows no recipients: unless a condition asks for them, they are not gathered.
  const bool shows_recipients = options.json;
  MessageFactsCollector collector(SearchRowTest(wanted),
                                  shows_recipients || wanted.to ? FactsRead::kSendersAndRecipients
                                                                : FactsRead::kSendersOnly);
  // Joined before the run's store closes.
  std::jthread walking_content_tables;
  AnalysisObserver observer;
  if (folders.empty()) {
    observer.message_row = [&collector, &run](std::uint32_t number, const ese::Record* record) {
      collector.Take(run.recovery(), number, record);
    };
    observer.messages_read = [&walking_content_tables, &run] {
      walking_content_tables = WalkContentTables(run.recovery().session());
    };
  }
  if (const int code = run.Analyse(observer); code != kExitOk) return code;
  std::optional<GatheredMessageFacts> gathered;
  if (folders.empty()) gathered = collector.Finish(run.recovery());
  std::vector<TreeNodeHandle> starts;
  for (const std::string& folder : folders) {
    const std::vector<TreeNodeHandle> matches = run.FolderMatches(Utf8ToUtf16(folder));
    if (matches.size() != 1) return ReportFolderMatches(run, folder, matches);
    starts.push_back(matches.front());
  }

  Recovery& recovery = run.recovery();
  ResultPrinter printer(options.json, recovery.layout());
  SearchItems(
      recovery, wanted, starts,
      [&printer](const SearchMatch& match) {
        printer.Print(match.folder_path, match.row, match.position);
        return true;
      },
      [&printer](const SearchProgress&) {
        printer.Flush();
        return true;
      },
      std::move(gathered), shows_recipients);
  run.window().ClearProgress();
  printer.Finish(LossesJson(recovery.session().database()));
  return FinishRead(recovery.session().database(), options.quiet);
}

}  // namespace tarvex::cli
