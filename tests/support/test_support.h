// Shared helpers for the tests: temporary folders, picture builders, byte files, tools.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/image_buffer.h"

namespace qp::test {

// A fresh folder under the system temporary folder, removed with everything in it at the end
// of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path()/name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// A width x height picture whose pixels come from f(x, y) -> 0xAARRGGBB.
ImageBuffer MakePicture(int32_t width, int32_t height,
                        const std::function<uint32_t(int32_t x, int32_t y)>& f);
// A picture filled with one 0xAARRGGBB value.
ImageBuffer SolidPicture(int32_t width, int32_t height, uint32_t argb);
// A deterministic pseudo-random picture (opaque unless withAlpha).
ImageBuffer RandomPicture(int32_t width, int32_t height, uint32_t seed, bool withAlpha = false);
// The pixel word at (x, y).
uint32_t PixelAt(const ImageBuffer& img, int32_t x, int32_t y);

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
// Little-endian field builders for hand-made files.
void PutU16le(std::vector<uint8_t>& out, uint16_t v);
void PutU32le(std::vector<uint8_t>& out, uint32_t v);
void PutU16be(std::vector<uint8_t>& out, uint16_t v);
void PutU32be(std::vector<uint8_t>& out, uint32_t v);
void PutText(std::vector<uint8_t>& out, const std::string& text);

// True when an executable of that name is on PATH.
bool HaveTool(const std::string& name);
// Runs a shell command; its exit status.
int RunShell(const std::string& command);
// Quotes a path for the shell.
std::string ShellQuote(const std::string& text);

// Where the shared test data lives (PngSuite and friends).
std::string TestDataDir();
// Where the built program and its components live.
std::string BinDir();

}  // namespace qp::test
