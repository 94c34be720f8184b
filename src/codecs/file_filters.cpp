#include "codecs/file_filters.h"

#include <mutex>
#include <optional>

#include "codecs/avif.h"
#include "codecs/freeimage.h"
#include "codecs/runtime_library.h"
#include "codecs/video.h"
#include "core/paths.h"

namespace qp {

namespace {

constexpr const char* kBuiltinPatterns =
    "*.webp;*.jpg;*.jpeg;*.gif;*.bmp;*.dib;*.png;*.tif;*.tiff;*.wmf;*.emf;*.ico;*.bgra;*.svg;"
    "*.svgz;*.qoi;*.lst";
constexpr const char* kFreeImagePatterns =
    ";*.jp2;*.j2k;*.jif;*.jfif;*.pbm;*.pgm;*.ppm;*.pcd;*.pcx;*.psd;*.lbm;*.tga;*.targa;*.koa;"
    "*.ras;*.cut";
constexpr const char* kBuiltinSave =
    "Google Webp (*.webp)|*.webp|Google Lossless Webp (*.webp)|*.webp|Uncompressed (*.bgra)|"
    "*.bgra|Windows Icon (*.ico)|*.ico|Portable Network Graphics (*.png)|*.png|Quite OK Image "
    "Format (*.qoi)|*.qoi";
constexpr const char* kFreeImageSave =
    "|Windows or OS/2 24-bit Bitmap (*.bmp)|*.bmp|Independent JPEG Group (*.jpg)|*.jpg|JPEG "
    "2000 (*.jp2)|*.jp2|Targa Truevision (*.tga)|*.tga|Tagged Image Format (*.tif)|*.tif";
constexpr std::string_view kOpenPrefix = "Supported Image Files|";
constexpr std::string_view kOpenFixed =
    "|Google Webp (*.webp)|*.webp|Uncompressed (*.bgra)|*.bgra|Windows or OS/2 Bitmap (*.bmp)|"
    "*.bmp|Compuserve Graphics Interchange Format (*.gif)|*.gif|Windows Icon (*.ico)|*.ico|"
    "Independent JPEG Group (*.jpg;*.jpeg)|*.jpg;*.jpeg|Portable Network Graphics (*.png)|*.png|"
    "Tagged Image Format (*.tif)|*.tif;*.tiff|Windows Meta Files (*.wmf)|*.wmf;*.emf|Scalable "
    "Vector Graphics (*.svg;*.svgz)|*.svg;*.svgz|Quite OK Image Format (*.qoi)|*.qoi|Image "
    "List (*.lst)|*.lst";
constexpr std::string_view kOpenSuffix = "|All Files (*.*)|*.*||";
constexpr std::string_view kSaveSuffix = "||";

// "|Description (*.ext)|*.ext"
std::string FilterEntry(const PluginDescription& p) {
  return "|" + p.description + " (*." + p.extension + ")|*." + p.extension;
}

// The longest prefix of a ";"-separated list that ends on a whole pattern and fits `room`.
std::string_view WholePatterns(std::string_view list, size_t room) {
  if (list.size() <= room) return list;
  const size_t cut = list.rfind(';', room);
  return cut == std::string_view::npos ? std::string_view() : list.substr(0, cut);
}

bool LibraryWith(const std::string& fileName, std::initializer_list<const char*> symbols) {
  RuntimeLibrary lib = OpenComponentLibrary(fileName);
  if (!lib) return false;
  for (const char* s : symbols) {
    if (lib.Symbol<void (*)()>(s) == nullptr) return false;
  }
  return true;
}

struct GlobalFilters {
  std::mutex mutex;
  bool built = false;
  std::optional<ComponentPresence> forced;
  FileFilterSet set;
};

GlobalFilters& Globals() {
  static GlobalFilters g;
  return g;
}

}  // namespace

FileFilterSet BuildFileFilters(const ComponentPresence& components,
                               std::span<const PluginDescription> plugins) {
  FileFilterSet out;
  std::string& patterns = out.patterns;
  std::string& save = out.saveFilter;
  patterns = kBuiltinPatterns;
  save = kBuiltinSave;
  if (components.freeImage) {
    patterns += kFreeImagePatterns;
    save += kFreeImageSave;
  }
  if (components.luraWave) patterns += ";*.lwf";
  if (components.avif) patterns += ";*.avif";
  if (components.video) patterns += ";*.mp4;*.webm";

  // Plug-in entries, each kept only while its string stays within the limit with room for a
  // closing "||" (the save filter's own; the open entries are counted the same way).
  std::string openEntries;
  for (const PluginDescription& p : plugins) {
    const std::string entry = FilterEntry(p);
    if (p.flags & kPluginReads) {
      if (patterns.size() + p.extension.size() + 3 <= kMaxFilterText) {
        patterns += ";*." + p.extension;
      }
      if (openEntries.size() + entry.size() + 2 <= kMaxFilterText) openEntries += entry;
    }
    if ((p.flags & kPluginWrites) &&
        save.size() + entry.size() + kSaveSuffix.size() <= kMaxFilterText) {
      save += entry;
    }
  }
  save += kSaveSuffix;

  // The open filter repeats the pattern list: with many plug-ins it takes as many whole
  // patterns as fit beside the fixed entries, then as many plug-in entries as still fit.
  const size_t fixed = kOpenPrefix.size() + kOpenFixed.size() + kOpenSuffix.size();
  std::string& open = out.openFilter;
  open = kOpenPrefix;
  open += WholePatterns(patterns, kMaxFilterText - fixed);
  open += kOpenFixed;
  for (size_t at = 0; at < openEntries.size();) {
    const size_t next = openEntries.find('|', openEntries.find('|', at + 1) + 1);
    const size_t end = next == std::string::npos ? openEntries.size() : next;
    if (open.size() + (end - at) + kOpenSuffix.size() <= kMaxFilterText) {
      open.append(openEntries, at, end - at);
    }
    at = end;
  }
  open += kOpenSuffix;
  return out;
}

ComponentPresence DetectComponents() {
  ComponentPresence c;
  // The same checks the decoders use, so the lists name exactly what can be opened (a
  // hidden FreeImage adds no patterns).
  c.freeImage = FreeImageAvailable();
  c.luraWave = LibraryWith("libLwf.so", {"ReadLuRaWave"});
  c.avif = avifDecoderPresent();
  c.video = videoLibraryAvailable();
  return c;
}

void EnsureFileFilters(SettingsAccess* settings) {
  GlobalFilters& g = Globals();
  std::lock_guard guard(g.mutex);
  if (g.built) return;
  const ComponentPresence components = g.forced ? *g.forced : DetectComponents();
  const std::vector<PluginDescription> plugins = LoadPluginFolder(PluginFolder(settings));
  g.set = BuildFileFilters(components, plugins);
  g.built = true;
}

const std::string& patternList(SettingsAccess* settings) {
  EnsureFileFilters(settings);
  return Globals().set.patterns;
}

const std::string& openFilter(SettingsAccess* settings) {
  EnsureFileFilters(settings);
  return Globals().set.openFilter;
}

const std::string& saveFilter(SettingsAccess* settings) {
  EnsureFileFilters(settings);
  return Globals().set.saveFilter;
}

bool IsSupportedIn(const std::string& patterns, const std::string& path) {
  const std::string ext = ExtensionOf(path);
  if (ext.empty()) return false;
  std::string pattern = "*";
  pattern += ToLowerAscii(ext);
  if (patterns.ends_with(pattern)) return true;
  return patterns.find(pattern + ";") != std::string::npos;
}

bool isSupportedFile(const std::string& path, SettingsAccess* settings) {
  return IsSupportedIn(patternList(settings), path);
}

std::string DefaultSaveExtensionIn(const std::string& filter, int32_t n) {
  if (n < 1) return {};
  const int64_t bars = 2 * int64_t{n} - 1;
  size_t at = 0;
  for (int64_t seen = 0; seen < bars; ++seen) {
    at = filter.find('|', at);
    if (at == std::string::npos) return {};
    ++at;
  }
  if (at < filter.size() && filter[at] == '*') ++at;
  const size_t end = filter.find('|', at);
  return filter.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string defaultSaveExtension(int32_t n, SettingsAccess* settings) {
  return DefaultSaveExtensionIn(saveFilter(settings), n);
}

bool IsSaveExtensionIn(const std::string& filter, const std::string& extension) {
  const std::string needle = "|*." + ToLowerAscii(extension);
  return filter.ends_with(needle) || filter.find(needle + "|") != std::string::npos;
}

bool isSaveExtension(const std::string& extension, SettingsAccess* settings) {
  return IsSaveExtensionIn(saveFilter(settings), extension);
}

void ResetFileFiltersForTesting(const ComponentPresence* components) {
  GlobalFilters& g = Globals();
  std::lock_guard guard(g.mutex);
  g.built = false;
  g.set = FileFilterSet{};
  g.forced = components ? std::optional<ComponentPresence>(*components) : std::nullopt;
  ClearPluginRegistry();
}

}  // namespace qp
