#pragma once

// The vocabularies that classify items by message class and folders by container class.

#include <string>
#include <string_view>

#include "mailbox/mailbox_model.h"

namespace tarvex {

// "mail", "contact", "distlist", "appointment", "activity", "task", "rss", "notes", or the
// class itself when no rule names it. The layouts differ in two classes.
std::u16string ClassifyMessageClass(std::u16string_view message_class, StoreLayout layout);

// Configuration and system items that are never listed.
bool IsExcludedItemKind(std::u16string_view item_kind, StoreLayout layout);

// "Folder", "calendar", "journal", "contact", "task", "note", or the class itself.
std::u16string ClassifyFolderClass(std::u16string_view container_class);

// The tree icon (0-15) for a folder of this display name and folder kind or class.
int ChooseFolderIcon(std::u16string_view display_name, std::u16string_view folder_class);

}  // namespace tarvex
