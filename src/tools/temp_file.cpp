#include "tools/temp_file.h"

#include <unistd.h>

#include <cstdlib>

#include "core/paths.h"

namespace qp {

TempFile::TempFile(std::string_view prefix, std::string_view suffix) {
  std::string pattern =
      JoinPath(TempFolder(), std::string(prefix) + "XXXXXX" + std::string(suffix));
  const int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return;
  close(fd);
  path_ = std::move(pattern);
}

void TempFile::Remove() {
  if (path_.empty()) return;
  unlink(path_.c_str());
  path_.clear();
}

}  // namespace qp
