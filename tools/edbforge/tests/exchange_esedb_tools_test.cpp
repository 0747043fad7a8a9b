// The edbforge command writes every ready scenario in either long-value layout, and libesedb's
// own tools read the store without an error.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "exchange_test_stores.h"
#include "support/test_files.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::edbforge {
namespace {

using tarvex::testing::FileText;

using testing::ScenarioPath;
using tarvex::testing::ScratchFolder;

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A scenario, and whether it is written in the long-value layout for libesedb.
class EsedbTools : public ::testing::TestWithParam<std::tuple<std::string, bool>> {};

TEST_P(EsedbTools, InfoAndExportReadTheStoreWithoutError) {
  const auto& [name, libesedb_layout] = GetParam();
  ScratchFolder scratch;
  const std::filesystem::path scenario = ScenarioPath(name + ".json");
  const std::filesystem::path database = scratch / (name + ".edb");
  const std::string quoted = "'" + database.string() + "'";
  ASSERT_EQ(RunCommand(std::string("'") + EDBFORGE_BINARY + "' build " +
                       (libesedb_layout ? "--libesedb-layout '" : "'") + scenario.string() + "' " +
                       quoted),
            0);
  // The command's option gives the layout the builder gives.
  StoreDescription description = ReadScenarioFile(scenario);
  description.libesedb_long_value_layout = libesedb_layout;
  BuildStore(description, scratch / "built.edb");
  EXPECT_EQ(FileText(database), FileText(scratch / "built.edb"));

  const std::filesystem::path info = scratch / "info.txt";
  ASSERT_EQ(RunCommand("esedbinfo " + quoted + " > '" + info.string() + "' 2>&1"), 0)
      << FileText(info);
  const std::string info_text = FileText(info);
  EXPECT_NE(info_text.find("Current format:"), std::string::npos);
  EXPECT_EQ(info_text.find("Unable to"), std::string::npos) << info_text;

  const std::filesystem::path log = scratch / "export.txt";
  ASSERT_EQ(RunCommand("esedbexport -t '" + (scratch / "export").string() + "' " + quoted + " > '" +
                       log.string() + "' 2>&1"),
            0)
      << FileText(log);
  const std::string log_text = FileText(log);
  EXPECT_EQ(log_text.find("Unable to"), std::string::npos) << log_text;
  EXPECT_EQ(log_text.find("rror"), std::string::npos) << log_text;
  // One exported file per table, MSysObjects and its shadow included.
  size_t exported = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch / "export.export")) {
    exported += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_GT(exported, 4u);
}

INSTANTIATE_TEST_SUITE_P(ReadyScenarios, EsedbTools,
                         ::testing::Combine(::testing::Values("older-private", "older-public",
                                                              "2010-private", "2010-public"),
                                            ::testing::Bool()),
                         [](const auto& param_info) {
                           std::string name = std::get<0>(param_info.param);
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return "s" + name +
                                  (std::get<1>(param_info.param) ? "_libesedb" : "_engine");
                         });

}  // namespace
}  // namespace tarvex::edbforge
