#include "app/local_page_scheme.h"

#include <QBuffer>
#include <QFile>
#include <QStringDecoder>
#include <QUrl>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <algorithm>
#include <string>

#include "app/page_encoding.h"
#include "base/page_policy.h"

namespace tarvex {

namespace {

// Body files are our own, but a hostile store can make them large; the preview pane has no
// use for more than this.
constexpr qint64 kLargestServedFile = qint64{256} * 1024 * 1024;
constexpr qint64 kCharsetProbeSize = 4096;

std::filesystem::path NormalisedPath(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path.lexically_normal() : canonical;
}

bool IsInside(const std::filesystem::path& file, const std::filesystem::path& folder) {
  auto folder_part = folder.begin();
  auto file_part = file.begin();
  for (; folder_part != folder.end(); ++folder_part, ++file_part) {
    if (folder_part->empty()) continue;  // the empty name after a trailing separator
    if (file_part == file.end() || *file_part != *folder_part) return false;
  }
  return file_part != file.end();
}

QString DecodedText(const QByteArray& bytes, PageCharset charset) {
  switch (charset) {
    case PageCharset::kUtf16Le: {
      qsizetype start = bytes.startsWith("\xFF\xFE") ? 2 : 0;
      return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + start),
                                (bytes.size() - start) / 2);
    }
    case PageCharset::kWindows1252: {
      QStringDecoder decoder("windows-1252");
      if (decoder.isValid()) return decoder.decode(bytes);
      return QString::fromLatin1(bytes);
    }
    case PageCharset::kUtf8:
    case PageCharset::kUnstated:
      break;
  }
  return QString::fromUtf8(bytes);
}

// A plain-text body as a page of the window's own: in the desktop's proportional font and
// colours, its line breaks kept, long lines wrapped.
QByteArray PlainTextPage(const QString& text) {
  QString page = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">");
  page += QString::fromUtf8(kPagePolicyMeta.data(), static_cast<qsizetype>(kPagePolicyMeta.size()));
  page += QString::fromUtf16(kUiStyleLink16.data(), static_cast<qsizetype>(kUiStyleLink16.size()));
  page += QStringLiteral("</head><body><div class=\"plain-text\">");
  page += text.toHtmlEscaped();
  page += QStringLiteral("</div></body></html>");
  return page.toUtf8();
}

}  // namespace

void RegisterLocalPageScheme() {
  QWebEngineUrlScheme scheme(kLocalPageScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
  QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl LocalPageUrl(const std::filesystem::path& file) {
  QUrl url;
  url.setScheme(QString::fromLatin1(kLocalPageScheme));
  url.setPath(QString::fromStdString(file.generic_string()));
  return url;
}

void LocalPageSchemeHandler::AllowFolder(const std::filesystem::path& folder) {
  std::lock_guard lock(mutex_);
  std::filesystem::path normal = NormalisedPath(folder);
  if (std::find(allowed_folders_.begin(), allowed_folders_.end(), normal) ==
      allowed_folders_.end()) {
    allowed_folders_.push_back(std::move(normal));
  }
}

bool LocalPageSchemeHandler::IsAllowed(const std::filesystem::path& file) const {
  const std::filesystem::path normal = NormalisedPath(file);
  std::lock_guard lock(mutex_);
  return std::any_of(
      allowed_folders_.begin(), allowed_folders_.end(),
      [&normal](const std::filesystem::path& folder) { return IsInside(normal, folder); });
}

void LocalPageSchemeHandler::SetStyleSheet(QByteArray css) {
  std::lock_guard lock(mutex_);
  style_sheet_ = std::move(css);
}

void LocalPageSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  const std::filesystem::path file = job->requestUrl().path().toStdString();
  if (file == kUiStyleSheetPath) {
    auto* buffer = new QBuffer(job);
    {
      std::lock_guard lock(mutex_);
      buffer->setData(style_sheet_);
    }
    buffer->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/css; charset=utf-8"), buffer);
    return;
  }
  if (!file.is_absolute() || !IsAllowed(file)) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  QFile source(QString::fromStdString(file.string()));
  if (!source.open(QIODevice::ReadOnly)) {
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    return;
  }
  if (source.size() > kLargestServedFile) {
    job->fail(QWebEngineUrlRequestJob::RequestFailed);
    return;
  }
  QByteArray bytes = source.read(kLargestServedFile);
  std::string extension = file.extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  const std::string mime_type = MimeTypeForExtension(extension);
  std::string content_type = mime_type;
  if (mime_type.starts_with("text/")) {
    const auto probe = static_cast<std::size_t>(std::min<qint64>(bytes.size(), kCharsetProbeSize));
    const PageCharset charset =
        DetectPageCharset(std::string_view(bytes.constData(), probe), mime_type == "text/plain");
    content_type = ContentTypeWithCharset(mime_type, charset);
    if (mime_type == "text/plain") {
      bytes = PlainTextPage(DecodedText(bytes, charset));
      content_type = "text/html; charset=utf-8";
    }
  }
  auto* buffer = new QBuffer(job);
  buffer->setData(std::move(bytes));
  buffer->open(QIODevice::ReadOnly);
  job->reply(QByteArray::fromStdString(content_type), buffer);
}

void LocalOnlyInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
  const QString scheme = info.requestUrl().scheme();
  const bool ours = scheme == QLatin1String(kLocalPageScheme) || scheme == QLatin1String("data") ||
                    info.requestUrl() == QUrl(QStringLiteral("about:blank"));
  if (!ours) info.block(true);
}

}  // namespace tarvex
