#include "qt/input_arrival.h"

#include <QEvent>

#include "core/viewer_state.h"
#include "qt/qt_ports.h"

namespace qp {

bool InputArrivalFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    // A key bound to a command reaches its action as a shortcut, announced by this event.
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::Wheel:
      trace_.CommandArrived();
      break;
    default:
      if (event->type() == PostedCommandEvent::EventType() &&
          static_cast<PostedCommandEvent*>(event)->command != kCmdAnimationTick)
        trace_.CommandArrived();
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace qp
