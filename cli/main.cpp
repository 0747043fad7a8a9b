// tarvex: the recovery tool without a window.

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/database_run.h"

int main(int argc, char** argv) {
  using namespace tarvex::cli;
  CLI::App app{
      "Tarvex Mailbox Rescue: recovers mailboxes, folders and items from Exchange "
      "database files (*.edb), read-only."};
  app.require_subcommand(1);
  app.set_version_flag("--version", "tarvex " TARVEX_VERSION);

  CommonOptions options;
  std::string database;
  std::string folder;
  auto add_common = [&](CLI::App* command, bool with_json) {
    command->add_option("DB", database, "Exchange database file (*.edb)")->required();
    command->add_flag("-q,--quiet", options.quiet, "Nothing but errors on standard error");
    command->add_flag("-v,--verbose", options.verbose, "Also the status texts on standard error");
    command->add_flag("--progress", options.progress,
                      "Progress on standard error even when it is no terminal");
    if (with_json) command->add_flag("--json", options.json, "Print JSON instead of text");
    command->add_flag("--deep", options.deep,
                      "Deep scan: read every page, also records no tree reaches and deleted ones");
  };

  CLI::App* info =
      app.add_subcommand("info", "Format, page size, layout, store kind, tables, mailboxes");
  add_common(info, true);
  CLI::App* tree =
      app.add_subcommand("tree", "The rebuilt tree of mailboxes and folders, with item counts");
  add_common(tree, true);
  tree->add_flag("--paths", options.paths,
                 "Only the path of every mailbox and folder, one a line, as FOLDER takes it");
  CLI::App* list = app.add_subcommand("list", "The items of one folder");
  add_common(list, true);
  list->add_option("FOLDER", folder,
                   "Folder path, e.g. \"Mailbox Name/Top of Information Store/Inbox\"")
      ->required();

  CLI::App* export_command =
      app.add_subcommand("export", "Saves the items of folders into an output mailbox folder");
  add_common(export_command, true);
  std::vector<std::string> export_folders;
  ExportOptions export_options;
  export_command->add_option("FOLDER", export_folders,
                             "Folder paths to export (default: every folder)");
  export_command
      ->add_option(
          "--kinds", export_options.kinds,
          "mail, contact, calendar, task, note, journal, distlist or all, separated by commas")
      ->capture_default_str();
  export_command->add_option("--out", export_options.output_folder, "Output folder")->required();
  export_command->add_option("--saver", export_options.saver,
                             "The saver program (default: mailsaving beside tarvex)");
  export_command->add_flag("--include-deleted", export_options.include_deleted,
                           "Also export the items the deep scan found deleted");
  export_command
      ->add_option("--format", export_options.mail_format,
                   "How mail is stored: mbox (mail.mbox per folder), maildir (a Maildir++ tree) "
                   "or eml (one .eml file per message)")
      ->check(CLI::IsMember({"mbox", "maildir", "eml"}))
      ->capture_default_str();
  CLI::Option* replace =
      export_command->add_flag("--replace", export_options.replace,
                               "Remove the files of an earlier export in the output folder first");
  export_command
      ->add_flag("--append", export_options.append, "Add to an earlier export in the output folder")
      ->excludes(replace);

  std::string item;
  CLI::App* show =
      app.add_subcommand("show", "Write the preview pages of one item and print the page to open");
  add_common(show, false);
  show->add_option("FOLDER", folder, "Folder path, as `tarvex tree` shows it")->required();
  show->add_option("ITEM", item, "The item's id, or its position in `tarvex list`")->required();
  show->add_option("--workdir", options.workdir, "Folder for the pages, body files and attachments")
      ->required();

  std::filesystem::path eml_out;
  CLI::App* eml = app.add_subcommand("eml", "Write one item as a MIME message (.eml)");
  add_common(eml, true);
  eml->add_option("FOLDER", folder, "Folder path, as `tarvex tree` shows it")->required();
  eml->add_option("ITEM", item, "The item's id, or its position in `tarvex list`")->required();
  eml->add_option("--out", eml_out, "The .eml file to write")->required();

  CLI::App* tables = app.add_subcommand(
      "tables", "Every table with its columns and record count, and a report of the pages read");
  add_common(tables, true);
  std::string table;
  CLI::App* dump = app.add_subcommand("dump", "Every record of one table, every column");
  add_common(dump, true);
  dump->add_option("TABLE", table, "Table name, as `tarvex tables` shows it")->required();

  CLI::App* search = app.add_subcommand(
      "search", "Items of every mailbox, or of the folders named, that meet every condition");
  add_common(search, true);
  std::vector<std::string> search_folders;
  SearchOptions search_options;
  search->add_option("FOLDER", search_folders, "Folders to search, with those below them");
  search->add_option("--from", search_options.from, "Text in the sender");
  search->add_option("--to", search_options.to, "Text in a recipient (To, Cc or Bcc)");
  search->add_option("--subject", search_options.subject, "Text in the subject");
  search->add_option("--body", search_options.body, "Text in the body");
  search->add_option("--after", search_options.after, "Dated at or after DATE (UTC)");
  search->add_option("--before", search_options.before, "Dated before DATE (UTC)");
  search->add_option("--kind", search_options.kind, "Items of this kind: mail, task, ...");
  search->add_flag("--has-attachment", search_options.has_attachment, "Items with attachments");
  search->add_flag("--regex", search_options.regex,
                   "The texts are regular expressions (Perl syntax), not plain texts");
  search->add_option("--workdir", options.workdir,
                     "Folder for the long recipient lists a search reads (default: a temporary one)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }
  if (info->parsed()) return RunInfo(database, options);
  if (tables->parsed()) return RunTables(database, options);
  if (dump->parsed()) return RunDump(database, table, options);
  if (tree->parsed()) return RunTree(database, options);
  if (list->parsed()) return RunList(database, folder, options);
  if (show->parsed()) return RunShow(database, folder, item, options);
  if (eml->parsed()) return RunEml(database, folder, item, eml_out, options);
  if (search->parsed()) return RunSearch(database, search_folders, search_options, options);
  if (export_command->parsed()) {
    return RunExportCommand(database, export_folders, export_options, options);
  }
  return kExitUsage;
}
