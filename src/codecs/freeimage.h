// The FreeImage library, loaded at run time when present (Debian's libfreeimage.so.3, looked
// for beside the executable first). Set QUILLPIX_NO_FREEIMAGE in the environment, or call
// SetFreeImageHidden, to run as if it were absent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/viewer_state.h"

namespace qp {

inline constexpr int32_t kFreeImageBmp = 0;
inline constexpr int32_t kFreeImageTarga = 17;
inline constexpr int32_t kFreeImageTiff = 18;
inline constexpr int32_t kFreeImageJ2k = 30;
inline constexpr int32_t kFreeImageJp2 = 31;

// Loads with a known format number; `icc` receives the file's colour profile when it has one.
std::optional<ImageBuffer> loadWithLibrary(const std::string& path, int32_t format,
                                           std::vector<uint8_t>* icc = nullptr);
// Loads with the format the library detects.
std::optional<ImageBuffer> loadAnyWithLibrary(const std::string& path,
                                              std::vector<uint8_t>* icc = nullptr);
// Saves 24-bit (alpha dropped); the library's success value (non-zero on success). `icc`,
// when given, is attached as the colour profile (which the TIFF writer stores).
int32_t saveWithLibrary(const std::string& path, int32_t format, int32_t flags,
                        const uint8_t* pixels, int32_t width, int32_t height,
                        std::span<const uint8_t> icc = {});
// Whether a target written by the library keeps a colour profile (TIFF, when the library can
// attach one).
bool LibraryEmbedsProfile(const std::string& path);

// Whether the library is loaded and complete (loaded once per run) and not hidden.
bool FreeImageAvailable();
void SetFreeImageHidden(bool hidden);

}  // namespace qp
