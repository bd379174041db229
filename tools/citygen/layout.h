// The demo city's buildings, laid out in world units by a fixed-seed generator.
#pragma once

#include <array>
#include <vector>

namespace citygen {

using Vec3 = std::array<double, 3>;

// The domain box in world units, indexed by axis (x, y, z); y is up, the floor is y = 0.
constexpr double kLo[3] = {-500.0, 0.0, -500.0};
constexpr double kHi[3] = {500.0, 250.0, 500.0};

struct Box {
    Vec3 lo, hi;
};

// The buildings, by rejection sampling from a fixed seed: the same city at every size and
// on every platform (no library random numbers are involved).
std::vector<Box> LayoutCity();

}  // namespace citygen
