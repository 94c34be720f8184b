// Video files through the libFFmpegDLL.so component, played as a Playback.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "codecs/decode_result.h"
#include "core/viewer_state.h"

namespace qp {

// With `animate`, starts a video playback and returns its canvas; while a video playback
// runs, every call returns the next frame (restarting after the last). Without `animate`,
// returns a copy of the first frame. Nothing when the component is missing or the file
// cannot be decoded.
DecodeResult loadVideo(const std::string& path, ViewerState& state, bool animate);

// Whether libFFmpegDLL.so was found with all of its exports (looked for once per run).
bool videoLibraryAvailable();
// Milliseconds per frame of the running video: 100000 / (rate x 100), or 100 when no video
// plays or its rate is unknown.
uint16_t videoFrameDelay(ViewerState& state);
// Duration of the running video in milliseconds, 0 when none plays.
int32_t videoDuration(ViewerState& state);
// Ends a running video playback (releases the component's context).
void closeVideo(ViewerState& state);

// The fields the component leaves in its context record, checked.
struct VideoRecord {
  int32_t audioStream = -1;
  int32_t width = 0;
  int32_t height = 0;
  int32_t durationMs = 0;
  int32_t frameRate100 = 0;
  int32_t frameCount = 0;  // duration x rate / 100000
};
inline constexpr size_t kVideoRecordBytes = 52;
// Reads the record's public fields (bytes 32 to 51); nothing when the frame size is not a
// picture the program can hold.
std::optional<VideoRecord> ParseVideoRecord(std::span<const uint8_t, kVideoRecordBytes> record);
// The frame delay for a rate value: 100 ms when the rate is not positive.
uint16_t VideoDelayForRate(int32_t frameRate100);

// Tests: use the component at `path` instead of looking for it (empty: look again).
void SetVideoLibraryForTesting(const std::string& path);

}  // namespace qp
