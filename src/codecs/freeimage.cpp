// FreeImage bitmaps are bottom-up with rows padded to 4 bytes; on little-endian builds their
// 32-bit pixels are blue, green, red, alpha in memory, the picture's own order.
#include "codecs/freeimage.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "codecs/format_table.h"
#include "codecs/freeimage_input.h"
#include "core/debug.h"
#include "core/file_io.h"
#include "core/paths.h"

namespace qp {

namespace {

struct FIBITMAP;
struct FIMEMORY;
// The library's colour profile record (flags, size, data).
struct FIICCPROFILE {
  uint16_t flags;
  uint32_t size;
  void* data;
};
using OutputMessageFn = void (*)(int format, const char* message);

struct Api {
  void (*SetOutputMessage)(OutputMessageFn) = nullptr;
  int (*GetFileType)(const char*, int) = nullptr;
  int (*GetFIFFromFilename)(const char*) = nullptr;
  FIBITMAP* (*Load)(int, const char*, int) = nullptr;
  unsigned (*GetWidth)(FIBITMAP*) = nullptr;
  unsigned (*GetHeight)(FIBITMAP*) = nullptr;
  unsigned (*GetPitch)(FIBITMAP*) = nullptr;
  FIBITMAP* (*ConvertTo32Bits)(FIBITMAP*) = nullptr;
  FIBITMAP* (*ConvertTo24Bits)(FIBITMAP*) = nullptr;
  FIBITMAP* (*ConvertTo4Bits)(FIBITMAP*) = nullptr;  // bound but not called
  FIBITMAP* (*ConvertTo8Bits)(FIBITMAP*) = nullptr;  // bound but not called
  uint8_t* (*GetBits)(FIBITMAP*) = nullptr;
  void (*Unload)(FIBITMAP*) = nullptr;
  FIBITMAP* (*ConvertFromRawBits)(uint8_t*, int, int, int, unsigned, unsigned, unsigned,
                                  unsigned, int) = nullptr;
  int (*Save)(int, FIBITMAP*, const char*, int) = nullptr;
  // Optional: libraries without them load pictures without reading the header first.
  int (*FIFSupportsNoPixels)(int) = nullptr;
  // Optional: without them files that need rewriting are handed over as they are.
  FIMEMORY* (*OpenMemory)(uint8_t*, uint32_t) = nullptr;
  FIBITMAP* (*LoadFromMemory)(int, FIMEMORY*, int) = nullptr;
  void (*CloseMemory)(FIMEMORY*) = nullptr;
  // Optional: without them colour profiles are neither read nor written.
  FIICCPROFILE* (*GetICCProfile)(FIBITMAP*) = nullptr;
  FIICCPROFILE* (*CreateICCProfile)(FIBITMAP*, void*, long) = nullptr;
};

// FreeImage's load flag that reads the header and metadata only (FIF_LOAD_NOPIXELS).
constexpr int kLoadNoPixels = 0x8000;

void IgnoreMessage(int, const char*) {}

template <typename F>
bool Bind(void* lib, const char* name, F& fn) {
  fn = reinterpret_cast<F>(dlsym(lib, name));
  return fn != nullptr;
}

// Loaded once per run; a library lacking any function counts as absent.
const Api* LoadApi() {
  static const Api* api = [] () -> const Api* {
    const char* kName = "libfreeimage.so.3";
    void* lib = nullptr;
    const std::string folder = ExecutableFolder();
    if (!folder.empty()) lib = dlopen(JoinPath(folder, kName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) lib = dlopen(kName, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    static Api a;
    const bool ok = Bind(lib, "FreeImage_SetOutputMessage", a.SetOutputMessage) &&
                    Bind(lib, "FreeImage_GetFileType", a.GetFileType) &&
                    Bind(lib, "FreeImage_GetFIFFromFilename", a.GetFIFFromFilename) &&
                    Bind(lib, "FreeImage_Load", a.Load) &&
                    Bind(lib, "FreeImage_GetWidth", a.GetWidth) &&
                    Bind(lib, "FreeImage_GetHeight", a.GetHeight) &&
                    Bind(lib, "FreeImage_GetPitch", a.GetPitch) &&
                    Bind(lib, "FreeImage_ConvertTo32Bits", a.ConvertTo32Bits) &&
                    Bind(lib, "FreeImage_ConvertTo24Bits", a.ConvertTo24Bits) &&
                    Bind(lib, "FreeImage_ConvertTo4Bits", a.ConvertTo4Bits) &&
                    Bind(lib, "FreeImage_ConvertTo8Bits", a.ConvertTo8Bits) &&
                    Bind(lib, "FreeImage_GetBits", a.GetBits) &&
                    Bind(lib, "FreeImage_Unload", a.Unload) &&
                    Bind(lib, "FreeImage_ConvertFromRawBits", a.ConvertFromRawBits) &&
                    Bind(lib, "FreeImage_Save", a.Save);
    if (!ok) {
      DebugLog("freeimage: %s lacks a function, treated as absent", kName);
      return nullptr;
    }
    Bind(lib, "FreeImage_FIFSupportsNoPixels", a.FIFSupportsNoPixels);
    if (!Bind(lib, "FreeImage_OpenMemory", a.OpenMemory) ||
        !Bind(lib, "FreeImage_LoadFromMemory", a.LoadFromMemory) ||
        !Bind(lib, "FreeImage_CloseMemory", a.CloseMemory))
      a.OpenMemory = nullptr;
    Bind(lib, "FreeImage_GetICCProfile", a.GetICCProfile);
    Bind(lib, "FreeImage_CreateICCProfile", a.CreateICCProfile);
    a.SetOutputMessage(IgnoreMessage);
    return &a;
  }();
  return api;
}

std::atomic<bool>& Hidden() {
  static std::atomic<bool> hidden{std::getenv("QUILLPIX_NO_FREEIMAGE") != nullptr};
  return hidden;
}

const Api* Available() { return Hidden().load() ? nullptr : LoadApi(); }

struct Unloader {
  const Api* api;
  void operator()(FIBITMAP* b) const {
    if (b) api->Unload(b);
  }
};

struct MemoryCloser {
  const Api* api;
  void operator()(FIMEMORY* m) const {
    if (m) api->CloseMemory(m);
  }
};

// The first `count` bytes of a regular file (fewer when it is shorter).
std::vector<uint8_t> ReadHead(const std::string& path, size_t count) {
  std::vector<uint8_t> head(count);
  UniqueFile f = OpenRegularFile(path);
  head.resize(f ? std::fread(head.data(), 1, count, f.get()) : 0);
  return head;
}

}  // namespace

bool FreeImageAvailable() { return Available() != nullptr; }
void SetFreeImageHidden(bool hidden) { Hidden().store(hidden); }

std::optional<ImageBuffer> loadWithLibrary(const std::string& path, int32_t format,
                                           std::vector<uint8_t>* icc) {
  const Api* api = Available();
  if (!api || format < 0) return std::nullopt;
  using Bitmap = std::unique_ptr<FIBITMAP, Unloader>;

  // Files the library would decode wrongly go to the next decoder; some it would refuse are
  // handed over rewritten.
  const std::vector<uint8_t> head = ReadHead(path, kLibraryHeadBytes);
  std::vector<uint8_t> rewritten;
  switch (RouteForLibrary(head, format)) {
    case LibraryRoute::NotForLibrary: return std::nullopt;
    case LibraryRoute::Rewrite:
      if (api->OpenMemory) {
        if (auto whole = ReadWholeFile(path)) {
          if (auto copy = RewriteForLibrary(*whole, format)) rewritten = std::move(*copy);
        }
      }
      break;
    case LibraryRoute::AsFile: break;
  }
  // A memory stream keeps its position after a load, so every load gets a fresh one.
  auto load = [&](int flags) {
    if (rewritten.empty()) return Bitmap(api->Load(format, path.c_str(), flags), Unloader{api});
    std::unique_ptr<FIMEMORY, MemoryCloser> memory(
        api->OpenMemory(rewritten.data(), static_cast<uint32_t>(rewritten.size())),
        MemoryCloser{api});
    if (!memory) return Bitmap(nullptr, Unloader{api});
    return Bitmap(api->LoadFromMemory(format, memory.get(), flags), Unloader{api});
  };

  // A header claiming a huge picture would have the library allocate and clear it before
  // failing: where the format allows, read the size alone first and refuse it over the limit.
  if (api->FIFSupportsNoPixels && api->FIFSupportsNoPixels(format)) {
    Bitmap header = load(kLoadNoPixels);
    if (!header || !PictureBytes(api->GetWidth(header.get()), api->GetHeight(header.get())))
      return std::nullopt;
  } else if (const auto claimed = ClaimedPictureSize(head, format)) {
    // Formats without a header-only mode: the size their header claims, read here.
    if (!PictureBytes(claimed->width, claimed->height)) return std::nullopt;
  }
  Bitmap src = load(0);
  if (!src) return std::nullopt;
  const unsigned w = api->GetWidth(src.get()), h = api->GetHeight(src.get());
  if (w == 0 || h == 0 || !PictureBytes(w, h)) return std::nullopt;
  if (icc != nullptr && api->GetICCProfile) {
    const FIICCPROFILE* profile = api->GetICCProfile(src.get());
    if (profile != nullptr && profile->data != nullptr && profile->size > 0) {
      const auto* bytes = static_cast<const uint8_t*>(profile->data);
      icc->assign(bytes, bytes + profile->size);
    }
  }
  Bitmap b32(api->ConvertTo32Bits(src.get()), Unloader{api});
  src.reset();
  if (!b32) return std::nullopt;
  const uint8_t* bits = api->GetBits(b32.get());
  const size_t pitch = api->GetPitch(b32.get());
  const size_t rowBytes = size_t{w} * 4;
  if (!bits || pitch < rowBytes) return std::nullopt;
  auto img = ImageBuffer::Allocate(w, h);
  if (!img) return std::nullopt;
  for (unsigned y = 0; y < h; ++y)
    std::memcpy(img->row(static_cast<int32_t>(y)), bits + size_t{h - 1 - y} * pitch, rowBytes);
  return img;
}

std::optional<ImageBuffer> loadAnyWithLibrary(const std::string& path, std::vector<uint8_t>* icc) {
  const Api* api = Available();
  if (!api) return std::nullopt;
  int format = api->GetFileType(path.c_str(), 0);
  if (format == -1) format = api->GetFIFFromFilename(path.c_str());
  if (format == -1) return std::nullopt;
  return loadWithLibrary(path, format, icc);
}

int32_t saveWithLibrary(const std::string& path, int32_t format, int32_t flags,
                        const uint8_t* pixels, int32_t width, int32_t height,
                        std::span<const uint8_t> icc) {
  const Api* api = Available();
  if (!api || !pixels || !PictureBytes(width, height)) return 0;
  using Bitmap = std::unique_ptr<FIBITMAP, Unloader>;
  // The library only reads the pixels.
  Bitmap b32(api->ConvertFromRawBits(const_cast<uint8_t*>(pixels), width, height, width * 4, 32,
                                     0xFF0000, 0xFF00, 0xFF, 1),
             Unloader{api});
  if (!b32) return 0;
  Bitmap b24(api->ConvertTo24Bits(b32.get()), Unloader{api});
  b32.reset();
  if (!b24) return 0;
  if (!icc.empty() && api->CreateICCProfile &&
      api->CreateICCProfile(b24.get(), const_cast<uint8_t*>(icc.data()), static_cast<long>(icc.size())) == nullptr)
    return 0;
  return api->Save(format, b24.get(), path.c_str(), flags);
}

bool LibraryEmbedsProfile(const std::string& path) {
  const ExtensionRow* row = FindExtension(ExtensionOf(path));
  if (row == nullptr || row->encoder != EncoderId::Library || row->libraryFormat != kFreeImageTiff)
    return false;
  const Api* api = Available();
  return api != nullptr && api->CreateICCProfile != nullptr;
}

}  // namespace qp
