#include "tools/kavconvert/facesplit.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "tools/kavconvert/pointkey.h"

namespace kav {

namespace {

void Sub(const double* a, const double* b, double* out) {
    for (int k = 0; k < 3; ++k) out[k] = a[k] - b[k];
}

void Cross(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double Dot(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace

uint32_t ExtraPoints::Add(const double* position, const uint32_t* ids, size_t n) {
    uint64_t id = uint64_t(first) + positions.size();
    CheckCount(id + 1, "points with those added inside faces and cells");
    positions.push_back({position[0], position[1], position[2]});
    sources.insert(sources.end(), ids, ids + n);
    sourceStart.push_back(static_cast<uint32_t>(sources.size()));
    if (sources.size() > kMaxCount) CheckCount(sources.size(), "corners of added points");
    return static_cast<uint32_t>(id);
}

Coordinates::Coordinates(vtkPoints* points) {
    count = static_cast<uint32_t>(points->GetNumberOfPoints());
    auto* doubles = vtkDoubleArray::SafeDownCast(points->GetData());
    if (!doubles) {
        copy = vtkSmartPointer<vtkDoubleArray>::New();
        copy->DeepCopy(points->GetData());
        doubles = copy;
    }
    data = doubles->GetPointer(0);
}

FaceSplitter::FaceSplitter(const Coordinates& coordinates, ExtraPoints* e)
    : xyz(coordinates), extras(e), rank(coordinates.Count()) {
    extras->first = coordinates.Count();
    std::vector<PointKey> keys(rank.size());
    for (uint32_t i = 0; i < keys.size(); ++i) keys[i] = KeyOf(xyz[i]);
    std::vector<uint32_t> order(rank.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return keys[a] < keys[b] || (keys[a] == keys[b] && a < b);
    });
    for (uint32_t r = 0; r < order.size(); ++r) rank[order[r]] = r;
}

// Whether the triangle a b c has an angle of nearly 180 degrees.
bool HasStraightAngle(const double* a, const double* b, const double* c) {
    const double* p[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        double e1[3], e2[3];
        Sub(p[(k + 1) % 3], p[k], e1);
        Sub(p[(k + 2) % 3], p[k], e2);
        if (Dot(e1, e2) < kStraightCos * std::sqrt(Dot(e1, e1) * Dot(e2, e2))) return true;
    }
    return false;
}

// Whether every triangle of the fan from `apex` over the corner chain (closed: the
// whole polygon's edges) is fair, or with `strict` false only wound like the polygon.
bool FaceSplitter::FanIsFair(const uint32_t* corners, size_t n, const double* apex, bool closed,
                             bool strict) const {
    size_t edges = closed ? n : n - 1;
    double area[3] = {0, 0, 0}, tri[3], e1[3], e2[3];
    for (int pass = 0; pass < 2; ++pass) {
        double whole = Dot(area, area);
        for (size_t k = 0; k < edges; ++k) {
            Sub(Position(corners[k]), apex, e1);
            Sub(Position(corners[(k + 1) % n]), apex, e2);
            Cross(e1, e2, tri);
            if (pass == 0) {
                for (int a = 0; a < 3; ++a) area[a] += tri[a];
            } else if (!strict) {
                if (!(Dot(tri, area) > 0)) return false;
            } else if (!(Dot(tri, area) > kFairShare * whole) ||
                       !(Dot(tri, area) > kFairTilt * std::sqrt(Dot(tri, tri) * whole)) ||
                       HasStraightAngle(apex, Position(corners[k]),
                                        Position(corners[(k + 1) % n]))) {
                return false;
            }
        }
    }
    return true;
}

FaceSplitter::Kind FaceSplitter::Split(const uint32_t* ids, size_t n, bool add,
                                       std::vector<Face3>* out) {
    if (n == 3) {
        out->push_back({ids[0], ids[1], ids[2]});
        return kTriangle;
    }
    // The corners from the lowest-ranked one, towards its lower-ranked neighbour.
    size_t low = 0;
    for (size_t k = 1; k < n; ++k) {
        if (rank[ids[k]] < rank[ids[low]]) low = k;
    }
    bool forward = rank[ids[(low + 1) % n]] < rank[ids[(low + n - 1) % n]];
    canon.resize(n);
    for (size_t k = 0; k < n; ++k) canon[k] = ids[forward ? (low + k) % n : (low + n - k) % n];
    auto emit = [&](uint32_t a, uint32_t b, uint32_t c) {
        out->push_back(forward ? Face3{a, b, c} : Face3{a, c, b});
    };

    if (FanIsFair(canon.data() + 1, n - 1, Position(canon[0]), false, true)) {
        for (size_t k = 1; k + 1 < n; ++k) emit(canon[0], canon[k], canon[k + 1]);
        return kCornerFan;
    }
    std::string key(reinterpret_cast<const char*>(canon.data()), n * sizeof(uint32_t));
    auto found = centres.find(key);
    uint32_t centre;
    if (found != centres.end()) {
        centre = found->second;
    } else {
        if (!add) return kUnknown;
        double mean[3] = {0, 0, 0};
        for (uint32_t id : canon) {
            for (int a = 0; a < 3; ++a) mean[a] += xyz[id][a];
        }
        for (double& m : mean) m /= static_cast<double>(n);
        centre = extras->Add(mean, canon.data(), n);
        centres.emplace(std::move(key), centre);
        if (!FanIsFair(canon.data(), n, mean, true, false)) ++uneven;
    }
    for (size_t k = 0; k < n; ++k) emit(centre, canon[k], canon[(k + 1) % n]);
    return kCentreFan;
}

}  // namespace kav
