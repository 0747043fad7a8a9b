#pragma once

// Mail items as RFC 5322 messages (built with GMime) appended to "mail.mbox" in mboxrd form.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/date_text.h"
#include "saver/body_file.h"

namespace tarvex {

struct MailItem {
  std::u16string from;  // "Name <address>", "Name [address]" or an address
  std::u16string to;    // lists of such entries, separated by commas or semicolons
  std::u16string cc;
  std::u16string bcc;
  std::u16string subject;
  std::optional<UtcDateTime> date;
  BodyContent body;
  std::vector<std::filesystem::path> attachments;  // files that exist, in order
  // The whole message as the recovery program wrote it, CR LF lines; when it can be read it is
  // appended as it is and the fields above only give the envelope line.
  std::filesystem::path message_file;
};

// The sender out of the message file the recovery program leaves after the hand-off: "From: "
// and the sender in Windows-1252, without line end. Empty when the file is missing or holds
// something else.
std::u16string SenderFromMessageFile(const std::filesystem::path& file);

// Writes the message into a temporary file (or takes the item's message file), then appends it to
// the mbox with its envelope line, every line of the form ">*From " quoted with one more ">", and a
// blank line after it. The mbox is cut back to its former length when anything fails. An attachment
// that cannot be opened is left out, with the reason added to `warnings`.
bool AppendMailToMbox(const MailItem& item, const std::filesystem::path& mbox,
                      std::vector<std::string>& warnings, std::string& error);

// Writes the message alone, as a file of its own holds it, to the open file `fd` (which stays
// open): LF line ends for a Maildir, CR LF for an .eml file. An attachment that cannot be
// opened is left out, with the reason added to `warnings`.
bool WriteMessageFile(const MailItem& item, int fd, bool crlf_line_ends,
                      std::vector<std::string>& warnings, std::string& error);

// One more ">" before every line that starts with ">*From " (mboxrd).
std::string QuoteMboxLine(std::string_view line);

}  // namespace tarvex
