#pragma once

// A list that puts every new record at its front and is read front to back, newest first.
// Stored oldest first underneath, so that putting a record at the front is cheap.

#include <cstddef>
#include <utility>
#include <vector>

namespace tarvex {

template <typename Record>
class NewestFirstList {
 public:
  void PutAtFront(Record record) { records_.push_back(std::move(record)); }
  void Clear() { records_.clear(); }

  bool empty() const { return records_.empty(); }
  std::size_t size() const { return records_.size(); }

  // Front to back: the newest record first.
  auto begin() const { return records_.rbegin(); }
  auto end() const { return records_.rend(); }

  // Position 0 is the front (newest); the last position is the oldest record.
  const Record& at(std::size_t position) const { return records_[records_.size() - 1 - position]; }

  // The records oldest first, in the order they were put in.
  const std::vector<Record>& oldest_first() const { return records_; }

 private:
  std::vector<Record> records_;
};

}  // namespace tarvex
