#include "qt/batch_app/batch_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "codecs/file_filters.h"
#include "ops/resample.h"

namespace qp {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

BatchWindow::BatchWindow(SettingsAccess& settings, SystemImageDecoder* decoder, QWidget* parent)
    : QWidget(parent), settings_(settings), decoder_(decoder) {
  setWindowTitle(tr("Quillpix Batch Conversion"));
  formats_ = SaveFormatsIn(saveFilter(&settings_));

  auto* layout = new QVBoxLayout(this);

  auto* sourceBox = new QGroupBox(tr("Pictures"), this);
  auto* sourceLayout = new QVBoxLayout(sourceBox);
  inputs_ = new QListWidget(sourceBox);
  inputs_->setObjectName("inputs");
  inputs_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  sourceLayout->addWidget(inputs_);
  auto* sourceButtons = new QHBoxLayout;
  auto* addFiles = new QPushButton(tr("Add Files…"), sourceBox);
  auto* addFolder = new QPushButton(tr("Add Folder…"), sourceBox);
  auto* remove = new QPushButton(tr("Remove"), sourceBox);
  recursive_ = new QCheckBox(tr("Include subfolders"), sourceBox);
  recursive_->setObjectName("recursive");
  sourceButtons->addWidget(addFiles);
  sourceButtons->addWidget(addFolder);
  sourceButtons->addWidget(remove);
  sourceButtons->addStretch(1);
  sourceButtons->addWidget(recursive_);
  sourceLayout->addLayout(sourceButtons);
  layout->addWidget(sourceBox, 1);
  connect(addFiles, &QPushButton::clicked, this, [this] {
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Add Files"), QString(),
        tr("Pictures (%1);;All Files (*)").arg(Q(patternList(&settings_)).replace(';', ' ')));
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    addInputs(paths);
  });
  connect(addFolder, &QPushButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Add Folder"));
    if (!dir.isEmpty()) addInputs({dir.toStdString()});
  });
  connect(remove, &QPushButton::clicked, this, [this] { qDeleteAll(inputs_->selectedItems()); });

  auto* targetBox = new QGroupBox(tr("Conversion"), this);
  auto* form = new QFormLayout(targetBox);
  format_ = new QComboBox(targetBox);
  format_->setObjectName("format");
  for (const SaveFormat& f : formats_) format_->addItem(Q(f.description), Q(f.extension));
  form->addRow(tr("Format:"), format_);

  auto* qualityRow = new QHBoxLayout;
  quality_ = new QSpinBox(targetBox);
  quality_->setObjectName("quality");
  quality_->setRange(0, 100);
  lossless_ = new QCheckBox(tr("Lossless"), targetBox);
  lossless_->setObjectName("lossless");
  qualityRow->addWidget(quality_);
  qualityRow->addWidget(lossless_);
  qualityRow->addStretch(1);
  form->addRow(tr("Quality:"), qualityRow);

  auto* resizeRow = new QHBoxLayout;
  resize_ = new QCheckBox(tr("Shrink to a longest side of"), targetBox);
  resize_->setObjectName("resize");
  longest_ = new QSpinBox(targetBox);
  longest_->setObjectName("longest");
  longest_->setRange(1, kMaxResampleSide);
  longest_->setValue(1920);
  longest_->setSuffix(tr(" pixels"));
  longest_->setEnabled(false);
  resizeRow->addWidget(resize_);
  resizeRow->addWidget(longest_);
  resizeRow->addStretch(1);
  form->addRow(tr("Size:"), resizeRow);
  connect(resize_, &QCheckBox::toggled, longest_, &QSpinBox::setEnabled);

  autoRotate_ =
      new QCheckBox(tr("Turn JPEG pictures upright by their EXIF orientation"), targetBox);
  autoRotate_->setObjectName("autoRotate");
  form->addRow(tr("Rotation:"), autoRotate_);

  auto* folderRow = new QHBoxLayout;
  targetFolder_ = new QLineEdit(targetBox);
  targetFolder_->setObjectName("targetFolder");
  targetFolder_->setPlaceholderText(tr("Beside each picture"));
  auto* browse = new QToolButton(targetBox);
  browse->setText(tr("Browse…"));
  folderRow->addWidget(targetFolder_, 1);
  folderRow->addWidget(browse);
  form->addRow(tr("Target folder:"), folderRow);
  connect(browse, &QToolButton::clicked, this, [this] {
    const QString dir =
        QFileDialog::getExistingDirectory(this, tr("Target Folder"), targetFolder_->text());
    if (!dir.isEmpty()) targetFolder_->setText(dir);
  });

  existing_ = new QComboBox(targetBox);
  existing_->setObjectName("existing");
  existing_->addItem(tr("Skip the picture"));
  existing_->addItem(tr("Overwrite the file"));
  existing_->addItem(tr("Write under a new name"));
  form->addRow(tr("When the file exists:"), existing_);
  layout->addWidget(targetBox);

  auto* runRow = new QHBoxLayout;
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progress");
  progress_->setValue(0);
  convert_ = new QPushButton(tr("Convert"), this);
  convert_->setObjectName("convert");
  convert_->setDefault(true);
  cancel_ = new QPushButton(tr("Cancel"), this);
  cancel_->setObjectName("cancel");
  cancel_->setEnabled(false);
  runRow->addWidget(progress_, 1);
  runRow->addWidget(convert_);
  runRow->addWidget(cancel_);
  layout->addLayout(runRow);
  status_ = new QLabel(this);
  layout->addWidget(status_);
  report_ = new QPlainTextEdit(this);
  report_->setObjectName("report");
  report_->setReadOnly(true);
  report_->setPlaceholderText(tr("The report of the conversion appears here."));
  layout->addWidget(report_, 1);

  form_ = {addFiles, addFolder, remove, recursive_, inputs_, targetBox};
  connect(convert_, &QPushButton::clicked, this, [this] { start(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
  connect(format_, &QComboBox::currentIndexChanged, this, [this] { formatChanged(); });
  connect(lossless_, &QCheckBox::toggled, this, [this] { formatChanged(); });
  formatChanged();
}

BatchWindow::~BatchWindow() {
  cancel_flag_ = true;
  worker_.reset();  // joins
}

void BatchWindow::addInputs(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    if (p.empty()) continue;
    if (inputs_->findItems(Q(p), Qt::MatchExactly).isEmpty()) inputs_->addItem(Q(p));
  }
}

// Quality applies to WebP (lossy) and JPEG, within the format's range; it starts at the
// user's saved value.
void BatchWindow::formatChanged() {
  const QString ext = format_->currentData().toString();
  const bool webp = ext == "webp";
  const bool jpeg = ext == "jpg" || ext == "jpeg";
  lossless_->setEnabled(webp);
  const auto range = QualityRangeOf(ext.toStdString());
  quality_->setEnabled(range && !(webp && lossless_->isChecked()));
  if (range) quality_->setRange(range->low, range->high);
  if (webp) quality_->setValue(settings_.ReadNumber("WebpQuality"));
  if (jpeg) quality_->setValue(settings_.ReadNumber("JpegQuality"));
}

BatchOptions BatchWindow::options() const {
  BatchOptions o;
  o.extension = format_->currentData().toString().toStdString();
  o.targetFolder = targetFolder_->text().trimmed().toStdString();
  o.recursive = recursive_->isChecked();
  o.quality = quality_->isEnabled() ? quality_->value() : -1;
  o.lossless = lossless_->isEnabled() && lossless_->isChecked();
  o.longestSide = resize_->isChecked() ? longest_->value() : 0;
  o.autoRotate = autoRotate_->isChecked();
  o.existing = static_cast<ExistingRule>(existing_->currentIndex());
  return o;
}

bool BatchWindow::start() {
  if (worker_ || format_->count() == 0) return false;
  std::vector<std::string> inputs;
  for (int i = 0; i < inputs_->count(); ++i)
    inputs.push_back(inputs_->item(i)->text().toStdString());
  const BatchOptions opts = options();
  if (const auto refused = CheckBatchOptions(opts)) {
    status_->setText(Q(*refused));
    return false;
  }
  BatchPlan plan = PlanBatch(inputs, opts, patternList(&settings_));
  if (plan.items.empty() && plan.unreadable.empty()) {
    status_->setText(tr("No pictures to convert."));
    return false;
  }
  const size_t count = plan.items.size();
  report_->clear();
  progress_->setRange(0, static_cast<int>(count));
  progress_->setValue(0);
  status_->setText(tr("Converting %1 pictures…").arg(count));
  cancel_flag_ = false;
  shared_ = std::make_unique<SharedSettings>(settings_);
  context_ = std::make_unique<BatchContext>(BatchContext{*shared_, decoder_});
  setRunning(true);
  worker_ = std::make_unique<std::jthread>([this, plan = std::move(plan), opts] {
    BatchReport report = RunBatch(
        plan, opts, *context_, cancel_flag_, [this](size_t done, size_t total, const ItemResult&) {
          QMetaObject::invokeMethod(
              this,
              [this, done, total] {
                progress_->setValue(static_cast<int>(done));
                status_->setText(tr("%1 of %2 done").arg(done).arg(total));
              },
              Qt::QueuedConnection);
        });
    QMetaObject::invokeMethod(
        this, [this, report = std::move(report)]() mutable { done(std::move(report)); },
        Qt::QueuedConnection);
  });
  return true;
}

void BatchWindow::cancel() {
  if (!worker_) return;
  cancel_flag_ = true;
  status_->setText(tr("Cancelling: the pictures in progress are finished…"));
}

void BatchWindow::done(BatchReport report) {
  worker_.reset();
  lastReport_ = std::move(report);
  report_->setPlainText(Q(FormatReport(lastReport_)));
  status_->setText(cancel_flag_ ? tr("Cancelled.") : tr("Done."));
  setRunning(false);
  emit finished();
}

void BatchWindow::setRunning(bool on) {
  for (QWidget* w : form_) w->setEnabled(!on);
  convert_->setEnabled(!on);
  cancel_->setEnabled(on);
}

}  // namespace qp
