#pragma once

// The one exception type of the database writer. Messages name the place (file, table, column)
// so that a failing generator run says what it was writing.

#include <stdexcept>
#include <string>

namespace tarvex::edbforge {

class EseWriteError : public std::runtime_error {
 public:
  explicit EseWriteError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tarvex::edbforge
