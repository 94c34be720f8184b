// The edit commands' dialogs as modal Qt forms over the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "view/edit_dialogs.h"

namespace qp {

class QtEditDialogs final : public EditDialogPort {
 public:
  explicit QtEditDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  bool Resample(ResampleDialog& dialog) override;
  bool AddBorders(AddBordersDialog& dialog) override;
  bool CustomSelection(CustomSelectionDialog& dialog) override;
  void ShowColour(const SelectColourDialog& dialog) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace qp
