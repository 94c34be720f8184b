#include "codecs/file_filters.h"

#include <mutex>
#include <optional>

#include "codecs/avif.h"
#include "codecs/format_table.h"
#include "codecs/freeimage.h"
#include "codecs/runtime_library.h"
#include "codecs/video.h"
#include "core/paths.h"

namespace qp {

namespace {

constexpr std::string_view kOpenPrefix = "Supported Image Files|";
constexpr std::string_view kOpenSuffix = "|All Files (*.*)|*.*||";
constexpr std::string_view kSaveSuffix = "||";

bool Present(Provider p, const ComponentPresence& c) {
  switch (p) {
    case Provider::Builtin: return true;
    case Provider::FreeImage: return c.freeImage;
    case Provider::LuraWave: return c.luraWave;
    case Provider::Avif: return c.avif;
    case Provider::Video: return c.video;
  }
  return false;
}

// The listed extensions as "*.a;*.b", the built-in ones first, then each present component's.
std::string PatternsFor(const ComponentPresence& c) {
  std::string out;
  for (Provider p : {Provider::Builtin, Provider::FreeImage, Provider::LuraWave, Provider::Avif,
                     Provider::Video}) {
    if (!Present(p, c)) continue;
    for (const ExtensionRow& row : Extensions()) {
      if (!row.listed || row.provider != p) continue;
      if (!out.empty()) out += ';';
      out += '*';
      out += row.ext;
    }
  }
  return out;
}

// "desc|patterns|desc|patterns..." of the rows whose provider is present, each entry preceded
// by "|".
std::string FilterEntries(std::span<const FilterRow> rows, const ComponentPresence& c) {
  std::string out;
  for (const FilterRow& row : rows) {
    if (!Present(row.provider, c)) continue;
    out += '|';
    out += row.description;
    out += '|';
    out += row.patterns;
  }
  return out;
}

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
  patterns = PatternsFor(components);
  save = FilterEntries(SaveFilterRows(), components).substr(1);  // no "|" before the first

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
  const std::string openFixed = FilterEntries(OpenFilterRows(), components);
  const size_t fixed = kOpenPrefix.size() + openFixed.size() + kOpenSuffix.size();
  std::string& open = out.openFilter;
  open = kOpenPrefix;
  open += WholePatterns(patterns, kMaxFilterText - fixed);
  open += openFixed;
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
