// `tarvex search`: the items of every mailbox, or of the folders named, that meet every
// condition given, printed as they are found.

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <unordered_set>

#include "base/code_page_1252.h"
#include "base/terminal_text.h"
#include "base/utf_conversion.h"
#include "cli/commands.h"
#include "cli/database_run.h"
#include "cli/display_width.h"
#include "cli/item_json.h"
#include "cli/read_outcome.h"
#include "cli/text_match.h"
#include "content/html_visible_text.h"
#include "mailbox/mailbox_loading.h"
#include "output/preview.h"

namespace tarvex::cli {
namespace {

using nlohmann::json;

std::u16string Cell(const ListRow& row, std::size_t column) {
  return column < row.size() ? row[column] : std::u16string();
}

// What the header row does not tell: the recipients of the 2010 layout and the body. Read
// once per item, whatever conditions ask for them.
struct ItemDetails {
  std::u16string recipients;  // To, Cc and Bcc, one per line
  std::u16string body;
};

// Body files hold UTF-16LE (with or without its mark), UTF-8 or 8-bit text.
std::u16string DecodeBodyFile(const std::string& bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    return DecodeUtf16LeStrict(bytes.substr(2)).value_or(std::u16string());
  }
  bool zero_in_odd_byte = false;
  for (std::size_t i = 1; i < bytes.size() && i < 256; i += 2) zero_in_odd_byte |= bytes[i] == 0;
  if (zero_in_odd_byte && bytes.size() % 2 == 0) {
    if (std::optional<std::u16string> text = DecodeUtf16LeStrict(bytes)) return *text;
  }
  if (std::optional<std::u16string> text = DecodeUtf8Strict(bytes)) return *text;
  return Windows1252ToUtf16(bytes);
}

// The preview's own road to the item's record finds its recipients and body.
ItemDetails ReadDetails(Recovery& recovery, const ListRow& row) {
  ItemListRow listed;
  for (std::size_t column = 0; column < listed.size() && column < row.size(); ++column) {
    listed[column] = row[column];
  }
  SelectedItem selected = SelectedItem::FromListRow(listed);
  recovery.body() = BodyState{};
  if (recovery.layout() == StoreLayout::k2010) {
    ShowItemPreview2010(recovery, selected);
  } else {
    ShowItemPreviewOlder(recovery, selected);
  }
  ItemDetails details;
  details.recipients = selected.recipients + u"\n" + selected.copy_recipients + u"\n" +
                       selected.blind_copy_recipients;
  const BodyState& body = recovery.body();
  std::u16string text = body.text;
  if (text.empty() && body.format != BodyFormat::kNone) {
    const std::filesystem::path& file =
        body.stored_path.empty() ? body.file_path : body.stored_path;
    std::ifstream stream(file, std::ios::binary);
    text =
        DecodeBodyFile({std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()});
  }
  details.body = body.format == BodyFormat::kHtml ? HtmlVisibleText(text) : text;
  return details;
}

struct Conditions {
  std::optional<TextMatch> from;
  std::optional<TextMatch> to;
  std::optional<TextMatch> subject;
  std::optional<TextMatch> body;
  std::optional<TextMatch> kind;
  std::string after;  // ISO 8601 UTC, empty when not given
  std::string before;
  bool has_attachment = false;
};

// "2010-01-05" or "2010-01-05T09:03[:07][Z]" as "2010-01-05T09:03:07Z"; none for other texts.
std::optional<std::string> DateBound(const std::string& given) {
  static const std::regex kDate(R"((\d{4}-\d\d-\d\d)(?:[T ](\d\d:\d\d)(:\d\d)?Z?)?)");
  std::smatch parts;
  if (!std::regex_match(given, parts, kDate)) return std::nullopt;
  return parts[1].str() + "T" + (parts[2].matched ? parts[2].str() : "00:00") +
         (parts[3].matched ? parts[3].str() : ":00") + "Z";
}

// Header conditions first: they cost nothing, and an item they turn away is never read.
bool MeetsHeaderConditions(const Conditions& wanted, const ListRow& row) {
  if (wanted.from && !wanted.from->Matches(Cell(row, 4))) return false;
  if (wanted.subject && !wanted.subject->Matches(Cell(row, 5))) return false;
  if (wanted.kind && !wanted.kind->Matches(Cell(row, 1))) return false;
  if (wanted.has_attachment && Cell(row, 7) != u"true") return false;
  if (!wanted.after.empty() || !wanted.before.empty()) {
    const std::optional<std::string> date = IsoDate(Cell(row, 6));
    if (!date) return false;
    if (!wanted.after.empty() && *date < wanted.after) return false;
    if (!wanted.before.empty() && *date >= wanted.before) return false;
  }
  return true;
}

bool MeetsAll(const Conditions& wanted, Recovery& recovery, const ListRow& row) {
  if (!MeetsHeaderConditions(wanted, row)) return false;
  // The older layout's list carries the recipients; the 2010 layout's are in the record.
  const bool recipients_listed = recovery.layout() == StoreLayout::kOlder;
  if (wanted.to && recipients_listed &&
      !wanted.to->Matches(Cell(row, 8) + u"\n" + Cell(row, 9) + u"\n" + Cell(row, 10))) {
    return false;
  }
  if (!wanted.body && (!wanted.to || recipients_listed)) return true;
  const ItemDetails details = ReadDetails(recovery, row);
  if (wanted.to && !recipients_listed && !wanted.to->Matches(details.recipients)) return false;
  return !wanted.body || wanted.body->Matches(details.body);
}

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

  void Print(const std::u16string& folder_path, const ListRow& row, std::size_t position) {
    if (json_) {
      json item = ItemJson(row, layout_, position);
      item["path"] = Utf16ToUtf8(folder_path);
      std::printf("%s\n  %s", printed_ == 0 ? "" : ",", TerminalSafeJson(item.dump()).c_str());
    } else {
      auto shown = [&row](std::size_t column, std::size_t width) {
        return PadToWidth(TerminalText(Cell(row, column)), width);
      };
      std::printf("%5zu  %s %s %s %s %s\n", position, shown(1, 12).c_str(), shown(4, 24).c_str(),
                  shown(5, 36).c_str(), shown(6, 20).c_str(), TerminalText(folder_path).c_str());
    }
    ++printed_;
    std::fflush(stdout);
  }

  void Finish(const json& losses) {
    if (json_) std::printf("\n], \"losses\": %s}\n", losses.dump().c_str());
  }

 private:
  bool json_;
  StoreLayout layout_;
  std::size_t printed_ = 0;
};

}  // namespace

int RunSearch(const std::filesystem::path& database, const std::vector<std::string>& folders,
              const SearchOptions& search, const CommonOptions& options) {
  Conditions wanted;
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
    const std::optional<std::string> date = DateBound(*given);
    if (!date) {
      PrintError("not a date: " + *given + " (give it as 2010-01-05 or 2010-01-05T09:03:07Z)");
      return kExitUsage;
    }
    *bound = *date;
  }
  wanted.has_attachment = search.has_attachment;

  // A body is read through files in the working folder, a few for every item: in memory, they
  // cost what the reading costs; on a disk, the file system's flushing outweighs the rest.
  const WorkingFolder scratch(std::nullopt, MemoryBackedFolder());
  std::optional<std::filesystem::path> workdir = options.workdir;
  if (!workdir && scratch.error().empty()) workdir = scratch.path();
  DatabaseRun run(database, workdir, StreamOf(options),
                  options.deep ? ScanDepth::kDeep : ScanDepth::kQuick);
  if (const int code = run.Analyse(); code != kExitOk) return code;
  std::vector<TreeNodeHandle> starts;
  for (const std::string& folder : folders) {
    const std::vector<TreeNodeHandle> matches = run.FolderMatches(Utf8ToUtf16(folder));
    if (matches.size() != 1) return ReportFolderMatches(run, folder, matches);
    starts.push_back(matches.front());
  }
  if (folders.empty()) starts = run.window().Node(run.root()).children;

  Recovery& recovery = run.recovery();
  ResultPrinter printer(options.json, recovery.layout());
  // Each folder once, with the folders below it.
  std::unordered_set<TreeNodeHandle> searched;
  std::function<void(TreeNodeHandle)> search_below = [&](TreeNodeHandle node) {
    if (!searched.insert(node).second) return;
    if (!run.FolderKindOf(node).empty()) {
      const std::vector<ListRow> rows = run.ListItems(node);
      const std::u16string path = run.PathOf(node);
      for (std::size_t i = 0; i < rows.size(); ++i) {
        if (MeetsAll(wanted, recovery, rows[i])) printer.Print(path, rows[i], i + 1);
      }
    }
    for (TreeNodeHandle child : run.window().Node(node).children) search_below(child);
  };
  for (TreeNodeHandle start : starts) search_below(start);
  run.window().ClearProgress();
  printer.Finish(LossesJson(recovery.session().database()));
  return FinishRead(recovery.session().database(), options.quiet);
}

}  // namespace tarvex::cli
