#include "qt/dialogs/custom_selection_dialog.h"

namespace qp {

CustomSelectionForm::CustomSelectionForm(CustomSelectionDialog& model, QWidget* parent)
    : FormBase(CustomSelectionDialog::kTitle, parent) {
  top = AddField("Top:", model.topText);
  left = AddField("Left:", model.leftText);
  width = AddField("Width:", model.widthText);
  height = AddField("Height:", model.heightText);
  check = [this, &model] {
    model.topText = top->text().toStdString();
    model.leftText = left->text().toStdString();
    model.widthText = width->text().toStdString();
    model.heightText = height->text().toStdString();
    return model.Validate();
  };
  width->setFocus();
  width->selectAll();
}

}  // namespace qp
