// mailsaving: launched by the recovery program once per exported item, with the item kind as
// its parameter. It reads the manifest the recovery program wrote next to it and adds the item
// to the output mailbox.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/program_files.h"
#include "saver/manifest.h"
#include "saver/save_item.h"

int main(int argc, char** argv) {
  CLI::App app{
      "Adds one exported item to the output mailbox (mail.mbox, contacts.vcf, "
      "calendar.ics, tasks.ics, notes.ics, journal.ics)"};
  std::string parameter;
  std::string manifest_folder;
  app.add_option("kind", parameter,
                 "mailimport, contact, appointment, task, notes, distlist or journal")
      ->required();
  app.add_option("--manifest-dir", manifest_folder,
                 "folder of mailsaving.txt (default: this program's folder)");
  CLI11_PARSE(app, argc, argv);

  const auto kind = tarvex::SavedItemKindFromParameter(parameter);
  if (!kind) {
    std::fprintf(stderr, "mailsaving: unknown item kind \"%s\"\n", parameter.c_str());
    return 2;
  }
  const std::filesystem::path folder = manifest_folder.empty()
                                           ? tarvex::RunningProgramFolder()
                                           : std::filesystem::path(manifest_folder);
  const tarvex::SaveOutcome outcome = tarvex::SaveItem(*kind, folder);
  for (const std::string& warning : outcome.warnings) {
    std::fprintf(stderr, "mailsaving: warning: %s\n", warning.c_str());
  }
  if (!outcome.saved) {
    std::fprintf(stderr, "mailsaving: nothing saved: %s\n", outcome.error.c_str());
    return 1;
  }
  return 0;
}
