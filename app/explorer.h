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

class CExplorer1 : public QWebEngineView {
  Q_OBJECT

 public:
  explicit CExplorer1(QWidget* parent = nullptr);
  ~CExplorer1() override;

  // Files below these folders may be shown (the working folder, the message page folder).
  void AllowFolder(const std::filesystem::path& folder);

  void Navigate(const std::filesystem::path& page);

  // The page file last navigated to.
  const std::filesystem::path& current_page() const { return m_current_page; }

 private:
  // Declared in this order so that the page goes before the profile that made it.
  std::unique_ptr<LocalPageSchemeHandler> m_scheme_handler;
  std::unique_ptr<LocalOnlyInterceptor> m_interceptor;
  std::unique_ptr<QWebEngineProfile> m_profile;
  std::unique_ptr<QWebEnginePage> m_page;
  std::filesystem::path m_current_page;
};

}  // namespace tarvex
