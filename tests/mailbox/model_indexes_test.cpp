// The indexed lookups against the plain walks over the model's lists, on lists full of
// duplicates and of identifiers that begin or contain one another.

#include "mailbox/model_indexes.h"

#include <gtest/gtest.h>

#include <random>

namespace tarvex {
namespace {

class Scenario {
 public:
  explicit Scenario(unsigned seed) : random_(seed) {}

  std::u16string Text(std::u16string_view alphabet, std::size_t min_length,
                      std::size_t max_length) {
    std::u16string text(Number(min_length, max_length), u' ');
    for (char16_t& unit : text) unit = alphabet[Number(0, alphabet.size() - 1)];
    return text;
  }
  template <typename T>
  const T& Pick(const std::vector<T>& choices) {
    return choices[Number(0, choices.size() - 1)];
  }
  std::size_t Number(std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random_);
  }

 private:
  std::mt19937 random_;
};

// The walks, as the lists are read front to back.
const MessageRef* WalkMessageRefs(const MailboxModel& model, std::u16string_view id) {
  for (const MessageRef& ref : model.message_refs) {
    if (std::u16string_view(ref.message_id).starts_with(id)) return &ref;
  }
  return nullptr;
}

const BodyRef* WalkBodyRefs(const MailboxModel& model, std::u16string_view id,
                            std::u16string_view table, bool compare_tables) {
  const BodyRef* last = nullptr;
  for (const BodyRef& ref : model.body_refs) {
    if (!id.starts_with(ref.message_id)) continue;
    if (compare_tables && !table.starts_with(ref.table_name)) continue;
    last = &ref;
  }
  return last;
}

template <typename Record>
std::vector<const Record*> WalkAttachments(const NewestFirstList<Record>& records,
                                           std::u16string_view list) {
  std::vector<const Record*> found;
  for (const Record& record : records) {
    if (!record.attachment_id.empty() && list.find(record.attachment_id) != list.npos) {
      found.push_back(&record);
    }
  }
  return found;
}

std::vector<const ItemHeader*> WalkHeaders(const MailboxModel& model, std::u16string_view key,
                                           std::u16string_view table_set) {
  std::vector<const ItemHeader*> found;
  for (const ItemHeader& header : model.item_headers) {
    std::u16string set = header.table_name;
    if (const auto at = set.find(u"MsgHeader"); at != set.npos) set.replace(at, 9, u"Folders");
    if (header.folder_key == key && set == table_set) found.push_back(&header);
  }
  return found;
}

const MailboxEntry* WalkOwners(const MailboxModel& model, std::u16string_view sender) {
  const MailboxEntry* last = nullptr;
  for (const MailboxEntry& mailbox : model.mailboxes) {
    if (!mailbox.owner_text.empty() && sender.find(mailbox.owner_text) != sender.npos) {
      last = &mailbox;
    }
  }
  return last;
}

TEST(ModelIndexes, MessageAndBodyLookupsMatchTheWalks) {
  Scenario scenario(7);
  MailboxModel model;
  ModelIndexes indexes;
  const std::vector<std::u16string> tables = {u"Body-1-2", u"Body-1-23", u"Body-1", u"Body-2"};
  const std::vector<std::u16string> selected_tables = {u"Body-1-2", u"Body-1-23", u"Body-1-234",
                                                       u"Body-2", u""};
  int checks_with_match = 0;
  // The lists grow between rounds of lookups: the indexes catch up.
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 500; ++i) {
      // Mostly short hexadecimal ids; some with another letter, some longer than 16 digits.
      const std::u16string id = i % 5 == 0   ? scenario.Text(u"1G", 1, 4)
                                : i % 7 == 0 ? scenario.Text(u"1a", 16, 18)
                                             : scenario.Text(u"12a", 1, 5);
      model.message_refs.PutAtFront({id, static_cast<std::uint32_t>(i), u""});
      model.body_refs.PutAtFront({scenario.Text(u"12a", 1, 4), scenario.Text(u"0f", 0, 3),
                                  static_cast<std::uint32_t>(i), scenario.Pick(tables)});
    }
    for (int i = 0; i < 400; ++i) {
      const std::u16string id = i % 5 == 0   ? scenario.Text(u"1G", 0, 4)
                                : i % 7 == 0 ? scenario.Text(u"1a", 15, 18)
                                             : scenario.Text(u"12a", 0, 6);
      const MessageRef* walked = WalkMessageRefs(model, id);
      ASSERT_EQ(indexes.FirstMessageRefBeginningWith(model, id), walked) << "id " << i;
      // Its "Msg" row alone, in one step and in two.
      const std::optional<std::uint32_t> walked_record =
          walked != nullptr ? std::optional(walked->record_number) : std::nullopt;
      ASSERT_EQ(indexes.FirstMessageRecordBeginningWith(model, id), walked_record);
      ASSERT_EQ(indexes.FirstMessageRecord(model, indexes.BeginMessageRecordLookup(id)),
                walked_record);
      const std::u16string& table = scenario.Pick(selected_tables);
      for (bool compare_tables : {false, true}) {
        const BodyRef* walked_body = WalkBodyRefs(model, id, table, compare_tables);
        ASSERT_EQ(indexes.LastBodyRefFor(model, id, table, compare_tables), walked_body);
        if (walked_body != nullptr) ++checks_with_match;
      }
    }
  }
  EXPECT_GT(checks_with_match, 1000) << "the scenario must exercise matches";
  // A look-up begun before the list grew is finished on the index built again.
  const std::u16string late_id = u"abcdef";
  const KeyPrefixIndex::Lookup begun = indexes.BeginMessageRecordLookup(late_id);
  model.message_refs.PutAtFront({late_id, 99999, u""});
  EXPECT_EQ(indexes.FirstMessageRecord(model, begun), 99999u);
  // Emptied and filled again with fewer records: the indexes start over, and a look-up begun
  // before reads no slot of the larger index.
  const KeyPrefixIndex::Lookup begun_before = indexes.BeginMessageRecordLookup(u"77");
  model.message_refs.Clear();
  model.message_refs.PutAtFront({u"77", 1, u""});
  EXPECT_EQ(indexes.FirstMessageRecord(model, begun_before), 1u);
  model.body_refs.Clear();
  model.body_refs.PutAtFront({u"7", u"", 2, u"Body-1"});
  EXPECT_EQ(indexes.FirstMessageRefBeginningWith(model, u"7"), &model.message_refs.at(0));
  EXPECT_EQ(indexes.FirstMessageRefBeginningWith(model, u"1"), nullptr);
  EXPECT_EQ(indexes.LastBodyRefFor(model, u"77", u"Body-1-2", true), &model.body_refs.at(0));
  EXPECT_EQ(indexes.LastBodyRefFor(model, u"1", u"Body-1-2", true), nullptr);
}

TEST(ModelIndexes, FirstMessageRefPrefersTheNewestOfSeveralBeginnings) {
  MailboxModel model;
  ModelIndexes indexes;
  model.message_refs.PutAtFront({u"4fd", 0, u""});
  model.message_refs.PutAtFront({u"4fd1", 1, u""});
  model.message_refs.PutAtFront({u"4fe", 2, u""});
  EXPECT_EQ(indexes.FirstMessageRefBeginningWith(model, u"4fd")->record_number, 1u);
  EXPECT_EQ(indexes.FirstMessageRefBeginningWith(model, u"4f")->record_number, 2u);
  EXPECT_EQ(indexes.FirstMessageRefBeginningWith(model, u"4fd1")->record_number, 1u);
  EXPECT_EQ(indexes.FirstMessageRefBeginningWith(model, u"4fd12"), nullptr);
}

TEST(ModelIndexes, AttachmentLookupsMatchTheWalks) {
  Scenario scenario(11);
  MailboxModel model;
  ModelIndexes indexes;
  // Many short identifiers (looked up piece by piece) ...
  for (int i = 0; i < 600; ++i) {
    model.attachment_refs.PutAtFront({i % 50 == 0 ? u"" : scenario.Text(u"0a1", 1, 4),
                                      static_cast<std::uint32_t>(i), u"f", u"Body-1", 3});
  }
  // ... and a few long ones (tested one by one against the list).
  for (int i = 0; i < 4; ++i) {
    model.attachment_rows.PutAtFront(
        {scenario.Text(u"0a", 8, 30), u"f", static_cast<std::uint32_t>(i)});
  }
  int matches = 0;
  for (int i = 0; i < 300; ++i) {
    std::u16string list = scenario.Text(u"0a1", 0, 60);
    const auto walked = WalkAttachments(model.attachment_refs, list);
    ASSERT_EQ(indexes.AttachmentRefsIn(model, list), walked);
    matches += static_cast<int>(walked.size());
    // Lists that hold a long identifier somewhere, possibly across two of them.
    const AttachmentRow& row = model.attachment_rows.at(scenario.Number(0, 3));
    list = scenario.Text(u"0a", 0, 40) + row.attachment_id + scenario.Text(u"0a", 0, 40);
    ASSERT_EQ(indexes.AttachmentRowsIn(model, list), WalkAttachments(model.attachment_rows, list));
    EXPECT_FALSE(indexes.AttachmentRowsIn(model, list).empty());
  }
  EXPECT_GT(matches, 1000);
}

TEST(ModelIndexes, FolderHeadersAndOwnersMatchTheWalks) {
  Scenario scenario(13);
  MailboxModel model;
  ModelIndexes indexes;
  const std::vector<std::u16string> keys = {u"a1", u"a2", u"a", u""};
  const std::vector<std::u16string> header_tables = {u"MsgHeader-1-2", u"MsgHeader-1-3",
                                                     u"MsgHeader-1-2x"};
  const std::vector<std::u16string> sets = {u"Folders-1-2", u"Folders-1-3", u"Folders-1-2x",
                                            u"Folders-1", u"MsgHeader-1-2"};
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 300; ++i) {
      ItemHeader header;
      header.folder_key = scenario.Pick(keys);
      header.table_name = scenario.Pick(header_tables);
      header.message_id = std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
      model.item_headers.PutAtFront(std::move(header));
    }
    for (const std::u16string& key : keys) {
      for (const std::u16string& set : sets) {
        ASSERT_EQ(indexes.FolderHeaders(model, key, set), WalkHeaders(model, key, set));
      }
    }
  }
  EXPECT_EQ(indexes.FolderHeaders(model, u"a1", u"Folders-1-2").size(),
            WalkHeaders(model, u"a1", u"Folders-1-2").size());
  EXPECT_FALSE(indexes.FolderHeaders(model, u"a1", u"Folders-1-2").empty());

  for (int i = 0; i < 40; ++i) {
    model.mailboxes.push_back({u"", u"", u"", i % 7 == 0 ? u"" : scenario.Text(u"ab@.", 1, 6), 0});
  }
  for (int i = 0; i < 500; ++i) {
    const std::u16string sender = scenario.Text(u"ab@. ", 0, 30);
    ASSERT_EQ(indexes.LastOwnerIn(model, sender), WalkOwners(model, sender)) << i;
  }
}

}  // namespace
}  // namespace tarvex
