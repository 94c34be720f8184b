// The batch converter's engine: which files to convert, what each target is called, and the
// conversion of many files on all cores with progress, cancel and a final report. A bad file
// never stops the batch; an existing file is replaced only when the rule says so; every output
// is written under a temporary name in the target folder and renamed into place when complete,
// so a failure or a cancel never leaves a half-written file under a real name.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
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
  int32_t threads = 0;  // 0: one per core
};

struct BatchItem {
  std::string source;
  std::string target;  // the planned name; the Rename rule may pick another when it exists
};

// The pictures among `inputs`: files are taken as given; a folder yields its files whose
// extension is in `patterns` ("*.png;*.jpg;..."), in natural order, with subfolders when
// `recursive`. Each item's target is in `targetFolder` (keeping a file's place below the folder
// it was found in) or beside its source, named after the source with the new extension.
// Hidden entries (names starting with ".") are left out of folders.
std::vector<BatchItem> PlanBatch(const std::vector<std::string>& inputs,
                                 const BatchOptions& options, const std::string& patterns);

enum class ItemStatus { Converted, Skipped, Failed, Cancelled };

struct ItemResult {
  std::string source;
  std::string target;  // the file written (Converted) or the name that was meant
  ItemStatus status = ItemStatus::Failed;
  std::string reason;  // why it was skipped or failed
};

struct BatchReport {
  std::vector<ItemResult> items;  // in the order of the plan
  size_t converted = 0, skipped = 0, failed = 0, cancelled = 0;
};

// "Converted 180, skipped 2, failed 18" and, below it, one line per file that was not
// converted: "failed: <source>: <reason>".
std::string FormatReport(const BatchReport& report);

struct BatchContext {
  SettingsAccess& settings;           // read from every worker: must be thread-safe
  SystemImageDecoder* systemDecoder;  // may be null; used from every worker
};

// Called after each item from the worker that finished it (not the caller's thread).
using BatchProgress = std::function<void(size_t done, size_t total, const ItemResult& item)>;

// Converts every item on `options.threads` workers and waits for them. When `cancel` becomes
// true, items not yet started are reported as cancelled; those in progress are finished.
BatchReport RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options,
                     BatchContext& context, const std::atomic<bool>& cancel,
                     const BatchProgress& progress = {});

// One item, on the caller's thread (RunBatch's workers use it).
ItemResult ConvertItem(const BatchItem& item, const BatchOptions& options, BatchContext& context);

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
// -existing skip|overwrite|rename, -threads N (each also with "--"); -h/--help; other
// arguments are files or folders.
std::variant<BatchCommand, BatchHelp, BatchUsageError> ParseBatchCommandLine(
    const std::vector<std::string>& args);
std::string BatchHelpText();

}  // namespace qp
