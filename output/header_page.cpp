#include "output/header_page.h"

#include <string>

#include "base/page_policy.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kDocumentHead[] = {
    u"<!DOCTYPE html>", u"<html>",  u"<head>", u"<meta charset='utf-8'>", kPagePolicyMeta16,
    kUiStyleLink16,     u"</head>", u"<body>", u"<table class='header'>",
};

constexpr std::u16string_view kDocumentEnd[] = {u"</table>", u"</body>", u"</html>"};

// A value as a cell shows it: escaped, and with its line ends as blanks (which the browser
// shows alike), so that the page stays one line.
std::u16string CellText(std::u16string_view value) {
  std::u16string text = EscapeHtml(value);
  for (char16_t& unit : text) {
    if (unit == u'\r' || unit == u'\n') unit = u' ';
  }
  return text;
}

std::u16string AsciiText(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

// "512 bytes", "12.5 KB", "3.1 MB": one decimal below ten units, none above.
std::u16string ByteSizeText(std::uintmax_t size) {
  if (size < 1024) return AsciiText(std::to_string(size) + (size == 1 ? " byte" : " bytes"));
  constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(size) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  const auto tenths = static_cast<std::uintmax_t>(value * 10 + 0.5);
  std::string text = value < 10 ? std::to_string(tenths / 10) + "." + std::to_string(tenths % 10)
                                : std::to_string((tenths + 5) / 10);
  return AsciiText(text + " " + kUnits[unit]);
}

}  // namespace

void HeaderPage::AddCell(std::u16string_view label, std::u16string_view value) {
  rows_ += u"<th>";
  rows_ += label;
  rows_ += u"</th><td>";
  rows_ += CellText(value);
  rows_ += u"</td>";
}

void HeaderPage::AddRow(std::u16string_view label, std::u16string_view value) {
  rows_ += u"<tr>";
  AddCell(label, value);
  rows_ += u"</tr>";
}

void HeaderPage::AddRowWhenSet(std::u16string_view label, std::u16string_view value) {
  if (!value.empty()) AddRow(label, value);
}

void HeaderPage::AddRow(std::u16string_view first_label, std::u16string_view first_value,
                        std::u16string_view second_label, std::u16string_view second_value) {
  rows_ += u"<tr>";
  AddCell(first_label, first_value);
  AddCell(second_label, second_value);
  rows_ += u"</tr>";
}

void HeaderPage::AddWideRow(std::u16string_view label, std::u16string_view value) {
  rows_ += u"<tr><th>";
  rows_ += label;
  rows_ += u"</th><td colspan='3'>";
  rows_ += CellText(value);
  rows_ += u"</td></tr>";
}

void HeaderPage::AddFileLinks(std::u16string_view label, const std::vector<FileLink>& files) {
  rows_ += u"<tr><th>";
  rows_ += label;
  rows_ += u"</th><td colspan='3'>";
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (i != 0) rows_ += u", ";
    rows_ += u"<a href='";
    rows_ += EscapeHtml(files[i].href);
    rows_ += u"'>";
    rows_ += CellText(files[i].name);
    rows_ += u"</a>&nbsp;<span class='size'>(";
    rows_ += ByteSizeText(files[i].size);
    rows_ += u")</span>";
  }
  rows_ += u"</td></tr>";
}

std::u16string HeaderPage::Document() const {
  std::u16string document;
  for (std::u16string_view piece : kDocumentHead) document += piece;
  document += rows_;
  for (std::u16string_view piece : kDocumentEnd) document += piece;
  return document;
}

}  // namespace tarvex
