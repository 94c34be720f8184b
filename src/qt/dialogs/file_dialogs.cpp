#include "qt/dialogs/file_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ports.h"

namespace qp {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The report's lines end with "\r\n"; the text box wants plain line feeds.
QString PlainLines(const std::string& text) {
  QString out = Q(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

}  // namespace

void RunRenameForm(QWidget* parent, RenameDialogModel& model) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("renameDialog"));
  dialog.setWindowTitle(QString::fromLatin1(RenameDialogModel::kTitle));
  auto* edit = new QLineEdit(Q(model.initialName), &dialog);
  edit->setObjectName(QStringLiteral("renameEdit"));
  edit->setMaxLength(RenameDialogModel::kMaxLength);
  edit->setMinimumWidth(360);
  // The name without its extension is selected, ready to be typed over.
  const qsizetype dot = edit->text().lastIndexOf(QLatin1Char('.'));
  edit->setSelection(0, dot > 0 ? dot : edit->text().size());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(edit);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    // A refused name keeps the dialog open for another try.
    if (model.accept(edit->text().toStdString())) dialog.accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  dialog.exec();
}

void RunPropertiesForm(QWidget* parent, const PropertiesDialogModel& model, DesktopPort& desktop) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("propertiesDialog"));
  dialog.setWindowTitle(QString::fromLatin1(PropertiesDialogModel::kTitle));
  auto* path = new QLineEdit(Q(model.path), &dialog);
  path->setObjectName(QStringLiteral("propertiesPath"));
  path->setReadOnly(true);
  auto* report = new QPlainTextEdit(PlainLines(model.report), &dialog);
  report->setObjectName(QStringLiteral("propertiesText"));
  report->setReadOnly(true);
  report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  report->setMinimumSize(520, 340);
  auto* map = new QPushButton(QString::fromLatin1(PropertiesDialogModel::kMapButton), &dialog);
  map->setObjectName(QStringLiteral("mapButton"));
  map->setVisible(model.mapLink.has_value());
  auto* close = new QPushButton(QString::fromLatin1(PropertiesDialogModel::kCloseButton), &dialog);
  close->setObjectName(QStringLiteral("closeButton"));
  close->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addWidget(map);
  row->addStretch();
  row->addWidget(close);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(path);
  layout->addWidget(report);
  layout->addLayout(row);
  QObject::connect(map, &QPushButton::clicked, &dialog, [&] { model.PressMap(desktop); });
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  dialog.exec();
}

void RunAboutForm(QWidget* parent, const AboutDialogModel& model, DesktopPort& desktop) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("aboutDialog"));
  dialog.setWindowTitle(QString::fromLatin1(AboutDialogModel::kTitle));
  auto* text = new QPlainTextEdit(PlainLines(model.text), &dialog);
  text->setObjectName(QStringLiteral("aboutText"));
  text->setReadOnly(true);
  text->setMinimumSize(560, 380);
  auto* web = new QPushButton(QStringLiteral("&Documentation"), &dialog);
  web->setObjectName(QStringLiteral("webButton"));
  web->setEnabled(!model.documentation.empty());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  auto* row = new QHBoxLayout;
  row->addWidget(web);
  row->addStretch();
  row->addWidget(buttons);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(text);
  layout->addLayout(row);
  QObject::connect(web, &QPushButton::clicked, &dialog, [&] { model.PressDocumentation(desktop); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  dialog.exec();
}

}  // namespace qp
