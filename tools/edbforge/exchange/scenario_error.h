#pragma once

// A store description that cannot be written. The message names the place (file, mailbox,
// folder, item, attachment, column) so that the author can find the fault.

#include <stdexcept>
#include <string>

namespace tarvex::edbforge {

class ScenarioError : public std::runtime_error {
 public:
  explicit ScenarioError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tarvex::edbforge
