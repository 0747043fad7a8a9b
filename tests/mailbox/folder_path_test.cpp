#include "mailbox/folder_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/utf16_text.h"
#include "mailbox/mailbox_key_lookup.h"

namespace tarvex {
namespace {

TEST(FolderPath, CleaningReplacesAndDropsPunctuation) {
  EXPECT_EQ(CleanFolderPath(u"/Top/Inbox+IPF.Note+12+1000000000004fd"),
            u"/Top/Inbox+IPF_Note+12+1000000000004fd");
  EXPECT_EQ(CleanFolderPath(u"/50% (old), really?"), u"/50_ old really");
  EXPECT_EQ(CleanFolderPath(u""), u"");
}

TEST(FolderPath, OrderIsCaseInsensitiveAndKeepsSubtreesTogether) {
  // Siblings by their path segments, whatever their case.
  EXPECT_TRUE(FolderPathLess(u"/Top/Archive+IPF_Note+1+a", u"/Top/inbox+IPF_Note+2+b"));
  EXPECT_TRUE(FolderPathLess(u"/Top/inbox+IPF_Note+2+b", u"/Top/Sent+IPF_Note+3+c"));
  EXPECT_FALSE(FolderPathLess(u"/Top/INBOX+x", u"/Top/inbox+x"));
  EXPECT_FALSE(FolderPathLess(u"/Top/inbox+x", u"/Top/INBOX+x"));
  // The store root first, a folder before its subfolders, and its subfolders before a sibling
  // whose name merely begins with its own.
  EXPECT_TRUE(FolderPathLess(u"", u"/Top+Folder+1+a"));
  EXPECT_TRUE(FolderPathLess(u"/Top+Folder+1+a", u"/Top/Inbox+Folder+2+b"));
  EXPECT_TRUE(FolderPathLess(u"/Top/Inbox/Sub+x", u"/Top/Inbox-Old+x"));
  EXPECT_TRUE(FolderPathLess(u"/Top/Inbox/Sub+x", u"/Top/Inbox Old+x"));
  EXPECT_TRUE(FolderPathLess(u"/Top/Inbox/Sub+x", u"/Top/Inbox!+x"));
  // Case folds to lower case, so "_" (from "." and "%") sorts before letters.
  EXPECT_TRUE(FolderPathLess(u"/A_B+x", u"/AB+x"));
}

TEST(FolderPath, SortingKeepsEveryFolderRightBeforeItsSubtree) {
  std::mt19937 random(5);
  const std::u16string segments[] = {u"a", u"A", u"a-b", u"a b", u"a!", u"ab", u"_", u"Z"};
  std::vector<std::u16string> paths;
  for (int i = 0; i < 300; ++i) {
    std::u16string path;
    const unsigned depth = random() % 4;
    for (unsigned level = 0; level <= depth; ++level) path += u"/" + segments[random() % 8];
    paths.push_back(path + u"+k+" + FromAscii(std::to_string(i)) + u"+id");
  }
  std::vector<std::u16string> sorted = paths;
  std::stable_sort(sorted.begin(), sorted.end(), FolderPathLess);
  // The exchange sort the order stands for gives the same sequence.
  std::vector<std::u16string> exchanged = paths;
  for (std::size_t pass = 0; pass < exchanged.size(); ++pass) {
    for (std::size_t i = 0; i + 1 < exchanged.size(); ++i) {
      if (FolderPathLess(exchanged[i + 1], exchanged[i])) std::swap(exchanged[i], exchanged[i + 1]);
    }
  }
  EXPECT_EQ(sorted, exchanged);
  // After any path, a path of another subtree is never followed by one of the first's subtree.
  auto path_part = [](const std::u16string& p) { return p.substr(0, p.find(u'+')); };
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    const std::u16string prefix = ToAsciiUpper(path_part(sorted[i])) + u"/";
    bool left_subtree = false;
    for (std::size_t j = i + 1; j < sorted.size(); ++j) {
      // Folders of the same path (repeated names) come first, together.
      if (ToAsciiUpper(path_part(sorted[j])) + u"/" == prefix) continue;
      const bool inside = ToAsciiUpper(path_part(sorted[j])).starts_with(prefix);
      if (!inside) left_subtree = true;
      ASSERT_FALSE(inside && left_subtree) << i << " " << j;
    }
  }
}

TEST(FolderPath, DepthCountsLevelsOfThePathPartOnly) {
  EXPECT_EQ(FolderPathDepth(u""), 0u);
  EXPECT_EQ(FolderPathDepth(u"/Unknown7+Folder+7+"), 1u);
  EXPECT_EQ(FolderPathDepth(u"/Top of Information Store/Inbox+IPF_Note+12+1000000000004fd"), 2u);
  EXPECT_EQ(FolderPathDepth(u"Inbox+Folder+1+a"), 0u) << "a path without a leading /";
  EXPECT_EQ(FolderPathDepth(u"/Inbox+IPF/Odd+1+a/b"), 1u) << "a / in the kind or id is no level";
}

TEST(FolderPath, FinderFoldersAreRecognisedBySegment) {
  EXPECT_TRUE(IsFinderFolderPath(u"/Finder+Folder+3+1000000000004"));
  EXPECT_TRUE(IsFinderFolderPath(u"/Finder/x+Folder+4+1000000000005"));
  EXPECT_TRUE(IsFinderFolderPath(u"/Top/Finder"));
  EXPECT_FALSE(IsFinderFolderPath(u"/Top/Finders+IPF.Note+5+1000000000006"));
  EXPECT_FALSE(IsFinderFolderPath(u"/Findings+Folder+1+a"));
  EXPECT_FALSE(IsFinderFolderPath(u"/Top+IPF.X/Finder+1+a"));
  EXPECT_FALSE(IsFinderFolderPath(u""));
}

TEST(FolderPath, ContentTableNames) {
  EXPECT_EQ(ContentTableName(u"1000000000004fd"), u"1-4FD");
  EXPECT_EQ(ContentTableName(u"10000000000004fd7"), u"1-4F") << "14 characters after the first";
  EXPECT_EQ(ContentTableName(u"100000000000000"), u"1-00000000000000");
  EXPECT_EQ(ContentTableName(u"99"), u"1-9");
  EXPECT_EQ(ContentTableName(u"1"), u"1-");
  EXPECT_EQ(ContentTableName(u""), u"1-");
}

TEST(MailboxKeyLookup, AnswersAsTheWalkFromTheFront) {
  std::mt19937 random(11);
  std::vector<MailboxEntry> mailboxes;
  for (int i = 0; i < 500; ++i) {
    MailboxEntry entry;
    entry.mailbox_key = FromAscii(std::to_string(random() % 300));
    if (i % 97 == 0) entry.mailbox_key = kPublicMailboxKey;
    if (i % 89 == 0) entry.mailbox_key = u"7";
    mailboxes.push_back(entry);
  }
  auto walk = [&](std::u16string_view key) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < mailboxes.size(); ++i) {
      if (mailboxes[i].mailbox_key == key) return i;
    }
    return std::nullopt;
  };
  auto walk_folder_row = [&](std::u16string_view number) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < mailboxes.size(); ++i) {
      const std::u16string& key = mailboxes[i].mailbox_key;
      if (key.size() >= 3 && (key == number || key == kPublicMailboxKey)) return i;
    }
    return std::nullopt;
  };
  MailboxKeyLookup lookup(mailboxes);
  MailboxKeyLookup folder_lookup(mailboxes);
  for (int query = 0; query < 2000; ++query) {
    const std::u16string key = FromAscii(std::to_string(random() % 400));
    ASSERT_EQ(lookup.FirstWithKey(key), walk(key)) << query;
    ASSERT_EQ(folder_lookup.OwnerOfFolderRow(key), walk_folder_row(key)) << query;
  }
  EXPECT_EQ(lookup.FirstWithKey(u"7"), walk(u"7"));
  EXPECT_EQ(lookup.FirstWithKey(u""), std::nullopt);

  // Without a public mailbox, short numbers name nothing.
  const std::vector<MailboxEntry> private_store = {{u"12", u"", u"", u"", 1},
                                                   {u"123", u"", u"", u"", 2}};
  MailboxKeyLookup private_lookup(private_store);
  EXPECT_EQ(private_lookup.OwnerOfFolderRow(u"12"), std::nullopt);
  EXPECT_EQ(private_lookup.OwnerOfFolderRow(u"123"), 1u);
  EXPECT_EQ(private_lookup.FirstWithKey(u"12"), 0u);
}

}  // namespace
}  // namespace tarvex
