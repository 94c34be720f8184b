// The FreeImage library, loaded at run time when present (Debian's libfreeimage.so.3, looked
// for beside the executable first). Set QUILLPIX_NO_FREEIMAGE in the environment, or call
// SetFreeImageHidden, to run as if it were absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

inline constexpr int32_t kFreeImageBmp = 0;
inline constexpr int32_t kFreeImageTarga = 17;
inline constexpr int32_t kFreeImageTiff = 18;
inline constexpr int32_t kFreeImageJ2k = 30;
inline constexpr int32_t kFreeImageJp2 = 31;

// Loads with a known format number.
std::optional<ImageBuffer> loadWithLibrary(const std::string& path, int32_t format);
// Loads with the format the library detects.
std::optional<ImageBuffer> loadAnyWithLibrary(const std::string& path);
// Saves 24-bit (alpha dropped); the library's success value (non-zero on success).
int32_t saveWithLibrary(const std::string& path, int32_t format, int32_t flags,
                        const uint8_t* pixels, int32_t width, int32_t height);

// Whether the library is loaded and complete (loaded once per run) and not hidden.
bool FreeImageAvailable();
void SetFreeImageHidden(bool hidden);

}  // namespace qp
