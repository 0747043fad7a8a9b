#pragma once

// The header page of a preview: one line of HTML with a table of the item's fields, a label
// beside each value, in the window's fonts and colours. Every value that goes into a row comes
// from the database or the item list and is escaped here, so that no value can add markup or
// script to the page; its line ends become blanks.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf16_text.h"

namespace tarvex {

// The labels of the header's rows.
namespace header_label {
inline constexpr std::u16string_view kFrom = u"From:";
inline constexpr std::u16string_view kDate = u"Date:";
inline constexpr std::u16string_view kSubject = u"Subject:";
inline constexpr std::u16string_view kMailTo = u"To:";
inline constexpr std::u16string_view kCc = u"Cc:";
inline constexpr std::u16string_view kBcc = u"Bcc:";
inline constexpr std::u16string_view kAttachment = u"Attachment:";
inline constexpr std::u16string_view kLocation = u"Location:";
inline constexpr std::u16string_view kStartDate = u"Start Date:";
inline constexpr std::u16string_view kEndDate = u"End Date:";
inline constexpr std::u16string_view kShowAs = u"Show As:";
inline constexpr std::u16string_view kTimeZone = u"Time Zone:";
inline constexpr std::u16string_view kCategories = u"Categories:";
inline constexpr std::u16string_view kDueDate = u"Due Date:";
inline constexpr std::u16string_view kReminderDate = u"Reminder Date:";
}  // namespace header_label

class HeaderPage {
 public:
  // A row with one cell.
  void AddRow(std::u16string_view label, std::u16string_view value);
  // The same, left out when the value is empty.
  void AddRowWhenSet(std::u16string_view label, std::u16string_view value);
  // A row with two cells side by side.
  void AddRow(std::u16string_view first_label, std::u16string_view first_value,
              std::u16string_view second_label, std::u16string_view second_value);
  // A row whose value spans the width of two cells (the addresses of Cc and Bcc).
  void AddWideRow(std::u16string_view label, std::u16string_view value);
  // A row of links to files beside the page, each with its size in bytes; the href marks the
  // link as one that saves the file ("name?attachment"), which the window handles.
  struct FileLink {
    std::u16string href;
    std::u16string name;
    std::uintmax_t size = 0;
  };
  void AddFileLinks(std::u16string_view label, const std::vector<FileLink>& files);

  const std::u16string& rows() const { return rows_; }

  // The whole document: fixed head, the rows, fixed end; no line breaks.
  std::u16string Document() const;

 private:
  void AddCell(std::u16string_view label, std::u16string_view value);

  std::u16string rows_;
};

}  // namespace tarvex
