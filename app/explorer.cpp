#include "app/explorer.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/local_page_scheme.h"

namespace tarvex {

CExplorer1::CExplorer1(QWidget* parent)
    : QWebEngineView(parent),
      m_scheme_handler(std::make_unique<LocalPageSchemeHandler>()),
      m_interceptor(std::make_unique<LocalOnlyInterceptor>()),
      // A profile without a storage name keeps no cache or cookies on disk.
      m_profile(std::make_unique<QWebEngineProfile>()) {
  m_profile->installUrlSchemeHandler(kLocalPageScheme, m_scheme_handler.get());
  m_profile->setUrlRequestInterceptor(m_interceptor.get());
  m_profile->setHttpCacheType(QWebEngineProfile::NoCache);
  m_page = std::make_unique<QWebEnginePage>(m_profile.get());
  QWebEngineSettings* settings = m_page->settings();
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  setPage(m_page.get());
  setContextMenuPolicy(Qt::NoContextMenu);
}

CExplorer1::~CExplorer1() {
  // The view must let go of the page before the page and then the profile are released.
  m_page.reset();
}

void CExplorer1::AllowFolder(const std::filesystem::path& folder) {
  m_scheme_handler->AllowFolder(folder);
}

void CExplorer1::Navigate(const std::filesystem::path& page) {
  m_current_page = page;
  load(LocalPageUrl(page));
}

}  // namespace tarvex
