#include "cli/commands.h"

#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>

#include "base/file_names.h"
#include "base/terminal_text.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "cli/database_run.h"
#include "cli/display_width.h"
#include "cli/item_json.h"
#include "cli/read_outcome.h"
#include "ese/database.h"
#include "mailbox/folder_hierarchy.h"
#include "mailbox/mailbox_loading.h"
#include "output/export_item_record.h"
#include "output/export_working_files.h"
#include "output/export_writers.h"
#include "output/mime_message_writer.h"
#include "output/preview.h"

namespace tarvex::cli {
namespace {

using nlohmann::json;

std::string Utf8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

void PrintJson(const json& document) {
  std::printf("%s\n", TerminalSafeJson(document.dump(2)).c_str());
}

std::string LayoutName(StoreLayout layout) {
  return layout == StoreLayout::k2010 ? "2010" : "older";
}

// A store without a "Mailbox" table is public, unless the catalogue lost tables: then it
// may have lost that one too.
std::string StoreKindName(StoreKind kind, bool catalog_complete) {
  if (kind == StoreKind::kPrivate) return "private";
  return catalog_complete ? "public" : "unknown";
}

std::string Hex(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%x", value);
  return buffer;
}

ScanDepth DepthOf(const CommonOptions& options) {
  return options.deep ? ScanDepth::kDeep : ScanDepth::kQuick;
}

using ItemCounts = std::unordered_map<TreeNodeHandle, std::size_t>;

std::size_t ItemCountOf(const ItemCounts& counts, TreeNodeHandle node) {
  const auto found = counts.find(node);
  return found == counts.end() ? 0 : found->second;
}

// A node with its path and id as folder arguments take them, its own items and those of
// every folder below it.
json TreeJson(DatabaseRun& run, const ItemCounts& counts, TreeNodeHandle node) {
  const TreeNode& tree_node = run.window().Node(node);
  json folders = json::array();
  std::size_t total = ItemCountOf(counts, node);
  for (TreeNodeHandle child : tree_node.children) {
    folders.push_back(TreeJson(run, counts, child));
    total += folders.back().at("total_items").get<std::size_t>();
  }
  json entry = {{"name", Utf8(tree_node.text)},
                {"items", ItemCountOf(counts, node)},
                {"total_items", total},
                {"folders", folders}};
  if (node != run.root()) {
    entry["path"] = Utf8(run.PathOf(node));
    const std::u16string id = run.IdOf(node);
    entry["id"] = id.empty() ? json(nullptr) : json(Utf8(id));
  }
  const std::u16string kind = run.FolderKindOf(node);
  if (!kind.empty()) entry["kind"] = Utf8(kind);
  return entry;
}

void PrintTreeText(DatabaseRun& run, const ItemCounts& counts, TreeNodeHandle node, int depth) {
  const TreeNode& tree_node = run.window().Node(node);
  std::string line(static_cast<std::size_t>(depth) * 2, ' ');
  line += TerminalText(tree_node.text);
  const std::u16string kind = run.FolderKindOf(node);
  if (!kind.empty()) {
    const std::size_t items = ItemCountOf(counts, node);
    line += "  [" + TerminalText(kind) + "] " + std::to_string(items) +
            (items == 1 ? " item" : " items");
  }
  std::printf("%s\n", line.c_str());
  for (TreeNodeHandle child : tree_node.children) PrintTreeText(run, counts, child, depth + 1);
}

// The row of `item` among the listed rows: by message id first, then by 1-based position.
std::optional<std::size_t> FindItemRow(const std::vector<std::vector<std::u16string>>& rows,
                                       const std::string& item) {
  const std::u16string id = Utf8ToUtf16(item);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].empty() && rows[i][0] == id) return i;
  }
  if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos ||
      item.size() > 9) {
    return std::nullopt;
  }
  const std::size_t position = std::stoul(item);
  if (position < 1 || position > rows.size()) return std::nullopt;
  return position - 1;
}

// Analyses the store and lists the folder; prints the reason and returns the exit code when
// either fails.
int ListFolder(DatabaseRun& run, const std::string& folder,
               std::vector<std::vector<std::u16string>>& rows) {
  if (const int code = run.Analyse(); code != kExitOk) return code;
  const std::vector<TreeNodeHandle> matches = run.FolderMatches(Utf8ToUtf16(folder));
  if (matches.size() != 1) return ReportFolderMatches(run, folder, matches);
  rows = run.ListItems(matches.front());
  return kExitOk;
}

// Every node's path below `node`, one a line: what shell completion offers for FOLDER.
void PrintPaths(const DatabaseRun& run, TreeNodeHandle node) {
  for (TreeNodeHandle child : run.window().Node(node).children) {
    std::printf("%s\n", TerminalText(run.PathOf(child)).c_str());
    PrintPaths(run, child);
  }
}

// The subject without the characters that would make a file name lie about itself: line
// breaks and other controls, and the marks that reorder text ("\u202e" shows "exe.txt" as
// "txt.exe").
std::u16string WithoutInvisibleControls(std::u16string_view text) {
  std::u16string kept;
  for (char16_t unit : text) {
    const bool control = unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
    const bool reordering = unit == 0x061C || unit == 0x200E || unit == 0x200F ||
                            (unit >= 0x202A && unit <= 0x202E) ||
                            (unit >= 0x2066 && unit <= 0x2069);
    if (!control && !reordering) kept.push_back(unit);
  }
  return kept;
}

// The list as a table; the number is the item's place in the list, as `show` and `eml` take it.
void PrintItemTable(const std::vector<std::vector<std::u16string>>& rows) {
  auto shown = [](const std::vector<std::u16string>& row, std::size_t column, std::size_t width) {
    std::string text;
    AppendTerminalColumn(column < row.size() ? std::u16string_view(row[column]) : u"", width,
                         text);
    return text;
  };
  std::printf("%5s  %s %s %s %s %s\n", "No", PadToWidth("Kind", 12).c_str(),
              PadToWidth("From", 28).c_str(), PadToWidth("Subject", 40).c_str(),
              PadToWidth("Date", 20).c_str(), "Att");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    std::printf("%5zu  %s %s %s %s %s\n", i + 1, shown(row, 1, 12).c_str(),
                shown(row, 4, 28).c_str(), shown(row, 5, 40).c_str(), shown(row, 6, 20).c_str(),
                row.size() > 7 && row[7] == u"true" ? "yes" : "");
  }
}

}  // namespace

int RunInfo(const std::filesystem::path& database, const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, true);
  // Only the catalogue and the mailboxes are needed, not the whole analysis.
  if (const int code = CheckDatabaseFile(database); code != kExitOk) return code;
  // With --deep the catalogue is read with the census too, so that the tables it names are
  // those a deep analysis would find.
  StoreSession::OpenResult opened = StoreSession::Open(
      database,
      options.deep ? std::optional<ScanContext>(run.recovery().scan_context()) : std::nullopt);
  if (!std::holds_alternative<std::unique_ptr<StoreSession>>(opened)) {
    PrintError("the store cannot be read: " + database.string());
    return kExitUnreadableStore;
  }
  Recovery& recovery = run.recovery();
  recovery.AttachSession(std::move(std::get<std::unique_ptr<StoreSession>>(opened)));
  StoreSession& session = recovery.session();
  const bool catalog_complete = session.BuildTableCatalog() != CatalogResult::kFailed;
  session.RecogniseLayout();
  if (session.store_kind() == StoreKind::kPrivate) {
    NamedTableHandlers handlers;
    handlers.mailbox = [&recovery](const ese::Record* record, std::uint32_t) {
      HandleMailboxRow(recovery, record);
    };
    session.ScanNamedTable(u"Mailbox", handlers, recovery.scan_context());
  } else {
    AddPublicMailbox(recovery);
  }

  json tables = json::array();
  for (const TableEntry& entry : session.catalog().entries()) tables.push_back(Utf8(entry.name));
  json mailboxes = json::array();
  for (const MailboxEntry& mailbox : recovery.model().mailboxes) {
    mailboxes.push_back({{"name", Utf8(mailbox.display_name)},
                         {"owner", Utf8(mailbox.owner_text)},
                         {"key", Utf8(mailbox.mailbox_key)}});
  }
  if (options.json) {
    PrintJson({{"database", database.string()},
               {"format_version", session.format_version()},
               {"format_revision", session.format_revision()},
               {"creation_format_version", session.creation_format_version()},
               {"creation_format_revision", session.creation_format_revision()},
               {"page_size", session.page_size()},
               {"layout", LayoutName(recovery.layout())},
               {"store_kind", StoreKindName(session.store_kind(), catalog_complete)},
               {"attachment_table", Utf8(session.attachment_table_name())},
               {"catalog_complete", catalog_complete},
               {"tables", tables},
               {"mailboxes", mailboxes},
               {"losses", LossesJson(session.database())}});
    return FinishRead(session.database(), options.quiet);
  }
  std::printf("Database:          %s\n", TerminalText(database.string()).c_str());
  std::printf("Format:            %s, revision %u (created %s, revision %u)\n",
              Hex(session.format_version()).c_str(), session.format_revision(),
              Hex(session.creation_format_version()).c_str(), session.creation_format_revision());
  std::printf("Page size:         %u bytes\n", session.page_size());
  std::printf("Layout:            %s\n", LayoutName(recovery.layout()).c_str());
  std::printf("Store kind:        %s\n",
              StoreKindName(session.store_kind(), catalog_complete).c_str());
  if (!session.attachment_table_name().empty()) {
    std::printf("Attachment table:  %s\n", TerminalText(session.attachment_table_name()).c_str());
  }
  if (!catalog_complete) std::printf("Catalogue:         incomplete (a table could not be read)\n");
  std::printf("Tables (%zu):\n", tables.size());
  for (const json& table : tables) {
    std::printf("  %s\n", TerminalText(table.get<std::string>()).c_str());
  }
  std::printf("Mailboxes (%zu):\n", mailboxes.size());
  for (const json& mailbox : mailboxes) {
    std::printf("  %s\n", TerminalText(mailbox["name"].get<std::string>()).c_str());
  }
  return FinishRead(session.database(), options.quiet);
}

int RunTree(const std::filesystem::path& database, const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, StreamOf(options), DepthOf(options));
  if (const int code = run.Analyse(); code != kExitOk) return code;
  const ese::Database& store = run.recovery().session().database();
  if (options.paths) {
    PrintPaths(run, run.root());
    return FinishRead(store, options.quiet);
  }
  run.window().SetStatusText(u"Counting the items of every folder");
  const ItemCounts counts = CountItemsByFolder(run.recovery());
  run.window().ClearProgress();
  if (options.json) {
    json tree = TreeJson(run, counts, run.root());
    tree["losses"] = LossesJson(store);
    PrintJson(tree);
  } else {
    PrintTreeText(run, counts, run.root(), 0);
  }
  return FinishRead(store, options.quiet);
}

int RunList(const std::filesystem::path& database, const std::string& folder,
            const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, StreamOf(options), DepthOf(options));
  std::vector<std::vector<std::u16string>> rows;
  if (const int code = ListFolder(run, folder, rows); code != kExitOk) return code;
  if (options.json) {
    json items = json::array();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      items.push_back(ItemJson(rows[i], run.recovery().layout(), i + 1));
    }
    PrintJson({{"items", items}, {"losses", LossesJson(run.recovery().session().database())}});
    return FinishRead(run.recovery().session().database(), options.quiet);
  }
  PrintItemTable(rows);
  return FinishRead(run.recovery().session().database(), options.quiet);
}

}  // namespace tarvex::cli

namespace tarvex::cli {

int RunShow(const std::filesystem::path& database, const std::string& folder,
            const std::string& item, const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, StreamOf(options), DepthOf(options));
  std::vector<std::vector<std::u16string>> rows;
  if (const int code = ListFolder(run, folder, rows); code != kExitOk) return code;
  const std::optional<std::size_t> row = FindItemRow(rows, item);
  if (!row) {
    PrintError("no item \"" + item + "\" in \"" + folder +
               "\" (give its id or its position, see `tarvex list`)");
    return kExitUnknownFolder;
  }
  ItemListRow selected;
  for (std::size_t column = 0; column < selected.size() && column < rows[*row].size(); ++column) {
    selected[column] = rows[*row][column];
  }
  run.window().Navigate({});
  ShowItemPreview(run.recovery(), selected);
  const std::filesystem::path& page = run.window().last_page();
  if (page.empty()) {
    // No page: either the folder took no files, or the item's record could not be read.
    const std::filesystem::path& work = run.recovery().working_folder();
    if (const std::optional<std::string> problem = WriteProblemIn(work)) {
      PrintError("the item's pages could not be written into " + work.string() + ": " + *problem);
      return kExitWriteFailed;
    }
    PrintError("item \"" + item + "\" of \"" + folder +
               "\" could not be read: its record is damaged or missing");
    return kExitUnreadableStore;
  }
  // The page takes the item's name, so that a folder of several shown items says which is which.
  const std::filesystem::path named =
      page.parent_path() / PathFromText(SafeFileName(WithoutInvisibleControls(selected[5]),
                                                     u"item " + Utf8ToUtf16(item)) +
                                        u".preview.html");
  std::error_code error;
  std::filesystem::rename(page, named, error);
  if (error) {
    PrintError("cannot write " + named.string() + ": " + CauseOf(error.value()));
    return kExitWriteFailed;
  }
  std::printf("%s\n", TerminalText(named.string()).c_str());
  return FinishRead(run.recovery().session().database(), options.quiet);
}

}  // namespace tarvex::cli

namespace tarvex::cli {

int RunEml(const std::filesystem::path& database, const std::string& folder,
           const std::string& item, const std::filesystem::path& out,
           const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, StreamOf(options), DepthOf(options));
  std::vector<std::vector<std::u16string>> rows;
  if (const int code = ListFolder(run, folder, rows); code != kExitOk) return code;
  const std::optional<std::size_t> row = FindItemRow(rows, item);
  if (!row) {
    PrintError("no item \"" + item + "\" in \"" + folder +
               "\" (give its id or its position, see `tarvex list`)");
    return kExitUnknownFolder;
  }
  ItemListRow listed;
  for (std::size_t column = 0; column < listed.size() && column < rows[*row].size(); ++column) {
    listed[column] = rows[*row][column];
  }
  // The preview finds the body, the attachments and (2010 layout) the recipients; the message
  // is then written as the export writes a mail item.
  Recovery& recovery = run.recovery();
  SelectedItem selected = SelectedItem::FromListRow(listed);
  if (recovery.layout() == StoreLayout::k2010) {
    ShowItemPreview2010(recovery, selected);
  } else {
    ShowItemPreviewOlder(recovery, selected);
  }
  const BodyState& body = recovery.body();
  EmlMessage message;
  message.message_path = recovery.working_folder() / "message.eml";
  message.from = selected.sender;
  message.to = selected.recipients;
  message.cc = selected.copy_recipients;
  message.bcc = selected.blind_copy_recipients;
  message.date = selected.date;
  message.subject = selected.subject;
  message.transport_headers = selected.stored_message.transport_headers;
  message.message_id = selected.stored_message.message_id;
  message.in_reply_to = selected.stored_message.in_reply_to;
  message.references = selected.stored_message.references;
  message.item_id = selected.item_key;
  message.body_kind = BodyKindText(body);
  message.body_file = body.stored_path.empty() ? body.file_path : body.stored_path;
  message.body_encoding = BodyEncodingOf(body);
  message.attachment_list =
      selected.attachment_names.empty()
          ? std::u16string()
          : FilterAttachmentFiles(recovery.working_folder(), selected.attachment_names);
  WriteEmlFile(message);
  std::error_code error;
  std::filesystem::copy_file(message.message_path, out,
                             std::filesystem::copy_options::overwrite_existing, error);
  if (error) {
    // Copying onto a folder fails as an invalid argument; the user is told what it is.
    PrintError("cannot write " + out.string() + ": " +
               (std::filesystem::is_directory(out) ? "is a directory" : CauseOf(error.value())));
    return kExitWriteFailed;
  }
  if (options.json) {
    json attachments = json::array();
    for (const std::u16string& file : Split(message.attachment_list, u';')) {
      if (!file.empty()) attachments.push_back(Utf8(TextFromPath(PathFromText(file).filename())));
    }
    PrintJson({{"file", std::filesystem::absolute(out, error).string()},
               {"folder", folder},
               {"id", Utf8(selected.item_key)},
               {"subject", Utf8(selected.subject)},
               {"attachments", attachments},
               {"losses", LossesJson(recovery.session().database())}});
  } else {
    std::printf("%s\n", TerminalText(out.string()).c_str());
  }
  return FinishRead(recovery.session().database(), options.quiet);
}

}  // namespace tarvex::cli
