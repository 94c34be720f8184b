#include "qt/tool_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace qp {

namespace {

// The frame both dialogs share: an icon and a one-line box on top, the text below, the
// buttons in a row at the bottom with "&Close" the default.
struct ResultForm {
  QDialog dialog;
  QLineEdit* line;
  QPlainTextEdit* text;
  QHBoxLayout* buttons;

  ResultForm(QWidget* parent, const QString& title) : dialog(parent) {
    dialog.setWindowTitle(title);
    dialog.setObjectName(title);
    // 329 x 234 dialog units at the usual 1.5 x 1.625 pixels a unit.
    dialog.resize(494, 380);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32));
    line = new QLineEdit;
    line->setObjectName("type");
    line->setReadOnly(true);
    top->addWidget(icon);
    top->addWidget(line, 1);
    text = new QPlainTextEdit;
    text->setObjectName("text");
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
    layout->addWidget(text, 1);
    layout->addLayout(buttons);
  }
  QPushButton* AddButton(const QString& label, const QString& name) {
    auto* b = new QPushButton(label);
    b->setObjectName(name);
    b->setAutoDefault(false);
    buttons->addWidget(b);
    return b;
  }
  void Run() {
    QPushButton* close = AddButton(QObject::tr("&Close"), "close");
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
    dialog.exec();
  }
};

}  // namespace

void QtToolDialogs::ShowOcrResult(const CTesseractDlg& model) {
  ResultForm form(parent_, "OCR");
  form.text->setPlainText(QString::fromStdString(model.text()));
  QObject::connect(form.AddButton("Copy", "copy"), &QPushButton::clicked,
                   [&model] { model.Copy(); });
  form.Run();
}

void QtToolDialogs::ShowBarcodeResult(const CBarcodeDlg& model) {
  ResultForm form(parent_, "Barcode");
  form.line->setText(QString::fromStdString(model.type()));
  form.text->setPlainText(QString::fromStdString(model.data()));
  QPushButton* open = form.AddButton("Open Link", "openLink");
  open->setVisible(model.showOpenLink());
  QObject::connect(open, &QPushButton::clicked, [&model] { model.OpenLink(); });
  QObject::connect(form.AddButton("Copy", "copy"), &QPushButton::clicked,
                   [&model] { model.Copy(); });
  form.Run();
}

}  // namespace qp
