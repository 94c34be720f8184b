// What the edit dialogs share: a vertical form with an error line above OK and Cancel. OK
// copies the fields into the engine model and closes only when the model accepts them;
// otherwise the model's message stays on the error line and the dialog stays open.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <optional>
#include <string>

namespace qp {

class FormBase : public QDialog {
 public:
  FormBase(const char* title, QWidget* parent);

  // Called on OK: returns the problem with the fields, or nothing to accept.
  std::function<std::optional<std::string>()> check;
  // Runs `check`; accepts, or shows its message.
  void TryAccept();

  QFormLayout* fields;
  QLabel* error;
  QPushButton* ok;
  QPushButton* cancel;

 protected:
  // A line edit for a field, added with its label.
  QLineEdit* AddField(const char* label, const std::string& text);
  QVBoxLayout* layout_;
};

}  // namespace qp
