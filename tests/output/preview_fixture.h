#pragma once

// Stores for the preview tests: Exchange-named tables written with edbforge, and readers of
// the files a preview leaves in the working folder.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <memory>
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

// A store written by a test into a scratch folder, opened with the working folder "work" beside
// it, and the pages and body state a preview leaves.
class PreviewTest : public ::testing::Test {
 protected:
  void Open(void (*write_store)(const std::filesystem::path&)) {
    write_store(folder_ / "store.edb");
    std::filesystem::create_directories(work_);
    store_ = std::make_unique<OpenedStore>(folder_ / "store.edb", work_);
  }
  std::u16string Header() { return PageText(work_ / "header.html"); }
  std::u16string Frameset() { return PageText(work_ / "strEmlPath.html"); }
  BodyState& Body() { return store_->recovery().body(); }
  RecordingWindowPort& Window() { return store_->recorder(); }

  ScratchFolder folder_;
  std::filesystem::path work_ = folder_ / "work";
  std::unique_ptr<OpenedStore> store_;
};

ItemListRow ListRow(std::u16string key, std::u16string kind, std::u16string row_number,
                    std::u16string row_info, std::u16string sender = u"",
                    std::u16string subject = u"", std::u16string date = u"",
                    std::u16string flag = u"false", std::u16string to = u"",
                    std::u16string cc = u"", std::u16string bcc = u"");

}  // namespace tarvex::testing
