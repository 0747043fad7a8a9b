#pragma once

// Starting a helper program and waiting for it, as the export does with the saver.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// Runs `program` with `arguments` (without the program name), inheriting the standard streams
// and the environment, calls `started` once it runs, and waits without time limit until it
// has ended. Returns its exit status (128 + signal number when a signal ended it), or none
// when it could not be started.
std::optional<int> RunProgramAndWait(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments,
                                     const std::function<void()>& started = {});

}  // namespace tarvex
