#include "colour/colour_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qp {

namespace {

cmsHPROFILE H(const ColourProfile* p) { return static_cast<cmsHPROFILE>(p->handle()); }

// Profiles a file may embed are small; anything larger is refused before lcms parses it.
constexpr size_t kMaxIccBytes = 64u * 1024 * 1024;

std::string Description(cmsHPROFILE h) {
  char text[256] = {0};
  if (cmsGetProfileInfoASCII(h, cmsInfoDescription, "en", "US", text, sizeof text) == 0) return {};
  std::string s(text);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// Recently read ICC profiles: the photos of one camera or one folder share theirs, so a step
// to the next photo neither parses nor hashes the profile again.
struct RecentProfiles {
  std::mutex mutex;
  std::deque<ColourProfilePtr> list;
};
RecentProfiles& Recent() {
  static RecentProfiles r;
  return r;
}
constexpr size_t kRecentProfiles = 8;

struct CurveDeleter {
  void operator()(cmsToneCurve* c) const noexcept { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveDeleter>;

// The parametric curve with lcms's type 4: Y = (aX + b)^g for X >= d, cX below.
Curve PiecewiseCurve(double g, double a, double b, double c, double d) {
  const double params[5] = {g, a, b, c, d};
  return Curve(cmsBuildParametricToneCurve(nullptr, 4, params));
}
Curve SrgbCurve() { return PiecewiseCurve(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045); }
Curve Bt709Curve() { return PiecewiseCurve(1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081); }
Curve GammaCurve(double exponent) { return Curve(cmsBuildGamma(nullptr, exponent)); }

// High-dynamic-range signals are shown with their reference white at the screen's white and
// anything brighter clipped: no tone mapping, but the picture's ordinary tones are right.
Curve TabulatedCurve(double (*f)(double)) {
  constexpr int kPoints = 4096;
  std::vector<float> values(kPoints);
  for (int i = 0; i < kPoints; ++i)
    values[static_cast<size_t>(i)] =
        static_cast<float>(std::clamp(f(i / double(kPoints - 1)), 0.0, 1.0));
  return Curve(cmsBuildTabulatedToneCurveFloat(nullptr, kPoints, values.data()));
}
double PqToLinear(double e) {
  constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                   c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
  const double p = std::pow(e, 1 / m2);
  const double nits = 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
  return nits / 203.0;  // 203 cd/m2 is the reference white of HDR pictures
}
double HlgToLinear(double e) {
  constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
  const double scene = e <= 0.5 ? e * e / 3 : (std::exp((e - c) / a) + b) / 12;
  return scene / 0.26496256;  // the scene light of signal 0.75, HLG's reference white
}

struct Primaries {
  double x[8];  // white, red, green, blue as x, y pairs
};
constexpr Primaries kBt709{{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06}};

std::shared_ptr<const ColourProfile> BuildRgb(const Primaries& p, const Curve& curve,
                                              const std::string& description);

struct CicpMeaning {
  std::optional<Primaries> primaries;
  std::string primariesName;
  Curve curve;
  std::string transferName;
};

// The primaries and transfer of code points, when understood. Unspecified primaries with a
// known transfer are BT.709's, an unspecified transfer with known primaries is sRGB's.
std::optional<CicpMeaning> Meaning(const Cicp& c) {
  CicpMeaning m;
  switch (c.primaries) {
    case 1: case 2: m.primaries = kBt709; m.primariesName = "BT.709"; break;
    case 4: m.primaries = Primaries{{0.310, 0.316, 0.67, 0.33, 0.21, 0.71, 0.14, 0.08}}; m.primariesName = "BT.470 M"; break;
    case 5: m.primaries = Primaries{{0.3127, 0.3290, 0.64, 0.33, 0.29, 0.60, 0.15, 0.06}}; m.primariesName = "BT.601 625"; break;
    case 6: case 7: m.primaries = Primaries{{0.3127, 0.3290, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070}}; m.primariesName = "BT.601 525"; break;
    case 9: m.primaries = Primaries{{0.3127, 0.3290, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046}}; m.primariesName = "BT.2020"; break;
    case 11: m.primaries = Primaries{{0.314, 0.351, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060}}; m.primariesName = "DCI-P3"; break;
    case 12: m.primaries = Primaries{{0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060}}; m.primariesName = "Display P3"; break;
    default: return std::nullopt;
  }
  switch (c.transfer) {
    case 1: case 6: case 14: case 15: m.curve = Bt709Curve(); m.transferName = "BT.709"; break;
    case 2: case 13: m.curve = SrgbCurve(); m.transferName = "sRGB"; break;
    case 4: m.curve = GammaCurve(2.2); m.transferName = "gamma 2.2"; break;
    case 5: m.curve = GammaCurve(2.8); m.transferName = "gamma 2.8"; break;
    case 8: m.curve = GammaCurve(1.0); m.transferName = "linear"; break;
    case 16: m.curve = TabulatedCurve(PqToLinear); m.transferName = "PQ"; break;
    case 18: m.curve = TabulatedCurve(HlgToLinear); m.transferName = "HLG"; break;
    default: return std::nullopt;
  }
  if (c.primaries == 2 && c.transfer == 2) return std::nullopt;
  if (!m.curve) return std::nullopt;
  return m;
}

bool IsSrgbCicp(const Cicp& c) {
  return (c.primaries == 1 || c.primaries == 2) && (c.transfer == 13 || c.transfer == 2);
}

std::string CicpDescription(const Cicp& c, const CicpMeaning& m) {
  char codes[32];
  std::snprintf(codes, sizeof codes, " (CICP %u/%u)", unsigned{c.primaries}, unsigned{c.transfer});
  if (c.primaries == 12 && c.transfer == 13) return "Display P3" + std::string(codes);
  return m.primariesName + " primaries, " + m.transferName + " transfer" + codes;
}

}  // namespace

ColourProfile::~ColourProfile() {
  if (handle_) cmsCloseProfile(static_cast<cmsHPROFILE>(handle_));
}

std::shared_ptr<const ColourProfile> ColourProfile::Adopt(void* handle, std::vector<uint8_t> icc,
                                                          std::string description) {
  std::shared_ptr<ColourProfile> p(new ColourProfile());
  p->handle_ = handle;
  auto* h = static_cast<cmsHPROFILE>(handle);
  p->grey_ = cmsGetColorSpace(h) == cmsSigGrayData;
  cmsMD5computeID(h);
  cmsGetHeaderProfileID(h, p->id_.data());
  p->icc_ = std::move(icc);
  p->description_ = std::move(description);
  return p;
}

std::shared_ptr<const ColourProfile> ColourProfile::FromIcc(std::span<const uint8_t> icc) {
  if (icc.size() < 132 || icc.size() > kMaxIccBytes) return nullptr;
  RecentProfiles& recent = Recent();
  {
    std::lock_guard lock(recent.mutex);
    for (const auto& p : recent.list)
      if (p->icc_.size() == icc.size() && std::equal(icc.begin(), icc.end(), p->icc_.begin()))
        return p;
  }
  cmsHPROFILE h = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
  if (h == nullptr) return nullptr;
  const cmsColorSpaceSignature space = cmsGetColorSpace(h);
  const cmsProfileClassSignature cls = cmsGetDeviceClass(h);
  if ((space != cmsSigRgbData && space != cmsSigGrayData) || cls == cmsSigLinkClass ||
      cls == cmsSigAbstractClass || cls == cmsSigNamedColorClass) {
    cmsCloseProfile(h);
    return nullptr;
  }
  std::string description = Description(h);
  if (description.empty()) description = "ICC profile";
  auto p = Adopt(h, std::vector<uint8_t>(icc.begin(), icc.end()), std::move(description));
  std::lock_guard lock(recent.mutex);
  recent.list.push_front(p);
  if (recent.list.size() > kRecentProfiles) recent.list.pop_back();
  return p;
}

namespace {

std::vector<uint8_t> SaveToMemory(cmsHPROFILE h) {
  cmsUInt32Number size = 0;
  std::vector<uint8_t> bytes;
  if (cmsSaveProfileToMem(h, nullptr, &size) && size > 0) {
    bytes.resize(size);
    if (!cmsSaveProfileToMem(h, bytes.data(), &size)) bytes.clear();
  }
  return bytes;
}

// The bytes of a profile made here, with its identity. lcms dates a new profile with the
// clock, and the date is part of what the identity hashes; so the header gets a fixed date
// (2000-01-01 00:00:00) and the same colour space always gives the same bytes and identity,
// whatever second it was made in. A file saved with them names the same profile.
std::vector<uint8_t> StableBytes(cmsHPROFILE made) {
  std::vector<uint8_t> bytes = SaveToMemory(made);
  if (bytes.size() < 132) return {};
  // dateTimeNumber at offset 24: year, month, day, hours, minutes, seconds, each 16 bits.
  const uint8_t date[12] = {0x07, 0xD0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
  std::memcpy(bytes.data() + 24, date, sizeof date);
  cmsHPROFILE h = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
  if (h == nullptr) return {};
  cmsMD5computeID(h);
  bytes = SaveToMemory(h);
  cmsCloseProfile(h);
  return bytes;
}

std::shared_ptr<const ColourProfile> BuildRgb(const Primaries& p, const Curve& curve,
                                              const std::string& description) {
  if (!curve) return nullptr;
  const cmsCIExyY white{p.x[0], p.x[1], 1.0};
  const cmsCIExyYTRIPLE primaries{{p.x[2], p.x[3], 1.0}, {p.x[4], p.x[5], 1.0}, {p.x[6], p.x[7], 1.0}};
  cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
  cmsHPROFILE h = cmsCreateRGBProfile(&white, &primaries, curves);
  if (h == nullptr) return nullptr;
  if (cmsMLU* mlu = cmsMLUalloc(nullptr, 1)) {
    cmsMLUsetASCII(mlu, "en", "US", description.c_str());
    cmsWriteTag(h, cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
  }
  std::vector<uint8_t> bytes = StableBytes(h);
  cmsCloseProfile(h);
  if (bytes.empty()) return nullptr;
  return ColourProfile::FromIcc(bytes);  // read back: the same object a file with it gives
}

}  // namespace

std::shared_ptr<const ColourProfile> ColourProfile::FromCicp(const Cicp& cicp) {
  if (IsSrgbCicp(cicp)) return nullptr;
  auto m = Meaning(cicp);
  if (!m) return nullptr;
  return BuildRgb(*m->primaries, m->curve, CicpDescription(cicp, *m));
}

std::shared_ptr<const ColourProfile> ColourProfile::FromPng(const PngColourChunks& c) {
  if (c.cicp) {
    if (IsSrgbCicp(*c.cicp)) return nullptr;
    if (auto m = Meaning(*c.cicp)) return BuildRgb(*m->primaries, m->curve, CicpDescription(*c.cicp, *m));
  }
  if (c.icc) {
    if (auto p = FromIcc(*c.icc)) return p;
  }
  if (c.srgbIntent) return nullptr;
  const bool gammaUsable = c.gamma && *c.gamma > 0.01 && *c.gamma < 10;
  if (!gammaUsable && !c.chromaticities) return nullptr;
  Primaries primaries = kBt709;
  if (c.chromaticities) {
    const auto& x = *c.chromaticities;
    const bool sane = std::all_of(x.begin(), x.end(), [](double v) { return v > 0 && v < 1; });
    if (sane) std::copy(x.begin(), x.end(), primaries.x);
  }
  char text[64];
  std::string description;
  if (gammaUsable) {
    std::snprintf(text, sizeof text, "gAMA %.5f", *c.gamma);
    description = text;
    if (c.chromaticities) description += " with cHRM";
  } else {
    description = "cHRM";
  }
  // gAMA holds the encoding exponent: the file's values were raised to it, so the decoding
  // curve is its inverse. Without gAMA the transfer is sRGB's.
  Curve curve = gammaUsable ? GammaCurve(1.0 / *c.gamma) : SrgbCurve();
  return BuildRgb(primaries, curve, description);
}

std::shared_ptr<const ColourProfile> ColourProfile::Srgb() {
  static const ColourProfilePtr srgb = [] {
    cmsHPROFILE h = cmsCreate_sRGBProfile();
    const std::vector<uint8_t> bytes = StableBytes(h);
    cmsCloseProfile(h);
    return FromIcc(bytes);
  }();
  return srgb;
}

std::string ColourSpaceName(const ColourProfile* profile) {
  return profile ? profile->description() : std::string("sRGB");
}

// ---- conversions ----

namespace {

constexpr int32_t kLinearSteps = 1 << 14;  // 1.0 in 1.14 fixed point

struct TransformDeleter {
  void operator()(void* t) const noexcept { cmsDeleteTransform(static_cast<cmsHTRANSFORM>(t)); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

// A conversion between two matrix-shaper profiles (a tone curve per channel and three
// primaries), done per pixel with tables instead of through lcms's general pipeline: each
// channel to linear light through its curve (1.14 fixed point), the 3 x 3 matrix from the
// source's primaries to the target's (1.14), and the target's inverse curve over 16385 linear
// steps. The arithmetic is the one lcms's own 8-bit matrix-shaper path uses, and each table
// set is checked against lcms when it is made. The matrix is folded into the first tables:
// entry v of `byRed` holds what red value v adds to the red, green and blue sums.
struct MatrixShaper {
  using Sums = std::array<std::array<int32_t, 4>, 256>;
  alignas(16) Sums byRed{};
  alignas(16) Sums byGreen{};
  alignas(16) Sums byBlue{};
  std::array<std::array<uint8_t, kLinearSteps + 1>, 3> encode{};  // red, green, blue out
};

// One source and target pair: whether it changes colours at all, and its conversions.
struct Pair {
  std::array<uint8_t, 16> from{}, to{};
  bool failed = false;
  bool identity = false;
  Transform bgr, bgra;
  bool shaperTried = false;
  std::unique_ptr<const MatrixShaper> shaper;  // null: lcms converts
};

std::atomic<bool> shaperConversions{true};

struct Cache {
  std::mutex mutex;
  std::deque<std::shared_ptr<Pair>> pairs;
  int32_t made = 0;
};
Cache& TheCache() {
  static Cache c;
  return c;
}
constexpr size_t kCachedPairs = 16;
const ColourProfile& SrgbRef() { return *ColourProfile::Srgb(); }

cmsUInt32Number InputFormat(const ColourProfile& p, int bytesPerPixel) {
  if (p.grey())
    return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(bytesPerPixel - 1);
  return bytesPerPixel == 3 ? TYPE_BGR_8 : TYPE_BGRA_8;
}

Transform Make(const ColourProfile& from, const ColourProfile& to, cmsUInt32Number in,
               cmsUInt32Number out) {
  // No cache inside the transform: the same one runs on the worker and the UI thread at once.
  return Transform(cmsCreateTransform(H(&from), in, H(&to), out, INTENT_PERCEPTUAL,
                                      cmsFLAGS_NOCACHE));
}

// Whether a conversion leaves every channel within one level of where it was, on a grid
// through the whole cube (or the grey ramp).
bool ChangesNothing(const ColourProfile& from, const ColourProfile& to) {
  Transform probe = Make(from, to, InputFormat(from, 3), TYPE_BGR_8);
  if (!probe) return false;
  std::vector<uint8_t> in, out;
  for (int b = 0; b <= 255; b += 15)
    for (int g = 0; g <= 255; g += 15)
      for (int r = 0; r <= 255; r += 15) {
        const int grey = from.grey() ? r : -1;
        in.push_back(static_cast<uint8_t>(grey >= 0 ? grey : b));
        in.push_back(static_cast<uint8_t>(grey >= 0 ? grey : g));
        in.push_back(static_cast<uint8_t>(r));
      }
  out.resize(in.size());
  cmsDoTransform(probe.get(), in.data(), out.data(), static_cast<cmsUInt32Number>(in.size() / 3));
  for (size_t i = 0; i < in.size(); ++i)
    if (std::abs(int{in[i]} - int{out[i]}) > 1) return false;
  return true;
}

using Matrix3 = std::array<std::array<double, 3>, 3>;

// The profile's primaries as the columns of its RGB to XYZ (D50) matrix.
std::optional<Matrix3> Colorants(cmsHPROFILE h) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  Matrix3 m{};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, tags[c]));
    if (xyz == nullptr) return std::nullopt;
    m[0][c] = xyz->X;
    m[1][c] = xyz->Y;
    m[2][c] = xyz->Z;
  }
  return m;
}

std::optional<Matrix3> Inverted(const Matrix3& m) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (std::fabs(det) < 1e-9) return std::nullopt;
  Matrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
      r[i][j] = (m[a][c] * m[b][d] - m[a][d] * m[b][c]) / det;
    }
  return r;
}

const cmsToneCurve* TrcOf(cmsHPROFILE h, int channel) {
  const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  return static_cast<const cmsToneCurve*>(cmsReadTag(h, tags[channel]));
}

inline int32_t ClampLinear(int32_t v) { return v < 0 ? 0 : v > kLinearSteps ? kLinearSteps : v; }

void RunShaper(const MatrixShaper& f, uint8_t* p, size_t count, int bytesPerPixel) {
  // Table addresses in locals: the pixel stores are bytes, which may alias anything, so what
  // is read through `f` would be read again after every pixel.
  const int32_t* byRed = f.byRed[0].data();
  const int32_t* byGreen = f.byGreen[0].data();
  const int32_t* byBlue = f.byBlue[0].data();
  const uint8_t* outRed = f.encode[0].data();
  const uint8_t* outGreen = f.encode[1].data();
  const uint8_t* outBlue = f.encode[2].data();
#if defined(__SSE2__)
  // The three sums of a pixel in one register: three loads, two adds, one shift and a clamp.
  const __m128i low = _mm_setzero_si128(), high = _mm_set1_epi16(kLinearSteps);
  for (size_t i = 0; i < count; ++i, p += bytesPerPixel) {
    __m128i sum = _mm_add_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(byRed + 4 * p[2])),
                                _mm_load_si128(reinterpret_cast<const __m128i*>(byGreen + 4 * p[1])));
    sum = _mm_add_epi32(sum, _mm_load_si128(reinterpret_cast<const __m128i*>(byBlue + 4 * p[0])));
    sum = _mm_srai_epi32(sum, 14);
    sum = _mm_packs_epi32(sum, sum);
    sum = _mm_min_epi16(_mm_max_epi16(sum, low), high);
    const uint8_t red = outRed[_mm_extract_epi16(sum, 0)];
    const uint8_t green = outGreen[_mm_extract_epi16(sum, 1)];
    const uint8_t blue = outBlue[_mm_extract_epi16(sum, 2)];
    p[0] = blue;
    p[1] = green;
    p[2] = red;
  }
#else
  for (size_t i = 0; i < count; ++i, p += bytesPerPixel) {
    const int32_t* r = byRed + 4 * p[2];
    const int32_t* g = byGreen + 4 * p[1];
    const int32_t* b = byBlue + 4 * p[0];
    const uint8_t red = outRed[ClampLinear((r[0] + g[0] + b[0]) >> 14)];
    const uint8_t green = outGreen[ClampLinear((r[1] + g[1] + b[1]) >> 14)];
    const uint8_t blue = outBlue[ClampLinear((r[2] + g[2] + b[2]) >> 14)];
    p[0] = blue;
    p[1] = green;
    p[2] = red;
  }
#endif
}

// Colours that show where table conversions go wrong: a grid through the whole cube, and every
// level of each channel alone and of grey (the dark end is where curves are steepest).
std::vector<uint8_t> ProbeColours() {
  std::vector<uint8_t> bgr;
  for (int b = 0; b <= 255; b += 15)
    for (int g = 0; g <= 255; g += 15)
      for (int r = 0; r <= 255; r += 15) bgr.insert(bgr.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
  for (int v = 0; v <= 255; ++v) {
    const uint8_t u = static_cast<uint8_t>(v);
    bgr.insert(bgr.end(), {u, u, u, 0, 0, u, 0, u, 0, u, 0, 0});
  }
  return bgr;
}

// The table conversion of two RGB matrix-shaper profiles, when it gives lcms's own results
// within one level on the probe colours; null otherwise (lcms converts then).
std::unique_ptr<const MatrixShaper> MakeShaper(const ColourProfile& from, const ColourProfile& to) {
  cmsHPROFILE src = H(&from), dst = H(&to);
  if (from.grey() || to.grey() || !cmsIsMatrixShaper(src) || !cmsIsMatrixShaper(dst)) return nullptr;
  const std::optional<Matrix3> in = Colorants(src), outColorants = Colorants(dst);
  if (!in || !outColorants) return nullptr;
  const std::optional<Matrix3> out = Inverted(*outColorants);
  if (!out) return nullptr;
  // The matrix in 1.14 fixed point; the sums of its products with 1.14 values must stay
  // within 32 bits.
  std::array<std::array<int32_t, 3>, 3> matrix{};
  for (size_t i = 0; i < 3; ++i) {
    double rowSum = 0;
    for (size_t j = 0; j < 3; ++j) {
      double v = 0;
      for (size_t k = 0; k < 3; ++k) v += (*out)[i][k] * (*in)[k][j];
      rowSum += std::fabs(v);
      matrix[i][j] = static_cast<int32_t>(std::lround(v * kLinearSteps));
    }
    if (rowSum > 7.5) return nullptr;
  }
  auto f = std::make_unique<MatrixShaper>();
  MatrixShaper::Sums* sums[3] = {&f->byRed, &f->byGreen, &f->byBlue};
  for (size_t c = 0; c < 3; ++c) {
    const cmsToneCurve* curveIn = TrcOf(src, static_cast<int>(c));
    const cmsToneCurve* curveOut = TrcOf(dst, static_cast<int>(c));
    if (curveIn == nullptr || curveOut == nullptr) return nullptr;
    Curve inverse(cmsReverseToneCurve(curveOut));
    if (!inverse) return nullptr;
    for (size_t v = 0; v < 256; ++v) {
      const double y = std::clamp(
          static_cast<double>(cmsEvalToneCurveFloat(curveIn, static_cast<float>(v / 255.0))), 0.0, 1.0);
      const int32_t linear = static_cast<int32_t>(std::lround(y * kLinearSteps));
      // The rounding of the sums rides on the red table.
      for (size_t o = 0; o < 3; ++o)
        (*sums[c])[v][o] = matrix[o][c] * linear + (c == 0 ? 1 << 13 : 0);
    }
    auto& encode = f->encode[c];
    for (int i = 0; i <= kLinearSteps; ++i) {
      const double v = std::clamp(static_cast<double>(cmsEvalToneCurveFloat(
                                      inverse.get(), static_cast<float>(double(i) / kLinearSteps))),
                                  0.0, 1.0);
      encode[static_cast<size_t>(i)] = static_cast<uint8_t>(std::lround(v * 255));
    }
  }
  // The check against lcms.
  Transform reference(cmsCreateTransform(src, TYPE_BGR_8, dst, TYPE_BGR_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
  if (!reference) return nullptr;
  std::vector<uint8_t> expected = ProbeColours();
  std::vector<uint8_t> got = expected;
  cmsDoTransform(reference.get(), expected.data(), expected.data(), static_cast<cmsUInt32Number>(expected.size() / 3));
  RunShaper(*f, got.data(), got.size() / 3, 3);
  for (size_t i = 0; i < got.size(); ++i)
    if (std::abs(int{got[i]} - int{expected[i]}) > 1) return nullptr;
  return f;
}

std::shared_ptr<Pair> PairFor(const ColourProfile& from, const ColourProfile& to) {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  for (const auto& p : cache.pairs)
    if (p->from == from.id() && p->to == to.id()) return p;
  auto p = std::make_shared<Pair>();
  p->from = from.id();
  p->to = to.id();
  p->identity = from.id() == to.id() || ChangesNothing(from, to);
  cache.pairs.push_front(p);
  if (cache.pairs.size() > kCachedPairs) cache.pairs.pop_back();
  return p;
}

// The pair's table conversion, made on first use (and counted as a conversion made); call with
// the cache locked.
const MatrixShaper* ShaperOf(Pair& pair, const ColourProfile& src, const ColourProfile& dst) {
  if (!pair.shaperTried) {
    pair.shaperTried = true;
    pair.shaper = MakeShaper(src, dst);
    if (pair.shaper) ++TheCache().made;
  }
  return pair.shaper.get();
}

bool Convert(uint8_t* pixels, size_t count, const ColourProfile* from, const ColourProfile* to,
             int bytesPerPixel) {
  const ColourProfile& src = from ? *from : SrgbRef();
  const ColourProfile& dst = to ? *to : SrgbRef();
  if (src.id() == dst.id() || count == 0) return true;
  if (dst.grey()) return false;  // a grey target cannot show colour pictures
  std::shared_ptr<Pair> pair = PairFor(src, dst);
  void* transform = nullptr;
  const MatrixShaper* shaper = nullptr;
  {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    if (pair->identity) return true;
    if (shaperConversions.load(std::memory_order_relaxed)) shaper = ShaperOf(*pair, src, dst);
  }
  if (shaper != nullptr) {
    RunShaper(*shaper, pixels, count, bytesPerPixel);
    return true;
  }
  {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    Transform& slot = bytesPerPixel == 3 ? pair->bgr : pair->bgra;
    if (!slot && !pair->failed) {
      slot = Make(src, dst, InputFormat(src, bytesPerPixel), bytesPerPixel == 3 ? TYPE_BGR_8 : TYPE_BGRA_8);
      if (!slot) pair->failed = true;
      else ++cache.made;
    }
    transform = slot.get();
  }
  if (transform == nullptr) return false;
  // In place: the formats have the same size, and extra channels (alpha) are not written.
  constexpr size_t kChunk = size_t{1} << 24;
  for (size_t done = 0; done < count; done += kChunk) {
    const size_t n = std::min(kChunk, count - done);
    uint8_t* p = pixels + done * static_cast<size_t>(bytesPerPixel);
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), p, p, static_cast<cmsUInt32Number>(n));
  }
  return true;
}

}  // namespace

bool SameColours(const ColourProfile* from, const ColourProfile* to) {
  const ColourProfile& src = from ? *from : SrgbRef();
  const ColourProfile& dst = to ? *to : SrgbRef();
  if (src.id() == dst.id()) return true;
  if (dst.grey()) return false;
  return PairFor(src, dst)->identity;
}

bool ConvertBgr(uint8_t* pixels, size_t count, const ColourProfile* from, const ColourProfile* to) {
  return Convert(pixels, count, from, to, 3);
}

bool ConvertBgra(uint8_t* pixels, size_t count, const ColourProfile* from,
                 const ColourProfile* to) {
  return Convert(pixels, count, from, to, 4);
}

bool ConvertsByTables(const ColourProfile* from, const ColourProfile* to) {
  const ColourProfile& src = from ? *from : SrgbRef();
  const ColourProfile& dst = to ? *to : SrgbRef();
  if (src.id() == dst.id() || dst.grey()) return false;
  std::shared_ptr<Pair> pair = PairFor(src, dst);
  std::lock_guard lock(TheCache().mutex);
  return !pair->identity && ShaperOf(*pair, src, dst) != nullptr;
}

void SetShaperConversions(bool enabled) {
  shaperConversions.store(enabled, std::memory_order_relaxed);
}

int32_t ConversionsMade() {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  return cache.made;
}

}  // namespace qp
