#include "ese/database.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>

#include "ese/format.h"
#include "ese/tree.h"

namespace tarvex::ese {
namespace {

// The database's own tree, whose space holds the pages no table owns.
constexpr std::uint32_t kDatabaseObjectId = 1;

// The header copies are at file offsets 0 and one page size on; the page size is not known
// before a copy is read, so each possible size is tried for the shadow.
std::optional<FileHeader> ReadHeader(int fd, std::uint64_t file_size) {
  std::vector<std::uint8_t> bytes(32768);
  const std::size_t first =
      static_cast<std::size_t>(std::min<std::uint64_t>(file_size, bytes.size()));
  if (first >= file_header::kMinimumSize &&
      PageFile::ReadAt(fd, 0, std::span(bytes).first(first))) {
    std::optional<FileHeader> header = ParseFileHeader(std::span(bytes).first(first));
    if (header && header->checksum_matches) return header;
  }
  for (std::uint32_t page_size : {4096u, 8192u, 16384u, 32768u, 2048u}) {
    if (file_size < 2ull * page_size) continue;
    std::vector<std::uint8_t> shadow(page_size);
    if (!PageFile::ReadAt(fd, page_size, shadow)) continue;
    std::optional<FileHeader> header = ParseFileHeader(shadow);
    if (header && header->checksum_matches && header->page_size == page_size) {
      header->from_shadow = true;
      return header;
    }
  }
  // Both copies fail their checksum: take the first one that still reads as a header.
  if (first >= file_header::kMinimumSize) {
    if (std::optional<FileHeader> header = ParseFileHeader(std::span(bytes).first(first))) {
      return header;
    }
  }
  return std::nullopt;
}

// The record keys that the first of the table's indexes to be walked whole lists in live
// entries; none when no index can be walked whole.
std::optional<std::unordered_set<std::string>> IndexedRecordKeys(PageFile& file,
                                                                 const PageLayout& layout,
                                                                 const TableSchema& schema) {
  for (const IndexSchema& index : schema.indexes) {
    std::unordered_set<std::string> keys;
    bool sound = true;
    const Tree tree(file, layout, index.root_page, index.object_id);
    const bool whole =
        tree.ForEachLeafEntry([&](const Page& page, std::size_t, const PageEntry& entry) {
          sound = page.IsIndex();
          if (sound) keys.emplace(entry.data.begin(), entry.data.end());
          return sound;
        });
    if (whole && sound) return keys;
  }
  return std::nullopt;
}

}  // namespace

Table::Table(Database& database, const TableSchema& schema)
    : database_(database), schema_(schema) {
  if (schema.long_value_root && schema.long_value_object_id) {
    long_values_ = std::make_unique<LongValues>(database.file(), database.layout(),
                                                *schema.long_value_root,
                                                *schema.long_value_object_id);
  }
}

const PageLayout& Table::page_layout() const { return database_.layout(); }

std::optional<std::size_t> Table::FindColumn(std::u16string_view name) const {
  for (std::size_t position = 0; position < schema_.columns.size(); ++position) {
    if (schema_.columns[position].name == name) return position;
  }
  return std::nullopt;
}

void Table::Locate() const {
  std::lock_guard lock(mutex_);
  // Asked during the first scan (a handler reading an earlier record again): what the scan has
  // found so far is all there is yet.
  if (located_ || scanning_) return;
  Scan({});
}

void Table::Scan(
    const std::function<bool(std::uint32_t number, const Record* record)>& visit) const {
  positions_.clear();
  recovery_ = {};
  scanning_ = true;
  bool stopped = false;
  const auto hand_on = [&](const RecordPosition& position, std::span<const std::uint8_t> data,
                           RecordFormat format) {
    const auto number = static_cast<std::uint32_t>(positions_.size());
    positions_.push_back(position);
    if (!visit) return;
    const std::optional<Record> record = Record::Parse(*this, data, format);
    if (!record) database_.file().ReportUnreadableRecord(position.page, position.entry);
    stopped = !visit(number, record ? &*record : nullptr);
  };
  const Tree tree(database_.file(), database_.layout(), schema_.root_page, schema_.object_id);
  const PageCensus* census = database_.census();
  std::optional<RecordSalvage> salvage;
  if (census != nullptr) {
    salvage.emplace(tree, *census, database_.AvailableSpaceOf(schema_.object_id));
  }
  const bool complete = tree.ForEachLeafEntry(
      [&](const Page& page, std::size_t index, const PageEntry& entry) {
        if (salvage) salvage->NoteWalkEntry(page, index, entry);
        if (!entry.deleted()) {
          hand_on({page.number(), static_cast<std::uint16_t>(index), RecordState::kLive},
                  entry.data, page.record_format());
        }
        return !stopped;
      },
      salvage ? LeafEntries::kLiveAndDeleted : LeafEntries::kLive);
  recovery_.live = positions_.size();
  if (salvage && !stopped) {
    const auto plausible = [this](std::span<const std::uint8_t> data, RecordFormat format) {
      return Record::Parse(*this, data, format).has_value();
    };
    // A damaged walk leaves it to the table's indexes to say which keys are still live.
    std::optional<std::unordered_set<std::string>> indexed;
    if (!complete) indexed = IndexedRecordKeys(database_.file(), database_.layout(), schema_);
    for (const RecordPosition& position :
         salvage->Finish(complete, plausible, recovery_, indexed ? &*indexed : nullptr)) {
      const std::optional<Page> page = tree.ReadPage(position.page);
      const std::optional<PageEntry> entry = page ? page->Entry(position.entry) : std::nullopt;
      if (!entry) continue;
      hand_on(position, entry->data, page->record_format());
      if (stopped) break;
    }
  }
  scanning_ = false;
  // Stopped early, the table is left to be found again.
  if (stopped) {
    positions_.clear();
    return;
  }
  positions_.shrink_to_fit();
  walk_complete_ = complete;
  located_ = true;
}

std::uint32_t Table::record_count() const {
  std::lock_guard lock(mutex_);
  Locate();
  return static_cast<std::uint32_t>(positions_.size());
}

bool Table::walk_complete() const {
  std::lock_guard lock(mutex_);
  Locate();
  return walk_complete_;
}

bool Table::has_been_read() const {
  std::lock_guard lock(mutex_);
  return located_;
}

RecordState Table::record_state(std::uint32_t number) const {
  std::lock_guard lock(mutex_);
  Locate();
  return number < positions_.size() ? positions_[number].state : RecordState::kLive;
}

TableRecovery Table::recovery() const {
  std::lock_guard lock(mutex_);
  Locate();
  return recovery_;
}

std::optional<RecordPosition> Table::Position(std::uint32_t number) const {
  std::lock_guard lock(mutex_);
  Locate();
  if (number >= positions_.size()) return std::nullopt;
  return positions_[number];
}

bool Table::damage_met() const {
  std::lock_guard lock(mutex_);
  return located_ && !walk_complete_;
}

std::optional<Record> Table::ReadRecord(std::uint32_t number) const {
  RecordPosition position;
  {
    std::lock_guard lock(mutex_);
    Locate();
    if (number >= positions_.size()) return std::nullopt;
    position = positions_[number];
  }
  const Tree tree(database_.file(), database_.layout(), schema_.root_page, schema_.object_id);
  std::optional<Page> page = tree.ReadPage(position.page);
  std::optional<PageEntry> entry = page ? page->Entry(position.entry) : std::nullopt;
  std::optional<Record> record =
      entry ? Record::Parse(*this, entry->data, page->record_format()) : std::nullopt;
  if (!record) database_.file().ReportUnreadableRecord(position.page, position.entry);
  return record;
}

void Table::ForEachRecord(
    const std::function<bool(std::uint32_t number, const Record* record)>& visit) const {
  std::unique_lock lock(mutex_);
  if (located_) {
    const auto count = static_cast<std::uint32_t>(positions_.size());
    lock.unlock();
    ForEachRecordBetween(0, count, visit);
    return;
  }
  // The first pass over the table finds the records and hands them on in one walk, so that
  // a scan reads each leaf once.
  Scan(visit);
}

void Table::ForEachRecordBetween(
    std::uint32_t first, std::uint32_t last,
    const std::function<bool(std::uint32_t number, const Record* record)>& visit) const {
  ForEachRecordWithStateBetween(
      first, last, [&visit](std::uint32_t number, const Record* record, RecordState) {
        return visit(number, record);
      });
}

void Table::ForEachRecordWithStateBetween(
    std::uint32_t first, std::uint32_t last,
    const std::function<bool(std::uint32_t number, const Record* record, RecordState state)>&
        visit) const {
  std::vector<RecordPosition> positions;
  {
    std::lock_guard lock(mutex_);
    Locate();
    last = std::min(last, static_cast<std::uint32_t>(positions_.size()));
    if (first >= last) return;
    positions.assign(positions_.begin() + first, positions_.begin() + last);
  }
  const Tree tree(database_.file(), database_.layout(), schema_.root_page, schema_.object_id);
  std::optional<Page> page;  // the page of the record before, most often this one's too
  for (std::uint32_t number = first; number < last; ++number) {
    const RecordPosition& position = positions[number - first];
    if (!page || page->number() != position.page) page = tree.ReadPage(position.page);
    const std::optional<PageEntry> entry = page ? page->Entry(position.entry) : std::nullopt;
    const std::optional<Record> record =
        entry ? Record::Parse(*this, entry->data, page->record_format()) : std::nullopt;
    if (!record) database_.file().ReportUnreadableRecord(position.page, position.entry);
    if (!visit(number, record ? &*record : nullptr, position.state)) return;
  }
}

Database::OpenResult Database::Open(const std::filesystem::path& path, std::size_t cache_bytes) {
  OpenResult result;
  auto opened = PageFile::OpenFile(path);
  if (!opened) {
    result.error = OpenError::kCannotOpen;
    return result;
  }
  auto& [fd, file_size] = *opened;
  const std::optional<FileHeader> header = ReadHeader(fd.get(), file_size);
  if (!header) {
    result.error = OpenError::kNotDatabase;
    return result;
  }
  std::unique_ptr<Database> database(new Database());
  database->header_ = *header;
  database->layout_ = PageLayout{header->page_size, header->format_revision};
  database->file_ =
      std::make_unique<PageFile>(std::move(fd), file_size, database->layout_, cache_bytes);
  database->catalog_ = ReadCatalog(*database->file_, database->layout_);
  for (const TableSchema& schema : database->catalog_.tables) {
    database->tables_.push_back(std::make_unique<Table>(*database, schema));
  }
  result.database = std::move(database);
  return result;
}

bool Database::TakeCensus(
    const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress) {
  std::optional<PageCensus> census = PageCensus::Take(*file_, progress);
  if (!census) return false;
  census_ = std::make_unique<PageCensus>(std::move(*census));
  catalog_ = ReadCatalog(*file_, layout_, census_.get());
  // The space of the database (pages no tree owns) and of each table and long-value tree.
  available_ = {};
  readable_spaces_.clear();
  const auto read_space = [&](std::uint32_t root_page, std::uint32_t object_id) {
    std::optional<std::vector<PageRun>> runs =
        ReadAvailableSpace(*file_, layout_, root_page, object_id);
    if (!runs) return false;
    available_.Add(*runs);
    return true;
  };
  read_space(kDatabaseRootPage, kDatabaseObjectId);
  for (const TableSchema& schema : catalog_.tables) {
    if (read_space(schema.root_page, schema.object_id)) readable_spaces_.insert(schema.object_id);
    if (schema.long_value_root && schema.long_value_object_id) {
      read_space(*schema.long_value_root, *schema.long_value_object_id);
    }
  }
  available_.Sort();
  tables_.clear();
  for (const TableSchema& schema : catalog_.tables) {
    tables_.push_back(std::make_unique<Table>(*this, schema));
  }
  return true;
}

const AvailablePages* Database::AvailableSpaceOf(std::uint32_t object_id) const {
  return census_ && readable_spaces_.contains(object_id) ? &available_ : nullptr;
}

bool Database::HasSignature(const std::filesystem::path& path) {
  auto opened = PageFile::OpenFile(path);
  return opened && ReadHeader(opened->first.get(), opened->second).has_value();
}

Table* Database::FindTable(std::u16string_view name) const {
  for (const auto& table : tables_) {
    if (table->name() == name) return table.get();
  }
  return nullptr;
}

}  // namespace tarvex::ese
