#include "tools/edbforge/exchange/scale_generator.h"

#include <array>
#include <string>

#include "base/utf_conversion.h"
#include "tools/edbforge/exchange/scenario_error.h"
#include "tools/edbforge/exchange/store_writer.h"

namespace tarvex::edbforge {
namespace {

// SplitMix64: the same numbers on every platform and standard library, unlike the
// distributions of <random>.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t bound) { return Next() % bound; }
  bool OneIn(uint64_t n) { return Below(n) == 0; }

 private:
  uint64_t state_;
};

constexpr std::array<std::u16string_view, 24> kWords = {
    u"quarterly", u"report",    u"meeting", u"budget",  u"review",   u"draft",
    u"schedule",  u"customer",  u"invoice", u"project", u"update",   u"summary",
    u"Zürich",    u"Übersicht", u"déjà",    u"naïve",   u"agenda",   u"forecast",
    u"shipment",  u"contract",  u"team",    u"office",  u"deadline", u"follow-up"};
constexpr std::array<std::u16string_view, 8> kPeople = {
    u"Alice Martin", u"Bob Chen",     u"Carla Rossi", u"Dmitri Ivanov",
    u"Eva Müller",   u"Farid Haddad", u"Grace Kim",   u"Hugo Lefèvre"};

enum class ScaleKind { kMail, kContact, kAppointment, kTask, kNote, kJournal };

struct ScaleFolder {
  std::u16string name;
  std::u16string container_class;
  ScaleKind kind;
};

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kYear2010 = 129067776000000000ULL;  // 2010-01-01 00:00:00 UTC

std::u16string Words(Random& random, size_t count) {
  std::u16string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += (random.OneIn(12) ? u".\r\n" : u" ");
    text += kWords[random.Below(kWords.size())];
  }
  return text;
}

std::u16string Address(std::u16string_view person) {
  std::u16string address;
  for (char16_t unit : person) {
    if (unit == u' ') {
      address.push_back(u'.');
    } else if (unit < 0x80) {
      address.push_back(unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit);
    }
  }
  return address + u"@example.com";
}

ScaleKind KindOf(std::u16string_view container_class) {
  if (container_class == u"IPF.Contact") return ScaleKind::kContact;
  if (container_class == u"IPF.Appointment") return ScaleKind::kAppointment;
  if (container_class == u"IPF.Task") return ScaleKind::kTask;
  if (container_class == u"IPF.StickyNote") return ScaleKind::kNote;
  if (container_class == u"IPF.Journal") return ScaleKind::kJournal;
  return ScaleKind::kMail;
}

std::vector<ScaleFolder> FolderSet(uint32_t count) {
  static const std::array<ScaleFolder, 9> kStandard = {{
      {u"Inbox", u"IPF.Note", ScaleKind::kMail},
      {u"Sent Items", u"IPF.Note", ScaleKind::kMail},
      {u"Calendar", u"IPF.Appointment", ScaleKind::kAppointment},
      {u"Contacts", u"IPF.Contact", ScaleKind::kContact},
      {u"Tasks", u"IPF.Task", ScaleKind::kTask},
      {u"Notes", u"IPF.StickyNote", ScaleKind::kNote},
      {u"Journal", u"IPF.Journal", ScaleKind::kJournal},
      {u"Deleted Items", u"IPF.Note", ScaleKind::kMail},
      {u"Drafts", u"IPF.Note", ScaleKind::kMail},
  }};
  std::vector<ScaleFolder> folders;
  for (uint32_t index = 0; index < count; ++index) {
    if (index < kStandard.size()) {
      folders.push_back(kStandard[index]);
    } else {
      folders.push_back({u"Project " + Utf8ToUtf16(std::to_string(index - kStandard.size() + 1)),
                         u"IPF.Note", ScaleKind::kMail});
    }
  }
  return folders;
}

// One item of the folder's kind. With `every_column` the item carries every optional column
// the generator ever sets, so that its columns can be declared before the first item.
ItemDescription MakeItem(ScaleKind kind, Random& random, bool every_column) {
  ItemDescription item;
  const std::u16string_view sender = kPeople[random.Below(kPeople.size())];
  const std::u16string_view recipient = kPeople[random.Below(kPeople.size())];
  const uint64_t when = kYear2010 + random.Below(15ULL * 365 * 86400) * kTicksPerSecond;
  const std::u16string subject = Words(random, 3 + random.Below(5));
  item.Set(u"S42", Text(std::u16string(sender)));
  item.Set(u"Se1d", Text(subject));
  item.Set(u"S70", Text(subject));
  item.Set(u"T3007", Time(when));
  switch (kind) {
    case ScaleKind::kMail: {
      item.message_class = u"IPM.Note";
      item.Set(u"S4031", Text(Address(sender)));
      item.Set(u"Te06", Time(when + 30 * kTicksPerSecond));
      item.Set(u"T39", Time(when));
      if (every_column || random.OneIn(3)) item.Set(u"S3d", Text(u"RE: "));
      const std::u16string headers = u"From: \"" + std::u16string(sender) + u"\" <" +
                                     Address(sender) + u">\r\nTo: " + Address(recipient) +
                                     u"\r\nSubject: " + subject + u"\r\n";
      // Some headers as long values, as the older layout's readers expect them; the others are
      // short enough to stay in the record.
      CellValue header_value = Text(headers);
      if (every_column || random.OneIn(8)) header_value.placement = LongValuePlacement::kSeparate;
      item.cells.Set(u"S7d", std::move(header_value));
      item.Set(u"N67b4", Text(u"SMTP:" + Address(recipient)));
      break;
    }
    case ScaleKind::kContact:
      item.message_class = u"IPM.Contact";
      item.Set(u"S3001", Text(std::u16string(sender)));
      item.Set(u"S3a06", Text(std::u16string(sender.substr(0, sender.find(u' ')))));
      item.Set(u"S3a08",
               Text(u"+41 44 " + Utf8ToUtf16(std::to_string(1000000 + random.Below(8999999)))));
      item.Set(u"S802c", Text(Address(sender)));
      break;
    case ScaleKind::kAppointment:
      item.message_class = u"IPM.Appointment";
      item.Set(u"S810c", Text(u"Room " + Utf8ToUtf16(std::to_string(random.Below(400)))));
      item.Set(u"T818f", Time(when));
      item.Set(u"T814d", Time(when + 3600 * kTicksPerSecond));
      item.Set(u"S80fd", Text(u"Busy"));
      break;
    case ScaleKind::kTask:
      item.message_class = u"IPM.Task";
      item.Set(u"T8199", Time(when));
      item.Set(u"T8198", Time(when + 7 * 86400 * kTicksPerSecond));
      item.cells.SetMulti(u"MS80db", {Text(u"Work"), Text(u"Urgent")});
      break;
    case ScaleKind::kNote:
      item.message_class = u"IPM.StickyNote";
      break;
    case ScaleKind::kJournal:
      item.message_class = u"IPM.Activity";
      break;
  }

  // Bodies in every form the readers meet.
  const uint64_t form = every_column ? 0 : random.Below(10);
  const std::u16string body = Words(random, 20 + random.Below(120));
  if (every_column || form < 5) item.Set(u"S1000", Text(body));
  if (every_column || form == 5) {
    std::u16string ascii;
    for (char16_t unit : body) ascii.push_back(unit < 0x80 ? unit : u'?');
    item.Set(u"S1000", Text(ascii, Compression::kSevenBit));
  }
  if (every_column || form == 6 || form == 7) {
    CellValue html =
        Text(u"<html><body><p>" + body + u"</p></body></html>", Compression::kLzxpress);
    item.cells.Set(u"N1013", std::move(html));
  }
  if (every_column || form == 8) {
    std::u16string ascii;
    for (char16_t unit : body) ascii.push_back(unit < 0x80 ? unit : u'?');
    item.cells.Set(u"N1009",
                   Text(u"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 " + ascii + u"\\par}",
                        Compression::kRtf));
  }
  if (every_column || (kind == ScaleKind::kMail && random.OneIn(10))) {
    std::vector<uint8_t> data(1024 + random.Below(16 * 1024));
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random.Next());
    item.AddAttachment(u"attachment-" + Utf8ToUtf16(std::to_string(random.Below(100000))) + u".bin",
                       std::move(data));
  }
  // Several S1000 forms were set only for the declaration; keep the last of each column.
  if (every_column) {
    std::vector<Cell> unique;
    for (const Cell& cell : item.cells.cells()) {
      bool seen = false;
      for (Cell& earlier : unique) {
        if (earlier.column == cell.column) {
          earlier = cell;
          seen = true;
        }
      }
      if (!seen) unique.push_back(cell);
    }
    item.cells.cells() = std::move(unique);
  }
  return item;
}

}  // namespace

void WriteScaleStore(const ScaleOptions& options, const std::filesystem::path& path) {
  if (options.folders == 0) throw ScenarioError("scale: at least one folder is needed");
  if (options.kind == StoreKind::kPrivate && options.mailboxes == 0) {
    throw ScenarioError("scale: a private store needs at least one mailbox");
  }
  StoreDescription description;
  description.layout = options.layout;
  description.kind = options.kind;
  description.format_revision = options.format_revision != 0
                                    ? options.format_revision
                                    : (options.layout == StoreLayout::kOlder ? 14 : 20);
  description.page_size = options.page_size;
  description.libesedb_long_value_layout = options.libesedb_long_value_layout;
  description.columns[u"T3007"] =
      ColumnDeclaration{ColumnType::kBinary, ColumnStorage::kTagged, 1200, 8};

  const std::vector<ScaleFolder> folder_set = FolderSet(options.folders);
  auto add_tree = [&folder_set](std::vector<FolderDescription>& top) {
    FolderDescription root;
    root.name = u"Top of Information Store";
    for (const ScaleFolder& folder : folder_set) {
      FolderDescription child;
      child.name = folder.name;
      child.container_class = folder.container_class;
      root.folders.push_back(std::move(child));
    }
    top.push_back(std::move(root));
  };
  if (options.kind == StoreKind::kPrivate) {
    for (uint32_t index = 0; index < options.mailboxes; ++index) {
      const std::u16string number = Utf8ToUtf16(std::to_string(index + 1));
      MailboxDescription& mailbox =
          description.AddMailbox(u"User " + number, u"/o=Forge/cn=user" + number);
      add_tree(mailbox.folders);
    }
  } else {
    add_tree(description.folders);
  }

  StoreWriter writer(description, path, "scale");
  // The folders that hold items: those of the generated set (not the roots and the tops).
  std::vector<size_t> targets;
  std::vector<ScaleKind> kinds;
  for (size_t index = 0; index < writer.folders().size(); ++index) {
    const FolderDescription* folder = writer.folders()[index].description;
    if (folder == nullptr || !folder->folders.empty()) continue;
    targets.push_back(index);
    kinds.push_back(KindOf(folder->container_class));
  }
  Random sample(options.seed);
  for (ScaleKind kind : {ScaleKind::kMail, ScaleKind::kContact, ScaleKind::kAppointment,
                         ScaleKind::kTask, ScaleKind::kNote, ScaleKind::kJournal}) {
    writer.DeclareSharedItem(MakeItem(kind, sample, true));
  }
  for (size_t slot = 0; slot < targets.size(); ++slot) {
    const uint64_t count =
        options.items / targets.size() + (slot < options.items % targets.size() ? 1 : 0);
    writer.SetItemCount(targets[slot], static_cast<uint32_t>(count));
  }
  writer.Start();
  Random random(options.seed ^ 0x5CA1E5EEDULL);
  for (uint64_t number = 0; number < options.items; ++number) {
    const size_t slot = number % targets.size();
    writer.AddItem(targets[slot], MakeItem(kinds[slot], random, false),
                   "scale, item " + std::to_string(number + 1));
  }
  writer.Finish();
}

}  // namespace tarvex::edbforge
