// Scenarios the builder must refuse: the message names the place, and no file is left.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "support/test_files.h"
#include "tools/edbforge/exchange/scenario_error.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"
#include "tools/edbforge/exchange/store_writer.h"

namespace tarvex::edbforge {
namespace {

using tarvex::testing::FileText;
using tarvex::testing::ScratchFolder;

// A private older-layout store whose one item has the given cells.
std::string WithItemCells(const std::string& cells, const std::string& columns = "{}") {
  return R"({"layout": "older", "columns": )" + columns +
         R"(, "mailboxes": [{"name": "Alice", "folders": [
              {"name": "Top", "folders": [{"name": "Inbox", "class": "IPF.Note", "items": [
                {"class": "IPM.Note", "cells": {"Se1d": "first"}},
                {"class": "IPM.Note", "cells": )" +
         cells + "}]}]}]}]}";
}

// The message of the ScenarioError that building `json` raises; fails the test without one.
std::string Refusal(const std::string& json) {
  ScratchFolder scratch;
  const std::filesystem::path out = scratch / "out.edb";
  try {
    BuildStore(ParseScenario(json, "bad.json"), out, "bad.json");
  } catch (const ScenarioError& error) {
    EXPECT_FALSE(std::filesystem::exists(out)) << "no partial file";
    return error.what();
  }
  ADD_FAILURE() << "accepted: " << json;
  return {};
}

void ExpectPlace(const std::string& message, const std::vector<const char*>& parts) {
  for (const char* part : parts) {
    EXPECT_NE(message.find(part), std::string::npos) << "\"" << part << "\" not in: " << message;
  }
}

// Each refusal names the file, the place in it and what is wrong there.
TEST(ScenarioErrors, BadScenariosAreRefusedNamingThePlace) {
  std::string deep_folders = "[]";
  for (int depth = 0; depth < 502; ++depth) {
    deep_folders = R"([{"name": "f", "folders": )" + deep_folders + "}]";
  }
  const std::pair<std::string, std::vector<const char*>> refusals[] = {
      // Unknown types, and a value whose kind the column cannot hold.
      {WithItemCells(R"({"S3001": "x"})", R"({"S3001": "varchar"})"),
       {"bad.json", "columns", "S3001", "unknown type \"varchar\""}},
      {WithItemCells(R"({"S3001": {"blob": "x"}})"),
       {"bad.json", "mailbox \"Alice\"", "folder \"Top/Inbox\"", "item 2", "column \"S3001\"",
        "unknown type \"blob\""}},
      {WithItemCells(R"({"L3602": "x"})", R"({"L3602": "bit"})"), {"L3602", "does not suit"}},
      {WithItemCells(R"({"L3705": true})"),
       {"item 2", "column \"L3705\"", "does not suit a Long column"}},
      // Values too large for their column.
      {WithItemCells(R"({"S3001": ")" + std::string(200, 'x') + R"("})", R"({"S3001": "text"})"),
       {"mailbox \"Alice\"", "folder \"Top/Inbox\"", "item 2", "column \"S3001\"", "too large"}},
      {WithItemCells(R"({"L3602": 4294967296})"), {"item 2", "column \"L3602\"", "too large"}},
      {WithItemCells(R"({"N67b0": {"hex": ")" + std::string(600, 'a') + R"("}})"),
       {"column \"N67b0\"", "too large"}},
      {WithItemCells(R"({"Q6748": {"hex": "0102"}})"),
       {"column \"Q6748\"", "does not suit a Currency column"}},
      {WithItemCells(R"({"Q6748": {"hex": "0102"}})", R"({"Q6748": "binary"})"),
       {"column \"Q6748\"", "8 bytes"}},
      {WithItemCells(R"({"S3001": "東京"})", R"({"S3001": {"type": "text", "code_page": 1252}})"),
       {"column \"S3001\"", "code page 1252"}},
      // Duplicate columns.
      {WithItemCells(R"({"S3001": "a", "Se1d": "b", "S3001": "c"})"),
       {"bad.json", "mailbox \"Alice\"", "folder \"Top/Inbox\"", "item 2", "column \"S3001\"",
        "duplicate column"}},
      {WithItemCells("{}", R"({"S3001": "text", "S3001": "longtext"})"),
       {"columns", "S3001", "duplicate"}},
      // Unknown columns and keys, bad layouts and bad JSON.
      {WithItemCells(R"({"X3001": "a"})"), {"item 2", "column \"X3001\"", "unknown column"}},
      {WithItemCells(R"({"S03001": "a"})"), {"unknown column"}},
      {WithItemCells(R"({"s3001": "a"})"), {"unknown column"}},
      {R"({"layout": "older", "mailboxes": [{"name": "A", "colour": "red"}]})",
       {"mailbox \"A\"", "unknown key \"colour\""}},
      {R"({"layout": "2007"})", {"layout"}},
      {R"({"layout": "older", "mailboxes": [)", {"bad.json", "not valid JSON"}},
      {R"({"layout": "2010", "format_revision": 16})", {"revision 17"}},
      {R"({"layout": "older", "mailboxes": [{"name": "A", "folders": [
                {"name": "X", "id": "1-4FD"}, {"name": "Y", "id": "1-4FD"}]}]})",
       {"folder \"Y\"", "used by another folder"}},
      {R"({"layout": "older", "mailboxes": [{"name": "A", "folders": )" + deep_folders + "}]}",
       {"mailbox \"A\"", "nested deeper than 500"}},
  };
  for (const auto& [json, parts] : refusals) ExpectPlace(Refusal(json), parts);
}

// A duplicate column given through the builder API is refused the same way.
TEST(ScenarioErrors, DuplicateColumnsOfTheBuilderApiAreRefused) {
  StoreDescription description;
  FolderDescription& inbox =
      description.AddMailbox(u"Alice", u"alice").AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddItem(u"IPM.Note").Set(u"Se1d", Text(u"a")).Set(u"Se1d", Text(u"b"));
  ScratchFolder scratch;
  try {
    BuildStore(description, scratch / "out.edb");
    ADD_FAILURE() << "a duplicate column was accepted";
  } catch (const ScenarioError& error) {
    ExpectPlace(error.what(), {"mailbox \"Alice\"", "folder \"Inbox\"", "item 1", "column \"Se1d\"",
                               "duplicate column"});
  }
  EXPECT_FALSE(std::filesystem::exists(scratch / "out.edb"));
}

TEST(ScenarioErrors, AcceptedEdgeValuesStillBuild) {
  ScratchFolder scratch;
  // 255 bytes fit a Text column; 1252 text within the code page; the largest Long.
  const std::string json =
      WithItemCells(R"({"S3001": ")" + std::string(255, 'x') +
                        R"(", "S42": "Café €", "L3602": 2147483647, "MS80db": ["a", "b"]})",
                    R"({"S3001": {"type": "text", "code_page": 1252},
                        "S42": {"type": "text", "code_page": 1252}})");
  BuildStore(ParseScenario(json, "good.json"), scratch / "good.edb");
  EXPECT_TRUE(std::filesystem::exists(scratch / "good.edb"));
}

TEST(ScenarioErrors, AFailureWhileStreamingLeavesNoFile) {
  ScratchFolder scratch;
  StoreDescription description;
  description.AddMailbox(u"Alice", u"alice").AddFolder(u"Inbox", u"IPF.Note");
  const std::filesystem::path out = scratch / "stream.edb";
  {
    StoreWriter writer(description, out, "stream");
    size_t inbox = 0;
    while (writer.folders()[inbox].description == nullptr) ++inbox;
    ItemDescription good;
    good.message_class = u"IPM.Note";
    good.Set(u"Se1d", Text(u"fine")).Set(u"L3602", Integer(1));
    writer.DeclareItem(inbox, good, "item 1");
    writer.Start();
    writer.AddItem(inbox, good, "item 1");
    ItemDescription bad = good;
    bad.cells.cells().back().values.front().integer = int64_t{1} << 40;
    EXPECT_THROW(writer.AddItem(inbox, bad, "item 2"), ScenarioError);
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "no temporary file either";
}

TEST(ScenarioErrors, TheCommandExitsNonZeroNamingThePlace) {
  ScratchFolder scratch;
  const std::filesystem::path scenario = scratch / "bad.json";
  std::ofstream(scenario) << WithItemCells(R"({"S3001": "a", "S3001": "b"})");
  const std::filesystem::path out = scratch / "out.edb";
  const std::filesystem::path errors = scratch / "errors.txt";
  const std::string command = std::string("'") + EDBFORGE_BINARY + "' build '" + scenario.string() +
                              "' '" + out.string() + "' 2> '" + errors.string() + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::exists(out));
  ExpectPlace(FileText(errors), {"bad.json", "mailbox \"Alice\"", "folder \"Top/Inbox\"", "item 2",
                                 "column \"S3001\"", "duplicate column"});

  // A missing subcommand argument is refused by the command line itself.
  const int usage =
      std::system((std::string("'") + EDBFORGE_BINARY + "' build 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(usage));
  EXPECT_NE(WEXITSTATUS(usage), 0);
}

}  // namespace
}  // namespace tarvex::edbforge
