#include "input/gesture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qp {

// Row index = class index; the view maps classes to commands.
const std::array<std::array<float, kGestureSegments>, kGestureClasses> gesturePrototypes = {{
    {180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180},  // up
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},                                  // down
    {180, 180, 180, 180, 180, 180, 180, 180, 0, 0, 0, 0, 0, 0, 0, 0},                  // up, down
    {0, 0, 0, 0, 0, 0, 0, 0, 180, 180, 180, 180, 180, 180, 180, 180},                  // down, up
    {90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90},                  // right
    {270, 270, 270, 270, 270, 270, 270, 270, 270, 270, 270, 270, 270, 270, 270, 270},  // left
    {90, 90, 90, 90, 90, 90, 90, 90, 270, 270, 270, 270, 270, 270, 270, 270},          // right, left
    {270, 270, 270, 270, 270, 270, 270, 270, 90, 90, 90, 90, 90, 90, 90, 90},          // left, right
    {0, 0, 0, 0, 0, 0, 0, 0, 90, 90, 90, 90, 90, 90, 90, 90},                          // down, right
    {180, 180, 180, 180, 180, 180, 180, 180, 270, 270, 270, 270, 270, 270, 270, 270},  // up, left
    {0, 0, 0, 0, 0, 0, 0, 0, 270, 270, 270, 270, 270, 270, 270, 270},                  // down, left
    {180, 180, 180, 180, 180, 180, 180, 180, 90, 90, 90, 90, 90, 90, 90, 90},          // up, right
    {90, 90, 90, 90, 90, 310, 310, 310, 310, 310, 310, 90, 90, 90, 90, 90},            // a Z
    {310, 310, 310, 310, 310, 310, 310, 310, 310, 310, 310, 310, 310, 310, 310, 310},  // down-left
    {140, 140, 140, 140, 140, 140, 140, 140, 140, 140, 140, 140, 140, 140, 140, 140},  // up-right
}};

namespace MLNet {

float logistic(float x) { return 1.0f / (1.0f + std::exp(-x)); }

size_t Net::weightCount() const {
  size_t n = 0;
  for (size_t l = 1; l < layerSizes.size(); ++l)
    n += (size_t{layerSizes[l - 1]} + 1) * layerSizes[l];
  return n;
}

// Every product is formed in double precision and the sum is kept in single precision after
// each step, so results match to the bit wherever the same table is used.
std::vector<float> Net::forward(std::span<const float> inputs,
                                std::vector<std::vector<float>>* layers) const {
  if (layerSizes.size() < 2 || inputs.size() != layerSizes[0] || weights.size() != weightCount())
    return {};
  const double scale = inputScale;
  std::vector<float> in(inputs.begin(), inputs.end());
  if (layers) {
    layers->clear();
    layers->push_back(in);
  }
  size_t w = 0;
  for (size_t l = 1; l < layerSizes.size(); ++l) {
    std::vector<float> out(layerSizes[l]);
    for (float& unit : out) {
      float acc = static_cast<float>(double{weights[w++]} * scale * double{biasInput} / scale);
      for (const float x : in)
        acc = static_cast<float>((double{weights[w++]} * scale) * (double{x} * scale) / scale +
                                 double{acc});
      unit = activation ? activation(acc) : acc;
    }
    in = std::move(out);
    if (layers) layers->push_back(in);
  }
  return in;
}

Learn::Learn(Net& net)
    : net_(net), derivative_([](float x) { return x * (1.0f - x); }) {}

double Learn::backpropagate(std::span<const float> inputs, std::span<const float> targets,
                            float rate, float momentum) {
  std::vector<std::vector<float>> layers;
  const std::vector<float> out = net_.forward(inputs, &layers);
  if (out.size() != targets.size()) return 0.0;
  const size_t layerCount = net_.layerSizes.size();
  size_t units = 0;
  for (size_t l = 1; l < layerCount; ++l) units += net_.layerSizes[l];
  errors_.assign(units, 0.0f);
  changes_.resize(net_.weights.size(), 0.0f);

  // Offsets of each layer's error terms and weights.
  std::vector<size_t> errorAt(layerCount, 0), weightAt(layerCount, 0);
  for (size_t l = 2; l < layerCount; ++l) {
    errorAt[l] = errorAt[l - 1] + net_.layerSizes[l - 1];
    weightAt[l] = weightAt[l - 1] + (size_t{net_.layerSizes[l - 2]} + 1) * net_.layerSizes[l - 1];
  }

  double squared = 0.0;
  const size_t last = layerCount - 1;
  for (size_t k = 0; k < out.size(); ++k) {
    const float e = targets[k] - out[k];
    squared += double{e} * e;
    errors_[errorAt[last] + k] = e * derivative_(out[k]);
  }
  for (size_t l = last; l-- > 1;) {
    const size_t fanIn = size_t{net_.layerSizes[l]} + 1;
    for (size_t j = 0; j < net_.layerSizes[l]; ++j) {
      float sum = 0.0f;
      for (size_t k = 0; k < net_.layerSizes[l + 1]; ++k)
        sum += net_.weights[weightAt[l + 1] + k * fanIn + 1 + j] * errors_[errorAt[l + 1] + k];
      errors_[errorAt[l] + j] = sum * derivative_(layers[l][j]);
    }
  }
  for (size_t l = 1; l < layerCount; ++l) {
    const size_t fanIn = size_t{net_.layerSizes[l - 1]} + 1;
    for (size_t u = 0; u < net_.layerSizes[l]; ++u) {
      const float delta = rate * errors_[errorAt[l] + u];
      const size_t base = weightAt[l] + u * fanIn;
      for (size_t i = 0; i < fanIn; ++i) {
        const float input = i == 0 ? net_.biasInput : layers[l - 1][i - 1] * net_.inputScale;
        const float change = delta * input + momentum * changes_[base + i];
        net_.weights[base + i] += change;
        changes_[base + i] = change;
      }
    }
  }
  return squared;
}

}  // namespace MLNet

std::array<float, 2 * kGestureSegments> GestureInputs(std::span<const float> directions) {
  std::array<float, 2 * kGestureSegments> in{};
  for (size_t i = 0; i < kGestureSegments && i < directions.size(); ++i) {
    const double rad = double{directions[i]} * std::numbers::pi / 180.0;
    in[i] = static_cast<float>(std::cos(rad));
    in[kGestureSegments + i] = static_cast<float>(std::sin(rad));
  }
  return in;
}

namespace {

double distance(const GesturePoint& a, const GesturePoint& b) {
  const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
  return std::sqrt(dx * dx + dy * dy);
}

// Halves truncate toward zero; the sums are taken in 64 bits so no coordinate overflows.
GesturePoint midpoint(const GesturePoint& a, const GesturePoint& b) {
  return {static_cast<int32_t>((int64_t{a.x} + b.x) / 2),
          static_cast<int32_t>((int64_t{a.y} + b.y) / 2)};
}

}  // namespace

bool GestureStroke::normalizeStroke() {
  points = rawPoints;
  if (static_cast<int32_t>(rawPoints.size()) < pointCount / 2) {
    points.clear();
    state = 3;
    return false;
  }
  const auto target = static_cast<size_t>(pointCount);
  // Too many points: merge the closest pair, never one that includes an end point.
  while (points.size() > target) {
    size_t best = 1;
    double bestDistance = distance(points[1], points[2]);
    for (size_t i = 2; i + 3 <= points.size(); ++i) {
      const double d = distance(points[i], points[i + 1]);
      if (d < bestDistance) bestDistance = d, best = i;
    }
    points[best + 1] = midpoint(points[best], points[best + 1]);
    points.erase(points.begin() + static_cast<std::ptrdiff_t>(best));
  }
  // Too few: split the longest segment.
  while (points.size() < target) {
    size_t best = 0;
    double bestDistance = distance(points[0], points[1]);
    for (size_t i = 1; i + 1 < points.size(); ++i) {
      const double d = distance(points[i], points[i + 1]);
      if (d > bestDistance) bestDistance = d, best = i;
    }
    points.insert(points.begin() + static_cast<std::ptrdiff_t>(best) + 1,
                  midpoint(points[best], points[best + 1]));
  }
  for (int32_t i = 0; i < segmentCount; ++i) {
    const int64_t dx = int64_t{points[i + 1].x} - points[i].x;
    const int64_t dy = int64_t{points[i + 1].y} - points[i].y;
    if (dx == 0 && dy == 0) {
      dyFeatures[i] = 1.0f;
      dxFeatures[i] = 0.0f;
      continue;
    }
    const float length = std::sqrt(static_cast<float>(dx * dx + dy * dy));
    // Rounding of huge coordinates must not push the cosine past 1 (the sine would be NaN).
    const float cosine = std::clamp(static_cast<float>(dy) / length, -1.0f, 1.0f);
    dyFeatures[i] = cosine;
    const float sine = std::sqrt(std::max(0.0f, 1.0f - cosine * cosine));
    dxFeatures[i] = dx < 0 ? -sine : sine;
  }
  return true;
}

GestureLearn::GestureLearn(MLNet::Net& net, Options options)
    : MLNet::Learn(net), options_(options), random_(options.seed) {}

// Yields 0..32767 from a linear congruential generator.
int32_t GestureLearn::nextRandom() {
  random_ = random_ * 214013u + 2531011u;
  return static_cast<int32_t>((random_ >> 16) & 0x7FFF);
}

double GestureLearn::uniform() { return nextRandom() / 32767.0; }

void GestureLearn::randomizeWeights() {
  net_.weights.assign(net_.weightCount(), 0.0f);
  for (float& w : net_.weights) w = static_cast<float>(uniform() - 0.5);
  changes_.assign(net_.weights.size(), 0.0f);
}

double GestureLearn::prototypeError() const {
  double squared = 0.0;
  for (int c = 0; c < kGestureClasses; ++c) {
    const auto in = GestureInputs(gesturePrototypes[c]);
    const auto out = net_.forward(in);
    if (out.size() != kGestureClasses) return 1.0;
    for (int k = 0; k < kGestureClasses; ++k) {
      const double e = (k == c ? net_.onTarget : net_.offTarget) - out[k];
      squared += e * e;
    }
  }
  return std::sqrt(squared / (kGestureClasses * kGestureClasses));
}

// One sample: a prototype with about half of its directions turned by a random amount whose
// range shrinks as training goes on.
bool GestureLearn::trainingStep() {
  if (stop_ || step_ >= options_.steps) return false;
  const int c = nextRandom() % kGestureClasses;
  const double spread = 45.0 * std::exp(-2.0 * step_ / options_.noiseSpan);
  for (int i = 0; i < kGestureSegments; ++i) {
    double d = gesturePrototypes[c][i];
    if (nextRandom() % 100 < 49) d += (uniform() * 2.0 - 1.0) * spread;
    if (d > 360.0) d -= 360.0;
    if (d < 0.0) d += 360.0;
    directions_[i] = static_cast<float>(d);
  }
  const auto in = GestureInputs(directions_);
  std::array<float, kGestureClasses> targets;
  targets.fill(net_.offTarget);
  targets[c] = net_.onTarget;
  backpropagate(in, targets, options_.rate, options_.momentum);
  ++step_;
  if (step_ % options_.checkEvery == 0 && prototypeError() < options_.stopError) stop_ = true;
  return !stop_ && step_ < options_.steps;
}

GestureRecognizer::GestureRecognizer() : learner(net) {
  net.layerSizes = {32, 32, kGestureClasses};
  net.activation = MLNet::logistic;
  net.inputScale = 1.0f;
  net.biasInput = 0.5f;
  net.offTarget = 0.0f;
  net.onTarget = 1.0f;
  net.weights.assign(gestureWeights.begin(), gestureWeights.end());
  stroke.state = 3;
}

int32_t GestureRecognizer::recognize() {
  if (!stroke.normalizeStroke() || stroke.state == 0) return -1;
  return classify();
}

int32_t GestureRecognizer::classify() {
  std::array<float, 2 * kGestureSegments> in{};
  std::copy(std::begin(stroke.dyFeatures), std::end(stroke.dyFeatures), in.begin());
  std::copy(std::begin(stroke.dxFeatures), std::end(stroke.dxFeatures),
            in.begin() + kGestureSegments);
  return classifyInputs(in);
}

int32_t GestureRecognizer::classifyInputs(std::span<const float> inputs) {
  std::vector<float> out = net.forward(inputs);
  stroke.results = {};
  if (out.size() != kGestureClasses) {
    stroke.state = 5;
    return -1;
  }
  double total = 0.0;
  for (const float v : out) total += v;
  for (auto& result : stroke.results) {
    const auto best = std::max_element(out.begin(), out.end());  // the first on ties
    const auto index = static_cast<int32_t>(best - out.begin());
    result = {index, total > 0.0 ? static_cast<float>(*best / total) : 0.0f};
    *best = 0.0f;
  }
  const float first = stroke.results[0].second, second = stroke.results[1].second;
  if (first > 0.25f && first - second > 0.25f) {
    stroke.state = 4;
    return stroke.results[0].first;
  }
  stroke.state = 5;
  return -1;
}

}  // namespace qp
