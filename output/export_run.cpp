#include "output/export_run.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <map>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "base/file_names.h"
#include "base/program_files.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/text_transformations.h"
#include "mailbox/item_extraction.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/recovered_items.h"
#include "mailbox/table_columns.h"
#include "output/export_queue.h"
#include "output/export_working_files.h"
#include "output/preview_record.h"
#include "store/value_text.h"

namespace tarvex {
namespace {

unsigned KindFlag(std::u16string_view kind) {
  if (kind == u"contact") return kExportContacts;
  if (kind == u"appointment") return kExportCalendar;
  if (kind == u"task") return kExportTasks;
  if (kind == u"notes") return kExportNotes;
  if (kind == u"activity") return kExportJournal;
  if (kind == u"distlist") return kExportDistLists;
  return kExportMail;
}

bool Wanted(unsigned kinds, std::u16string_view kind) {
  return (kinds & KindFlag(kind)) != 0;
}

// The columns of each table the writers read records from, found once per run.
class ColumnCache {
 public:
  explicit ColumnCache(StoreSession& session) : session_(session) {}
  const TableColumns& For(std::u16string_view name, const ese::Table* table, ColumnLookup lookup) {
    auto found = columns_.find(std::u16string(name));
    if (found != columns_.end()) return found->second;
    TableColumns& columns = columns_[std::u16string(name)];
    if (table != nullptr) columns.Find(session_, table, lookup);
    return columns;
  }

 private:
  StoreSession& session_;
  std::map<std::u16string, TableColumns> columns_;
};

// "a@x,b@y," as the older layout keeps recipients: "[a@x] [b@y]".
std::u16string BracketedAddresses(std::u16string_view addresses) {
  std::u16string bracketed;
  for (const std::u16string& address : Split(addresses, u',')) {
    if (address.empty()) continue;
    if (!bracketed.empty()) bracketed += u' ';
    bracketed += u"[" + address + u"]";
  }
  return bracketed;
}

// A 2010 public store names its folders in the alternative identifier form, but a folder's
// parent in the plain hexadecimal one; this turns the second into the first.
std::u16string PublicFolderKey(std::u16string_view hex_id) {
  if (hex_id.empty() || hex_id.size() > 16) return u"";
  std::uint64_t value = 0;
  for (char16_t unit : hex_id) {
    int digit = -1;
    if (unit >= u'0' && unit <= u'9') digit = unit - u'0';
    if (unit >= u'a' && unit <= u'f') digit = unit - u'a' + 10;
    if (unit >= u'A' && unit <= u'F') digit = unit - u'A' + 10;
    if (digit < 0) return u"";
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  std::array<std::uint8_t, 8> bytes{};
  for (std::size_t index = 0; index < bytes.size(); ++index) {
    bytes[index] = static_cast<std::uint8_t>(value >> (56 - 8 * index));
  }
  return AlternativeIdentifierText(bytes, ByteOrder::kBigEndian);
}

// A Maildir++ folder name holds the whole path of a deep folder, which can pass the 255 bytes
// a file name may have: such a name keeps its start and ends in "~" and a hash of the whole.
std::u16string FileNameWithinLimit(const std::u16string& name) {
  constexpr std::size_t kLongestName = 255;
  constexpr std::size_t kKeptBytes = 200;
  if (Utf16ToUtf8(name).size() <= kLongestName) return name;
  std::uint32_t hash = 2166136261u;  // FNV-1a: the same name gets the same hash every run
  for (char16_t unit : name) hash = (hash ^ unit) * 16777619u;
  std::u16string kept;
  std::size_t bytes = 0;
  for (std::size_t index = 0; index < name.size(); ++index) {
    const std::size_t length = name[index] < 0x80 ? 1 : name[index] < 0x800 ? 2 : 3;
    const bool pair = index + 1 < name.size() && name[index] >= 0xD800 && name[index] < 0xDC00;
    if (bytes + (pair ? 4 : length) > kKeptBytes) break;
    kept += name[index];
    if (pair) kept += name[++index];
    bytes += pair ? 4 : length;
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "~%08x", hash);
  return kept + FromAscii(suffix);
}

std::u16string SenderForExport(std::u16string_view sender) {
  return ReplacedAll(ReplacedAll(sender, u"[", u"<"), u"]", u">");
}

class ExportRunner {
 public:
  ExportRunner(Recovery& recovery, const ExportRequest& request, ExportSession& session,
               ExportedFiles& exported)
      : recovery_(recovery),
        request_(request),
        session_(session),
        columns_(recovery.session()),
        folder_paths_(session.output_folder, request.mail_format == ExportMailFormat::kMaildir),
        exported_(exported) {
    IndexFolderNodes();
  }

  // False when the run was cancelled.
  bool ExportFolder(TreeNodeHandle node) {
    if (recovery_.layout() == StoreLayout::k2010) {
      for (const FolderNode& folder : recovery_.model().folder_nodes) {
        if (folder.tree_item != node) continue;
        if (!Export2010Folder(folder)) return false;
      }
      return true;
    }
    for (const FolderLink& link : recovery_.model().folder_links) {
      if (link.tree_item != node) continue;
      if (!ExportOlderFolder(link)) return false;
    }
    return true;
  }

 private:
  static std::u16string NodeKey(std::u16string_view table, std::u16string_view key) {
    return std::u16string(table) + u'\n' + std::u16string(key);
  }

  void IndexFolderNodes() {
    for (const FolderNode& node : recovery_.model().folder_nodes) {
      nodes_.emplace(NodeKey(node.table_name, node.folder_key), &node);
      // A public store keeps its folders in tables of their own; parents are found by key.
      nodes_.emplace(NodeKey(u"", node.folder_key), &node);
    }
  }

  // The names from the top folder down to `folder`; a loop of parents ends the walk.
  std::vector<std::u16string> FolderNames(const FolderNode& folder) const {
    std::vector<std::u16string> names;
    const FolderNode* node = &folder;
    constexpr std::size_t kDeepestFolder = 500;
    while (node != nullptr && names.size() < kDeepestFolder) {
      names.insert(names.begin(), node->display_name);
      if (node->parent_id.empty() || node->parent_id == node->folder_key) break;
      auto parent = nodes_.find(NodeKey(node->table_name, node->parent_id));
      if (parent == nodes_.end() && recovery_.is_public_store()) {
        parent = nodes_.find(NodeKey(u"", PublicFolderKey(node->parent_id)));
      }
      node = parent == nodes_.end() ? nullptr : parent->second;
    }
    return names;
  }

  bool Checkpoint() {
    if (recovery_.pause_gate().Checkpoint()) return true;
    cancelled_ = true;
    return false;
  }

  void Save(SaveQueueEntry entry, const ExportItemValues& values) {
    ++session_.loop_record_number;
    queue_.push_back(std::move(entry));
    SaveQueuedItems(session_, queue_, values);
  }

  bool Export2010Folder(const FolderNode& folder) {
    EnterFolder(folder_paths_.PathOf(folder.mailbox_name, FolderNames(folder)));
    // The header and body tables of the folder's mailbox, read once, as a first selection would.
    LoadHeadersAndBodies(recovery_, folder);
    if (recovery_.pause_gate().IsCancelled()) return false;
    const std::u16string table_set =
        folder.table_name == u"Folders" ? u"Folders-" + folder.folder_key : folder.table_name;
    const std::vector<const ItemHeader*> headers = HeadersOfFolder(recovery_, folder, table_set);
    for (const ItemHeader* header : headers) {
      if (!Checkpoint()) return false;
      if (LeftOut(header->message_id, header->item_kind, header->subject, header->state)) {
        continue;
      }
      // Each header's own tables: a Recovered items folder gathers several.
      const std::u16string header_set = ReplacedAll(header->table_name, u"MsgHeader", u"Folders");
      const std::u16string body_table_name = ReplacedAll(header_set, u"Folders", u"Body");
      const ItemBodyLocation location = LocateItemBody(recovery_, header->message_id, header_set);
      Recovery::BodyTable& body_table = recovery_.body_table();
      ExportItemValues values;
      values.table = body_table.open ? body_table.table : nullptr;
      values.columns = &columns_.For(body_table_name, values.table, ColumnLookup::kContent);
      values.record_number = location.record_number;
      values.attachment_ids = location.attachment_list;
      // Record number 0 also stands for "no body row": then no other item's row is read.
      values.has_record =
          recovery_.indexes().LastBodyRefFor(recovery_.model(), header->message_id, body_table_name,
                                             !recovery_.is_public_store()) != nullptr;
      std::u16string sender_address;
      if (values.table != nullptr && values.has_record) {
        const std::optional<ese::Record> row = values.table->ReadRecord(values.record_number);
        if (row) {
          PreviewRecord record(recovery_.reader(), &*row, *values.columns);
          std::u16string addresses =
              ExtractMailAddresses(CollapseRecipientSpaces(record.Text(u"N67b4")));
          if (addresses.empty()) addresses = ExtractMailAddresses(record.Text(u"N2c"));
          values.recipients = BracketedAddresses(addresses);
          sender_address = ExtractMailAddresses(record.HexText(u"S4025"));
          if (sender_address.empty()) sender_address = ExtractMailAddresses(record.Text(u"S4031"));
        }
      }
      // The header table keeps the sender's name only; the address is in the body row.
      std::u16string sender = SenderForExport(header->sender);
      const std::size_t first_end = sender_address.find(u',');
      if (sender.find(u'<') == std::u16string::npos && first_end != std::u16string::npos) {
        sender += u" <" + sender_address.substr(0, first_end) + u">";
      }
      Save(
          {header->message_id, header->item_kind, std::move(sender), header->subject, header->date},
          values);
    }
    return true;
  }

  // An item of a kind not chosen, or deleted and not asked for, is counted and reported as
  // skipped.
  bool LeftOut(std::u16string_view item_id, std::u16string_view kind, std::u16string_view subject,
               std::u16string_view state) {
    std::u16string reason;
    if (!Wanted(request_.kinds, kind)) {
      reason = u"its kind was not chosen";
    } else if (!request_.include_deleted && state == ItemStateText(ese::RecordState::kDeleted)) {
      reason = u"deleted items were not asked for";
      ++session_.deleted_left_out;
    } else {
      return false;
    }
    ++session_.items_skipped;
    ExportItemResult result;
    result.folder = PathBelow(session_.output_folder, PathFromText(session_.folder_path));
    result.item_id = item_id;
    result.kind = kind;
    result.subject = subject;
    result.reason = std::move(reason);
    session_.results.push_back(std::move(result));
    return true;
  }

  // The folder path of an exported folder; for a Maildir, the folder and its mailbox's root
  // are made Maildirs at once, so that a folder without mail still opens.
  void EnterFolder(std::u16string path) {
    session_.folder_path = std::move(path);
    session_.loop_record_number = 0;
    const std::filesystem::path folder = PathFromText(session_.folder_path);
    // The folder and every folder above it up to the output folder: a replacing export removes
    // those it leaves empty.
    std::filesystem::path below;
    for (const std::filesystem::path& part : folder.lexically_relative(session_.output_folder)) {
      below /= part;
      exported_.folders.insert(TextFromPath(below));
    }
    if (request_.mail_format != ExportMailFormat::kMaildir) return;
    for (const std::filesystem::path& maildir : {folder, folder.parent_path()}) {
      std::error_code error;
      for (const char* part : {"cur", "new", "tmp"}) {
        std::filesystem::create_directories(maildir / part, error);
      }
    }
    // Maildir++ marks a folder below the root so.
    const std::filesystem::path marker = folder / "maildirfolder";
    std::error_code error;
    if (!std::filesystem::exists(marker, error)) std::ofstream(marker.c_str());
    exported_.files.insert(PathBelow(session_.output_folder, marker));
  }

  bool ExportOlderFolder(const FolderLink& link) {
    std::vector<std::u16string> names;
    for (const std::u16string& name : Split(link.folder_path, u'\\')) {
      if (!name.empty()) names.push_back(name);
    }
    EnterFolder(folder_paths_.PathOf(link.mailbox_name, names));
    const ese::Table* message_table = recovery_.session().message_table();
    const TableColumns& columns = columns_.For(u"Msg", message_table, ColumnLookup::kMessageTable);
    LoadFolder(
        recovery_, link.content_key,
        [&](const FolderItem& item) {
          if (cancelled_ || !Checkpoint()) return;
          const ItemListRow& row = item.columns;
          if (LeftOut(row[0], row[1], row[5], row[kItemStateColumn])) return;
          ExportItemValues values;
          values.table = message_table;
          values.columns = &columns;
          values.record_number = item.message_record_number;
          values.attachment_ids = item.attachment_list;
          values.recipients = item.recipients;
          values.copy_recipients = item.copy_recipients;
          values.blind_copy_recipients = item.blind_copy_recipients;
          values.plain_body = item.plain_body;
          Save({row[0], row[1], SenderForExport(row[4]), row[5], row[6]}, values);
        },
        FolderItemUse::kExport);
    return !cancelled_ && !recovery_.pause_gate().IsCancelled();
  }

  Recovery& recovery_;
  const ExportRequest& request_;
  ExportSession& session_;
  ColumnCache columns_;
  ExportFolderPaths folder_paths_;
  ExportedFiles& exported_;
  SaveQueue queue_;
  std::unordered_map<std::u16string, const FolderNode*> nodes_;
  bool cancelled_ = false;
};

bool IsExecutableFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

unsigned ExportKindsFromText(std::u16string_view text) {
  static constexpr std::pair<std::u16string_view, unsigned> kNames[] = {
      {u"mail", kExportMail},          {u"contact", kExportContacts},
      {u"calendar", kExportCalendar},  {u"task", kExportTasks},
      {u"note", kExportNotes},         {u"journal", kExportJournal},
      {u"distlist", kExportDistLists}, {u"all", kExportAll}};
  unsigned kinds = 0;
  for (const std::u16string& name : Split(text, u',')) {
    const std::u16string trimmed = Trim(name);
    const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                     [&](const auto& entry) { return entry.first == trimmed; });
    if (found == std::end(kNames)) return 0;
    kinds |= found->second;
  }
  return kinds;
}

std::u16string ExportFolderPath(const std::filesystem::path& output_folder,
                                std::u16string_view mailbox_name,
                                const std::vector<std::u16string>& folder_names) {
  return ExportFolderPaths(output_folder).PathOf(mailbox_name, folder_names);
}

ExportFolderPaths::ExportFolderPaths(const std::filesystem::path& output_folder, bool maildir)
    : output_folder_(TextFromPath(output_folder)), maildir_(maildir) {
  while (output_folder_.size() > 1 && output_folder_.back() == u'/') output_folder_.pop_back();
}

std::u16string ExportFolderPaths::PathOf(std::u16string_view mailbox_name,
                                         const std::vector<std::u16string>& folder_names) {
  // Names are made unique per parent folder in both layouts, so that the Maildir names of two
  // folders never meet either.
  std::u16string path = output_folder_;
  path += u'/';
  path += names_in_[path].For(mailbox_name, u"Mailbox");
  std::u16string maildir_name;
  std::u16string key = path;
  for (const std::u16string& name : folder_names) {
    key += u'/';
    const std::u16string file_name = names_in_[key].For(name, u"Folder");
    key += file_name;
    maildir_name += u'.' + ReplacedAll(file_name, u".", u"_");
  }
  if (!maildir_) return key;
  return folder_names.empty() ? path : path + u'/' + FileNameWithinLimit(maildir_name);
}

std::optional<ExportMailFormat> ExportMailFormatFromText(std::string_view text) {
  if (text == "mbox") return ExportMailFormat::kMbox;
  if (text == "maildir") return ExportMailFormat::kMaildir;
  if (text == "eml") return ExportMailFormat::kEml;
  return std::nullopt;
}

std::string_view ExportMailFormatName(ExportMailFormat format) {
  switch (format) {
    case ExportMailFormat::kMaildir:
      return "maildir";
    case ExportMailFormat::kEml:
      return "eml";
    case ExportMailFormat::kMbox:
      break;
  }
  return "mbox";
}

bool HoldsEarlierExport(const std::filesystem::path& output_folder) {
  return EarlierExport(output_folder).has_value();
}

ExportOutcome RunExport(Recovery& recovery, const ExportRequest& request) {
  ExportOutcome outcome;
  const std::filesystem::path saver =
      request.saver.empty() ? SaverProgram(recovery.program_folder()) : request.saver;
  const std::filesystem::path manifest_folder =
      request.manifest_folder.empty() ? recovery.program_folder() : request.manifest_folder;
  std::filesystem::path output_folder = request.output_folder.lexically_normal();
  if (!output_folder.has_filename() && output_folder.has_parent_path()) {
    output_folder = output_folder.parent_path();
  }
  std::error_code error;
  if (!recovery.has_session()) {
    outcome.error = u"No database is open.";
  } else if (!IsExecutableFile(saver)) {
    outcome.error = u"The saver program was not found: " + TextFromPath(saver);
  } else if (!std::filesystem::is_directory(manifest_folder, error)) {
    outcome.error =
        u"The folder of the export manifest does not exist: " + TextFromPath(manifest_folder);
  } else if (output_folder.empty() || (!std::filesystem::create_directories(output_folder, error) &&
                                       !std::filesystem::is_directory(output_folder, error))) {
    outcome.error = u"The output folder cannot be created: " + TextFromPath(output_folder);
  }
  if (!outcome.error.empty()) return outcome;

  // An earlier export in the folder is kept, replaced or added to only as asked: a second run
  // would otherwise add every item a second time.
  ExportedFiles exported;
  if (std::optional<ExportedFiles> earlier = EarlierExport(output_folder)) {
    switch (request.earlier_export) {
      case EarlierExportChoice::kRefuse:
        outcome.refused_earlier_export = true;
        outcome.error = u"The output folder " + TextFromPath(output_folder) +
                        u" holds an earlier export. Choose to replace it or to add to it, or "
                        u"choose another folder.";
        return outcome;
      case EarlierExportChoice::kReplace:
        if (!RemoveEarlierExport(output_folder, *earlier)) {
          outcome.error = u"The earlier export in " + TextFromPath(output_folder) +
                          u" could not be removed completely.";
          return outcome;
        }
        break;
      case EarlierExportChoice::kAppend:
        exported = std::move(*earlier);
        break;
    }
  }
  ++exported.runs;
  const std::string_view format_name = ExportMailFormatName(request.mail_format);
  // Marks the folder before the first item, so that an export that breaks off is recognised.
  WriteExportReport(output_folder, ExportReportJson({}, exported, format_name, false));

  WindowPort& window = recovery.window();
  TreeAndListDisabled disabled(window);
  ExportSession session(recovery, saver, manifest_folder, output_folder, std::string(format_name));
  // The working folder is the user's choice and may hold files of their own.
  session.kept_files = FilesIn(recovery.working_folder());
  session.saver_answer_limit = request.saver_answer_limit;
  ExportRunner runner(recovery, request, session, exported);
  const int folder_count = static_cast<int>(request.folders.size());
  window.SetProgressRange(0, folder_count);
  window.SetProgressPosition(0);
  std::unordered_set<TreeNodeHandle> exported_nodes;
  for (int index = 0; index < folder_count; ++index) {
    const TreeNodeHandle node = request.folders[static_cast<std::size_t>(index)];
    // A folder named twice is saved once: the saver appends, so a second pass doubles it.
    if (!exported_nodes.insert(node).second) {
      window.SetProgressPosition(index + 1);
      continue;
    }
    if (!runner.ExportFolder(node)) {
      outcome.cancelled = true;
      break;
    }
    ++outcome.folders_exported;
    window.SetProgressPosition(index + 1);
  }
  session.saver_process.Finish();
  window.SetStatusText(u"");
  for (const ExportItemResult& item : session.results) {
    if (item.written) exported.files.insert(item.file);
  }
  outcome.items_saved = session.items_saved;
  outcome.items_skipped = session.items_skipped;
  outcome.saver_failures = session.saver_failures;
  outcome.deleted_left_out = session.deleted_left_out;
  outcome.report = ExportReportJson(session.results, exported, format_name, !outcome.cancelled);
  outcome.items = std::move(session.results);
  if (!WriteExportReport(output_folder, outcome.report)) {
    outcome.error = u"The export report could not be written into " + TextFromPath(output_folder);
  }
  return outcome;
}

}  // namespace tarvex
