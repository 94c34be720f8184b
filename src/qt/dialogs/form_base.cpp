#include "qt/dialogs/form_base.h"

namespace qp {

FormBase::FormBase(const char* title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(title));
  layout_ = new QVBoxLayout(this);
  fields = new QFormLayout;
  layout_->addLayout(fields);
  error = new QLabel(this);
  error->setWordWrap(true);
  error->setStyleSheet("color: #B00020");
  error->hide();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok = buttons->button(QDialogButtonBox::Ok);
  cancel = buttons->button(QDialogButtonBox::Cancel);
  layout_->addWidget(error);
  layout_->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { TryAccept(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QLineEdit* FormBase::AddField(const char* label, const std::string& text) {
  auto* edit = new QLineEdit(QString::fromStdString(text), this);
  fields->addRow(QString::fromUtf8(label), edit);
  return edit;
}

void FormBase::TryAccept() {
  const auto problem = check ? check() : std::nullopt;
  if (!problem) {
    accept();
    return;
  }
  error->setText(QString::fromStdString(*problem));
  error->show();
}

}  // namespace qp
