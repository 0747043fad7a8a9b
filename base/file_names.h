#pragma once

// Turning texts from the database into file names and paths.

#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace tarvex {

// Paths hold UTF-8 on this platform.
std::filesystem::path PathFromText(std::u16string_view text);
std::u16string TextFromPath(const std::filesystem::path& path);

// A name that stays inside the folder it is written to: path separators and drive colons
// become "_", control characters are dropped, "." and ".." and reserved device names are
// defused, and an over-long name is shortened keeping its extension. Everything else of the
// visible name is kept. An empty result becomes `fallback`.
std::u16string SafeFileName(std::u16string_view name, std::u16string_view fallback = u"attachment");

// The file names of the entries of one folder. SafeFileName can give two different names the
// same file name ("." and ".." both become the fallback, "a/b" and "a_b" both "a_b"), and a
// case-insensitive file system or the saver takes "Inbox" and "INBOX" for one file: then the
// later name gets " (2)", " (3)", ... before its extension. The same name asked for again gets
// the file name it got before.
class UniqueFileNames {
 public:
  // `taken`: file names already in use there, e.g. the program's own working files.
  explicit UniqueFileNames(std::span<const std::u16string_view> taken = {});

  std::u16string For(std::u16string_view name, std::u16string_view fallback);

 private:
  std::map<std::u16string, std::u16string, std::less<>> given_;  // name -> file name
  std::set<std::u16string> taken_;                               // upper-cased file names
};

// The names of the files a preview or an export writes into the working folder itself, which
// no attachment may take.
inline constexpr std::array<std::u16string_view, 14> kWorkingFileNames = {
    u"header.html",      u"body.html",
    u"strEmlPath.html",  u"textbody.txt",
    u"htmlbody.html",    u"rtfbody.txt",
    u"blank.txt",        u"blank.html",
    u"temp.rtf",         u"ccc.txt",
    u"message.eml",      u"tempbody.txt",
    u"htmlbody.html.stored", u"blank.html.stored"};

}  // namespace tarvex
