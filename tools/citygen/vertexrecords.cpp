#include "tools/citygen/vertexrecords.h"

#include <cmath>

#include "tools/citygen/parallel.h"
#include "tools/citygen/planeflow.h"

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
