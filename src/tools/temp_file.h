// Temporary files for the external tools: created exclusively under a unique name in the
// temporary folder, so a shared folder can neither redirect nor collide with them, and removed
// on every path out of the command.
#pragma once

#include <string>
#include <string_view>

#include "core/image_buffer.h"

namespace qp {

class TempFile {
 public:
  // "<folder>/<prefix>XXXXXX<suffix>", created empty with mode 0600; empty() when that failed.
  TempFile(std::string_view prefix, std::string_view suffix);
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool empty() const { return path_.empty(); }
  const std::string& path() const { return path_; }
  void Remove();

 private:
  std::string path_;
};

}  // namespace qp
