#include "qt/input_arrival.h"

#include <QEvent>
#include <QInputEvent>

#include "core/viewer_state.h"
#include "qt/qt_ports.h"
#include "view/view.h"

namespace qp {

bool InputArrivalFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    // A key bound to a command reaches its action as a shortcut, announced by this event.
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::Wheel:
      // From the window system's time of the key: a wait in the queue counts.
      trace_.InputArrived(static_cast<QInputEvent*>(event)->timestamp());
      break;
    default:
      // Animation ticks, the arrival of an exact picture and freeing are not the user's
      // commands.
      if (event->type() == PostedCommandEvent::EventType()) {
        const auto command = static_cast<PostedCommandEvent*>(event)->command;
        if (command != kCmdAnimationTick && command != kCmdExactPicture &&
            command != kCmdFreeReleased)
          trace_.CommandArrived();
      }
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace qp
