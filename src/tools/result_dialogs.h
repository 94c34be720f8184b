// The models of the two result dialogs (OCR text, barcode) and the port that shows them. A
// model holds the text and does what the dialog's buttons do; the Qt forms only display it
// and call these actions, and engine tests press the buttons through the same calls.
#pragma once

#include <string>

#include "platform/ports.h"

namespace qp {

// The OCR result: the recognised text, shown read-only, with "Copy".
class CTesseractDlg {
 public:
  CTesseractDlg(std::string text, ClipboardPort& clipboard)
      : text_(std::move(text)), clipboard_(clipboard) {}
  const std::string& text() const { return text_; }
  // "Copy": the text to the clipboard; an empty text leaves the clipboard untouched.
  void Copy() const;

 private:
  std::string text_;
  ClipboardPort& clipboard_;
};

// The barcode result "type:data": the part before the first ":" is the symbol type, the rest
// the data (further ":" stay in the data). Without any ":" both parts are empty.
class CBarcodeDlg {
 public:
  CBarcodeDlg(std::string result, ClipboardPort& clipboard, DesktopPort& desktop);
  const std::string& result() const { return result_; }
  const std::string& type() const { return type_; }
  const std::string& data() const { return data_; }
  // "Open Link" is shown only when the data contains "://".
  bool showOpenLink() const;
  // Opens the data as a link. Only a URL with a scheme other than "file" is handed to the
  // desktop: the data comes from a picture anyone could have made, and the shell would open
  // a local file or program as readily as a web page.
  void OpenLink() const;
  // Copies the data as text; nothing for an empty data part.
  void Copy() const;

 private:
  std::string result_;
  std::string type_;
  std::string data_;
  ClipboardPort& clipboard_;
  DesktopPort& desktop_;
};

// Shows the result dialogs modally; returns when the user has closed them.
class ToolDialogPort {
 public:
  virtual ~ToolDialogPort() = default;
  virtual void ShowOcrResult(const CTesseractDlg& dialog) = 0;
  virtual void ShowBarcodeResult(const CBarcodeDlg& dialog) = 0;
};

// True when `text` starts with a URL scheme followed by "://" and that scheme is not "file".
bool IsOpenableLink(const std::string& text);

}  // namespace qp
