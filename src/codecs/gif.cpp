#include "codecs/gif.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>

#include "codecs/lzw.h"
#include "core/byte_reader.h"
#include "core/file_io.h"

namespace qp {

namespace {

// Rows of an interlaced image arrive in four passes: every 8th row from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1. Maps the stream row r to its picture row.
int32_t InterlacedRow(int32_t r, int32_t height) {
  const int32_t pass1 = (height + 7) / 8;
  if (r < pass1) return r * 8;
  r -= pass1;
  const int32_t pass2 = (height + 3) / 8;
  if (r < pass2) return 4 + r * 8;
  r -= pass2;
  const int32_t pass3 = (height + 1) / 4;
  if (r < pass3) return 2 + r * 4;
  r -= pass3;
  return 1 + r * 2;
}

// The stream row that carries picture row y of an interlaced image (the inverse of the above).
int32_t InterlacedStreamRow(int32_t y, int32_t height) {
  const int32_t pass1 = (height + 7) / 8, pass2 = (height + 3) / 8, pass3 = (height + 1) / 4;
  if (y % 8 == 0) return y / 8;
  if (y % 8 == 4) return pass1 + y / 8;
  if (y % 4 == 2) return pass1 + pass2 + y / 4;
  return pass1 + pass2 + pass3 + y / 2;
}

}  // namespace

// The file in memory, read through the bounded reader. Reads never touch memory outside the
// block: a byte read at the end yields 0, a short multi-byte read yields zeros, and a skip past
// the end leaves the source "outside", where every further read yields 0.
struct GifDecoder::Source {
  explicit Source(std::vector<uint8_t> b) : bytes(std::move(b)), reader(bytes) {}

  bool inside() const { return !past && !reader.atEnd(); }
  bool atEnd() const { return !inside(); }
  size_t tell() const { return reader.position(); }
  void seek(size_t offset) {
    reader = ByteReader(bytes);
    past = !reader.seek(offset);
  }
  uint8_t byte() { return inside() ? reader.u8() : 0; }
  uint16_t u16() {
    if (past || reader.remaining() < 2) return 0;
    return reader.u16le();
  }
  // Copies n bytes; when fewer remain the destination gets n zeros and nothing is consumed.
  bool read(uint8_t* dst, size_t n) {
    if (past || reader.remaining() < n) {
      std::memset(dst, 0, n);
      return false;
    }
    std::memcpy(dst, reader.bytes(n).data(), n);
    return true;
  }
  void skip(size_t n) {
    if (past) return;
    if (n > reader.remaining()) {
      past = true;
      return;
    }
    reader.skip(n);
  }
  // The next n bytes, or nothing when the file ends first.
  std::optional<std::span<const uint8_t>> block(size_t n) {
    if (past || reader.remaining() < n) return std::nullopt;
    return reader.bytes(n);
  }
  // Skips data sub-blocks up to and including their zero-size terminator.
  void skipSubBlocks() {
    for (;;) {
      const uint8_t size = byte();
      if (size == 0 || atEnd()) return;
      skip(size);
    }
  }
  // Skips the sub-blocks of image data as the decoder would read them: false when the file
  // ends before their terminator.
  bool skipImageData() {
    for (;;) {
      if (atEnd()) return false;
      const uint8_t size = byte();
      if (size == 0) return true;
      skip(size);
    }
  }

  std::vector<uint8_t> bytes;
  ByteReader reader;
  bool past = false;
};

GifDecoder::GifDecoder() = default;
GifDecoder::~GifDecoder() { close(); }

bool GifDecoder::open(const std::string& path) {
  if (open_) return false;
  auto bytes = ReadWholeFile(path);
  if (!bytes) return false;
  return openBytes(*bytes);
}

bool GifDecoder::openBytes(std::span<const uint8_t> bytes) {
  if (open_) return false;
  try {
    src_ = std::make_unique<Source>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    if (!parseHeader()) {
      src_.reset();
      return false;
    }
    if (frameCount_ == 0) frameCount_ = countFrames();
  } catch (const std::bad_alloc&) {
    src_.reset();
    return false;
  }
  if (frameCount_ == 0) {
    src_.reset();
    return false;
  }
  open_ = true;
  return true;
}

bool GifDecoder::parseHeader() {
  Source& s = *src_;
  s.seek(0);
  uint8_t sig[3];
  s.read(sig, 3);
  if (std::memcmp(sig, "GIF", 3) != 0) return false;
  uint8_t ver[3];
  s.read(ver, 3);
  if (std::memcmp(ver, "89a", 3) != 0 && std::memcmp(ver, "87a", 3) != 0) return false;
  std::memcpy(version_, ver, 3);
  version_[3] = 0;

  // Logical screen descriptor.
  screenWidth_ = s.u16();
  screenHeight_ = s.u16();
  if (!s.inside()) return false;
  const uint8_t packed = s.byte();
  globalFlag_ = (packed & 0x80) != 0;
  colourResolution_ = ((packed >> 4) & 7) + 1;
  globalSort_ = globalFlag_ && (packed & 0x08) != 0;
  globalSize_ = globalFlag_ ? 2u << (packed & 7) : 0;
  backgroundIndex_ = s.byte();
  aspect_ = s.byte();
  if (!s.inside()) return false;

  if (globalFlag_) {
    s.read(rawGlobal_, globalSize_ * 3);
    std::vector<uint32_t> table(256, 0xFF000000u);
    for (uint32_t i = 0; i < globalSize_; ++i) {
      const uint8_t* rgb = rawGlobal_ + i * 3;
      table[i] = 0xFF000000u | uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
    }
    global32_ = std::move(table);
  } else {
    global32_.reset();
  }
  dataStart_ = s.tell();
  return true;
}

// The one walker of the block stream, used by the counting pass and by frame reading. Reads
// blocks until an image descriptor (the reader then stands just after its 0x2C), the trailer,
// the end of the data, or a block that ends the walk. Extensions are parsed here: in the
// counting pass graphic controls give the delays and whether the file uses a transparent
// index, comments and the loop count are kept and a stray byte is skipped by its own value;
// in frame reading a graphic control becomes the pending control and only the stray bytes
// 0x41, 0xA0 and 0xFF are skipped that way.
GifDecoder::Block GifDecoder::walk(Walk mode) {
  Source& s = *src_;
  const bool counting = mode == Walk::Count;
  while (!s.atEnd()) {
    const uint8_t b = s.byte();
    if (b == 0x3B) return Block::Trailer;
    if (b == 0x2C) return Block::Image;
    if (b == 0x00) continue;
    if (b != 0x21) {
      if (counting || b == 0x41 || b == 0xA0 || b == 0xFF) {
        s.skip(b);
        continue;
      }
      return Block::Invalid;
    }
    const uint8_t label = s.byte();
    switch (label) {
      case 0x01:  // plain text
        s.skipSubBlocks();
        break;
      case 0xF9:  // graphic control
        for (;;) {
          const uint8_t size = s.byte();
          if (size == 0) break;
          if (size != 4) {
            s.skip(size);
            continue;
          }
          const uint8_t packed = s.byte();
          const uint16_t delay = s.u16();
          const uint8_t index = s.byte();
          if (counting) {
            // Delays below 2 hundredths are shown as 100 ms, as browsers do; the longest delay
            // a 16-bit millisecond count holds stands for anything longer.
            const uint32_t ms = uint32_t{delay < 2 ? uint16_t{10} : delay} * 10;
            delays_.push_back(static_cast<uint16_t>(std::min<uint32_t>(ms, 65535)));
            if (packed & 1) usesTransparency_ = true;
          } else {
            pending_.present = true;
            pending_.disposal = (packed >> 2) & 7;
            pending_.userInput = (packed & 2) != 0;
            pending_.transparency = (packed & 1) != 0;
            pending_.delay = delay;
            pending_.transparentIndex = index;
          }
        }
        break;
      case 0xFE: {  // comment: the first sub-block of the last comment counts
        const uint8_t size = s.byte();
        if (size > 0) {
          std::string text(size, '\0');
          s.read(reinterpret_cast<uint8_t*>(text.data()), size);
          if (counting) comment_ = std::move(text);
          s.skipSubBlocks();
        }
        break;
      }
      case 0xFF: {  // application; a 3-byte sub-block with id 1 holds the loop count
        const uint8_t b0 = s.byte();
        if (b0 == 0) break;
        s.skip(b0);
        const uint8_t c = s.byte();
        if (c == 0) break;  // the identifier block was the only one
        if (b0 == 11 && c == 3) {
          const uint8_t id = s.byte();
          const uint16_t loops = s.u16();
          if (counting && id == 1) loopCount_ = loops > 0 ? int32_t{loops} + 1 : 0;
        } else {
          s.skip(c);
        }
        s.skipSubBlocks();
        break;
      }
      default:
        return Block::Invalid;
    }
  }
  return Block::OutOfData;
}

// Reads an image descriptor and its local table (the reader after its 0x2C) into frame_.
bool GifDecoder::readDescriptor() {
  Source& s = *src_;
  frame_.left = s.u16();
  frame_.top = s.u16();
  frame_.width = s.u16();
  frame_.height = s.u16();
  const uint8_t packed = s.byte();
  frame_.localTable = (packed & 0x80) != 0;
  frame_.interlace = (packed & 0x40) != 0;
  frame_.sort = (packed & 0x20) != 0;
  frame_.paletteSize = 2u << (packed & 7);
  // A local table cut by the end of the file fails the descriptor.
  if (frame_.localTable && !s.read(rawLocal_, frame_.paletteSize * 3)) s.skip(SIZE_MAX);
  frame_.palette = std::span<const uint8_t>(rawLocal_, frame_.paletteSize * 3);
  return s.inside();
}

// Counts the image descriptors once, collecting the delays, the loop count and the comment
// on the way. Returns to the data start afterwards.
uint32_t GifDecoder::countFrames() {
  Source& s = *src_;
  const size_t start = s.tell();
  uint32_t count = 0;
  bool rejected = false;
  for (;;) {
    const Block b = walk(Walk::Count);
    if (b == Block::Invalid) rejected = true;
    if (b != Block::Image) break;
    ++count;
    if (!readDescriptor()) {
      rejected = true;
      break;
    }
    s.byte();  // LZW minimum code size
    s.skipSubBlocks();
  }
  frame_ = GifFrame{};
  s.seek(start);
  return rejected ? 0 : count;
}

void GifDecoder::rewind() {
  if (!open_) return;
  frame_ = GifFrame{};
  // Every pass starts from the same state, so the first frame looks the same on each loop.
  pending_ = GifControl{};
  parseHeader();
}

void GifDecoder::close() {
  if (!open_) return;
  open_ = false;
  frame_ = GifFrame{};
  indexBlock_ = std::vector<uint8_t>();
  src_.reset();
}

uint16_t GifDecoder::frameDelay(int64_t i) const {
  if (i < 0 || i >= static_cast<int64_t>(delays_.size())) return 100;
  return delays_[static_cast<size_t>(i)];
}

uint64_t GifDecoder::totalDuration() const {
  uint64_t sum = 0;
  for (uint16_t d : delays_) sum += d;
  return sum;
}

const GifFrame* GifDecoder::nextFrame() {
  if (!open_) return nullptr;
  Source& s = *src_;
  frame_ = GifFrame{};
  bool wrapped = false;  // one return to the start per call, so a stream without images ends
  for (;;) {
    const Block b = walk(Walk::Frames);
    if (b == Block::Invalid) return nullptr;
    if (b != Block::Image) {
      // A file without its trailer wraps like one with it.
      if (wrapped) return nullptr;
      wrapped = true;
      s.seek(dataStart_);
      continue;
    }
    if (!readDescriptor()) {
      frame_ = GifFrame{};
      return nullptr;
    }
    if (frame_.left >= screenWidth_ || frame_.top >= screenHeight_) {
      // A frame wholly outside the logical screen is never drawn, so its data is stepped over
      // rather than decoded. Its graphic control still counts.
      s.byte();  // LZW minimum code size
      if (!s.skipImageData()) {  // the file ends inside the image data
        frame_ = GifFrame{};
        return nullptr;
      }
    } else if (!decodeImage()) {
      frame_ = GifFrame{};
      return nullptr;
    }
    frame_.control = pending_;
    // Transparency and disposal stay pending for following images without a control block
    // of their own; only the "present" mark is consumed.
    pending_.present = false;
    return &frame_;
  }
}

// Decodes the LZW data of the current image into the index block. A frame that crosses the
// screen's edge keeps only what can be drawn: the stream rows after the last one that holds a
// row on the screen are not needed, so decoding stops before them.
bool GifDecoder::decodeImage() {
  Source& s = *src_;
  const uint64_t count = uint64_t{frame_.width} * frame_.height;
  const bool crossing = uint32_t{frame_.left} + frame_.width > screenWidth_ ||
                        uint32_t{frame_.top} + frame_.height > screenHeight_;
  uint64_t keep = count;
  if (crossing && frame_.height > 0) {
    const int32_t visible = std::min<int32_t>(frame_.height, screenHeight_ - frame_.top);
    int32_t rows = visible;
    if (frame_.interlace) {
      // Within each pass the stream row grows with the picture row, so the last stream row
      // needed belongs to one of the last eight visible rows.
      rows = 0;
      for (int32_t y = std::max(0, visible - 8); y < visible; ++y)
        rows = std::max(rows, InterlacedStreamRow(y, frame_.height) + 1);
    }
    keep = uint64_t(rows) * frame_.width;
  }
  const uint8_t minCodeSize = s.byte();
  if (keep > static_cast<uint64_t>(kMaxPixels) || minCodeSize > 11) {
    s.skipSubBlocks();
    return false;
  }
  auto next = [&s](std::span<const uint8_t>& block) {
    if (s.atEnd()) return SubBlock::Cut;  // the file ends inside the image data
    const uint8_t size = s.byte();
    if (size == 0) return SubBlock::Terminator;
    auto span = s.block(size);
    // A sub-block that is cut short, or that ends the file so that its terminator is missing,
    // means the file was cut inside the image data.
    if (!span || s.atEnd()) return SubBlock::Cut;
    block = *span;
    return SubBlock::Data;
  };
  LzwDecoder::Outcome r;
  try {
    r = lzw_.decode(minCodeSize, static_cast<size_t>(count), static_cast<size_t>(keep), next,
                    indexBlock_);
  } catch (const std::bad_alloc&) {
    r.status = LzwDecoder::Status::Corrupt;
  }
  // Leave the reader after this image's data so the next block can be found.
  if (!r.terminatorRead && !s.atEnd()) s.skipSubBlocks();
  if (r.status != LzwDecoder::Status::Complete) return false;
  size_t n = r.produced;
  if (!crossing) {
    // Indices the data never reached are 0.
    n = static_cast<size_t>(count);
    try {
      if (indexBlock_.size() < n) indexBlock_.resize(n);
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (r.produced < n) std::memset(indexBlock_.data() + r.produced, 0, n - r.produced);
  }
  frame_.indices = std::span<const uint8_t>(indexBlock_.data(), n);
  return true;
}

bool GifDecoder::blit(ImageBuffer& canvas) const {
  const GifFrame& f = frame_;
  if (f.left >= screenWidth_ || f.top >= screenHeight_) return false;
  if (canvas.width() != screenWidth_ || canvas.height() != screenHeight_) return false;
  if (f.indices.size() > size_t{f.width} * f.height) return false;

  // 256 entries so that any index is safe; colours beyond the palette are opaque black.
  uint8_t palette[256][4];
  for (auto& p : palette) p[0] = p[1] = p[2] = 0, p[3] = 255;
  if (f.localTable) {
    for (uint32_t i = 0; i < f.paletteSize; ++i) {
      palette[i][0] = rawLocal_[i * 3 + 2];
      palette[i][1] = rawLocal_[i * 3 + 1];
      palette[i][2] = rawLocal_[i * 3];
    }
  } else if (global32_) {
    for (int i = 0; i < 256; ++i) StorePixel(palette[i], (*global32_)[static_cast<size_t>(i)]);
  }
  const int transparent = f.control.transparency ? f.control.transparentIndex : -1;

  // Only the part on the screen is drawn; indices the data never reached are 0.
  const int32_t visibleWidth = std::min<int32_t>(f.width, screenWidth_ - f.left);
  const size_t have = f.indices.size();
  for (int32_t r = 0; r < f.height; ++r) {
    const int32_t y = f.interlace ? InterlacedRow(r, f.height) : r;
    if (int32_t{f.top} + y >= screenHeight_) continue;
    const size_t rowAt = static_cast<size_t>(r) * f.width;
    uint8_t* dst = canvas.pixel(f.left, f.top + y);
    for (int32_t x = 0; x < visibleWidth; ++x) {
      const size_t i = rowAt + static_cast<size_t>(x);
      const uint8_t index = i < have ? f.indices[i] : 0;
      if (index == transparent)
        dst[x * 4 + 3] = 0;  // colour bytes keep what was there
      else
        std::memcpy(dst + x * 4, palette[index], 4);
    }
  }
  return true;
}

void GifDecoder::fillBackground(ImageBuffer& canvas) const {
  if (canvas.empty()) return;
  if (!global32_ && usesTransparency_) {
    std::memset(canvas.data(), 0, canvas.byteSize());
    return;
  }
  fillRect(canvas, 0, 0, canvas.width(), canvas.height());
}

void GifDecoder::fillRect(ImageBuffer& canvas, int32_t left, int32_t top, int32_t width,
                          int32_t height) const {
  if (canvas.empty()) return;
  const int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
  const int64_t x1 = std::min<int64_t>(int64_t{left} + width, canvas.width());
  const int64_t y1 = std::min<int64_t>(int64_t{top} + height, canvas.height());
  uint8_t bgr[4] = {0, 0, 0, 0};
  if (global32_) StorePixel(bgr, (*global32_)[backgroundIndex_]);
  // In a file without a transparent index the background is opaque; otherwise the alpha of
  // uncovered areas is left as it is.
  const bool opaque = !usesTransparency_;
  for (int64_t y = y0; y < y1; ++y) {
    uint8_t* p = canvas.pixel(static_cast<int32_t>(x0), static_cast<int32_t>(y));
    for (int64_t x = x0; x < x1; ++x, p += 4) {
      p[0] = bgr[0];
      p[1] = bgr[1];
      p[2] = bgr[2];
      if (opaque) p[3] = 255;
    }
  }
}

namespace {

// A running GIF animation: the open decoder and the disposal state between frames.
class GifPlayback final : public Playback {
 public:
  explicit GifPlayback(std::unique_ptr<GifDecoder> d) : decoder(std::move(d)) {}
  PlaybackKind kind() const override { return PlaybackKind::Gif; }
  bool Step(ViewerState& state) override;
  uint16_t FrameDelay(int32_t index) const override { return decoder->frameDelay(index); }
  int32_t LoopLimit() const override { return decoder->loopCount(); }

  std::unique_ptr<GifDecoder> decoder;
  ImageBuffer saved;  // the canvas before the last frame with disposal 3
  int lastDisposal = 0;
  int32_t disposeLeft = 0, disposeTop = 0, disposeWidth = 0, disposeHeight = 0;
};

bool GifPlayback::Step(ViewerState& state) {
  ImageBuffer& canvas = state.animationCanvas;
  const int32_t frames = state.frameCount;
  int32_t index = state.frameIndex + 1;
  if (index >= frames) {
    index = 0;
    lastDisposal = 0;
    decoder->rewind();
  }
  state.frameIndex = index;

  const GifFrame* f = nullptr;
  try {
    f = decoder->nextFrame();
  } catch (const std::bad_alloc&) {
    f = nullptr;
  }
  if (f) {
    if (index == 0) {
      decoder->fillBackground(canvas);
    } else if (lastDisposal == 2) {
      if (disposeWidth == canvas.width() && disposeHeight == canvas.height())
        decoder->fillBackground(canvas);
      else
        decoder->fillRect(canvas, disposeLeft, disposeTop, disposeWidth, disposeHeight);
    } else if (lastDisposal == 3 && !saved.empty()) {
      std::memcpy(canvas.data(), saved.data(), canvas.byteSize());
    }
    if (f->control.present) {
      lastDisposal = f->control.disposal;
      if (lastDisposal == 2) {
        disposeLeft = f->left;
        disposeTop = f->top;
        disposeWidth = f->width;
        disposeHeight = f->height;
      } else if (lastDisposal == 3) {
        if (saved.empty()) {
          if (auto block = ImageBuffer::Allocate(canvas.width(), canvas.height()))
            saved = std::move(*block);
        }
        if (!saved.empty()) std::memcpy(saved.data(), canvas.data(), canvas.byteSize());
      }
    } else {
      lastDisposal = 0;
    }
    decoder->blit(canvas);
  }
  if (index >= frames - 1) decoder->rewind();
  return f != nullptr;
}

DecodeDetails DetailsOf(const GifDecoder& d) {
  DecodeDetails details;
  details.format = DecodeDetails::Format::Gif;
  std::memcpy(details.gifVersion, d.version(), sizeof details.gifVersion);
  details.gifBitDepth = d.colourResolution();
  details.detailsValid = true;
  return details;
}

DecodeResult LoadGifImpl(const std::string& path, ViewerState& state, bool animate) {
  if (animate && state.gifAnimated && state.playback &&
      state.playback->kind() == PlaybackKind::Gif) {
    std::lock_guard guard(state.lock);
    if (auto view = state.StepPlayback()) return DecodeResult::Canvas(*view);
    // A frame that failed leaves the canvas as it was; the playback goes on.
    if (state.animating && !state.animationCanvas.empty())
      return DecodeResult::Canvas(PixelView{state.animationCanvas.data(),
                                            state.animationCanvas.width(),
                                            state.animationCanvas.height()});
    return {};
  }

  auto decoder = std::make_unique<GifDecoder>();
  DecodeDetails details;
  {
    std::unique_lock guard(state.lock);
    if (!decoder->open(path)) return {};
    details = DetailsOf(*decoder);
    if (animate && decoder->frameCount() > 1) {
      const int32_t frames = static_cast<int32_t>(std::min<uint32_t>(decoder->frameCount(), INT32_MAX));
      auto canvas = ImageBuffer::Filled(decoder->screenWidth(), decoder->screenHeight(), 0);
      if (!canvas) return DecodeResult::Failed(details);
      state.StartPlayback(std::make_unique<GifPlayback>(std::move(decoder)), std::move(*canvas),
                          frames);
      state.frameIndex = -1;
      if (auto view = state.StepPlayback()) return DecodeResult::Canvas(*view).with(details);
      // Not even the first frame could be read: no picture, so the fall-backs may try.
      state.StopPlayback();
      return DecodeResult::Failed(details);
    }
  }

  const GifFrame* f = decoder->nextFrame();
  if (!f) return DecodeResult::Failed(details);
  auto canvas = ImageBuffer::Filled(decoder->screenWidth(), decoder->screenHeight(), 0);
  if (!canvas) return DecodeResult::Failed(details);
  const bool coversScreen = f->left == 0 && f->top == 0 && f->width == decoder->screenWidth() &&
                            f->height == decoder->screenHeight();
  if (f->control.transparency) {
    for (size_t i = 0; i < canvas->pixelCount(); ++i) {
      uint8_t* p = canvas->data() + i * 4;
      p[0] = p[1] = p[2] = 255;
    }
  } else if (!coversScreen) {
    decoder->fillBackground(*canvas);
  }
  decoder->blit(*canvas);
  // Transparent where the frame says so, or where it leaves the screen uncovered in a file
  // that uses a transparent index.
  details.hasAlpha =
      f->control.transparency || (!coversScreen && decoder->usesTransparency());
  return DecodeResult(std::move(*canvas)).with(details);
}

}  // namespace

DecodeResult loadGif(const std::string& path, ViewerState& state, bool animate) {
  try {
    return LoadGifImpl(path, state, animate);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

const GifDecoder* RunningGifDecoder(const ViewerState& state) {
  if (!state.playback || state.playback->kind() != PlaybackKind::Gif) return nullptr;
  return static_cast<const GifPlayback*>(state.playback.get())->decoder.get();
}

}  // namespace qp
