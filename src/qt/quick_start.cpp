#include "qt/quick_start.h"

#include <QIconEngine>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>
#include <optional>

namespace qp {

namespace {

// Stands for a standard icon of `style`'s base until something asks about the icon itself.
class DeferredIconEngine final : public QIconEngine {
 public:
  DeferredIconEngine(const QProxyStyle* style, QStyle::StandardPixmap which,
                     const QStyleOption* option, const QWidget* widget)
      : style_(const_cast<QProxyStyle*>(style)),
        widget_(const_cast<QWidget*>(widget)),
        which_(which) {
    if (option != nullptr) {
      // The common part (direction, palette, state) is what icons depend on. Kept without its
      // type, so that no style takes the copy for the larger option it was cut from.
      option_ = *option;
      option_->type = QStyleOption::SO_Default;
      option_->version = QStyleOption::Version;
    }
  }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
             QIcon::State state) override {
    Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, mode, state);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    return Icon().pixmap(size, scale, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Icon().availableSizes(mode, state);
  }
  QString iconName() override { return Icon().name(); }
  bool isNull() override { return Icon().isNull(); }
  QString key() const override { return QStringLiteral("DeferredIconEngine"); }
  QIconEngine* clone() const override {
    auto* copy = new DeferredIconEngine(style_, which_, nullptr, widget_);
    copy->option_ = option_;
    copy->icon_ = icon_;
    copy->read_ = read_;
    return copy;
  }

 private:
  const QIcon& Icon() {
    if (!read_) {
      read_ = true;
      if (style_ != nullptr) {
        icon_ = style_->baseStyle()->standardIcon(which_, option_ ? &*option_ : nullptr, widget_);
      }
    }
    return icon_;
  }

  QPointer<QProxyStyle> style_;
  QPointer<QWidget> widget_;
  QStyle::StandardPixmap which_;
  std::optional<QStyleOption> option_;
  QIcon icon_;
  bool read_ = false;
};

}  // namespace

QIcon DeferredIconStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                      const QWidget* widget) const {
  return QIcon(new DeferredIconEngine(this, which, option, widget));
}

}  // namespace qp
