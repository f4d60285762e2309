// Envelope evaluation against values worked out by hand from Layout's span and behaviour rules.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "standin/scene/envelope.h"
#include "standin/scene/scene.h"

namespace standin {
namespace {

Key key(double time, double value, int span = kSpanLinear, std::array<double, 6> p = {}) {
  Key k{time, value};
  k.span = span;
  k.params = p;
  return k;
}

Key tcb(double time, double value, double tension = 0, double continuity = 0, double bias = 0) {
  return key(time, value, kSpanTCB, {tension, continuity, bias, 0, 0, 0});
}

Key hermite(double time, double value, double in, double out) {
  return key(time, value, kSpanHermite, {0, 0, 0, in, out, 0});
}

// Handles as offsets from the key: incoming (time, value), outgoing (time, value).
Key bezier(double time, double value, double inT, double inV, double outT, double outV) {
  return key(time, value, kSpanBezier2D, {inT, inV, outT, outV, 0, 0});
}

struct Sample {
  double t;
  double value;
};

struct Case {
  const char* what;
  std::vector<Key> keys;
  ChannelBehaviors behaviors;
  std::vector<Sample> samples;
};

ChannelBehaviors ends(int pre, int post) {
  return {static_cast<std::uint8_t>(pre), static_cast<std::uint8_t>(post)};
}

const ChannelBehaviors kConstant{};

void check(const Case& c) {
  for (const Sample& s : c.samples) {
    EXPECT_NEAR(evaluateChannel(c.keys, c.behaviors, s.t), s.value, 1e-12)
        << c.what << " at t=" << s.t;
  }
}

TEST(Envelope, SpanTypes) {
  const Case cases[] = {
      {"linear", {key(0, 0), key(2, 10)}, kConstant, {{0.5, 2.5}, {2, 10}, {-1, 0}, {3, 10}}},
      {"stepped holds the value until the key",
       {key(0, 1), key(1, 5, kSpanStepped), key(2, 9)},
       kConstant,
       {{0.5, 1}, {0.999, 1}, {1, 5}, {1.5, 7}}},
      {"two TCB keys make a straight line",
       {tcb(0, 0), tcb(2, 4)},
       kConstant,
       {{0.5, 1}, {1.5, 3}}},
      // out(0) = 1; in(1) = 0.5 * (1 * 1 + 1 * -1) = 0; h = (.5, .5, .125, -.125) at u = .5.
      {"TCB peak", {tcb(0, 0), tcb(1, 1), tcb(2, 0)}, kConstant, {{0.5, 0.625}, {1.5, 0.625}}},
      // in(1) = 0.5 * (1 + 2) = 1.5: 0.5 + 0.125 - 0.125 * 1.5.
      {"TCB rising", {tcb(0, 0), tcb(1, 1), tcb(2, 3)}, kConstant, {{0.5, 0.4375}}},
      {"TCB tension 1 flattens the key",
       {tcb(0, 0), tcb(1, 1, 1), tcb(2, 3)},
       kConstant,
       {{0.5, 0.625}}},
      // incoming a = 0.5, b = 1.5: in(1) = 0.5 * (0.5 + 3) = 1.75; outgoing a = 1.5, b = 0.5:
      // out(1) = 0.5 * (1.5 + 1) = 1.25, in(2) = 2.
      {"TCB continuity",
       {tcb(0, 0), tcb(1, 1, 0, 0.5), tcb(2, 3)},
       kConstant,
       {{0.5, 0.40625}, {1.5, 1.90625}}},
      // incoming a = 1.5, b = 0.5: in(1) = 1.25; outgoing a = 1.5, b = 0.5: out(1) = 1.25,
      // in(2) = 2: 0.5 + 1.5 + 0.125 * 1.25 - 0.125 * 2.
      {"TCB bias",
       {tcb(0, 0), tcb(1, 1, 0, 0, 0.5), tcb(2, 3)},
       kConstant,
       {{0.5, 0.46875}, {1.5, 1.90625}}},
      // Collinear keys at uneven spacing stay on the line only if tangents are scaled by
      // each span's share of the two around the key.
      {"TCB uneven spacing",
       {tcb(0, 0), tcb(1, 1), tcb(3, 3)},
       kConstant,
       {{0.5, 0.5}, {2, 2}, {2.5, 2.5}}},
      // out(0) = 2, in(1) = 0: u = .5 gives .5 + .125 * 2; u = .25 gives .15625 + .140625 * 2.
      {"Hermite tangents",
       {hermite(0, 0, 0, 2), hermite(1, 1, 0, 0)},
       kConstant,
       {{0.5, 0.75}, {0.25, 0.4375}}},
      {"1D Bezier is Hermite",
       {key(0, 0, kSpanBezier1D, {0, 0, 0, 0, 2, 0}), key(1, 1, kSpanBezier1D)},
       kConstant,
       {{0.5, 0.75}}},
      // out(1) = 2 * (1 / 2): h1 + h2 + h3 * 1.
      {"Hermite tangent shared over two spans",
       {hermite(0, 0, 0, 0), hermite(1, 1, 0, 2), hermite(2, 1, 0, 0)},
       kConstant,
       {{1.5, 1.125}}},
      // Handles at a third of the span in time: time is linear in the curve parameter.
      // Values 0, .5, .5, 1: s = .5 gives .5; s = .25 gives .2109375 + .0703125 + .015625.
      {"2D Bezier",
       {bezier(0, 0, 0, 0, 1, 0.5), bezier(3, 1, -1, -0.5, 0, 0)},
       kConstant,
       {{1.5, 0.5}, {0.75, 0.296875}}},
      // The TCB end gets the handle (1/3 of the span, out / 3) = (1, 1): values 0, 1, 3, 3.
      {"2D Bezier after a TCB key",
       {tcb(0, 0), bezier(3, 3, -1, 0, 0, 0)},
       kConstant,
       {{1.5, 1.875}}},
      {"one key is constant whatever the ends",
       {key(1, 7)},
       ends(kEndReset, kEndLinear),
       {{-5, 7}, {1, 7}, {9, 7}}},
  };
  for (const Case& c : cases) check(c);
  EXPECT_EQ(evaluateChannel(std::vector<Key>{}, kConstant, 1), 0);
}

TEST(Envelope, PreAndPostBehaviours) {
  // Keys 10 at 1 s and 20 at 3 s, linear: one cycle is 2 s long.
  const std::vector<Key> line{key(1, 10), key(3, 20)};
  const Case cases[] = {
      {"reset", line, ends(kEndReset, kEndReset), {{0, 0}, {4, 0}, {1, 10}, {3, 20}}},
      {"constant", line, ends(kEndConstant, kEndConstant), {{0, 10}, {5, 20}}},
      {"repeat",
       line,
       ends(kEndRepeat, kEndRepeat),
       {{4, 15}, {5, 10}, {0, 15}, {0.5, 17.5}, {-3, 10}}},
      {"oscillate",
       line,
       ends(kEndOscillate, kEndOscillate),
       {{3.5, 17.5}, {5.5, 12.5}, {0.5, 12.5}, {-1.5, 17.5}}},
      {"offset repeat",
       line,
       ends(kEndOffsetRepeat, kEndOffsetRepeat),
       {{3.5, 22.5}, {6, 35}, {0.5, 7.5}, {-2, -5}}},
      {"linear", line, ends(kEndLinear, kEndLinear), {{4, 25}, {0, 5}}},
      // TCB ends: out(0) = 1 over 1 s, in(2) = 2 over 1 s.
      {"linear along TCB tangents",
       {tcb(0, 0), tcb(1, 1), tcb(2, 3)},
       ends(kEndLinear, kEndLinear),
       {{-1, -1}, {3, 5}}},
      {"linear along a Hermite end tangent",
       {hermite(0, 0, 0, 0), hermite(2, 1, 4, 0)},
       ends(kEndConstant, kEndLinear),
       {{3, 3}, {-1, 0}}},
      {"linear after a stepped end stays flat",
       {key(0, 0), key(1, 5, kSpanStepped)},
       ends(kEndConstant, kEndLinear),
       {{2, 5}}},
      {"mixed ends", line, ends(kEndReset, kEndOffsetRepeat), {{0, 0}, {4, 25}}},
      // Repeats of a curved span repeat the curve, not a straight line.
      {"repeat of a TCB peak",
       {tcb(0, 0), tcb(1, 1), tcb(2, 0)},
       ends(kEndRepeat, kEndRepeat),
       {{2.5, 0.625}, {-1.5, 0.625}, {4, 0}}},
  };
  for (const Case& c : cases) check(c);
}

TEST(Envelope, NonFiniteTimesGiveEndValues) {
  const std::vector<Key> line{key(1, 10), key(3, 20)};
  for (int behavior = 0; behavior < kEndBehaviorCount; ++behavior) {
    const ChannelBehaviors b = ends(behavior, behavior);
    EXPECT_EQ(evaluateChannel(line, b, -std::numeric_limits<double>::infinity()), 10);
    EXPECT_EQ(evaluateChannel(line, b, std::numeric_limits<double>::infinity()), 20);
    EXPECT_TRUE(std::isfinite(evaluateChannel(line, b, std::nan(""))));
    EXPECT_TRUE(std::isfinite(evaluateChannel(line, b, 1e300)));
  }
}

TEST(Envelope, TheSceneEvaluatesWithBehavioursAndKeepsSpansWhenRekeying) {
  Scene scene;
  const ItemId o = scene.addObject("o");
  Item& item = *scene.find(o);
  item.keys[kPosX] = {tcb(0, 0), tcb(1, 1), tcb(2, 0)};
  item.behaviors[kPosX] = ends(kEndRepeat, kEndOscillate);
  EXPECT_NEAR(scene.param(o, kPosition, 0.5)[0], 0.625, 1e-12);
  EXPECT_NEAR(scene.param(o, kPosition, -0.5)[0], 0.625, 1e-12);  // the repeat of 1.5
  scene.setTime(3.5);  // oscillating back: the mirror of 0.5
  EXPECT_NEAR(scene.find(o)->position()[0], 0.625, 1e-12);

  // Re-keying an existing time changes only the value; a new key takes newKeySpan.
  scene.setTime(1);
  scene.setPosition(o, {2, 0, 0});
  scene.createKey(o, 1);
  scene.newKeySpan = kSpanStepped;
  scene.createKey(o, 3);
  const std::vector<Key>& keys = scene.find(o)->keys[kPosX];
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[1].value, 2);
  EXPECT_EQ(keys[1].span, kSpanTCB);
  EXPECT_EQ(keys[3].span, kSpanStepped);
  // Channels that had no keys got theirs from both createKey calls.
  EXPECT_EQ(scene.find(o)->keys[kPosY][0].span, kSpanLinear);
  EXPECT_EQ(scene.find(o)->keys[kPosY][1].span, kSpanStepped);
  EXPECT_EQ(scene.validate(), "");

  scene.find(o)->keys[kPosX][2].span = 6;
  EXPECT_NE(scene.validate().find("unknown span type"), std::string::npos);
  scene.find(o)->keys[kPosX][2].span = kSpanTCB;
  scene.find(o)->keys[kPosX][2].params[5] = std::nan("");
  EXPECT_NE(scene.validate().find("non-finite key"), std::string::npos);
  scene.find(o)->keys[kPosX][2].params[5] = 0;
  scene.find(o)->behaviors[kScaleZ].post = 6;
  EXPECT_NE(scene.validate().find("behaviour"), std::string::npos);
}

}  // namespace
}  // namespace standin
