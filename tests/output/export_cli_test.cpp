// `tarvex export` as a user runs it: the exit codes, and the output mailbox of a whole store.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex {
namespace {

class ExportCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("tarvex-export-cli-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    database_ = root_ / "store.edb";
    edbforge::BuildStore(edbforge::ReadScenarioFile(std::filesystem::path(EDBFORGE_SCENARIOS_DIR) /
                                                    "older-public.json"),
                         database_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  int Run(const std::string& arguments) {
    const std::string command = std::string("'") + TARVEX_CLI + "' export -q '" +
                                database_.string() + "' " + arguments + " > '" +
                                (root_ / "stdout.txt").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::filesystem::path root_;
  std::filesystem::path database_;
};

TEST_F(ExportCommandTest, ExportsEveryFolderOrTheNamedOnes) {
  const std::string saver = std::string(" --saver '") + TARVEX_SAVER + "'";
  ASSERT_EQ(Run("--out '" + (root_ / "all").string() + "'" + saver), 0);
  const std::filesystem::path marketing = root_ / "all" / "Public Folder" / "Marketing";
  EXPECT_TRUE(std::filesystem::exists(marketing / "mail.mbox"));
  EXPECT_TRUE(std::filesystem::exists(marketing / "Campaigns 2010" / "mail.mbox"));
  EXPECT_TRUE(
      std::filesystem::exists(root_ / "all" / "Public Folder" / "Support" / "contacts.vcf"));

  ASSERT_EQ(Run("'Public Folder/Company Calendar' --kinds calendar --out '" +
                (root_ / "one").string() + "'" + saver),
            0);
  EXPECT_TRUE(std::filesystem::exists(root_ / "one" / "Public Folder" / "Company Calendar" /
                                      "calendar.ics"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "one" / "Public Folder" / "Marketing"));
}

TEST_F(ExportCommandTest, ClearFailures) {
  const std::string out = " --out '" + (root_ / "out").string() + "'";
  EXPECT_EQ(Run(out + " --saver '" + (root_ / "no-saver").string() + "'"), 2);
  EXPECT_EQ(Run(out + " --kinds mail,spam --saver '" + TARVEX_SAVER + "'"), 1);
  EXPECT_EQ(Run("'Public Folder/No such folder'" + out + " --saver '" + TARVEX_SAVER + "'"), 5);
  EXPECT_FALSE(std::filesystem::exists(root_ / "out"));
}

}  // namespace
}  // namespace tarvex
