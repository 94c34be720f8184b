#include "qt/dialogs/select_colour_dialog.h"

namespace qp {

SelectColourForm::SelectColourForm(const SelectColourDialog& model, QWidget* parent)
    : FormBase(SelectColourDialog::kTitle, parent) {
  red = AddField("Red:", model.redText);
  green = AddField("Green:", model.greenText);
  blue = AddField("Blue:", model.blueText);
  colour = AddField("Colour:", model.colourText);
  for (QLineEdit* e : {red, green, blue, colour}) e->setReadOnly(true);
  colour->setFocus();
  colour->selectAll();
}

}  // namespace qp
