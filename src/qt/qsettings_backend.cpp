#include "qt/qsettings_backend.h"

#include <QSettings>
#include <QString>

namespace qp {

namespace {
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

QSettingsBackend::QSettingsBackend(std::string group, std::string iniFile)
    : group_(std::move(group)) {
  if (iniFile.empty()) {
    // The native format is an INI file on Linux: $XDG_CONFIG_HOME/Quillpix/Quill Pix.conf.
    settings_ = std::make_unique<QSettings>("Quillpix", "Quill Pix");
  } else {
    settings_ = std::make_unique<QSettings>(Q(iniFile), QSettings::IniFormat);
  }
}

QSettingsBackend::~QSettingsBackend() = default;

std::optional<std::string> QSettingsBackend::getText(std::string_view name) {
  settings_->sync();
  const QVariant v = settings_->value(Q(group_) + "/" + Q(name));
  if (!v.isValid()) return std::nullopt;
  return v.toString().toStdString();
}

std::optional<int32_t> QSettingsBackend::getNumber(std::string_view name) {
  settings_->sync();
  const QVariant v = settings_->value(Q(group_) + "/" + Q(name));
  if (!v.isValid()) return std::nullopt;
  bool ok = false;
  const qlonglong n = v.toLongLong(&ok);
  if (!ok) return std::nullopt;
  return static_cast<int32_t>(static_cast<uint32_t>(n));
}

bool QSettingsBackend::setText(std::string_view name, std::string_view value) {
  settings_->setValue(Q(group_) + "/" + Q(name), Q(value));
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

bool QSettingsBackend::setNumber(std::string_view name, int32_t value) {
  settings_->setValue(Q(group_) + "/" + Q(name), value);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

bool QSettingsBackend::removeGroup(std::string_view group) {
  settings_->sync();
  settings_->remove(Q(group));
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

bool QSettingsBackend::replaceGroup(std::string_view group,
                                    const std::vector<std::pair<std::string, std::string>>& values) {
  // Every sync that has changes rewrites the whole file; the group is changed in memory and
  // written with one.
  settings_->sync();
  settings_->remove(Q(group));
  for (const auto& [name, text] : values) settings_->setValue(Q(group_) + "/" + Q(name), Q(text));
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

std::string QSettingsBackend::fileName() const { return settings_->fileName().toStdString(); }

}  // namespace qp
