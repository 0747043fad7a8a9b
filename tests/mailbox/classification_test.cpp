#include "mailbox/classification.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

constexpr StoreLayout kOlder = StoreLayout::kOlder;
constexpr StoreLayout k2010 = StoreLayout::k2010;

TEST(Classification, MessageClassesBecomeItemKinds) {
  struct Case {
    std::u16string_view message_class;
    StoreLayout layout;
    std::u16string_view kind;
  };
  for (const Case& each : std::initializer_list<Case>{
           {u"", kOlder, u"mail"},
           {u"IPM.Note", k2010, u"mail"},
           {u"REPORT.REPORT.IPM.Note.NDR.NDR", kOlder, u"mail"},
           {u"IPM.Contact", kOlder, u"contact"},
           {u"IPF.DistList", kOlder, u"distlist"},
           {u"IPM.Appointment", kOlder, u"appointment"},
           {u"IPM.Activity", kOlder, u"activity"},
           {u"IPM.TaskRequest", kOlder, u"task"},
           {u"IPM.Post.Rss", kOlder, u"rss"},
           {u"IPM.StickyNote", k2010, u"notes"},
           // Matching is exact and case-sensitive; unknown classes are their own kind.
           {u"ipm.note", kOlder, u"ipm.note"},
           {u"IPM.Note.Custom", kOlder, u"IPM.Note.Custom"},
           // The two layouts differ in two places.
           {u"srvinfo.expiry", k2010, u"mail"},
           {u"srvinfo.expiry", kOlder, u"srvinfo.expiry"},
           {u"IPM.InkNotes", kOlder, u"notes"},
           {u"IPM.InkNotes", k2010, u"IPM.InkNotes"}}) {
    EXPECT_EQ(ClassifyMessageClass(each.message_class, each.layout), each.kind)
        << std::string(each.message_class.begin(), each.message_class.end());
  }
}

TEST(Classification, EveryExcludedKindAndNoOther) {
  std::vector<std::u16string> excluded = {u"REPORT.IPM.Note.IPNRN",
                                          u"REPORT.IPF.Note.IPNRN",
                                          u"REPORT.IPM.Note.NDR",
                                          u"REPORT.IPF.Note.NDR",
                                          u"IPM.ExtendedRule.Message",
                                          u"IPC.MS.Outlook.AgingProperties",
                                          u"IPC.Microsoft",
                                          u"IPM.Microsoft",
                                          u"IPM.Configuration"};
  for (std::u16string_view stem :
       {u"Microsoft.FolderDesign.NamedView", u"Sharing.Binding.In", u"Microsoft.MigrationStatus",
        u"RuleOrganizer", u"Configuration.RssRule", u"MessageManager", u"Schedule.Meeting.Resp.Pos",
        u"Configuration.Calendar", u"Configuration.WorkHours", u"Configuration.AvailabilityOptions",
        u"SchedulePlus.ExpansionData", u"Configuration.CategoryList", u"Configuration.Pubcal",
        u"Configuration.HomeTimeZone"}) {
    excluded.push_back(u"IPM." + std::u16string(stem));
    excluded.push_back(u"IPF." + std::u16string(stem));
  }
  ASSERT_EQ(excluded.size(), 37u);
  for (const std::u16string& kind : excluded) {
    EXPECT_TRUE(IsExcludedItemKind(kind, kOlder)) << std::string(kind.begin(), kind.end());
    EXPECT_TRUE(IsExcludedItemKind(kind, k2010)) << std::string(kind.begin(), kind.end());
  }
  EXPECT_FALSE(IsExcludedItemKind(u"IPM.Configuration.ELC", kOlder));
  EXPECT_TRUE(IsExcludedItemKind(u"IPM.Configuration.ELC", k2010));
  for (std::u16string_view kept : {u"IPM.Configuration.Other", u"mail", u"ipc.microsoft", u""}) {
    EXPECT_FALSE(IsExcludedItemKind(kept, k2010));
  }
}

TEST(Classification, ContainerClassesBecomeFolderKinds) {
  for (const auto& [container_class, kind] :
       std::initializer_list<std::pair<std::u16string_view, std::u16string_view>>{
           {u"", u"Folder"},
           {u"ipf.note", u"Folder"},
           {u"IPF.Appointment", u"calendar"},
           {u"IPM.Journal", u"journal"},
           {u"IPF.Contact", u"contact"},
           {u"IPM.TaskRequest", u"task"},
           {u"IPF.StickyNote", u"note"},
           {u"IPF.Note", u"IPF.Note"},
           {u"IPF.Contact.Custom", u"IPF.Contact.Custom"}}) {
    EXPECT_EQ(ClassifyFolderClass(container_class), kind);
  }
}

TEST(Classification, FolderIconsComeFromNameOrKind) {
  struct Case {
    std::u16string_view name;
    std::u16string_view folder_class;
    int icon;
  };
  for (const Case& each : std::initializer_list<Case>{
           {u"Inbox", u"IPF.Note", 7},
           {u"My Calendar", u"IPF.Appointment", 3},
           {u"Calendar", u"Folder", 3},
           {u"Sync Issues", u"", 14},
           {u"Stuff", u"calendar", 3},
           {u"Stuff", u"IPF_Contact", 4},
           {u"Stuff", u"ipf.task", 13},  // upper-cased class matches
           {u"Stuff", u"IPF_Activity", 8},
           {u"Notes", u"", 10},
           {u"sent items", u"", 12},
           // The first rule that matches wins: a contacts folder named Inbox shows the inbox.
           {u"Inbox", u"contact", 4},
           {u"Deleted Items", u"IPF.Note", 5},
           {u"Archive", u"IPF.Note", 0}}) {
    EXPECT_EQ(ChooseFolderIcon(each.name, each.folder_class), each.icon)
        << std::string(each.name.begin(), each.name.end());
  }
}

}  // namespace
}  // namespace tarvex
