// The batch converter's engine: which files to convert, what each target is called, and the
// conversion of many files on all cores with progress, cancel and a final report. A bad file
// never stops the batch; an existing file is replaced only when the rule says so; every output
// is written under a temporary name in the target folder and renamed into place when complete,
// so a failure or a cancel never leaves a half-written file under a real name. The whole run is
// planned before anything is written: a file that is one of the run's sources is never replaced,
// and a source that is already its own target is left alone. The pictures being converted at
// once are bounded by a memory budget read from their headers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/settings_access.h"
#include "platform/system_decoder.h"

namespace qp {

// A format the save path writes: the save filter's description and extension (lower case,
// without the dot). Built-in formats come first, then the external library's, then plug-ins.
struct SaveFormat {
  std::string description;
  std::string extension;
};
// One entry per extension of a "|"-separated save filter, in its order.
std::vector<SaveFormat> SaveFormatsIn(const std::string& saveFilter);

enum class ExistingRule { Skip, Overwrite, Rename };

struct BatchOptions {
  std::string extension = "webp";  // target format, without the dot
  std::string targetFolder;        // empty: beside each source
  bool recursive = false;          // folders: also their subfolders
  int32_t quality = -1;            // WebP/JPEG quality; -1: the user's saved settings
  bool lossless = false;           // WebP: lossless
  int32_t longestSide = 0;         // > 0: shrink so that the longer side is at most this
  bool autoRotate = false;         // JPEG: turn upright by the EXIF orientation, losslessly
  ExistingRule existing = ExistingRule::Skip;
  int32_t threads = 0;     // 0: one per core
  int64_t memoryMB = 0;    // pictures in flight; 0: a quarter of the physical memory
};

// The quality range of a target format ({0, 100} for WebP, {1, 100} for JPEG), or nullopt for a
// format that takes no quality.
struct QualityRange {
  int32_t low, high;
};
std::optional<QualityRange> QualityRangeOf(std::string_view extension);
// Nullopt when the options can be used; else the message that refuses them.
std::optional<std::string> CheckBatchOptions(const BatchOptions& options);

struct BatchItem {
  std::string source;
  std::string target;  // the planned name; the Rename rule may pick another when it exists
  // The target is the source itself (same folder, name and format): nothing to convert.
  bool ownTarget = false;
  // The target is another source of this run: it is never replaced, the Overwrite rule writes
  // under the Rename rule's name instead.
  bool targetIsSource = false;
};

enum class ItemStatus { Converted, Skipped, Failed, Cancelled };

struct ItemResult {
  std::string source;
  std::string target;  // the file written (Converted) or the name that was meant
  ItemStatus status = ItemStatus::Failed;
  std::string reason;  // why it was skipped or failed, or why a converted file got another name
};

struct BatchPlan {
  std::vector<BatchItem> items;
  std::vector<ItemResult> unreadable;  // folders and files that could not be read (Failed)
};

// The pictures among `inputs`: files are taken as given; a folder yields its files whose
// extension is in `patterns` ("*.png;*.jpg;..."), in natural order, with subfolders when
// `recursive`. Each item's target is in `targetFolder` (keeping a file's place below the folder
// it was found in) or beside its source, named after the source with the new extension.
// Hidden entries (names starting with ".") are left out of folders. Every input, folder or
// picture that cannot be read is listed in `unreadable` with the reason.
BatchPlan PlanBatch(const std::vector<std::string>& inputs, const BatchOptions& options,
                    const std::string& patterns);

struct BatchReport {
  std::vector<ItemResult> items;  // what could not be read, then the plan's items in order
  size_t converted = 0, skipped = 0, failed = 0, cancelled = 0;
  size_t mostAtOnce = 0;  // the most pictures converted at the same time
};

// "Converted 180, skipped 2, failed 18" and, below it, one line per file that was not
// converted ("failed: <source>: <reason>") or was written under another name than planned
// ("renamed: <source>: <reason>").
std::string FormatReport(const BatchReport& report);

// Bytes of memory in flight, shared by the workers. A request waits until it fits beside what
// is in use; one larger than the whole budget waits until nothing else is in use, and then
// runs alone. Requests are served in the order they were made, so a large picture is not
// overtaken for ever by small ones.
class MemoryBudget {
 public:
  explicit MemoryBudget(uint64_t bytes) : total_(bytes) {}
  // False, without taking anything, when `cancel` became true while waiting.
  bool Acquire(uint64_t bytes, const std::atomic<bool>& cancel);
  void Release(uint64_t bytes);
  // Takes more without waiting (a picture turned out larger than its header promised).
  void Grow(uint64_t bytes);
  uint64_t total() const { return total_; }

 private:
  void SkipCancelled();  // with the lock held

  const uint64_t total_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t used_ = 0;
  uint64_t nextTicket_ = 0, serving_ = 0;
  std::set<uint64_t> cancelled_;  // tickets given up while waiting for their turn
};

// The memory one picture of `pixels` takes while it is converted: the decoded picture and the
// decoder's and encoder's working copies.
uint64_t ConversionBytes(int64_t pixels);
// A quarter of the physical memory.
uint64_t DefaultMemoryBudget();

struct BatchContext {
  SettingsAccess& settings;           // read from every worker: must be thread-safe
  SystemImageDecoder* systemDecoder;  // may be null; used from every worker
};

// Called after each item from the worker that finished it (not the caller's thread).
using BatchProgress = std::function<void(size_t done, size_t total, const ItemResult& item)>;

// Converts every item on `options.threads` workers and waits for them. When `cancel` becomes
// true, items not yet started are reported as cancelled; those in progress are finished.
// Each worker reads its picture's header and waits while the memory budget is used.
BatchReport RunBatch(const BatchPlan& plan, const BatchOptions& options, BatchContext& context,
                     const std::atomic<bool>& cancel, const BatchProgress& progress = {});
BatchReport RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options,
                     BatchContext& context, const std::atomic<bool>& cancel,
                     const BatchProgress& progress = {});

// One item, on the caller's thread (RunBatch's workers use it). `decoded`, when given, learns
// the pixels of the picture once it is decoded.
ItemResult ConvertItem(const BatchItem& item, const BatchOptions& options, BatchContext& context,
                       const std::function<void(int64_t pixels)>& decoded = {});

// A SettingsAccess for the workers: reads each name once from the store under a lock and
// keeps it for the batch; writes are dropped (the batch writes no settings).
class SharedSettings final : public SettingsAccess {
 public:
  explicit SharedSettings(SettingsAccess& store) : store_(store) {}
  std::string ReadText(std::string_view name) override;
  int32_t ReadNumber(std::string_view name) override;
  bool ReadFlag(std::string_view name) override;
  void WriteText(std::string_view, std::string_view) override {}
  void WriteNumber(std::string_view, int32_t) override {}

 private:
  SettingsAccess& store_;
  std::mutex mutex_;
  std::map<std::string, std::string, std::less<>> texts_;
  std::map<std::string, int32_t, std::less<>> numbers_;
};

// The command line of the batch program.
struct BatchCommand {
  BatchOptions options;
  std::vector<std::string> inputs;
  bool convertNow = false;  // "-to" given: convert without a window
};
struct BatchHelp {};
struct BatchUsageError {
  std::string message;
};
// Switches: -to EXT, -out FOLDER, -recursive, -quality N, -lossless, -longest N, -autorotate,
// -existing skip|overwrite|rename, -threads N, -memory MB (each also with "--"); -h/--help;
// other arguments are files or folders.
std::variant<BatchCommand, BatchHelp, BatchUsageError> ParseBatchCommandLine(
    const std::vector<std::string>& args);
std::string BatchHelpText();

}  // namespace qp
