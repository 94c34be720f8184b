// The load dispatch: the sniffed type picks the decoder, the extension decides when the
// signature does not, and the general-purpose decoders (FreeImage, the plug-ins, the system
// image engine) follow in a fixed order.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "codecs/decode_result.h"
#include "codecs/scaled_decode.h"
#include "core/settings_access.h"
#include "core/viewer_state.h"
#include "platform/system_decoder.h"

namespace qp {

// What the dispatch needs beyond the file: the shared state and the ports.
struct LoadContext {
  ViewerState& state;
  SettingsAccess* settings = nullptr;
  SystemImageDecoder* systemDecoder = nullptr;
};

// Whether pictures are shown and written in their colour space (setting "ColourManagement",
// on without settings). Off, a load forgets the colour space its file describes.
bool ColourManaged(SettingsAccess* settings);

// Every load turns the picture upright by the orientation its file records, right after
// decoding, when the setting "AutoOrient" is on (or there are no settings); the details then
// name the orientation it was turned from.

// Reads a picture file without touching the view: animated formats yield their first frame,
// the result is always owned by the caller. What the decoder learned is stored into the
// state's detail fields, and into `details` when given.
std::optional<ImageBuffer> LoadPictureFile(const std::string& path, LoadContext& ctx,
                                           DecodeDetails* details = nullptr);

// The view's dispatch for a new file: sniffs `path`, calls the decoders with `animate` set,
// applies the fall-backs and whitening, and stores what the decoder learned into the state's
// detail fields (`detailsValid`, `hasAlpha` and `vectorSource` cleared when it learned
// nothing). Sets `fileSize`. The result may be the playback canvas; its details are those
// stored. `fromSystem` is set when the picture came from the system image engine.
struct DisplayLoad {
  DecodeResult picture;
  int32_t sniffCode = 0;
  int64_t fileSize = 0;
  bool fromSystem = false;
};
DisplayLoad LoadFileForDisplay(const std::string& path, LoadContext& ctx);

// LoadFileForDisplay for a thread other than the user interface's, as prefetching needs: the
// same sniff and the same first decoder, when that decoder keeps no state beyond its call
// (JPEG, PNG, still WebP, QOI, raw BGRA, icon). Nothing when the file needs more: another
// decoder (animated, vector, video, external or plug-in), a fall-back because the first
// decoder failed, or a file that cannot be opened or is empty. Touches no ViewerState: the
// details travel in the result, for StoreDetails when the picture is shown. `autoOrient` is
// the setting, read by the caller on its own thread. A JPEG decode stops when `cancel` turns
// true (the result is then nothing).
std::optional<DisplayLoad> LoadFileOffUiThread(const std::string& path, bool autoOrient = true,
                                               const std::atomic<bool>* cancel = nullptr);

// A quick look at a file for any thread: the picture LoadFileOffUiThread would decode, decoded
// at a reduced size (see codecs/scaled_decode.h) when that decoder is JPEG's or WebP's; nothing
// for other files. `sniffCode` and `fileSize` receive what the sniff found. With `autoOrient`
// the picture, its full size and the size `target` is asked for are those of the upright
// picture, as the full load makes it.
std::optional<ScaledPicture> LoadFileScaledOffUiThread(const std::string& path,
                                                       const ScaledTarget& target,
                                                       int32_t& sniffCode, int64_t& fileSize,
                                                       bool autoOrient = true);

// The same for a rectangle of the picture at full size (see LoadJpegRegion): `target` is asked
// for the rectangle of the upright picture (with `autoOrient`) and the result, turned upright,
// holds those pixels, its `region` telling where they lie. JPEG files only.
std::optional<ScaledPicture> LoadFileRegionOffUiThread(const std::string& path,
                                                       const RegionTarget& target,
                                                       int32_t& sniffCode, int64_t& fileSize,
                                                       bool autoOrient = true);

}  // namespace qp
