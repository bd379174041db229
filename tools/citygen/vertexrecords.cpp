#include "tools/citygen/vertexrecords.h"

#include <algorithm>
#include <cmath>

#include "tools/citygen/parallel.h"

namespace citygen {
namespace {

// Component a of the velocity at node p: the mean of its faces around the node.
double NodeVelocity(const WindField& w, const Index& p, int a) {
    const Staggered& s = w.grid;
    const int b = (a + 1) % 3, c = (a + 2) % 3;
    double total = 0.0;
    int count = 0;
    for (int db = -1; db <= 0; ++db) {
        for (int dc = -1; dc <= 0; ++dc) {
            Index q = p;
            q[b] += db;
            q[c] += dc;
            const size_t f = s.At(q[0], q[1], q[2]);
            if (!HasValue(s.kind[a][f])) continue;
            total += w.velocity[a][f];
            ++count;
        }
    }
    return count ? total / count : 0.0;
}

// Pressure over density at node p: the mean of the air cells around it.
double NodePressure(const WindField& w, const Index& p) {
    const Staggered& s = w.grid;
    double total = 0.0;
    int count = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const size_t c =
            s.At(p[0] - (corner & 1), p[1] - ((corner >> 1) & 1), p[2] - ((corner >> 2) & 1));
        if (!s.air[c]) continue;
        total += w.pressure[c];
        ++count;
    }
    return count ? total / count : 0.0;
}

// Moves the shortfall of `face`, a face of a plane nb faces wide without a free corner, to
// the nearest faces in the plane that have one (breadth first through faces that carry
// flow), in equal parts.
void HandOver(size_t face, int nb, const std::vector<double>& freeWeight,
              std::vector<double>& shortfall) {
    std::vector<size_t> ring{face}, seen{face}, takers;
    while (!ring.empty() && takers.empty()) {
        std::vector<size_t> next;
        for (size_t f : ring) {
            const int ib = int(f % nb), ic = int(f / nb);
            const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
            for (const auto& d : steps) {
                const int jb = ib + d[0], jc = ic + d[1];
                const size_t g = jb + size_t(nb) * jc;
                if (jb < 0 || jb >= nb || jc < 0 || g >= freeWeight.size()) continue;
                if (freeWeight[g] < 0.0 || std::find(seen.begin(), seen.end(), g) != seen.end()) {
                    continue;
                }
                seen.push_back(g);
                (freeWeight[g] > 0.0 ? takers : next).push_back(g);
            }
        }
        ring = std::move(next);
    }
    for (size_t t : takers) shortfall[t] += shortfall[face] / takers.size();
    if (!takers.empty()) shortfall[face] = 0.0;
}

// Corrects component a of the node velocities on every node plane across axis a so that
// the viewer's linear interpolation carries the solution's mass flow through the plane.
//
// Interpolated on the two triangles of a face (cut from its corner 00 to corner 11, as the
// tetrahedra cut it), a face passes sum_k weight_k value_k with the weights 1/3, 1/6, 1/3,
// 1/6 of its area. Where corners are held at zero, as along the edges of the buildings,
// that falls short of the face's own flux. Each face's shortfall (or excess) is shared out
// to its free corners in proportion to their weights, and every free node changes by its
// share over its total weight in the plane: the plane then passes exactly the solution's
// flow, and no correction reaches beyond the faces that ask for it. A face without a free
// corner (in a gap one cell wide between two walls of the plane) hands its shortfall to
// the nearest faces that have one.
void MatchPlaneFlow(const Grid& g, const WindField& w, const std::vector<uint8_t>& wallAxes, int a,
                    std::vector<double>& velocity) {
    const int b = (a + 1) % 3, c = (a + 2) % 3;
    const Staggered& s = w.grid;
    constexpr double kWeight[4] = {1.0 / 3.0, 1.0 / 6.0, 1.0 / 3.0, 1.0 / 6.0};
    const int nb = g.n[b], nc = g.n[c];
    ParallelFor(0, g.n[a] + 1, [&](int plane) {
        // Per face of the plane: the shortfall, and the weight of its free corners (-1 for
        // faces that carry no flow).
        std::vector<double> shortfall(size_t(nb) * nc, 0.0), freeWeight(shortfall.size(), -1.0);
        auto corner = [&](Index p, int k) {  // node of corner k = 00, 10, 11, 01 of face p
            p[b] += k == 1 || k == 2;
            p[c] += k >= 2;
            return p;
        };
        Index p;
        p[a] = plane;
        for (p[c] = 0; p[c] < nc; ++p[c]) {
            for (p[b] = 0; p[b] < nb; ++p[b]) {
                const size_t f = s.At(p[0], p[1], p[2]), face = p[b] + size_t(nb) * p[c];
                const uint8_t kind = s.kind[a][f];
                if (kind != kFaceOpen && kind != kFaceInlet && kind != kFaceOutlet) continue;
                shortfall[face] = w.velocity[a][f];
                freeWeight[face] = 0.0;
                for (int k = 0; k < 4; ++k) {
                    const size_t node = g.Node(corner(p, k));
                    shortfall[face] -= kWeight[k] * velocity[node];
                    if (!((wallAxes[node] >> a) & 1)) freeWeight[face] += kWeight[k];
                }
            }
        }
        for (size_t face = 0; face < shortfall.size(); ++face) {
            if (freeWeight[face] == 0.0) HandOver(face, nb, freeWeight, shortfall);
        }
        std::vector<double> share((nb + 1) * size_t(nc + 1), 0.0), weight(share.size(), 0.0);
        for (p[c] = 0; p[c] < nc; ++p[c]) {
            for (p[b] = 0; p[b] < nb; ++p[b]) {
                const size_t face = p[b] + size_t(nb) * p[c];
                if (freeWeight[face] < 0.0) continue;
                for (int k = 0; k < 4; ++k) {
                    const Index q = corner(p, k);
                    const size_t local = q[b] + size_t(nb + 1) * q[c];
                    weight[local] += kWeight[k];
                    if (freeWeight[face] > 0.0 && !((wallAxes[g.Node(q)] >> a) & 1)) {
                        share[local] += shortfall[face] * kWeight[k] / freeWeight[face];
                    }
                }
            }
        }
        for (p[c] = 0; p[c] <= nc; ++p[c]) {
            for (p[b] = 0; p[b] <= nb; ++p[b]) {
                const size_t local = p[b] + size_t(nb + 1) * p[c];
                if (weight[local] > 0.0) velocity[g.Node(p)] += share[local] / weight[local];
            }
        }
    });
}

}  // namespace

std::vector<Record> VertexRecords(const Grid& g, const WindField& wind,
                                  const std::vector<uint8_t>& wallAxes) {
    const double sound2 = kGamma * kPressure0 / kDensity0;
    std::array<std::vector<double>, 3> velocity;
    for (int a = 0; a < 3; ++a) {
        velocity[a].resize(g.Nodes());
        ParallelFor(0, g.n[2] + 1, [&](int k) {
            for (size_t id = g.Node({0, 0, k}); id < g.Node({0, 0, k + 1}); ++id) {
                const bool wall = (wallAxes[id] >> a) & 1;
                velocity[a][id] = wall ? 0.0 : NodeVelocity(wind, g.NodePosition(id), a);
            }
        });
        MatchPlaneFlow(g, wind, wallAxes, a, velocity[a]);
    }
    std::vector<Record> records(g.Nodes());
    ParallelFor(0, g.n[2] + 1, [&](int k) {
        for (size_t id = g.Node({0, 0, k}); id < g.Node({0, 0, k + 1}); ++id) {
            const Index p = g.NodePosition(id);
            Record& r = records[id];
            for (int a = 0; a < 3; ++a) r[kX + a] = g.Coord(a, p[a]);
            const double change = kDensity0 * NodePressure(wind, p);  // pressure - kPressure0
            const double rho = kDensity0 + change / sound2;
            double speed2 = 0.0;
            for (int a = 0; a < 3; ++a) {
                const double u = velocity[a][id];
                r[kMomX + a] = rho * u;
                speed2 += u * u;
            }
            r[kDensity] = rho;
            r[kEnergy] = (kPressure0 + change) / (kGamma - 1.0) + 0.5 * rho * speed2;
            r[kMomMag] = rho * std::sqrt(speed2);
        }
    });
    return records;
}

}  // namespace citygen
