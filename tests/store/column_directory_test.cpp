#include "store/column_directory.h"

#include <gtest/gtest.h>

#include "store/folder_key.h"

namespace tarvex {
namespace {

TEST(ColumnDirectory, SlotsFillByExactNameAndNeverClear) {
  ColumnDirectory directory;
  EXPECT_EQ(directory.Position(ColumnGroup::kFolder, u"S3001"), 0u);
  directory.Offer(ColumnLookup::kFolderTable, 3, u"S3001");
  directory.Offer(ColumnLookup::kFolderTable, 4, u"s3613");   // other case: no match
  directory.Offer(ColumnLookup::kFolderTable, 5, u"S3613x");  // longer name: no match
  EXPECT_EQ(directory.Position(ColumnGroup::kFolder, u"S3001"), 3u);
  EXPECT_EQ(directory.Position(ColumnGroup::kFolder, u"S3613"), 0u);
  // A lookup writes only its own group.
  EXPECT_EQ(directory.Position(ColumnGroup::kMailbox, u"S3001"), 0u);
  EXPECT_EQ(directory.Position(ColumnGroup::kContent, u"S3001"), 0u);
  // A later table without the name leaves the slot; a later table with it overwrites it.
  directory.Offer(ColumnLookup::kFolderTable, 1, u"Q6748");
  EXPECT_EQ(directory.Position(ColumnGroup::kFolder, u"S3001"), 3u);
  directory.Offer(ColumnLookup::kFolderTable, 0, u"S3001");
  EXPECT_EQ(directory.Position(ColumnGroup::kFolder, u"S3001"), 0u);
}

TEST(ColumnDirectory, ContentListsDifferPerLookup) {
  ColumnDirectory directory;
  directory.Offer(ColumnLookup::kMessageTable, 7, u"N3701");  // not in the "Msg" list
  directory.Offer(ColumnLookup::kMessageTable, 8, u"N67b5");
  directory.Offer(ColumnLookup::kMessageTable, 9, u"N67b0");
  EXPECT_EQ(directory.Position(ColumnGroup::kContent, u"N3701"), 0u);
  EXPECT_EQ(directory.Position(ColumnGroup::kContent, u"N67b5"), 8u);
  EXPECT_EQ(directory.Position(ColumnGroup::kContent, u"N67b0"), 9u);
  EXPECT_EQ(directory.Position(ColumnGroup::kMessage, u"N67b0"), 9u);

  directory.Offer(ColumnLookup::kContent, 11, u"N3701");
  directory.Offer(ColumnLookup::kContent, 12, u"N67b5");  // not in the general list
  directory.Offer(ColumnLookup::kContent, 13, u"N67b0");
  EXPECT_EQ(directory.Position(ColumnGroup::kContent, u"N3701"), 11u);
  EXPECT_EQ(directory.Position(ColumnGroup::kContent, u"N67b5"), 8u);
  EXPECT_EQ(directory.Position(ColumnGroup::kMessage, u"N67b0"), 9u);

  // The 2010 header slots: shared ones are filled by both lookups, own ones by one.
  directory.Offer(ColumnLookup::kMessageHeaders, 2, u"S1a");
  directory.Offer(ColumnLookup::kMessageHeaders, 3, u"S1000");
  directory.Offer(ColumnLookup::kMessageBodies, 4, u"S1000");
  directory.Offer(ColumnLookup::kMessageBodies, 5, u"S70");
  EXPECT_EQ(directory.Position(ColumnGroup::kHeader, u"S1a"), 2u);
  EXPECT_EQ(directory.Position(ColumnGroup::kHeader, u"S1000"), 4u);
  EXPECT_EQ(directory.Position(ColumnGroup::kHeader, u"S70"), 0u);
  EXPECT_EQ(directory.Position(ColumnGroup::kContent, u"S70"), 0u);
}

TEST(FolderKey, TableNamesAndKeysMapBothWays) {
  EXPECT_EQ(FolderKeyFromTableName(u"1-4FD"), u"1000000000004FD");
  EXPECT_EQ(FolderKeyFromTableName(u"12-3"), u"1200000000000003");
  EXPECT_EQ(FolderKeyFromTableName(u"a-b-c"), u"");
  EXPECT_EQ(FolderKeyFromTableName(u"Folders"), u"");
  EXPECT_EQ(FolderKeyFromTableName(u"1-12345678901234"), u"112345678901234");
  EXPECT_EQ(FolderKeyFromTableName(u"1234-5"), u"12345");
  EXPECT_EQ(FolderKeyFromTableName(u"-5"), u"5");
  EXPECT_EQ(FolderKeyFromTableName(u"1-\u0416"), u"10000000000000?");
  EXPECT_EQ(FolderTableName(u"1000000000004fd"), u"1-4FD");
  EXPECT_EQ(FolderTableName(u"1000000000004FD"), u"1-4FD");
  EXPECT_EQ(FolderTableName(u""), u"1-");
}

}  // namespace
}  // namespace tarvex
