// A small program for whole-process timings beside the reference tools (bench/compare.sh):
//   qp_timing_tool load FILE.jpg|FILE.png       decode like the viewer does, keep nothing
//   qp_timing_tool resample IN.bgra OUT.bgra W H Lanczos-3 resample, write the result
//   qp_timing_tool display IN.bgra W H           fit for display, keep nothing
//   qp_timing_tool make-inputs DIR               write the synthetic photo.jpg and alpha.png the
//                                                bench programs use
//   qp_timing_tool make-photos DIR N [W H] [--icc FILE] [--orientation O]
//                                                write N different photo-like JPEGs (default
//                                                6000 x 4000, quality 90) as DIR/photo-NN.jpg;
//                                                --icc embeds the profile FILE, --orientation
//                                                stores the pixels turned so that orientation
//                                                O (1 to 8, in an EXIF block) shows the same
//                                                upright picture
//   qp_timing_tool make-camera DIR N [W H]       the same photos as a camera writes them (4:2:0,
//                                                EXIF thumbnail, large preview) as DIR/photo-NN.jpg
//   qp_timing_tool make-marked DIR W H           one such photo in a purple range, found on
//                                                the screen by qp_first_paint
//   qp_timing_tool to-bgra IN.jpg OUT.bgra       decode a JPEG to an opaque raw BGRA file
//   qp_timing_tool bgra-to-rgba IN.bgra OUT.rgba the same pixels as headerless RGBA bytes
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/bgra.h"
#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "core/file_io.h"
#include "core/orientation.h"
#include "ops/ops.h"
#include "ops/resample.h"
#include "../tests/support/camera_jpeg.h"

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "qp_timing_tool: %s\n", what);
  return 1;
}

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The same synthetic pictures as bench/jpeg_bench.cpp and bench/png_bench.cpp.
bool MakeInputs(const std::string& dir) {
  auto photo = qp::ImageBuffer::Allocate(6000, 4000);
  auto alpha = qp::ImageBuffer::Allocate(4000, 3000);
  if (!photo || !alpha) return false;
  for (int y = 0; y < 4000; ++y)
    for (int x = 0; x < 6000; ++x) {
      uint8_t* px = photo->pixel(x, y);
      px[0] = static_cast<uint8_t>(x * 7 + y);
      px[1] = static_cast<uint8_t>((x ^ y) + (x * y >> 9));
      px[2] = static_cast<uint8_t>(y * 3 - x);
      px[3] = 255;
    }
  for (int y = 0; y < 3000; ++y)
    for (int x = 0; x < 4000; ++x) {
      uint8_t* px = alpha->pixel(x, y);
      px[0] = static_cast<uint8_t>(x + y);
      px[1] = static_cast<uint8_t>(x * y >> 8);
      px[2] = static_cast<uint8_t>(y);
      px[3] = static_cast<uint8_t>(x < 2000 ? 255 : x);
    }
  return !qp::SaveJpeg(photo->data(), 6000, 4000, 90, (dir + "/photo.jpg").c_str()) &&
         !qp::SavePng(alpha->data(), 4000, 3000, 100, (dir + "/alpha.png").c_str());
}

// How make-photos tags what it writes: a colour profile and an EXIF orientation (1: none).
struct PhotoTags {
  std::vector<uint8_t> icc;
  int orientation = 1;
};

// Puts an EXIF block holding only the orientation into the JPEG file at `path`, after the
// JFIF block when there is one.
bool AddOrientation(const std::string& path, int orientation) {
  auto bytes = qp::ReadWholeFile(path);
  if (!bytes || bytes->size() < 4 || (*bytes)[0] != 0xFF || (*bytes)[1] != 0xD8) return false;
  size_t at = 2;
  if ((*bytes)[2] == 0xFF && (*bytes)[3] == 0xE0 && bytes->size() >= 6)
    at = 4 + (size_t{(*bytes)[4]} << 8 | (*bytes)[5]);
  if (at > bytes->size()) return false;
  // Big-endian TIFF header, one IFD with one SHORT entry (tag 0x0112), no next IFD.
  const uint8_t app1[] = {0xFF, 0xE1, 0x00, 34,   'E',  'x',  'i',  'f',  0,    0,    'M',  'M',
                          0x00, 0x2A, 0x00, 0x00, 0x00, 0x08, 0x00, 0x01, 0x01, 0x12, 0x00, 0x03,
                          0x00, 0x00, 0x00, 0x01, 0x00, static_cast<uint8_t>(orientation),
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  bytes->insert(bytes->begin() + static_cast<std::ptrdiff_t>(at), std::begin(app1), std::end(app1));
  return qp::WriteWholeFile(path, *bytes);
}

// Photo-like pictures for stepping through a folder: smooth sky and ground gradients, rolling
// hills and a little grain, so they compress and decode like camera pictures (a few MB each)
// rather than like noise. Each index shifts the colours and the hills.
// With `camera` each is written as a camera writes it: colour at half resolution (4:2:0), an
// EXIF thumbnail of 160 x 120 with the picture letterboxed between black bars, and a large
// preview 1080 pixels high after the main picture, listed in a multi-picture index.
// With `marked` the photos keep their texture in a purple range (red and blue high, green
// low) that qp_first_paint recognises at any scale.
bool WriteCameraPhoto(const qp::ImageBuffer& img, const std::string& path) {
  const int w = img.width(), h = img.height();
  qp::test::CameraParts parts;
  auto main = qp::EncodeJpeg(img.data(), w, h, 90, qp::JpegChroma::Half);
  // 1616 x 1080 for a 3:2 picture: a width of whole 16-pixel blocks, as cameras choose it.
  const int pw = std::max(16, (1080 * w / h) / 16 * 16);
  auto preview = qp::Resample(img, pw, 1080);
  const int tw = std::min(160, 120 * w / h), th = std::min(120, 160 * h / w);
  auto small = qp::Resample(img, tw, th);
  auto boxed = qp::ImageBuffer::Allocate(160, 120);
  if (!main || !preview || !small || !boxed) return false;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const int sx = x - (160 - tw) / 2, sy = y - (120 - th) / 2;
      const bool inside = sx >= 0 && sx < tw && sy >= 0 && sy < th;
      const uint32_t black = 0xFF000000u;
      std::memcpy(boxed->pixel(x, y), inside ? small->pixel(sx, sy) : reinterpret_cast<const uint8_t*>(&black), 4);
    }
  auto p = qp::EncodeJpeg(preview->data(), pw, 1080, 85, qp::JpegChroma::Half);
  auto t = qp::EncodeJpeg(boxed->data(), 160, 120, 85, qp::JpegChroma::Half);
  if (!p || !t) return false;
  parts.main = std::move(*main);
  parts.preview = std::move(*p);
  parts.thumbnail = std::move(*t);
  return qp::WriteWholeFile(path, qp::test::CameraJpeg(parts));
}

// With `tags` the photos show the same upright picture as untagged ones, their pixels stored
// turned against the orientation, and carry the profile.
bool MakePhotos(const std::string& dir, int count, int w, int h, bool marked = false,
                bool camera = false, const PhotoTags& tags = {}) {
  auto img = qp::ImageBuffer::Allocate(w, h);
  if (!img) return false;
  for (int n = 0; n < count; ++n) {
    uint32_t grain = 12345u + static_cast<uint32_t>(n) * 7919u;
    const double phase = n * 0.7;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
        const double hill = 0.55 + 0.08 * std::sin(fx * 9.0 + phase) + 0.04 * std::sin(fx * 31.0 - phase);
        grain = grain * 1664525u + 1013904223u;
        const int g = static_cast<int>((grain >> 27) & 15) - 8;
        double r, gr, b;
        if (fy < hill) {  // sky
          r = 90 + 80 * fy + 20 * std::sin(phase);
          gr = 140 + 60 * fy;
          b = 230 - 40 * fy;
        } else {  // fields with stripes and texture
          const double t = std::sin(fx * 200.0 + fy * 50.0) * 12 + std::sin(fy * 700.0) * 6;
          r = 70 + 60 * fx + t + 30 * std::cos(phase);
          gr = 120 + 40 * (1 - fy) + t;
          b = 40 + 20 * fx;
        }
        uint8_t* px = img->pixel(x, y);
        if (marked) {
          const double v = (r + gr + b) / 3.0;
          r = 165 + v * 0.35;
          gr = v * 0.25;
          b = 125 + v * 0.45;
        }
        px[0] = static_cast<uint8_t>(std::clamp(static_cast<int>(b) + g, 0, 255));
        px[1] = static_cast<uint8_t>(std::clamp(static_cast<int>(gr) + g, 0, 255));
        px[2] = static_cast<uint8_t>(std::clamp(static_cast<int>(r) + g, 0, 255));
        px[3] = 255;
      }
    }
    char name[64];
    std::snprintf(name, sizeof name, "/photo-%02d.jpg", n + 1);
    const std::string path = dir + name;
    if (camera) {
      if (!WriteCameraPhoto(*img, path)) return false;
    } else if (tags.orientation != 1) {
      // The stored picture is the upright one turned by the opposite orientation (6 and 8
      // undo each other; every other one undoes itself).
      const int undo = tags.orientation == 6 ? 8 : tags.orientation == 8 ? 6 : tags.orientation;
      auto stored = qp::TurnUpright(*img, undo);
      if (!stored ||
          qp::SaveJpeg(stored->data(), stored->width(), stored->height(), 90, path.c_str(), tags.icc) != nullptr ||
          !AddOrientation(path, tags.orientation))
        return false;
    } else if (qp::SaveJpeg(img->data(), w, h, 90, path.c_str(), tags.icc) != nullptr) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  qp::ViewerState state;
  if (a.size() == 2 && a[0] == "load") {
    auto img = EndsWith(a[1], ".png") ? qp::LoadPng(a[1]) : qp::LoadJpeg(a[1]);
    return img ? 0 : Fail("cannot decode");
  }
  if (a.size() == 5 && a[0] == "resample") {
    auto src = qp::readRawBgra(a[1]);
    if (!src) return Fail("cannot read input");
    auto out = qp::Resample(*src, std::atoi(a[3].c_str()), std::atoi(a[4].c_str()));
    if (!out) return Fail("cannot resample");
    return qp::writeRawBgra(out->data(), out->width(), out->height(), a[2].c_str())
               ? Fail("cannot write")
               : 0;
  }
  if (a.size() == 4 && a[0] == "display") {
    auto src = qp::readRawBgra(a[1]);
    if (!src) return Fail("cannot read input");
    auto out = qp::DisplayScale(src->data(), src->width(), src->height(), std::atoi(a[2].c_str()),
                                std::atoi(a[3].c_str()));
    return out ? 0 : Fail("cannot scale");
  }
  if (a.size() == 2 && a[0] == "make-inputs")
    return MakeInputs(a[1]) ? 0 : Fail("cannot write inputs");
  if (!a.empty() && a[0] == "make-photos") {
    std::vector<std::string> positional;
    PhotoTags tags;
    for (size_t i = 1; i < a.size(); ++i) {
      if (a[i] == "--icc" && i + 1 < a.size()) {
        auto icc = qp::ReadWholeFile(a[++i]);
        if (!icc || icc->empty()) return Fail("cannot read the profile");
        tags.icc = std::move(*icc);
      } else if (a[i] == "--orientation" && i + 1 < a.size()) {
        tags.orientation = std::atoi(a[++i].c_str());
        if (tags.orientation < 1 || tags.orientation > 8) return Fail("orientation is 1 to 8");
      } else {
        positional.push_back(a[i]);
      }
    }
    if (positional.size() == 2 || positional.size() == 4) {
      const int w = positional.size() == 4 ? std::atoi(positional[2].c_str()) : 6000;
      const int h = positional.size() == 4 ? std::atoi(positional[3].c_str()) : 4000;
      return MakePhotos(positional[0], std::atoi(positional[1].c_str()), w, h, false, false, tags)
                 ? 0
                 : Fail("cannot write photos");
    }
  }
  if ((a.size() == 3 || a.size() == 5) && a[0] == "make-camera") {
    const int w = a.size() == 5 ? std::atoi(a[3].c_str()) : 6000;
    const int h = a.size() == 5 ? std::atoi(a[4].c_str()) : 4000;
    return MakePhotos(a[1], std::atoi(a[2].c_str()), w, h, false, true) ? 0
                                                                       : Fail("cannot write photos");
  }
  if (a.size() == 4 && a[0] == "make-marked")
    return MakePhotos(a[1], 1, std::atoi(a[2].c_str()), std::atoi(a[3].c_str()), true)
               ? 0
               : Fail("cannot write photos");
  if (a.size() == 3 && a[0] == "to-bgra") {
    auto img = qp::LoadJpeg(a[1]);
    if (!img) return Fail("cannot decode");
    for (size_t i = 0; i < img->pixelCount(); ++i) img->data()[i * 4 + 3] = 255;
    return qp::writeRawBgra(img->data(), img->width(), img->height(), a[2].c_str())
               ? Fail("cannot write")
               : 0;
  }
  if (a.size() == 3 && a[0] == "bgra-to-rgba") {
    auto img = qp::readRawBgra(a[1]);
    if (!img) return Fail("cannot read input");
    for (size_t i = 0; i < img->pixelCount(); ++i)
      std::swap(img->data()[i * 4], img->data()[i * 4 + 2]);
    return qp::WriteWholeFile(a[2], std::span<const uint8_t>(img->data(), img->byteSize()))
               ? 0
               : Fail("cannot write");
  }
  std::fprintf(
      stderr,
      "usage: qp_timing_tool load FILE | resample IN.bgra OUT.bgra W H | display IN.bgra W H |\n"
      "       make-inputs DIR | make-photos DIR N [W H] [--icc FILE] [--orientation O] |\n"
      "       make-camera DIR N [W H] |\n"
      "       make-marked DIR W H |\n"
      "       to-bgra IN.jpg OUT.bgra |\n"
      "       bgra-to-rgba IN.bgra OUT.rgba\n");
  return 2;
}
