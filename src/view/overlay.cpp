#include "view/overlay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/setting_values.h"
#include "core/image_buffer.h"
#include "core/paths.h"
#include "codecs/sniff.h"

namespace qp {

PaintLayout LayOutPaint(int32_t dw, int32_t dh, bool fullScreen, int32_t sw, int32_t sh,
                        bool fillMargins) {
  PaintLayout out;
  if (!fullScreen) return out;
  if (dw < sw) out.ox = (sw - dw) / 2;
  if (dh < sh) out.oy = (sh - dh) / 2;
  if (!fillMargins) return out;
  const int32_t ox = out.ox, oy = out.oy;
  if (oy > 0) out.blackStrips.push_back({0, 0, sw, oy});
  if (oy + dh < sh) out.blackStrips.push_back({0, oy + dh, sw, sh});
  if (ox > 0) out.blackStrips.push_back({0, oy, ox, oy + dh});
  if (ox + dw < sw) out.blackStrips.push_back({ox + dw, oy, sw, oy + dh});
  return out;
}

namespace {

std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

// Bytes per pixel of the uncompressed picture for the ratio line, or 0 for no ratio line.
int32_t RatioBytes(const OverlayInput& in) {
  switch (in.sniffCode) {
    case 1: case -1:
      return in.detailsValid && !in.webpAnimated ? (in.webpHasAlpha ? 4 : 3) : 0;
    case 2: case -2: return 3;
    case 3: case -3:
      return in.detailsValid && !in.animating ? (in.hasAlpha ? 4 : 3) : 0;
    case 4: case -4:
      return in.detailsValid ? ((in.pngColourType & 4) ? 4 : 3) : 0;
    case 10: case -10: case 11: return 4;
    default: return 0;
  }
}

}  // namespace

size_t CharacterCount(std::string_view utf8) {
  // A lead byte with its continuation bytes is one character; a byte that does not fit the
  // encoding (a name in another one) counts as one, as it is drawn as one replacement mark.
  size_t count = 0;
  for (size_t i = 0; i < utf8.size(); ++count) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(utf8[k]); };
    const unsigned c = byte(i);
    const size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    bool whole = i + len <= utf8.size();
    for (size_t k = 1; whole && k < len; ++k) whole = (byte(i + k) & 0xC0) == 0x80;
    i += whole ? len : 1;
  }
  return count;
}

std::vector<OverlayLine> LayOutOverlay(const OverlayInput& in) {
  std::vector<OverlayLine> lines;
  if (in.mode != 1 && in.mode != 2) return lines;

  // The name, centred under the picture at 14 pixels a character, never nearer than 120
  // pixels to the left or top edge.
  std::string name = in.severalFolders ? in.path : std::string(FileNameOf(in.path));
  const int32_t len = static_cast<int32_t>(std::min<size_t>(CharacterCount(name), 1 << 20));
  int32_t x = in.ox + (in.dw - 14 * len) / 2;
  if (x < 120) x = 120;
  int32_t y = in.fullScreen ? in.dh + 2 * in.oy - 40 : in.dh + in.oy - 40;
  if (y < 120) y = 120;
  lines.push_back({x, y, std::move(name)});
  if (in.mode != 2) return lines;

  y = 40;
  auto add = [&](std::string text) {
    lines.push_back({20, y, std::move(text)});
    y += 20;
  };
  if (in.listCount >= 2)
    add(Format("#: %u/%u", static_cast<unsigned>(in.listPosition), static_cast<unsigned>(in.listCount)));
  add(Format("W: %u", static_cast<unsigned>(in.width)));
  add(Format("H: %u", static_cast<unsigned>(in.height)));
  if (in.fileSize <= 1024) add(Format("S: %u B", static_cast<unsigned>(in.fileSize)));
  else add(Format("S: %llu KB", static_cast<unsigned long long>(in.fileSize / 1024)));

  const int64_t pixels = int64_t{in.width} * in.height;
  if (pixels > 1) {
    if (int32_t b = RatioBytes(in)) {
      add(Format("R: %.1f%%", static_cast<double>(in.fileSize) * 100.0 / (static_cast<double>(b) * pixels)));
    } else if ((in.sniffCode == 13 || in.sniffCode == -13) && in.detailsValid && in.animating) {
      add(Format("F: %.2f", in.videoFrameRate / 100.0));
      if (in.videoAudioStream != -1) add("(audio)");
    }
  }

  if (!in.colourProfile.empty()) add("P: " + in.colourProfile);

  if (in.exif != nullptr) {
    const ExifInfo& e = *in.exif;
    if (e.isExif) {
      y += 20;
      auto text = [](const char* field, size_t size) { return std::string(field, strnlen(field, size)); };
      add(text(e.cameraMake, sizeof e.cameraMake));
      add(text(e.cameraModel, sizeof e.cameraModel));
      if (std::memcmp(e.dateTime, "0000:00:00 00:00:00", 20) != 0) add(text(e.dateTime, sizeof e.dateTime));
      if (e.isoEquivalent > 0) add(Format("ISO: %d", e.isoEquivalent));
      if (e.latitudeRef[0] != 0)
        add(Format("Lat: %d %d' %2.1f\" %s", static_cast<int>(e.latitudeDegrees),
                   static_cast<int>(e.latitudeMinutes), static_cast<double>(e.latitudeSeconds),
                   text(e.latitudeRef, sizeof e.latitudeRef).c_str()));
      if (e.longitudeRef[0] != 0)
        add(Format("Lon: %d %d' %2.1f\" %s", static_cast<int>(e.longitudeDegrees),
                   static_cast<int>(e.longitudeMinutes), static_cast<double>(e.longitudeSeconds),
                   text(e.longitudeRef, sizeof e.longitudeRef).c_str()));
      if (e.altitudeRef != 0 || e.altitude != 0)
        add(Format("Alt: %c%d", e.altitudeRef != 0 ? '-' : '+', e.altitude));
    }
    if (e.comments[0] != 0) {
      y += 20;
      add(std::string(e.comments, strnlen(e.comments, 63)));
    }
  }
  return lines;
}

uint32_t OverlayColour(SettingsAccess& settings) {
  return ColourSetting(settings.ReadText("OSDColour"), 0x00FF00);
}

void DrawProgressBar(uint8_t* bgra, int32_t w, int32_t h, int32_t index, int32_t count) {
  if (bgra == nullptr || w <= 0 || h <= 0 || count <= 0) return;
  const int64_t d = std::min<int64_t>(w, int64_t{w} * (int64_t{index} + 1) / count);
  uint8_t* row = bgra + static_cast<size_t>(h - 1) * static_cast<size_t>(w) * 4;
  for (int32_t x = 0; x < w; ++x) StorePixel(row + static_cast<size_t>(x) * 4, x < d ? 0x333333u : 0xCFCFCFu);
}

}  // namespace qp
