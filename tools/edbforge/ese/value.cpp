#include "tools/edbforge/ese/value.h"

namespace tarvex::edbforge {

Record::Cell& Record::CellOf(std::u16string_view column) {
  for (auto& cell : cells_) {
    if (cell.column == column) return cell;
  }
  cells_.push_back(Cell{std::u16string(column), {}});
  return cells_.back();
}

Record& Record::Set(std::u16string_view column, Value value) {
  Cell& cell = CellOf(column);
  cell.values.clear();
  cell.null = false;
  cell.values.push_back(std::move(value));
  return *this;
}

Record& Record::SetNull(std::u16string_view column) {
  Cell& cell = CellOf(column);
  cell.values.clear();
  cell.null = true;
  return *this;
}

Record& Record::Add(std::u16string_view column, Value value) {
  Cell& cell = CellOf(column);
  cell.null = false;
  cell.values.push_back(std::move(value));
  return *this;
}

}  // namespace tarvex::edbforge
