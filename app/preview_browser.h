#pragma once

// The preview pane: an embedded browser that shows the program's own page files and nothing
// else. Scripts are off and every request that does not name a local page is blocked.

#include <QWebEngineView>
#include <filesystem>
#include <memory>

class QWebEngineProfile;
class QWebEnginePage;

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

 private:
  // Declared in this order so that the page goes before the profile that made it.
  std::unique_ptr<LocalPageSchemeHandler> scheme_handler_;
  std::unique_ptr<LocalOnlyInterceptor> interceptor_;
  std::unique_ptr<QWebEngineProfile> profile_;
  std::unique_ptr<QWebEnginePage> page_;
  std::filesystem::path current_page_;
};

}  // namespace tarvex
