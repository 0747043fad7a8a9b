#pragma once

// What a ready edbforge scenario must turn into, worked out from its JSON: the folder tree as the
// window should show it and the item list of every folder. Classes, kinds and icons come from
// the classification rules, which tests/mailbox checks on their own.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "mailbox/mailbox_model.h"

namespace tarvex::testing {

// One list row as the loader should fill it. Hidden columns that carry builder-made keys are
// left out; `recipients` is checked only when `check_recipients` is set.
struct ExpectedItem {
  std::u16string kind;
  std::u16string sender;
  std::u16string subject;
  std::u16string date;
  std::u16string attachment_flag;
  int number = 0;  // 2010: the row's position from 1; older: the item's "Msg" record number
  bool check_recipients = false;
  std::u16string to;
  std::u16string cc;
  std::u16string bcc;
};

struct ExpectedNode {
  std::u16string text;
  // A folder whose name is empty is shown as "Unknown<record number>"; the record number is
  // the builder's, so only the prefix is known.
  bool unknown_name = false;
  std::u16string kind;  // empty for mailbox nodes
  int icon = 0;
  std::vector<ExpectedItem> items;
  std::vector<ExpectedNode> children;
};

class ScenarioExpectations {
 public:
  explicit ScenarioExpectations(const std::filesystem::path& scenario_file);

  bool is_2010() const { return is_2010_; }
  bool is_public() const { return is_public_; }
  const nlohmann::json& scenario() const { return scenario_; }

  // The nodes below the database's root node: mailboxes, or the one "Public Folder".
  const std::vector<ExpectedNode>& mailboxes() const { return mailboxes_; }

  // Every item of the scenario whose class the loader must never list.
  std::vector<std::u16string> ExcludedSubjects() const;

 private:
  ExpectedNode Mailbox2010(const nlohmann::json& mailbox, std::u16string name);
  void Folders2010(const nlohmann::json& folders, const std::u16string& mailbox_name,
                   std::vector<ExpectedNode>& into);
  ExpectedNode MailboxOlder(const nlohmann::json& folders, std::u16string name);
  std::vector<ExpectedItem> Items(const nlohmann::json& folder, int& msg_record);

  nlohmann::json scenario_;
  bool is_2010_ = false;
  bool is_public_ = false;
  std::vector<ExpectedNode> mailboxes_;
  int next_msg_record_ = 0;

  StoreLayout Layout() const { return is_2010_ ? StoreLayout::k2010 : StoreLayout::kOlder; }
};

std::u16string U16(const std::string& utf8);
std::string U8(std::u16string_view text);

// "2010-01-05T09:03:07Z" as the list shows dates: "Jan,05 2010 09:03:07".
std::u16string ListDate(const std::string& iso_time);

}  // namespace tarvex::testing
