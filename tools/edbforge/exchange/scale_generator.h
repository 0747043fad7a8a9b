#pragma once

// Large stores for benchmarks: mailboxes with a realistic folder tree, items of every kind with
// bodies in each form and attachments, all derived from a seed. Items are made and written one
// at a time, so memory stays bounded whatever the item count.

#include <cstdint>
#include <filesystem>

#include "tools/edbforge/exchange/store_description.h"

namespace tarvex::edbforge {

struct ScaleOptions {
  StoreLayout layout = StoreLayout::kOlder;
  StoreKind kind = StoreKind::kPrivate;
  uint32_t mailboxes = 1;  // private stores
  uint32_t folders = 10;   // per mailbox (public store: in all)
  uint64_t items = 1000;   // in all, spread over the folders
  uint64_t seed = 1;
  uint32_t format_revision = 0;  // 0: 14 for the older layout, 20 for the 2010 layout
  uint32_t page_size = 8192;
  bool libesedb_long_value_layout = false;  // see DatabaseOptions
};

// Throws ScenarioError for options that make no store (no folders, no mailboxes).
void WriteScaleStore(const ScaleOptions& options, const std::filesystem::path& path);

}  // namespace tarvex::edbforge
