#include "codecs/runtime_library.h"

#include "core/paths.h"

namespace qp {

RuntimeLibrary OpenComponentLibrary(const std::string& fileName) {
  const std::string folder = ExecutableFolder();
  if (!folder.empty()) {
    RuntimeLibrary beside(JoinPath(folder, fileName));
    if (beside) return beside;
  }
  return RuntimeLibrary(fileName);
}

}  // namespace qp
