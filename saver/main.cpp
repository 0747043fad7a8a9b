// mailsaving: adds exported items to the output folder. Launched with an item kind, it saves
// the one item of the manifest the recovery program wrote next to it. Launched with --serve,
// it stays for a whole export: each line on its standard input names the kind of the item
// whose manifest is now ready, and for each it answers on its standard output, in lines:
//
//   warning<TAB>text      zero or more: what was saved without (a missing attachment)
//   saved<TAB>file        the file the item went to, or
//   failed<TAB>reason     nothing was saved
//
// The one-item launch prints the same answer lines, and its warnings and failure on standard
// error as well.

#include <gmime/gmime.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "base/program_files.h"
#include "saver/manifest.h"
#include "saver/output_files.h"
#include "saver/save_item.h"

namespace {

// GMime set up once for the whole process: its tables cannot be set up again after a shutdown,
// and the writers' own set-ups are then only counted.
class GMimeForProcess {
 public:
  GMimeForProcess() { g_mime_init(); }
  ~GMimeForProcess() { g_mime_shutdown(); }
  GMimeForProcess(const GMimeForProcess&) = delete;
  GMimeForProcess& operator=(const GMimeForProcess&) = delete;
};

// An answer is one line: its text keeps no line end or tab of its own.
std::string AnswerText(std::string text) {
  for (char& character : text) {
    if (character == '\n' || character == '\r' || character == '\t') character = ' ';
  }
  return text;
}

// The answer lines of one item; true when it was saved.
bool SaveAndAnswer(const std::string& parameter, const std::filesystem::path& folder,
                   tarvex::MailFormat format, bool serving, std::filesystem::path& output_file) {
  const auto kind = tarvex::SavedItemKindFromParameter(parameter);
  tarvex::SaveOutcome outcome;
  if (!kind) {
    outcome.error = "unknown item kind \"" + parameter + "\"";
  } else {
    outcome = tarvex::SaveItem(*kind, folder, format);
  }
  std::string answer;
  for (const std::string& warning : outcome.warnings) {
    answer += "warning\t" + AnswerText(warning) + "\n";
  }
  answer += outcome.saved ? "saved\t" + AnswerText(outcome.output_file.string())
                          : "failed\t" + AnswerText(outcome.error);
  std::cout << answer << std::endl;  // the recovery program waits for this line
  if (!serving) {
    // A launch for one item is often run by hand: the reasons go to the terminal too.
    for (const std::string& warning : outcome.warnings) {
      std::fprintf(stderr, "mailsaving: warning: %s\n", warning.c_str());
    }
    if (!outcome.saved)
      std::fprintf(stderr, "mailsaving: nothing saved: %s\n", outcome.error.c_str());
  }
  if (outcome.saved) output_file = outcome.output_file;
  return outcome.saved;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Adds exported items to the output folder (mail.mbox or a Maildir or .eml files, "
      "contacts.vcf, calendar.ics, tasks.ics, notes.ics, journal.ics)"};
  std::string parameter;
  std::string manifest_folder;
  std::string mail_format_text = "mbox";
  bool serve = false;
  app.add_option("kind", parameter,
                 "mailimport, contact, appointment, task, notes, distlist or journal");
  app.add_option("--manifest-dir", manifest_folder,
                 "folder of mailsaving.txt (default: this program's folder)");
  app.add_option("--mail-format", mail_format_text, "mbox (default), maildir or eml");
  app.add_flag("--serve", serve, "save one item per kind read from the standard input");
  CLI11_PARSE(app, argc, argv);

  const auto mail_format = tarvex::MailFormatFromText(mail_format_text);
  if (!mail_format || serve == !parameter.empty()) {
    std::fprintf(stderr, "mailsaving: name an item kind or --serve, and mbox, maildir or eml\n");
    return 2;
  }
  const std::filesystem::path folder = manifest_folder.empty()
                                           ? tarvex::RunningProgramFolder()
                                           : std::filesystem::path(manifest_folder);
  const GMimeForProcess gmime;
  std::filesystem::path last_output;
  if (!serve) {
    const bool saved = SaveAndAnswer(parameter, folder, *mail_format, false, last_output);
    if (saved) tarvex::SyncFileSystemOf(last_output);
    return saved ? 0 : 1;
  }
  std::ios::sync_with_stdio(false);
  while (std::getline(std::cin, parameter)) {
    SaveAndAnswer(parameter, folder, *mail_format, true, last_output);
  }
  if (!last_output.empty()) tarvex::SyncFileSystemOf(last_output);
  return 0;
}
