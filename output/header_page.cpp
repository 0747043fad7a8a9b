#include "output/header_page.h"

#include "base/page_policy.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kDocumentHead[] = {
    u"<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Transitional//EN' "
    u"'http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd'>",
    u"<html xmlns='http://www.w3.org/1999/xhtml'>",
    u"<head>",
    u"<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />",
    kPagePolicyMeta16,
    u"<style type='text/css'>",
    u"<!--",
    u"body,td,th {",
    u"\tfont-family: Verdana, Arial, Helvetica, sans-serif;",
    u"\tfont-size: 11px;",
    u"\tcolor: #666666;",
    u"}",
    u"body {",
    u"\tmargin-left: 0px;",
    u"\tmargin-top: 0px;",
    u"\tmargin-right: 0px;",
    u"\tmargin-bottom: 0px;",
    u"}",
    u"a {",
    u"\tfont-family: Verdana, Arial, Helvetica, sans-serif;",
    u"\tfont-size: 10px;",
    u"}",
    u"-->",
    u"</style></head>",
    u"<body>",
    u"<table width='100%' border='0' cellspacing='0' cellpadding='0'>",
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

}  // namespace

void HeaderPage::AddCell(std::u16string_view label, std::u16string_view value) {
  rows_ += label;
  rows_ += CellText(value);
  rows_ += u"</td>";
}

void HeaderPage::AddRow(std::u16string_view label, std::u16string_view value) {
  rows_ += u"  <tr>";
  AddCell(label, value);
  rows_ += u" </tr>";
}

void HeaderPage::AddRowWhenSet(std::u16string_view label, std::u16string_view value) {
  if (!value.empty()) AddRow(label, value);
}

void HeaderPage::AddRow(std::u16string_view first_label, std::u16string_view first_value,
                        std::u16string_view second_label, std::u16string_view second_value) {
  rows_ += u"  <tr>";
  AddCell(first_label, first_value);
  AddCell(second_label, second_value);
  rows_ += u" </tr>";
}

void HeaderPage::AddRedRow(std::u16string_view label, std::u16string_view value) {
  rows_ += u"<tr>";
  rows_ += label;
  rows_ += CellText(value);
  rows_ += u"</span></td>";
  rows_ += u" </tr>";
}

std::u16string HeaderPage::Document() const {
  std::u16string document;
  for (std::u16string_view piece : kDocumentHead) document += piece;
  document += rows_;
  for (std::u16string_view piece : kDocumentEnd) document += piece;
  return document;
}

}  // namespace tarvex
