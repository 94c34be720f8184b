#include "qt/dialogs/resample_dialog.h"

namespace qp {

ResampleForm::ResampleForm(ResampleDialog& model, QWidget* parent)
    : FormBase(ResampleDialog::kTitle, parent), model_(model) {
  width = AddField("Width:", model.widthText);
  height = AddField("Height:", model.heightText);
  width->setMaxLength(static_cast<int>(ResampleDialog::kMaxFieldText));
  height->setMaxLength(static_cast<int>(ResampleDialog::kMaxFieldText));
  keepAspect = new QCheckBox(ResampleDialog::kKeepAspect, this);
  sharpen = new QCheckBox(ResampleDialog::kSharpen, this);
  useResize = new QCheckBox(ResampleDialog::kUseResize, this);
  keepAspect->setChecked(model.keepAspect);
  sharpen->setChecked(model.sharpen);
  useResize->setChecked(model.useResize);
  // A vector picture is drawn again at the new size; the pixel options keep their state.
  sharpen->setEnabled(model.pixelOptionsEnabled);
  useResize->setEnabled(model.pixelOptionsEnabled);
  fields->addRow(keepAspect);
  fields->addRow(sharpen);
  fields->addRow(useResize);
  // textEdited comes only from the user, so writing the other field does not echo back.
  connect(width, &QLineEdit::textEdited, this, [this](const QString& t) {
    if (auto h = model_.WidthEdited(t.toStdString())) height->setText(QString::fromStdString(*h));
  });
  connect(height, &QLineEdit::textEdited, this, [this](const QString& t) {
    if (auto w = model_.HeightEdited(t.toStdString())) width->setText(QString::fromStdString(*w));
  });
  connect(keepAspect, &QCheckBox::toggled, this, [this](bool on) { model_.SetKeepAspect(on); });
  check = [this] {
    model_.widthText = width->text().toStdString();
    model_.heightText = height->text().toStdString();
    model_.sharpen = sharpen->isChecked();
    model_.useResize = useResize->isChecked();
    return model_.Validate();
  };
  width->setFocus();
  width->selectAll();
}

}  // namespace qp
