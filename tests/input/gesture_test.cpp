#include "input/gesture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace qp {
namespace {

// A stroke of 17 points whose 16 segments of `step` pixels follow the directions.
void DrawStroke(GestureRecognizer& g, const float* directions, double step = 20.0) {
  g.beginStroke();
  double x = 500, y = 500;
  g.addPoint(500, 500);
  for (int i = 0; i < kGestureSegments; ++i) {
    const double rad = directions[i] * std::numbers::pi / 180.0;
    x += step * std::sin(rad);
    y += step * std::cos(rad);
    g.addPoint(static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y)));
  }
}

TEST(GestureStroke, NormalisesToSeventeenPoints) {
  GestureStroke s;
  for (int i = 0; i < 7; ++i) s.rawPoints.push_back({i, 0});
  EXPECT_FALSE(s.normalizeStroke());
  EXPECT_EQ(s.state, 3);
  EXPECT_TRUE(s.points.empty());

  s.rawPoints.clear();
  for (int i = 0; i < 17; ++i) s.rawPoints.push_back({i * i, 3 * i});
  ASSERT_TRUE(s.normalizeStroke());
  EXPECT_EQ(s.points, s.rawPoints);

  // 8 points: 9 midpoints, each in the then longest segment (first on ties).
  s.rawPoints = {{0, 0}, {80, 0}, {81, 0}, {82, 0}, {83, 0}, {84, 0}, {85, 0}, {86, 0}};
  ASSERT_TRUE(s.normalizeStroke());
  ASSERT_EQ(s.points.size(), 17u);
  EXPECT_EQ(s.points[1], (GesturePoint{5, 0}));
  EXPECT_EQ(s.points[10], (GesturePoint{80, 0}));  // every midpoint went into the long segment
  for (int i = 0; i < 16; ++i) {
    EXPECT_FLOAT_EQ(s.dyFeatures[i], 0.0f);
    EXPECT_FLOAT_EQ(s.dxFeatures[i], 1.0f);
  }

  // Midpoints truncate toward zero.
  s.rawPoints = {{-3, -3}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
  ASSERT_TRUE(s.normalizeStroke());
  EXPECT_EQ(s.points[1], (GesturePoint{-2, -2}));  // -5 / 2 is -2, not -3

  // Long strokes lose interior points only; the ends stay.
  s.rawPoints.clear();
  for (int i = 0; i < 200; ++i) s.rawPoints.push_back({i * 3, i % 2});
  ASSERT_TRUE(s.normalizeStroke());
  ASSERT_EQ(s.points.size(), 17u);
  EXPECT_EQ(s.points.front(), s.rawPoints.front());
  EXPECT_EQ(s.points.back(), s.rawPoints.back());
}

TEST(GestureStroke, StandingStillReadsAsStraightDown) {
  GestureStroke still, down;
  for (int i = 0; i < 10; ++i) still.rawPoints.push_back({7, 7});
  for (int i = 0; i < 17; ++i) down.rawPoints.push_back({7, 7 + 5 * i});
  ASSERT_TRUE(still.normalizeStroke());
  ASSERT_TRUE(down.normalizeStroke());
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(still.dyFeatures[i], 1.0f);
    EXPECT_EQ(still.dxFeatures[i], 0.0f);
    EXPECT_EQ(down.dyFeatures[i], still.dyFeatures[i]);
    EXPECT_EQ(down.dxFeatures[i], still.dxFeatures[i]);
  }
}

TEST(GestureRecognizer, ShortStrokesAreRejected) {
  GestureRecognizer g;
  EXPECT_EQ(g.stroke.state, 3);
  g.beginStroke();
  EXPECT_EQ(g.recognize(), -1);  // a click without movement
  for (int i = 0; i < 7; ++i) g.addPoint(i * 10, 0);
  EXPECT_EQ(g.recognize(), -1);
  EXPECT_EQ(g.stroke.state, 3);
  g.addPoint(70, 0);
  EXPECT_EQ(g.recognize(), 4);
  EXPECT_EQ(g.stroke.state, 4);
}

TEST(GestureRecognizer, StraightDragsAnyLength) {
  GestureRecognizer g;
  for (int length : {40, 300, 2000}) {
    g.beginStroke();
    for (int i = 1; i <= 30; ++i) g.addPoint(100 + i * length / 30, 100);
    EXPECT_EQ(g.recognize(), 4) << length;
    g.beginStroke();
    for (int i = 1; i <= 30; ++i) g.addPoint(3000 - i * length / 30, 100);
    EXPECT_EQ(g.recognize(), 5) << length;
  }
}

TEST(GestureRecognizer, PrototypesAndNoisyVariantsAreTheirOwnClass) {
  GestureRecognizer g;
  for (int c = 0; c < kGestureClasses; ++c) {
    EXPECT_EQ(g.classifyInputs(GestureInputs(gesturePrototypes[c])), c) << c;
    DrawStroke(g, gesturePrototypes[c].data());
    EXPECT_EQ(g.recognize(), c) << c;
  }
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> offset(-20.0f, 20.0f);
  std::bernoulli_distribution half(0.5);
  int good = 0;
  for (int n = 0; n < 1000; ++n) {
    const int c = n % kGestureClasses;
    float dirs[kGestureSegments];
    for (int i = 0; i < kGestureSegments; ++i)
      dirs[i] = gesturePrototypes[c][i] + (half(rng) ? offset(rng) : 0.0f);
    DrawStroke(g, dirs);
    if (g.recognize() == c) ++good;
  }
  EXPECT_GE(good, 950);
}

TEST(GestureRecognizer, NearTiesAreRejectedHoweverHighTheBestScore) {
  GestureRecognizer g;
  // A network whose outputs depend only on the output biases.
  std::fill(g.net.weights.begin(), g.net.weights.end(), 0.0f);
  auto setOutput = [&](int k, float value) {
    g.net.weights[1056 + 33 * k] = 2.0f * std::log(value / (1.0f - value));  // bias input 0.5
  };
  for (int k = 0; k < kGestureClasses; ++k) setOutput(k, 0.001f);
  setOutput(3, 0.99f);
  setOutput(7, 0.8f);
  std::array<float, 32> in{};
  EXPECT_EQ(g.classifyInputs(in), -1);  // shares 0.55 and 0.44: too close
  EXPECT_EQ(g.stroke.state, 5);
  EXPECT_EQ(g.stroke.results[0].first, 3);
  EXPECT_EQ(g.stroke.results[1].first, 7);
  EXPECT_GT(g.stroke.results[0].second, 0.5f);
  setOutput(7, 0.1f);
  EXPECT_EQ(g.classifyInputs(in), 3);
  EXPECT_EQ(g.stroke.state, 4);
}

TEST(GestureNetwork, TableLayoutAndTrainerConverges) {
  GestureRecognizer g;
  EXPECT_EQ(g.net.weightCount(), 1551u);
  EXPECT_EQ(g.net.weights.size(), 1551u);
  // A short training run from random weights lowers the prototype error.
  MLNet::Net net = g.net;
  GestureLearn::Options options;
  options.steps = 3000;
  GestureLearn learner(net, options);
  learner.randomizeWeights();
  const double before = learner.prototypeError();
  while (learner.trainingStep()) {
  }
  EXPECT_LT(learner.prototypeError(), before);
}

}  // namespace
}  // namespace qp
