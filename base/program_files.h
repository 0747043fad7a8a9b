#pragma once

// The files that come with the programs: the saver and the window's help page. Each is looked
// for beside the program, then where `cmake --install` puts it relative to the program's own
// folder, then where the build tree makes it, so that the same binaries work built and installed.

#include <filesystem>

namespace tarvex {

// The folder of the running executable; the current folder when the system does not tell.
std::filesystem::path RunningProgramFolder();

// The saver "mailsaving" for a program in `program_folder`. When it is in none of the places,
// the path beside the program, so that a message can name where it belongs.
std::filesystem::path SaverProgram(const std::filesystem::path& program_folder);

// The window's help page "tarvex-mailbox-rescue.html", found as the saver is.
std::filesystem::path HelpPage(const std::filesystem::path& program_folder);

}  // namespace tarvex
