// Work moved off the way to the first paint of the window: the style's standard icons are read
// when first drawn.
#pragma once

#include <QProxyStyle>

namespace qp {

// The application's style with standard icons read on first use. The default style reads its
// icons from image files, and the first such read loads every image plug-in of Qt; the menu
// bar asks for one (its overflow button's) when it is made, long before it is drawn, if ever.
// Everything else is the base style's.
class DeferredIconStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace qp
