#include "qt/settings_app/settings_window.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "core/colour.h"

namespace qp {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}
std::string S(const QString& s) {
  return s.toStdString();
}

// Refuses any text the field does not take (too long for its capacity, a bare copy prefix …),
// so an invalid value cannot be typed in the first place.
class FieldValidator : public QValidator {
 public:
  FieldValidator(std::function<bool(const std::string&)> accepts, QObject* parent)
      : QValidator(parent), accepts_(std::move(accepts)) {}
  State validate(QString& input, int&) const override {
    return accepts_(S(input)) ? Acceptable : Invalid;
  }

 private:
  std::function<bool(const std::string&)> accepts_;
};

QString DefaultDescription(const SettingField& f) {
  const std::string d = DefaultText(f);
  if (f.keepOnRestore) return QObject::tr("Default: the next free number");
  if (f.zeroAllowed && d == "0") return QObject::tr("Default: built-in");
  if (d.empty()) {
    return f.editor == EditorKind::Colour ? QObject::tr("Default: built-in")
                                          : QObject::tr("Default: none");
  }
  if (d == "true") return QObject::tr("Default: on");
  if (d == "false") return QObject::tr("Default: off");
  return QObject::tr("Default: %1").arg(Q(d));
}

// A line edit with a browse button for a file or folder.
QWidget* PathEditor(const SettingField& f, QLineEdit*& edit, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  edit = new QLineEdit(box);
  edit->setObjectName(Q(f.name));
  auto* browse = new QToolButton(box);
  browse->setText(QObject::tr("Browse…"));
  row->addWidget(edit, 1);
  row->addWidget(browse);
  const bool folder = f.editor == EditorKind::Folder;
  QObject::connect(browse, &QToolButton::clicked, edit, [edit, folder, box] {
    const QString chosen = folder ? QFileDialog::getExistingDirectory(box, QString(), edit->text())
                                  : QFileDialog::getOpenFileName(box, QString(), edit->text());
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  return box;
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsBackend& backend, QWidget* parent)
    : QDialog(parent), edit_(backend) {
  setWindowTitle(tr("Quillpix Settings"));
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  layout->addWidget(tabs_);

  rows_.reserve(SettingsFields().size());
  for (const std::string& tab : SettingsTabs()) {
    auto* scroll = new QScrollArea(tabs_);
    scroll->setWidgetResizable(true);
    auto* page = new QWidget(scroll);
    auto* grid = new QGridLayout(page);
    int line = 0;
    for (const SettingField& f : SettingsFields()) {
      if (f.tab != tab) continue;
      Row& row = rows_.emplace_back();
      row.field = &f;
      auto* label = new QLabel(Q(f.label), page);
      QWidget* editor = makeEditor(row, page);
      label->setBuddy(editor);
      auto* def = new QLabel(DefaultDescription(f), page);
      def->setEnabled(false);  // drawn as secondary text
      row.warning = new QLabel(page);
      row.warning->setObjectName(Q(f.name + "Warning"));
      row.warning->setStyleSheet("color: #8a4b00");
      row.warning->setWordWrap(true);
      row.warning->hide();
      grid->addWidget(label, line, 0);
      grid->addWidget(editor, line, 1);
      grid->addWidget(def, line, 2);
      // Under the editor: what the viewer makes of a value written by hand in another form.
      grid->addWidget(row.warning, line + 1, 1, 1, 2);
      line += 2;
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(line, 1);
    scroll->setWidget(page);
    tabs_->addTab(scroll, tr(tab.c_str()));
  }

  buttons_ = new QDialogButtonBox(QDialogButtonBox::RestoreDefaults | QDialogButtonBox::Apply |
                                      QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                  this);
  buttons_->button(QDialogButtonBox::Apply)->setObjectName("apply");
  buttons_->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons_->button(QDialogButtonBox::RestoreDefaults)->setObjectName("restoreDefaults");
  layout->addWidget(buttons_);
  connect(buttons_->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
          [this] { restoreDefaults(); });
  connect(buttons_->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
          [this] { apply(); });
  connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
    if (apply()) accept();
  });
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  load();
}

QWidget* SettingsWindow::makeEditor(Row& row, QWidget* parent) {
  const SettingField& f = *row.field;
  const QString name = Q(f.name);
  switch (f.editor) {
    case EditorKind::TextFlag:
    case EditorKind::NumberFlag: {
      auto* box = new QCheckBox(parent);
      box->setObjectName(name);
      row.get = [box] { return std::string(box->isChecked() ? "true" : "false"); };
      row.set = [box](const std::string& v) { box->setChecked(v == "true"); };
      return box;
    }
    case EditorKind::Number: {
      auto* spin = new QSpinBox(parent);
      spin->setObjectName(name);
      // A setting that also takes 0 ("built-in") gets one step below its range for it.
      const int low = f.zeroAllowed ? f.minimum - 1 : f.minimum;
      spin->setRange(low, f.maximum);
      if (f.zeroAllowed) spin->setSpecialValueText(tr("Built-in"));
      const bool zero = f.zeroAllowed;
      row.get = [spin, zero, low] {
        return std::to_string(zero && spin->value() == low ? 0 : spin->value());
      };
      row.set = [spin, zero, low](const std::string& v) {
        const int n = std::stoi(v);
        spin->setValue(zero && n == 0 ? low : n);
      };
      return spin;
    }
    case EditorKind::Colour: {
      auto* box = new QWidget(parent);
      auto* line = new QHBoxLayout(box);
      line->setContentsMargins(0, 0, 0, 0);
      auto* pick = new QPushButton(box);
      pick->setObjectName(name);
      auto* clear = new QToolButton(box);
      clear->setText(tr("Built-in"));
      line->addWidget(pick, 1);
      line->addWidget(clear);
      // The text is kept as it is until the user picks another colour.
      auto text = std::make_shared<std::string>();
      auto show = [pick, text] {
        if (text->empty()) {
          pick->setText(tr("Built-in colour"));
          pick->setStyleSheet({});
          return;
        }
        const uint32_t c = ParseColour(*text);
        const QColor colour((c >> 16) & 255, (c >> 8) & 255, c & 255);
        pick->setText(Q(FormatColour(c)));
        pick->setStyleSheet(QString("background-color: %1; color: %2")
                                .arg(colour.name(), colour.lightness() > 128 ? "black" : "white"));
      };
      connect(pick, &QPushButton::clicked, box, [box, text, show] {
        const uint32_t c = text->empty() ? 0xFFFFFF : ParseColour(*text);
        const QColor chosen =
            QColorDialog::getColor(QColor((c >> 16) & 255, (c >> 8) & 255, c & 255), box);
        if (!chosen.isValid()) return;
        *text = FormatColour((uint32_t(chosen.red()) << 16) | (uint32_t(chosen.green()) << 8) |
                             uint32_t(chosen.blue()));
        show();
      });
      connect(clear, &QToolButton::clicked, box, [text, show] {
        text->clear();
        show();
      });
      row.get = [text] { return *text; };
      row.set = [text, show](const std::string& v) {
        *text = v;
        show();
      };
      return box;
    }
    case EditorKind::File:
    case EditorKind::Folder: {
      QLineEdit* edit = nullptr;
      QWidget* box = PathEditor(f, edit, parent);
      edit->setValidator(
          new FieldValidator([&f](const std::string& v) { return Accepts(f, v); }, edit));
      row.get = [edit] { return S(edit->text()); };
      row.set = [edit](const std::string& v) { edit->setText(Q(v)); };
      return box;
    }
    case EditorKind::Program: {
      auto* box = new QWidget(parent);
      auto* line = new QHBoxLayout(box);
      line->setContentsMargins(0, 0, 0, 0);
      auto* action = new QComboBox(box);
      action->setObjectName(name + "Action");
      action->addItem(tr("Open with program"));
      action->addItem(tr("Copy to folder"));
      action->addItem(tr("Move to folder"));
      auto* edit = new QLineEdit(box);
      edit->setObjectName(name);
      auto* browse = new QToolButton(box);
      browse->setText(tr("Browse…"));
      line->addWidget(action);
      line->addWidget(edit, 1);
      line->addWidget(browse);
      auto slot = [action, edit](const QString& target) {
        return JoinSlot({static_cast<SlotAction>(action->currentIndex()), S(target)});
      };
      edit->setValidator(new FieldValidator(
          [&f, slot](const std::string& v) { return Accepts(f, slot(Q(v))); }, edit));
      connect(browse, &QToolButton::clicked, box, [box, action, edit] {
        const QString chosen =
            action->currentIndex() == 0
                ? QFileDialog::getOpenFileName(box, QString(), edit->text())
                : QFileDialog::getExistingDirectory(box, QString(), edit->text());
        if (!chosen.isEmpty()) edit->setText(chosen);
      });
      row.get = [edit, slot] { return slot(edit->text()); };
      row.set = [action, edit](const std::string& v) {
        const SlotValue s = SplitSlot(v);
        action->setCurrentIndex(static_cast<int>(s.action));
        edit->setText(Q(s.target));
      };
      return box;
    }
    case EditorKind::Text: {
      auto* edit = new QLineEdit(parent);
      edit->setObjectName(name);
      edit->setValidator(
          new FieldValidator([&f](const std::string& v) { return Accepts(f, v); }, edit));
      row.get = [edit] { return S(edit->text()); };
      row.set = [edit](const std::string& v) { edit->setText(Q(v)); };
      return edit;
    }
  }
  return new QWidget(parent);
}

void SettingsWindow::load() {
  for (Row& row : rows_) {
    const FieldValue& v = edit_.read(*row.field);
    row.set(v.value);
    // What the editor shows for the value read; only a change from it is written.
    row.shown = row.get();
    row.warning->setText(Q(v.note));
    row.warning->setVisible(!v.note.empty());
  }
}

bool SettingsWindow::apply() {
  for (Row& row : rows_) {
    const std::string v = row.get();
    if (v != row.shown)
      edit_.set(*row.field, v);
    else
      edit_.revert(*row.field);
  }
  QStringList failed;
  for (const SettingField* f : edit_.apply()) failed << Q(f->label);
  for (Row& row : rows_) {
    if (edit_.changed(*row.field)) continue;  // not written: stays to be applied again
    const FieldValue& v = edit_.read(*row.field);
    if (row.get() == row.shown) continue;
    row.shown = row.get();
    row.warning->setText(Q(v.note));
    row.warning->setVisible(!v.note.empty());
  }
  if (failed.isEmpty()) return true;
  QMessageBox::warning(this, windowTitle(),
                       tr("These settings could not be written:\n%1").arg(failed.join("\n")));
  return false;
}

void SettingsWindow::restoreDefaults() {
  for (Row& row : rows_)
    if (!row.field->keepOnRestore) row.set(DefaultText(*row.field));
}

const SettingsWindow::Row* SettingsWindow::find(const std::string& name) const {
  for (const Row& row : rows_)
    if (row.field->name == name) return &row;
  return nullptr;
}

std::string SettingsWindow::value(const std::string& name) const {
  const Row* row = find(name);
  return row ? row->get() : std::string();
}

bool SettingsWindow::flagged(const std::string& name) const {
  const Row* row = find(name);
  return row && !row->warning->isHidden();
}

}  // namespace qp
