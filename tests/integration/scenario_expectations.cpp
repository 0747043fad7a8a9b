#include "scenario_expectations.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>

#include "base/utf_conversion.h"
#include "mailbox/classification.h"

namespace tarvex::testing {
namespace {

using nlohmann::json;

std::u16string Lower(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return text;
}

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
  for (std::size_t at = text.find(from); at != std::u16string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// A cell given as a plain string, or as {"text": ...}; empty otherwise.
std::string CellText(const json& cells, const char* column) {
  if (!cells.contains(column)) return {};
  const json& value = cells[column];
  if (value.is_string()) return value.get<std::string>();
  if (value.is_object() && value.contains("text") && value["text"].is_string()) {
    return value["text"].get<std::string>();
  }
  return {};
}

// The first date candidate that is given as a readable UTC time.
std::u16string FirstDate(const json& cells, std::initializer_list<const char*> columns) {
  for (const char* column : columns) {
    if (!cells.contains(column)) continue;
    const json& value = cells[column];
    if (value.is_string()) return ListDate(value.get<std::string>());
    if (value.is_object() && value.contains("time") && value["time"].is_string()) {
      return ListDate(value["time"].get<std::string>());
    }
  }
  return {};
}

bool LooksLikeAddress(const std::u16string& text) {
  return std::count_if(text.begin(), text.end(),
                       [](char16_t c) { return c == u'.' || c == u'@'; }) >= 2;
}

// A header line's value as the list shows it: brackets for angle brackets, no quotes.
std::u16string HeaderValue(std::u16string value) {
  value = ReplaceAll(std::move(value), u"<", u"[");
  value = ReplaceAll(std::move(value), u">", u"]");
  return ReplaceAll(std::move(value), u"\"", u"");
}

std::u16string Trimmed(std::u16string text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

}  // namespace

std::u16string U16(const std::string& utf8) {
  return Utf8ToUtf16(utf8);
}

std::string U8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

std::u16string ListDate(const std::string& iso_time) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (iso_time.size() < 19) throw std::runtime_error("bad scenario time " + iso_time);
  const int month = std::stoi(iso_time.substr(5, 2));
  return U16(std::string(kMonths[month - 1]) + "," + iso_time.substr(8, 2) + " " +
             iso_time.substr(0, 4) + " " + iso_time.substr(11, 8));
}

ScenarioExpectations::ScenarioExpectations(const std::filesystem::path& scenario_file) {
  std::ifstream in(scenario_file);
  scenario_ = json::parse(in);
  is_2010_ = scenario_.at("layout") == "2010";
  is_public_ = scenario_.at("store") == "public";
  if (is_public_) {
    if (is_2010_) {
      ExpectedNode node;
      node.text = u"Public Folder";
      Folders2010(scenario_.value("folders", json::array()), u"Public Folder", node.children);
      mailboxes_.push_back(std::move(node));
    } else {
      mailboxes_.push_back(
          MailboxOlder(scenario_.value("folders", json::array()), u"Public Folder"));
    }
    return;
  }
  for (const json& mailbox : scenario_.at("mailboxes")) {
    std::u16string name = ReplaceAll(U16(mailbox.at("name").get<std::string>()), u",", u"_");
    if (is_2010_) {
      mailboxes_.push_back(Mailbox2010(mailbox, std::move(name)));
    } else {
      mailboxes_.push_back(MailboxOlder(mailbox.value("folders", json::array()), std::move(name)));
    }
  }
}

ExpectedNode ScenarioExpectations::Mailbox2010(const json& mailbox, std::u16string name) {
  ExpectedNode node;
  node.text = name;
  node.icon = ChooseFolderIcon(name, u"");
  Folders2010(mailbox.value("folders", json::array()), name, node.children);
  return node;
}

// 2010 folder tables keep the table order; "Restriction" and nameless folders (with all they
// hold) get no node.
void ScenarioExpectations::Folders2010(const json& folders, const std::u16string& mailbox_name,
                                       std::vector<ExpectedNode>& into) {
  for (const json& folder : folders) {
    const std::u16string name = U16(folder.value("name", ""));
    if (name.empty() || name == u"Restriction") continue;
    ExpectedNode node;
    node.text = ReplaceAll(name, u"Public Folder", u"Public_Folder");
    node.kind = ClassifyFolderClass(U16(folder.value("class", "")));
    node.icon = ChooseFolderIcon(node.text, node.kind);
    int unused = 0;
    node.items = Items(folder, unused);
    std::reverse(node.items.begin(), node.items.end());
    for (std::size_t row = 0; row < node.items.size(); ++row) {
      node.items[row].number = static_cast<int>(row) + 1;
    }
    Folders2010(folder.value("folders", json::array()), mailbox_name, node.children);
    into.push_back(std::move(node));
  }
}

// Older layout: folders hang by their URL paths, siblings in the case-insensitive order of their
// path segments, NON_IPM_SUBTREE lifted away, Finder dropped, 26 levels at most.
ExpectedNode ScenarioExpectations::MailboxOlder(const json& folders, std::u16string name) {
  struct Flat {
    std::vector<std::u16string> segments;  // lower-cased sort keys
    ExpectedNode node;
  };
  std::vector<Flat> flat;
  // Items are numbered over the whole store in the order the builder writes "Msg".
  int msg_record = next_msg_record_;
  const auto walk = [&](const auto& self, const json& list,
                        const std::vector<std::u16string>& parent) -> void {
    for (const json& folder : list) {
      const std::u16string folder_name = U16(folder.value("name", ""));
      std::vector<std::u16string> segments = parent;
      const json cells = folder.value("cells", json::object());
      if (cells.contains("S6707") && cells["S6707"] == "/") {
        segments.clear();
      } else if (cells.contains("S6707") && cells["S6707"] == "") {
        segments = {u"unknown"};
      } else if (folder_name != u"NON_IPM_SUBTREE") {
        segments.push_back(Lower(folder_name));
      }
      ExpectedNode node;
      node.text = ReplaceAll(folder_name, u"/", u"");
      node.unknown_name = folder_name.empty();
      if (node.unknown_name) node.text = u"Unknown";
      node.kind = ReplaceAll(ClassifyFolderClass(U16(folder.value("class", ""))), u".", u"_");
      node.icon = ChooseFolderIcon(node.text, node.kind);
      node.items = Items(folder, msg_record);
      const bool finder = std::find(segments.begin(), segments.end(), u"finder") != segments.end();
      if (!finder && !segments.empty() && segments.size() <= 26) {
        flat.push_back({segments, node});
      }
      self(self, folder.value("folders", json::array()), segments);
    }
  };
  walk(walk, folders, {});
  next_msg_record_ = msg_record;
  std::stable_sort(flat.begin(), flat.end(),
                   [](const Flat& a, const Flat& b) { return a.segments < b.segments; });
  ExpectedNode mailbox;
  mailbox.text = name;
  mailbox.icon = ChooseFolderIcon(name, u"");
  std::vector<ExpectedNode*> slots(27, nullptr);
  slots[0] = &mailbox;
  for (Flat& entry : flat) {
    const std::size_t depth = entry.segments.size();
    ExpectedNode* parent = slots[depth - 1];
    if (parent == nullptr) continue;
    parent->children.push_back(std::move(entry.node));
    slots[depth] = &parent->children.back();
  }
  return mailbox;
}

std::vector<ExpectedItem> ScenarioExpectations::Items(const json& folder, int& msg_record) {
  std::vector<ExpectedItem> items;
  for (const json& item : folder.value("items", json::array())) {
    const int record = msg_record++;
    if (item.value("id", "") == "0x2a2a2a2a2a2a2a2a") continue;
    const json cells = item.value("cells", json::object());
    ExpectedItem expected;
    expected.kind = ClassifyMessageClass(U16(item.value("class", "")), Layout());
    if (IsExcludedItemKind(expected.kind, Layout())) continue;
    const std::u16string sender = U16(CellText(cells, "S42"));
    const std::u16string prefix = U16(CellText(cells, "S3d"));
    const std::u16string normalized = U16(CellText(cells, "Se1d"));
    const std::u16string topic = U16(CellText(cells, "S70"));
    if (cells.contains("Be1b")) {
      expected.attachment_flag = cells["Be1b"].get<bool>() ? u"true" : u"false";
    } else {
      expected.attachment_flag =
          item.value("attachments", json::array()).empty() ? u"false" : u"true";
    }
    if (is_2010_) {
      expected.sender = sender;
      expected.subject = prefix + normalized;
      if (expected.subject.empty()) expected.subject = topic;
      if (sender.empty() && topic.empty() && prefix.empty() && expected.subject.empty()) continue;
      expected.date = FirstDate(cells, {"Te06", "T3007", "T39"});
      items.push_back(std::move(expected));
      continue;
    }
    expected.number = record;
    expected.subject = prefix + normalized;
    expected.date = FirstDate(cells, {"T39", "Te06", "T3007"});
    const std::u16string address = U16(CellText(cells, "S4031"));
    std::u16string from = sender;
    if (LooksLikeAddress(address)) from += u"[" + address + u"]";
    const std::u16string headers = U16(CellText(cells, "S7d"));
    expected.check_recipients = !headers.empty() || !cells.contains("N67b4");
    std::size_t start = 0;
    while (start < headers.size()) {
      std::size_t end = headers.find(u'\n', start);
      if (end == std::u16string::npos) end = headers.size();
      std::u16string line = headers.substr(start, end - start);
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      start = end + 1;
      if (line.starts_with(u"From: ")) from = HeaderValue(line.substr(6));
      if (line.starts_with(u"To: ")) expected.to = HeaderValue(line.substr(4));
      if (line.starts_with(u"Cc: ")) expected.cc = HeaderValue(line.substr(4));
      if (line.starts_with(u"Bcc: ")) expected.bcc = HeaderValue(line.substr(5));
    }
    expected.sender = ReplaceAll(Trimmed(from), u"\"", u"");
    if (expected.sender.empty() && normalized.empty()) continue;
    items.push_back(std::move(expected));
  }
  return items;
}

std::vector<std::u16string> ScenarioExpectations::ExcludedSubjects() const {
  std::vector<std::u16string> subjects;
  const auto walk = [&](const auto& self, const json& folders) -> void {
    for (const json& folder : folders) {
      for (const json& item : folder.value("items", json::array())) {
        const std::u16string kind = ClassifyMessageClass(U16(item.value("class", "")), Layout());
        const bool placeholder = item.value("id", "") == "0x2a2a2a2a2a2a2a2a";
        if (IsExcludedItemKind(kind, Layout()) || placeholder) {
          subjects.push_back(U16(CellText(item.value("cells", json::object()), "Se1d")));
        }
      }
      self(self, folder.value("folders", json::array()));
    }
  };
  walk(walk, scenario_.value("folders", json::array()));
  for (const json& mailbox : scenario_.value("mailboxes", json::array())) {
    walk(walk, mailbox.value("folders", json::array()));
  }
  return subjects;
}

}  // namespace tarvex::testing
