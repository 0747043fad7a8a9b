#pragma once

// How a contact field is read from the columns that may hold it, shared by the contact page
// and the contact export. Each layout has its own list of columns for a field.

#include <array>
#include <string>
#include <string_view>

#include "output/preview_record.h"

namespace tarvex {

// How a column takes part in a field's value. Every column is read only when its table has
// it.
enum class ColumnRule {
  kUnused,
  kFirst,    // the first column of the field
  kElse,     // read only while the value is still empty
  kThen,     // replaces the value whenever the column exists, even by an empty value
  kWhenSet,  // read only when the value is not empty, and then replaces it
};

struct ColumnStep {
  ColumnRule rule = ColumnRule::kUnused;
  std::u16string_view column;
};

using ColumnSteps = std::array<ColumnStep, 8>;

constexpr ColumnStep First(std::u16string_view column) {
  return {ColumnRule::kFirst, column};
}
constexpr ColumnStep Else(std::u16string_view column) {
  return {ColumnRule::kElse, column};
}
constexpr ColumnStep Then(std::u16string_view column) {
  return {ColumnRule::kThen, column};
}
constexpr ColumnStep WhenSet(std::u16string_view column) {
  return {ColumnRule::kWhenSet, column};
}

inline std::u16string ContactFieldValue(PreviewRecord& record, const ColumnSteps& steps) {
  std::u16string value;
  for (const ColumnStep& step : steps) {
    if (step.rule == ColumnRule::kUnused || !record.Has(step.column)) continue;
    const bool read = step.rule == ColumnRule::kFirst || step.rule == ColumnRule::kThen ||
                      (step.rule == ColumnRule::kElse && value.empty()) ||
                      (step.rule == ColumnRule::kWhenSet && !value.empty());
    if (read) value = record.Value(step.column);
  }
  return value;
}

}  // namespace tarvex
