// Times the analysis and the selection of a large folder beside a plain libesedb scan of the
// same tables, in one process: plain, ours, plain, so that the page cache favours neither.
//
//   tarvex_bench compare analysis|selection STORE [FOLDER]
//   tarvex_bench memory analysis|selection|plain-analysis STORE [FOLDER]
//   tarvex_bench export SAVER STORE [FOLDER]
//   tarvex_bench time steps STORE [FOLDER]
//   tarvex_bench time search-budget STORE
//
// "time steps" times ours alone, in one process: the analysis, the first and second selection
// of the folder and the preview of its first item, then the peak resident size; for stores too
// large for the plain scan to finish.
//
// "time search-budget" times, in one process, the analysis and then one read of the header
// tables with our reader (bench/header_read.h): a search by sender is held to their sum, a
// search in the bodies to twice that.
//
// "memory" runs one measurement alone and prints the process's peak resident size, so that each
// figure comes from a process of its own.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "base/utf_conversion.h"
#include "bench/header_read.h"
#include "bench/plain_scan.h"
#include "bench/table_reads.h"
#include "cli/database_run.h"
#include "mailbox/mailbox_loading.h"
#include "output/export_run.h"
#include "output/preview.h"

namespace tarvex::bench {
namespace {

class Stopwatch {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

double PeakMebibytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // reported in KiB on Linux
}

void PrintPlain(const char* label, double seconds, const ScanTally& tally) {
  std::printf("%-22s %9.3f s  (%llu records, %llu values, %llu bytes, check %016llx)\n", label,
              seconds, static_cast<unsigned long long>(tally.records),
              static_cast<unsigned long long>(tally.values),
              static_cast<unsigned long long>(tally.bytes),
              static_cast<unsigned long long>(tally.checksum));
}

double TimePlainAnalysis(const std::filesystem::path& store, const char* label) {
  const Stopwatch watch;
  PlainScan scan(store);
  const ScanTally tally = PlainAnalysis(scan);
  const double seconds = watch.Seconds();
  PrintPlain(label, seconds, tally);
  return seconds;
}

// `scan` has read the analysis' tables first and keeps "Msg" open, as the program's session does.
double TimePlainSelection(PlainScan& scan, const SelectionReads& reads, const char* label) {
  const Stopwatch watch;
  const ScanTally tally = PlainSelection(scan, reads);
  const double seconds = watch.Seconds();
  PrintPlain(label, seconds, tally);
  return seconds;
}

// Ours against the mean of the plain scans on either side of it.
void PrintRatio(const char* label, double ours, double plain_before, double plain_after) {
  const double plain = (plain_before + plain_after) / 2.0;
  std::printf("ratio %-16s %9.2f  (ours %.3f s / plain %.3f s)\n", label,
              plain > 0 ? ours / plain : 0.0, ours, plain);
}

bool Analyse(cli::DatabaseRun& run) {
  if (run.Analyse() != cli::kExitOk) {
    std::fprintf(stderr, "tarvex_bench: the store cannot be analysed\n");
    return false;
  }
  return true;
}

double TimeSelection(cli::DatabaseRun& run, TreeNodeHandle node, const char* label) {
  const Stopwatch watch;
  LoadMailbox(run.recovery(), node);
  const double seconds = watch.Seconds();
  std::printf("%-22s %9.3f s  (%zu rows listed)\n", label, seconds, run.window().ListRows().size());
  return seconds;
}

std::optional<SelectionReads> Plan(cli::DatabaseRun& run,
                                   const std::optional<std::u16string>& folder) {
  std::optional<SelectionReads> reads = PlanSelection(run, folder);
  if (!reads) {
    std::fprintf(stderr, "tarvex_bench: no such folder to select\n");
    return std::nullopt;
  }
  std::printf("folder                 %s\n", Utf16ToUtf8(reads->folder_path).c_str());
  return reads;
}

int CompareAnalysis(const std::filesystem::path& store) {
  const double plain_before = TimePlainAnalysis(store, "plain scan");
  double ours = 0;
  {
    cli::DatabaseRun run(store, std::nullopt, true);
    const Stopwatch watch;
    if (!Analyse(run)) return 1;
    ours = watch.Seconds();
    std::printf(
        "%-22s %9.3f s  (%zu folders, %zu messages, %zu attachments)\n", "analysis", ours,
        run.recovery().model().folder_links.size() + run.recovery().model().folder_nodes.size(),
        run.recovery().model().message_refs.size(), run.recovery().model().attachment_rows.size());
  }
  const double plain_after = TimePlainAnalysis(store, "plain scan");
  PrintRatio("analysis", ours, plain_before, plain_after);
  return 0;
}

int CompareSelection(const std::filesystem::path& store,
                     const std::optional<std::u16string>& folder) {
  cli::DatabaseRun run(store, std::nullopt, true);
  if (!Analyse(run)) return 1;
  const std::optional<SelectionReads> reads = Plan(run, folder);
  if (!reads) return 1;
  PlainScan scan(store);
  {
    const Stopwatch watch;
    const ScanTally tally = PlainAnalysis(scan);
    PrintPlain("plain analysis first", watch.Seconds(), tally);
  }
  const double plain_first = TimePlainSelection(scan, *reads, "plain scan");
  const double first = TimeSelection(run, reads->node, "first selection");
  const double plain_second = TimePlainSelection(scan, *reads, "plain scan");
  const double second = TimeSelection(run, reads->node, "second selection");
  const double plain_third = TimePlainSelection(scan, *reads, "plain scan");
  PrintRatio("first selection", first, plain_first, plain_second);
  // libesedb caches the pages a table handle has read: the plain scan's own first pass is the
  // one that starts as cold as the program's first selection.
  PrintRatio("first, cold pair", first, plain_first, plain_first);
  PrintRatio("second selection", second, plain_second, plain_third);
  return 0;
}

int Memory(const std::string& what, const std::filesystem::path& store,
           const std::optional<std::u16string>& folder) {
  if (what == "plain-analysis") {
    TimePlainAnalysis(store, "plain scan");
  } else if (what == "analysis" || what == "selection") {
    cli::DatabaseRun run(store, std::nullopt, true);
    if (!Analyse(run)) return 1;
    if (what == "selection") {
      const std::optional<SelectionReads> reads = Plan(run, folder);
      if (!reads) return 1;
      TimeSelection(run, reads->node, "first selection");
      TimeSelection(run, reads->node, "second selection");
    }
  } else {
    return 2;
  }
  std::printf("peak memory %-10s %9.1f MiB\n", what.c_str(), PeakMebibytes());
  return 0;
}

double TimePreview(cli::DatabaseRun& run, const char* label) {
  const std::vector<std::vector<std::u16string>> rows = run.window().ListRows();
  if (rows.empty()) return 0;
  ItemListRow selected;
  for (std::size_t column = 0; column < selected.size() && column < rows[0].size(); ++column) {
    selected[column] = rows[0][column];
  }
  const Stopwatch watch;
  ShowItemPreview(run.recovery(), selected);
  const double seconds = watch.Seconds();
  std::printf("%-22s %9.3f s  (%s)\n", label, seconds, run.window().last_page().string().c_str());
  return seconds;
}

int TimeSteps(const std::filesystem::path& store, const std::optional<std::u16string>& folder) {
  cli::DatabaseRun run(store, std::nullopt, true);
  const Stopwatch watch;
  if (!Analyse(run)) return 1;
  std::printf("%-22s %9.3f s  (%zu messages, %zu attachments)\n", "analysis", watch.Seconds(),
              run.recovery().model().message_refs.size(),
              run.recovery().model().attachment_rows.size());
  const std::optional<SelectionReads> reads = Plan(run, folder);
  if (!reads) return 1;
  TimeSelection(run, reads->node, "first selection");
  TimePreview(run, "first preview");
  TimeSelection(run, reads->node, "second selection");
  std::printf("peak memory %-10s %9.1f MiB\n", "steps", PeakMebibytes());
  return 0;
}

int TimeSearchBudget(const std::filesystem::path& store) {
  cli::DatabaseRun run(store, std::nullopt, true);
  const Stopwatch analysis_watch;
  if (!Analyse(run)) return 1;
  const double analysis = analysis_watch.Seconds();
  std::printf("%-22s %9.3f s\n", "analysis", analysis);
  const Stopwatch read_watch;
  const HeaderReadTally tally = ReadHeaderTables(run.recovery().session());
  const double headers = read_watch.Seconds();
  std::printf("%-22s %9.3f s  (%llu tables, %llu records, %llu bytes of transport headers)\n",
              "header tables read", headers, static_cast<unsigned long long>(tally.tables),
              static_cast<unsigned long long>(tally.records),
              static_cast<unsigned long long>(tally.header_bytes));
  std::printf("%-22s %9.3f s\n", "budget by sender", analysis + headers);
  std::printf("%-22s %9.3f s\n", "budget by body", 2 * (analysis + headers));
  return 0;
}

double TimeExport(cli::DatabaseRun& run, TreeNodeHandle node, const std::filesystem::path& saver,
                  ExportMailFormat format) {
  const std::filesystem::path output = run.recovery().working_folder() / "bench-export";
  std::filesystem::remove_all(output);
  std::filesystem::create_directories(output);
  ExportRequest request;
  request.folders = {node};
  request.kinds = kExportMail;
  request.output_folder = output;
  request.saver = saver;
  request.manifest_folder = run.recovery().working_folder();
  request.mail_format = format;
  const Stopwatch watch;
  const ExportOutcome outcome = RunExport(run.recovery(), request);
  const double seconds = watch.Seconds();
  const int items = outcome.items_saved + outcome.saver_failures;
  std::printf("export %-15s %9.3f s  (%d saved, %d skipped, %d saver failures, %.1f items/s)%s%s\n",
              std::string(ExportMailFormatName(format)).c_str(), seconds, outcome.items_saved,
              outcome.items_skipped, outcome.saver_failures, seconds > 0 ? items / seconds : 0.0,
              outcome.error.empty() ? "" : " error: ", Utf16ToUtf8(outcome.error).c_str());
  return seconds;
}

// The folder's mail through the saver, once per mail format; one saver runs per export.
int Export(const std::filesystem::path& saver, const std::filesystem::path& store,
           const std::optional<std::u16string>& folder) {
  cli::DatabaseRun run(store, std::nullopt, true);
  if (!Analyse(run)) return 1;
  const std::optional<SelectionReads> reads = Plan(run, folder);
  if (!reads) return 1;
  for (const ExportMailFormat format :
       {ExportMailFormat::kMbox, ExportMailFormat::kMaildir, ExportMailFormat::kEml}) {
    TimeExport(run, reads->node, saver, format);
  }
  return 0;
}

int Main(int argc, char** argv) {
  if (argc < 4) return 2;
  // Each figure appears as soon as it is measured, also when the output goes to a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string mode = argv[1];
  const std::string what = argv[2];
  const std::filesystem::path store = argv[3];
  std::optional<std::u16string> folder;
  if (argc > 4) folder = Utf8ToUtf16(argv[4]);
  if (mode == "compare" && what == "analysis") return CompareAnalysis(store);
  if (mode == "compare" && what == "selection") return CompareSelection(store, folder);
  if (mode == "memory") return Memory(what, store, folder);
  if (mode == "export") return Export(what, store, folder);
  if (mode == "time" && what == "steps") return TimeSteps(store, folder);
  if (mode == "time" && what == "search-budget") return TimeSearchBudget(store);
  return 2;
}

}  // namespace
}  // namespace tarvex::bench

int main(int argc, char** argv) {
  const int result = tarvex::bench::Main(argc, argv);
  if (result == 2) {
    std::fprintf(stderr,
                 "usage: tarvex_bench compare analysis|selection STORE [FOLDER]\n"
                 "       tarvex_bench memory analysis|selection|plain-analysis STORE [FOLDER]\n"
                 "       tarvex_bench export SAVER STORE [FOLDER]\n"
                 "       tarvex_bench time steps STORE [FOLDER]\n"
                 "       tarvex_bench time search-budget STORE\n");
  }
  return result;
}
