#include "saver/mail_store.h"

namespace tarvex {

bool StoreMail(const MailItem& item, const std::filesystem::path& folder, MailFormat format,
               std::filesystem::path& output_file, std::vector<std::string>& warnings,
               std::string& error) {
  if (format == MailFormat::kMbox) {
    output_file = folder / "mail.mbox";
    return AppendMailToMbox(item, output_file, warnings, error);
  }
  NewMessageFile file;
  const bool created = format == MailFormat::kMaildir ? file.CreateInMaildir(folder, error)
                                                      : file.CreateEml(folder, item.subject, error);
  if (!created || !WriteMessageFile(item, file.fd(), format == MailFormat::kEml, warnings, error) ||
      !file.Keep(error)) {
    return false;
  }
  output_file = file.path();
  return true;
}

}  // namespace tarvex
