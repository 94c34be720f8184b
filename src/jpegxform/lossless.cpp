// The lossless transform driver on TurboJPEG's tjTransform, and the in-place replacement.
#include "jpegxform/lossless.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "core/byte_reader.h"
#include "core/debug.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "metadata/exif.h"

namespace qp {
namespace {

enum class CopyMarkers { None, Comments, All };

struct Request {
  int op = TJXOP_NONE;
  bool gray = false;
  bool crop = false;
  uint32_t cropWidth = 0, cropHeight = 0, cropLeft = 0, cropTop = 0;
  bool haveWidth = false, haveHeight = false;
  CopyMarkers copy = CopyMarkers::All;
};

// True when `arg` is `keyword` or an abbreviation of it at least `minChars` long.
bool KeyMatch(std::string_view arg, std::string_view keyword, size_t minChars) {
  if (arg.size() < minChars || arg.size() > keyword.size()) return false;
  for (size_t i = 0; i < arg.size(); ++i) {
    char c = arg[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != keyword[i]) return false;
  }
  return true;
}

bool ParseUnsigned(std::string_view& s, uint32_t& out) {
  if (s.empty() || s[0] < '0' || s[0] > '9') return false;
  uint64_t v = 0;
  while (!s.empty() && s[0] >= '0' && s[0] <= '9') {
    v = v * 10 + static_cast<uint64_t>(s[0] - '0');
    if (v > INT32_MAX) return false;
    s.remove_prefix(1);
  }
  out = static_cast<uint32_t>(v);
  return true;
}

// "W", "WxH", "WxH+X+Y", "+X+Y" (no negative offsets, no forced sizes).
bool ParseCropSpec(std::string_view s, Request& r) {
  r.crop = true;
  r.haveWidth = r.haveHeight = false;
  r.cropLeft = r.cropTop = 0;
  if (!s.empty() && s[0] >= '0' && s[0] <= '9') {
    if (!ParseUnsigned(s, r.cropWidth)) return false;
    r.haveWidth = true;
  }
  if (!s.empty() && (s[0] == 'x' || s[0] == 'X')) {
    s.remove_prefix(1);
    if (!ParseUnsigned(s, r.cropHeight)) return false;
    r.haveHeight = true;
  }
  if (!s.empty() && s[0] == '+') {
    s.remove_prefix(1);
    if (!ParseUnsigned(s, r.cropLeft)) return false;
    if (s.empty() || s[0] != '+') return false;
    s.remove_prefix(1);
    if (!ParseUnsigned(s, r.cropTop)) return false;
  }
  return s.empty() && ((r.haveWidth && r.cropWidth > 0) || !r.haveWidth) &&
         ((r.haveHeight && r.cropHeight > 0) || !r.haveHeight);
}

bool ParseArguments(const std::vector<std::string>& args, Request& r) {
  auto setOp = [&r](int op) {
    if (r.op == TJXOP_NONE) r.op = op;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    if (a.empty() || a[0] != '-') return false;
    a.remove_prefix(1);
    if (!a.empty() && a[0] == '-') a.remove_prefix(1);
    const bool haveValue = i + 1 < args.size();
    const std::string_view value = haveValue ? std::string_view(args[i + 1]) : std::string_view();
    if (KeyMatch(a, "rotate", 2)) {
      if (!haveValue) return false;
      ++i;
      if (value == "90") setOp(TJXOP_ROT90);
      else if (value == "180") setOp(TJXOP_ROT180);
      else if (value == "270") setOp(TJXOP_ROT270);
      else return false;
    } else if (KeyMatch(a, "flip", 1)) {
      if (!haveValue) return false;
      ++i;
      if (KeyMatch(value, "horizontal", 1)) setOp(TJXOP_HFLIP);
      else if (KeyMatch(value, "vertical", 1)) setOp(TJXOP_VFLIP);
      else return false;
    } else if (KeyMatch(a, "transpose", 1)) {
      setOp(TJXOP_TRANSPOSE);
    } else if (KeyMatch(a, "transverse", 6)) {
      setOp(TJXOP_TRANSVERSE);
    } else if (KeyMatch(a, "copy", 2)) {
      if (!haveValue) return false;
      ++i;
      if (KeyMatch(value, "none", 1)) r.copy = CopyMarkers::None;
      else if (KeyMatch(value, "comments", 1)) r.copy = CopyMarkers::Comments;
      else if (KeyMatch(value, "all", 1)) r.copy = CopyMarkers::All;
      else return false;
    } else if (KeyMatch(a, "crop", 2)) {
      if (!haveValue) return false;
      ++i;
      if (!ParseCropSpec(value, r)) return false;
    } else if (KeyMatch(a, "grayscale", 1) || KeyMatch(a, "greyscale", 1)) {
      r.gray = true;
    } else if (KeyMatch(a, "trim", 3) || KeyMatch(a, "perfect", 2)) {
      // Trim is always on; a perfect transform is never required.
    } else {
      return false;
    }
  }
  return true;
}

struct TjHandleCloser {
  void operator()(void* h) const noexcept {
    if (h) tjDestroy(h);
  }
};
struct TjBufferFree {
  void operator()(unsigned char* p) const noexcept { tjFree(p); }
};

// The COM segments (with their markers) in front of the compressed data.
std::vector<uint8_t> CommentSegments(std::span<const uint8_t> jpeg) {
  std::vector<uint8_t> out;
  ByteReader r(jpeg);
  if (!r.expect("\xFF\xD8")) return out;
  while (r.ok() && !r.atEnd()) {
    if (r.u8() != 0xFF) break;
    uint8_t marker = r.u8();
    while (marker == 0xFF && r.ok()) marker = r.u8();
    if (marker == 0xDA || marker == 0xD9 || !r.ok()) break;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    const size_t start = r.position() - 2;
    const uint16_t length = r.u16be();
    if (length < 2 || !r.skip(length - 2)) break;
    if (marker == 0xFE) {
      const auto seg = jpeg.subspan(start, length + 2u);
      out.insert(out.end(), seg.begin(), seg.end());
    }
  }
  return out;
}

// Inserts `segments` after SOI and the JFIF/Adobe headers the library wrote itself.
std::vector<uint8_t> InsertAfterHeaders(std::span<const uint8_t> jpeg,
                                        std::span<const uint8_t> segments) {
  size_t at = 2;
  while (RangeFits(at, 4, jpeg.size()) && jpeg[at] == 0xFF &&
         (jpeg[at + 1] == 0xE0 || jpeg[at + 1] == 0xEE)) {
    const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (!RangeFits(at + 2, length, jpeg.size())) break;
    at += 2 + length;
  }
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
  out.insert(out.end(), segments.begin(), segments.end());
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
  return out;
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

bool Transposes(int op) {
  return op == TJXOP_TRANSPOSE || op == TJXOP_TRANSVERSE || op == TJXOP_ROT90 ||
         op == TJXOP_ROT270;
}

// Runs the transform in memory. Nothing on a library error.
std::optional<std::vector<uint8_t>> Transform(std::span<const uint8_t> jpeg, const Request& req) {
  std::unique_ptr<void, TjHandleCloser> handle(tjInitTransform());
  if (!handle) return std::nullopt;
  auto* src = const_cast<unsigned char*>(jpeg.data());
  int width = 0, height = 0, subsamp = 0, colourspace = 0;
  if (tjDecompressHeader3(handle.get(), src, jpeg.size(), &width, &height, &subsamp,
                          &colourspace) != 0) {
    DebugLog("jpeg transform: %s", tjGetErrorStr2(handle.get()));
    return std::nullopt;
  }

  tjtransform xform;
  std::memset(&xform, 0, sizeof xform);
  xform.op = req.op;
  xform.options = TJXOPT_TRIM;
  if (req.gray) xform.options |= TJXOPT_GRAY;
  if (req.copy != CopyMarkers::All) xform.options |= TJXOPT_COPYNONE;
  if (req.crop) {
    // The library wants the corner on the block grid of the transformed picture; like
    // jpegtran, move it up and left and grow the region so the asked-for area stays inside.
    // A grey conversion keeps only the luminance, whose blocks are 8 x 8.
    int mcuW = 8, mcuH = 8;
    const bool toGray = req.gray && colourspace == TJCS_YCbCr;
    if (!toGray && subsamp >= 0 && subsamp < TJ_NUMSAMP) {
      mcuW = tjMCUWidth[subsamp];
      mcuH = tjMCUHeight[subsamp];
    }
    int outW = width, outH = height;
    if (Transposes(req.op)) {
      std::swap(mcuW, mcuH);
      std::swap(outW, outH);
    }
    const int64_t left = req.cropLeft, top = req.cropTop;
    if (left >= outW || top >= outH) return std::nullopt;
    const int64_t x = left - left % mcuW;
    const int64_t y = top - top % mcuH;
    int64_t w = req.haveWidth ? int64_t{req.cropWidth} + (left - x) : outW - x;
    int64_t h = req.haveHeight ? int64_t{req.cropHeight} + (top - y) : outH - y;
    w = std::min<int64_t>(w, outW - x);
    h = std::min<int64_t>(h, outH - y);
    xform.options |= TJXOPT_CROP;
    xform.r.x = static_cast<int>(x);
    xform.r.y = static_cast<int>(y);
    xform.r.w = static_cast<int>(w);
    xform.r.h = static_cast<int>(h);
  }

  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const int rc = tjTransform(handle.get(), src, jpeg.size(), 1, &out, &outSize, &xform, 0);
  std::unique_ptr<unsigned char, TjBufferFree> owned(out);
  if (rc != 0 || out == nullptr || outSize == 0) {
    DebugLog("jpeg transform: %s", tjGetErrorStr2(handle.get()));
    return std::nullopt;
  }
  std::span<const uint8_t> result(out, outSize);
  if (req.copy == CopyMarkers::Comments) {
    const auto comments = CommentSegments(jpeg);
    if (!comments.empty()) return InsertAfterHeaders(result, comments);
  }
  return std::vector<uint8_t>(result.begin(), result.end());
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

}  // namespace

namespace {

// Changes the transformed bytes before they are written (for example the orientation entry).
using OutputEdit = void (*)(std::vector<uint8_t>& jpeg);

int TransformFile(const std::string& source, const std::string& target,
                  const std::vector<std::string>& arguments, OutputEdit edit) {
  if (source == target) return kTransformSamePath;
  // Another name of the source file (a "./" prefix, a hard or symbolic link) would have the
  // target truncated under the source: refuse it the same way.
  struct stat src, dst;
  if (::stat(source.c_str(), &src) == 0 && ::stat(target.c_str(), &dst) == 0 &&
      src.st_dev == dst.st_dev && src.st_ino == dst.st_ino)
    return kTransformSamePath;
  Request request;
  if (!ParseArguments(arguments, request)) return kTransformLibraryError;

  const auto input = ReadWholeFile(source);
  if (!input) return kTransformSourceUnreadable;

  // Open without truncating, so a failed transform leaves an existing target as it was.
  bool created = true;
  Fd fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0 && errno == EEXIST) {
    created = false;
    fd.reset(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
  }
  if (fd.get() < 0) return kTransformTargetUnwritable;
  auto discard = [&](int code) {
    fd.reset();
    if (created) ::unlink(target.c_str());
    return code;
  };

  auto output = Transform(*input, request);
  if (!output) return discard(kTransformLibraryError);
  if (edit) edit(*output);
  if (::ftruncate(fd.get(), 0) != 0 || !WriteAll(fd.get(), *output) || !fd.close())
    return discard(kTransformTargetUnwritable);
  return kTransformOk;
}

// The picture now stands upright: every program that honours the orientation entry would
// otherwise turn it a second time.
void MarkUpright(std::vector<uint8_t>& jpeg) { ResetOrientation(jpeg); }

}  // namespace

int losslessTransform(const std::string& source, const std::string& target,
                      const std::vector<std::string>& arguments) {
  return TransformFile(source, target, arguments, nullptr);
}

std::vector<std::string> TransformArguments(int angleCode) {
  switch (angleCode) {
    case 180: return {"-rotate", "180"};
    case 270: return {"-rotate", "270"};
    case 360: return {"-copy", "none"};
    case -90: return {"-flip", "vertical"};
    case -180: return {"-flip", "horizontal"};
    default: return {"-rotate", "90"};
  }
}

std::vector<std::string> CropArguments(uint32_t width, uint32_t height, uint32_t left,
                                       uint32_t top) {
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ux%u+%u+%u", width, height, left, top);
  return {"-crop", geometry};
}

std::vector<std::string> GrayArguments() { return {"-grayscale"}; }

namespace {

bool ReplaceWithEditedTransform(const std::string& path, const std::vector<std::string>& arguments,
                                const std::string& tempSuffix, const FailureInjector& inject,
                                OutputEdit edit) {
  auto failAt = [&inject](ReplaceStep step) { return inject && inject(step); };

  // Work on the file a symbolic link points to, so the link survives.
  std::string real = path;
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    real = resolved;
    std::free(resolved);
  }
  struct stat original;
  if (::stat(real.c_str(), &original) != 0 || !S_ISREG(original.st_mode)) return false;

  const std::string temp = real + tempSuffix;
  // A leftover under the temporary name (a crashed earlier run, or a link placed there) is
  // removed first, so the result always goes into a fresh file of our own.
  ::unlink(temp.c_str());
  Fd fd;
  auto fail = [&] {
    fd.reset();
    ::unlink(temp.c_str());
    return false;
  };

  if (failAt(ReplaceStep::Transform) ||
      TransformFile(real, temp, arguments, edit) != kTransformOk)
    return fail();

  fd.reset(::open(temp.c_str(), O_RDWR | O_CLOEXEC));
  struct stat written;
  if (fd.get() < 0 || ::fstat(fd.get(), &written) != 0 || written.st_size <= 0 ||
      failAt(ReplaceStep::Measure))
    return fail();
  if (::fchmod(fd.get(), original.st_mode & 07777) != 0 || failAt(ReplaceStep::Permissions))
    return fail();
  // Linux keeps no settable creation time; access and modification times are carried over.
  const struct timespec times[2] = {original.st_atim, original.st_mtim};
  if (::futimens(fd.get(), times) != 0 || failAt(ReplaceStep::Times)) return fail();
  if (::fsync(fd.get()) != 0 || failAt(ReplaceStep::Sync)) return fail();
  if (!fd.close()) return fail();
  if (failAt(ReplaceStep::Rename) || ::rename(temp.c_str(), real.c_str()) != 0) return fail();

  // Make the rename itself durable; the replacement has happened either way.
  const std::string folder = FolderOf(real);
  Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

}  // namespace

bool ReplaceWithTransform(const std::string& path, const std::vector<std::string>& arguments,
                          const std::string& tempSuffix, const FailureInjector& inject) {
  return ReplaceWithEditedTransform(path, arguments, tempSuffix, inject, nullptr);
}

bool transformInPlace(const std::string& path, int angleCode, const FailureInjector& inject) {
  return ReplaceWithTransform(path, TransformArguments(angleCode), kTransformTempSuffix, inject);
}

bool rotateUprightInPlace(const std::string& path, int angleCode, const FailureInjector& inject) {
  return ReplaceWithEditedTransform(path, TransformArguments(angleCode), kTransformTempSuffix,
                                    inject, MarkUpright);
}

bool transformUprightInPlace(const std::string& path, const std::vector<std::string>& arguments,
                             const FailureInjector& inject) {
  return ReplaceWithEditedTransform(path, arguments, kTransformTempSuffix, inject, MarkUpright);
}

std::vector<std::string> QuarterTurnFromUprightArguments(int32_t orientation) {
  switch (orientation) {
    case 2: return {"-transverse"};
    case 3: return {"-rotate", "270"};
    case 4: return {"-transpose"};
    case 5: return {"-flip", "horizontal"};
    case 6: return {"-rotate", "180"};
    case 7: return {"-flip", "vertical"};
    case 8: return {};
    default: return {"-rotate", "90"};
  }
}

int AutoRotateAngle(int32_t orientation) {
  switch (orientation) {
    case 3: return 180;
    case 6: return 90;
    case 8: return 270;
    default: return 0;
  }
}

int AutoRotateJpeg(const std::string& path) {
  ExifInfo info;
  if (!ReadJpegMetadata(path, info) || !info.isExif) return 0;
  const int angle = AutoRotateAngle(info.orientation);
  if (angle == 0 || !rotateUprightInPlace(path, angle)) return 0;
  return angle;
}

bool IsJpegName(const std::string& path) {
  return HasExtension(path, ".jpg") || HasExtension(path, ".jpeg");
}

}  // namespace qp
