#include "midiin/VelocityCurve.h"

#include <algorithm>
#include <cmath>

namespace mt {

int VelocityGainCentiDb(const VelocityCurve& curve, int velocity) {
    const int range = std::clamp(curve.rangeCentiDb, 0, VelocityCurve::kMaxRangeCentiDb);
    // 0 at velocity 127, 1 at velocity 1.
    const double softness = (127.0 - std::clamp(velocity, 1, 127)) / 126.0;
    double gain = 0.0;
    switch (curve.kind) {
    case VelocityCurve::Kind::Fixed:
        gain = curve.fixedCentiDb;
        break;
    case VelocityCurve::Kind::Linear:
        gain = -range * softness;
        break;
    case VelocityCurve::Kind::Soft:
        gain = -range * softness * softness;
        break;
    }
    return std::clamp(static_cast<int>(std::lround(gain)), -VelocityCurve::kMaxRangeCentiDb, 0);
}

} // namespace mt
