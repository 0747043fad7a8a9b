#include "mailbox/analysis.h"

#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "ese/read_losses.h"
#include "mailbox/folder_hierarchy.h"
#include "mailbox/item_extraction.h"
#include "mailbox/recovered_items.h"
#include "store/recovery_report.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kPleaseWaitPage =
    u"<div align=\"center\"><br><br><h1 >Please wait...</h1><br><h3>Scanning process "
    u"started<h3><br></div>";
constexpr std::u16string_view kCompletedPage =
    u"<div align=\"center\"><br><br><h1 >Analysis Completed...</h1><br><br></div>";

void EndAsFailure(Recovery& recovery) {
  WindowPort& window = recovery.window();
  window.SetStatusText(u"Unable to Recover Exchange Database ");
  window.ShowMessage(kUnableToRecoverMessage, MessageKind::kInformation);
  window.EnableControl(WindowControl::kBrowseButton, true);
  window.EnableMenuCommand(MenuCommand::kOpenExchangeEdb, true);
}

NamedTableHandlers OlderLayoutHandlers(Recovery& recovery, const AnalysisObserver& observer) {
  NamedTableHandlers handlers;
  handlers.mailbox = [&recovery](const ese::Record* record, std::uint32_t) {
    HandleMailboxRow(recovery, record);
  };
  handlers.folder = FolderRowHandler(recovery);
  handlers.message = [&recovery, &observer](const ese::Record* record, std::uint32_t number) {
    HandleMessageRow(recovery, record, number);
    if (observer.message_row) observer.message_row(number, record);
  };
  handlers.attachment = [&recovery](const ese::Record* record, std::uint32_t number) {
    HandleAttachmentRow(recovery, record, number);
  };
  return handlers;
}

void ScanOlderLayout(Recovery& recovery, const NamedTableHandlers& handlers,
                     const AnalysisObserver& observer) {
  WindowPort& window = recovery.window();
  StoreSession& session = recovery.session();
  window.SetStatusText(
      u"Status: (Step 4/7) Rebuilding mailbox folder information (please wait...) ");
  session.ScanNamedTable(u"Folders", handlers, recovery.scan_context());
  BuildFolderTree(recovery);
  AddRecoveredItemsFolders(recovery);
  window.SetStatusText(
      u"Status: (Step 5/7) Extracting mailbox email information (please wait...) ");
  session.ScanNamedTable(u"Msg", handlers, recovery.scan_context());
  if (observer.messages_read) observer.messages_read();
  window.SetStatusText(
      u"Status: (Step 5/7) Extracting mailbox email attachment information (please wait...) ");
  session.ScanNamedTable(session.attachment_table_name(), handlers, recovery.scan_context());
  recovery.indexes().CatchUpAfterAnalysis(recovery.model());
}

void Scan2010Layout(Recovery& recovery) {
  WindowPort& window = recovery.window();
  StoreSession& session = recovery.session();
  window.SetStatusText(u"2010");
  MailboxModel& model = recovery.model();
  for (const TableEntry& entry : session.catalog().entries()) {
    if (Split(entry.name, u'-').front() == u"Folders") model.folder_tables.PutAtFront(entry.name);
  }
  for (const std::u16string& table_name : model.folder_tables) {
    if (table_name.empty()) continue;
    if (recovery.pause_gate().IsCancelled()) return;
    window.SetStatusText(u"Status: Extracting Exchange 2010 Folder Information.  " + table_name);
    for (const TableEntry& entry : session.catalog().entries()) {
      if (entry.name == table_name) ScanFolderTable(recovery, entry.table, entry.name);
    }
  }
  AddRecoveredItemsFolders(recovery);
}

}  // namespace

std::u16string AnalysisCompletedMessage(const Recovery& recovery) {
  const ese::ReadLosses losses = ese::LossesOf(recovery.session().database());
  if (!losses.Any()) return std::u16string(kAnalysisCompletedMessage);
  return std::u16string(kAnalysisLossesMessage) + Utf8ToUtf16(ese::DescribeLosses(losses));
}

AnalysisOutcome RunAnalysis(Recovery& recovery, const std::filesystem::path& database,
                            ScanDepth depth, const AnalysisObserver& observer) {
  WindowPort& window = recovery.window();
  window.EnableMenuCommand(MenuCommand::kOpenExchangeEdb, false);
  window.EnableMenuCommand(MenuCommand::kSaveMailbox, false);
  recovery.Reset();

  window.SetStatusText(u"Status: (Step 1/7) Initializing Exchange EDB File (please wait...) ");
  recovery.ShowMessagePage(kPleaseWaitPage);
  if (depth == ScanDepth::kDeep) {
    window.SetStatusText(u"Status: Deep scan: reading every page of the file (please wait..) ");
  }
  StoreSession::OpenResult opened = StoreSession::Open(
      database, depth == ScanDepth::kDeep ? std::optional<ScanContext>(recovery.scan_context())
                                          : std::nullopt);
  if (const auto* failure = std::get_if<StoreOpenFailure>(&opened)) {
    switch (*failure) {
      case StoreOpenFailure::kCannotInitialize:
        window.SetStatusText(u"Status: Unable to Initialize Database ");
        EndAsFailure(recovery);
        return AnalysisOutcome::kFailed;
      case StoreOpenFailure::kCannotOpen:
        EndAsFailure(recovery);
        return AnalysisOutcome::kFailed;
    }
  }
  recovery.AttachSession(std::move(std::get<std::unique_ptr<StoreSession>>(opened)));
  StoreSession& session = recovery.session();

  const CatalogResult catalog = session.BuildTableCatalog();
  if (catalog == CatalogResult::kFailed) {
    window.SetStatusText(u"Status: Unable to Recover Exchange Database ");
  } else if (catalog == CatalogResult::kComplete) {
    window.SetStatusText(u"Status: (Step 2/7) Scanning MSysObjects Table (please wait...) ");
  }
  window.EnableControl(WindowControl::kFolderTree, false);
  session.RecogniseLayout();

  const NamedTableHandlers handlers = OlderLayoutHandlers(recovery, observer);
  if (session.store_kind() == StoreKind::kPrivate) {
    window.SetStatusText(
        u"Status: (Step 3/7) Scanning Exchange Store Information (please wait...) ");
    session.ScanNamedTable(u"Mailbox", handlers, recovery.scan_context());
  } else {
    AddPublicMailbox(recovery);
  }
  if (recovery.layout() == StoreLayout::kOlder) {
    ScanOlderLayout(recovery, handlers, observer);
  } else {
    Scan2010Layout(recovery);
  }

  window.SetStatusText(u"Status: Analysis Completed ");
  if (catalog == CatalogResult::kComplete) window.EnableControl(WindowControl::kFolderTree, true);
  recovery.ShowMessagePage(std::u16string(kCompletedPage) + RecoveryReportHtml(session.database()));
  window.EnableControl(WindowControl::kBrowseButton, true);
  window.EnableControl(WindowControl::kSaveMailboxButton, true);
  window.EnableMenuCommand(MenuCommand::kOpenExchangeEdb, true);
  window.EnableMenuCommand(MenuCommand::kSaveMailbox, true);
  window.ShowMessage(AnalysisCompletedMessage(recovery), MessageKind::kInformation);
  window.SetStatusText(u"");
  return AnalysisOutcome::kCompleted;
}

}  // namespace tarvex
