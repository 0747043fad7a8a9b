#include "ese/read_losses.h"

#include <utility>
#include <vector>

#include "ese/database.h"

namespace tarvex::ese {
namespace {

std::string Counted(std::uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

bool ReadLosses::Any() const {
  return unparsable_pages != 0 || missing_pages != 0 || checksum_mismatches != 0 ||
         unreadable_records != 0 || unreadable_long_values != 0 || damaged_tables != 0 ||
         catalog_incomplete;
}

ReadLosses LossesOf(const Database& database) {
  const ReadReport& report = database.report();
  ReadLosses losses;
  losses.unparsable_pages = report.unparsable_pages;
  losses.missing_pages = report.missing_pages;
  losses.checksum_mismatches = report.checksum_mismatches;
  losses.unreadable_records = report.unreadable_records;
  losses.unreadable_long_values = report.unreadable_long_values;
  for (const auto& table : database.tables()) {
    if (table->damage_met()) ++losses.damaged_tables;
  }
  losses.catalog_incomplete = !database.catalog().complete;
  return losses;
}

std::string DescribeLosses(const ReadLosses& losses) {
  std::vector<std::string> parts;
  if (losses.unparsable_pages != 0) {
    parts.push_back(Counted(losses.unparsable_pages, "page unreadable", "pages unreadable"));
  }
  if (losses.missing_pages != 0) {
    parts.push_back(Counted(losses.missing_pages, "page beyond the end of the file",
                            "pages beyond the end of the file"));
  }
  if (losses.checksum_mismatches != 0) {
    parts.push_back(Counted(losses.checksum_mismatches, "page with a wrong checksum",
                            "pages with a wrong checksum"));
  }
  if (losses.unreadable_records != 0) {
    parts.push_back(Counted(losses.unreadable_records, "record unreadable", "records unreadable"));
  }
  if (losses.unreadable_long_values != 0) {
    parts.push_back(Counted(losses.unreadable_long_values, "long value unreadable",
                            "long values unreadable"));
  }
  if (losses.damaged_tables != 0) {
    parts.push_back(Counted(losses.damaged_tables, "table damaged", "tables damaged"));
  }
  if (losses.catalog_incomplete) parts.push_back("catalogue incomplete");
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

}  // namespace tarvex::ese
