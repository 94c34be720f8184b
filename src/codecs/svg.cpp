// SVG documents are parsed by librsvg and drawn by cairo into a block pre-filled with opaque
// white. cairo's ARGB32 format is a native-endian 0xAARRGGBB word, which on little-endian
// machines is blue, green, red, alpha in memory: the picture's own layout. Over an opaque
// background premultiplied and straight alpha agree, so no conversion pass is needed.
//
// SVGZ is gzip: the last four bytes (ISIZE) give the inflated length modulo 2^32.
#include "codecs/svg.h"

#include <cairo.h>
#include <librsvg/rsvg.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

#include "codecs/runtime_library.h"
#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/image_buffer.h"

namespace qp {

namespace {

constexpr double kDpi = 96.0;
// cairo refuses image surfaces with a side above 32767; larger pictures are drawn in tiles.
constexpr int32_t kTile = 16384;
// Plain SVG files larger than this are not read.
constexpr uint64_t kMaxSvgFile = uint64_t{256} << 20;

// librsvg is opened when the first SVG file is read, not when the program starts: it brings
// cairo, pango and the font libraries along, milliseconds the first picture would wait for.
// Its handle also finds the cairo and GLib functions, which are among its dependencies.
struct RsvgApi {
  RuntimeLibrary library{"librsvg-2.so.2"};
  bool found = static_cast<bool>(library);
  RuntimeFunction<decltype(&::cairo_create)> cairo_create{library, "cairo_create", found};
  RuntimeFunction<decltype(&::cairo_destroy)> cairo_destroy{library, "cairo_destroy", found};
  RuntimeFunction<decltype(&::cairo_image_surface_create_for_data)>
      cairo_image_surface_create_for_data{library, "cairo_image_surface_create_for_data", found};
  RuntimeFunction<decltype(&::cairo_scale)> cairo_scale{library, "cairo_scale", found};
  RuntimeFunction<decltype(&::cairo_status)> cairo_status{library, "cairo_status", found};
  RuntimeFunction<decltype(&::cairo_surface_destroy)> cairo_surface_destroy{
      library, "cairo_surface_destroy", found};
  RuntimeFunction<decltype(&::cairo_surface_flush)> cairo_surface_flush{
      library, "cairo_surface_flush", found};
  RuntimeFunction<decltype(&::cairo_translate)> cairo_translate{library, "cairo_translate", found};
  RuntimeFunction<decltype(&::g_error_free)> g_error_free{library, "g_error_free", found};
  RuntimeFunction<decltype(&::g_file_new_for_path)> g_file_new_for_path{
      library, "g_file_new_for_path", found};
  RuntimeFunction<decltype(&::g_memory_input_stream_new_from_data)>
      g_memory_input_stream_new_from_data{library, "g_memory_input_stream_new_from_data", found};
  RuntimeFunction<decltype(&::g_object_unref)> g_object_unref{library, "g_object_unref", found};
  RuntimeFunction<decltype(&::rsvg_handle_get_geometry_for_layer)>
      rsvg_handle_get_geometry_for_layer{library, "rsvg_handle_get_geometry_for_layer", found};
  RuntimeFunction<decltype(&::rsvg_handle_get_intrinsic_dimensions)>
      rsvg_handle_get_intrinsic_dimensions{library, "rsvg_handle_get_intrinsic_dimensions", found};
  RuntimeFunction<decltype(&::rsvg_handle_get_intrinsic_size_in_pixels)>
      rsvg_handle_get_intrinsic_size_in_pixels{library, "rsvg_handle_get_intrinsic_size_in_pixels",
                                               found};
  RuntimeFunction<decltype(&::rsvg_handle_new_from_stream_sync)> rsvg_handle_new_from_stream_sync{
      library, "rsvg_handle_new_from_stream_sync", found};
  RuntimeFunction<decltype(&::rsvg_handle_render_document)> rsvg_handle_render_document{
      library, "rsvg_handle_render_document", found};
  RuntimeFunction<decltype(&::rsvg_handle_set_dpi)> rsvg_handle_set_dpi{
      library, "rsvg_handle_set_dpi", found};
};

const RsvgApi& Rsvg() {
  static const RsvgApi api;
  return api;
}

struct GObjectUnref {
  void operator()(void* p) const noexcept {
    if (p) Rsvg().g_object_unref(p);
  }
};
using HandlePtr = std::unique_ptr<RsvgHandle, GObjectUnref>;

// What identifies the file a remembered document came from: the path (compared exactly, as
// Linux file names are case-sensitive) and the file's identity, so a file replaced on disk is
// parsed again while a mere re-render at another size never is.
struct FileStamp {
  bool known = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
  FileStamp s;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return s;
  s.known = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtimeNs = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

struct Remembered {
  std::mutex mutex;
  std::string path;
  FileStamp stamp;
  HandlePtr handle;
  double width = 0, height = 0;
};

Remembered& Memory() {
  static Remembered r;
  return r;
}

std::atomic<uint64_t> g_parses{0};

// The document size in pixels at 96 dpi: width and height when they are absolute lengths,
// else the viewBox, else the extent of what the document draws.
bool DocumentSize(RsvgHandle* h, double& w, double& ht) {
  if (Rsvg().rsvg_handle_get_intrinsic_size_in_pixels(h, &w, &ht) && w > 0 && ht > 0) return true;
  gboolean hasW = FALSE, hasH = FALSE, hasBox = FALSE;
  RsvgLength lw{}, lh{};
  RsvgRectangle box{};
  Rsvg().rsvg_handle_get_intrinsic_dimensions(h, &hasW, &lw, &hasH, &lh, &hasBox, &box);
  if (hasBox && box.width > 0 && box.height > 0) {
    w = box.width;
    ht = box.height;
    return true;
  }
  RsvgRectangle viewport{0, 0, 100, 100}, ink{}, logical{};
  if (!Rsvg().rsvg_handle_get_geometry_for_layer(h, nullptr, &viewport, &ink, &logical, nullptr))
    return false;
  w = ink.x + ink.width;
  ht = ink.y + ink.height;
  return std::isfinite(w) && std::isfinite(ht) && w > 0 && ht > 0;
}

HandlePtr Parse(std::span<const uint8_t> text, const std::string& path) {
  g_parses.fetch_add(1, std::memory_order_relaxed);
  if (!Rsvg().found) return nullptr;  // no SVG renderer on this system
  GInputStream* stream = Rsvg().g_memory_input_stream_new_from_data(
      text.data(), static_cast<gssize>(text.size()), nullptr);
  GFile* base = Rsvg().g_file_new_for_path(path.c_str());
  GError* error = nullptr;
  RsvgHandle* h = Rsvg().rsvg_handle_new_from_stream_sync(stream, base, RSVG_HANDLE_FLAGS_NONE,
                                                          nullptr, &error);
  if (error) Rsvg().g_error_free(error);
  Rsvg().g_object_unref(base);
  Rsvg().g_object_unref(stream);
  HandlePtr handle(h);
  if (handle) Rsvg().rsvg_handle_set_dpi(handle.get(), kDpi);
  return handle;
}

// Draws the document scaled by `scale` over the white block, tile by tile.
bool Draw(RsvgHandle* h, double docW, double docH, double scale, ImageBuffer& img) {
  const int stride = static_cast<int>(img.stride());
  for (int32_t ty = 0; ty < img.height(); ty += kTile) {
    for (int32_t tx = 0; tx < img.width(); tx += kTile) {
      const int tw = std::min(kTile, img.width() - tx);
      const int th = std::min(kTile, img.height() - ty);
      cairo_surface_t* surface = Rsvg().cairo_image_surface_create_for_data(
          img.pixel(tx, ty), CAIRO_FORMAT_ARGB32, tw, th, stride);
      cairo_t* cr = Rsvg().cairo_create(surface);
      Rsvg().cairo_translate(cr, -tx, -ty);
      Rsvg().cairo_scale(cr, scale, scale);
      const RsvgRectangle viewport{0, 0, docW, docH};
      GError* error = nullptr;
      const bool ok = Rsvg().rsvg_handle_render_document(h, cr, &viewport, &error) &&
                      Rsvg().cairo_status(cr) == CAIRO_STATUS_SUCCESS;
      if (error) Rsvg().g_error_free(error);
      Rsvg().cairo_destroy(cr);
      Rsvg().cairo_surface_flush(surface);
      Rsvg().cairo_surface_destroy(surface);
      if (!ok) return false;
    }
  }
  return true;
}

// Obtains the document (parsing `text()` only when the path or file changed) and renders it.
template <typename TextFn>
DecodeResult Render(const std::string& path, int32_t wantW, int32_t wantH, TextFn text) {
  Remembered& mem = Memory();
  std::lock_guard guard(mem.mutex);
  const FileStamp stamp = StampOf(path);
  // A file that vanished keeps its remembered document (the picture on screen can still be
  // zoomed); a changed one is parsed again.
  const bool reuse = mem.handle && mem.path == path && (!stamp.known || stamp == mem.stamp);
  auto forget = [&] {
    mem.handle.reset();
    mem.path.clear();
    mem.stamp = {};
  };
  if (!reuse) {
    forget();
    std::optional<std::vector<uint8_t>> bytes = text();
    if (!bytes) return {};
    HandlePtr h = Parse(*bytes, path);
    double w = 0, ht = 0;
    if (!h || !DocumentSize(h.get(), w, ht)) return {};
    mem.handle = std::move(h);
    mem.path = path;
    mem.stamp = stamp;
    mem.width = w;
    mem.height = ht;
  }
  auto size = SvgTargetSize(mem.width, mem.height, wantW, wantH);
  if (!size) {
    forget();
    return {};
  }
  auto img = ImageBuffer::Filled(size->first, size->second, 0xFF);
  if (!img || !Draw(mem.handle.get(), mem.width, mem.height, size->first / mem.width, *img)) {
    forget();
    return {};
  }
  DecodeDetails details;
  details.vectorSource = true;
  return DecodeResult(std::move(*img)).with(details);
}

}  // namespace

std::optional<std::pair<int32_t, int32_t>> SvgTargetSize(double docWidth, double docHeight,
                                                         int32_t wantedWidth,
                                                         int32_t wantedHeight) {
  if (!(docWidth >= 1.0) || !(docHeight >= 1.0)) return std::nullopt;  // also NaN
  if (docWidth > double(kMaxSide) || docHeight > double(kMaxSide)) return std::nullopt;
  const int64_t tw = static_cast<int64_t>(docWidth);
  const int64_t th = static_cast<int64_t>(docHeight);
  const int64_t w = wantedWidth > 0 ? wantedWidth : tw;
  int64_t h;
  if (wantedHeight > 0)
    h = wantedHeight;
  else if (wantedWidth > 0)
    h = w * th / tw;
  else
    h = th;
  if (!PictureBytes(w, h)) return std::nullopt;
  return std::make_pair(static_cast<int32_t>(w), static_cast<int32_t>(h));
}

std::optional<std::vector<uint8_t>> InflateSvgz(std::span<const uint8_t> file) {
  if (file.size() < 4) return std::nullopt;
  ByteReader r(file);
  r.seek(file.size() - 4);
  const uint32_t announced = r.u32le();
  if (!r.ok() || announced > kMaxSvgzText) return std::nullopt;

  z_stream z{};
  if (inflateInit2(&z, 15 + 32) != Z_OK) return std::nullopt;
  // The output never grows beyond the announced size, so a trailer that lies low cannot let a
  // bomb inflate without bound; one that lies high is still capped by kMaxSvgzText. The buffer
  // grows as the text arrives rather than trusting the trailer for one big allocation.
  // One byte of slack beyond the announced size lets zlib finish the stream's trailer.
  const size_t cap = size_t{announced} + 1;
  std::vector<uint8_t> out(std::min<size_t>(cap, size_t{1} << 16));
  z.next_in = const_cast<Bytef*>(file.data());
  z.avail_in = static_cast<uInt>(std::min<size_t>(file.size(), UINT32_MAX));
  size_t produced = 0;
  int rc = Z_OK;
  for (;;) {
    if (produced == out.size()) {
      if (out.size() >= cap) break;  // full: the stream would exceed the trailer
      out.resize(std::min<size_t>(cap, out.size() * 2));
    }
    z.next_out = out.data() + produced;
    z.avail_out = static_cast<uInt>(out.size() - produced);
    rc = inflate(&z, Z_FINISH);
    produced = out.size() - z.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    if (rc == Z_BUF_ERROR && z.avail_out != 0) break;  // input ran out before the end
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END || produced > announced) return std::nullopt;
  out.resize(produced);
  return out;
}

uint64_t SvgParseCount() {
  return g_parses.load(std::memory_order_relaxed);
}

DecodeResult renderSvg(const std::string& path, int32_t wantedWidth, int32_t wantedHeight) {
  return Render(path, wantedWidth, wantedHeight, [&] { return ReadWholeFile(path, kMaxSvgFile); });
}

DecodeResult renderSvgz(const std::string& path, int32_t wantedWidth, int32_t wantedHeight) {
  // The file is read and inflated on every call, even when the document is then reused.
  auto file = ReadWholeFile(path, kMaxSvgFile);
  if (!file || file->empty()) return {};
  auto text = InflateSvgz(*file);
  if (!text) return {};
  return Render(path, wantedWidth, wantedHeight, [&] { return std::move(text); });
}

}  // namespace qp
