#include "mailbox/classification.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(Classification, MessageClassesBecomeItemKinds) {
  const StoreLayout older = StoreLayout::kOlder;
  const StoreLayout modern = StoreLayout::k2010;
  EXPECT_EQ(ClassifyMessageClass(u"", older), u"mail");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.Note", modern), u"mail");
  EXPECT_EQ(ClassifyMessageClass(u"REPORT.REPORT.IPM.Note.NDR.NDR", older), u"mail");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.Contact", older), u"contact");
  EXPECT_EQ(ClassifyMessageClass(u"IPF.DistList", older), u"distlist");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.Appointment", older), u"appointment");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.Activity", older), u"activity");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.TaskRequest", older), u"task");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.Post.Rss", older), u"rss");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.StickyNote", modern), u"notes");
  // Matching is exact and case-sensitive; unknown classes are their own kind.
  EXPECT_EQ(ClassifyMessageClass(u"ipm.note", older), u"ipm.note");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.Note.Custom", older), u"IPM.Note.Custom");
  // The two layouts differ in two places.
  EXPECT_EQ(ClassifyMessageClass(u"srvinfo.expiry", modern), u"mail");
  EXPECT_EQ(ClassifyMessageClass(u"srvinfo.expiry", older), u"srvinfo.expiry");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.InkNotes", older), u"notes");
  EXPECT_EQ(ClassifyMessageClass(u"IPM.InkNotes", modern), u"IPM.InkNotes");

  EXPECT_TRUE(IsExcludedItemKind(u"IPM.Configuration.WorkHours", older));
  EXPECT_TRUE(IsExcludedItemKind(u"IPC.Microsoft", modern));
  EXPECT_FALSE(IsExcludedItemKind(u"IPM.Configuration.ELC", older));
  EXPECT_TRUE(IsExcludedItemKind(u"IPM.Configuration.ELC", modern));
  EXPECT_FALSE(IsExcludedItemKind(u"IPM.Configuration.Other", modern));
  EXPECT_FALSE(IsExcludedItemKind(u"mail", modern));
}

TEST(Classification, ContainerClassesBecomeFolderKinds) {
  EXPECT_EQ(ClassifyFolderClass(u""), u"Folder");
  EXPECT_EQ(ClassifyFolderClass(u"ipf.note"), u"Folder");
  EXPECT_EQ(ClassifyFolderClass(u"IPF.Appointment"), u"calendar");
  EXPECT_EQ(ClassifyFolderClass(u"IPM.Journal"), u"journal");
  EXPECT_EQ(ClassifyFolderClass(u"IPF.Contact"), u"contact");
  EXPECT_EQ(ClassifyFolderClass(u"IPM.TaskRequest"), u"task");
  EXPECT_EQ(ClassifyFolderClass(u"IPF.StickyNote"), u"note");
  EXPECT_EQ(ClassifyFolderClass(u"IPF.Note"), u"IPF.Note");
  EXPECT_EQ(ClassifyFolderClass(u"IPF.Contact.Custom"), u"IPF.Contact.Custom");
}

TEST(Classification, FolderIconsComeFromNameOrKind) {
  EXPECT_EQ(ChooseFolderIcon(u"Inbox", u"IPF.Note"), 7);
  EXPECT_EQ(ChooseFolderIcon(u"My Calendar", u"IPF.Appointment"), 3);
  EXPECT_EQ(ChooseFolderIcon(u"Calendar", u"Folder"), 3);
  EXPECT_EQ(ChooseFolderIcon(u"Sync Issues", u""), 14);
  EXPECT_EQ(ChooseFolderIcon(u"Stuff", u"calendar"), 3);
  EXPECT_EQ(ChooseFolderIcon(u"Stuff", u"IPF_Contact"), 4);
  EXPECT_EQ(ChooseFolderIcon(u"Stuff", u"ipf.task"), 13);  // upper-cased class matches
  EXPECT_EQ(ChooseFolderIcon(u"Stuff", u"IPF_Activity"), 8);
  EXPECT_EQ(ChooseFolderIcon(u"Notes", u""), 10);
  EXPECT_EQ(ChooseFolderIcon(u"sent items", u""), 12);
  // The first rule that matches wins: a contacts folder named Inbox shows the inbox.
  EXPECT_EQ(ChooseFolderIcon(u"Inbox", u"contact"), 4);
  EXPECT_EQ(ChooseFolderIcon(u"Deleted Items", u"IPF.Note"), 5);
  EXPECT_EQ(ChooseFolderIcon(u"Archive", u"IPF.Note"), 0);
}

}  // namespace
}  // namespace tarvex
