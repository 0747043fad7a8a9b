#include "saver/vcard_writer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/date_text.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "saver/output_files.h"

namespace tarvex {
namespace {

// Text value escapes of RFC 6350 section 3.4; CR is dropped since LF alone is the line break.
std::string EscapeText(std::u16string_view value) {
  std::string escaped;
  for (char unit : Utf16ToUtf8(value)) {
    switch (unit) {
      case '\\':
        escaped += "\\\\";
        break;
      case ',':
        escaped += "\\,";
        break;
      case ';':
        escaped += "\\;";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        break;
      default:
        escaped.push_back(unit);
    }
  }
  return escaped;
}

// A parameter value in quotes, with the caret escapes of RFC 6868.
std::string QuotedParameter(std::u16string_view value) {
  std::string quoted = "\"";
  for (char unit : Utf16ToUtf8(value)) {
    switch (unit) {
      case '^':
        quoted += "^^";
        break;
      case '"':
        quoted += "^'";
        break;
      case '\n':
        quoted += "^n";
        break;
      case '\r':
        break;
      default:
        quoted.push_back(unit);
    }
  }
  return quoted + "\"";
}

bool AllEmpty(std::initializer_list<std::u16string_view> values) {
  for (std::u16string_view value : values) {
    if (!Trim(value).empty()) return false;
  }
  return true;
}

std::string Joined(std::initializer_list<std::u16string_view> components) {
  std::string joined;
  bool first = true;
  for (std::u16string_view component : components) {
    if (!first) joined += ';';
    joined += EscapeText(component);
    first = false;
  }
  return joined;
}

class EntryBuilder {
 public:
  void Add(std::string_view name_and_parameters, const std::string& value) {
    entry_ += FoldContentLine(std::string(name_and_parameters) + ":" + value);
  }
  void AddText(std::string_view name_and_parameters, std::u16string_view value) {
    if (Trim(value).empty()) return;
    Add(name_and_parameters, EscapeText(value));
  }
  std::string Take() { return std::move(entry_); }

 private:
  std::string entry_;
};

std::u16string FormattedName(const ContactFields& f) {
  if (!Trim(f[ContactField::kFullName]).empty()) return f[ContactField::kFullName];
  std::u16string name;
  for (ContactField part :
       {ContactField::kFirstName, ContactField::kMiddleName, ContactField::kLastName}) {
    const std::u16string piece = Trim(f[part]);
    if (piece.empty()) continue;
    if (!name.empty()) name += u' ';
    name += piece;
  }
  if (!name.empty()) return name;
  for (ContactField other : {ContactField::kFileAs, ContactField::kFileAs2, ContactField::kCompany,
                             ContactField::kEmail1}) {
    if (!Trim(f[other]).empty()) return f[other];
  }
  return u"";
}

}  // namespace

std::string FoldContentLine(std::string_view line) {
  constexpr std::size_t kMaxOctets = 75;
  std::string folded;
  std::size_t limit = kMaxOctets;
  while (line.size() > limit) {
    std::size_t cut = limit;
    // Back up to the start of a UTF-8 sequence.
    while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    folded.append(line.substr(0, cut));
    folded += "\r\n ";
    line.remove_prefix(cut);
    limit = kMaxOctets - 1;  // the leading blank counts
  }
  folded.append(line);
  folded += "\r\n";
  return folded;
}

std::string VCardEntry(const ContactFields& f, std::u16string_view note, std::string_view uid,
                       const std::vector<std::u16string>& categories) {
  using F = ContactField;
  EntryBuilder b;
  b.Add("BEGIN", "VCARD");
  b.Add("VERSION", "4.0");
  b.Add("UID", "urn:uuid:" + std::string(uid));
  b.Add("FN", EscapeText(FormattedName(f)));
  if (!AllEmpty(
          {f[F::kLastName], f[F::kFirstName], f[F::kMiddleName], f[F::kTitle], f[F::kSuffix]})) {
    b.Add("N", Joined({f[F::kLastName], f[F::kFirstName], f[F::kMiddleName], f[F::kTitle],
                       f[F::kSuffix]}));
  }
  b.AddText("NICKNAME", f[F::kNickname]);
  if (!AllEmpty({f[F::kCompany], f[F::kDepartment]})) {
    b.Add("ORG", Joined({f[F::kCompany], f[F::kDepartment]}));
  }
  b.AddText("TITLE", f[F::kJobTitle]);
  b.AddText("ROLE", f[F::kProfession]);

  const struct {
    F address;
    F display_name;
  } emails[] = {{F::kEmail1, F::kEmail1DisplayName},
                {F::kEmail2, F::kEmail2DisplayName},
                {F::kEmail3, F::kEmail3DisplayName}};
  int preference = 1;
  std::vector<std::u16string> written;  // lower-case: addresses compare without case
  for (const auto& email : emails) {
    const std::u16string address = Trim(f[email.address]);
    if (address.empty()) continue;
    std::u16string key = address;
    for (char16_t& unit : key) {
      if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    }
    if (std::find(written.begin(), written.end(), key) != written.end()) continue;
    written.push_back(std::move(key));
    std::string name = "EMAIL;PREF=" + std::to_string(preference++);
    if (!Trim(f[email.display_name]).empty()) {
      name += ";X-DISPLAY-NAME=" + QuotedParameter(f[email.display_name]);
    }
    b.AddText(name, address);
  }

  const struct {
    F field;
    std::string_view type;
  } phones[] = {{F::kHomePhone, "home,voice"},
                {F::kHomePhone2, "home,voice"},
                {F::kBusinessPhone, "work,voice"},
                {F::kBusinessPhone2, "work,voice"},
                {F::kMobilePhone, "cell"},
                {F::kOtherPhone, "voice"},
                {F::kOtherFax, "fax"},
                {F::kBusinessFax, "work,fax"}};
  for (const auto& phone : phones) {
    b.AddText("TEL;VALUE=text;TYPE=\"" + std::string(phone.type) + "\"", f[phone.field]);
  }

  // Business address with its full text as label; the unqualified street, city, state and
  // country fields; the home address, which has no city and state fields.
  if (!AllEmpty({f[F::kBusinessAddress], f[F::kBusinessStreet], f[F::kBusinessCity],
                 f[F::kBusinessState], f[F::kBusinessPostalCode], f[F::kBusinessCountry]})) {
    std::string name = "ADR;TYPE=work";
    if (!Trim(f[F::kBusinessAddress]).empty()) {
      name += ";LABEL=" + QuotedParameter(f[F::kBusinessAddress]);
    }
    b.Add(name, Joined({u"", u"", f[F::kBusinessStreet], f[F::kBusinessCity], f[F::kBusinessState],
                        f[F::kBusinessPostalCode], f[F::kBusinessCountry]}));
  }
  if (!AllEmpty({f[F::kStreet], f[F::kCity], f[F::kState], f[F::kCountry]})) {
    b.Add("ADR", Joined({u"", u"", f[F::kStreet], f[F::kCity], f[F::kState], u"", f[F::kCountry]}));
  }
  if (!AllEmpty(
          {f[F::kHomeAddress], f[F::kHomeStreet], f[F::kHomePostalCode], f[F::kHomeCountry]})) {
    std::string name = "ADR;TYPE=home";
    if (!Trim(f[F::kHomeAddress]).empty()) name += ";LABEL=" + QuotedParameter(f[F::kHomeAddress]);
    b.Add(name, Joined({u"", u"", f[F::kHomeStreet], u"", u"", f[F::kHomePostalCode],
                        f[F::kHomeCountry]}));
  }

  b.AddText("URL;TYPE=work", f[F::kBusinessHomePage]);
  b.AddText("URL;TYPE=home", f[F::kWebPage]);
  if (const auto birthday = ParseDateText(f[F::kBirthday])) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", birthday->year, birthday->month,
                  birthday->day);
    b.Add("BDAY", text);
  } else {
    b.AddText("BDAY;VALUE=text", f[F::kBirthday]);
  }
  std::string category_list;
  for (const std::u16string& category : categories) {
    if (Trim(category).empty()) continue;
    if (!category_list.empty()) category_list += ',';
    category_list += EscapeText(Trim(category));
  }
  if (!category_list.empty()) b.Add("CATEGORIES", category_list);
  b.AddText("X-FILE-AS", f[F::kFileAs]);
  b.AddText("X-FILE-AS-2", f[F::kFileAs2]);
  b.AddText("X-INITIALS", f[F::kInitials]);
  b.AddText("X-OFFICE", f[F::kOffice]);
  b.AddText("X-FOLLOW-UP-FLAG", f[F::kFollowUpFlag]);
  b.AddText("NOTE", note);
  b.Add("END", "VCARD");
  return b.Take();
}

std::string VCardGroupEntry(const DistListItem& list) {
  EntryBuilder b;
  b.Add("BEGIN", "VCARD");
  b.Add("VERSION", "4.0");
  b.Add("UID", "urn:uuid:" + list.uid);
  b.Add("KIND", "group");
  b.Add("FN", EscapeText(list.name));
  for (const DistListMember& member : list.members) {
    const std::u16string address = Trim(member.address);
    if (address.empty()) continue;
    std::string name = "MEMBER";
    if (!Trim(member.name).empty() && Trim(member.name) != address) {
      name += ";X-DISPLAY-NAME=" + QuotedParameter(Trim(member.name));
    }
    b.Add(name, "mailto:" + Utf16ToUtf8(address));
  }
  b.AddText("NOTE", list.note);
  b.Add("END", "VCARD");
  return b.Take();
}

bool AppendVCard(const std::filesystem::path& file, std::string_view entry, std::string& error) {
  AppendingFile output;
  return output.Open(file, error) && output.Write(entry, error) && output.Commit(error);
}

}  // namespace tarvex
