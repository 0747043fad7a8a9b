#pragma once

// Finding the body of a previewed item and leaving it as a file in the working folder; the
// body state then names the file the frameset shows. A body in a page file (an HTML body, or
// the older layout's "blank.html") is shown as the safe page made of it (html_sanitizer.h);
// what the store holds stays beside it as "<name>.stored", named by the body state's
// `stored_path`.

#include <string_view>

#include "mailbox/recovery.h"
#include "output/preview_record.h"
#include "output/selected_item.h"

namespace tarvex {

// Older layout: the text, HTML and RTF routes in this order. Without a body, `fallback_name`
// ("blank.txt" or "blank.html") holds the plain bodies the item list kept for the item, as
// UTF-16LE without a mark (empty when there are none); "blank.html" as a page of that text.
void FindBodyOlder(Recovery& recovery, PreviewRecord& record, const SelectedItem& item,
                   std::u16string_view fallback_name);

// 2010 layout: RTF first, then HTML ("blank.html"), then text ("blank.txt"). An RTF stream
// that gives no text does not hide the other forms. Without a body, "blank.txt" holds
// `no_body_text` (UTF-16LE without a mark), so that no earlier item's body is shown.
void FindBody2010(Recovery& recovery, PreviewRecord& record, std::u16string_view no_body_text);

}  // namespace tarvex
