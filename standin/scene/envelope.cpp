#include "standin/scene/envelope.h"

#include <algorithm>
#include <cmath>

#include "standin/scene/key_time.h"

namespace standin {
namespace {

// Slope of a 2D Bezier handle; a vertical handle counts as flat rather than infinite.
double handleSlope(double dt, double dv) { return dt != 0 ? dv / dt : 0; }

// Tangents are in value per span: Hermite's parameter runs 0..1 over the span. A key's
// tangents follow its own span type (its "incoming curve"), with its own parameters; the
// share factors fit a tangent taken over two spans to one of them when spacing differs.

// Leaving k[i] towards k[i + 1].
double outgoing(const Key* k, std::size_t i) {
  const Key& key = k[i];
  const Key& next = k[i + 1];
  const bool hasPrev = i > 0;
  const double d = next.value - key.value;
  const double share = hasPrev ? (next.time - key.time) / (next.time - k[i - 1].time) : 1;
  const double before = hasPrev ? key.value - k[i - 1].value : 0;
  switch (key.span) {
    case kSpanTCB: {
      const double tension = key.params[0], continuity = key.params[1], bias = key.params[2];
      const double a = (1 - tension) * (1 + continuity) * (1 + bias);
      const double b = (1 - tension) * (1 - continuity) * (1 - bias);
      return hasPrev ? share * (a * before + b * d) : b * d;
    }
    case kSpanLinear: return hasPrev ? share * (before + d) : d;
    case kSpanHermite:
    case kSpanBezier1D: return share * key.params[4];
    case kSpanBezier2D: return handleSlope(key.params[2], key.params[3]) * (next.time - key.time);
    default:  // stepped
      return 0;
  }
}

// Arriving at k[i] from k[i - 1].
double incoming(const Key* k, std::size_t count, std::size_t i) {
  const Key& key = k[i];
  const Key& prev = k[i - 1];
  const bool hasNext = i + 1 < count;
  const double d = key.value - prev.value;
  const double share = hasNext ? (key.time - prev.time) / (k[i + 1].time - prev.time) : 1;
  const double after = hasNext ? k[i + 1].value - key.value : 0;
  switch (key.span) {
    case kSpanTCB: {
      const double tension = key.params[0], continuity = key.params[1], bias = key.params[2];
      const double a = (1 - tension) * (1 - continuity) * (1 + bias);
      const double b = (1 - tension) * (1 + continuity) * (1 - bias);
      return hasNext ? share * (a * d + b * after) : a * d;
    }
    case kSpanLinear: return hasNext ? share * (d + after) : d;
    case kSpanHermite:
    case kSpanBezier1D: return share * key.params[3];
    case kSpanBezier2D: return handleSlope(key.params[0], key.params[1]) * (key.time - prev.time);
    default:  // stepped
      return 0;
  }
}

double cubicBezier(double p0, double p1, double p2, double p3, double s) {
  const double r = 1 - s;
  return r * r * r * p0 + 3 * r * r * s * p1 + 3 * r * s * s * p2 + s * s * s * p3;
}

// The span k[i] -> k[i + 1] as a Bezier curve in (time, value); the end that is not a 2D
// Bezier key gets the handle a Hermite tangent implies (a third of the span).
double bezier2D(const Key* k, std::size_t i, double t) {
  const Key& a = k[i];
  const Key& b = k[i + 1];
  const double span = b.time - a.time;
  double x1, y1;
  if (a.span == kSpanBezier2D) {
    x1 = a.time + a.params[2];
    y1 = a.value + a.params[3];
  } else {
    x1 = a.time + span / 3;
    y1 = a.value + outgoing(k, i) / 3;
  }
  const double x2 = b.time + b.params[0];
  const double y2 = b.value + b.params[1];
  // Time is cubic in the curve parameter: find where it reaches t by bisection, which also
  // copes with handles reaching past the span.
  double lo = 0, hi = 1;
  for (int step = 0; step < 64; ++step) {
    const double mid = 0.5 * (lo + hi);
    if (cubicBezier(a.time, x1, x2, b.time, mid) < t) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return cubicBezier(a.value, y1, y2, b.value, 0.5 * (lo + hi));
}

// t within [first key, last key].
double inside(const Key* k, std::size_t count, double t) {
  const Key* after =
      std::upper_bound(k, k + count, t, [](double at, const Key& key) { return at < key.time; });
  if (after == k + count) return k[count - 1].value;
  const std::size_t j = static_cast<std::size_t>(after - k);
  const Key& a = k[j - 1];
  const Key& b = k[j];
  if (t == a.time) return a.value;
  const double u = (t - a.time) / (b.time - a.time);
  switch (b.span) {
    case kSpanTCB:
    case kSpanHermite:
    case kSpanBezier1D: {
      const double u2 = u * u, u3 = u2 * u;
      const double h1 = 2 * u3 - 3 * u2 + 1, h2 = -2 * u3 + 3 * u2;
      const double h3 = u3 - 2 * u2 + u, h4 = u3 - u2;
      return h1 * a.value + h2 * b.value + h3 * outgoing(k, j - 1) + h4 * incoming(k, count, j);
    }
    case kSpanStepped: return a.value;
    case kSpanBezier2D: return bezier2D(k, j - 1, t);
    default:  // linear
      return a.value + (b.value - a.value) * u;
  }
}

}  // namespace

double evaluateChannel(const Key* k, std::size_t count, ChannelBehaviors behaviors, double t) {
  if (count == 0) return 0;
  const Key& first = k[0];
  const Key& last = k[count - 1];
  if (count == 1) return first.value;
  if (!std::isfinite(t)) return t < first.time ? first.value : last.value;
  // At a key's time the channel holds that key's value, however either time was rounded.
  const std::size_t key = keyAt(k, count, t);
  if (key != count) return k[key].value;
  if (t >= first.time && t <= last.time) return inside(k, count, t);

  const bool before = t < first.time;
  const int behavior = before ? behaviors.pre : behaviors.post;
  switch (behavior) {
    case kEndReset: return 0;
    case kEndLinear:
      if (before) return first.value + outgoing(k, 0) / (k[1].time - first.time) * (t - first.time);
      return last.value +
             incoming(k, count, count - 1) / (last.time - k[count - 2].time) * (t - last.time);
    case kEndRepeat:
    case kEndOscillate:
    case kEndOffsetRepeat: {
      const double length = last.time - first.time;
      const double cycles = std::floor((t - first.time) / length);
      double local = first.time + ((t - first.time) - cycles * length);
      if (!std::isfinite(local)) return before ? first.value : last.value;
      local = std::clamp(local, first.time, last.time);  // rounding can land a hair outside
      if (behavior == kEndOscillate && std::fmod(cycles, 2) != 0) {
        local = first.time + last.time - local;
      }
      const double offset = behavior == kEndOffsetRepeat ? cycles * (last.value - first.value) : 0;
      return inside(k, count, local) + offset;
    }
    default:  // constant
      return before ? first.value : last.value;
  }
}

}  // namespace standin
