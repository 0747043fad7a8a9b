#pragma once

// The older layout places folders by their URL paths ("/Top of Information Store/Inbox"). A
// folder row's composite path is that path followed by "+kind+record number+folder id"; these
// helpers clean, order and measure such paths and name a folder's content table.

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvex {

// "%" and "." become "_"; ",", "?", "(" and ")" are dropped.
std::u16string CleanFolderPath(std::u16string_view path);

// Case-insensitive order of cleaned composite paths in which every folder comes right before
// its own subfolders: "+" (end of the path) and "/" (next level) rank below every other
// character, so a sibling such as "Inbox-Old" cannot come between "Inbox" and "Inbox/Sub".
bool FolderPathLess(std::u16string_view a, std::u16string_view b);

// The folder's level: the number of "/" in the path part (before the first "+"). The store root,
// whose composite path is empty, is level 0.
std::size_t FolderPathDepth(std::u16string_view composite_path);

// True for the search folders under "/Finder" and the folder itself: a whole path segment
// "Finder" right after a "/" (a user folder named "Finders" is kept).
bool IsFinderFolderPath(std::u16string_view composite_path);

// The content table of a folder: "1-" and the folder id text's characters 2 to 15 without their
// leading zeros, in upper case ("1000000000004fd" gives "1-4FD"). Fourteen zeros stay as they are.
std::u16string ContentTableName(std::u16string_view folder_id_text);

}  // namespace tarvex
