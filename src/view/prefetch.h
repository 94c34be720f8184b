// Decoding ahead: while a picture is on screen, a worker thread decodes the files the user is
// likely to step to next into ordinary pictures, with everything their load learns (sniff
// code, file size, format details, EXIF record), so that a step shows exactly what a fresh
// load would show without waiting for the decoder. Only decoders that keep no state beyond
// their call run on the worker; every other file is left to the normal load.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codecs/load_dispatch.h"
#include "core/exif_info.h"
#include "core/setting_values.h"
#include "core/viewer_state.h"
#include "view/view_geometry.h"

namespace qp {

// What identifies a file's contents without reading it: a rewrite changes the size or the
// modification time, a replacement by another file also the inode.
struct FileStamp {
  int64_t size = -1;
  int64_t mtimeNs = 0;
  uint64_t inode = 0;
  uint64_t device = 0;
  bool operator==(const FileStamp&) const = default;
};
// The stamp of a regular file; nothing when it cannot be looked at or is not a regular file.
std::optional<FileStamp> StampOf(const std::string& path);

// How the view will lay out the next picture: the zoom or fit code its layout starts from and
// the area a fit divides. With it the worker makes the display bitmap as well.
struct DisplayPlan {
  float zoom = 1.0f;
  bool fullScreen = false;
  int32_t areaWidth = 0;
  int32_t areaHeight = 0;
  FitFactors factors;
  // The display bitmap is converted to the screen's colours (null: sRGB) when `manageColour`.
  bool manageColour = true;
  ColourProfilePtr screen;
  // The setting "AutoOrient": pictures are decoded ahead upright, as the load makes them.
  bool autoOrient = true;
  // The view's scroll position: at original size the area from here is the part of a larger
  // picture on screen.
  int32_t scrollX = 0;
  int32_t scrollY = 0;
};

// The display bitmap of a still picture at the plan's zoom, made as the view's layout makes
// it (in the screen's colours, from the picture's `colour`); `zoom` receives the zoom used (a
// fit code resolved).
std::optional<DisplayBitmap> PlannedDisplay(const ImageBuffer& picture, const DisplayPlan& plan,
                                            float& zoom, const ColourProfile* colour = nullptr);

// A quick look at a file: for a layout that shows the picture smaller than its own size, the
// picture decoded at a reduced size (JPEG, still WebP) and scaled by the display scaler to the
// size the exact picture's display bitmap will have, so the exact one replaces it in place;
// at original size, only the part of a large JPEG that is on screen.
struct PreviewPicture {
  DisplayBitmap display;
  // The part of the exact display bitmap `display` holds: all of it, or the part on screen.
  OrientedRect region;
  bool partial = false;
  float zoom = 0.0f;  // the zoom of `display`, the plan's fit resolved for the full size
  int32_t fullWidth = 0;
  int32_t fullHeight = 0;
  int32_t sniffCode = 0;
  int64_t fileSize = 0;
  DecodeDetails details;
  FileStamp stamp;
  DisplayPlan plan;
  size_t bytes() const { return display.bits.size(); }
};

// Same layout: the same zoom or fit code, screen, fit factors and screen colours.
bool SamePlan(const DisplayPlan& a, const DisplayPlan& b);

// The screen profile a screen's ICC bytes give (null: sRGB, also for a grey or unreadable one).
ColourProfilePtr ScreenProfileOf(const std::vector<uint8_t>& icc);

// The preview can stand for the picture in `plan`'s layout: it was made for that layout, or it
// is a part at original size, in the same colours, that holds all the layout shows.
bool PreviewServes(const PreviewPicture& preview, const DisplayPlan& plan);

// Whether the preview of `path` for `plan` is the part on screen of a large JPEG, decoded
// alone (judged from the file's header). The first picture then waits for nothing else.
bool VisiblePartComesFirst(const std::string& path, const DisplayPlan& plan);

// The preview of `path` for `plan`; nothing when the plan shows the picture larger than its
// own size, when its format cannot decode at a reduced size (or a part, at original size),
// or when that decode would be (almost) the full one.
std::optional<PreviewPicture> DecodePreview(const std::string& path, const DisplayPlan& plan);

// A picture decoded ahead, with what a fresh load of its file would have learned.
struct PrefetchedPicture {
  std::string path;
  DisplayLoad load;           // the owned picture, sniff code, file size and details
  bool jpegMetadata = false;  // a JPEG by content: the load reads its metadata into `exif`
  ExifInfo exif{};
  FileStamp stamp;            // the file as it was while decoded
  bool autoOrient = true;     // turned upright by the file's orientation when it records one
  // The display bitmap at `displayZoom`, when the plan allowed one (not for vector pictures).
  std::optional<DisplayBitmap> display;
  float displayZoom = 0.0f;
  DisplayPlan displayPlan;  // the plan `display` was made for
  bool displayGiven = false;  // `display` went with the spare: made again when wanted again
  // A copy of the picture to hand out, so the picture itself stays ready behind the user.
  std::optional<ImageBuffer> spare;
  bool spareRefused = false;  // no room for the copy
  // Only a preview so far: `load` holds no picture.
  std::optional<PreviewPicture> preview;
  size_t bytes() const;
};

// One file to have ready: its preview, or its exact picture.
struct PrefetchWish {
  std::string path;
  bool preview = false;
};

class PrefetchLoader {
 public:
  // `reader` reads a JPEG file's metadata as ViewerState::ReadMetadata does (it is called on
  // the worker thread, so it must not touch shared state); none leaves the record empty.
  explicit PrefetchLoader(ViewerState::MetadataReader reader = {});
  ~PrefetchLoader();
  PrefetchLoader(const PrefetchLoader&) = delete;
  PrefetchLoader& operator=(const PrefetchLoader&) = delete;

  // The files to have ready, most wanted first, and the bytes their pictures may take; the
  // picture of `keep` (the file shown) stays if it is ready, but is not decoded. Ready
  // pictures of other files are dropped; a decode of another file still running is dropped
  // when it ends. A budget of 0 or less drops everything and decodes nothing. The worker
  // thread starts with the first wish that has a budget.
  void Want(std::vector<std::string> paths, int64_t budgetBytes, const DisplayPlan& plan = {},
            std::string keep = {});
  // The same with previews: a preview wish is met by a preview or the exact picture. Previews
  // are made for `plan` only; a file without one is not tried again under the same plan.
  void Want(std::vector<PrefetchWish> wishes, int64_t budgetBytes, const DisplayPlan& plan = {},
            std::string keep = {});

  // Runs on the worker thread each time the work on the exact picture of a file ends (ready,
  // failed or declined); the view then looks whether the picture it waits for is there. A
  // call in progress ends before a new callback (or none) is set.
  void OnExactSettled(std::function<void()> callback);

  // The prefetched picture of `path`, when one is ready and the file is still as it was while
  // decoded; waits for the worker when it is working on exactly this file. Otherwise nothing,
  // and the file is no longer wanted (the caller loads it itself). When a copy was made
  // ahead, the copy is handed out and the picture stays ready for a step back.
  std::optional<PrefetchedPicture> Take(const std::string& path);

  // Stops an exact decode of another file than `path` that is running now: the caller is about
  // to decode for the screen itself and needs the processor. The stopped one is decoded again
  // when its turn comes.
  void StopDecodeUnlessFor(const std::string& path);

  // The exact picture of `path` is ready now, or decoded and only being copied or given its
  // display bitmap by the worker (a wait far shorter than any decode).
  bool ExactReady(const std::string& path) const;
  // The exact picture of `path` is still to come from the worker: wished, not declined, not
  // ready, and either being decoded or with room in the budget.
  bool ExactPending(const std::string& path) const;
  // A copy of the preview of `path` made for `plan`, when one is ready (waits while the worker
  // makes exactly this preview); the wish stays.
  std::optional<PreviewPicture> TakePreview(const std::string& path, const DisplayPlan& plan);

  // The next layout changed (fullscreen on or off): the display bitmaps of the wanted
  // pictures are made again for `plan`, in the order of the wish.
  void Replan(const DisplayPlan& plan);

  // Drops whatever is ready or wanted for `path` (a reload reads the file again).
  void Forget(const std::string& path);

  // Waits until the worker has nothing left to do; for tests and measurements.
  void WaitIdle();

  struct Counters {
    int32_t decoded = 0;    // pictures the worker produced
    int32_t adopted = 0;    // pictures handed out by Take
    int32_t dropped = 0;    // ready or finished pictures no longer wanted
    int32_t changed = 0;    // pictures refused because their file changed on disk
    int32_t declined = 0;   // files left to the normal load, or over the budget
    int32_t previews = 0;   // previews the worker made
    int32_t cancelled = 0;  // exact decodes stopped for more urgent work
  };
  Counters counters() const;
  bool workerStarted() const;

 private:
  void Run();
  bool IsWanted(const std::string& path) const;
  bool IsWantedExact(const std::string& path) const;
  bool IsDeclined(const std::string& path) const;
  int64_t ReadyBytes() const;
  struct Work {
    std::string path;
    bool copy = false;       // make the spare copy of a ready picture, not decode
    bool redisplay = false;  // make the display bitmap of a ready picture for the plan
    bool preview = false;    // make the preview only
  };
  std::optional<Work> NextWork() const;
  std::vector<PrefetchedPicture>::iterator FindReady(const std::string& path);
  std::optional<PrefetchedPicture> DecodeOne(const std::string& path, const DisplayPlan& plan) const;
  void CancelStaleDecode();

  const ViewerState::MetadataReader reader_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;   // the worker: a new wish, or stop
  std::condition_variable done_;   // waiters: a decode ended
  std::vector<PrefetchWish> wanted_;
  std::string keep_;  // ready picture kept without being wanted: the one shown
  std::vector<std::string> declined_;  // wanted, but not to be tried again
  std::vector<std::string> noPreview_;  // no preview under the current plan
  std::mutex callbackMutex_;  // held while exactSettled_ runs or changes
  std::function<void()> exactSettled_;
  std::vector<PrefetchedPicture> ready_;
  std::vector<PrefetchedPicture> trash_;  // dropped pictures the worker frees
  std::optional<std::string> inFlight_;
  bool inFlightPreview_ = false;
  bool inFlightDecoded_ = false;  // the work on inFlight_ is a copy or a display bitmap
  // Set when the exact decode running is no longer the most wanted work (the user stepped
  // on and a preview is wanted first); the decode stops early.
  std::atomic<bool> cancel_{false};
  int64_t budget_ = 0;
  DisplayPlan plan_;
  bool stop_ = false;
  Counters counters_;
  std::thread worker_;
};

}  // namespace qp
