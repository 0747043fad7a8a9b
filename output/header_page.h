#pragma once

// The header page of a preview: one line of XHTML with a table of the item's fields. Every
// value that goes into a row comes from the database or the item list and is escaped here, so
// that no value can add markup or script to the page; its line ends become blanks.

#include <string>
#include <string_view>

#include "base/utf16_text.h"

namespace tarvex {

// The opening of each cell, label included; the odd spaces and "</b >" are the page's own.
namespace header_label {
inline constexpr std::u16string_view kFrom = u"   <td height='20'><b>From:</b>";
inline constexpr std::u16string_view kContactFrom = u"   <td height='20'><b>From:</b >";
inline constexpr std::u16string_view kDate = u"   <td height='20'><b>Date:</b >";
inline constexpr std::u16string_view kSubject = u"   <td height='20'><b>Subject: </b> ";
inline constexpr std::u16string_view kMailTo = u"    <td height='20'><b>To:</b> ";
inline constexpr std::u16string_view kAppointmentTo = u"   <td height='20'><b>To: </b> ";
inline constexpr std::u16string_view kCc =
    u"   <td height='20' colspan='2'><b>Cc: </b><span color='red'>";
inline constexpr std::u16string_view kBcc =
    u"   <td height='20' colspan='2'><b>Bcc: </b><span color='red'>";
inline constexpr std::u16string_view kAttachment =
    u"   <td height='20' colspan='2'><b>Attachment: </b><span color='red'>";
inline constexpr std::u16string_view kLocation = u"   <td height='20'><b>Location: </b> ";
inline constexpr std::u16string_view kStartDate = u"   <td height='20'><b>Start Date: </b> ";
inline constexpr std::u16string_view kEndDate = u"   <td height='20'><b>End Date: </b> ";
inline constexpr std::u16string_view kShowAs = u"   <td height='20'><b>Show As: </b> ";
inline constexpr std::u16string_view kTimeZone = u"   <td height='20'><b>Time Zone: </b> ";
inline constexpr std::u16string_view kCategories = u"   <td height='20'><b>Categories: </b> ";
inline constexpr std::u16string_view kDueDate = u"   <td height='20'><b>Due Date: </b> ";
inline constexpr std::u16string_view kReminderDate = u"   <td height='20'><b>Reminder Date: </b> ";
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
  // A row whose value is shown in the red span its label opens.
  void AddRedRow(std::u16string_view label, std::u16string_view value);

  const std::u16string& rows() const { return rows_; }

  // The whole document: fixed head, the rows, fixed end; no line breaks.
  std::u16string Document() const;

 private:
  void AddCell(std::u16string_view label, std::u16string_view value);

  std::u16string rows_;
};

}  // namespace tarvex
