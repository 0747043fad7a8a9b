#include "store/recovery_report.h"

#include <string>
#include <utility>
#include <vector>

#include "base/utf16_text.h"

namespace tarvex {
namespace {

std::u16string Number(std::uint64_t value) {
  return FromAscii(std::to_string(value));
}

std::u16string PagesLine(const ese::Database& database) {
  const ese::ReadReport& report = database.report();
  std::u16string line = u"Pages read: " + Number(report.pages_read) + u", unreadable: " +
                        Number(report.unparsable_pages) + u", checksum mismatches: " +
                        Number(report.checksum_mismatches);
  if (const ese::PageCensus* census = database.census()) {
    line += u"; deep scan of " + Number(census->counts().pages) + u" pages: " +
            Number(census->counts().damaged_pages) + u" damaged, " +
            Number(census->counts().empty_pages) + u" never written";
  }
  return line;
}

// The tables read so far that gave records, with what each gave.
std::vector<std::pair<const ese::Table*, ese::TableRecovery>> TablesRead(
    const ese::Database& database) {
  std::vector<std::pair<const ese::Table*, ese::TableRecovery>> read;
  for (const auto& table : database.tables()) {
    if (!table->has_been_read()) continue;
    const ese::TableRecovery figures = table->recovery();
    if (figures.live + figures.recovered + figures.deleted > 0)
      read.emplace_back(table.get(), figures);
  }
  return read;
}

}  // namespace

std::u16string RecoveryReportText(const ese::Database& database) {
  std::u16string text = PagesLine(database) + u"\n";
  const bool deep = database.census() != nullptr;
  for (const auto& [table, figures] : TablesRead(database)) {
    text += table->name() + u": " + Number(figures.live) + u" by the tree walk";
    if (deep) {
      text += u", " + Number(figures.recovered) + u" only by the deep scan, " +
              Number(figures.deleted) + u" deleted, " + Number(figures.earlier_versions) +
              u" earlier versions";
    }
    if (!table->walk_complete()) text += u" (tree damaged)";
    text += u"\n";
  }
  return text;
}

std::u16string RecoveryReportHtml(const ese::Database& database) {
  const bool deep = database.census() != nullptr;
  std::u16string html = u"<p>" + EscapeHtml(PagesLine(database)) +
                        u"</p><table><tr><th>Table</th>"
                        u"<th>Tree walk</th>";
  if (deep) html += u"<th>Deep scan only</th><th>Deleted</th><th>Earlier versions</th>";
  html += u"</tr>";
  for (const auto& [table, figures] : TablesRead(database)) {
    html +=
        u"<tr><td>" + EscapeHtml(table->name()) + u"</td><td>" + Number(figures.live) + u"</td>";
    if (deep) {
      html += u"<td>" + Number(figures.recovered) + u"</td><td>" + Number(figures.deleted) +
              u"</td><td>" + Number(figures.earlier_versions) + u"</td>";
    }
    html += u"</tr>";
  }
  return html + u"</table>";
}

}  // namespace tarvex
