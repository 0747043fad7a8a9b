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
    ContactField{
        u"Full Name:", {First(u"S82a0"), Then(u"S3001")}, {First(u"S82a0"), Then(u"S3001")}},
    Single(u"First Name:", u"S3a06"),
    Single(u"Middle Name:", u"S3a44"),
    Single(u"Last Name:", u"S3a11"),
    Single(u"Company Name:", u"S3a16"),
    Single(u"File As 1:", u"S81c2"),
    Single(u"File As 2:", u"S70"),
    ContactField{u"E-Mail Address 1:",
                 {First(u"S81b1"), Else(u"S802c")},
                 {First(u"S802c"), Else(u"S81b0"), Else(u"S3003"), Else(u"S803a"), Else(u"S8023")}},
    ContactField{u"Email Address 1 Display As:",
                 {First(u"S829f"), Else(u"S81b2"), Else(u"S802f")},
                 {First(u"S829f"), Else(u"S81b2"), Else(u"S801a")}},
    ContactField{u"E-Mail Address 2:",
                 {First(u"S803b")},
                 {First(u"S81b1"), Else(u"S801d"), Else(u"S81b5"), Else(u"S8010"), Else(u"S801b"),
                  Else(u"S802b"), Else(u"S800e")}},
    ContactField{
        u"Email Address 2 Display As:", {First(u"S81af")}, {First(u"S81af"), Else(u"S8020")}},
    ContactField{u"E-Mail Address 3:", {First(u"S81ba")}, {First(u"S81ba"), WhenSet(u"S800b")}},
    Single(u"Email Address 3 Display As:", u"S81b9"),
    Single(u"Job Title:", u"S3a17"),
    ContactField{u"Phone Number - Home:", {First(u"S3a09")}, {First(u"S3a09"), Else(u"S8145")}},
    Single(u"Phone Number - Home 2:", u"S3a2f"),
    Single(u"Phone Number - Business:", u"S3a08"),
    Single(u"Phone Number - Business 2:", u"S3a1b"),
    Single(u"Phone Number - Mobile:", u"S3a1c"),
    Single(u"Phone Number - Other:", u"S3a1f"),
    Single(u"Phone Number - Other Fax:", u"S3a23"),
    Single(u"Business Homepage:", u"S8241"),
    Single(u"Business Full Address 1:", u"S3a15"),
    Single(u"Business Address Street:", u"S80a6"),
    ContactField{u"Business Address City:", {First(u"S8097")}, {First(u"S8097"), Else(u"S8143")}},
    ContactField{
        u"Business Address State/Province:", {First(u"S80a5")}, {First(u"S80a5"), Else(u"S8146")}},
    ContactField{
        u"Business Address Country/Region:", {First(u"S808d")}, {First(u"S808d"), Else(u"S8144")}},
    ContactField{u"Business Address Zip/Postal Code:",
                 {First(u"S3a2a"), Then(u"S809e")},
                 {First(u"S3a2a"), Then(u"S809e"), Else(u"L813a")}},
    Single(u"Phone Number - Business Fax:", u"S3a24"),
    Single(u"Web Page Address 1:", u"S3a51"),
    Single(u"Street:", u"S3a29"),
    Single(u"State:", u"S3a28"),
    Single(u"City:", u"S3a27"),
    Single(u"Country:", u"S3a26"),
    Single(u"Initials:", u"S3a0a"),
    ContactField{u"Home Address:",
                 {First(u"S80a7"), Then(u"S8095")},
                 {First(u"S80a7"), Else(u"S801a"), Then(u"S8095")}},
    Single(u"Home Address Street:", u"S3a5d"),
    Single(u"Home Address State:", u"S3a5c"),
    Single(u"Home Address City:", u"S3a59"),
    Single(u"Home Address Country:", u"S3a5a"),
    Single(u"Home Address Postal Code:", u"S3a5b"),
    Single(u"Categories:", u"MS80db"),
    Single(u"Title:", u"S3a45"),
    Single(u"Nickname:", u"S3a4f"),
    Single(u"Office:", u"S3a19"),
    Single(u"Department:", u"S3a18"),
    Single(u"Birthday:", u"T3a42"),
    Single(u"Suffix:", u"S3a05"),
    Single(u"Profession:", u"S3a46"),
    Single(u"Follow-up Flag:", u"S8027"),
};

void WriteContactPage(Recovery& recovery, PreviewRecord& record, const SelectedItem& item,
                      bool older) {
  HeaderPage header;
  header.AddRow(header_label::kFrom, item.sender);
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
