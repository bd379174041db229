#include "tools/kavconvert/vertices.h"

#include <cmath>

#include "tools/kavconvert/progress.h"

namespace kav {

namespace {

const char* const kValueNames[9] = {
    "x", "y", "z", "Density", "Energy", "Momentum x", "Momentum y", "Momentum z", "MomentumMag"};

void Value(const FlowSource& s, vtkIdType id, int components, double* out) {
    if (!s.array) {
        for (int c = 0; c < components; ++c) out[c] = s.constant[c];
        return;
    }
    for (int c = 0; c < components; ++c) out[c] = s.array->GetComponent(id, c);
}

Vertex MakeRecord(vtkPoints* points, vtkIdType id, const FlowSources& sources, int up) {
    Vertex v;
    double p[3], m[3];
    points->GetPoint(id, p);
    ToViewerAxes(up, p, v.point);
    Value(sources.density, id, 1, &v.Density);
    Value(sources.energy, id, 1, &v.Energy);
    Value(sources.momentum, id, 3, m);
    if (sources.momentumFromVelocity) {
        for (double& c : m) c *= v.Density;
    }
    ToViewerAxes(up, m, v.Momentum);
    v.MomentumMag = std::hypot(v.Momentum[0], v.Momentum[1], v.Momentum[2]);
    return v;
}

// Counts the non-finite values of each kind; remembers the first point that has one.
struct BadValues {
    uint64_t count[9] = {};
    uint64_t points = 0;
    vtkIdType first = -1;

    void Check(const Vertex& v, vtkIdType id) {
        const double* d = reinterpret_cast<const double*>(&v);
        bool bad = false;
        for (int f = 0; f < 9; ++f) {
            if (!std::isfinite(d[f])) {
                ++count[f];
                bad = true;
            }
        }
        if (!bad) return;
        if (points++ == 0) first = id;
    }

    void Throw() const {
        std::string list;
        for (int f = 0; f < 9; ++f) {
            if (count[f] == 0) continue;
            list += (list.empty() ? "" : ", ") + std::string(kValueNames[f]) + ": " +
                    std::to_string(count[f]);
        }
        throw ConvertError(std::to_string(points) + " input points have NaN or infinite values (" +
                           list + "); the first is point " + std::to_string(first));
    }
};

}  // namespace

void ToViewerAxes(int up, const double* in, double* out) {
    double x = in[0], y = in[1], z = in[2];
    if (up == 0) {
        out[0] = -y, out[1] = x, out[2] = z;
    } else if (up == 2) {
        out[0] = x, out[1] = z, out[2] = -y;
    } else {
        out[0] = x, out[1] = y, out[2] = z;
    }
}

namespace {

// The record of an added point: at its position, with the mean of its sources' values.
Vertex MakeExtraRecord(vtkPoints* points, const ExtraPoints& extras, size_t k,
                       const FlowSources& sources, int up) {
    Vertex v{};
    ToViewerAxes(up, extras.positions[k].data(), v.point);
    uint32_t first = extras.sourceStart[k], end = extras.sourceStart[k + 1];
    for (uint32_t s = first; s < end; ++s) {
        Vertex from = MakeRecord(points, extras.sources[s], sources, up);
        v.Density += from.Density;
        v.Energy += from.Energy;
        for (int a = 0; a < 3; ++a) v.Momentum[a] += from.Momentum[a];
    }
    double n = end - first;
    v.Density /= n;
    v.Energy /= n;
    for (double& m : v.Momentum) m /= n;
    v.MomentumMag = std::hypot(v.Momentum[0], v.Momentum[1], v.Momentum[2]);
    return v;
}

}  // namespace

TetMesh BuildMesh(vtkPoints* points, const ExtraPoints& extras, std::vector<Tet> tets,
                  const FlowSources& sources, int up, std::vector<uint32_t>* index) {
    const size_t n = static_cast<size_t>(points->GetNumberOfPoints());
    index->assign(n + extras.Count(), kUnusedPoint);
    for (const Tet& t : tets) {
        for (uint32_t v : t.v) (*index)[v] = 0;
    }
    TetMesh mesh;
    BadValues bad;
    Progress progress("Collecting vertices", index->size());
    for (size_t i = 0; i < index->size(); ++i) {
        progress.Update(i);
        if ((*index)[i] == kUnusedPoint) continue;
        (*index)[i] = static_cast<uint32_t>(mesh.vertices.size());
        mesh.vertices.push_back(i < n ? MakeRecord(points, static_cast<vtkIdType>(i), sources, up)
                                      : MakeExtraRecord(points, extras, i - n, sources, up));
        bad.Check(mesh.vertices.back(), static_cast<vtkIdType>(i));
    }
    progress.Finish();
    if (bad.points > 0) bad.Throw();
    for (Tet& t : tets) {
        for (uint32_t& v : t.v) v = (*index)[v];
    }
    mesh.tets = std::move(tets);
    return mesh;
}

}  // namespace kav
