// The plug-in registry: one entry per plug-in library that answered wvGetPluginInfo with
// flags above 0, in the order the folder's files sort by name. Lookups compare the file's
// extension with each entry's, ignoring case.
#include "codecs/plugins.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "codecs/file_filters.h"
#include "codecs/runtime_library.h"
#include "core/debug.h"
#include "core/paths.h"
#include "quillpix_plugin.h"  // components/plugins: the interface plug-ins build against

namespace qp {

namespace {

struct PluginEntry {
  std::shared_ptr<RuntimeLibrary> library;
  int32_t flags = 0;
  std::string extension;
  wvLoadImageFn load = nullptr;
  wvSaveImageFn save = nullptr;
  // Optional colour entry points; null for plug-ins that predate them.
  wvLoadImageWithColourFn loadWithColour = nullptr;
  wvSaveImageWithProfileFn saveWithProfile = nullptr;
};

std::recursive_mutex gRegistryMutex;
std::vector<PluginEntry> gRegistry;

// The extension of a path (text after the last "." of its file name), or the text itself
// when it is a bare extension such as "jxl" or ".jxl".
std::string LookupExtension(const std::string& pathOrExtension) {
  const std::string ext = ExtensionOf(pathOrExtension);
  if (!ext.empty()) return ext.substr(1);
  if (pathOrExtension.find('/') == std::string::npos) return pathOrExtension;
  return {};
}

// Texts that would break the "|"- and ";"-separated lists or match other files.
bool UsableExtension(const std::string& ext) {
  return !ext.empty() && ext.find_first_of("|;*?./\\ ") == std::string::npos;
}

std::string BoundedText(const char* buffer) {
  return std::string(buffer, strnlen(buffer, QP_PLUGIN_TEXT_BYTES - 1));
}

struct FreeBlock {
  void operator()(void* p) const { std::free(p); }
};

// The colour space a plug-in reported: its ICC profile when lcms reads it, else its code
// points; null (sRGB) for neither. The profile block is released here in every case.
ColourProfilePtr ReportedColour(const QuillpixColour& colour) {
  std::unique_ptr<uint8_t, FreeBlock> icc(colour.icc);
  if (icc && colour.iccBytes > 0 && colour.iccBytes <= QP_PLUGIN_MAX_ICC_BYTES &&
      malloc_usable_size(icc.get()) >= colour.iccBytes) {
    if (auto profile = ColourProfile::FromIcc({icc.get(), colour.iccBytes})) return profile;
  }
  if (colour.hasCicp == 0) return nullptr;
  return ColourProfile::FromCicp(
      {colour.primaries, colour.transfer, colour.matrix, colour.fullRange != 0});
}

// The entry saveWithPlugin uses for the extension: the first that writes.
const PluginEntry* Writer(const std::string& ext) {
  for (const PluginEntry& e : gRegistry) {
    if (EqualsIgnoreCase(e.extension, ext) && (e.flags & kPluginWrites) && e.save != nullptr)
      return &e;
  }
  return nullptr;
}

}  // namespace

std::string PluginFolder(SettingsAccess* settings) {
  std::string folder = settings ? settings->ReadText("PluginsPath") : std::string();
  if (!folder.empty()) return folder;
  return JoinPath(ExecutableFolder(), "plugins");
}

std::vector<PluginDescription> LoadPluginFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<PluginDescription> added;
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return added;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    // Only regular files (or links to them): opening a FIFO named like a library would
    // block the program at its first look at the folder.
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0 &&
        it->is_regular_file(ec)) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());

  std::lock_guard guard(gRegistryMutex);
  gRegistry.reserve(gRegistry.size() + names.size());
  for (const std::string& name : names) {
    std::string path = JoinPath(folder, name);
    if (path.find('/') == std::string::npos) path = "./" + path;  // never search the loader path
    auto library = std::make_shared<RuntimeLibrary>(path);
    if (!*library) {
      DebugLog("plugins: cannot load %s: %s", path.c_str(), dlerror());
      continue;
    }
    auto getInfo = library->Symbol<wvGetPluginInfoFn>("wvGetPluginInfo");
    if (getInfo == nullptr) continue;
    char description[QP_PLUGIN_TEXT_BYTES] = {};
    char extension[QP_PLUGIN_TEXT_BYTES] = {};
    QuillpixPluginInfo info{};
    info.description = description;
    info.extension = extension;
    info.flags = 0;
    getInfo(&info);
    if (info.flags <= 0) continue;
    PluginEntry entry;
    entry.flags = info.flags;
    entry.extension = ToLowerAscii(BoundedText(extension));
    const std::string text = BoundedText(description);
    if (!UsableExtension(entry.extension) || text.find('|') != std::string::npos) {
      DebugLog("plugins: %s gives an unusable extension or description", path.c_str());
      continue;
    }
    entry.load = library->Symbol<wvLoadImageFn>("wvLoadImage");
    entry.save = library->Symbol<wvSaveImageFn>("wvSaveImage");
    entry.loadWithColour = library->Symbol<wvLoadImageWithColourFn>("wvLoadImageWithColour");
    entry.saveWithProfile = library->Symbol<wvSaveImageWithProfileFn>("wvSaveImageWithProfile");
    entry.library = std::move(library);
    added.push_back({text, entry.extension, entry.flags});
    gRegistry.push_back(std::move(entry));
  }
  return added;
}

size_t PluginCount() {
  std::lock_guard guard(gRegistryMutex);
  return gRegistry.size();
}

void ClearPluginRegistry() {
  std::lock_guard guard(gRegistryMutex);
  gRegistry.clear();
}

DecodeResult loadWithPlugin(const std::string& path, SettingsAccess* settings) {
  EnsureFileFilters(settings);
  const std::string ext = LookupExtension(path);
  std::lock_guard guard(gRegistryMutex);
  for (const PluginEntry& e : gRegistry) {
    if (!EqualsIgnoreCase(e.extension, ext)) continue;
    // The first entry for the extension decides, whether or not it reads.
    if (!(e.flags & kPluginReads) || e.load == nullptr) return {};
    int32_t width = 0, height = 0;
    QuillpixColour colour{};
    uint8_t* block = e.loadWithColour != nullptr
                         ? e.loadWithColour(path.c_str(), &width, &height, &colour)
                         : e.load(path.c_str(), &width, &height);
    DecodeDetails details;
    details.colour = ReportedColour(colour);
    if (block == nullptr) return {};
    // The block crosses a C boundary: never trust the size without checking it against the
    // allocation itself.
    const auto bytes = PictureBytes(width, height);
    if (!bytes || malloc_usable_size(block) < *bytes) {
      DebugLog("plugins: %s returned an inconsistent picture", e.extension.c_str());
      std::free(block);
      return {};
    }
    ImageBuffer picture = ImageBuffer::Adopt(block, width, height);
    details.hasAlpha = HasMeaningfulAlpha(picture);
    return DecodeResult(std::move(picture)).with(details);
  }
  return {};
}

bool pluginWrites(const std::string& pathOrExtension, SettingsAccess* settings) {
  EnsureFileFilters(settings);
  const std::string ext = LookupExtension(pathOrExtension);
  std::lock_guard guard(gRegistryMutex);
  for (const PluginEntry& e : gRegistry) {
    if (EqualsIgnoreCase(e.extension, ext)) return (e.flags & kPluginWrites) != 0;
  }
  return false;
}

bool pluginEmbedsProfile(const std::string& pathOrExtension, SettingsAccess* settings) {
  EnsureFileFilters(settings);
  const std::string ext = LookupExtension(pathOrExtension);
  std::lock_guard guard(gRegistryMutex);
  const PluginEntry* e = Writer(ext);
  return e != nullptr && e->saveWithProfile != nullptr;
}

const char* saveWithPlugin(const uint8_t* pixels, int32_t width, int32_t height,
                           const std::string& path, SettingsAccess* settings,
                           std::span<const uint8_t> icc) {
  EnsureFileFilters(settings);
  const std::string ext = LookupExtension(path);
  std::lock_guard guard(gRegistryMutex);
  if (gRegistry.empty()) return "Format not supported";
  const PluginEntry* e = Writer(ext);
  if (e == nullptr) return "Format not supported";
  int32_t ok = 0;
  if (!icc.empty()) {
    // Pixels meant in a profile must never be stored as if they were sRGB.
    if (e->saveWithProfile == nullptr || icc.size() > QP_PLUGIN_MAX_ICC_BYTES)
      return "Could not save";
    ok = e->saveWithProfile(path.c_str(), width, height, pixels, icc.data(),
                            static_cast<uint32_t>(icc.size()));
  } else {
    ok = e->save(path.c_str(), width, height, pixels);
  }
  return ok != 0 ? nullptr : "Could not save";
}

}  // namespace qp
