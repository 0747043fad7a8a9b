#pragma once

// Folders that hold what a store gives up (preview pages, attachments): they must be this
// user's own, never a folder or link someone else put in a shared place first.

#include <filesystem>
#include <string>

namespace tarvex {

// Where the window keeps its working folders unless the user picks another: the user's cache
// folder ($XDG_CACHE_HOME, else ~/.cache) + "/tarvex"; the system's temporary folder only when
// the user has no home.
std::filesystem::path UserWorkingFolderParent();

// Creates `folder` (and its parents) for this user alone when missing, and checks that it is a
// real folder (not a link), owned by this user and writable by no one else. The reason it cannot
// be used; empty when it can.
std::u16string MakePrivateFolder(const std::filesystem::path& folder);

}  // namespace tarvex
