// One record read against a fixed schema: a derived table's (fixed, variable and tagged
// columns of several types, template columns among them, two with defaults) or, with bit 4 of
// the first byte set, the catalogue's own. The first byte also chooses the page layout (it
// decides the tagged offsets and flags); the rest is the record. Every value is also split as
// a multi value, whatever its flags say.

#include <memory>
#include <optional>
#include <vector>

#include "ese/catalog.h"
#include "ese/record.h"
#include "fuzz/checks.h"
#include "fuzz/targets.h"

namespace tarvex::fuzz {
namespace {

ese::ColumnSchema Column(const char16_t* name, std::uint32_t identifier, ese::ColumnType type,
                         std::uint32_t record_offset = 0, std::uint32_t flags = 0,
                         std::uint32_t code_page = 0) {
  ese::ColumnSchema column;
  column.name = name;
  column.identifier = identifier;
  column.type = type;
  column.fixed_size = ese::NaturalSize(type);
  column.record_offset = record_offset;
  column.flags = flags;
  column.code_page = code_page;
  return column;
}

ese::ColumnSchema FromTemplate(ese::ColumnSchema column) {
  column.from_template = true;
  return column;
}

ese::ColumnSchema WithDefault(ese::ColumnSchema column, std::vector<std::uint8_t> value) {
  column.default_value = std::move(value);
  return column;
}

ese::TableSchema DerivedTableSchema() {
  using enum ese::ColumnType;
  using ese::column_flag::kCompressed;
  using ese::column_flag::kMultiValued;
  ese::TableSchema table;
  table.name = u"Items";
  table.template_name = u"ItemsTemplate";
  auto inherited = std::make_shared<const std::vector<ese::ColumnSchema>>(
      std::vector<ese::ColumnSchema>{
          FromTemplate(Column(u"TemplateKey", 1, kLong, 4)),
          FromTemplate(Column(u"TemplateParts", 256, kLongBinary, 0, kMultiValued)),
      });
  table.columns = ese::ColumnList(std::move(inherited), {
      Column(u"Size", 2, kLongLong, 8),
      Column(u"Flag", 3, kBit, 16),
      Column(u"Id", 4, kGuid, 17),
      Column(u"Subject", 128, kText, 0, 0, ese::kCodePageWestern),
      WithDefault(Column(u"Class", 129, kBinary), {1, 2}),
      Column(u"Body", 256, kLongText, 0, kCompressed, ese::kCodePageUnicode),
      Column(u"Tags", 257, kBinary, 0, kMultiValued),
      Column(u"Attachment", 258, kLongBinary),
      WithDefault(Column(u"Count", 300, kLong), {42, 0, 0, 0}),
  });
  return table;
}

ese::TableSchema CatalogSchema() {
  ese::TableSchema table;
  table.name = u"MSysObjects";
  table.columns = ese::ColumnList(nullptr, ese::CatalogColumns());
  return table;
}

void SplitAsMultiValue(const ese::StoredValue& value, std::uint8_t flags) {
  ese::StoredValue as_multi = value;
  as_multi.flags = flags;
  const std::optional<std::vector<ese::MultiValuePart>> parts = ese::SplitMultiValue(as_multi);
  if (!parts) return;
  for (const ese::MultiValuePart& part : *parts) {
    RequireWithin(part.bytes, value.bytes, "a multi value's part lies inside the value");
  }
}

}  // namespace

int FuzzRecord(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ese::PageLayout layout = LayoutFromChoice(data[0]);
  const ese::TableSchema schema = (data[0] & 0x10u) != 0 ? CatalogSchema() : DerivedTableSchema();
  const ese::RecordFormat format = (data[0] & 0x20u) != 0 ? ese::RecordFormat::kOlderTagged
                                                           : ese::RecordFormat::kCurrent;
  const std::optional<ese::Record> record =
      ese::Record::Parse(schema, layout, std::span(data + 1, size - 1), format);
  if (!record) return 0;
  if (format == ese::RecordFormat::kCurrent) {
    Require(record->data().size() == size - 1, "the record keeps all of its bytes");
  }
  for (std::size_t position = 0; position < record->column_count(); ++position) {
    const std::optional<ese::StoredValue> value = record->Value(position);
    Require(value.has_value(), "every column of the schema has a value or none");
    if (!value->present) continue;
    const ese::ColumnSchema& column = schema.columns[position];
    if (column.default_value && value->bytes.data() == column.default_value->data()) {
      RequireWithin(value->bytes, *column.default_value, "a default is the column's own");
    } else {
      RequireWithin(value->bytes, record->data(), "a value lies inside its record");
    }
    Touch(value->bytes);
    SplitAsMultiValue(*value, value->flags);
    SplitAsMultiValue(*value, ese::value_flag::kMultiValue);
    SplitAsMultiValue(*value, ese::value_flag::kTwoValues);
  }
  Require(!record->Value(record->column_count()), "no value past the last column");
  return 0;
}

}  // namespace tarvex::fuzz
