#include "scenario_run.h"

#include <cstdlib>
#include <stdexcept>

#include "base/file_names.h"
#include "mailbox/mailbox_loading.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {

std::filesystem::path ScenarioFile(const std::string& name) {
  return std::filesystem::path(TARVEX_SCENARIOS_DIR) / (name + ".json");
}

void BuildScenario(const std::string& name, const std::filesystem::path& database) {
  const std::filesystem::path file = ScenarioFile(name);
  edbforge::BuildStore(edbforge::ReadScenarioFile(file), database, file.string());
}

AnalysedStore::AnalysedStore(std::filesystem::path database)
    : database_(std::move(database)),
      pages_(work_.path()),
      recovery_(
          std::make_unique<Recovery>(window, gate_, work_.path() / "work", work_.path(), pages_)) {
  std::filesystem::create_directories(work_.path() / "work");
}

AnalysisOutcome AnalysedStore::Analyse() {
  window.status_texts.clear();
  root = window.InsertTreeNode(kTopOfTree, TextFromPath(database_), 0);
  recovery_->set_root_node(root);
  return RunAnalysis(*recovery_, database_);
}

std::vector<std::vector<std::u16string>> AnalysedStore::Select(TreeNodeHandle node) {
  LoadMailbox(*recovery_, node);
  return window.list_rows;
}

TreeNodeHandle AnalysedStore::Find(const std::vector<std::u16string>& path) const {
  TreeNodeHandle node = root;
  for (const std::u16string& name : path) {
    TreeNodeHandle found = kTopOfTree;
    for (const RecordedTreeNode& child : window.ChildrenOf(node)) {
      if (child.text == name) {
        found = child.handle;
        break;
      }
    }
    if (found == kTopOfTree) return kTopOfTree;
    node = found;
  }
  return node;
}

}  // namespace tarvex::testing
