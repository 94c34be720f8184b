// OCR: the picture goes to tesseract as a PNG file; its text file comes back into the dialog.
#include <sys/stat.h>
#include <unistd.h>

#include "codecs/png.h"
#include "core/file_io.h"
#include "core/process_runner.h"
#include "tools/temp_file.h"
#include "tools/tools.h"

namespace qp {

namespace {

// tesseract's text of one picture is small; a larger file is not its output.
constexpr uint64_t kMaxOcrTextBytes = uint64_t{64} << 20;

bool IsProgram(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The wait cursor while tesseract runs; restored early by Restore() or at the latest on exit.
class WaitCursor {
 public:
  explicit WaitCursor(CursorPort& cursor) : cursor_(cursor) { cursor_.SetWaitCursor(true); }
  ~WaitCursor() { Restore(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  void Restore() {
    if (on_) cursor_.SetWaitCursor(false);
    on_ = false;
  }

 private:
  CursorPort& cursor_;
  bool on_ = true;
};

// The OCR text as shown.
std::string PrepareOcrText(std::string text) {
  // The text ends at its first NUL, as a C string would.
  if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  // tesseract ends a page with a form feed, which the text box would show as a box.
  if (!text.empty() && text.back() == '\f') text.back() = ' ';
  return text;
}

}  // namespace

void PerformOcr(ToolContext& ctx) {
  if (ctx.state.fullScreen) ctx.state.ToggleFullScreenWithFit();
  std::string program = ctx.settings.ReadText("TesseractPath");
  if (program.empty()) program = ctx.components.defaultTesseract;
  if (!IsProgram(program)) {
    ctx.ports.messages.Show(kMsgTesseractNotFound, MessageIcon::None);
    return;
  }
  const ImageBuffer* picture = ctx.image ? ctx.image() : nullptr;
  if (picture == nullptr || picture->empty()) return;

  WaitCursor wait(ctx.ports.cursor);
  TempFile png("tess", ".png");
  std::optional<ImageBuffer> region =
      CopyRegion(*picture, ctx.selection ? ctx.selection() : std::nullopt);
  if (png.empty() || !region ||
      SavePng(region->data(), region->width(), region->height(), 100, png.path().c_str()) !=
          nullptr) {
    wait.Restore();
    ctx.ports.messages.Show(kMsgTesseractImage, MessageIcon::None);
    return;
  }
  region.reset();
  // tesseract appends ".txt" to the output base it is given; the text file is reserved under
  // its full name and tesseract writes into it.
  TempFile text("text", ".txt");
  int status = -1;
  if (!text.empty()) {
    const std::string base = text.path().substr(0, text.path().size() - 4);
    ProcessRunner({program, png.path(), base}, &status);
  }
  wait.Restore();
  png.Remove();
  // The text file exists from the start, so a failed run shows by tesseract's exit status.
  std::optional<std::vector<uint8_t>> bytes;
  if (status == 0) bytes = ReadWholeFile(text.path(), kMaxOcrTextBytes);
  text.Remove();
  if (!bytes) {
    ctx.ports.messages.Show(kMsgTesseractFailed, MessageIcon::None);
    return;
  }
  CTesseractDlg dialog(PrepareOcrText(std::string(bytes->begin(), bytes->end())),
                       ctx.ports.clipboard);
  ctx.dialogs.ShowOcrResult(dialog);
}

}  // namespace qp
