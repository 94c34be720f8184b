// "Custom Selection": the selection by numbers.
#pragma once

#include "qt/dialogs/form_base.h"
#include "view/edit_dialogs.h"

namespace qp {

class CustomSelectionForm final : public FormBase {
 public:
  CustomSelectionForm(CustomSelectionDialog& model, QWidget* parent);
  QLineEdit* top;
  QLineEdit* left;
  QLineEdit* width;
  QLineEdit* height;
};

}  // namespace qp
