#include "frame/properties_dialog.h"

#include "codecs/load_dispatch.h"
#include "colour/colour_profile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "codecs/gif.h"
#include "codecs/ico.h"
#include "codecs/video.h"
#include "codecs/webp.h"
#include "core/file_io.h"
#include "core/image_buffer.h"
#include "core/paths.h"
#include "codecs/sniff.h"
#include "metadata/exif.h"

namespace qp {

namespace {

std::string WithoutLineEnd(std::string link) {
  while (!link.empty() && (link.back() == '\n' || link.back() == '\r')) link.pop_back();
  return link;
}

}  // namespace

void PropertiesDialogModel::PressMap(DesktopPort& desktop) const {
  if (mapLink) desktop.OpenUrl(*mapLink);
}

void AboutDialogModel::PressDocumentation(DesktopPort& desktop) const {
  if (!documentation.empty()) desktop.OpenUrl(documentation);
}

std::string ReadmePath() {
  // Installed, the README lies in the documentation folder, found from the programs' folder.
  const std::string installed = ExecutableFolder() + "/" QP_DOC_FROM_APPDIR "/README.md";
  std::error_code error;
  if (std::filesystem::is_regular_file(installed, error)) return installed;
  // A program run from its build tree has the README beside its source.
  if (std::filesystem::is_regular_file(QP_SOURCE_README, error)) return QP_SOURCE_README;
  return {};
}

PropertiesInput GatherProperties(ViewerState& s, const std::string& path, const uint8_t* pixels,
                                 int32_t width, int32_t height, bool colourManaged) {
  PropertiesInput in;
  in.width = static_cast<uint32_t>(std::max(width, 0));
  in.height = static_cast<uint32_t>(std::max(height, 0));
  in.animating = s.animating.load();
  if (pixels != nullptr && width > 0 && height > 0 && in.animating == 0)
    in.uniqueColours = CountUniqueColours(pixels, width, height);
  in.isFile = !path.empty() && ClipboardKind(path) == 0 && CanOpenForRead(path);
  if (in.isFile) {
    in.sniffCode = SniffFileType(path, &in.fileSize);
    in.typeName = FileTypeName(path, in.sniffCode);
  }

  if (colourManaged) in.colourProfile = ColourSpaceName(s.colourProfile.get());
  in.detailsValid = s.detailsValid;
  in.hasAlpha = s.hasAlpha;
  in.frameCount = s.frameCount.load();
  in.webpHasAlpha = s.webpHasAlpha;
  in.webpAnimated = s.webpAnimated;
  in.webpLossless = s.webpLossless;
  in.jpegColourSpace = s.jpegColourSpace;
  in.jpegProgressive = s.jpegProgressive;
  in.gifVersion = std::string(s.gifVersion, strnlen(s.gifVersion, sizeof s.gifVersion));
  in.gifBitDepth = s.gifBitDepth;
  in.gifAnimated = s.gifAnimated;
  in.pngColourType = s.pngColourType;
  in.pngBitDepth = s.pngBitDepth;
  in.videoActive = s.videoActive;
  in.videoAudioStream = s.videoAudioStream;
  in.videoFrameRate = s.videoFrameRate;
  if (!in.isFile) return in;

  const int32_t code = in.sniffCode < 0 ? -in.sniffCode : in.sniffCode;
  if (code == kSniffJpeg) {
    // The camera data is read afresh, and the state keeps it (Google Maps uses it).
    ReadJpegMetadata(path, in.exif);
    s.exif = in.exif;
  }
  in.webpTotalDurationMs = WebpTotalDuration(s);
  if (const GifDecoder* gif = RunningGifDecoder(s)) {
    in.gifTotalDurationMs = static_cast<double>(gif->totalDuration());
    in.gifGlobalColourTable = gif->hasGlobalTable();
    if (gif->comment() != nullptr) in.gifComment = gif->comment();
  }
  in.videoDurationMs = videoDuration(s);
  if (code == kSniffBmp) in.bmp = ReadBmpFacts(path);
  if (in.sniffCode == kSniffIcon) {
    if (auto icon = readIconInfo(path))
      in.icon = IconFacts{icon->count, icon->planes, icon->bitCount};
  }
  return in;
}

PropertiesDialogModel BuildPropertiesDialog(ViewerState& state, const uint8_t* pixels,
                                            int32_t width, int32_t height, bool colourManaged) {
  const std::string path = state.currentPath;
  const PropertiesReport report = BuildPropertiesReport(
      GatherProperties(state, path, pixels, width, height, colourManaged));
  PropertiesDialogModel model;
  model.path = path;
  model.report = report.text;
  if (report.mapLink) model.mapLink = WithoutLineEnd(*report.mapLink);
  return model;
}

void PropertiesCommand(FileContext& ctx, const uint8_t* pixels, int32_t width, int32_t height) {
  const bool wasFullScreen = ctx.LeaveFullScreen();
  ctx.host.ShowProperties(
      BuildPropertiesDialog(ctx.state, pixels, width, height, ColourManaged(&ctx.settings)));
  if (wasFullScreen) ctx.state.ToggleFullScreenWithFit();
}

std::optional<std::string> CurrentMapLink(const ViewerState& state) {
  if (!state.exif.isExif) return std::nullopt;
  auto link = MapLink(state.exif);
  if (!link) return std::nullopt;
  return WithoutLineEnd(*link);
}

void GoogleMapsCommand(FileContext& ctx) {
  if (auto link = CurrentMapLink(ctx.state)) ctx.ports.desktop.OpenUrl(*link);
}

void CopyFilenameCommand(FileContext& ctx) {
  if (!ctx.state.currentPath.empty()) ctx.ports.clipboard.SetText(ctx.state.currentPath);
}

void AboutCommand(FileContext& ctx) {
  const bool wasFullScreen = ctx.LeaveFullScreen();
  AboutDialogModel model;
  model.text = ctx.aboutText;
  model.documentation = ReadmePath();
  ctx.host.ShowAbout(model);
  if (wasFullScreen) ctx.state.ToggleFullScreenWithFit();
}

}  // namespace qp
