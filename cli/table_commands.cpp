// `tarvex tables` and `tarvex dump`: the store as the reader sees it, table by table, for
// users who want to look below the mailboxes.

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "base/terminal_text.h"
#include "base/utf_conversion.h"
#include "cli/commands.h"
#include "cli/database_run.h"
#include "cli/read_outcome.h"
#include "ese/database.h"
#include "store/record_dump.h"

namespace tarvex::cli {
namespace {

const char* TypeName(ese::ColumnType type) {
  static constexpr const char* kNames[] = {
      "Nil",        "Bit",        "UnsignedByte", "Short",    "Long", "Currency",
      "IEEESingle", "IEEEDouble", "DateTime",     "Binary",   "Text", "LongBinary",
      "LongText",   "SLV",        "UnsignedLong", "LongLong", "GUID", "UnsignedShort"};
  const auto index = static_cast<std::size_t>(type);
  return index < std::size(kNames) ? kNames[index] : "Unknown";
}

// Opens the database or prints why not; the exit code goes to `code`.
std::unique_ptr<ese::Database> OpenDatabase(const std::filesystem::path& path, bool deep,
                                            int& code) {
  code = CheckDatabaseFile(path);
  if (code != kExitOk) return nullptr;
  ese::Database::OpenResult opened = ese::Database::Open(path);
  if (!opened.database) {
    PrintError(opened.error == ese::OpenError::kNotDatabase
                   ? "not an ESE database: " + path.string()
                   : "cannot read " + path.string());
    code = opened.error == ese::OpenError::kNotDatabase ? kExitNotDatabase : kExitMissingFile;
    return nullptr;
  }
  code = kExitOk;
  if (deep) opened.database->TakeCensus();
  return std::move(opened.database);
}

void PrintReport(const ese::Database& database) {
  const ese::ReadReport& report = database.report();
  std::printf("Pages read: %llu, checksum mismatches: %llu, pages that could not be parsed: %llu\n",
              static_cast<unsigned long long>(report.pages_read.load()),
              static_cast<unsigned long long>(report.checksum_mismatches.load()),
              static_cast<unsigned long long>(report.unparsable_pages.load()));
  if (report.unreadable_records > 0 || report.unreadable_long_values > 0) {
    std::printf("Records that could not be read: %llu, long values: %llu\n",
                static_cast<unsigned long long>(report.unreadable_records.load()),
                static_cast<unsigned long long>(report.unreadable_long_values.load()));
  }
  if (const ese::PageCensus* census = database.census()) {
    const ese::CensusCounts& counts = census->counts();
    std::printf("Deep scan: %llu pages, %llu never written, %llu damaged (checksum)\n",
                static_cast<unsigned long long>(counts.pages),
                static_cast<unsigned long long>(counts.empty_pages),
                static_cast<unsigned long long>(counts.damaged_pages));
  }
  if (!database.catalog().complete) {
    std::printf("The catalogue is incomplete: tables or columns may be missing.\n");
  } else if (database.catalog().used_shadow) {
    std::printf("Part of the catalogue was read from its shadow copy.\n");
  }
}

}  // namespace

int RunTables(const std::filesystem::path& path, const CommonOptions& options) {
  int code = kExitOk;
  const std::unique_ptr<ese::Database> database = OpenDatabase(path, options.deep, code);
  if (!database) return code;
  if (options.json) {
    nlohmann::ordered_json described = DescribeTables(*database);
    described["losses"] = LossesJson(*database);
    std::printf("%s\n", TerminalSafeJson(described.dump(2)).c_str());
    return FinishRead(*database, options.quiet);
  }
  std::printf("Format 0x%x revision %u, pages of %u bytes, %zu tables\n",
              database->header().format_version, database->header().format_revision,
              database->layout().page_size, database->tables().size());
  for (const auto& table : database->tables()) {
    const std::uint32_t records = table->record_count();
    std::printf("\n%s: %u record%s, %zu columns%s\n", TerminalText(table->name()).c_str(), records,
                records == 1 ? "" : "s", table->columns().size(),
                table->walk_complete() ? "" : " (damaged: records may be missing)");
    if (database->census() != nullptr) {
      const ese::TableRecovery recovery = table->recovery();
      std::printf(
          "  found by the tree walk: %llu, only by the deep scan: %llu, deleted: %llu, "
          "earlier versions: %llu\n",
          static_cast<unsigned long long>(recovery.live),
          static_cast<unsigned long long>(recovery.recovered),
          static_cast<unsigned long long>(recovery.deleted),
          static_cast<unsigned long long>(recovery.earlier_versions));
    }
    for (const ese::ColumnSchema& column : table->columns()) {
      std::printf("  %5u  %-13s %s\n", column.identifier, TypeName(column.type),
                  TerminalText(column.name).c_str());
    }
  }
  std::printf("\n");
  PrintReport(*database);
  return FinishRead(*database, options.quiet);
}

int RunDump(const std::filesystem::path& path, const std::string& table_name,
            const CommonOptions& options) {
  int code = kExitOk;
  const std::unique_ptr<ese::Database> database = OpenDatabase(path, options.deep, code);
  if (!database) return code;
  const ese::Table* table = database->FindTable(Utf8ToUtf16(table_name));
  if (table == nullptr) {
    PrintError("no table \"" + table_name + "\" in " + path.string() +
               " (see `tarvex tables` for the table names)");
    return kExitUnknownFolder;
  }
  std::uint32_t unreadable = 0;
  if (options.json) {
    unreadable = DumpTable(*table, std::cout, [&] {
      return nlohmann::json{{"losses", LossesJson(*database)}};
    });
  } else {
    table->ForEachRecord([&](std::uint32_t number, const ese::Record* record) {
      const ese::RecordState state = table->record_state(number);
      std::printf("== record %u%s\n", number + 1,
                  state == ese::RecordState::kDeleted     ? " (deleted)"
                  : state == ese::RecordState::kRecovered ? " (recovered)"
                                                          : "");
      if (record == nullptr) {
        std::printf("  (cannot be read)\n");
        ++unreadable;
        return true;
      }
      for (std::size_t position = 0; position < record->column_count(); ++position) {
        const nlohmann::ordered_json value = DumpValue(*record, position);
        if (value.is_null()) continue;
        std::printf("  %s: %s\n", TerminalText(record->Column(position)->name).c_str(),
                    TerminalSafeJson(value.dump()).c_str());
      }
      return true;
    });
  }
  std::cout.flush();
  if (unreadable > 0) {
    PrintError(std::to_string(unreadable) + " record(s) of \"" + table_name +
               "\" could not be read");
  }
  if (!options.quiet && !table->walk_complete()) {
    PrintError("the table's tree is damaged: records may be missing");
  }
  return FinishRead(*database, options.quiet);
}

}  // namespace tarvex::cli
