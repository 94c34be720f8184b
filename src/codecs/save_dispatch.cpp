// Placeholder until the save table lands.
#include "codecs/save_dispatch.h"

namespace qp {

bool ConvertFile(const ConvertRequest&, LoadContext&, SettingsAccess&) { return false; }

ImageBuffer CropPicture(ImageBuffer picture, int32_t, int32_t, int32_t, int32_t) {
  return picture;
}

}  // namespace qp
