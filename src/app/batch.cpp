#include "app/batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <thread>

#include "codecs/file_filters.h"
#include "codecs/load_dispatch.h"
#include "codecs/plugins.h"
#include "codecs/save_dispatch.h"
#include "codecs/picture_size.h"
#include "core/byte_reader.h"
#include "core/exit_cleanup.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/setting_values.h"
#include "core/viewer_state.h"
#include "frame/natural_sort.h"
#include "jpegxform/lossless.h"
#include "metadata/exif.h"
#include "ops/resample.h"

namespace qp {

namespace fs = std::filesystem;

namespace {

std::atomic<uint64_t> g_tempCounter{0};

// A hidden name beside `target` that keeps its extension (the encoder is chosen by it):
// "/out/.a.webp.qp-<pid>-<n>.webp". Unique within the process and across processes.
std::string TempNameFor(const std::string& target, std::string_view extension) {
  const uint64_t n = g_tempCounter.fetch_add(1, std::memory_order_relaxed);
  // Room for the additions within the 255-byte limit of a file name.
  const std::string name = FileNameOf(target).substr(0, 160);
  return JoinPath(FolderOf(target), "." + name + ".qp-" + std::to_string(::getpid()) + "-" +
                                        std::to_string(n) + std::string(extension));
}

// Removes a temporary file when the conversion does not hand it on; listed meanwhile, so that
// a program ending at once removes it too.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)), listed_(path_) {}
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  void Release() {
    path_.clear();
    listed_ = ListedTempFile();
  }

 private:
  std::string path_;
  ListedTempFile listed_;
};

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

enum class Placed { Done, Exists, Error };

// Moves `from` to `to` without ever replacing an existing `to`: an atomic no-replace rename,
// or on file systems without one, a hard link (which fails when `to` exists) and an unlink.
Placed PlaceWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return Placed::Done;
  if (errno == EEXIST) return Placed::Exists;
  if (errno != EINVAL && errno != ENOSYS) return Placed::Error;
  if (::link(from.c_str(), to.c_str()) != 0)
    return errno == EEXIST ? Placed::Exists : Placed::Error;
  ::unlink(from.c_str());
  return Placed::Done;
}

// "name (n).ext" beside `path`.
std::string NumberedName(const std::string& path, int n) {
  return WithoutExtension(path) + " (" + std::to_string(n) + ")" + ExtensionOf(path);
}

constexpr int kMaxRenameTries = 10000;

// Puts the finished temporary file under its final name by the rule for existing files. A
// target that is another source of the run is never replaced: the Overwrite rule falls back
// to a new name for it.
ItemResult Commit(TempFile& temp, const BatchItem& item, ExistingRule rule) {
  ItemResult r{item.source, item.target, ItemStatus::Converted, {}};
  if (rule == ExistingRule::Overwrite && item.targetIsSource) {
    r = Commit(temp, item, ExistingRule::Rename);
    if (r.status == ItemStatus::Converted && r.target != item.target)
      r.reason = "written as " + r.target + " because " + item.target +
                 " is a source of this run";
    return r;
  }
  if (rule == ExistingRule::Overwrite) {
    if (std::rename(temp.path().c_str(), item.target.c_str()) == 0) {
      temp.Release();
      return r;
    }
    r.status = ItemStatus::Failed;
    r.reason = "cannot replace the existing file";
    return r;
  }
  for (int n = 1; n <= kMaxRenameTries; ++n) {
    const std::string name = n == 1 ? item.target : NumberedName(item.target, n);
    switch (PlaceWithoutReplacing(temp.path(), name)) {
      case Placed::Done:
        temp.Release();
        r.target = name;
        return r;
      case Placed::Error:
        r.status = ItemStatus::Failed;
        r.reason = "cannot name the written file";
        return r;
      case Placed::Exists:
        if (rule == ExistingRule::Skip) {
          r.status = ItemStatus::Skipped;
          r.reason = "a file of that name exists";
          return r;
        }
        break;
    }
  }
  r.status = ItemStatus::Failed;
  r.reason = "no free name left";
  return r;
}

// Where the value of the orientation entry (0x0112) of IFD0 in the first EXIF segment lies in
// the file, when it is a SHORT or LONG; its low byte in either byte order.
std::optional<size_t> OrientationOffset(std::span<const uint8_t> head) {
  ByteReader r(head);
  if (r.u8() != 0xFF || r.u8() != 0xD8) return std::nullopt;
  while (r.ok()) {
    if (r.u8() != 0xFF) return std::nullopt;
    const uint8_t marker = r.u8();
    const uint16_t length = r.u16be();
    if (!r.ok() || marker == 0xDA || marker == 0xD9 || length < 2) return std::nullopt;
    const size_t next = r.position() + length - 2;
    if (marker == 0xE1 && r.expect(std::string_view("Exif\0\0", 6))) {
      const size_t tiff = r.position();
      if (next < tiff) return std::nullopt;
      ByteReader t = r.sub(tiff, next - tiff);
      const uint8_t order = t.u8();
      if (t.u8() != order || (order != 'I' && order != 'M')) return std::nullopt;
      const bool big = order == 'M';
      if (t.u16(big) != 42 || !t.seek(t.u32(big))) return std::nullopt;
      const uint16_t entries = t.u16(big);
      for (uint16_t i = 0; i < entries && t.ok(); ++i) {
        const size_t entry = t.position();
        const uint16_t tag = t.u16(big);
        const uint16_t type = t.u16(big);
        t.skip(8);  // count and value
        if (!t.ok()) return std::nullopt;
        // The value is left-aligned in its 4-byte field.
        if (tag == 0x0112 && (type == 3 || type == 4))
          return tiff + entry + 8 + (big ? (type == 3 ? 1 : 3) : 0);
      }
      return std::nullopt;
    }
    if (!r.seek(next)) return std::nullopt;
  }
  return std::nullopt;
}

// Sets the orientation of a JPEG that was just turned upright to 1, so that no reader turns
// it a second time. True when done or when the file has no such entry.
bool MarkUpright(const std::string& path) {
  UniqueFile f = OpenFile(path, "r+b");
  if (!f) return false;
  // Markers before the EXIF segment are few; 128 KiB holds the segment (at most 64 KiB).
  std::vector<uint8_t> head(128 * 1024);
  head.resize(std::fread(head.data(), 1, head.size(), f.get()));
  const auto at = OrientationOffset(head);
  if (!at) return true;
  if (std::fseek(f.get(), static_cast<long>(*at), SEEK_SET) != 0 || std::fputc(1, f.get()) == EOF)
    return false;
  return std::fclose(f.release()) == 0;
}

// Plug-ins come from other authors and are not known to be safe on several threads at once.
std::mutex g_pluginMutex;

int32_t WebpQuality(const BatchOptions& o, SettingsAccess& settings) {
  if (o.lossless) return 100;
  if (o.quality >= 0) return std::min(o.quality, 100);
  return settings.ReadNumber("WebpQuality");
}

int32_t JpegQuality(const BatchOptions& o, SettingsAccess& settings) {
  if (o.quality >= 1 && o.quality <= 100) return o.quality;
  return settings.ReadNumber("JpegQuality");
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// "already WEBP": the name of the format a source already has.
std::string AlreadyText(const std::string& extension) { return "already " + UpperAscii(extension); }

std::string ErrorText(int error) { return std::strerror(error); }

ItemResult Failed(const BatchItem& item, std::string reason) {
  return {item.source, item.target, ItemStatus::Failed, std::move(reason)};
}

// The part of `path` below `root` ("a/b.png" for "/in/a/b.png" under "/in").
std::string RelativeBelow(const fs::path& path, const fs::path& root) {
  return path.lexically_relative(root).generic_string();
}

void ScanFolder(const fs::path& root, bool recursive, const std::string& patterns,
                std::vector<std::pair<std::string, std::string>>& out,
                std::vector<ItemResult>& unreadable) {
  // Entries of one folder in natural order, files first, then the subfolders.
  std::vector<fs::path> files, folders;
  std::error_code ec;
  std::vector<std::pair<fs::path, fs::path>> stack{{root, root}};
  while (!stack.empty()) {
    auto [dir, base] = stack.back();
    stack.pop_back();
    files.clear();
    folders.clear();
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code sec;
      // Linked folders are not followed: a link back up would never end.
      const bool folder = it->is_directory(sec) && !it->is_symlink(sec);
      if (folder) {
        if (recursive) folders.push_back(it->path());
      } else if (it->is_regular_file(sec) && IsSupportedIn(patterns, name)) {
        files.push_back(it->path());
      } else if (sec && IsSupportedIn(patterns, name)) {
        // A picture's name whose file cannot be looked at (a dangling link, no permission).
        unreadable.push_back({it->path().string(), {}, ItemStatus::Failed,
                              "cannot read the file: " + sec.message()});
      }
    }
    if (ec) {
      // Unreadable, or gone since its parent was listed; what was listed before is kept.
      unreadable.push_back(
          {dir.string(), {}, ItemStatus::Failed, "cannot read the folder: " + ec.message()});
    }
    ec.clear();
    auto natural = [](const fs::path& a, const fs::path& b) {
      return naturalCompare(a.filename().string(), b.filename().string()) < 0;
    };
    std::sort(files.begin(), files.end(), natural);
    std::sort(folders.begin(), folders.end(), natural);
    for (const fs::path& f : files) out.emplace_back(f.string(), RelativeBelow(f, base));
    // Pushed in reverse so that the first subfolder is scanned next.
    for (auto sub = folders.rbegin(); sub != folders.rend(); ++sub) stack.push_back({*sub, base});
  }
}

}  // namespace

std::vector<SaveFormat> SaveFormatsIn(const std::string& saveFilter) {
  std::vector<SaveFormat> out;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= saveFilter.size()) {
    const size_t bar = saveFilter.find('|', start);
    parts.push_back(
        saveFilter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    const std::string& pattern = parts[i + 1];
    if (parts[i].empty() || !pattern.starts_with("*.")) continue;
    const std::string ext = ToLowerAscii(pattern.substr(2));
    const bool seen = std::any_of(out.begin(), out.end(),
                                  [&](const SaveFormat& f) { return f.extension == ext; });
    if (!seen) out.push_back({parts[i], ext});
  }
  // JPEG is written by the program itself even when the external library's entries are absent.
  const bool hasJpeg = std::any_of(out.begin(), out.end(), [](const SaveFormat& f) {
    return f.extension == "jpg" || f.extension == "jpeg";
  });
  if (!hasJpeg && !out.empty()) out.push_back({"Independent JPEG Group (*.jpg)", "jpg"});
  return out;
}

namespace {

struct FileId {
  dev_t device;
  ino_t inode;
  auto operator<=>(const FileId&) const = default;
};

std::optional<FileId> IdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

bool SameFolder(const std::string& a, const std::string& b) {
  const auto ia = IdOf(a.empty() ? "." : a);
  return ia && ia == IdOf(b.empty() ? "." : b);
}

}  // namespace

BatchPlan PlanBatch(const std::vector<std::string>& inputs, const BatchOptions& options,
                    const std::string& patterns) {
  BatchPlan plan;
  // First every source: (source, its path below the folder it was found in, or its file name).
  std::vector<std::pair<std::string, std::string>> sources;
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::file_status status = fs::status(input, ec);
    if (ec || !fs::exists(status)) {
      plan.unreadable.push_back({input, {}, ItemStatus::Failed,
                                 "cannot read: " + (ec ? ec.message() : ErrorText(ENOENT))});
    } else if (fs::is_directory(status)) {
      ScanFolder(fs::path(input), options.recursive, patterns, sources, plan.unreadable);
    } else {
      sources.emplace_back(input, FileNameOf(input));
    }
  }
  std::set<FileId> sourceIds;
  for (const auto& source : sources)
    if (const auto id = IdOf(source.first)) sourceIds.insert(*id);

  // Then the targets, knowing every source.
  std::set<std::string> planned;
  for (auto& [source, relative] : sources) {
    const std::string folder = options.targetFolder.empty()
                                   ? FolderOf(source)
                                   : JoinPath(options.targetFolder, FolderOf(relative));
    const std::string name = WithoutExtension(FileNameOf(relative)) + "." + options.extension;
    const std::string natural = folder.empty() ? name : JoinPath(folder, name);
    BatchItem item{source, natural};
    // The source already is its target, also when only its extension's letter case differs.
    const auto sourceId = IdOf(source);
    const auto naturalId = IdOf(natural);
    if ((naturalId && naturalId == sourceId) ||
        (EqualsIgnoreCase(ExtensionOf(source), "." + options.extension) &&
         WithoutExtension(FileNameOf(source)) == WithoutExtension(name) &&
         SameFolder(FolderOf(source), folder))) {
      item.target = source;
      item.ownTarget = true;
      plan.items.push_back(std::move(item));
      continue;
    }
    // Two sources of one batch never write the same name ("a.png" and "a.jpg" to WebP).
    for (int n = 2; planned.count(item.target) != 0; ++n) item.target = NumberedName(natural, n);
    planned.insert(item.target);
    const auto targetId = item.target == natural ? naturalId : IdOf(item.target);
    item.targetIsSource = targetId && sourceIds.count(*targetId) != 0;
    plan.items.push_back(std::move(item));
  }
  return plan;
}

std::string FormatReport(const BatchReport& report) {
  std::string out = "Converted " + std::to_string(report.converted) + ", skipped " +
                    std::to_string(report.skipped) + ", failed " + std::to_string(report.failed);
  if (report.cancelled > 0) out += ", cancelled " + std::to_string(report.cancelled);
  out += "\n";
  for (const ItemResult& r : report.items) {
    switch (r.status) {
      case ItemStatus::Converted:
        if (r.reason.empty()) continue;
        out += "renamed: ";
        break;
      case ItemStatus::Skipped:
        out += "skipped: ";
        break;
      case ItemStatus::Failed:
        out += "failed: ";
        break;
      case ItemStatus::Cancelled:
        out += "cancelled: ";
        break;
    }
    out += r.source;
    if (!r.reason.empty()) out += ": " + r.reason;
    out += "\n";
  }
  return out;
}

ItemResult ConvertItem(const BatchItem& item, const BatchOptions& options, BatchContext& context,
                       const std::function<void(int64_t pixels)>& decoded) {
  SettingsAccess& settings = context.settings;
  // A picture already in the target format is converted in place only when asked to change
  // it (shrink or turn upright) and allowed to replace it.
  const bool changeInPlace = item.ownTarget && options.existing == ExistingRule::Overwrite &&
                             (options.longestSide > 0 || options.autoRotate);
  if (item.ownTarget && !changeInPlace)
    return {item.source, item.target, ItemStatus::Skipped, AlreadyText(options.extension)};
  const std::string folder = FolderOf(item.target);
  if (!folder.empty()) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return Failed(item, "cannot create the folder " + folder);
  }
  if (options.existing == ExistingRule::Skip && Exists(item.target))
    return {item.source, item.target, ItemStatus::Skipped, "a file of that name exists"};
  if (!CanOpenForRead(item.source)) return Failed(item, "cannot open the file: " + ErrorText(errno));

  const std::string targetExt = ToLowerAscii(ExtensionOf(item.target));
  const bool targetJpeg = targetExt == ".jpg" || targetExt == ".jpeg";
  std::string loadFrom = item.source;
  std::optional<TempFile> rotated;
  if (options.autoRotate) {
    ExifInfo info{};
    const int angle =
        ReadJpegMetadata(item.source, info) && info.isExif ? AutoRotateAngle(info.orientation) : 0;
    if (angle != 0) {
      rotated.emplace(TempNameFor(item.target, ".jpg"));
      if (losslessTransform(item.source, rotated->path(), TransformArguments(angle)) !=
          kTransformOk)
        return Failed(item, "cannot rotate the JPEG file");
      // The orientation entry now says upright, so that no reader (the load below
      // included) turns it a second time.
      if (!MarkUpright(rotated->path()))
        return Failed(item, "cannot update the EXIF orientation");
      // JPEG to JPEG at the same size: the rotated file is the result, nothing re-encoded.
      if (targetJpeg && options.longestSide <= 0) return Commit(*rotated, item, options.existing);
      loadFrom = rotated->path();
    }
  }

  ViewerState state;
  LoadContext ctx{state, &settings, context.systemDecoder};
  DecodeDetails details;
  auto picture = LoadPictureFile(loadFrom, ctx, &details);
  rotated.reset();
  if (!picture || picture->empty())
    return Failed(item, "not a picture that can be read (damaged or unknown format)");
  ImageBuffer img = std::move(*picture);
  if (decoded) decoded(int64_t{img.width()} * img.height());
  // Turned upright above, or shrunk below.
  bool changed = loadFrom != item.source;

  if (options.longestSide > 0 && std::max(img.width(), img.height()) > options.longestSide) {
    const int64_t side = options.longestSide;
    const int64_t longest = std::max(img.width(), img.height());
    const auto scaled = [&](int32_t v) {
      return static_cast<int32_t>(std::max<int64_t>(1, (v * side + longest / 2) / longest));
    };
    auto smaller = Resample(img, scaled(img.width()), scaled(img.height()), kLanczos3);
    if (!smaller) return Failed(item, "cannot resize the picture (out of memory)");
    img = std::move(*smaller);
    changed = true;
  }
  if (changeInPlace && !changed)
    return {item.source, item.target, ItemStatus::Skipped, AlreadyText(options.extension)};

  TempFile temp(TempNameFor(item.target, ExtensionOf(item.target)));
  SaveResult saved;
  {
    std::unique_lock<std::mutex> pluginLock(g_pluginMutex, std::defer_lock);
    if (pluginWrites(item.target, &settings)) pluginLock.lock();
    // The profile travels with the pixels, resized or not.
    saved = SaveByExtension(img, details.hasAlpha, temp.path(), WebpQuality(options, settings),
                            JpegQuality(options, settings), PluginOrder::BeforeQoi, &settings,
                            details.colour.get());
  }
  switch (saved.status) {
    case SaveStatus::Saved:
      break;
    case SaveStatus::Failed:
      return Failed(item, saved.message != nullptr ? saved.message : "Could not save image");
    case SaveStatus::IconTooLarge:
      return Failed(item, "an icon is at most 255 x 255 pixels");
    case SaveStatus::UnknownExtension:
      return Failed(item, "nothing writes ." + options.extension + " files");
  }
  if (!Exists(temp.path())) return Failed(item, "the encoder wrote no file");
  return Commit(temp, item, options.existing);
}

bool MemoryBudget::Acquire(uint64_t bytes, const std::atomic<bool>& cancel) {
  std::unique_lock lock(mutex_);
  const uint64_t ticket = nextTicket_++;
  const auto fits = [&] {
    return ticket == serving_ && (used_ == 0 || used_ + bytes <= total_);
  };
  // A signal handler cannot wake the waiters, so the cancel flag is looked at now and then.
  while (!fits()) {
    if (cancel.load()) {
      // Give up the place in the queue without holding up those behind it.
      if (ticket == serving_) {
        ++serving_;
      } else {
        cancelled_.insert(ticket);
      }
      SkipCancelled();
      changed_.notify_all();
      return false;
    }
    changed_.wait_for(lock, std::chrono::milliseconds(50));
  }
  used_ += bytes;
  ++serving_;
  SkipCancelled();
  changed_.notify_all();
  return true;
}

void MemoryBudget::SkipCancelled() {
  while (cancelled_.erase(serving_) != 0) ++serving_;
}

void MemoryBudget::Release(uint64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    used_ -= std::min(bytes, used_);
  }
  changed_.notify_all();
}

void MemoryBudget::Grow(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  used_ += bytes;
}

uint64_t ConversionBytes(int64_t pixels) {
  // The decoded picture (4 bytes a pixel) and one working copy of the same size: the
  // encoder's output buffer or a resized picture. Measured on 16384 x 16384 PNG pictures:
  // to JPEG or PNG the peak is the picture and a little, to QOI twice the picture.
  constexpr uint64_t kBytesPerPixel = 4 * 2;
  return static_cast<uint64_t>(std::max<int64_t>(pixels, 1)) * kBytesPerPixel;
}

uint64_t DefaultMemoryBudget() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return uint64_t{1} << 30;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 4;
}

namespace {

// What a picture whose header cannot be read is taken to need until it is decoded: a large
// camera picture.
constexpr int64_t kUnknownPixels = 48'000'000;

}  // namespace

BatchReport RunBatch(const BatchPlan& plan, const BatchOptions& options, BatchContext& context,
                     const std::atomic<bool>& cancel, const BatchProgress& progress) {
  // Load the plug-ins once, before the workers ask for them.
  EnsureFileFilters(&context.settings);
  const std::vector<BatchItem>& items = plan.items;
  BatchReport report;
  report.items = plan.unreadable;
  const size_t first = report.items.size();
  report.items.resize(first + items.size());
  MemoryBudget budget(options.memoryMB > 0 ? static_cast<uint64_t>(options.memoryMB) << 20
                                           : DefaultMemoryBudget());
  std::atomic<size_t> next{0};
  std::atomic<size_t> atOnce{0};
  size_t done = 0;
  std::mutex progressMutex;
  auto convert = [&](const BatchItem& item) -> ItemResult {
    if (cancel.load()) return {item.source, item.target, ItemStatus::Cancelled, "cancelled"};
    if (item.ownTarget && (options.existing != ExistingRule::Overwrite ||
                           (options.longestSide <= 0 && !options.autoRotate)))
      return ConvertItem(item, options, context);  // nothing to read
    const auto size = ReadPictureSize(item.source);
    uint64_t held = ConversionBytes(size ? size->pixels() : kUnknownPixels);
    if (!budget.Acquire(held, cancel))
      return {item.source, item.target, ItemStatus::Cancelled, "cancelled"};
    const size_t running = atOnce.fetch_add(1) + 1;
    {
      std::lock_guard lock(progressMutex);
      report.mostAtOnce = std::max(report.mostAtOnce, running);
    }
    ItemResult r;
    try {
      r = ConvertItem(item, options, context, [&](int64_t pixels) {
        // The header may have promised less than the decoder made.
        const uint64_t actual = ConversionBytes(pixels);
        if (actual > held) {
          budget.Grow(actual - held);
          held = actual;
        }
      });
    } catch (const std::exception& e) {
      r = Failed(item, std::string("internal error: ") + e.what());
    }
    atOnce.fetch_sub(1);
    budget.Release(held);
    return r;
  };
  auto work = [&] {
    for (;;) {
      const size_t i = next.fetch_add(1);
      if (i >= items.size()) return;
      ItemResult r = convert(items[i]);
      std::lock_guard lock(progressMutex);
      report.items[first + i] = std::move(r);
      ++done;
      if (progress) progress(done, items.size(), report.items[first + i]);
    }
  };
  size_t workers = options.threads > 0 ? static_cast<size_t>(options.threads)
                                       : std::max(1u, std::thread::hardware_concurrency());
  workers = std::min(workers, std::max<size_t>(items.size(), 1));
  std::vector<std::jthread> pool;
  for (size_t i = 1; i < workers; ++i) pool.emplace_back(work);
  work();
  pool.clear();  // joins
  for (const ItemResult& r : report.items) {
    switch (r.status) {
      case ItemStatus::Converted:
        ++report.converted;
        break;
      case ItemStatus::Skipped:
        ++report.skipped;
        break;
      case ItemStatus::Failed:
        ++report.failed;
        break;
      case ItemStatus::Cancelled:
        ++report.cancelled;
        break;
    }
  }
  return report;
}

BatchReport RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options,
                     BatchContext& context, const std::atomic<bool>& cancel,
                     const BatchProgress& progress) {
  return RunBatch(BatchPlan{items, {}}, options, context, cancel, progress);
}

std::string SharedSettings::ReadText(std::string_view name) {
  std::lock_guard lock(mutex_);
  auto it = texts_.find(name);
  if (it == texts_.end()) it = texts_.emplace(std::string(name), store_.ReadText(name)).first;
  return it->second;
}

int32_t SharedSettings::ReadNumber(std::string_view name) {
  std::lock_guard lock(mutex_);
  auto it = numbers_.find(name);
  if (it == numbers_.end()) it = numbers_.emplace(std::string(name), store_.ReadNumber(name)).first;
  return it->second;
}

bool SharedSettings::ReadFlag(std::string_view name) { return FlagIsOn(ReadText(name)); }

std::optional<QualityRange> QualityRangeOf(std::string_view extension) {
  const std::string ext = ToLowerAscii(extension);
  if (ext == "webp") return QualityRange{0, 100};
  if (ext == "jpg" || ext == "jpeg") return QualityRange{1, 100};
  return std::nullopt;
}

std::optional<std::string> CheckBatchOptions(const BatchOptions& options) {
  // -1 stands for the user's saved setting; lossless WebP takes no quality.
  if (options.quality < 0 || (options.lossless && EqualsIgnoreCase(options.extension, "webp")))
    return std::nullopt;
  const auto range = QualityRangeOf(options.extension);
  if (!range || (options.quality >= range->low && options.quality <= range->high))
    return std::nullopt;
  return "the quality of " + UpperAscii(options.extension) + " pictures is a number from " + std::to_string(range->low) +
         " to " + std::to_string(range->high) + ", not " + std::to_string(options.quality);
}

namespace {

// About 4 TiB: beyond any machine this runs on, and far from the 64-bit limit.
constexpr int32_t kMaxMemoryMB = 1 << 22;

std::optional<int32_t> ParseCount(const std::string& text) {
  int32_t v = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return v;
}

}  // namespace

std::variant<BatchCommand, BatchHelp, BatchUsageError> ParseBatchCommandLine(
    const std::vector<std::string>& args) {
  BatchCommand cmd;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    if (a.starts_with("--") && a.size() > 2) a.erase(0, 1);
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto missing = [&](const std::string& sw) { return BatchUsageError{sw + " needs a value"}; };
    if (a == "-h" || a == "-help") return BatchHelp{};
    if (a == "-to") {
      auto v = value();
      if (!v) return missing(a);
      std::string ext = ToLowerAscii(*v);
      if (ext.starts_with(".")) ext.erase(0, 1);
      if (ext.empty() || ext.find('/') != std::string::npos)
        return BatchUsageError{"-to needs a file extension such as webp"};
      cmd.options.extension = ext;
      cmd.convertNow = true;
    } else if (a == "-out") {
      auto v = value();
      if (!v) return missing(a);
      cmd.options.targetFolder = *v;
    } else if (a == "-recursive") {
      cmd.options.recursive = true;
    } else if (a == "-lossless") {
      cmd.options.lossless = true;
    } else if (a == "-autorotate") {
      cmd.options.autoRotate = true;
    } else if (a == "-quality" || a == "-longest" || a == "-threads" || a == "-memory") {
      auto v = value();
      if (!v) return missing(a);
      const auto n = ParseCount(*v);
      const int32_t low = a == "-quality" ? 0 : 1;
      const int32_t high = a == "-quality"   ? 100
                           : a == "-threads" ? 256
                           : a == "-memory"  ? kMaxMemoryMB
                                             : kMaxResampleSide;
      if (!n || *n < low || *n > high)
        return BatchUsageError{a + " needs a number from " + std::to_string(low) + " to " +
                               std::to_string(high)};
      if (a == "-quality") cmd.options.quality = *n;
      if (a == "-longest") cmd.options.longestSide = *n;
      if (a == "-threads") cmd.options.threads = *n;
      if (a == "-memory") cmd.options.memoryMB = *n;
    } else if (a == "-existing") {
      auto v = value();
      if (!v) return missing(a);
      if (*v == "skip")
        cmd.options.existing = ExistingRule::Skip;
      else if (*v == "overwrite")
        cmd.options.existing = ExistingRule::Overwrite;
      else if (*v == "rename")
        cmd.options.existing = ExistingRule::Rename;
      else
        return BatchUsageError{"-existing takes skip, overwrite or rename"};
    } else if (a.size() > 1 && a[0] == '-' && !Exists(a)) {
      return BatchUsageError{"unknown switch " + args[i]};
    } else if (args[i].size() >= 2 && args[i].front() == '"' && args[i].back() == '"') {
      // A path the caller wrapped in quotes for a shell that never saw it.
      cmd.inputs.push_back(args[i].substr(1, args[i].size() - 2));
    } else {
      cmd.inputs.push_back(args[i]);
    }
  }
  if (cmd.convertNow && cmd.inputs.empty())
    return BatchUsageError{"name the files or folders to convert"};
  if (auto refused = CheckBatchOptions(cmd.options)) return BatchUsageError{*refused};
  return cmd;
}

std::string BatchHelpText() {
  return "Usage: QuillpixBatch [FILE|FOLDER]...            (opens the window)\n"
         "       QuillpixBatch -to EXT [options] FILE|FOLDER...\n"
         "Converts pictures to another format on all processor cores.\n"
         "  -to EXT          target format by its extension (webp, png, jpg, qoi, ...)\n"
         "  -out FOLDER      write into FOLDER (default: beside each picture)\n"
         "  -recursive       also convert the pictures of subfolders\n"
         "  -quality N       WebP quality 0-100 or JPEG quality 1-100 (default: settings)\n"
         "  -lossless        lossless WebP\n"
         "  -longest N       shrink so that the longer side is at most N pixels (Lanczos)\n"
         "  -autorotate      turn JPEG pictures upright by their EXIF orientation, losslessly\n"
         "  -existing RULE   skip (default), overwrite or rename when the target exists\n"
         "  -threads N       number of workers (default: one per core)\n"
         "  -memory MB       memory for the pictures being converted at once (default: a\n"
         "                   quarter of the physical memory); a larger picture runs alone\n"
         "Exit status: 0 when every picture was converted or skipped, 1 when any failed,\n"
         "2 for a wrong command line.\n";
}

}  // namespace qp
