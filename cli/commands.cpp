#include "cli/commands.h"

#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>

#include "base/file_names.h"
#include "base/terminal_text.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "cli/database_run.h"
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

// Loads a folder's items through the window and returns its rows.
std::vector<std::vector<std::u16string>> ItemsOf(DatabaseRun& run, TreeNodeHandle node) {
  run.window().ClearList();
  LoadMailbox(run.recovery(), node);
  return run.window().ListRows();
}

using ItemCounts = std::unordered_map<TreeNodeHandle, std::size_t>;

std::size_t ItemCountOf(const ItemCounts& counts, TreeNodeHandle node) {
  const auto found = counts.find(node);
  return found == counts.end() ? 0 : found->second;
}

json TreeJson(DatabaseRun& run, const ItemCounts& counts, TreeNodeHandle node) {
  const TreeNode& tree_node = run.window().Node(node);
  json folders = json::array();
  for (TreeNodeHandle child : tree_node.children) folders.push_back(TreeJson(run, counts, child));
  json entry = {{"name", Utf8(tree_node.text)}, {"folders", folders}};
  const std::u16string kind = run.FolderKindOf(node);
  if (!kind.empty()) {
    entry["kind"] = Utf8(kind);
    entry["items"] = ItemCountOf(counts, node);
  }
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

// Column names of the item list; the hidden columns carry other keys in the 2010 layout.
std::vector<std::string> ListColumnNames(StoreLayout layout) {
  if (layout == StoreLayout::k2010) {
    return {"id",   "kind",        "number",     "tables",  "from",   "subject",
            "date", "attachments", "folder_key", "mailbox", "folder", "state"};
  }
  return {"id", "kind", "number", "attachment_list", "from", "subject", "date", "attachments",
          "to", "cc",   "bcc",  "state"};
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
  const std::optional<TreeNodeHandle> node = run.FindFolder(Utf8ToUtf16(folder));
  if (!node) {
    PrintError("no folder \"" + folder + "\" in " + run.database().string() +
               " (see `tarvex tree` for the folder paths)");
    return kExitUnknownFolder;
  }
  rows = ItemsOf(run, *node);
  return kExitOk;
}

}  // namespace

int RunInfo(const std::filesystem::path& database, const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, true);
  // Only the catalogue and the mailboxes are needed, not the whole analysis.
  if (const int code = CheckDatabaseFile(database); code != kExitOk) return code;
  // With --deep the catalogue is read with the census too, so that the tables it names are
  // those a deep analysis would find.
  StoreSession::OpenResult opened = StoreSession::Open(
      database, options.deep ? std::optional<ScanContext>(run.recovery().scan_context())
                             : std::nullopt);
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
  DatabaseRun run(database, options.workdir, options.quiet, DepthOf(options));
  if (const int code = run.Analyse(); code != kExitOk) return code;
  const ese::Database& store = run.recovery().session().database();
  const ItemCounts counts = CountItemsByFolder(run.recovery());
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
  DatabaseRun run(database, options.workdir, options.quiet, DepthOf(options));
  std::vector<std::vector<std::u16string>> rows;
  if (const int code = ListFolder(run, folder, rows); code != kExitOk) return code;
  const std::vector<std::string> names = ListColumnNames(run.recovery().layout());
  auto cell = [](const std::vector<std::u16string>& row, std::size_t column) {
    return column < row.size() ? Utf8(row[column]) : std::string();
  };
  if (options.json) {
    json items = json::array();
    for (const auto& row : rows) {
      json item = json::object();
      for (std::size_t column = 0; column < names.size(); ++column) {
        item[names[column]] = cell(row, column);
      }
      items.push_back(item);
    }
    PrintJson({{"items", items}, {"losses", LossesJson(run.recovery().session().database())}});
    return FinishRead(run.recovery().session().database(), options.quiet);
  }
  auto shown = [](const std::vector<std::u16string>& row, std::size_t column) {
    return column < row.size() ? TerminalText(row[column]) : std::string();
  };
  std::printf("%-6s %-12s %-30s %-40s %-21s %s\n", "No", "Kind", "From", "Subject", "Date", "Att");
  for (const auto& row : rows) {
    std::printf("%-6s %-12s %-30s %-40s %-21s %s\n", shown(row, 2).c_str(), shown(row, 1).c_str(),
                shown(row, 4).c_str(), shown(row, 5).c_str(), shown(row, 6).c_str(),
                shown(row, 7).c_str());
  }
  return FinishRead(run.recovery().session().database(), options.quiet);
}

}  // namespace tarvex::cli

namespace tarvex::cli {

int RunShow(const std::filesystem::path& database, const std::string& folder,
            const std::string& item, const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, options.quiet, DepthOf(options));
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
  std::printf("%s\n", TerminalText(page.string()).c_str());
  return FinishRead(run.recovery().session().database(), options.quiet);
}

}  // namespace tarvex::cli

namespace tarvex::cli {

int RunEml(const std::filesystem::path& database, const std::string& folder,
           const std::string& item, const std::filesystem::path& out,
           const CommonOptions& options) {
  DatabaseRun run(database, options.workdir, options.quiet, DepthOf(options));
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
    PrintError("cannot write " + out.string() + ": " + CauseOf(error.value()));
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
