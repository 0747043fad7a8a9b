// Every saved input of every fuzz target, replayed through the target in the normal builds
// (under the sanitizers in the asan build): the hand-made seeds, and the regressions, inputs
// that once crashed or hung a parser, or hand-made hostile ones. A crash, a sanitizer report or
// a broken promise (checks.h) fails the input's test. Inputs in pending/ are not replayed:
// they still crash and wait for their fix.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/targets.h"

namespace tarvex::fuzz {
namespace {

struct SavedInput {
  const Target* target = nullptr;
  std::filesystem::path path;
};

// Names the input in test listings.
void PrintTo(const SavedInput& input, std::ostream* out) {
  *out << input.path.filename();
}

std::vector<SavedInput> SavedInputs() {
  std::vector<SavedInput> inputs;
  for (const Target& target : Targets()) {
    for (const char* kind : {"seeds", "regressions"}) {
      const std::filesystem::path folder =
          std::filesystem::path(TARVEX_FUZZ_DIR) / kind / target.name;
      if (!std::filesystem::is_directory(folder)) continue;
      for (const auto& file : std::filesystem::directory_iterator(folder)) {
        if (file.is_regular_file()) inputs.push_back({&target, file.path()});
      }
    }
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const SavedInput& left, const SavedInput& right) { return left.path < right.path; });
  return inputs;
}

std::string TestName(const testing::TestParamInfo<SavedInput>& info) {
  const std::filesystem::path& path = info.param.path;
  std::string name = path.parent_path().parent_path().filename().string() + "_" +
                     std::string(info.param.target->name) + "_" + path.filename().string();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
      '_');
  return name;
}

class Replay : public testing::TestWithParam<SavedInput> {};

TEST_P(Replay, RunsToTheEnd) {
  std::ifstream stream(GetParam().path, std::ios::binary);
  ASSERT_TRUE(stream) << GetParam().path;
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)),
                                        std::istreambuf_iterator<char>());
  EXPECT_EQ(GetParam().target->run(bytes.data(), bytes.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Saved, Replay, testing::ValuesIn(SavedInputs()), TestName);

TEST(ReplayCorpus, EveryTargetHasSavedInputs) {
  const std::vector<SavedInput> inputs = SavedInputs();
  for (const Target& target : Targets()) {
    EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(), [&](const SavedInput& input) {
      return input.target == &target;
    })) << target.name;
  }
}

}  // namespace
}  // namespace tarvex::fuzz
