// Drives the real main window over edbforge stores of both layouts.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <fstream>
#include <map>
#include <memory>

#include "app/application.h"
#include "app/export_options_dialog.h"
#include "app/folder_tree_widget.h"
#include "app/item_list_cells.h"
#include "app/local_page_scheme.h"
#include "app/main_window.h"
#include "app/page_encoding.h"
#include "app/preview_browser.h"
#include "app/qt_text.h"
#include "app/source_selection_dialog.h"
#include "app/status_progress.h"
#include "app/store_search_panel.h"
#include "base/private_folder.h"
#include "fake_dialogs.h"
#include "mailbox/analysis.h"
#include "mailbox/item_extraction.h"
#include "mailbox/item_search.h"
#include "mailbox/recovery.h"
#include "support/recording_window_port.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {

namespace {

// Only a ceiling: each wait ends at the event it waits for. A loaded machine (several builds
// beside the tests) took more than 30 s for one preview.
constexpr int kWorkTimeout = 120000;

QString Q(std::u16string_view text) {
  return ToQString(text);
}

// The window built for one test, with its dialogs answered by `dialogs`.
struct TestWindow {
  FakeDialogs dialogs;
  int end_requests = 0;
  std::unique_ptr<MainWindow> window =
      std::make_unique<MainWindow>(dialogs, [this] { ++end_requests; });
};

// The text of a page file the program wrote (FF FE and UTF-16LE).
QString PageText(const std::filesystem::path& page) {
  std::ifstream file(page, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  if (bytes.size() < 2) return QString();
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                            static_cast<qsizetype>((bytes.size() - 2) / 2));
}

// Lets go of a drag carrying `url` over the window; true when the window took the drag.
bool DropOnWindow(QWidget& window, const QUrl& url) {
  QMimeData data;
  data.setUrls({url});
  const QPoint centre = window.rect().center();
  QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  return true;
}

// An item a store search found: its folder, its number in the folder's list and its id.
struct FoundItem {
  QString folder_path;
  std::size_t position = 0;
  QString message_id;
  bool operator==(const FoundItem&) const = default;
};

// What the core finds in `database` for `conditions`, analysed without a window.
std::vector<FoundItem> CoreFinds(const std::filesystem::path& database,
                                 const SearchConditions& conditions) {
  RecordingWindowPort recorder;
  PauseGate gate;
  QTemporaryDir folder;
  MessagePages pages(ToPath(folder.path()));
  Recovery recovery(recorder, gate, ToPath(folder.path()), ToPath(folder.path()), pages);
  recovery.set_root_node(recorder.InsertTreeNode(kTopOfTree, u"store.edb", 0));
  std::vector<FoundItem> found;
  if (RunAnalysis(recovery, database) != AnalysisOutcome::kCompleted) return found;
  SearchItems(recovery, conditions, {}, [&found](const SearchMatch& match) {
    found.push_back({ToQString(match.folder_path), match.position, ToQString(match.row[0])});
    return true;
  });
  return found;
}

// What the window's search panel lists, with the same names.
std::vector<FoundItem> PanelFinds(const StoreSearchPanel& panel, const FolderTreeWidget& tree) {
  std::vector<FoundItem> found;
  QTreeWidget* list = panel.result_list();
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    const StoreSearchResult& result = panel.result(row);
    found.push_back({list->topLevelItem(row)->text(0), result.position, result.message_id});
    // The folder named is the node the result opens.
    if (tree.Item(result.folder) == nullptr) found.back().folder_path.clear();
  }
  return found;
}

QTreeWidgetItem* FindNode(QTreeWidgetItem* node, const QString& text) {
  if (node->text(0) == text) return node;
  for (int i = 0; i < node->childCount(); ++i) {
    if (QTreeWidgetItem* found = FindNode(node->child(i), text)) return found;
  }
  return nullptr;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();

  void startupCancelLeavesEmptyWindow();
  void sourceSelectionRules();
  void startUpRunEmptiesTheWorkingFolder();
  void storeOpensFromEveryPath_data();
  void storeOpensFromEveryPath();
  void analysisFillsTreeAsTheCoreBuildsIt_data();
  void analysisFillsTreeAsTheCoreBuildsIt();
  void folderListAndItemPreview_data();
  void folderListAndItemPreview();
  void stopPausesTheWorkerUntilResume();
  void saveMailboxExportsTheCheckedFolders();
  void saveMailboxAsksAboutAnEarlierExport();
  void exportDialogOffersTheMailFormats();
  void checkBoxesCarryDownAndUp();
  void escapeDoesNotCloseAndExitAsks();
  void browserShowsPageFilesInTheirEncoding();
  void deepScanListsDeletedItemsApart();
  void listCellsSortAndProgressNeverGoesBack();
  void pagesFollowADarkPalette();
  void storeSearchFindsAndOpensItems_data();
  void storeSearchFindsAndOpensItems();

 private:
  std::filesystem::path Store(const QString& scenario) const {
    return ToPath(scratch_.filePath(scenario + QStringLiteral(".edb")));
  }
  // Answers the source selection with `database`, a working folder in the scratch folder and
  // the deep scan when asked for.
  void ChooseSource(TestWindow& test, const std::filesystem::path& database,
                    const QString& folder_name, bool deep = false);
  // Analyses the store through the source selection and waits until the analysis has ended.
  void Analyse(TestWindow& test, const std::filesystem::path& database, const QString& folder_name,
               bool deep = false);
  void Analyse(TestWindow& test, const QString& scenario) {
    Analyse(test, Store(scenario), scenario);
  }
  // Selects the first mailbox's Inbox and waits until its items are listed.
  void SelectInbox(TestWindow& test);
  void Screenshot(QWidget& widget, const QString& name);

  QTemporaryDir scratch_;
};

void WindowTest::initTestCase() {
  QVERIFY(scratch_.isValid());
  // The default working folder goes into the cache folder: the test's own, not the user's.
  qputenv("XDG_CACHE_HOME", scratch_.filePath(QStringLiteral("cache")).toLocal8Bit());
  for (const char* scenario : {"older-private", "2010-private", "older-public"}) {
    const std::filesystem::path source =
        std::filesystem::path(TARVEX_SCENARIO_DIR) / (std::string(scenario) + ".json");
    edbforge::BuildStore(edbforge::ReadScenarioFile(source), Store(QString::fromLatin1(scenario)));
  }
  std::filesystem::create_directories(TARVEX_SCREENSHOT_DIR);
}

void WindowTest::cleanupTestCase() {}

void WindowTest::ChooseSource(TestWindow& test, const std::filesystem::path& database,
                              const QString& folder_name, bool deep) {
  test.dialogs.database_choice = PathToQString(database);
  test.dialogs.folder_choice = scratch_.filePath(folder_name);
  std::filesystem::create_directories(ToPath(*test.dialogs.folder_choice));
  test.dialogs.select_source = [deep](SourceSelectionDialog& dialog) {
    dialog.OnBrowse();
    dialog.OnSelectTempFolder();
    if (deep) dialog.deep_scan_button()->setChecked(true);
    dialog.OnNext();
  };
}

void WindowTest::Analyse(TestWindow& test, const std::filesystem::path& database,
                         const QString& folder_name, bool deep) {
  ChooseSource(test, database, folder_name, deep);
  test.window->OnBrowse();
  QTRY_VERIFY_WITH_TIMEOUT(test.dialogs.WasShown(Q(kAnalysisCompletedMessage)), kWorkTimeout);
  test.window->WaitForWorkers();
}

void WindowTest::SelectInbox(TestWindow& test) {
  QTreeWidgetItem* inbox = FindNode(test.window->tree()->topLevelItem(0), QStringLiteral("Inbox"));
  QVERIFY(inbox != nullptr);
  test.window->tree()->setCurrentItem(inbox);
  QTRY_VERIFY_WITH_TIMEOUT(test.window->list()->rowCount() > 0 && !test.window->WorkerRunning(),
                           kWorkTimeout);
}

void WindowTest::Screenshot(QWidget& widget, const QString& name) {
  const QString file = PathToQString(std::filesystem::path(TARVEX_SCREENSHOT_DIR)) +
                       QLatin1Char('/') + name + QStringLiteral(".png");
  QVERIFY(widget.grab().save(file));
}

void WindowTest::startupCancelLeavesEmptyWindow() {
  TestWindow test;
  test.window->show();
  QTRY_COMPARE(test.dialogs.source_selections, 1);
  QCOMPARE(test.window->tree()->topLevelItemCount(), 0);
  QCOMPARE(test.window->list()->rowCount(), 0);
  QCOMPARE(test.window->status_label()->text(), Q(kApplicationTitle) + QLatin1Char(' '));
  QVERIFY(!test.window->WorkerRunning());
  // The list shows only From, Subject, Date and Att; the rest carry data.
  QTableWidget* list = test.window->list();
  QCOMPARE(list->columnCount(), kItemListColumnCount);
  for (int column = 0; column < kItemListColumnCount; ++column) {
    QCOMPARE(list->isColumnHidden(column),
             !(column >= 4 && column <= 7) && column != kItemStateColumn);
  }
  QCOMPARE(list->horizontalHeaderItem(4)->text(), QStringLiteral("From"));
  QCOMPARE(list->horizontalHeaderItem(7)->text(), QStringLiteral("Att"));
  QVERIFY(list->showGrid());
  QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
  Screenshot(*test.window, QStringLiteral("01-start-cancelled"));
}

void WindowTest::sourceSelectionRules() {
  FakeDialogs dialogs;
  SourceSelection selection;
  const std::filesystem::path doomed = ToPath(scratch_.filePath(QStringLiteral("doomed.edb")));
  std::ofstream(doomed) << "x";
  dialogs.database_choice = PathToQString(doomed);
  {
    SourceSelectionDialog dialog(selection, dialogs);
    dialog.OnBrowse();
    QCOMPARE(dialog.database_edit()->text(), PathToQString(doomed));
    QCOMPARE(selection.working_folder, UserWorkingFolderParent() / "Tarvex");
    dialogs.folder_choice = scratch_.filePath(QStringLiteral("chosen"));
    dialog.OnSelectTempFolder();
    QCOMPARE(selection.working_folder, ToPath(*dialogs.folder_choice) / "TarvexTemp");
    QCOMPARE(dialog.working_folder_edit()->text(), PathToQString(selection.working_folder));
    // Choosing the database again brings back the default folder.
    dialog.OnBrowse();
    QCOMPARE(selection.working_folder, UserWorkingFolderParent() / "Tarvex");

    std::filesystem::remove(doomed);
    dialog.OnNext();
    QCOMPARE(dialogs.messages.size(), std::size_t{1});
    QCOMPARE(dialogs.messages[0].text, QStringLiteral("Please select a valid file"));
    QCOMPARE(dialogs.messages[0].kind, MessageKind::kError);
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(dialog.accepted_flag());
    dialog.reject();
    QVERIFY(!dialog.accepted_flag());
  }
  // The next use starts with empty fields but keeps the previous database.
  std::ofstream(doomed) << "x";
  SourceSelectionDialog again(selection, dialogs);
  QVERIFY(again.database_edit()->text().isEmpty());
  again.OnNext();
  QCOMPARE(again.result(), int(QDialog::Accepted));
  QVERIFY(again.accepted_flag());
}

void WindowTest::startUpRunEmptiesTheWorkingFolder() {
  TestWindow test;
  ChooseSource(test, Store(QStringLiteral("older-public")), QStringLiteral("start-up"));
  const std::filesystem::path working = ToPath(*test.dialogs.folder_choice) / "TarvexTemp";
  std::filesystem::create_directories(working / "kept");
  std::ofstream(working / "stale.html") << "old";
  std::ofstream(working / "kept" / "inner.txt") << "old";
  test.window->show();
  QTRY_VERIFY_WITH_TIMEOUT(test.dialogs.WasShown(Q(kAnalysisCompletedMessage)), kWorkTimeout);
  test.window->WaitForWorkers();
  QVERIFY(!std::filesystem::exists(working / "stale.html"));
  QVERIFY(std::filesystem::exists(working / "kept" / "inner.txt"));
  QCOMPARE(test.window->selection().working_folder, working);

  // Later runs leave the folder's files alone.
  std::ofstream(working / "stale.html") << "old";
  test.window->OnBrowse();
  QTRY_VERIFY_WITH_TIMEOUT(test.window->browse_button()->isEnabled(), kWorkTimeout);
  test.window->WaitForWorkers();
  QVERIFY(std::filesystem::exists(working / "stale.html"));

  // A working folder that is a link (a folder someone put there first) is refused: no run.
  std::filesystem::remove_all(working);
  const std::filesystem::path elsewhere = ToPath(scratch_.filePath(QStringLiteral("elsewhere")));
  std::filesystem::create_directories(elsewhere);
  std::filesystem::create_directory_symlink(elsewhere, working);
  test.window->OnBrowse();
  QVERIFY(!test.dialogs.messages.empty());
  QCOMPARE(test.dialogs.messages.back().kind, MessageKind::kError);
  QVERIFY(test.dialogs.messages.back().text.endsWith(QStringLiteral("it is a symbolic link")));
  QVERIFY(std::filesystem::is_empty(elsewhere));
}

void WindowTest::storeOpensFromEveryPath_data() {
  QTest::addColumn<QString>("route");
  for (const char* route : {"command line", "drop", "path field", "dialog field"}) {
    QTest::newRow(route) << QString::fromLatin1(route);
  }
}

void WindowTest::storeOpensFromEveryPath() {
  QFETCH(QString, route);
  const std::filesystem::path store = Store(QStringLiteral("older-public"));
  const QString typed_folder = scratch_.filePath(QStringLiteral("typed-folder"));
  TestWindow test;
  if (route == QStringLiteral("command line")) {
    // A relative path means the folder the program was started in.
    const QString started_in = QDir::currentPath();
    QVERIFY(QDir::setCurrent(scratch_.path()));
    const std::filesystem::path named = DatabaseArgument(
        {QStringLiteral("tarvex-mailbox-rescue"), QStringLiteral("older-public.edb")});
    QVERIFY(QDir::setCurrent(started_in));
    QCOMPARE(named, store);
    QVERIFY(DatabaseArgument({QStringLiteral("tarvex-mailbox-rescue")}).empty());
    test.window->set_startup_database(named);
    test.window->show();
  } else {
    test.window->show();
    QTRY_COMPARE(test.dialogs.source_selections, 1);  // cancelled
    if (route == QStringLiteral("drop")) {
      QVERIFY(!DropOnWindow(*test.window,
                            QUrl::fromLocalFile(scratch_.filePath(QStringLiteral("notes.txt")))));
      QVERIFY(DropOnWindow(*test.window, QUrl::fromLocalFile(PathToQString(store))));
    } else if (route == QStringLiteral("path field")) {
      // Pasted with quotes and blanks around it.
      test.window->path_edit()->setText(QStringLiteral(" \"%1\" ").arg(PathToQString(store)));
      QTest::keyClick(test.window->path_edit(), Qt::Key_Return);
    } else {
      test.dialogs.select_source = [&](SourceSelectionDialog& dialog) {
        // A file manager pastes a file: URL.
        dialog.database_edit()->setText(QUrl::fromLocalFile(PathToQString(store)).toString());
        dialog.working_folder_edit()->setText(typed_folder);
        dialog.OnNext();
      };
      test.window->OnBrowse();
    }
  }
  QTRY_VERIFY_WITH_TIMEOUT(test.dialogs.WasShown(Q(kAnalysisCompletedMessage)), kWorkTimeout);
  test.window->WaitForWorkers();
  QCOMPARE(test.window->tree()->topLevelItem(0)->text(0), PathToQString(store));
  QCOMPARE(test.window->selection().database, store);
  QCOMPARE(test.window->selection().working_folder, route == QStringLiteral("dialog field")
                                                        ? ToPath(typed_folder)
                                                        : UserWorkingFolderParent() / "Tarvex");
  const int dialogs_expected = route == QStringLiteral("command line")   ? 0
                               : route == QStringLiteral("dialog field") ? 2
                                                                         : 1;
  QCOMPARE(test.dialogs.source_selections, dialogs_expected);
}

void WindowTest::analysisFillsTreeAsTheCoreBuildsIt_data() {
  QTest::addColumn<QString>("scenario");
  QTest::newRow("older layout") << QStringLiteral("older-private");
  QTest::newRow("2010 layout") << QStringLiteral("2010-private");
  QTest::newRow("public store") << QStringLiteral("older-public");
}

void WindowTest::analysisFillsTreeAsTheCoreBuildsIt() {
  QFETCH(QString, scenario);
  // The same analysis without a window gives the expected tree.
  RecordingWindowPort recorder;
  PauseGate gate;
  QTemporaryDir headless_folder;
  MessagePages pages(ToPath(headless_folder.path()));
  const std::filesystem::path database = Store(scenario);
  {
    Recovery recovery(recorder, gate, ToPath(headless_folder.path()),
                      ToPath(headless_folder.path()), pages);
    recovery.set_root_node(
        recorder.InsertTreeNode(kTopOfTree, ToU16String(PathToQString(database)), 0));
    QCOMPARE(RunAnalysis(recovery, database), AnalysisOutcome::kCompleted);
  }

  TestWindow test;
  Analyse(test, scenario);
  FolderTreeWidget* tree = test.window->tree();
  QCOMPARE(tree->topLevelItemCount(), 1);
  QCOMPARE(tree->topLevelItem(0)->text(0), PathToQString(database));
  QCOMPARE(test.window->path_edit()->text(), PathToQString(database));

  // Breadth-first over both trees: same texts, same icons, same order.
  std::vector<std::pair<QTreeWidgetItem*, TreeNodeHandle>> pending = {
      {tree->topLevelItem(0), recorder.ChildrenOf(kTopOfTree).at(0).handle}};
  std::size_t compared = 0;
  while (!pending.empty()) {
    auto [item, handle] = pending.back();
    pending.pop_back();
    const std::vector<RecordedTreeNode> children = recorder.ChildrenOf(handle);
    QCOMPARE(item->childCount(), static_cast<int>(children.size()));
    for (std::size_t i = 0; i < children.size(); ++i) {
      QTreeWidgetItem* child = item->child(static_cast<int>(i));
      QCOMPARE(child->text(0), Q(children[i].text));
      QCOMPARE(tree->ImageOf(child), children[i].image);
      QVERIFY(!child->icon(0).isNull());
      pending.emplace_back(child, children[i].handle);
      ++compared;
    }
  }
  QVERIFY(compared > 3);
  QVERIFY(tree->isEnabled());
  QVERIFY(test.window->browse_button()->isEnabled());
  QVERIFY(test.window->open_action()->isEnabled());
  QVERIFY(test.window->status_label()->text().isEmpty());
  if (scenario == QStringLiteral("older-private")) {
    QTreeWidgetItem* root = tree->topLevelItem(0);
    const std::pair<const char*, int> expected_icons[] = {
        {"Inbox", 7},  {"Sent Items", 12}, {"Calendar", 3}, {"Contacts", 4},
        {"Tasks", 13}, {"Notes", 10},      {"Journal", 8},  {"Archive", 0},
    };
    for (const auto& [name, image] : expected_icons) {
      QTreeWidgetItem* node = FindNode(root, QString::fromLatin1(name));
      QVERIFY2(node != nullptr, name);
      QCOMPARE(tree->ImageOf(node), image);
    }
    tree->expandAll();
    Screenshot(*test.window, QStringLiteral("02-analysis-older"));
  }
}

void WindowTest::folderListAndItemPreview_data() {
  QTest::addColumn<QString>("scenario");
  QTest::newRow("older layout") << QStringLiteral("older-private");
  QTest::newRow("2010 layout") << QStringLiteral("2010-private");
}

void WindowTest::folderListAndItemPreview() {
  QFETCH(QString, scenario);
  TestWindow test;
  test.window->resize(1200, 800);
  test.window->show();
  QTRY_COMPARE(test.dialogs.source_selections, 1);  // the start-up selection, cancelled
  Analyse(test, scenario);
  SelectInbox(test);
  FolderTreeWidget* tree = test.window->tree();
  QTRY_VERIFY(tree->isEnabled() && test.window->list()->isEnabled());
  QTableWidget* list = test.window->list();
  // Every row carries its message id and kind in the hidden columns.
  for (int row = 0; row < list->rowCount(); ++row) {
    QVERIFY(list->item(row, 0) != nullptr && !list->item(row, 0)->text().isEmpty());
    QVERIFY(list->item(row, 1) != nullptr && !list->item(row, 1)->text().isEmpty());
  }
  // The Inbox shows as many items beside its name as its listing has.
  QCOMPARE(FolderTreeWidget::ItemCountOf(tree->currentItem()),
           static_cast<std::size_t>(list->rowCount()));
  // A paper clip, not words, for the items with attachments.
  int attached = 0;
  for (int row = 0; row < list->rowCount(); ++row) {
    const bool has_attachments = CellValue(*list, row, kAttachmentColumn) == QStringLiteral("true");
    QVERIFY(list->item(row, kAttachmentColumn)->text().isEmpty());
    QCOMPARE(!list->item(row, kAttachmentColumn)->icon().isNull(), has_attachments);
    attached += has_attachments ? 1 : 0;
  }
  QVERIFY(attached > 0);

  // Clicks on the Date header sort by date, then the other way round; rows stay whole.
  std::map<QString, QString> subject_of_id;
  for (int row = 0; row < list->rowCount(); ++row) {
    subject_of_id[list->item(row, 0)->text()] = CellValue(*list, row, kSubjectColumn);
  }
  QHeaderView* header = list->horizontalHeader();
  const QPoint date_header(header->sectionViewportPosition(kDateColumn) + 4, header->height() / 2);
  for (const bool ascending : {true, false}) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, date_header);
    std::vector<QDateTime> dates;
    for (int row = 0; row < list->rowCount(); ++row) {
      QCOMPARE(CellValue(*list, row, kSubjectColumn), subject_of_id[list->item(row, 0)->text()]);
      const QDateTime date = QDateTime::fromString(list->item(row, kDateColumn)->text(),
                                                   QStringLiteral("MMM,dd yyyy HH:mm:ss"));
      if (date.isValid()) dates.push_back(date);
    }
    QVERIFY(dates.size() > 2 && dates.front() != dates.back());
    if (ascending) {
      QVERIFY(std::is_sorted(dates.begin(), dates.end()));
    } else {
      QVERIFY(std::is_sorted(dates.rbegin(), dates.rend()));
    }
  }

  // The search box keeps the rows whose sender, subject or recipients hold the words, in any
  // letter case, accented letters too.
  QTest::keyClicks(test.window->search_edit(), QStringLiteral("Z\u00DCRICH"));
  int matching = 0;
  for (int row = 0; row < list->rowCount(); ++row) {
    bool matches = false;
    for (int column : {kFromColumn, kSubjectColumn, kToColumn, kCcColumn, kBccColumn}) {
      matches |= CellValue(*list, row, column)
                     .contains(QStringLiteral("z\u00FCrich"), Qt::CaseInsensitive);
    }
    QCOMPARE(list->isRowHidden(row), !matches);
    matching += matches ? 1 : 0;
  }
  QVERIFY(matching > 0 && matching < list->rowCount());
  test.window->search_edit()->clear();
  for (int row = 0; row < list->rowCount(); ++row) QVERIFY(!list->isRowHidden(row));

  int mail_row = -1;
  for (int row = 0; row < list->rowCount() && mail_row < 0; ++row) {
    if (list->item(row, 1)->text() == QStringLiteral("mail") &&
        CellValue(*list, row, kAttachmentColumn) == QStringLiteral("true")) {
      mail_row = row;
    }
  }
  QVERIFY(mail_row >= 0);
  const QString subject = list->item(mail_row, 5)->text();

  const QRect cell = list->visualItemRect(list->item(mail_row, 5));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  PreviewBrowser* browser = test.window->browser();
  QTRY_VERIFY_WITH_TIMEOUT(browser->current_page().filename() == "strEmlPath.html", kWorkTimeout);
  QCOMPARE(browser->current_page().parent_path(), test.window->selection().working_folder);
  // The frameset has loaded, frames included, once the browser shows it and stops loading;
  // an earlier page's end of loading does not count.
  QTRY_VERIFY_WITH_TIMEOUT(
      browser->url() == LocalPageUrl(browser->current_page()) && !browser->page()->isLoading(),
      kWorkTimeout);
  QTRY_VERIFY(tree->isEnabled() && list->isEnabled());

  // The subject shows in the rendered header frame. The answer lands in shared state, as a
  // late one may come after this test has ended.
  const auto matches = std::make_shared<int>(-1);
  browser->page()->findText(subject, {}, [matches](const QWebEngineFindTextResult& result) {
    *matches = result.numberOfMatches();
  });
  QTRY_VERIFY_WITH_TIMEOUT(*matches >= 0, kWorkTimeout);
  QVERIFY2(*matches > 0, qPrintable(subject));
  // The subject found in the rendered frame: the page is painted for the picture, which shows
  // it without the search's colours (cleared, then a round trip to the page).
  browser->page()->findText(QString());
  *matches = -1;
  browser->page()->toPlainText([matches](const QString&) { *matches = 0; });
  QTRY_VERIFY_WITH_TIMEOUT(*matches == 0, kWorkTimeout);
  Screenshot(*test.window, QStringLiteral("03-preview-") + scenario);

  // An attachment link of the header saves the file where the user picks.
  const std::filesystem::path working = test.window->selection().working_folder;
  const QString header_page = PageText(working / "header.html");
  const qsizetype href_start = header_page.indexOf(QStringLiteral("<a href='")) + 9;
  QVERIFY(href_start >= 9);
  const QString href =
      header_page.mid(href_start, header_page.indexOf(u'\'', href_start) - href_start);
  QVERIFY2(href.endsWith(QStringLiteral("?attachment")), qPrintable(href));
  const QString name = QUrl::fromPercentEncoding(href.chopped(11).toUtf8());
  test.dialogs.save_choice = scratch_.filePath(QStringLiteral("saved-") + scenario);
  test.window->browser()->page()->load(LocalPageUrl(working / "header.html").resolved(QUrl(href)));
  QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(ToPath(*test.dialogs.save_choice)),
                           kWorkTimeout);
  QCOMPARE(test.dialogs.save_suggestions.back(), name);
  std::ifstream saved(ToPath(*test.dialogs.save_choice), std::ios::binary);
  std::ifstream original(working / ToPath(name), std::ios::binary);
  QCOMPARE(std::string((std::istreambuf_iterator<char>(saved)), {}),
           std::string((std::istreambuf_iterator<char>(original)), {}));
}

void WindowTest::stopPausesTheWorkerUntilResume() {
  TestWindow test;
  test.window->show();
  QTRY_COMPARE(test.dialogs.source_selections, 1);
  ChooseSource(test, Store(QStringLiteral("older-private")), QStringLiteral("paused"));
  // The worker's first call waits for this thread's events, so Stop lands before any table.
  test.window->OnBrowse();
  QVERIFY(test.window->pause_gate() != nullptr);
  test.dialogs.answers = {MessageAnswer::kNo, MessageAnswer::kYes, MessageAnswer::kYes};
  test.window->stop_button()->click();
  QCOMPARE(test.window->stop_button()->text(), QStringLiteral("Stop"));
  QVERIFY(!test.window->pause_gate()->IsPaused());
  test.window->stop_button()->click();
  QCOMPARE(test.dialogs.messages.back().text,
           QStringLiteral("Do you really want to stop the recovery process?"));
  QCOMPARE(test.window->stop_button()->text(), QStringLiteral("Resume"));
  QVERIFY(test.window->pause_gate()->IsPaused());
  QTRY_VERIFY(test.window->browser()->current_page().parent_path() ==
              test.window->message_folder());
  // The worker parks at its next checkpoint and goes no further while paused.
  QTRY_COMPARE_WITH_TIMEOUT(test.window->pause_gate()->parked(), 1, kWorkTimeout);
  QVERIFY(test.window->WorkerRunning());
  QVERIFY(!test.dialogs.WasShown(Q(kAnalysisCompletedMessage)));
  QVERIFY(!test.window->browse_button()->isEnabled());
  Screenshot(*test.window, QStringLiteral("04-stopped"));

  test.window->stop_button()->click();
  QCOMPARE(test.dialogs.messages.back().text,
           QStringLiteral("Do you really want to resume the recovery process?"));
  QCOMPARE(test.window->stop_button()->text(), QStringLiteral("Stop"));
  QTRY_VERIFY_WITH_TIMEOUT(test.dialogs.WasShown(Q(kAnalysisCompletedMessage)), kWorkTimeout);
  test.window->WaitForWorkers();
  QVERIFY(test.window->tree()->topLevelItem(0)->childCount() > 0);

  // With nothing left to override it, the notice stays in the preview pane.
  QSignalSpy loaded(test.window->browser(), &QWebEngineView::loadFinished);
  test.dialogs.answers = {MessageAnswer::kYes};
  test.window->stop_button()->click();
  QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && !test.window->browser()->page()->isLoading(),
                           kWorkTimeout);
  // The window navigates to a notice page of its own; what the browser then renders is the
  // browser's business (a completion page still loading may answer a text query for a while).
  const std::filesystem::path notice = test.window->browser()->current_page();
  QCOMPARE(notice.parent_path(), test.window->message_folder());
  std::ifstream notice_file(notice, std::ios::binary);
  const std::string notice_bytes((std::istreambuf_iterator<char>(notice_file)), {});
  std::string expected_units;
  for (char c : std::string("Process stopped by user...")) expected_units += {c, '\0'};
  QVERIFY(notice_bytes.find(expected_units) != std::string::npos);
  test.dialogs.answers = {MessageAnswer::kYes};
  test.window->stop_button()->click();
  QVERIFY(!test.window->pause_gate()->IsPaused());
}

void WindowTest::saveMailboxExportsTheCheckedFolders() {
  TestWindow test;
  QVERIFY(!test.window->save_button()->isEnabled());
  Analyse(test, QStringLiteral("older-private"));
  QVERIFY(test.window->save_button()->isEnabled());
  FolderTreeWidget* tree = test.window->tree();
  tree->ToggleCheck(FindNode(tree->topLevelItem(0), QStringLiteral("Inbox")));
  const std::size_t asked = test.dialogs.messages.size();

  // Cancelling the options starts nothing.
  test.dialogs.export_kinds.reset();
  test.window->save_button()->click();
  QVERIFY(!test.window->WorkerRunning());
  QCOMPARE(test.dialogs.messages.size(), asked);

  test.dialogs.export_kinds = 1u;  // e-mail items
  test.dialogs.folder_choice = scratch_.filePath(QStringLiteral("exported"));
  test.window->save_button()->click();
  QTRY_VERIFY_WITH_TIMEOUT(test.dialogs.messages.size() > asked, kWorkTimeout);
  test.window->WaitForWorkers();
  // No saver sits beside the test program: the run refuses to start and says why.
  QCOMPARE(test.dialogs.messages.back().kind, MessageKind::kError);
  QVERIFY2(test.dialogs.messages.back().text.contains(QStringLiteral("mailsaving")),
           qPrintable(test.dialogs.messages.back().text));
  QVERIFY(tree->isEnabled() && test.window->list()->isEnabled());
  QVERIFY(test.window->browse_button()->isEnabled() && test.window->save_button()->isEnabled());
}

void WindowTest::saveMailboxAsksAboutAnEarlierExport() {
  TestWindow test;
  Analyse(test, QStringLiteral("older-private"));
  test.window->tree()->ToggleCheck(
      FindNode(test.window->tree()->topLevelItem(0), QStringLiteral("Inbox")));
  const QString output = scratch_.filePath(QStringLiteral("earlier"));
  std::filesystem::create_directories(ToPath(output));
  QVERIFY(WriteExportReport(ToPath(output), nlohmann::json::object()));
  test.dialogs.export_kinds = 1u;
  test.dialogs.folder_choice = output;
  const std::size_t asked = test.dialogs.messages.size();

  // Cancelled at the question: nothing starts.
  test.dialogs.earlier_export.reset();
  test.window->save_button()->click();
  QCOMPARE(test.dialogs.earlier_export_folders, std::vector<QString>{output});
  QVERIFY(!test.window->WorkerRunning());
  QCOMPARE(test.dialogs.messages.size(), asked);

  // Answered: the run goes on (and ends for want of a saver beside the test program).
  test.dialogs.earlier_export = EarlierExportChoice::kReplace;
  test.window->save_button()->click();
  QTRY_VERIFY_WITH_TIMEOUT(test.dialogs.messages.size() > asked, kWorkTimeout);
  test.window->WaitForWorkers();
  QCOMPARE(test.dialogs.earlier_export_folders.size(), std::size_t{2});
  QVERIFY(test.dialogs.messages.back().text.contains(QStringLiteral("mailsaving")));
}

void WindowTest::exportDialogOffersTheMailFormats() {
  ExportOptionsDialog dialog;
  auto* formats = dialog.findChild<QComboBox*>(QStringLiteral("mailFormat"));
  QVERIFY(formats != nullptr);
  QCOMPARE(dialog.ChosenMailFormat(), ExportMailFormat::kMbox);  // the default
  QCOMPARE(formats->count(), 3);
  for (int index = 0; index < formats->count(); ++index) {
    formats->setCurrentIndex(index);
    // Each entry is the format `tarvex export --format` names the same.
    QCOMPARE(ExportMailFormatName(dialog.ChosenMailFormat()),
             formats->itemData(index).toString().toStdString());
  }
}

void WindowTest::deepScanListsDeletedItemsApart() {
  // The older sample with the first item of its first Inbox left deleted on its page.
  edbforge::StoreDescription description =
      edbforge::ReadScenarioFile(std::filesystem::path(TARVEX_SCENARIO_DIR) / "older-private.json");
  edbforge::FolderDescription& top = description.mailboxes.at(0).folders.at(0);
  for (edbforge::FolderDescription& folder : top.folders) {
    if (folder.name == u"Inbox") folder.items.at(0).state = edbforge::ItemState::kDeleted;
  }
  const std::filesystem::path store = Store(QStringLiteral("older-deleted"));
  edbforge::BuildStore(description, store);

  for (const bool deep : {false, true}) {
    TestWindow test;
    Analyse(test, store, deep ? QStringLiteral("deep") : QStringLiteral("quick"), deep);
    QCOMPARE(test.window->selection().deep_scan, deep);
    SelectInbox(test);
    QTableWidget* list = test.window->list();
    const QColor grey = list->palette().color(QPalette::Disabled, QPalette::Text);
    int deleted = 0;
    for (int row = 0; row < list->rowCount(); ++row) {
      const QTableWidgetItem* state = list->item(row, kItemStateColumn);
      QVERIFY(state != nullptr);
      const bool is_deleted = state->text() == QStringLiteral("deleted");
      if (!is_deleted) QCOMPARE(state->text(), QStringLiteral("live"));
      deleted += is_deleted ? 1 : 0;
      // A deleted row is greyed and in italics; a live one is not.
      QCOMPARE(list->item(row, 5)->foreground().color() == grey, is_deleted);
      QCOMPARE(list->item(row, 5)->font().italic(), is_deleted);
    }
    QCOMPARE(deleted, deep ? 1 : 0);
  }
}

void WindowTest::checkBoxesCarryDownAndUp() {
  FolderTreeWidget tree;
  const TreeNodeHandle root = tree.AddNode(kTopOfTree, QStringLiteral("store.edb"), 0);
  const TreeNodeHandle mailbox = tree.AddNode(root, QStringLiteral("Alice"), 0);
  const TreeNodeHandle other = tree.AddNode(root, QStringLiteral("Bob"), 0);
  const TreeNodeHandle inbox = tree.AddNode(mailbox, QStringLiteral("Inbox"), 7);
  const TreeNodeHandle sub = tree.AddNode(inbox, QStringLiteral("Receipts"), 0);
  const TreeNodeHandle sent = tree.AddNode(mailbox, QStringLiteral("Sent Items"), 12);
  auto checked = [&tree](TreeNodeHandle node) {
    return FolderTreeWidget::IsChecked(tree.Item(node));
  };
  auto bold = [&tree](TreeNodeHandle node) { return FolderTreeWidget::IsBold(tree.Item(node)); };
  QVERIFY(tree.Item(root)->isExpanded());
  QCOMPARE(tree.ImageOf(tree.Item(inbox)), 7);

  // A click on the box, as the user makes it.
  tree.Item(mailbox)->setCheckState(0, Qt::Checked);
  for (TreeNodeHandle node : {mailbox, inbox, sub, sent}) {
    QVERIFY(checked(node) && bold(node));
    QCOMPARE(tree.Item(node)->checkState(0), Qt::Checked);
  }
  QVERIFY(!checked(root));  // Bob is not checked
  QVERIFY(bold(root));      // but a child is bold
  QVERIFY(!checked(other) && !bold(other));

  tree.Item(sub)->setCheckState(0, Qt::Unchecked);
  QVERIFY(!checked(sub) && !bold(sub));
  QVERIFY(!checked(inbox) && !bold(inbox));
  QVERIFY(!checked(mailbox) && bold(mailbox));  // Sent Items is still checked
  QVERIFY(checked(sent) && bold(sent));
  QVERIFY(bold(root));

  // A partly checked node that is clicked becomes checked with its whole branch.
  tree.Item(mailbox)->setCheckState(0, Qt::Checked);
  QVERIFY(checked(inbox) && checked(sub) && checked(mailbox));
  tree.Item(other)->setCheckState(0, Qt::Checked);
  QVERIFY(checked(root) && bold(root));
  tree.Item(root)->setCheckState(0, Qt::Unchecked);
  for (TreeNodeHandle node : {root, mailbox, other, inbox, sub, sent}) {
    QVERIFY(!checked(node) && !bold(node));
  }
}

void WindowTest::escapeDoesNotCloseAndExitAsks() {
  TestWindow test;
  test.window->show();
  QTRY_COMPARE(test.dialogs.source_selections, 1);
  QTest::keyClick(test.window->list(), Qt::Key_Escape);
  QTest::keyClick(test.window->tree(), Qt::Key_Escape);
  QVERIFY(test.window->isVisible());

  test.dialogs.answers = {MessageAnswer::kNo};
  test.window->exit_button()->click();
  QCOMPARE(test.dialogs.messages.back().text,
           QStringLiteral("Are you sure you want to close the program?                       "));
  QCOMPARE(test.dialogs.messages.back().kind, MessageKind::kQuestion);
  QCOMPARE(test.end_requests, 0);
  // Closing the window frame asks the same question.
  test.dialogs.answers = {MessageAnswer::kNo};
  QVERIFY(!test.window->close());
  QCOMPARE(test.end_requests, 0);
  test.dialogs.answers = {MessageAnswer::kYes};
  test.window->exit_button()->click();
  QCOMPARE(test.end_requests, 1);
}

void WindowTest::browserShowsPageFilesInTheirEncoding() {
  QCOMPARE(DetectPageCharset(std::string_view("\xFF\xFE<\0h\0", 6), false), PageCharset::kUtf16Le);
  QCOMPARE(DetectPageCharset(std::string_view("H\0i\0 \0t\0", 8), true), PageCharset::kUtf16Le);
  QCOMPARE(DetectPageCharset("Gr\xC3\xBC\xC3\x9F"
                             "e",
                             true),
           PageCharset::kUtf8);
  QCOMPARE(DetectPageCharset("Gr\xFC\xDF"
                             "e",
                             true),
           PageCharset::kWindows1252);
  QCOMPARE(DetectPageCharset("<html><meta charset='koi8-r'>", false), PageCharset::kUnstated);

  TestWindow test;
  PreviewBrowser* browser = test.window->browser();
  QTemporaryDir folder;
  browser->AllowFolder(ToPath(folder.path()));
  // A fallback body file: UTF-16LE without a byte-order mark; shown with its line break.
  const std::u16string text =
      u"Gr\u00FC\u00DFe aus K\u00F6ln \u2014\n\u0395\u03BB\u03BB\u03AC\u03B4\u03B1";
  const std::filesystem::path body = ToPath(folder.filePath(QStringLiteral("textbody.txt")));
  std::ofstream(body, std::ios::binary)
      .write(reinterpret_cast<const char*>(text.data()),
             static_cast<std::streamsize>(text.size() * 2));
  QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
  browser->Navigate(body);
  QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), kWorkTimeout);
  QVERIFY(loaded.last().at(0).toBool());
  QString shown;
  bool done = false;
  browser->page()->toPlainText([&](const QString& plain) {
    shown = plain;
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done, kWorkTimeout);
  QCOMPARE(shown.trimmed(), Q(text));

  // Nothing outside the allowed folders is served, not even through "..".
  const std::filesystem::path outside = ToPath(scratch_.filePath(QStringLiteral("secret.txt")));
  std::ofstream(outside) << "secret words";
  loaded.clear();
  browser->Navigate(ToPath(folder.path()) / ".." / outside.parent_path().filename() / "secret.txt");
  QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), kWorkTimeout);
  done = false;
  browser->page()->toPlainText([&](const QString& plain) {
    shown = plain;
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done, kWorkTimeout);
  QVERIFY(!shown.contains(QStringLiteral("secret words")));
}

void WindowTest::listCellsSortAndProgressNeverGoesBack() {
  struct Order {
    int column;
    const char* earlier;
    const char* later;
  };
  const Order orders[] = {
      {kDateColumn, "Mar,14 2011 15:09:26", "Jan,05 2012 09:03:07"},  // as dates, not words
      {kDateColumn, "Dec,24 1980 00:00:00", ""},                      // a date before none
      {2, "9", "10"},                                                 // as numbers
      {kSubjectColumn, "apple", "Banana"},                            // in any letter case
      {kAttachmentColumn, "false", "true"},
  };
  const QIcon clip = AttachmentIcon();
  QVERIFY(!clip.isNull());
  for (const Order& order : orders) {
    const ItemCell earlier(order.column, QString::fromUtf8(order.earlier), clip);
    const ItemCell later(order.column, QString::fromUtf8(order.later), clip);
    QVERIFY2(earlier < later && !(later < earlier), order.earlier);
  }

  // The bar shows the whole work: the next table of a step does not take it back.
  StatusProgress progress;
  const std::function<void()> events[] = {
      [&] {
        progress.OnStatusText(QStringLiteral("Status: (Step 1/7) Scanning (please wait...) "));
      },
      [&] { progress.OnRange(0, 10); },
      [&] { progress.OnPosition(10); },
      [&] { progress.OnStatusText(QStringLiteral("Status: (Step 2/7) Scanning MSysObjects")); },
      [&] { progress.OnRange(0, 4); },
      [&] { progress.OnPosition(2); },
      [&] { progress.OnRange(0, 100); },
      [&] { progress.OnStatusText(QStringLiteral("Loading headers")); },
      [&] { progress.OnStatusText(QStringLiteral("(Step 5/7)")); },
      [&] { progress.OnRange(0, 3); },
      [&] { progress.OnPosition(3); },
  };
  const int expected[] = {0, 0, 142, 142, 142, 214, 214, 214, 571, 571, 714};
  for (std::size_t i = 0; i < std::size(events); ++i) {
    events[i]();
    QCOMPARE(progress.value(), expected[i]);
  }
  progress.Finish();
  progress.OnRange(0, 10);  // work after the end (the item counts) keeps the bar full
  QCOMPARE(progress.value(), StatusProgress::kScale);
  progress.Restart();
  QCOMPARE(progress.value(), 0);
}

void WindowTest::pagesFollowADarkPalette() {
  TestWindow test;
  test.window->resize(900, 600);
  test.window->show();
  QTRY_COMPARE(test.dialogs.source_selections, 1);
  QPalette dark = test.window->palette();
  const QColor page_colour(0x1e, 0x1f, 0x22);
  dark.setColor(QPalette::Base, page_colour);
  dark.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x30));
  dark.setColor(QPalette::Text, QColor(0xdf, 0xe1, 0xe5));
  dark.setColor(QPalette::WindowText, QColor(0xdf, 0xe1, 0xe5));
  // A notice page of the window's own, shown in the light palette; then the desktop turns dark
  // and the page follows.
  test.dialogs.answers = {MessageAnswer::kYes};
  test.window->stop_button()->click();
  PreviewBrowser* browser = test.window->browser();
  QTRY_VERIFY_WITH_TIMEOUT(
      browser->url() == LocalPageUrl(browser->current_page()) && !browser->page()->isLoading(),
      kWorkTimeout);
  test.window->setPalette(dark);
  QTRY_VERIFY_WITH_TIMEOUT(browser->grab().toImage().pixelColor(4, 4) == page_colour, kWorkTimeout);
  Screenshot(*test.window, QStringLiteral("05-dark-palette"));
}

namespace {

// Waits for `spy`'s signal until `done` holds; false when the signal stopped coming.
template <typename Condition>
bool WaitFor(QSignalSpy& spy, Condition done) {
  for (;;) {
    const qsizetype seen = spy.count();
    if (done()) return true;
    // A condition that handles events itself may have let the signal in already.
    if (spy.count() == seen && !spy.wait(kWorkTimeout)) return false;
  }
}

// Empties every condition of the search form.
void ClearSearchForm(StoreSearchPanel& panel) {
  for (QLineEdit* edit :
       {panel.from_edit(), panel.to_edit(), panel.subject_edit(), panel.body_edit()}) {
    edit->clear();
  }
  for (QCheckBox* box :
       {panel.after_box(), panel.before_box(), panel.attachment_box(), panel.regex_box()}) {
    box->setChecked(false);
  }
  panel.kind_box()->setCurrentIndex(0);
}

// Makes a request of the page and handles events until its answer has come.
void AwaitPage(const std::function<void(const std::function<void()>& done)>& request) {
  QEventLoop loop;
  bool answered = false;
  request([&] {
    answered = true;
    loop.quit();
  });
  if (!answered) loop.exec();
}

std::optional<TextMatch> Part(std::u16string_view text, TextMatchMode mode = TextMatchMode::kPart) {
  return TextMatch::Make(text, mode);
}

}  // namespace

void WindowTest::storeSearchFindsAndOpensItems_data() {
  QTest::addColumn<QString>("scenario");
  QTest::newRow("older layout") << QStringLiteral("older-private");
  QTest::newRow("2010 layout") << QStringLiteral("2010-private");
}

void WindowTest::storeSearchFindsAndOpensItems() {
  QFETCH(QString, scenario);
  const std::filesystem::path store = Store(scenario);
  TestWindow test;
  MainWindow& window = *test.window;
  StoreSearchPanel& panel = *window.search_panel();
  QSignalSpy allowed(&panel, &StoreSearchPanel::SearchAllowedChanged);
  QSignalSpy finished(&panel, &StoreSearchPanel::SearchFinished);
  QSignalSpy previewed(&window, &MainWindow::ItemPreviewed);
  const auto idle = [&panel] { return panel.search_button()->isEnabled(); };
  window.resize(1280, 960);
  window.set_startup_database(store);
  window.show();
  window.store_search_action()->trigger();
  QVERIFY(window.search_dock()->isVisible());
  // Offered once the analysis and the item counts are done.
  QVERIFY(!idle());
  QVERIFY(WaitFor(allowed, idle));

  struct Search {
    const char* name;
    std::function<void()> fill;                  // as the user fills the form
    std::function<SearchConditions()> expected;  // what the form stands for
    // What every result's row in the panel shows (Folder, No, Kind, From, Subject, Date).
    std::function<bool(const QTreeWidgetItem&)> holds;
  };
  const QString kDateFormat = QStringLiteral("MMM,dd yyyy HH:mm:ss");
  const auto sender = [] {
    SearchConditions conditions;
    conditions.from = Part(u"CARLA");
    return conditions;
  };
  const auto body = [] {
    SearchConditions conditions;
    conditions.body = Part(u"the");
    return conditions;
  };
  const auto dated = [] {
    SearchConditions conditions;
    conditions.subject = Part(u"report|receipt|moved", TextMatchMode::kRegex);
    conditions.kind = Part(u"mail", TextMatchMode::kWholeText);
    conditions.after = "2010-01-01T00:00:00Z";
    conditions.before = "2011-01-01T00:00:00Z";
    conditions.has_attachment = true;
    return conditions;
  };
  const Search searches[] = {
      {"sender", [&] { QTest::keyClicks(panel.from_edit(), "CARLA"); }, sender,
       [](const QTreeWidgetItem& row) {
         return row.text(3).contains(QStringLiteral("carla"), Qt::CaseInsensitive);
       }},
      {"kind, dates and attachments",
       [&] {
         QTest::keyClicks(panel.subject_edit(), "report|receipt|moved");
         panel.regex_box()->setChecked(true);
         panel.kind_box()->setCurrentIndex(panel.kind_box()->findData(QStringLiteral("mail")));
         panel.after_box()->setChecked(true);
         panel.after_edit()->setDate(QDate(2010, 1, 1));
         panel.before_box()->setChecked(true);
         panel.before_edit()->setDate(QDate(2011, 1, 1));
         panel.attachment_box()->setChecked(true);
       },
       dated,
       [&](const QTreeWidgetItem& row) {
         const QDateTime date = QDateTime::fromString(row.text(5), kDateFormat);
         return row.text(2) == QStringLiteral("Mail") && date.date().year() == 2010;
       }},
      {"sender and body",
       [&] {
         QTest::keyClicks(panel.from_edit(), "CARLA");
         QTest::keyClicks(panel.body_edit(), "the");
       },
       [&] {
         SearchConditions conditions = sender();
         conditions.body = Part(u"the");
         return conditions;
       },
       nullptr},
      {"body", [&] { QTest::keyClicks(panel.body_edit(), "the"); }, body, nullptr},
  };
  std::map<std::string, std::vector<FoundItem>> found;
  QTreeWidget* results = panel.result_list();
  for (const Search& search : searches) {
    ClearSearchForm(panel);
    search.fill();
    finished.clear();
    panel.search_button()->click();
    QVERIFY2(WaitFor(finished, [&] { return !finished.isEmpty(); }), search.name);
    // Every result the core finds, in its order, under the folder path it opens.
    const std::vector<FoundItem> shown = PanelFinds(panel, *window.tree());
    QVERIFY2(shown == CoreFinds(store, search.expected()), search.name);
    QVERIFY2(!shown.empty(), search.name);
    QCOMPARE(finished.takeFirst().at(0).toInt(), static_cast<int>(shown.size()));
    for (int row = 0; search.holds && row < results->topLevelItemCount(); ++row) {
      QVERIFY2(search.holds(*results->topLevelItem(row)),
               qPrintable(results->topLevelItem(row)->text(4)));
    }
    found[search.name] = shown;
    QVERIFY(WaitFor(allowed, idle));
  }
  // A text that is no regular expression is refused with the reason; nothing runs.
  ClearSearchForm(panel);
  panel.regex_box()->setChecked(true);
  QTest::keyClicks(panel.subject_edit(), "(report");
  const std::size_t asked = test.dialogs.messages.size();
  panel.search_button()->click();
  QCOMPARE(test.dialogs.messages.size(), asked + 1);
  QCOMPARE(test.dialogs.messages.back().kind, MessageKind::kError);
  QVERIFY2(test.dialogs.messages.back().text.startsWith(
               QStringLiteral("\"(report\" is not a regular expression: ")),
           qPrintable(test.dialogs.messages.back().text));
  QVERIFY(!panel.searching() && idle());
  QCOMPARE(results->topLevelItemCount(), static_cast<int>(found["body"].size()));
  ClearSearchForm(panel);
  QTest::keyClicks(panel.body_edit(), "the");  // the form of the results shown

  // Both conditions: exactly the items each finds alone, fewer than either.
  std::vector<FoundItem> in_both;
  const std::vector<FoundItem>& by_body = found["body"];
  for (const FoundItem& item : found["sender"]) {
    if (std::find(by_body.begin(), by_body.end(), item) != by_body.end()) in_both.push_back(item);
  }
  QCOMPARE(found["sender and body"], in_both);
  QVERIFY(in_both.size() < found["sender"].size() && in_both.size() < found["body"].size());

  // The list sorted by date, newest first, and a filter that hides every row: a result opens
  // the row the search numbered, wherever the sort put it, and shows it.
  FolderTreeWidget* tree = window.tree();
  QTableWidget* list = window.list();
  PreviewBrowser* browser = window.browser();
  const std::filesystem::path working = window.selection().working_folder;
  QHeaderView* header = list->horizontalHeader();
  const QPoint date_header(header->sectionViewportPosition(kDateColumn) + 4, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, date_header);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, date_header);
  QTest::keyClicks(window.search_edit(), QStringLiteral("no such sender"));
  for (const QString& folder : {QStringLiteral("Tasks"), QStringLiteral("Inbox")}) {
    int chosen = -1;
    for (int row = 0; row < results->topLevelItemCount() && chosen < 0; ++row) {
      if (results->topLevelItem(row)->text(0).endsWith(QLatin1Char('/') + folder)) chosen = row;
    }
    QVERIFY2(chosen >= 0, qPrintable(folder));
    const StoreSearchResult result = panel.result(chosen);
    const QString subject = results->topLevelItem(chosen)->text(4);
    previewed.clear();
    QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
    results->setCurrentItem(results->topLevelItem(chosen));
    QTest::keyClick(results, Qt::Key_Return);
    QVERIFY(WaitFor(previewed, [&] { return !previewed.isEmpty(); }));
    QCOMPARE(tree->currentItem(), tree->Item(result.folder));
    const int current = list->currentRow();
    QVERIFY(current >= 0 && !list->isRowHidden(current));
    QCOMPARE(CellValue(*list, current, 0), result.message_id);
    QCOMPARE(CellValue(*list, current, kSubjectColumn), subject);
    QVERIFY(window.search_edit()->text().isEmpty());
    QCOMPARE(browser->current_page(), working / "strEmlPath.html");
    QVERIFY2(PageText(working / "header.html").contains(subject), qPrintable(subject));
    // The subject shows in the rendered frames once the new page has loaded (the frameset's
    // name is the one of the previous preview); found there, the page is painted for the
    // picture, which shows it without the search's colours (cleared, then a round trip).
    const auto subject_shown = [&] {
      if (browser->url() != LocalPageUrl(browser->current_page()) || browser->page()->isLoading()) {
        return false;
      }
      int matches = 0;
      AwaitPage([&](const std::function<void()>& done) {
        browser->page()->findText(subject, {}, [&matches, done](const QWebEngineFindTextResult& r) {
          matches = r.numberOfMatches();
          done();
        });
      });
      return matches > 0;
    };
    QVERIFY2(WaitFor(loaded, subject_shown), qPrintable(subject));
    AwaitPage([&](const std::function<void()>& done) {
      browser->page()->findText(QString(), {}, [done](const QWebEngineFindTextResult&) { done(); });
    });
    AwaitPage([&](const std::function<void()>& done) {
      browser->page()->toPlainText([done](const QString&) { done(); });
    });
  }
  // The Inbox stayed sorted, newest first.
  std::vector<QDateTime> dates;
  for (int row = 0; row < list->rowCount(); ++row) {
    const QDateTime date = QDateTime::fromString(list->item(row, kDateColumn)->text(), kDateFormat);
    if (date.isValid()) dates.push_back(date);
  }
  QVERIFY(dates.size() > 2 && std::is_sorted(dates.rbegin(), dates.rend()));
  Screenshot(window, QStringLiteral("06-store-search-") + scenario);

  // Stop ends the search at once: pressed as the first result comes in, it keeps that one.
  const QMetaObject::Connection stop_at_first =
      connect(results->model(), &QAbstractItemModel::rowsInserted, panel.stop_button(),
              [&panel] { panel.stop_button()->click(); });
  finished.clear();
  panel.search_button()->click();
  QVERIFY(panel.stop_button()->isEnabled() && !panel.search_button()->isEnabled());
  QVERIFY(WaitFor(finished, [&] { return !finished.isEmpty(); }));
  disconnect(stop_at_first);
  QCOMPARE(results->topLevelItemCount(), 1);
  QCOMPARE(panel.summary_label()->text(), QStringLiteral("Stopped: 1 item found"));
  QVERIFY(WaitFor(allowed, idle));
}

}  // namespace tarvex::testing

int main(int argc, char** argv) {
  tarvex::PrepareBrowserEnvironment();
  QApplication application(argc, argv);
  tarvex::testing::WindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
