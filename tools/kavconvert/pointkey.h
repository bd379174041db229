// A point's exact position as a hashable key: points are the same point when their
// coordinates are equal to the last bit, -0 and +0 alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kav {

struct PointKey {
    uint64_t bits[3];
    bool operator==(const PointKey& o) const {
        return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
    }
    // A total order that does not depend on how the points are numbered (NaNs included).
    bool operator<(const PointKey& o) const {
        if (bits[0] != o.bits[0]) return bits[0] < o.bits[0];
        if (bits[1] != o.bits[1]) return bits[1] < o.bits[1];
        return bits[2] < o.bits[2];
    }
};

struct PointKeyHash {
    size_t operator()(const PointKey& k) const {
        uint64_t h = k.bits[0] * 0x9e3779b97f4a7c15ULL;
        h = (h ^ (h >> 29) ^ k.bits[1]) * 0xbf58476d1ce4e5b9ULL;
        h = (h ^ (h >> 31) ^ k.bits[2]) * 0x94d049bb133111ebULL;
        return static_cast<size_t>(h ^ (h >> 32));
    }
};

inline PointKey KeyOf(const double* p) {
    PointKey k;
    for (int a = 0; a < 3; ++a) {
        double v = p[a] + 0.0;  // -0 becomes +0
        std::memcpy(&k.bits[a], &v, sizeof v);
    }
    return k;
}

}  // namespace kav
