#include "qt/dialogs/add_borders_dialog.h"

namespace qp {

AddBordersForm::AddBordersForm(AddBordersDialog& model, QWidget* parent)
    : FormBase(AddBordersDialog::kTitle, parent) {
  top = AddField("Top:", model.topText);
  left = AddField("Left:", model.leftText);
  right = AddField("Right:", model.rightText);
  bottom = AddField("Bottom:", model.bottomText);
  colour = AddField("Colour:", model.colourText);
  check = [this, &model] {
    model.topText = top->text().toStdString();
    model.leftText = left->text().toStdString();
    model.rightText = right->text().toStdString();
    model.bottomText = bottom->text().toStdString();
    model.colourText = colour->text().toStdString();
    return model.Validate();
  };
  top->setFocus();
  top->selectAll();
}

}  // namespace qp
