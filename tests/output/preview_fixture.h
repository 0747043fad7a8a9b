#pragma once

// Stores for the preview tests: Exchange-named tables written with edbforge, and readers of
// the files a preview leaves in the working folder.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "item_store_forge.h"
#include "mailbox/item_extraction.h"
#include "support/test_files.h"
#include "tools/edbforge/ese/database_writer.h"

namespace tarvex::testing {

std::vector<std::uint8_t> Utf8Bytes(std::u16string_view text);

// A page file: must start with FF FE; the rest decoded as UTF-16LE.
std::u16string PageText(const std::filesystem::path& path);
// UTF-16LE without a mark.
std::u16string UnmarkedText(const std::filesystem::path& path);

// The text of `label`'s cell up to its closing tag; empty when the label is not on the page.
std::u16string CellValue(std::u16string_view page, std::u16string_view label);

ItemListRow ListRow(std::u16string key, std::u16string kind, std::u16string row_number,
                    std::u16string row_info, std::u16string sender = u"",
                    std::u16string subject = u"", std::u16string date = u"",
                    std::u16string flag = u"false", std::u16string to = u"",
                    std::u16string cc = u"", std::u16string bcc = u"");

}  // namespace tarvex::testing
