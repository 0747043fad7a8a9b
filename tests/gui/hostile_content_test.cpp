// The preview pane over hostile content: no script runs and nothing is fetched from the
// network, for a store's raw HTML loaded directly and for the preview of a hostile item. Every
// remote reference points at a local TCP server that counts who comes; a control page with
// scripts and remote loads allowed proves that the page would have reached it and run.

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/preview_browser.h"
#include "app/local_page_scheme.h"
#include "app/qt_text.h"
#include "base/utf_conversion.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {
namespace {

// Only a ceiling: each wait ends at the event it waits for.
constexpr int kLoadTimeout = 120000;
constexpr char kUntouchedTitle[] = "untouched";

// Every way a page could run script (each retitles the page) or load from the network.
std::string HostilePage(quint16 port) {
  const std::string server = "http://127.0.0.1:" + std::to_string(port);
  return "<html><head><title>untouched</title>"
         "<link rel=\"stylesheet\" href=\"" +
         server +
         "/style.css\">"
         "<style>body{background:url(" +
         server +
         "/background.png)}</style>"
         "<script>document.title='script ran'; top.document.title='script ran'</script></head>"
         "<body onload=\"document.title='onload ran'\">"
         "<img src=\"" +
         server +
         "/pixel.gif\" width=1 height=1>"
         "<img src=\"missing.png\" onerror=\"top.document.title='handler ran'\">"
         "<iframe src=\"" +
         server +
         "/frame\"></iframe>"
         "<p>Kept paragraph</p></body></html>";
}

std::string ReadWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

class HostileContentTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void controlPageRunsScriptAndReachesTheServer();
  void rawHostilePageRunsNothingAndFetchesNothing();
  void hostileItemPreviewRunsNothingAndFetchesNothing();

 private:
  // Loads the page into the pane and waits for the text that shows its body has loaded.
  void ShowInPane(PreviewBrowser& pane, const std::filesystem::path& page);
  void ExpectNoScriptAndNoRequest(PreviewBrowser& pane);

  QTemporaryDir scratch_;
  QTcpServer server_;
  int requests_ = 0;  // connections the server took
};

void HostileContentTest::initTestCase() {
  QVERIFY(scratch_.isValid());
  QVERIFY(server_.listen(QHostAddress::LocalHost));
  // Each request is counted and answered at once ("not found"), so that no page waits on it.
  connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      ++requests_;
      socket->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
      socket->disconnectFromHost();
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  std::ofstream(ToPath(scratch_.filePath(QStringLiteral("hostile.html"))))
      << HostilePage(server_.serverPort());
}

// Without this the other tests could not fail: the same page, scripts and remote loads on.
void HostileContentTest::controlPageRunsScriptAndReachesTheServer() {
  QWebEngineProfile profile;
  QWebEnginePage page(&profile);
  page.settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
  page.load(QUrl::fromLocalFile(scratch_.filePath(QStringLiteral("hostile.html"))));
  QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), kLoadTimeout);
  QTRY_VERIFY_WITH_TIMEOUT(page.title().endsWith(QStringLiteral(" ran")), kLoadTimeout);
  QVERIFY(requests_ > 0);
  // The control's requests are not counted against the pane.
  requests_ = 0;
}

void HostileContentTest::ShowInPane(PreviewBrowser& pane, const std::filesystem::path& page) {
  pane.AllowFolder(page.parent_path());
  QSignalSpy loaded(&pane, &QWebEngineView::loadFinished);
  pane.Navigate(page);
  QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), kLoadTimeout);
  // Frames may still be loading: search again, one search at a time, until the body's text is
  // there. The answer lands in shared state, as a late one may come after this test.
  const auto matches = std::make_shared<int>(-1);
  for (int search = 0; search < 50; ++search) {
    *matches = -1;
    pane.page()->findText(
        QStringLiteral("Kept paragraph"), {},
        [matches](const QWebEngineFindTextResult& result) { *matches = result.numberOfMatches(); });
    QTRY_VERIFY_WITH_TIMEOUT(*matches >= 0, kLoadTimeout);
    if (*matches > 0) break;
  }
  QVERIFY(*matches > 0);
}

void HostileContentTest::ExpectNoScriptAndNoRequest(PreviewBrowser& pane) {
  QVERIFY2(!pane.title().endsWith(QStringLiteral(" ran")), qPrintable(pane.title()));
  // Every load the page started has ended before its load finished; a connection it made has
  // reached the server by now, and is taken here if its signal has not come yet.
  server_.waitForNewConnection(0);
  QCOMPARE(requests_, 0);
}

void HostileContentTest::rawHostilePageRunsNothingAndFetchesNothing() {
  PreviewBrowser pane;
  ShowInPane(pane, ToPath(scratch_.filePath(QStringLiteral("hostile.html"))));
  QCOMPARE(pane.title(), QString::fromLatin1(kUntouchedTitle));
  ExpectNoScriptAndNoRequest(pane);
}

void HostileContentTest::hostileItemPreviewRunsNothingAndFetchesNothing() {
  for (const edbforge::StoreLayout layout :
       {edbforge::StoreLayout::kOlder, edbforge::StoreLayout::k2010}) {
    const bool is_2010 = layout == edbforge::StoreLayout::k2010;
    edbforge::StoreDescription store;
    store.layout = layout;
    if (is_2010) {
      store.format_revision = 20;
      store.page_size = 8192;
    }
    store.AddMailbox(u"Eve", u"/o=Org/cn=eve")
        .AddFolder(u"Top of Information Store")
        .AddFolder(u"Inbox", u"IPF.Note")
        .AddItem(u"IPM.Note")
        .Set(u"Se1d", edbforge::Text(u"hostile"))
        .Set(u"N1013", edbforge::Text(Utf8ToUtf16(HostilePage(server_.serverPort()))));
    const std::filesystem::path folder =
        ToPath(scratch_.filePath(QString::fromLatin1(is_2010 ? "2010" : "older")));
    std::filesystem::create_directories(folder);
    edbforge::BuildStore(store, folder / "hostile.edb");

    // The pages as `tarvex show` writes them, which the window writes alike.
    const std::filesystem::path printed = folder / "page.txt";
    const std::string command = std::string("'") + TARVEX_CLI_BINARY + "' show -q '" +
                                (folder / "hostile.edb").string() +
                                "' 'Eve/Top of Information Store/Inbox' 1 --workdir '" +
                                (folder / "work").string() + "' > '" + printed.string() + "'";
    QCOMPARE(std::system(command.c_str()), 0);
    std::string page = ReadWhole(printed);
    while (!page.empty() && page.back() == '\n') page.pop_back();

    PreviewBrowser pane;
    ShowInPane(pane, page);
    ExpectNoScriptAndNoRequest(pane);
  }
}

}  // namespace tarvex::testing

int main(int argc, char** argv) {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  tarvex::RegisterLocalPageScheme();
  QApplication application(argc, argv);
  tarvex::testing::HostileContentTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "hostile_content_test.moc"
