#pragma once

// The program finds the Exchange columns it needs by name ("S3001", "Q6748"), once per table,
// and remembers each column's position here. A position of 0 means "absent": readers of optional
// properties skip it, so a property in column 0 is never used.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tarvex {

// Slots are grouped by the table they describe; one name can own a slot in several groups.
enum class ColumnGroup {
  kFolder,
  kMailbox,
  kAttachment,
  kHeader,   // 2010 message headers and bodies
  kContent,  // message, contact, calendar, task and note properties
  kMessage,  // the second "N67b0" slot that only the message-table handler reads
};

// Each lookup fills one set of slots from one kind of table.
enum class ColumnLookup {
  kFolderTable,   // "Folders" and the 2010 "Folders-" tables
  kMailboxTable,  // "Mailbox"
  kAttachmentTable,
  kMessageHeaders,  // 2010 "MsgHeader-" tables read for the item list
  kMessageBodies,   // 2010 "MsgHeader-"/"Body-" tables read on selection
  kContent,         // any message table read for previews and export
  kMessageTable,    // the older layout's "Msg" table scan
};

class ColumnDirectory {
 public:
  // Offers the column at `position` named `name` to a lookup: every slot of the lookup whose
  // name equals `name` exactly takes the position. Slots never lose a position they hold.
  void Offer(ColumnLookup lookup, std::uint32_t position, std::u16string_view name);

  // The position last found for the slot, or 0 when none was ever found.
  std::uint32_t Position(ColumnGroup group, std::u16string_view name) const;

 private:
  std::array<std::map<std::u16string, std::uint32_t, std::less<>>, 6> slots_;
};

}  // namespace tarvex
