#include "support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

// Leak reports the leak checker of sanitized builds should not count, from system libraries
// that keep their state until the process ends: fontconfig its configuration and font caches
// (until FcFini, which Qt never calls; every test that lays out text would end with it), the
// HEVC encoder that writes HEIF files its tables and thread pool. Without the sanitizer nothing
// calls this.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libx265.so\n";
}

namespace qp::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qp-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

ImageBuffer MakePicture(int32_t width, int32_t height,
                        const std::function<uint32_t(int32_t, int32_t)>& f) {
  auto img = ImageBuffer::Allocate(width, height);
  if (!img) throw std::runtime_error("allocation failed");
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) StorePixel(img->pixel(x, y), f(x, y));
  return std::move(*img);
}

ImageBuffer SolidPicture(int32_t width, int32_t height, uint32_t argb) {
  return MakePicture(width, height, [argb](int32_t, int32_t) { return argb; });
}

ImageBuffer RandomPicture(int32_t width, int32_t height, uint32_t seed, bool withAlpha) {
  std::mt19937 rng(seed);
  return MakePicture(width, height, [&](int32_t, int32_t) {
    const uint32_t v = static_cast<uint32_t>(rng());
    return withAlpha ? v : (v | 0xFF000000u);
  });
}

uint32_t PixelAt(const ImageBuffer& img, int32_t x, int32_t y) { return LoadPixel(img.pixel(x, y)); }

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void PutU16le(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32le(std::vector<uint8_t>& out, uint32_t v) {
  PutU16le(out, static_cast<uint16_t>(v));
  PutU16le(out, static_cast<uint16_t>(v >> 16));
}
void PutU16be(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void PutU32be(std::vector<uint8_t>& out, uint32_t v) {
  PutU16be(out, static_cast<uint16_t>(v >> 16));
  PutU16be(out, static_cast<uint16_t>(v));
}
void PutText(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

bool HaveTool(const std::string& name) {
  return RunShell("command -v " + ShellQuote(name) + " >/dev/null 2>&1") == 0;
}

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string TestDataDir() { return QP_TESTDATA_DIR; }
std::string BinDir() { return QP_BIN_DIR; }

}  // namespace qp::test
