#include "tools/result_dialogs.h"

#include "core/paths.h"

namespace qp {

void CTesseractDlg::Copy() const {
  if (!text_.empty()) clipboard_.SetText(text_);
}

CBarcodeDlg::CBarcodeDlg(std::string result, ClipboardPort& clipboard, DesktopPort& desktop)
    : result_(std::move(result)), clipboard_(clipboard), desktop_(desktop) {
  const size_t colon = result_.find(':');
  if (colon != std::string::npos) {
    type_ = result_.substr(0, colon);
    data_ = result_.substr(colon + 1);
  }
}

bool CBarcodeDlg::showOpenLink() const {
  return data_.find("://") != std::string::npos;
}

void CBarcodeDlg::OpenLink() const {
  if (IsOpenableLink(data_)) desktop_.OpenUrl(data_);
}

void CBarcodeDlg::Copy() const {
  if (!data_.empty()) clipboard_.SetText(data_);
}

bool IsOpenableLink(const std::string& text) {
  const size_t sep = text.find("://");
  if (sep == std::string::npos || sep == 0) return false;
  // A scheme is a letter followed by letters, digits, "+", "-" or ".".
  auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!isAlpha(text[0])) return false;
  for (size_t i = 1; i < sep; ++i) {
    const char c = text[i];
    if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return !EqualsIgnoreCase(std::string_view(text).substr(0, sep), "file");
}

}  // namespace qp
