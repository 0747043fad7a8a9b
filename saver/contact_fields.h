#pragma once

// "conatctsaving.txt": the 48 contact fields the recovery program writes for a contact, as
// UTF-16LE with FF FE, each value followed by "<br>", with every LF written as
// "<newlinebreak>" and every comma as "cama".

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tarvex {

// Positions of the fields in the file, from 0.
enum class ContactField : std::size_t {
  kFullName,
  kFirstName,
  kMiddleName,
  kLastName,
  kCompany,
  kFileAs,
  kFileAs2,
  kEmail1,
  kEmail1DisplayName,
  kEmail2,
  kEmail2DisplayName,
  kEmail3,
  kEmail3DisplayName,
  kJobTitle,
  kHomePhone,
  kHomePhone2,
  kBusinessPhone,
  kBusinessPhone2,
  kMobilePhone,
  kOtherPhone,
  kOtherFax,
  kBusinessHomePage,
  kBusinessAddress,
  kBusinessStreet,
  kBusinessCity,
  kBusinessState,
  kBusinessCountry,
  kBusinessPostalCode,
  kBusinessFax,
  kWebPage,
  kStreet,
  kState,
  kCity,
  kCountry,
  kInitials,
  kHomeAddress,
  kHomeStreet,
  kHomeCountry,
  kHomePostalCode,
  kCategories,
  kTitle,
  kNickname,
  kOffice,
  kDepartment,
  kBirthday,
  kSuffix,
  kProfession,
  kFollowUpFlag,
};

inline constexpr std::size_t kContactFieldCount = 48;

class ContactFields {
 public:
  explicit ContactFields(std::array<std::u16string, kContactFieldCount> values)
      : values_(std::move(values)) {}
  const std::u16string& operator[](ContactField field) const {
    return values_[static_cast<std::size_t>(field)];
  }

 private:
  std::array<std::u16string, kContactFieldCount> values_;
};

struct ContactFieldsResult {
  std::optional<ContactFields> fields;
  std::string error;
};

// Undoes the escapes. The comma escape "cama" cannot be told apart from those letters in a
// word, so it is read as a comma only where a comma can stand: never in addresses, phone
// numbers and web addresses, and elsewhere only when no lower-case letter follows it ("Smith,
// Ann" was written "Smithcama Ann"; "Escamante" keeps its letters).
std::u16string UnescapeContactValue(std::u16string_view value, bool commas_possible);

// Fails on a missing mark, an odd byte count or a field count other than 48.
ContactFieldsResult ParseContactFields(std::string_view bytes);
ContactFieldsResult ReadContactFieldsFile(const std::filesystem::path& path);

}  // namespace tarvex
