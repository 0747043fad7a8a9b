#include "app/preview_browser.h"

#include <QEvent>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <system_error>

#include "app/local_page_scheme.h"

namespace tarvex {

namespace {

constexpr char kAttachmentQuery[] = "attachment";

QString CssColour(const QColor& colour) {
  return colour.name(QColor::HexRgb);
}

// The desktop's font and colours for the pages the program writes itself.
QByteArray PageStyleSheet(const QPalette& palette, const QFont& font) {
  const QString size = font.pointSizeF() > 0 ? QStringLiteral("%1pt").arg(font.pointSizeF())
                                             : QStringLiteral("%1px").arg(font.pixelSize());
  const bool dark = palette.color(QPalette::Base).lightness() < 128;
  QString css;
  css += QStringLiteral(":root { color-scheme: %1; }\n")
             .arg(dark ? QStringLiteral("dark") : QStringLiteral("light"));
  css += QStringLiteral(
             "html, body { background: %1; color: %2; font-family: \"%3\", sans-serif; "
             "font-size: %4; }\n")
             .arg(CssColour(palette.color(QPalette::Base)),
                  CssColour(palette.color(QPalette::Text)), font.family(), size);
  css += QStringLiteral("body { margin: 0; padding: 6px 10px; }\n");
  css += QStringLiteral("a { color: %1; }\n").arg(CssColour(palette.color(QPalette::Link)));
  css += QStringLiteral("h1 { font-size: 1.3em; font-weight: 600; }\n");
  css += QStringLiteral(
      "table.header { border-collapse: collapse; }\n"
      "table.header th { text-align: left; vertical-align: top; font-weight: 600; "
      "white-space: nowrap; padding: 2px 10px 2px 0; }\n"
      "table.header td { vertical-align: top; padding: 2px 24px 2px 0; }\n"
      ".plain-text { white-space: pre-wrap; overflow-wrap: anywhere; }\n");
  css += QStringLiteral("table.header th, .size { color: %1; }\n")
             .arg(CssColour(palette.color(QPalette::PlaceholderText)));
  return css.toUtf8();
}

}  // namespace

class PreviewBrowser::Page : public QWebEnginePage {
 public:
  Page(QWebEngineProfile* profile, PreviewBrowser& browser)
      : QWebEnginePage(profile), browser_(browser) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override {
    if (!browser_.AcceptNavigation(url)) return false;
    return QWebEnginePage::acceptNavigationRequest(url, type, main_frame);
  }

 private:
  PreviewBrowser& browser_;
};

PreviewBrowser::PreviewBrowser(QWidget* parent)
    : QWebEngineView(parent),
      scheme_handler_(std::make_unique<LocalPageSchemeHandler>()),
      interceptor_(std::make_unique<LocalOnlyInterceptor>()),
      // A profile without a storage name keeps no cache or cookies on disk.
      profile_(std::make_unique<QWebEngineProfile>()) {
  profile_->installUrlSchemeHandler(kLocalPageScheme, scheme_handler_.get());
  profile_->setUrlRequestInterceptor(interceptor_.get());
  profile_->setHttpCacheType(QWebEngineProfile::NoCache);
  page_ = std::make_unique<Page>(profile_.get(), *this);
  QWebEngineSettings* settings = page_->settings();
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  setPage(page_.get());
  setContextMenuPolicy(Qt::NoContextMenu);
  // A dropped database goes to the window, not into the page.
  setAcceptDrops(false);
  FollowPalette();
}

QUrl PreviewBrowser::AttachmentLink(const std::filesystem::path& file) {
  QUrl link = LocalPageUrl(file);
  link.setQuery(QString::fromLatin1(kAttachmentQuery));
  return link;
}

bool PreviewBrowser::AcceptNavigation(const QUrl& url) {
  if (url.scheme() != QLatin1String(kLocalPageScheme) ||
      url.query() != QLatin1String(kAttachmentQuery)) {
    return true;
  }
  const std::filesystem::path file = url.path().toStdString();
  std::error_code error;
  if (file.is_absolute() && scheme_handler_->IsAllowed(file) &&
      std::filesystem::is_regular_file(file, error)) {
    emit AttachmentRequested(QString::fromStdString(file.string()));
  }
  return false;
}

void PreviewBrowser::changeEvent(QEvent* event) {
  QWebEngineView::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
    FollowPalette();
  }
}

void PreviewBrowser::FollowPalette() {
  QByteArray css = PageStyleSheet(palette(), font());
  if (css == style_sheet_) return;
  style_sheet_ = std::move(css);
  scheme_handler_->SetStyleSheet(style_sheet_);
  // The page again, its style sheet fetched anew rather than from the browser's memory.
  if (!current_page_.empty()) page_->triggerAction(QWebEnginePage::ReloadAndBypassCache);
}

PreviewBrowser::~PreviewBrowser() {
  // The view must let go of the page before the page and then the profile are released.
  page_.reset();
}

void PreviewBrowser::AllowFolder(const std::filesystem::path& folder) {
  scheme_handler_->AllowFolder(folder);
}

void PreviewBrowser::Navigate(const std::filesystem::path& page) {
  current_page_ = page;
  load(LocalPageUrl(page));
}

}  // namespace tarvex
