#include "saver/mail_writer.h"

#include <fcntl.h>
#include <unistd.h>
#include <gmime/gmime.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "base/code_page_1252.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "output/mail_addresses.h"
#include "saver/output_files.h"

namespace tarvex {
namespace {

// The sender line is short; the rest of a message file is not read.
constexpr std::size_t kMaxMessageFileBytes = 64 * 1024;

struct GObjectUnref {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The buffer getline grows as it needs.
struct LineBuffer {
  LineBuffer() = default;
  ~LineBuffer() { std::free(data); }
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  char* data = nullptr;
  std::size_t capacity = 0;
};

constexpr std::size_t kFlushBytes = 1 << 20;

// GMime keeps per-process tables; its init and shutdown are counted, so nesting is safe.
class GMimeLibrary {
 public:
  GMimeLibrary() { g_mime_init(); }
  ~GMimeLibrary() { g_mime_shutdown(); }
  GMimeLibrary(const GMimeLibrary&) = delete;
  GMimeLibrary& operator=(const GMimeLibrary&) = delete;
};

std::u16string NormalizedLineEnds(std::u16string_view text) {
  std::u16string normal = ReplacedAll(text, u"\r\n", u"\n");
  ReplaceAll(normal, u"\r", u"\n");
  return normal;
}

// The recovery program shows addresses in square brackets; the headers need them in angle
// brackets again.
std::string AddressListText(std::u16string_view text) {
  std::u16string list = ReplacedAll(text, u"[", u"<");
  ReplaceAll(list, u"]", u">");
  ReplaceAll(list, u"\r", u" ");
  ReplaceAll(list, u"\n", u" ");
  return Utf16ToUtf8(Trim(list));
}

void AddAddresses(GMimeMessage* message, GMimeAddressType type, std::u16string_view text) {
  const std::string list_text = AddressListText(text);
  if (list_text.empty()) return;
  GPtr<InternetAddressList> parsed(internet_address_list_parse(nullptr, list_text.c_str()));
  InternetAddressList* target = g_mime_message_get_addresses(message, type);
  if (parsed && internet_address_list_length(parsed.get()) > 0) {
    internet_address_list_append(target, parsed.get());
    return;
  }
  // Not an address at all (a bare display name, "undisclosed recipients"): kept as the name of
  // an empty group; "Name <>" would be no address, and a group may stand in From (RFC 6854).
  GPtr<InternetAddress> name_only(internet_address_group_new(list_text.c_str()));
  internet_address_list_add(target, name_only.get());
}

GPtr<GMimePart> TextPart(const BodyContent& body) {
  GPtr<GMimePart> part(GMIME_PART(g_mime_text_part_new_with_subtype(body.html ? "html" : "plain")));
  const std::string utf8 = Utf16ToUtf8(NormalizedLineEnds(body.text));
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(utf8.data(), utf8.size()));
  GPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", "utf-8");
  g_mime_part_set_content_encoding(part.get(), g_mime_part_get_best_content_encoding(
                                                   part.get(), GMIME_ENCODING_CONSTRAINT_7BIT));
  return part;
}

GPtr<GMimePart> AttachmentPart(const std::filesystem::path& file, std::string& error) {
  GError* open_error = nullptr;
  GPtr<GMimeStream> stream(g_mime_stream_fs_open(file.c_str(), O_RDONLY, 0, &open_error));
  if (!stream) {
    error = "cannot open the attachment " + file.string() + ": " +
            (open_error != nullptr ? open_error->message : "unknown error");
    if (open_error != nullptr) g_error_free(open_error);
    return nullptr;
  }
  GPtr<GMimePart> part(g_mime_part_new_with_type("application", "octet-stream"));
  GPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  g_mime_part_set_filename(part.get(), file.filename().c_str());
  g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
  return part;
}

GPtr<GMimeMessage> BuildMessage(const MailItem& item, std::vector<std::string>& warnings) {
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_FROM, item.from);
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_TO, item.to);
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_CC, item.cc);
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_BCC, item.bcc);
  // A subject spread over lines must not become lines of the header block.
  const std::string subject =
      Utf16ToUtf8(ReplacedAll(NormalizedLineEnds(item.subject), u"\n", u" "));
  g_mime_message_set_subject(message.get(), subject.c_str(), "utf-8");
  if (item.date) {
    GDateTime* date = g_date_time_new_utc(item.date->year, item.date->month, item.date->day,
                                          item.date->hour, item.date->minute, item.date->second);
    if (date != nullptr) {
      g_mime_message_set_date(message.get(), date);
      g_date_time_unref(date);
    }
  }
  std::unique_ptr<char, GFree> message_id(g_mime_utils_generate_message_id("mailsaving.invalid"));
  g_mime_message_set_message_id(message.get(), message_id.get());

  GPtr<GMimePart> body = TextPart(item.body);
  if (item.attachments.empty()) {
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(body.get()));
    return message;
  }
  GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
  g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
  for (const std::filesystem::path& file : item.attachments) {
    std::string error;
    GPtr<GMimePart> attachment = AttachmentPart(file, error);
    if (attachment) {
      g_mime_multipart_add(mixed.get(), GMIME_OBJECT(attachment.get()));
    } else {
      warnings.push_back(error + "; the attachment was left out");
    }
  }
  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
  return message;
}

// "From sender Thu Jan  5 09:03:07 2010": the envelope address must not hold blanks.
std::string EnvelopeLine(const MailItem& item) {
  std::string sender = "MAILER-DAEMON";
  for (const MailAddress& entry : ParseAddressList(item.from)) {
    if (!entry.address.empty()) {
      sender = Utf16ToUtf8(entry.address);
      break;
    }
  }
  std::tm time{};
  if (item.date) {
    time.tm_year = item.date->year - 1900;
    time.tm_mon = item.date->month - 1;
    time.tm_mday = item.date->day;
    time.tm_hour = item.date->hour;
    time.tm_min = item.date->minute;
    time.tm_sec = item.date->second;
    std::time_t seconds = timegm(&time);  // fills in the weekday
    gmtime_r(&seconds, &time);
  } else {
    const std::time_t now = std::time(nullptr);
    gmtime_r(&now, &time);
  }
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "%a %b %e %H:%M:%S %Y", &time);
  return "From " + sender + " " + stamp + "\n";
}

}  // namespace

std::string QuoteMboxLine(std::string_view line) {
  std::size_t quotes = 0;
  while (quotes < line.size() && line[quotes] == '>') ++quotes;
  if (line.substr(quotes).starts_with("From ")) return ">" + std::string(line);
  return std::string(line);
}

std::u16string SenderFromMessageFile(const std::filesystem::path& file) {
  // Only the first line counts: when the recovery program could not rewrite the file, it is
  // still the whole message it wrote first, which starts with the same From line.
  std::ifstream stream(file, std::ios::binary);
  std::string head(kMaxMessageFileBytes, '\0');
  stream.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(stream.gcount()));
  if (!head.starts_with("From: ")) return u"";
  const std::size_t line_end = head.find_first_of("\r\n");
  // The program writes the line in UTF-8; a line that is not UTF-8 is read as 1252.
  const std::string_view sender = std::string_view(head).substr(6, line_end - 6);
  return Trim(DecodeUtf8Strict(sender).value_or(Windows1252ToUtf16(sender)));
}

namespace {

// The message GMime builds from the item, in a temporary file: attachments are streamed,
// never held whole.
std::unique_ptr<std::FILE, FileCloser> StagedMessage(const MailItem& item,
                                                     std::vector<std::string>& warnings,
                                                     std::string& error) {
  GMimeLibrary library;
  GPtr<GMimeMessage> message = BuildMessage(item, warnings);
  std::unique_ptr<std::FILE, FileCloser> staged(std::tmpfile());
  if (!staged) {
    error = "cannot create a temporary file for the message";
    return nullptr;
  }
  GPtr<GMimeStream> stream(g_mime_stream_file_new(staged.get()));
  g_mime_stream_file_set_owner(GMIME_STREAM_FILE(stream.get()), FALSE);
  GMimeFormatOptions* options = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_UNIX);
  const ssize_t written =
      g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), options, stream.get());
  g_mime_format_options_free(options);
  if (written < 0 || g_mime_stream_flush(stream.get()) != 0) {
    error = "cannot write the message (an attachment may be unreadable)";
    return nullptr;
  }
  std::rewind(staged.get());
  return staged;
}

// The message to store: the one the recovery program composed, else one built from the fields.
std::unique_ptr<std::FILE, FileCloser> MessageSource(const MailItem& item,
                                                     std::vector<std::string>& warnings,
                                                     std::string& error) {
  if (!item.message_file.empty()) {
    std::unique_ptr<std::FILE, FileCloser> composed(std::fopen(item.message_file.c_str(), "rb"));
    if (composed) return composed;
    warnings.push_back("cannot open the message file " + item.message_file.string() +
                       "; the message was built from the record's fields");
  }
  return StagedMessage(item, warnings, error);
}

bool WriteAll(int fd, std::string_view bytes, std::string& error) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = std::string("cannot write the message: ") + std::strerror(errno);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

bool WriteMessageFile(const MailItem& item, int fd, bool crlf_line_ends,
                      std::vector<std::string>& warnings, std::string& error) {
  std::unique_ptr<std::FILE, FileCloser> source = MessageSource(item, warnings, error);
  if (!source) return false;
  std::string output;
  LineBuffer buffer;
  for (ssize_t length; (length = ::getline(&buffer.data, &buffer.capacity, source.get())) > 0;) {
    std::string_view line(buffer.data, static_cast<std::size_t>(length));
    const bool had_line_end = line.ends_with('\n');
    if (had_line_end) line.remove_suffix(line.ends_with("\r\n") ? 2 : 1);
    output += line;
    if (had_line_end) output += crlf_line_ends ? "\r\n" : "\n";
    if (output.size() >= kFlushBytes) {
      if (!WriteAll(fd, output, error)) return false;
      output.clear();
    }
  }
  if (std::ferror(source.get())) {
    error = "cannot read the message back";
    return false;
  }
  return WriteAll(fd, output, error);
}

bool AppendMailToMbox(const MailItem& item, const std::filesystem::path& mbox,
                      std::vector<std::string>& warnings, std::string& error) {
  std::unique_ptr<std::FILE, FileCloser> staged = MessageSource(item, warnings, error);
  if (!staged) return false;

  AppendingFile output;
  if (!output.Open(mbox, error)) return false;
  // A message needs a blank line before the next envelope line, also after one written by
  // another program.
  std::string entry;
  if (output.initial_size() > 0) {
    const std::string tail = output.InitialTail(2);
    if (tail.empty() || tail.back() != '\n') {
      entry = "\n\n";
    } else if (tail != "\n\n") {
      entry = "\n";
    }
  }
  entry += EnvelopeLine(item);
  LineBuffer buffer;
  bool ends_with_line_end = true;
  for (ssize_t length; (length = ::getline(&buffer.data, &buffer.capacity, staged.get())) > 0;) {
    std::string_view line(buffer.data, static_cast<std::size_t>(length));
    // Lines of an mbox end with LF alone.
    const bool crlf = line.ends_with("\r\n");
    if (crlf) line.remove_suffix(2);
    entry += QuoteMboxLine(line);
    if (crlf) entry += '\n';
    ends_with_line_end = crlf || line.ends_with('\n');
    if (entry.size() >= kFlushBytes) {
      if (!output.Write(entry, error)) return false;
      entry.clear();
    }
  }
  if (std::ferror(staged.get())) {
    error = "cannot read the staged message back";
    return false;
  }
  if (!ends_with_line_end) entry += '\n';
  entry += '\n';
  return output.Write(entry, error) && output.Commit(error);
}

}  // namespace tarvex
