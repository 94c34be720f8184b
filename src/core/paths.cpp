#include "core/paths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace qp {

std::string FolderOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string FileNameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtensionOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < start) return {};
  return std::string(path.substr(dot));
}

std::string WithoutExtension(std::string_view path) {
  const size_t extLen = ExtensionOf(path).size();
  return std::string(path.substr(0, path.size() - extLen));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool HasExtension(std::string_view path, std::string_view ext) {
  return EqualsIgnoreCase(ExtensionOf(path), ext);
}

std::string TempFolder() {
  for (const char* name : {"TMP_TRACE", "TMPDIR"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  return "/tmp";
}

std::string ExecutableFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return FolderOf(std::string_view(buf, static_cast<size_t>(n)));
}

}  // namespace qp
