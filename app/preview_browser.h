#pragma once

// The preview pane: an embedded browser that shows the program's own page files and nothing
// else. Scripts are off and every request that does not name a local page is blocked. The
// program's own pages follow the widget's palette and font; a click on an attachment link of
// the header asks the window to save that file.

#include <QByteArray>
#include <QWebEngineView>
#include <filesystem>
#include <memory>

class QWebEngineProfile;
class QWebEnginePage;
class QUrl;

namespace tarvex {

class LocalPageSchemeHandler;
class LocalOnlyInterceptor;

class PreviewBrowser : public QWebEngineView {
  Q_OBJECT

 public:
  explicit PreviewBrowser(QWidget* parent = nullptr);
  ~PreviewBrowser() override;

  // Files below these folders may be shown (the working folder, the message page folder).
  void AllowFolder(const std::filesystem::path& folder);

  void Navigate(const std::filesystem::path& page);

  // The page file last navigated to.
  const std::filesystem::path& current_page() const { return current_page_; }

  // The style sheet the program's own pages are shown with.
  const QByteArray& style_sheet() const { return style_sheet_; }

  // The link of an attachment file: the file's page URL marked for saving.
  static QUrl AttachmentLink(const std::filesystem::path& file);

 signals:
  // A followed attachment link, for a file below the allowed folders.
  void AttachmentRequested(const QString& file);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  class Page;
  // Builds the style sheet from the palette and font and shows the page again with it.
  void FollowPalette();
  // False for a navigation the page must not make itself (an attachment link, handled here).
  bool AcceptNavigation(const QUrl& url);

  // Declared in this order so that the page goes before the profile that made it.
  std::unique_ptr<LocalPageSchemeHandler> scheme_handler_;
  std::unique_ptr<LocalOnlyInterceptor> interceptor_;
  std::unique_ptr<QWebEngineProfile> profile_;
  std::unique_ptr<QWebEnginePage> page_;
  std::filesystem::path current_page_;
  QByteArray style_sheet_;
};

}  // namespace tarvex
