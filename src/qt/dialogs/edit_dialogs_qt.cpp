#include "qt/dialogs/edit_dialogs_qt.h"

#include "qt/dialogs/add_borders_dialog.h"
#include "qt/dialogs/custom_selection_dialog.h"
#include "qt/dialogs/resample_dialog.h"
#include "qt/dialogs/select_colour_dialog.h"

namespace qp {

bool QtEditDialogs::Resample(ResampleDialog& dialog) {
  ResampleForm form(dialog, parent_);
  return form.exec() == QDialog::Accepted;
}

bool QtEditDialogs::AddBorders(AddBordersDialog& dialog) {
  AddBordersForm form(dialog, parent_);
  return form.exec() == QDialog::Accepted;
}

bool QtEditDialogs::CustomSelection(CustomSelectionDialog& dialog) {
  CustomSelectionForm form(dialog, parent_);
  return form.exec() == QDialog::Accepted;
}

void QtEditDialogs::ShowColour(const SelectColourDialog& dialog) {
  SelectColourForm form(dialog, parent_);
  form.exec();
}

}  // namespace qp
