#include "codecs/avif.h"

#include <unistd.h>

#include <cstdlib>

#include "codecs/iso_media.h"
#include "codecs/png.h"
#include "core/exit_cleanup.h"
#include "core/paths.h"
#include "core/process_runner.h"

namespace qp {

namespace {

bool IsExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// Removes the temporary file on every path out of the load, and lists it for a program that
// has to end at once.
struct TempFile {
  std::string path;
  ListedTempFile listed{path};
  ~TempFile() {
    if (!path.empty()) unlink(path.c_str());
  }
};

// avifdec copies an ICC profile into the PNG's iCCP chunk, but for a picture described by
// code points ("nclx") it writes no colour chunk at all: the PNG's numbers are those of the
// file's RGB (YCbCr turned into RGB by the nclx matrix), still in the nclx primaries and
// transfer, not converted to sRGB. So the colour space comes from the file's own colour box.
ColourProfilePtr FileColour(const std::string& path) {
  const IsoColour colour = ReadIsoMediaColour(path);
  if (!colour.icc.empty()) {
    if (auto profile = ColourProfile::FromIcc(colour.icc)) return profile;
  }
  return colour.nclx ? ColourProfile::FromCicp(*colour.nclx) : nullptr;
}

}  // namespace

std::string AvifDecoderPath() {
  const std::string beside = JoinPath(ExecutableFolder(), "avifdec");
  if (!ExecutableFolder().empty() && IsExecutable(beside)) return beside;
  const char* pathVar = std::getenv("PATH");
  if (pathVar == nullptr) return {};
  std::string_view rest(pathVar);
  while (true) {
    const size_t colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    if (!dir.empty()) {
      std::string candidate = JoinPath(dir, "avifdec");
      if (IsExecutable(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return {};
}

bool avifDecoderPresent() { return !AvifDecoderPath().empty(); }

DecodeResult loadAvif(const std::string& path) {
  const std::string decoder = AvifDecoderPath();
  if (decoder.empty()) return {};
  // The name is made unique and the file created by us (exclusively), so a shared temporary
  // folder cannot redirect the decoder's output or collide with another load.
  std::string pattern = JoinPath(TempFolder(), "avifXXXXXX.png");
  const int fd = mkstemps(pattern.data(), 4);
  if (fd < 0) return {};
  close(fd);
  TempFile temp{pattern};
  ProcessRunner(std::vector<std::string>{decoder, path, temp.path});
  // avifdec writes nothing into the empty file when it fails; LoadPng then refuses it.
  DecodeResult r = LoadPng(temp.path);
  if (r && r.details.colour == nullptr) r.details.colour = FileColour(path);
  return r;
}

}  // namespace qp
