// File-dialog filters in the "Desc|*.a;*.b|...||" form turned into name filters of the form
// "Desc (*.a *.b)" that a toolkit's file dialog takes, one per entry, in the same order, so
// that a 1-based entry number means the same in both.
#pragma once

#include <string>
#include <vector>

namespace qp {

// A description that already ends in a parenthesised pattern list has it replaced by the
// entry's patterns; "*.*" (every file, with or without a dot) becomes "*".
std::vector<std::string> ToNameFilters(const std::string& filter);

}  // namespace qp
