#include "app/preview_browser.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/local_page_scheme.h"

namespace tarvex {

PreviewBrowser::PreviewBrowser(QWidget* parent)
    : QWebEngineView(parent),
      scheme_handler_(std::make_unique<LocalPageSchemeHandler>()),
      interceptor_(std::make_unique<LocalOnlyInterceptor>()),
      // A profile without a storage name keeps no cache or cookies on disk.
      profile_(std::make_unique<QWebEngineProfile>()) {
  profile_->installUrlSchemeHandler(kLocalPageScheme, scheme_handler_.get());
  profile_->setUrlRequestInterceptor(interceptor_.get());
  profile_->setHttpCacheType(QWebEngineProfile::NoCache);
  page_ = std::make_unique<QWebEnginePage>(profile_.get());
  QWebEngineSettings* settings = page_->settings();
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  setPage(page_.get());
  setContextMenuPolicy(Qt::NoContextMenu);
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
