// The view's editing, selection, clipboard, save and tool commands. Each id is accepted here
// so the hook answers "handled"; the operations are filled in by their own changes.
#include "view/view.h"

namespace qp {

int32_t CImgViewerView::EditHook(uint16_t command, intptr_t argument) {
  (void)argument;
  switch (command) {
    // Tools.
    case 4072: case 4122: case 4179:
      RunTool(command);
      return 1;
    // Save and file copies.
    case 4097: case 57604: case 4125: case 4126:
    // Transforms, filters, colours and dithers.
    case 4099: case 4100: case 4101: case 4102: case 4103: case 4133:
    case 4106: case 4107: case 4108: case 4109: case 4115: case 4116: case 4124:
    case 4120: case 4121: case 4175: case 4128: case 4129: case 4130: case 4131: case 4132:
    // Transparency.
    case 4119: case 4146: case 4136: case 4140: case 4141: case 4176:
    // Selection, crop and shapes.
    case 4104: case 4105: case 4112: case 4113: case 4114: case 4180: case 4181:
    case 4117: case 4134: case 4178: case 4142: case 4151: case 4152: case 4170:
    case 4171: case 4172: case 4173: case 4174: case 4177: case 4182:
    // Clipboard and undo.
    case 57634: case 4149: case 57637: case 4147: case 57642: case 57643:
      return 1;
    default:
      return 0;
  }
}

}  // namespace qp
