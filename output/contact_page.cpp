// The contact pages of both layouts: the sender, then one row for each contact field that
// has a value. Which columns give a field is data, one table for both layouts.

#include <array>
#include <string>

#include "content/text_transformations.h"
#include "output/contact_columns.h"
#include "output/header_page.h"
#include "output/preview_body.h"
#include "output/preview_page_files.h"
#include "output/preview_pages.h"

namespace tarvex {
namespace {

struct ContactField {
  std::u16string_view label;
  ColumnSteps older;
  ColumnSteps newer;  // the 2010 layout
};

// A field read from one column in both layouts.
constexpr ContactField Single(std::u16string_view label, std::u16string_view column) {
  return {label, {First(column)}, {First(column)}};
}

constexpr std::array kContactFields = {
    ContactField{u"   <td height='20'><b>Full Name:</b>",
                 {First(u"S82a0"), Then(u"S3001")},
                 {First(u"S82a0"), Then(u"S3001")}},
    Single(u"   <td height='20'><b>First Name:</b >", u"S3a06"),
    Single(u"   <td height='20'><b>Middle Name: </b> ", u"S3a44"),
    Single(u"    <td height='20'><b>Last Name:</b> ", u"S3a11"),
    Single(u"    <td height='20'><b>Company Name:</b> ", u"S3a16"),
    Single(u"    <td height='20'><b>File As 1:</b> ", u"S81c2"),
    Single(u"    <td height='20'><b>File As 2:</b> ", u"S70"),
    ContactField{u"    <td height='20'><b>E-Mail Address 1:</b> ",
                 {First(u"S81b1"), Else(u"S802c")},
                 {First(u"S802c"), Else(u"S81b0"), Else(u"S3003"), Else(u"S803a"), Else(u"S8023")}},
    ContactField{u"    <td height='20'><b>Email Address 1 Display As:</b> ",
                 {First(u"S829f"), Else(u"S81b2"), Else(u"S802f")},
                 {First(u"S829f"), Else(u"S81b2"), Else(u"S801a")}},
    ContactField{u"    <td height='20'><b>E-Mail Address 2:</b> ",
                 {First(u"S803b")},
                 {First(u"S81b1"), Else(u"S801d"), Else(u"S81b5"), Else(u"S8010"), Else(u"S801b"),
                  Else(u"S802b"), Else(u"S800e")}},
    ContactField{u"    <td height='20'><b>Email Address 2 Display As:</b> ",
                 {First(u"S81af")},
                 {First(u"S81af"), Else(u"S8020")}},
    ContactField{u"    <td height='20'><b>E-Mail Address 3:</b> ",
                 {First(u"S81ba")},
                 {First(u"S81ba"), WhenSet(u"S800b")}},
    Single(u"    <td height='20'><b>Email Address 3 Display As:</b> ", u"S81b9"),
    Single(u"    <td height='20'><b>Job Title:</b> ", u"S3a17"),
    ContactField{u"    <td height='20'><b>Phone Number - Home:</b> ",
                 {First(u"S3a09")},
                 {First(u"S3a09"), Else(u"S8145")}},
    Single(u"    <td height='20'><b>Phone Number - Home 2:</b> ", u"S3a2f"),
    Single(u"    <td height='20'><b>Phone Number - Business:</b> ", u"S3a08"),
    Single(u"    <td height='20'><b>Phone Number - Business 2:</b> ", u"S3a1b"),
    Single(u"    <td height='20'><b>Phone Number - Mobile:</b> ", u"S3a1c"),
    Single(u"    <td height='20'><b>Phone Number - Other:</b> ", u"S3a1f"),
    Single(u"    <td height='20'><b>Phone Number - Other Fax:</b> ", u"S3a23"),
    Single(u"    <td height='20'><b>Business Homepage:</b> ", u"S8241"),
    Single(u"    <td height='20'><b>Business Full Address 1:</b> ", u"S3a15"),
    Single(u"    <td height='20'><b>Business Address Street:</b> ", u"S80a6"),
    ContactField{u"    <td height='20'><b>Business Address City:</b> ",
                 {First(u"S8097")},
                 {First(u"S8097"), Else(u"S8143")}},
    ContactField{u"    <td height='20'><b>Business Address State/Province:</b> ",
                 {First(u"S80a5")},
                 {First(u"S80a5"), Else(u"S8146")}},
    ContactField{u"    <td height='20'><b>Business Address Country/Region:</b> ",
                 {First(u"S808d")},
                 {First(u"S808d"), Else(u"S8144")}},
    ContactField{u"    <td height='20'><b>Business Address Zip/Postal Code:</b> ",
                 {First(u"S3a2a"), Then(u"S809e")},
                 {First(u"S3a2a"), Then(u"S809e"), Else(u"L813a")}},
    Single(u"    <td height='20'><b>Phone Number - Business Fax:</b> ", u"S3a24"),
    Single(u"    <td height='20'><b>Web Page Address 1:</b> ", u"S3a51"),
    Single(u"    <td height='20'><b>Street:</b> ", u"S3a29"),
    Single(u"    <td height='20'><b>State:</b> ", u"S3a28"),
    Single(u"    <td height='20'><b>City:</b> ", u"S3a27"),
    Single(u"    <td height='20'><b>Country:</b> ", u"S3a26"),
    Single(u"    <td height='20'><b>Initials:</b> ", u"S3a0a"),
    ContactField{u"    <td height='20'><b>Home Address:</b> ",
                 {First(u"S80a7"), Then(u"S8095")},
                 {First(u"S80a7"), Else(u"S801a"), Then(u"S8095")}},
    Single(u"    <td height='20'><b>Home Address Street:</b> ", u"S3a5d"),
    Single(u"    <td height='20'><b>Home Address State:</b> ", u"S3a5c"),
    Single(u"    <td height='20'><b>Home Address City:</b> ", u"S3a59"),
    Single(u"    <td height='20'><b>Home Address Country:</b> ", u"S3a5a"),
    Single(u"    <td height='20'><b>Home Address Postal Code:</b> ", u"S3a5b"),
    Single(u"    <td height='20'><b>Categories:</b> ", u"MS80db"),
    Single(u"    <td height='20'><b>Title:</b> ", u"S3a45"),
    Single(u"    <td height='20'><b>Nickname:</b> ", u"S3a4f"),
    Single(u"    <td height='20'><b>Office:</b> ", u"S3a19"),
    Single(u"    <td height='20'><b>Department:</b> ", u"S3a18"),
    Single(u"    <td height='20'><b>Birthday:</b> ", u"T3a42"),
    Single(u"    <td height='20'><b>Suffix:</b> ", u"S3a05"),
    Single(u"    <td height='20'><b>Profession:</b> ", u"S3a46"),
    Single(u"    <td height='20'><b>Follow-up Flag:</b> ", u"S8027"),
};

void WriteContactPage(Recovery& recovery, PreviewRecord& record, const SelectedItem& item,
                      bool older) {
  HeaderPage header;
  header.AddRow(header_label::kContactFrom, item.sender);
  for (const ContactField& field : kContactFields) {
    header.AddRowWhenSet(field.label, ContactFieldValue(record, older ? field.older : field.newer));
  }
  ShowPageSet(recovery, header, FramesetLayout::kSideBySide);
}

}  // namespace

void WriteContactPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBodyOlder(recovery, record, item, u"blank.html");
  if (item.sender.empty()) item.sender = record.Text(u"N67b5");
  std::u16string addresses = ExtractMailAddresses(item.sender);
  if (!addresses.empty()) item.sender = std::move(addresses);
  item.sender = EscapeAngleBrackets(item.sender);
  WriteContactPage(recovery, record, item, true);
}

void WriteContactPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBody2010(recovery, record, u"");
  WriteContactPage(recovery, record, item, false);
}

}  // namespace tarvex
