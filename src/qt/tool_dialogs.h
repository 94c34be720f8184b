// The OCR and barcode result dialogs: thin forms over the engine's dialog models.
#pragma once

#include <QPointer>
#include <QWidget>

#include "tools/result_dialogs.h"

namespace qp {

class QtToolDialogs final : public ToolDialogPort {
 public:
  explicit QtToolDialogs(QWidget* parent) : parent_(parent) {}
  void ShowOcrResult(const CTesseractDlg& dialog) override;
  void ShowBarcodeResult(const CBarcodeDlg& dialog) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace qp
