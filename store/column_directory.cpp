#include "store/column_directory.h"

#include <algorithm>
#include <initializer_list>
#include <span>
#include <vector>

namespace tarvex {
namespace {

struct SlotName {
  ColumnGroup group;
  std::u16string_view name;
};

constexpr std::u16string_view kFolderNames[] = {u"Q6748", u"Q6749", u"Q6764", u"S3001",
                                                u"S3613", u"L3602", u"S6707"};
constexpr std::u16string_view kMailboxNames[] = {u"Q6764", u"S6773", u"S3001"};
constexpr std::u16string_view kAttachmentNames[] = {u"Q3f88", u"S3001", u"N3701", u"S3704"};

// Header slots that both 2010 lookups fill.
constexpr std::u16string_view kSharedHeaderNames[] = {u"S42",  u"S1a",   u"Se1d", u"S3d",  u"Be1b",
                                                      u"Te06", u"T3007", u"T39",  u"N67b0"};
constexpr std::u16string_view kHeaderOnlyNames[] = {u"Q6748", u"S70"};
constexpr std::u16string_view kBodyOnlyNames[] = {u"S1000", u"S4031", u"N67bd", u"N67be",
                                                  u"N67b9", u"N67ba", u"Le23"};

constexpr std::u16string_view kContentNames[] = {
    u"S70",   u"S7d",   u"S1000", u"S3001", u"S3003", u"S3707", u"S3a05",  u"S3a06",  u"S3a08",
    u"S3a09", u"S3a0a", u"S3a11", u"S3a15", u"S3a16", u"S3a17", u"S3a18",  u"S3a19",  u"S3a1b",
    u"S3a1c", u"S3a1f", u"S3a23", u"S3a24", u"S3a26", u"S3a27", u"S3a28",  u"S3a29",  u"S3a2a",
    u"S3a2f", u"S3a44", u"S3a45", u"S3a46", u"S3a4f", u"S3a51", u"S3a59",  u"S3a5a",  u"S3a5b",
    u"S3a5c", u"S3a5d", u"S4025", u"S8004", u"S800b", u"S800e", u"S8010",  u"S801a",  u"S801b",
    u"S801d", u"S8020", u"S8023", u"S8027", u"S802b", u"S802c", u"S802f",  u"S803a",  u"S803b",
    u"S8049", u"S8051", u"S808d", u"S8095", u"S8097", u"S809e", u"S80a5",  u"S80a6",  u"S80a7",
    u"S80fd", u"S810c", u"S8120", u"S8122", u"S8143", u"S8144", u"S8145",  u"S8146",  u"S81af",
    u"S81b0", u"S81b1", u"S81b2", u"S81b5", u"S81b9", u"S81ba", u"S81c2",  u"S81fd",  u"S8201",
    u"S8204", u"S8214", u"S821b", u"S8241", u"S829f", u"S82a0", u"S82f6",  u"T60",    u"T61",
    u"T3a42", u"T800d", u"T8040", u"T8041", u"T8102", u"T810b", u"T811f",  u"T812e",  u"T814d",
    u"T814e", u"T8155", u"T8156", u"T818f", u"T8198", u"T8199", u"T81bc",  u"T81bd",  u"T81c2",
    u"T81c3", u"T81c9", u"T81cb", u"T81ef", u"N2c",   u"N1009", u"N1013",  u"N3701",  u"N65f9",
    u"N67b0", u"N67b3", u"N67b4", u"N67b5", u"L3705", u"L813a", u"MS80db", u"MN81d8",
};

// Content names that the general list (previews, export) leaves out.
constexpr std::u16string_view kNotInGeneralList[] = {u"MN81d8", u"N67b5", u"S8120", u"S8204",
                                                     u"T811f",  u"T812e", u"T8155", u"T8156"};

// Content names that the "Msg" scan leaves out.
constexpr std::u16string_view kNotInMessageTableList[] = {
    u"L3705", u"L813a", u"N2c",   u"N3701", u"N65f9", u"S3707", u"S4025", u"S8004",
    u"S800b", u"S800e", u"S801a", u"S801d", u"S8020", u"S8023", u"S8049", u"S8051",
    u"S8143", u"S8144", u"S8145", u"S8146", u"T8040", u"T8041"};

bool Contains(std::span<const std::u16string_view> names, std::u16string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The slots a lookup may fill with a column of this name (at most three).
std::vector<SlotName> SlotsFor(ColumnLookup lookup, std::u16string_view name) {
  std::vector<SlotName> slots;
  auto add_if = [&](std::span<const std::u16string_view> names, ColumnGroup group) {
    if (Contains(names, name)) slots.push_back({group, name});
  };
  switch (lookup) {
    case ColumnLookup::kFolderTable:
      add_if(kFolderNames, ColumnGroup::kFolder);
      break;
    case ColumnLookup::kMailboxTable:
      add_if(kMailboxNames, ColumnGroup::kMailbox);
      break;
    case ColumnLookup::kAttachmentTable:
      add_if(kAttachmentNames, ColumnGroup::kAttachment);
      break;
    case ColumnLookup::kMessageHeaders:
      add_if(kSharedHeaderNames, ColumnGroup::kHeader);
      add_if(kHeaderOnlyNames, ColumnGroup::kHeader);
      break;
    case ColumnLookup::kMessageBodies:
      add_if(kSharedHeaderNames, ColumnGroup::kHeader);
      add_if(kBodyOnlyNames, ColumnGroup::kHeader);
      break;
    case ColumnLookup::kContent:
      if (!Contains(kNotInGeneralList, name)) add_if(kContentNames, ColumnGroup::kContent);
      break;
    case ColumnLookup::kMessageTable:
      if (!Contains(kNotInMessageTableList, name)) add_if(kContentNames, ColumnGroup::kContent);
      if (name == u"N67b0") slots.push_back({ColumnGroup::kMessage, name});
      break;
  }
  return slots;
}

}  // namespace

void ColumnDirectory::Offer(ColumnLookup lookup, std::uint32_t position, std::u16string_view name) {
  for (const SlotName& slot : SlotsFor(lookup, name)) {
    slots_[static_cast<std::size_t>(slot.group)].insert_or_assign(std::u16string(slot.name),
                                                                  position);
  }
}

std::uint32_t ColumnDirectory::Position(ColumnGroup group, std::u16string_view name) const {
  const auto& group_slots = slots_[static_cast<std::size_t>(group)];
  const auto found = group_slots.find(name);
  return found == group_slots.end() ? 0 : found->second;
}

}  // namespace tarvex
