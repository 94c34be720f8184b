// The program's own GIF decoder (GIF87a and GIF89a) and frame compositing.
//
// A GIF file is a 6-byte signature ("GIF87a" or "GIF89a"), a 7-byte logical screen descriptor
// (width, height, packed flags, background index, aspect byte), an optional global colour
// table, then a stream of blocks: image descriptors (0x2C) with optional local tables and LZW
// data in sub-blocks, extensions (0x21: plain text, graphic control, comment, application) and
// the trailer (0x3B). The decoder keeps the whole file in memory and decodes one frame at a
// time; animated files are composed onto a screen-sized canvas honouring disposal methods 2
// (restore to background) and 3 (restore the previous canvas).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codecs/decode_result.h"
#include "codecs/lzw.h"
#include "core/viewer_state.h"

namespace qp {

// The graphic control extension that applies to an image.
struct GifControl {
  bool present = false;       // the image had a graphic control extension of its own
  uint8_t disposal = 0;       // 0-7; 2 restores to background, 3 restores the previous canvas
  bool userInput = false;
  bool transparency = false;  // transparentIndex is meaningful
  uint16_t delay = 0;         // hundredths of a second, as stored
  uint8_t transparentIndex = 0;
};

// The image most recently read by GifDecoder::nextFrame.
struct GifFrame {
  uint16_t left = 0, top = 0, width = 0, height = 0;
  bool localTable = false;
  bool interlace = false;
  bool sort = false;
  uint32_t paletteSize = 2;                 // entries of the local table, 2^(n+1)
  std::span<const uint8_t> palette;         // raw RGB triples of the local table
  // Colour indices in stream order: width * height of them for a frame inside the screen; for
  // one crossing the screen's edge only those the data produced up to the last row that can
  // be drawn (the rest count as index 0); none for a frame wholly outside the screen.
  std::span<const uint8_t> indices;
  GifControl control;
};

class GifDecoder {
 public:
  GifDecoder();
  ~GifDecoder();
  GifDecoder(const GifDecoder&) = delete;
  GifDecoder& operator=(const GifDecoder&) = delete;

  // Reads the file and parses the header; the first opening also counts the frames. Fails
  // when already open, when the file cannot be read or when it is not a GIF with a frame.
  bool open(const std::string& path);
  // The same over bytes already in memory (copied).
  bool openBytes(std::span<const uint8_t> bytes);
  // Back to the first frame: header parsed again, frames not counted again.
  void rewind();
  // The next frame, wrapping to the first one after the trailer; nothing on a failed frame.
  const GifFrame* nextFrame();
  void close();
  bool isOpen() const { return open_; }

  // Delay of frame i in milliseconds (at most 65535); 100 for frames without a graphic
  // control extension.
  uint16_t frameDelay(int64_t i) const;
  // Sum of all delays in milliseconds.
  uint64_t totalDuration() const;

  const char* version() const { return version_; }
  uint32_t frameCount() const { return frameCount_; }
  bool hasGlobalTable() const { return globalFlag_; }
  uint32_t globalTableSize() const { return globalFlag_ ? globalSize_ : 0; }
  int32_t colourResolution() const { return colourResolution_; }
  // Text of the last comment extension's first sub-block, or null.
  const char* comment() const { return comment_ ? comment_->c_str() : nullptr; }
  // 0 plays forever, n plays n times.
  int32_t loopCount() const { return loopCount_; }
  uint16_t screenWidth() const { return screenWidth_; }
  uint16_t screenHeight() const { return screenHeight_; }
  uint8_t backgroundIndex() const { return backgroundIndex_; }
  // Whether any graphic control of the file sets a transparent index.
  bool usesTransparency() const { return usesTransparency_; }

  // Canvas work on screen-sized BGRA blocks.
  // Draws the part of the current frame that lies on the screen; false when nothing was drawn.
  bool blit(ImageBuffer& canvas) const;
  // The background colour over the whole canvas (black without a global table). In a file
  // that uses a transparent index the alpha bytes are left unchanged (and without a global
  // table every byte becomes 0); otherwise the background is opaque.
  void fillBackground(ImageBuffer& canvas) const;
  // The background over a rectangle (clipped to the canvas), alpha as for fillBackground.
  void fillRect(ImageBuffer& canvas, int32_t left, int32_t top, int32_t width,
                int32_t height) const;

 private:
  enum class Walk { Count, Frames };
  enum class Block { Image, Trailer, OutOfData, Invalid };
  bool parseHeader();
  Block walk(Walk mode);
  bool readDescriptor();
  uint32_t countFrames();
  bool decodeImage();

  struct Source;
  std::unique_ptr<Source> src_;
  LzwDecoder lzw_;
  bool open_ = false;
  bool usesTransparency_ = false;
  char version_[4] = {0, 0, 0, 0};
  uint8_t rawGlobal_[256 * 3] = {};
  uint8_t rawLocal_[256 * 3] = {};
  size_t dataStart_ = 0;
  std::optional<std::string> comment_;
  int32_t loopCount_ = 1;
  uint32_t frameCount_ = 0;
  uint16_t screenWidth_ = 0, screenHeight_ = 0;
  std::vector<uint16_t> delays_;
  bool globalFlag_ = false;
  int32_t colourResolution_ = 0;
  bool globalSort_ = false;
  uint32_t globalSize_ = 0;
  uint8_t backgroundIndex_ = 0;
  uint8_t aspect_ = 0;
  // 256 BGRA entries (missing colours opaque black) when the file has a global table.
  std::optional<std::vector<uint32_t>> global32_;
  GifFrame frame_;
  std::vector<uint8_t> indexBlock_;
  GifControl pending_;
};

// Loads a GIF for the viewer. Without a running GIF playback: a still file, or any file with
// `animate` clear, gives a caller-owned first frame; an animated file with `animate` set starts
// a playback and gives its canvas. With a GIF playback running and `animate` set, `path` is
// ignored and the playback steps to its next frame.
DecodeResult loadGif(const std::string& path, ViewerState& state, bool animate);

// The decoder of the running GIF playback (for the properties report), or null.
const GifDecoder* RunningGifDecoder(const ViewerState& state);

}  // namespace qp
