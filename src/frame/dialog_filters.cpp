#include "frame/dialog_filters.h"

namespace qp {

std::vector<std::string> ToNameFilters(const std::string& filter) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t bar = filter.find('|', start);
    if (bar == std::string::npos) {
      if (start < filter.size()) items.push_back(filter.substr(start));
      break;
    }
    items.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::string> out;
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    std::string description = items[i];
    if (description.empty()) break;  // the closing "||"
    std::string patterns;
    size_t at = 0;
    const std::string& list = items[i + 1];
    while (at <= list.size()) {
      size_t end = list.find(';', at);
      if (end == std::string::npos) end = list.size();
      std::string pattern = list.substr(at, end - at);
      if (pattern == "*.*") pattern = "*";
      if (!pattern.empty()) patterns += (patterns.empty() ? "" : " ") + pattern;
      at = end + 1;
    }
    if (description.ends_with(")")) {
      const size_t open = description.rfind(" (");
      if (open != std::string::npos) description.erase(open);
    }
    out.push_back(description + " (" + patterns + ")");
  }
  return out;
}

}  // namespace qp
