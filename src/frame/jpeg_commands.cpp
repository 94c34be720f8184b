#include "frame/jpeg_commands.h"

#include <turbojpeg.h>

#include <algorithm>
#include <memory>

#include "core/file_io.h"
#include "core/orientation.h"
#include "core/paths.h"
#include "frame/file_operations.h"
#include "frame/navigation.h"
#include "jpegxform/lossless.h"
#include "metadata/exif.h"
#include "view/view.h"

namespace qp {

namespace {

struct TjCloser {
  void operator()(void* h) const noexcept { tjDestroy(h); }
};

// The header can be read and names a picture of some size.
bool IsValidJpegFile(const std::string& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes || bytes->empty()) return false;
  std::unique_ptr<void, TjCloser> handle(tjInitDecompress());
  if (!handle) return false;
  int width = 0, height = 0, subsamp = 0, colourspace = 0;
  return tjDecompressHeader3(handle.get(), bytes->data(), bytes->size(), &width, &height,
                             &subsamp, &colourspace) == 0 &&
         width > 0 && height > 0;
}


void ReloadCurrent(FileContext& ctx) {
  if (ctx.state.fullScreen != 0 && ctx.state.zoomLocked == 0) ctx.state.zoom = -1.0f;
  ctx.state.paused = 0;
  ctx.state.SendViewCommand(kCmdReload, 0);
}

// After an in-place transform: reload the file, or report the failure.
void FinishInPlace(FileContext& ctx, bool done) {
  if (done)
    ReloadCurrent(ctx);
  else
    ctx.ports.messages.Show(kTransformFailed, MessageIcon::Error);
}

// The grey and crop commands: the Save dialog for `suffix` ("_gray.jpg", "_crop.jpg"), the
// overwrite question, then the transform into the chosen file or in place. A current file
// rewritten in place is read again, so the screen shows the result.
void TransformToChosenFile(FileContext& ctx, const std::vector<std::string>& arguments,
                           const char* suffix, const char* tempSuffix) {
  const std::string current = ctx.state.currentPath;
  const std::string proposed = WithoutExtension(current) + suffix;
  FileDialogRequest request;
  request.title = "Save As";
  request.filter = "Independent JPEG Group (*.jpg)|*.jpg||";
  request.folder = FolderOf(proposed);
  request.fileName = FileNameOf(proposed);
  auto chosen = ctx.ports.fileDialogs.Save(request);
  if (!chosen || chosen->paths.empty()) return;
  const std::string target = chosen->paths.front();
  if (PathExists(target) &&
      ctx.ports.messages.Show(kOverwriteQuestion, MessageIcon::Question, MessageButtons::YesNo) !=
          MessageAnswer::Yes)
    return;
  const bool inPlace = SameFile(target, current);
  const bool done = inPlace ? ReplaceWithTransform(current, arguments, tempSuffix)
                            : losslessTransform(current, target, arguments) == kTransformOk;
  if (!done) ctx.ports.messages.Show(kTransformFailed, MessageIcon::Error);
  else if (inPlace) ReloadCurrent(ctx);
}

}  // namespace

std::optional<int> TransformCodeOf(uint16_t id) {
  switch (id) {
    case kCmdJpegRotate90: return 90;
    case kCmdJpegRotate180: return 180;
    case kCmdJpegRotate270: return 270;
    case kCmdJpegRotate360: return 360;
    case kCmdJpegFlipVertical: return -90;
    case kCmdJpegFlipHorizontal: return -180;
    default: return std::nullopt;
  }
}

void JpegTransformCommand(FileContext& ctx, int angleCode) {
  const std::string current = ctx.state.currentPath;
  if (!IsJpegName(current)) return;
  FinishInPlace(ctx, transformInPlace(current, angleCode));
}

void JpegRotateAutomaticCommand(FileContext& ctx) {
  const std::string current = ctx.state.currentPath;
  if (!IsJpegName(current)) return;
  ExifInfo info{};
  if (!ReadJpegMetadata(current, info) || !info.isExif) return;
  // The picture ends upright and its orientation entry says so, as with -autorotate.
  if (const int angle = AutoRotateAngle(info.orientation); angle != 0)
    FinishInPlace(ctx, rotateUprightInPlace(current, angle));
}

void JpegGrayscaleCommand(FileContext& ctx) {
  if (!IsValidJpegFile(ctx.state.currentPath)) {
    ctx.ports.messages.Show(kNotValidJpeg, MessageIcon::Error);
    return;
  }
  TransformToChosenFile(ctx, GrayArguments(), "_gray.jpg", kGrayTempSuffix);
}

void JpegLosslessCropCommand(FileContext& ctx, const std::optional<ImageRect>& selection,
                             int32_t width, int32_t height) {
  if (!IsValidJpegFile(ctx.state.currentPath)) {
    ctx.ports.messages.Show(kNotValidJpeg, MessageIcon::Error);
    return;
  }
  if (!selection || ctx.state.zoom == 0.0f) return;
  const int32_t left = std::clamp(selection->left, 0, width);
  const int32_t top = std::clamp(selection->top, 0, height);
  const int32_t right = std::clamp(selection->right, left, width);
  const int32_t bottom = std::clamp(selection->bottom, top, height);
  if (right == left || bottom == top) return;
  // The selection lies on the picture as shown; the crop works on the pixels as the file
  // stores them, which the load may have turned upright.
  const int32_t orientation = ctx.state.pictureOrientation;
  const bool swap = OrientationSwapsSides(orientation);
  const OrientedRect stored = ShownToStored({left, top, right, bottom}, orientation,
                                            swap ? height : width, swap ? width : height);
  TransformToChosenFile(ctx,
                        CropArguments(static_cast<uint32_t>(stored.right - stored.left),
                                      static_cast<uint32_t>(stored.bottom - stored.top),
                                      static_cast<uint32_t>(stored.left),
                                      static_cast<uint32_t>(stored.top)),
                        "_crop.jpg", kCropTempSuffix);
}

bool ExecuteJpegTransform(FileContext& ctx, uint16_t id) {
  if (auto code = TransformCodeOf(id)) {
    JpegTransformCommand(ctx, *code);
    return true;
  }
  if (id == kCmdJpegRotateAuto) {
    JpegRotateAutomaticCommand(ctx);
    return true;
  }
  return false;
}

}  // namespace qp
