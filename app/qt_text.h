#pragma once

// UTF-16 text of the core to and from Qt strings; both sides hold UTF-16 units.

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex {

inline QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string ToU16String(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<std::size_t>(text.size()));
}

inline std::filesystem::path ToPath(const QString& text) {
  return std::filesystem::path(text.toStdString());
}

inline QString PathToQString(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace tarvex
