#pragma once

// The JSON scenario format of edbforge (described in tools/edbforge/README.md): a store's
// layout, kind and column declarations, its mailboxes, folders, items and attachments, each
// with the cells of its row by column tag name.

#include <filesystem>
#include <string>
#include <string_view>

#include "tools/edbforge/exchange/store_description.h"

namespace tarvex::edbforge {

// Throws ScenarioError naming the file and the place (mailbox, folder, item, column) of the
// first fault: bad JSON, an unknown or duplicate key or column, a value of the wrong type.
StoreDescription ParseScenario(std::string_view json_text, const std::string& source);
StoreDescription ReadScenarioFile(const std::filesystem::path& file);

}  // namespace tarvex::edbforge
