// "Select Colour": the colour at the centre of the selection, in fields the user can copy.
#pragma once

#include "qt/dialogs/form_base.h"
#include "view/edit_dialogs.h"

namespace qp {

class SelectColourForm final : public FormBase {
 public:
  SelectColourForm(const SelectColourDialog& model, QWidget* parent);
  QLineEdit* red;
  QLineEdit* green;
  QLineEdit* blue;
  QLineEdit* colour;
};

}  // namespace qp
