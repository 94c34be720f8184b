// The gesture network behind the view's right-button strokes.
#pragma once

#include "input/gesture.h"
#include "view/mouse.h"

namespace qp {

class ViewGestures final : public StrokeRecognizer {
 public:
  void BeginStroke() override { recognizer.beginStroke(); }
  void AddPoint(int32_t x, int32_t y) override { recognizer.addPoint(x, y); }
  int32_t Recognize() override { return recognizer.recognize(); }

  GestureRecognizer recognizer;
};

}  // namespace qp
