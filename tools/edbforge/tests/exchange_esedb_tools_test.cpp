// libesedb's own tools read every ready scenario without an error.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "exchange_test_stores.h"
#include "scratch_folder.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::edbforge {
namespace {

using testing::ScenarioPath;
using testing::ScratchFolder;

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class EsedbTools : public ::testing::TestWithParam<std::string> {};

TEST_P(EsedbTools, InfoAndExportReadTheStoreWithoutError) {
  ScratchFolder scratch;
  const std::filesystem::path database = scratch / (GetParam() + ".edb");
  BuildStore(ReadScenarioFile(ScenarioPath(GetParam() + ".json")), database);
  const std::string quoted = "'" + database.string() + "'";

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
                         ::testing::Values("older-private", "older-public", "2010-private",
                                           "2010-public"),
                         [](const auto& param_info) {
                           std::string name = param_info.param;
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return "s" + name;
                         });

}  // namespace
}  // namespace tarvex::edbforge
