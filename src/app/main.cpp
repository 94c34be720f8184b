// The quillpix program. The one-shot modes run and end; the window comes with a later change.
#include <cstdio>
#include <string>

#include "jpegxform/lossless.h"
#include "metadata/exif.h"

int main(int argc, char** argv) {
  std::string mode, file;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--version") {
      std::printf("quillpix %s\n", QP_VERSION);
      return 0;
    }
    if (a == "--help") {
      std::printf("-autorotate (rotate jpeg image based on EXIF orientation value)\n");
      return 0;
    }
    if (a == "-autorotate" || a == "/autorotate") mode = "autorotate";
    else if (file.empty()) file = a;
  }
  if (mode == "autorotate") {
    qp::ExifInfo info;
    if (!qp::ReadJpegMetadata(file, info)) {
      std::fprintf(stderr, "quillpix: cannot open %s\n", file.c_str());
      return 1;
    }
    const int angle = info.isExif ? qp::AutoRotateAngle(info.orientation) : 0;
    if (angle != 0 && !qp::transformInPlace(file, angle)) {
      std::fprintf(stderr, "quillpix: could not rotate %s\n", file.c_str());
      return 1;
    }
    return 0;
  }
  std::printf("quillpix: the viewer window comes with a later version\n");
  return 0;
}
