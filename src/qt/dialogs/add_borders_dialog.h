// "Add Borders": four border widths and their colour.
#pragma once

#include "qt/dialogs/form_base.h"
#include "view/edit_dialogs.h"

namespace qp {

class AddBordersForm final : public FormBase {
 public:
  AddBordersForm(AddBordersDialog& model, QWidget* parent);
  QLineEdit* top;
  QLineEdit* left;
  QLineEdit* right;
  QLineEdit* bottom;
  QLineEdit* colour;
};

}  // namespace qp
