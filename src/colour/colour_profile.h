// The colour space a picture's numbers are meant in, and the conversions between colour
// spaces. A picture's pixels stay as the file stored them; its profile travels beside them and
// is applied only on the way out: to the screen, or to a file or the clipboard that cannot
// carry a profile. A null profile means sRGB everywhere.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qp {

// The coding-independent code points of a picture (ITU-T H.273): colour primaries, transfer
// characteristics, matrix coefficients and the full-range flag.
struct Cicp {
  uint8_t primaries = 2;  // 2: unspecified
  uint8_t transfer = 2;
  uint8_t matrix = 2;
  bool fullRange = true;
};

// PNG's colour chunks, as read from the file (absent ones left empty).
struct PngColourChunks {
  std::optional<std::vector<uint8_t>> icc;  // iCCP, decompressed
  std::optional<uint8_t> srgbIntent;        // sRGB
  std::optional<double> gamma;              // gAMA: the encoding exponent, e.g. 0.45455
  // cHRM: white point, red, green and blue as x, y pairs.
  std::optional<std::array<double, 8>> chromaticities;
  std::optional<Cicp> cicp;                 // cICP
};

class ColourProfile {
 public:
  // A profile read from ICC bytes: nothing when lcms cannot read them or they describe
  // anything but an RGB or grey picture.
  static std::shared_ptr<const ColourProfile> FromIcc(std::span<const uint8_t> icc);
  // The profile PNG's chunks describe, in the order of precedence the format gives them
  // (cICP, iCCP, sRGB, then gAMA with cHRM); null for sRGB or no colour chunk.
  static std::shared_ptr<const ColourProfile> FromPng(const PngColourChunks& chunks);
  // The profile of code points; null for sRGB (BT.709 primaries, sRGB transfer) and for code
  // points that are unspecified or not understood.
  static std::shared_ptr<const ColourProfile> FromCicp(const Cicp& cicp);
  // lcms's own sRGB profile (for tests and the screen default).
  static std::shared_ptr<const ColourProfile> Srgb();

  ~ColourProfile();
  ColourProfile(const ColourProfile&) = delete;
  ColourProfile& operator=(const ColourProfile&) = delete;

  // The ICC bytes to embed in a file: the file's own, or the profile made from its chunks.
  const std::vector<uint8_t>& icc() const { return icc_; }
  // The profile's MD5 identity (computed by lcms over the profile with the header fields that
  // do not change colours cleared); equal identities convert as one.
  const std::array<uint8_t, 16>& id() const { return id_; }
  // The profile's description ("Adobe RGB (1998)"), or what it was made from.
  const std::string& description() const { return description_; }
  bool grey() const { return grey_; }
  // The lcms handle (a cmsHPROFILE); owned by this object.
  void* handle() const { return handle_; }

 private:
  ColourProfile() = default;
  static std::shared_ptr<const ColourProfile> Adopt(void* handle, std::vector<uint8_t> icc,
                                                    std::string description);
  void* handle_ = nullptr;
  std::vector<uint8_t> icc_;
  std::array<uint8_t, 16> id_{};
  std::string description_;
  bool grey_ = false;
};

using ColourProfilePtr = std::shared_ptr<const ColourProfile>;

// The name to show for a picture's colour space: the profile's description, "sRGB" for none.
std::string ColourSpaceName(const ColourProfile* profile);

// Whether two profiles convert to the same numbers (both null, equal identities, or a
// conversion that changes no channel by more than one level). Cached with the conversion.
bool SameColours(const ColourProfile* from, const ColourProfile* to);

// Converts packed 24-bit blue, green, red pixels in place from one colour space to another
// (null: sRGB). Nothing to do, and no cost, for the same space. False when no conversion
// could be made (the pixels are then unchanged).
bool ConvertBgr(uint8_t* pixels, size_t count, const ColourProfile* from,
                const ColourProfile* to);
// The same for blue, green, red, alpha pixels; alpha is left as it is.
bool ConvertBgra(uint8_t* pixels, size_t count, const ColourProfile* from,
                 const ColourProfile* to);

// Conversions between two matrix-shaper profiles (most camera, editing and screen profiles) run
// through tables of their own rather than lcms, when those agree with lcms within one level;
// off, lcms converts everything (for benchmarks and tests to compare).
void SetShaperConversions(bool enabled);
// Whether the pair converts through such tables (made on first use).
bool ConvertsByTables(const ColourProfile* from, const ColourProfile* to);

// Number of conversions the cache has made (for tests: a repeated pair makes none).
int32_t ConversionsMade();

}  // namespace qp
