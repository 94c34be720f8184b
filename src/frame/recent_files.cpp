#include "frame/recent_files.h"

#include <algorithm>
#include <cstdio>

#include "platform/ports.h"

namespace qp {

namespace {

std::string EntryName(int n) { return "File" + std::to_string(n); }

}  // namespace

void RecentFileList::Load() {
  entries_.clear();
  for (int n = 1; n <= size_; ++n) {
    auto value = backend_.getText(EntryName(n));
    if (!value || value->empty()) continue;
    if (std::find(entries_.begin(), entries_.end(), *value) == entries_.end())
      entries_.push_back(*value);
  }
}

void RecentFileList::Save() {
  // The group is replaced whole, so that no entry of a longer, older list survives: one write
  // of the store.
  pending_ = false;
  std::vector<std::pair<std::string, std::string>> values;
  values.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i)
    values.emplace_back(EntryName(static_cast<int>(i) + 1), entries_[i]);
  backend_.replaceGroup(kRecentFileGroup, values);
}

void RecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  // Paths are compared exactly: this file system tells "a.jpg" and "A.jpg" apart.
  std::erase(entries_, path);
  entries_.insert(entries_.begin(), path);
  if (entries_.size() > static_cast<size_t>(size_)) entries_.resize(static_cast<size_t>(size_));
  if (!defer_) {
    Save();
  } else if (!pending_) {
    pending_ = true;
    defer_([this] { SaveIfPending(); });
  }
}

void RecentFileList::Remove(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  entries_.erase(entries_.begin() + index);
  Save();
}

std::string RecentFileList::MenuText(int index) const {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return {};
  const std::string shortened = AbbreviatePath(entries_[index], kRecentDisplayLength);
  std::string text = "&" + std::to_string(index + 1) + " ";
  for (char c : shortened) {
    text += c;
    if (c == '&') text += '&';
  }
  return text;
}

std::string AbbreviatePath(const std::string& path, size_t maxLength) {
  if (path.size() <= maxLength) return path;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  const std::string name = path.substr(slash + 1);
  const std::string lead = path[0] == '/' ? "/..." : "...";
  // Drop leading folders one at a time until the rest fits after the lead.
  size_t cut = path[0] == '/' ? path.find('/', 1) : path.find('/');
  while (cut != std::string::npos && cut < slash) {
    if (lead.size() + (path.size() - cut) <= maxLength) return lead + path.substr(cut);
    cut = path.find('/', cut + 1);
  }
  if (lead.size() + 1 + name.size() <= maxLength) return lead + "/" + name;
  return name;
}

void ClearRecentFiles(RecentFileList& recent, MessageBoxPort& messages) {
  recent.Save();
  if (!recent.DeleteStored())
    messages.Show(kRecentClearFailed, MessageIcon::Error);
  recent.Reset();
  recent.Load();
}

}  // namespace qp
