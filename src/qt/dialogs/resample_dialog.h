// "Resample Image": width and height that follow each other while the aspect ratio is kept.
#pragma once

#include <QCheckBox>

#include "qt/dialogs/form_base.h"
#include "view/edit_dialogs.h"

namespace qp {

class ResampleForm final : public FormBase {
 public:
  ResampleForm(ResampleDialog& model, QWidget* parent);
  QLineEdit* width;
  QLineEdit* height;
  QCheckBox* keepAspect;
  QCheckBox* sharpen;
  QCheckBox* useResize;

 private:
  ResampleDialog& model_;
};

}  // namespace qp
