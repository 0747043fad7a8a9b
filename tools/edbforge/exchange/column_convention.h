#pragma once

// Exchange column tag names ("S3001", "Q6748", "MS80db"): a type prefix and the property id in
// lower-case hexadecimal. The prefix gives each column its usual declaration; a store may
// declare a column otherwise (binary dates, 1252 text, fixed identifiers).

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "tools/edbforge/ese/schema.h"
#include "tools/edbforge/exchange/store_description.h"

namespace tarvex::edbforge {

enum class TagPrefix { kString, kMultiString, kMultiBinary, kBinary, kLong, kQuad, kTime, kBool };

// None when the name is not a prefix followed by 1-4 lower-case hex digits without leading zero.
std::optional<TagPrefix> PrefixOf(std::u16string_view column);

bool IsMultiValued(TagPrefix prefix);

// The declaration a prefix gives: "S" long text (UTF-16), "MS" multi-valued long text, "MN"
// multi-valued binary, "N" long binary (binary for the 8-byte identifiers "N67b0" and
// "N65f9"), "L" long, "Q" and "T" currency, "B" bit; all tagged.
ColumnDeclaration DefaultColumnDeclaration(std::u16string_view column, TagPrefix prefix);

// The column types a prefix may be declared with (README, "Columns").
bool TypeSuitsPrefix(ColumnType type, TagPrefix prefix);

// "text", "longtext", "binary", "longbinary", "long", "currency", "bit", "datetime".
std::optional<ColumnType> ParseColumnTypeName(std::string_view name);

// The declaration of `column` in a store: its entry in `declared`, else its prefix's.
// Throws ScenarioError naming `place` for a name that is not a column tag name.
ColumnDeclaration ResolveColumn(const std::map<std::u16string, ColumnDeclaration>& declared,
                                std::u16string_view column, const std::string& place);

ColumnDefinition MakeColumnDefinition(std::u16string_view column,
                                      const ColumnDeclaration& description);

}  // namespace tarvex::edbforge
