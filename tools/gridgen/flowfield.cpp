#include "tools/gridgen/flowfield.h"

#include <cmath>

namespace {

// Wavenumbers (radians per unit) and phase offsets of the three patterns. Each pattern gets its
// own frequency and offset, so that no two level sets share their geometry and none lines up
// with the grid's planes.
const double kDensityWave = 0.267;
const double kEnergyWave = 0.345;
const double kSpeedWave = 0.215;
const double kDensityOffset[3] = {1.1, 0.4, 2.3};
const double kEnergyOffset[3] = {0.7, 2.9, 1.6};
const double kSpeedOffset[3] = {2.2, 1.3, 0.5};

// Speed of the flow in units per unit of time: kSpeed +- kSpeedSwing.
const double kSpeed = 1.5;
const double kSpeedSwing = 0.5;
// Direction: kAxial along x against kSwirl around the axis; the swirl fades within about
// kCore units of the axis, where its direction turns too fast to follow.
const double kAxial = 1.0;
const double kSwirl = 2.7;
const double kCore = 3.0;

double Gyroid(double x, double y, double z) {
    return std::sin(x) * std::cos(y) + std::sin(y) * std::cos(z) + std::sin(z) * std::cos(x);
}

double SchwarzP(double x, double y, double z) {
    return std::cos(x) + std::cos(y) + std::cos(z);
}

double Diamond(double x, double y, double z) {
    double sx = std::sin(x), sy = std::sin(y), sz = std::sin(z);
    double cx = std::cos(x), cy = std::cos(y), cz = std::cos(z);
    return sx * sy * sz + sx * cy * cz + cx * sy * cz + cx * cy * sz;
}

// `pattern` at the point scaled by `wave` and shifted by `offset`.
template <typename Pattern>
double Sample(Pattern pattern, const double* p, double wave, const double* offset) {
    return pattern(wave * p[0] + offset[0], wave * p[1] + offset[1], wave * p[2] + offset[2]);
}

}  // namespace

FlowField::FlowField(int n) : centre(0.5 * n) {}

Vertex FlowField::At(const double* p) const {
    Vertex v;
    for (int a = 0; a < 3; ++a) v.point[a] = p[a];
    // Gyroid within +-1.5, Schwarz P within +-3.
    v.Density = 1.0 + 0.2 * Sample(Gyroid, p, kDensityWave, kDensityOffset);
    v.Energy = 2.5 + 0.5 * Sample(SchwarzP, p, kEnergyWave, kEnergyOffset);
    // Diamond within +-sqrt(2).
    double speed =
        kSpeed + kSpeedSwing / std::sqrt(2.0) * Sample(Diamond, p, kSpeedWave, kSpeedOffset);
    double dy = p[1] - centre, dz = p[2] - centre;
    double swirl = kSwirl / std::sqrt(dy * dy + dz * dz + kCore * kCore);
    double direction[3] = {kAxial, -swirl * dz, swirl * dy};
    double length = std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] +
                              direction[2] * direction[2]);
    double mag2 = 0;
    for (int a = 0; a < 3; ++a) {
        v.Momentum[a] = speed * direction[a] / length;
        mag2 += v.Momentum[a] * v.Momentum[a];
    }
    v.MomentumMag = std::sqrt(mag2);
    return v;
}
