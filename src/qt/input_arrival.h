// Tells the show trace when a command arrives: a key press, a wheel turn or a command posted
// by a worker thread (the game pad). Animation ticks are not commands of the user.
#pragma once

#include <QObject>

#include "view/show_trace.h"

namespace qp {

class InputArrivalFilter final : public QObject {
 public:
  explicit InputArrivalFilter(ShowTrace& trace) : trace_(trace) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ShowTrace& trace_;
};

}  // namespace qp
