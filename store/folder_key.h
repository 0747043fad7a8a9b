#pragma once

// Content tables of the older layout are named after their folder ("1-4FD"); the folder key is
// the same identifier in the form the folder rows give it ("1000000000004FD").

#include <string>
#include <string_view>

namespace tarvex {

// The key of a table name with exactly two parts around "-": the first part and the second
// padded with zeros to 14 characters (when the parts are short enough), else the two parts
// joined. Any other name gives an empty key.
std::u16string FolderKeyFromTableName(std::u16string_view table_name);

// The inverse for keys of replica 1: "1-" and characters 2 to 15 of the key without their
// leading zeros, in upper case.
std::u16string FolderTableName(std::u16string_view folder_key);

}  // namespace tarvex
