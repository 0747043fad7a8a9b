#pragma once

// The preview browser reads the program's own page files through the "tarvex-page" scheme,
// so that each file reaches it with its real character set, and nothing else is loaded.

#include <QByteArray>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>
#include <filesystem>
#include <mutex>
#include <vector>

class QUrl;

namespace tarvex {

inline constexpr char kLocalPageScheme[] = "tarvex-page";

// Must run before the QApplication is made.
void RegisterLocalPageScheme();

QUrl LocalPageUrl(const std::filesystem::path& file);

// Serves files below the allowed folders; every other request fails.
class LocalPageSchemeHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT

 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  void AllowFolder(const std::filesystem::path& folder);
  bool IsAllowed(const std::filesystem::path& file) const;
  // The style sheet of the window's own pages (base/page_policy.h), in the desktop's colours.
  void SetStyleSheet(QByteArray css);

  void requestStarted(QWebEngineUrlRequestJob* job) override;

 private:
  mutable std::mutex mutex_;
  std::vector<std::filesystem::path> allowed_folders_;
  QByteArray style_sheet_;
};

// Blocks every request that is not for our own pages (or inline data).
class LocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT

 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

  void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

}  // namespace tarvex
