// Generated stores: item counts per table, every item reachable, the same bytes for the same
// seed.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "ese/database.h"
#include "exchange_test_stores.h"
#include "support/test_files.h"
#include "tools/edbforge/exchange/scale_generator.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::edbforge {
namespace {

using tarvex::testing::FileText;

using tarvex::testing::ScratchFolder;
using testing::OpenedStore;
using testing::ScenarioPath;

int CountWithPrefix(OpenedStore& store, std::u16string_view prefix, int* tables = nullptr) {
  int records = 0;
  int count = 0;
  for (const TableEntry& entry : store.session().catalog().entries()) {
    if (!entry.name.starts_with(prefix)) continue;
    ++count;
    records += store.RecordCount(entry.name);
  }
  if (tables != nullptr) *tables = count;
  return records;
}

TEST(ScaleStore, OlderLayoutHoldsEveryItemInMsgAndInItsContentTable) {
  ScratchFolder scratch;
  ScaleOptions options;
  options.layout = StoreLayout::kOlder;
  options.mailboxes = 2;
  options.folders = 11;
  options.items = 500;
  WriteScaleStore(options, scratch / "scale.edb");
  auto store = OpenedStore::Open(scratch / "scale.edb");
  ASSERT_TRUE(store);
  EXPECT_FALSE(store->session().Is2010Layout());
  EXPECT_EQ(store->session().store_kind(), tarvex::StoreKind::kPrivate);
  EXPECT_EQ(store->RecordCount(u"Msg"), 500);
  EXPECT_EQ(store->RecordCount(u"Mailbox"), 2);
  // Two mailboxes, each a root, a top folder and 11 item folders.
  EXPECT_EQ(store->RecordCount(u"Folders"), 26);
  int tables = 0;
  EXPECT_EQ(CountWithPrefix(*store, u"1-", &tables), 500);
  EXPECT_EQ(tables, 26);
  EXPECT_GT(store->RecordCount(store->session().attachment_table_name()), 0);
  EXPECT_EQ(store->session().attachment_table_name(), u"Attachment");
  // The indexes Exchange keeps: by message id on "Msg", by delivery time and message id on
  // every content table, by folder on "Folders".
  auto opened = ese::Database::Open(scratch / "scale.edb");
  ASSERT_TRUE(opened.database);
  std::map<std::u16string, size_t> indexes;
  for (const ese::TableSchema& table : opened.database->catalog().tables) {
    const std::u16string kind = table.name.starts_with(u"1-") ? u"content" : table.name;
    for (const ese::IndexSchema& index : table.indexes) ++indexes[kind + u"/" + index.name];
  }
  EXPECT_EQ(indexes[u"Msg/MessageId"], 1u);
  EXPECT_EQ(indexes[u"Folders/FolderId"], 1u);
  EXPECT_EQ(indexes[u"content/DeliveryTime"], 26u);
  EXPECT_EQ(indexes[u"content/MessageId"], 26u);
}

TEST(ScaleStore, Layout2010SpreadsItemsOverEachMailboxsTables) {
  ScratchFolder scratch;
  ScaleOptions options;
  options.layout = StoreLayout::k2010;
  options.mailboxes = 3;
  options.folders = 4;
  options.items = 300;
  WriteScaleStore(options, scratch / "scale.edb");
  auto store = OpenedStore::Open(scratch / "scale.edb");
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->session().Is2010Layout());
  int header_tables = 0;
  EXPECT_EQ(CountWithPrefix(*store, u"MsgHeader-", &header_tables), 300);
  EXPECT_EQ(header_tables, 3);
  EXPECT_GE(CountWithPrefix(*store, u"Body-"), 300) << "a body row per item, plus attachments";
  int view_tables = 0;
  EXPECT_EQ(CountWithPrefix(*store, u"MsgView-", &view_tables), 300) << "a view row per item";
  EXPECT_EQ(view_tables, 15) << "a view per folder but the mailboxes' roots";

  options.kind = StoreKind::kPublic;
  WriteScaleStore(options, scratch / "public.edb");
  auto public_store = OpenedStore::Open(scratch / "public.edb");
  ASSERT_TRUE(public_store);
  EXPECT_EQ(public_store->session().store_kind(), tarvex::StoreKind::kPublic);
  EXPECT_EQ(CountWithPrefix(*public_store, u"MsgHeader-", &header_tables), 300);
  EXPECT_EQ(header_tables, 5) << "a top folder and four item folders";
}

// The same seed or scenario gives the same bytes each time; another seed, other bytes.
TEST(ScaleStore, TheSameInputGivesTheSameBytes) {
  ScratchFolder scratch;
  ScaleOptions options;
  options.items = 200;
  options.folders = 9;
  options.seed = 42;
  WriteScaleStore(options, scratch / "a.edb");
  WriteScaleStore(options, scratch / "b.edb");
  options.seed = 43;
  WriteScaleStore(options, scratch / "c.edb");
  const std::string a = FileText(scratch / "a.edb");
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, FileText(scratch / "b.edb"));
  EXPECT_NE(a, FileText(scratch / "c.edb"));

  const StoreDescription description = ReadScenarioFile(ScenarioPath("2010-private.json"));
  BuildStore(description, scratch / "d.edb");
  BuildStore(description, scratch / "e.edb");
  EXPECT_EQ(FileText(scratch / "d.edb"), FileText(scratch / "e.edb"));
}

TEST(ScaleStore, OptionsThatMakeNoStoreAreRefused) {
  ScratchFolder scratch;
  ScaleOptions options;
  options.folders = 0;
  EXPECT_ANY_THROW(WriteScaleStore(options, scratch / "none.edb"));
  EXPECT_FALSE(std::filesystem::exists(scratch / "none.edb"));
}

}  // namespace
}  // namespace tarvex::edbforge
