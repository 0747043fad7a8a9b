// The mailsaving program on contact manifests, contacts.vcf read back line by line.

#include <gtest/gtest.h>

#include <map>

#include "base/utf_conversion.h"
#include "saver/contact_fields.h"
#include "saver_test_files.h"

namespace tarvex::testing {
namespace {

struct VCardProperty {
  std::string name;  // with its parameters, as written
  std::string value;
};
using VCard = std::vector<VCardProperty>;

// Unfolds (CR LF and a blank continue a line) and splits each line at its first colon
// outside quotes.
std::vector<VCard> ParseVCards(const std::string& text) {
  std::vector<VCard> cards;
  std::string unfolded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "\r\n ") == 0) {
      i += 2;
      continue;
    }
    unfolded += text[i];
  }
  std::size_t start = 0;
  while (start < unfolded.size()) {
    std::size_t end = unfolded.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "a line without CR LF";
    if (end == std::string::npos) end = unfolded.size();
    const std::string line = unfolded.substr(start, end - start);
    start = end + 2;
    bool quoted = false;
    std::size_t colon = 0;
    for (; colon < line.size(); ++colon) {
      if (line[colon] == '"') quoted = !quoted;
      if (line[colon] == ':' && !quoted) break;
    }
    VCardProperty property{line.substr(0, colon),
                           colon < line.size() ? line.substr(colon + 1) : ""};
    if (property.name == "BEGIN") cards.emplace_back();
    if (!cards.empty()) cards.back().push_back(property);
  }
  return cards;
}

std::string Unescaped(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      ++i;
      text += value[i] == 'n' || value[i] == 'N' ? '\n' : value[i];
    } else {
      text += value[i];
    }
  }
  return text;
}

std::vector<std::string> Values(const VCard& card, std::string_view name) {
  std::vector<std::string> values;
  for (const VCardProperty& property : card) {
    if (property.name == name) values.push_back(property.value);
  }
  return values;
}

std::string One(const VCard& card, std::string_view name) {
  const auto values = Values(card, name);
  EXPECT_EQ(values.size(), 1u) << name;
  return values.empty() ? "" : Unescaped(values[0]);
}

class ContactSavingTest : public testing::SaverFolderTest {
 protected:
  ContactSavingTest() : SaverFolderTest("Contacts") {
    WriteFile(work_ / "blank.txt", EncodeUtf16Le(u"Met at the fair, 2009.\r\nСпасибо"));
  }

  // The contact text as the export writes it: "<br>" after each value, then every LF as
  // "<newlinebreak>" and every comma as "cama".
  void WriteContact(std::array<std::u16string, kContactFieldCount> fields,
                    const ManifestLines& later_lines = {}) {
    std::u16string text;
    for (const std::u16string& field : fields) text += field + u"<br>";
    std::u16string escaped;
    for (char16_t unit : text) {
      if (unit == u'\n') {
        escaped += u"<newlinebreak>";
      } else if (unit == u',') {
        escaped += u"cama";
      } else {
        escaped += unit;
      }
    }
    WriteFile(scratch_.path() / "conatctsaving.txt", "\xFF\xFE" + EncodeUtf16Le(escaped));
    ManifestLines lines = {{u"xxFolderPath:", Text(box_)},
                           {u"FolderPath:", Text(box_)},
                           {u"Body:", Text(work_ / "blank.txt")},
                           {u"TYPE:", u"txt"}};
    lines.insert(lines.end(), later_lines.begin(), later_lines.end());
    WriteManifest(lines);
  }
};

std::array<std::u16string, kContactFieldCount> SampleFields() {
  std::array<std::u16string, kContactFieldCount> f;
  auto set = [&f](ContactField field, std::u16string value) {
    f[static_cast<std::size_t>(field)] = std::move(value);
  };
  set(ContactField::kFullName, u"Dr. Анна Мария Петрова-Smith, Jr.");
  set(ContactField::kFirstName, u"Анна");
  set(ContactField::kMiddleName, u"Мария");
  set(ContactField::kLastName, u"Петрова-Smith");
  set(ContactField::kCompany, u"ООО «Ромашка»; Ltd");
  set(ContactField::kDepartment, u"R&D");
  set(ContactField::kEmail1, u"anna@example.ru");
  set(ContactField::kEmail1DisplayName, u"Анна (anna@example.ru)");
  set(ContactField::kEmail2, u"a.camacho@example.com");
  set(ContactField::kEmail3, u"Anna@Example.ru");  // the first address once more
  set(ContactField::kCategories, u"Kunden VIP");
  set(ContactField::kJobTitle, u"Инженер");
  set(ContactField::kHomePhone, u"+7 495 123-45-67");
  set(ContactField::kMobilePhone, u"+7 916 000 00 00");
  set(ContactField::kBusinessFax, u"+7 495 765-43-21");
  set(ContactField::kBusinessAddress, u"ул. Ленина, 1\nМосква");
  set(ContactField::kBusinessStreet, u"ул. Ленина, 1");
  set(ContactField::kBusinessCity, u"Москва");
  set(ContactField::kBusinessPostalCode, u"101000");
  set(ContactField::kBusinessCountry, u"Россия");
  set(ContactField::kHomeStreet, u"東京都港区1-2-3");
  set(ContactField::kHomeCountry, u"日本");
  set(ContactField::kBusinessHomePage, u"https://camaro.example.ru/");
  set(ContactField::kTitle, u"Dr.");
  set(ContactField::kSuffix, u"Jr.");
  set(ContactField::kNickname, u"Аня");
  set(ContactField::kBirthday, u"Jan,05 1980 00:00:00");
  set(ContactField::kFollowUpFlag, u"Call back");
  return f;
}

TEST_F(ContactSavingTest, EveryFieldComesBackFromTheVCard) {
  const ManifestLines uid_and_categories = {{u"UID:", u"1-4f"},
                                            {u"CATEGORIES:", u"Kunden, A\tVIP\t"}};
  WriteContact(SampleFields(), uid_and_categories);
  testing::SaverRun run = RunSaver("contact", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  // A record written before UIDs and category lists: its categories stay one value.
  std::array<std::u16string, kContactFieldCount> second;
  second[static_cast<std::size_t>(ContactField::kFirstName)] = u"Bob";
  second[static_cast<std::size_t>(ContactField::kLastName)] = u"Brown";
  second[static_cast<std::size_t>(ContactField::kCategories)] = u"Golf club";
  WriteContact(second);
  run = RunSaver("contact", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  WriteContact(SampleFields(), uid_and_categories);
  run = RunSaver("contact", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;

  const std::vector<VCard> cards = ParseVCards(FileText(box_ / "contacts.vcf"));
  ASSERT_EQ(cards.size(), 3u);
  // The same item gets the same UID; another item another one.
  EXPECT_EQ(One(cards[0], "UID"), One(cards[2], "UID"));
  EXPECT_NE(One(cards[0], "UID"), One(cards[1], "UID"));
  EXPECT_EQ(Values(cards[0], "CATEGORIES"), std::vector<std::string>{"Kunden\\, A,VIP"});
  EXPECT_EQ(Values(cards[1], "CATEGORIES"), std::vector<std::string>{"Golf club"});
  const VCard& card = cards[0];
  EXPECT_EQ(card.back().name, "END");
  EXPECT_EQ(One(card, "VERSION"), "4.0");
  EXPECT_EQ(One(card, "FN"), Utf16ToUtf8(u"Dr. Анна Мария Петрова-Smith, Jr."));
  EXPECT_EQ(Values(card, "N")[0], Utf16ToUtf8(u"Петрова-Smith;Анна;Мария;Dr.;Jr."));
  EXPECT_EQ(Values(card, "ORG")[0], Utf16ToUtf8(u"ООО «Ромашка»\\; Ltd;R&D"));
  EXPECT_EQ(One(card, "TITLE"), Utf16ToUtf8(u"Инженер"));
  EXPECT_EQ(One(card, "NICKNAME"), Utf16ToUtf8(u"Аня"));
  EXPECT_EQ(
      One(card, "EMAIL;PREF=1;X-DISPLAY-NAME=\"" + Utf16ToUtf8(u"Анна (anna@example.ru)") + "\""),
      "anna@example.ru");
  EXPECT_EQ(One(card, "EMAIL;PREF=2"), "a.camacho@example.com");
  EXPECT_TRUE(Values(card, "EMAIL;PREF=3").empty());
  EXPECT_EQ(One(card, "TEL;VALUE=text;TYPE=\"home,voice\""), "+7 495 123-45-67");
  EXPECT_EQ(One(card, "TEL;VALUE=text;TYPE=\"cell\""), "+7 916 000 00 00");
  EXPECT_EQ(One(card, "TEL;VALUE=text;TYPE=\"work,fax\""), "+7 495 765-43-21");
  EXPECT_EQ(
      Values(card, "ADR;TYPE=work;LABEL=\"" + Utf16ToUtf8(u"ул. Ленина, 1^nМосква") + "\"").at(0),
      Utf16ToUtf8(u";;ул. Ленина\\, 1;Москва;;101000;Россия"));
  EXPECT_EQ(Values(card, "ADR;TYPE=home").at(0), Utf16ToUtf8(u";;東京都港区1-2-3;;;;日本"));
  EXPECT_EQ(One(card, "URL;TYPE=work"), "https://camaro.example.ru/");
  EXPECT_EQ(One(card, "BDAY"), "19800105");
  EXPECT_EQ(One(card, "X-FOLLOW-UP-FLAG"), "Call back");
  EXPECT_EQ(One(card, "NOTE"), Utf16ToUtf8(u"Met at the fair, 2009.\nСпасибо"));

  EXPECT_EQ(One(cards[1], "FN"), "Bob Brown");  // made from the name parts
  EXPECT_EQ(Values(cards[1], "N")[0], "Brown;Bob;;;");
}

TEST_F(ContactSavingTest, DistributionListsAreGroups) {
  WriteFile(work_ / "blank.txt", EncodeUtf16Le(u"Все, кто в проекте"));
  WriteManifest({{u"FolderPath:", Text(box_)},
                 {u"NAME:", u"Команда; core"},
                 {u"MEMBERS:", u"Анна Петрова <anna@example.ru>\tbob@example.com\t"},
                 {u"TYPE:", u"txt"},
                 {u"Body:", Text(work_ / "blank.txt")},
                 {u"UID:", u"2-9c"}});
  const testing::SaverRun run = RunSaver("distlist", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  const std::vector<VCard> cards = ParseVCards(FileText(box_ / "contacts.vcf"));
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(One(cards[0], "KIND"), "group");
  EXPECT_EQ(One(cards[0], "FN"), Utf16ToUtf8(u"Команда; core"));
  EXPECT_EQ(One(cards[0], "MEMBER;X-DISPLAY-NAME=\"" + Utf16ToUtf8(u"Анна Петрова") + "\""),
            "mailto:anna@example.ru");
  EXPECT_EQ(One(cards[0], "MEMBER"), "mailto:bob@example.com");
  EXPECT_EQ(One(cards[0], "NOTE"), Utf16ToUtf8(u"Все, кто в проекте"));
  EXPECT_TRUE(One(cards[0], "UID").starts_with("urn:uuid:"));
}

TEST_F(ContactSavingTest, ADamagedContactFileChangesNothing) {
  WriteContact(SampleFields());
  ASSERT_EQ(RunSaver("contact", scratch_.path()).exit_code, 0);
  const std::string before = FileText(box_ / "contacts.vcf");
  const std::string fields = FileText(scratch_.path() / "conatctsaving.txt");
  for (const std::string& damaged :
       {fields.substr(0, fields.size() - 8), fields.substr(2), fields + "x"}) {
    WriteFile(scratch_.path() / "conatctsaving.txt", damaged);
    const testing::SaverRun run = RunSaver("contact", scratch_.path());
    EXPECT_NE(run.exit_code, 0);
    EXPECT_NE(run.standard_error.find("conatctsaving.txt"), std::string::npos);
    EXPECT_EQ(FileText(box_ / "contacts.vcf"), before);
  }
  std::filesystem::remove(scratch_.path() / "conatctsaving.txt");
  EXPECT_NE(RunSaver("contact", scratch_.path()).exit_code, 0);
  EXPECT_EQ(FileText(box_ / "contacts.vcf"), before);
}

}  // namespace
}  // namespace tarvex::testing
