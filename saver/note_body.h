#pragma once

// The body of a note record: the lines of the note's body file, each followed by
// "<newlinebreak>", with every comma written as "\cama".

#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

// The note's text. A note without a stored body has its fallback file "blank.html" in UTF-16LE
// without a mark, which the recovery program's line reader takes for Windows-1252: the record
// then holds the file's bytes as characters, zero bytes included. No real note holds U+0000,
// so such a body is turned back into its bytes (the lines joined by the LF bytes they were cut
// at) and read as UTF-16LE. A UTF-8 body file read that way gives its bytes as characters too,
// and is read as UTF-8 again when its bytes are well-formed UTF-8 with multi-byte characters.
std::u16string NoteBodyText(std::u16string_view manifest_body);

// A body too long for a manifest line comes as "<bodyfile>" and the body file's path instead
// (the writer's marker, output/export_manifest.h): the path, or none for a body in the line.
std::optional<std::u16string_view> NoteBodyFilePath(std::u16string_view manifest_body);

}  // namespace tarvex
