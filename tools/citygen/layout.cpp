#include "tools/citygen/layout.h"

#include <cstddef>
#include <cstdint>

namespace citygen {
namespace {

// splitmix64: small and the same on every platform.
class Rng {
public:
    explicit Rng(uint64_t seed) : state(seed) {}

    uint64_t Next() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [lo, hi), from the top 53 bits.
    double Uniform(double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(Next() >> 11) * 0x1.0p-53;
    }

    // Uniform integer in [lo, hi].
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % uint64_t(hi - lo + 1)); }

private:
    uint64_t state;
};

constexpr double kMargin = 100.0;  // free ground between the buildings and the domain sides
constexpr double kStreet = 20.0;   // least distance between two buildings

Box RandomBuilding(Rng& rng) {
    const double width = rng.Uniform(40.0, 150.0);
    const double depth = rng.Uniform(40.0, 150.0);
    const double tall = rng.Uniform(0.0, 1.0);
    const double height = 30.0 + 170.0 * tall * tall;  // mostly low blocks, a few towers
    const double x = rng.Uniform(kLo[0] + kMargin, kHi[0] - kMargin - width);
    const double z = rng.Uniform(kLo[2] + kMargin, kHi[2] - kMargin - depth);
    return Box{{x, 0.0, z}, {x + width, height, z + depth}};
}

// True when b keeps a street's distance from every building already placed.
bool Fits(const Box& b, const std::vector<Box>& city) {
    for (const Box& other : city) {
        const bool apartX = b.hi[0] + kStreet <= other.lo[0] || other.hi[0] + kStreet <= b.lo[0];
        const bool apartZ = b.hi[2] + kStreet <= other.lo[2] || other.hi[2] + kStreet <= b.lo[2];
        if (!apartX && !apartZ) return false;
    }
    return true;
}

}  // namespace

std::vector<Box> LayoutCity() {
    Rng rng(0x76656c6d6f7261ULL);
    const size_t wanted = static_cast<size_t>(rng.Range(28, 36));
    std::vector<Box> city;
    for (int attempt = 0; attempt < 10000 && city.size() < wanted; ++attempt) {
        const Box b = RandomBuilding(rng);
        if (Fits(b, city)) city.push_back(b);
    }
    return city;
}

}  // namespace citygen
