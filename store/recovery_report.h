#pragma once

// What an analysis read and what it could not, for the user at its end: pages read and lost,
// and per table read so far the records the tree walk found, those only the deep scan found,
// the deleted ones and the earlier versions left aside.

#include <string>

#include "ese/database.h"

namespace tarvex {

// Plain text, one line per fact, for the command line.
std::u16string RecoveryReportText(const ese::Database& database);

// The same as an HTML fragment (a heading line and a table), for the window's message page.
std::u16string RecoveryReportHtml(const ese::Database& database);

}  // namespace tarvex
