#include "mailbox/sender_memo.h"

#include "store/stored_value.h"

namespace tarvex {
namespace {

void AppendNumber(std::uint32_t number, std::string& key) {
  for (int shift = 0; shift < 32; shift += 8) key.push_back(static_cast<char>(number >> shift));
}

}  // namespace

bool SenderMemo::AppendValueKey(const ese::Record& record, std::optional<int> entry,
                                std::string& key) {
  const ese::ColumnSchema* column = entry ? ColumnAt(&record, *entry) : nullptr;
  const std::optional<RawValue> raw = column ? GetRawValue(&record, *entry) : std::nullopt;
  if (!raw) {
    key.push_back('\0');  // no value at all
    return true;
  }
  if (raw->flags > kValueFlagVariableSize) return false;
  key.push_back('\1');
  AppendNumber(static_cast<std::uint32_t>(column->type), key);
  AppendNumber(column->code_page, key);
  key.push_back(static_cast<char>(raw->flags));
  AppendNumber(static_cast<std::uint32_t>(raw->bytes.size()), key);
  if (!raw->bytes.empty()) {
    key.append(reinterpret_cast<const char*>(raw->bytes.data()), raw->bytes.size());
  }
  return true;
}

void SenderMemo::ForgetIfFull() {
  if (excluded_kinds.size() > kMostRemembered) excluded_kinds.clear();
  if (candidates.size() > kMostRemembered) candidates.clear();
}

}  // namespace tarvex
