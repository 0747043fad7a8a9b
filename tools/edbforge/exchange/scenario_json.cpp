#include "tools/edbforge/exchange/scenario_json.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "base/utf_conversion.h"
#include "tools/edbforge/exchange/column_convention.h"
#include "tools/edbforge/exchange/file_time.h"
#include "tools/edbforge/exchange/scenario_error.h"

namespace tarvex::edbforge {
namespace {

using Json = nlohmann::json;

// Repeated content is for long bodies and attachments, not for filling the disk.
constexpr uint64_t kMaxRepeatedBytes = 16 * 1024 * 1024;
constexpr size_t kMaxFolderDepth = 500;

// Builds the document like the library's own parser, but keeps a repeated key under a marked
// name instead of letting the last one win silently.
class DuplicateKeepingBuilder : public Json::json_sax_t {
 public:
  static constexpr char kDuplicateMark = '\x01';

  bool null() override { return Put(nullptr) != nullptr; }
  bool boolean(bool value) override { return Put(value) != nullptr; }
  bool number_integer(number_integer_t value) override { return Put(value) != nullptr; }
  bool number_unsigned(number_unsigned_t value) override { return Put(value) != nullptr; }
  bool number_float(number_float_t value, const string_t&) override {
    return Put(value) != nullptr;
  }
  bool string(string_t& value) override { return Put(value) != nullptr; }
  bool binary(binary_t& value) override { return Put(Json::binary(value)) != nullptr; }
  bool start_object(std::size_t) override { return Open(Json::object()); }
  bool start_array(std::size_t) override { return Open(Json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool key(string_t& name) override {
    pending_key_ = name;
    while (stack_.back()->contains(pending_key_)) pending_key_.insert(0, 1, kDuplicateMark);
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    error_ = error.what();
    return false;
  }

  Json& root() { return root_; }
  const std::string& error() const { return error_; }

 private:
  Json* Put(Json value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& top = *stack_.back();
    if (top.is_array()) {
      top.push_back(std::move(value));
      return &top.back();
    }
    Json& slot = top[pending_key_];
    slot = std::move(value);
    return &slot;
  }
  bool Open(Json container) {
    stack_.push_back(Put(std::move(container)));
    return true;
  }
  bool Close() {
    stack_.pop_back();
    return true;
  }

  Json root_;
  std::vector<Json*> stack_;
  std::string pending_key_;
  std::string error_;
};

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

class ScenarioReader {
 public:
  explicit ScenarioReader(std::string source) : source_(std::move(source)) {}

  StoreDescription Read(const Json& root) {
    const std::string place = source_;
    ExpectObject(root, place, "the scenario");
    CheckKeys(root, place,
              {"description", "layout", "store", "format_revision", "page_size", "attachment_table",
               "template_table", "columns", "mailboxes", "folders"});
    StoreDescription description;
    const std::string layout = RequiredString(root, "layout", place);
    if (layout == "older") {
      description.layout = StoreLayout::kOlder;
    } else if (layout == "2010") {
      description.layout = StoreLayout::k2010;
    } else {
      throw ScenarioError(place + ": layout must be \"older\" or \"2010\", not " + Quoted(layout));
    }
    const std::string kind = OptionalString(root, "store", place).value_or("private");
    if (kind != "private" && kind != "public") {
      throw ScenarioError(place + ": store must be \"private\" or \"public\", not " + Quoted(kind));
    }
    description.kind = kind == "private" ? StoreKind::kPrivate : StoreKind::kPublic;
    description.format_revision =
        OptionalUnsigned(root, "format_revision", place)
            .value_or(description.layout == StoreLayout::kOlder ? 12 : 20);
    description.page_size = OptionalUnsigned(root, "page_size", place)
                                .value_or(description.format_revision < 17 ? 4096 : 8192);
    if (auto name = OptionalString(root, "attachment_table", place)) {
      description.attachment_table = Utf8ToUtf16(*name);
    }
    if (auto name = OptionalString(root, "template_table", place)) {
      description.template_table = Utf8ToUtf16(*name);
    }
    if (const Json* columns = Find(root, "columns")) ReadColumns(*columns, place, description);
    if (const Json* mailboxes = Find(root, "mailboxes")) {
      if (description.kind == StoreKind::kPublic) {
        throw ScenarioError(place + ": a public store has no mailboxes; list its \"folders\"");
      }
      ExpectArray(*mailboxes, place, "mailboxes");
      for (size_t index = 0; index < mailboxes->size(); ++index) {
        description.mailboxes.push_back(ReadMailbox((*mailboxes)[index], place, index));
      }
    }
    if (const Json* folders = Find(root, "folders")) {
      if (description.kind == StoreKind::kPrivate) {
        throw ScenarioError(place + ": the folders of a private store belong to its mailboxes");
      }
      description.folders = ReadFolders(*folders, place + ", ", "");
    }
    return description;
  }

 private:
  static const Json* Find(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
  }

  static void ExpectObject(const Json& value, const std::string& place, const char* what) {
    if (!value.is_object()) throw ScenarioError(place + ": " + what + " must be a JSON object");
  }
  static void ExpectArray(const Json& value, const std::string& place, const char* what) {
    if (!value.is_array()) throw ScenarioError(place + ": " + what + " must be a JSON array");
  }

  static bool IsDuplicate(const std::string& key) {
    return !key.empty() && key.front() == DuplicateKeepingBuilder::kDuplicateMark;
  }

  static std::string KeyName(const std::string& key) {
    if (!IsDuplicate(key)) return key;
    return key.substr(key.find_first_not_of(DuplicateKeepingBuilder::kDuplicateMark));
  }

  // Refuses keys the format does not know and keys given twice.
  static void CheckKeys(const Json& object, const std::string& place,
                        std::initializer_list<std::string_view> known) {
    for (const auto& [key, value] : object.items()) {
      if (IsDuplicate(key)) {
        throw ScenarioError(place + ": duplicate key " + Quoted(KeyName(key)));
      }
      if (std::find(known.begin(), known.end(), key) == known.end()) {
        throw ScenarioError(place + ": unknown key " + Quoted(key));
      }
    }
  }

  static std::string RequiredString(const Json& object, const char* key, const std::string& place) {
    std::optional<std::string> value = OptionalString(object, key, place);
    if (!value) throw ScenarioError(place + ": " + key + " is missing");
    return *value;
  }
  static std::optional<std::string> OptionalString(const Json& object, const char* key,
                                                   const std::string& place) {
    const Json* value = Find(object, key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_string()) throw ScenarioError(place + ": " + key + " must be a string");
    return value->get<std::string>();
  }
  static std::optional<uint32_t> OptionalUnsigned(const Json& object, const char* key,
                                                  const std::string& place) {
    const Json* value = Find(object, key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_number_unsigned() || value->get<uint64_t>() > UINT32_MAX) {
      throw ScenarioError(place + ": " + key + " must be a number from 0 to 4294967295");
    }
    return value->get<uint32_t>();
  }
  static std::optional<Identifier> OptionalIdentifier(const Json& object, const char* key,
                                                      const std::string& place) {
    std::optional<std::string> text = OptionalString(object, key, place);
    if (!text) return std::nullopt;
    return ParseIdentifierText(*text, place);
  }
  static Identifier ParseIdentifierText(const std::string& text, const std::string& place) {
    const std::optional<Identifier> id = ParseIdentifier(Utf8ToUtf16(text));
    if (!id) {
      throw ScenarioError(place + ": " + Quoted(text) +
                          " is not an identifier (\"1-4FD\" or \"0x1000000000004fd\")");
    }
    return *id;
  }

  static void ReadColumns(const Json& columns, const std::string& store_place,
                          StoreDescription& description) {
    ExpectObject(columns, store_place, "columns");
    for (const auto& [key, entry] : columns.items()) {
      const std::string place = store_place + ", columns, column " + Quoted(KeyName(key));
      if (IsDuplicate(key)) {
        throw ScenarioError(place + ": duplicate column");
      }
      const std::u16string name = Utf8ToUtf16(key);
      const std::optional<TagPrefix> prefix = PrefixOf(name);
      if (!prefix) throw ScenarioError(place + ": unknown column (not a column tag name)");
      ColumnDeclaration column = DefaultColumnDeclaration(name, *prefix);
      std::string type_name;
      if (entry.is_string()) {
        type_name = entry.get<std::string>();
      } else {
        ExpectObject(entry, place, "a column declaration");
        CheckKeys(entry, place, {"type", "storage", "code_page", "size"});
        type_name = RequiredString(entry, "type", place);
        if (auto storage = OptionalString(entry, "storage", place)) {
          if (*storage == "fixed") {
            column.storage = ColumnStorage::kFixed;
          } else if (*storage == "variable") {
            column.storage = ColumnStorage::kVariable;
          } else if (*storage == "tagged") {
            column.storage = ColumnStorage::kTagged;
          } else {
            throw ScenarioError(place + ": unknown storage " + Quoted(*storage) +
                                " (fixed, variable or tagged)");
          }
        }
        column.code_page = OptionalUnsigned(entry, "code_page", place).value_or(kCodePageUnicode);
        column.fixed_size = OptionalUnsigned(entry, "size", place).value_or(8);
      }
      const std::optional<ColumnType> type = ParseColumnTypeName(type_name);
      if (!type) {
        throw ScenarioError(place + ": unknown type " + Quoted(type_name) +
                            " (text, longtext, binary, longbinary, long, currency, bit, "
                            "datetime)");
      }
      if (!TypeSuitsPrefix(*type, *prefix)) {
        throw ScenarioError(place + ": type " + Quoted(type_name) + " does not suit the column");
      }
      column.type = *type;
      description.columns[name] = column;
    }
  }

  MailboxDescription ReadMailbox(const Json& entry, const std::string& store_place, size_t index) {
    std::string place = store_place + ", mailbox " + std::to_string(index + 1);
    ExpectObject(entry, place, "a mailbox");
    MailboxDescription mailbox;
    if (auto name = OptionalString(entry, "name", place)) {
      mailbox.name = Utf8ToUtf16(*name);
      place = store_place + ", mailbox " + Quoted(*name);
    }
    CheckKeys(entry, place, {"name", "owner", "id", "table_suffix", "cells", "folders"});
    mailbox.owner = Utf8ToUtf16(OptionalString(entry, "owner", place).value_or(""));
    mailbox.id = OptionalIdentifier(entry, "id", place);
    mailbox.table_suffix = Utf8ToUtf16(OptionalString(entry, "table_suffix", place).value_or(""));
    if (const Json* cells = Find(entry, "cells")) mailbox.cells = ReadCells(*cells, place);
    if (const Json* folders = Find(entry, "folders")) {
      mailbox.folders = ReadFolders(*folders, place + ", ", "");
    }
    return mailbox;
  }

  std::vector<FolderDescription> ReadFolders(const Json& list, const std::string& owner_place,
                                             const std::string& path, size_t depth = 0) {
    // Deep enough for any tree worth testing, shallow enough for the stack.
    if (depth > kMaxFolderDepth) {
      throw ScenarioError(owner_place + "folder " + Quoted(path) + ": folders nested deeper than " +
                          std::to_string(kMaxFolderDepth));
    }
    ExpectArray(list, owner_place + "folder list", "folders");
    std::vector<FolderDescription> folders;
    for (const Json& entry : list) {
      ExpectObject(entry, owner_place + "folder below " + Quoted(path), "a folder");
      FolderDescription folder;
      const std::string name = OptionalString(entry, "name", owner_place).value_or("");
      const std::string folder_path = path + name;
      const std::string place = owner_place + "folder " + Quoted(folder_path);
      CheckKeys(entry, place, {"name", "class", "id", "cells", "items", "folders"});
      folder.name = Utf8ToUtf16(name);
      folder.container_class = Utf8ToUtf16(OptionalString(entry, "class", place).value_or(""));
      folder.id = OptionalIdentifier(entry, "id", place);
      if (const Json* cells = Find(entry, "cells")) folder.cells = ReadCells(*cells, place);
      if (const Json* items = Find(entry, "items")) {
        ExpectArray(*items, place, "items");
        for (size_t index = 0; index < items->size(); ++index) {
          folder.items.push_back(
              ReadItem((*items)[index], place + ", item " + std::to_string(index + 1)));
        }
      }
      if (const Json* children = Find(entry, "folders")) {
        folder.folders = ReadFolders(*children, owner_place, folder_path + "/", depth + 1);
      }
      folders.push_back(std::move(folder));
    }
    return folders;
  }

  ItemDescription ReadItem(const Json& entry, const std::string& place) {
    ExpectObject(entry, place, "an item");
    CheckKeys(entry, place, {"class", "id", "cells", "attachments", "state", "earlier_cells"});
    ItemDescription item;
    item.message_class = Utf8ToUtf16(OptionalString(entry, "class", place).value_or(""));
    item.id = OptionalIdentifier(entry, "id", place);
    if (const Json* cells = Find(entry, "cells")) item.cells = ReadCells(*cells, place);
    const std::string state = OptionalString(entry, "state", place).value_or("live");
    if (state == "deleted") {
      item.state = ItemState::kDeleted;
    } else if (state == "released") {
      item.state = ItemState::kReleased;
    } else if (state != "live") {
      throw ScenarioError(place + ": state must be \"live\", \"deleted\" or \"released\"");
    }
    if (const Json* cells = Find(entry, "earlier_cells")) {
      item.earlier_cells = ReadCells(*cells, place + ", earlier_cells");
    }
    if (const Json* attachments = Find(entry, "attachments")) {
      ExpectArray(*attachments, place, "attachments");
      for (size_t index = 0; index < attachments->size(); ++index) {
        const std::string attachment_place = place + ", attachment " + std::to_string(index + 1);
        const Json& source = (*attachments)[index];
        ExpectObject(source, attachment_place, "an attachment");
        CheckKeys(source, attachment_place, {"name", "id", "data", "cells"});
        AttachmentDescription attachment;
        attachment.name =
            Utf8ToUtf16(OptionalString(source, "name", attachment_place).value_or(""));
        attachment.id = OptionalIdentifier(source, "id", attachment_place);
        if (const Json* data = Find(source, "data")) {
          const CellValue value = ReadValue(*data, TagPrefix::kBinary, attachment_place + ", data");
          attachment.data =
              value.kind == CellKind::kText ? ToBytes(Utf16ToUtf8(value.text)) : value.bytes;
        }
        if (const Json* cells = Find(source, "cells")) {
          attachment.cells = ReadCells(*cells, attachment_place);
        }
        item.attachments.push_back(std::move(attachment));
      }
    }
    return item;
  }

  static std::vector<uint8_t> ToBytes(std::string_view text) { return {text.begin(), text.end()}; }

  Cells ReadCells(const Json& object, const std::string& owner_place) {
    ExpectObject(object, owner_place, "cells");
    Cells cells;
    for (const auto& [key, entry] : object.items()) {
      const std::string place = owner_place + ", column " + Quoted(KeyName(key));
      if (IsDuplicate(key)) {
        throw ScenarioError(place + ": duplicate column");
      }
      const std::u16string column = Utf8ToUtf16(key);
      const std::optional<TagPrefix> prefix = PrefixOf(column);
      if (!prefix) {
        throw ScenarioError(place + ": unknown column (not a column tag name such as S3001)");
      }
      std::vector<CellValue> values;
      if (entry.is_array()) {
        for (const Json& value : entry) values.push_back(ReadValue(value, *prefix, place));
      } else {
        values.push_back(ReadValue(entry, *prefix, place));
      }
      cells.SetMulti(column, std::move(values));
    }
    return cells;
  }

  static CellValue ReadValue(const Json& value, TagPrefix prefix, const std::string& place) {
    if (value.is_boolean()) return Flag(value.get<bool>());
    if (value.is_number_integer()) {
      if (value.is_number_unsigned() && value.get<uint64_t>() > INT64_MAX) {
        throw ScenarioError(place + ": the number is too large");
      }
      return prefix == TagPrefix::kTime ? Time(value.get<uint64_t>())
                                        : Integer(value.get<int64_t>());
    }
    if (value.is_string()) {
      const std::string text = value.get<std::string>();
      if (prefix == TagPrefix::kTime) return TimeValue(text, place);
      if (prefix == TagPrefix::kQuad) return Id(ParseIdentifierText(text, place));
      return Text(Utf8ToUtf16(text));
    }
    if (!value.is_object()) {
      throw ScenarioError(place + ": a value must be a string, number, boolean or object");
    }
    return ReadValueObject(value, place);
  }

  static CellValue TimeValue(const std::string& text, const std::string& place) {
    const std::optional<uint64_t> ticks = ParseUtcTime(text);
    if (!ticks) {
      throw ScenarioError(place + ": " + Quoted(text) +
                          " is not a UTC time like \"2010-01-05T09:03:07Z\"");
    }
    return Time(*ticks);
  }

  static CellValue ReadValueObject(const Json& object, const std::string& place) {
    static constexpr std::string_view kKinds[] = {"text", "hex", "id", "time", "rtf"};
    static constexpr std::string_view kOptions[] = {"compress", "long", "repeat", "compressed"};
    const Json* kind_value = nullptr;
    std::string kind;
    for (const auto& [key, entry] : object.items()) {
      if (IsDuplicate(key)) {
        throw ScenarioError(place + ": duplicate key " + Quoted(KeyName(key)));
      }
      if (std::find(std::begin(kOptions), std::end(kOptions), key) != std::end(kOptions)) continue;
      if (std::find(std::begin(kKinds), std::end(kKinds), key) == std::end(kKinds)) {
        throw ScenarioError(place + ": unknown type " + Quoted(key) +
                            " (text, hex, id, time or rtf)");
      }
      if (kind_value != nullptr) {
        throw ScenarioError(place + ": a value has one type, not " + Quoted(kind) + " and " +
                            Quoted(key));
      }
      kind_value = &entry;
      kind = key;
    }
    if (kind_value == nullptr) throw ScenarioError(place + ": the value has no type");

    CellValue value;
    if (kind == "time") {
      if (kind_value->is_number_unsigned()) {
        value = Time(kind_value->get<uint64_t>());
      } else if (kind_value->is_string()) {
        value = TimeValue(kind_value->get<std::string>(), place);
      } else {
        throw ScenarioError(place + ": time must be a UTC time text or FILETIME ticks");
      }
    } else {
      if (!kind_value->is_string()) throw ScenarioError(place + ": " + kind + " must be a string");
      const std::string text = Repeated(kind_value->get<std::string>(), object, place);
      if (kind == "text") {
        value = Text(Utf8ToUtf16(text));
      } else if (kind == "rtf") {
        const Json* compressed = Find(object, "compressed");
        const bool lzfu =
            compressed == nullptr || (compressed->is_boolean() && compressed->get<bool>());
        value = Text(Utf8ToUtf16(text), lzfu ? Compression::kRtf : Compression::kRtfUncompressed);
      } else if (kind == "id") {
        value = Id(ParseIdentifierText(text, place));
      } else {
        value = Bytes(HexBytes(text, place));
      }
    }
    if (const Json* compress = Find(object, "compress")) {
      const std::string method = compress->is_string() ? compress->get<std::string>() : "";
      if (method == "7bit") {
        value.compression = Compression::kSevenBit;
      } else if (method == "lzxpress") {
        value.compression = Compression::kLzxpress;
      } else {
        throw ScenarioError(place + ": compress must be \"7bit\" or \"lzxpress\"");
      }
      if (kind == "rtf") throw ScenarioError(place + ": an RTF stream is not compressed again");
    }
    if (const Json* long_value = Find(object, "long")) {
      if (!long_value->is_boolean()) throw ScenarioError(place + ": long must be true or false");
      value.placement =
          long_value->get<bool>() ? LongValuePlacement::kSeparate : LongValuePlacement::kInRecord;
    }
    return value;
  }

  static std::string Repeated(const std::string& text, const Json& object,
                              const std::string& place) {
    const Json* repeat = Find(object, "repeat");
    if (repeat == nullptr) return text;
    if (!repeat->is_number_unsigned() || repeat->get<uint64_t>() == 0 ||
        repeat->get<uint64_t>() * std::max<size_t>(text.size(), 1) > kMaxRepeatedBytes) {
      throw ScenarioError(place + ": repeat must be a count from 1 giving at most " +
                          std::to_string(kMaxRepeatedBytes) + " bytes");
    }
    std::string result;
    const uint64_t count = repeat->get<uint64_t>();
    result.reserve(text.size() * count);
    for (uint64_t i = 0; i < count; ++i) result += text;
    return result;
  }

  static std::vector<uint8_t> HexBytes(const std::string& text, const std::string& place) {
    std::string digits;
    for (char c : text) {
      if (c != ' ') digits.push_back(c);
    }
    if (digits.size() % 2 != 0) throw ScenarioError(place + ": hex needs pairs of digits");
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
      unsigned value = 0;
      for (size_t j = i; j < i + 2; ++j) {
        const char c = digits[j];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
          digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
          digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
          digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
          throw ScenarioError(place + ": " + Quoted(text) + " is not hexadecimal");
        }
        value = value * 16 + digit;
      }
      bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
  }

  std::string source_;
};

}  // namespace

StoreDescription ParseScenario(std::string_view json_text, const std::string& source) {
  DuplicateKeepingBuilder builder;
  if (!Json::sax_parse(json_text, &builder)) {
    throw ScenarioError(source + ": not valid JSON: " + builder.error());
  }
  return ScenarioReader(source).Read(builder.root());
}

StoreDescription ReadScenarioFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ScenarioError(file.string() + ": cannot be read");
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return ParseScenario(text, file.string());
}

}  // namespace tarvex::edbforge
