#include "tools/citygen/wind.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/citygen/parallel.h"
#include "tools/citygen/pressure.h"

namespace citygen {
namespace {

constexpr double kProfileLift = 5.0;      // height offset of the approaching boundary layer, units
constexpr double kProfileExp = 0.2;       // its power-law exponent
constexpr double kKarman = 0.41;          // von Karman's constant
constexpr double kRoughness = 0.1;        // roughness length of the floor and the buildings, units
constexpr double kMixingCap = 12.0;       // longest mixing length, units
constexpr double kViscosity = 0.01;       // background kinematic viscosity, units^2 per second
constexpr double kDownwindShare = 0.25;   // of the domain's length, solved for past it
constexpr int kViscosityInterval = 2;     // steps between updates of the eddy viscosity
constexpr double kCourant = 0.7;          // largest fraction of a cell the wind crosses in a step
constexpr double kFinalTolerance = 1e-9;  // divergence left in the result, per cell flux

// The schedule of the stages: grids are halved down to kCoarsestRows cells in height. The
// coarsest grid is marched for kSettleTime from the approaching wind, three passages of the
// wind through the grid, which settles its flow; a finer grid starts from that flow and
// settles faster. Each stage is averaged over its last quarter.
constexpr int kCoarsestRows = 18;
constexpr double kSettleTime = 1500.0;  // seconds
constexpr double kRefineTime = 800.0;   // grids up to 36 cells in height
constexpr double kDetailTime = 150.0;   // finer grids

// Calls f(id) for every padded index of the cells (or faces) lo .. hi - 1, in parallel over
// the planes of constant k.
template <typename F>
void ForBox(const Staggered& s, const Index& lo, const Index& hi, const F& f) {
    ParallelFor(lo[2], hi[2], [&](int k) {
        for (int j = lo[1]; j < hi[1]; ++j) {
            const size_t row = s.At(0, j, k);
            for (int i = lo[0]; i < hi[0]; ++i) f(row + i);
        }
    });
}

// The march of one grid: the state, the work arrays and the running averages.
class WindSolver {
public:
    explicit WindSolver(const Grid& g);

    void StartFromApproach();
    void StartFrom(const WindSolver& coarse);
    void Run(double time, double average, const ProgressReport& progress);
    void Settle();
    WindField Result() const { return WindField{s, u, pressureMean}; }

private:
    double Flux(int a, int d, size_t f) const;
    double VerticalConductance(int a, size_t f) const;
    void DiffuseVertically(int a, double dt);
    double EdgeViscosity(int a, int d, size_t f) const;
    void ComputeViscosity();
    void ComputeRhs(int a);
    double TimeStep() const;
    int Project(double tolerance);
    void ApplyInlet();
    double Sample(int a, const Vec3& x) const;

    Grid grid;
    Staggered s;
    PressureSolver pressure;
    Vec3 drag;  // drag coefficient of the rough walls across each axis
    // Per axis, on the faces (or, for centre and edgeNu, cells and edges) of that axis:
    std::array<std::vector<double>, 3> u;       // velocity, units per second
    std::array<std::vector<double>, 3> rhs;     // explicit du/dt of this step ...
    std::array<std::vector<double>, 3> rhsOld;  // ... and of the step before
    std::array<std::vector<double>, 3> flux;    // work: momentum flux across each axis
    std::array<std::vector<double>, 3> centre;  // velocity at the cell centres
    std::array<std::vector<double>, 3> sum;     // velocity integrated over the averaged time
    std::array<std::vector<double>, 3> edgeNu;  // eddy viscosity on the cell edges along the axis
    // Per cell:
    std::vector<double> nu;      // eddy viscosity, units^2 per second
    std::vector<double> mixing;  // squared mixing length
    std::vector<double> phi;     // potential of the last correction: pressure times the step
    std::vector<double> div;     // right-hand side of the pressure equation
    std::vector<double> pressureSum, pressureMean;  // integrated, and averaged after Settle
    double sumTime = 0.0;                           // the averaged time
};

WindSolver::WindSolver(const Grid& g) : grid(g), s(MakeStaggered(g)), pressure(s) {
    for (auto* fields : {&u, &rhs, &rhsOld, &flux, &centre, &sum, &edgeNu}) {
        for (auto& f : *fields) f = Field(s);
    }
    nu = mixing = phi = div = pressureSum = Field(s);
    for (int a = 0; a < 3; ++a) {
        drag[a] = std::pow(kKarman / std::log(0.5 * s.h[a] / kRoughness), 2);
    }
    // Mixing length: von Karman's constant times the distance to the floor or the nearest
    // building, up to a cap.
    for (int k = 0; k < s.n[2]; ++k) {
        for (int j = 0; j < s.n[1]; ++j) {
            for (int i = 0; i < s.n[0]; ++i) {
                const Vec3 x{grid.Coord(0, i) + 0.5 * s.h[0], grid.Coord(1, j) + 0.5 * s.h[1],
                             grid.Coord(2, k) + 0.5 * s.h[2]};
                double d = x[1] - kLo[1];
                for (const Box& b : grid.buildings) {
                    double d2 = 0.0;
                    for (int a = 0; a < 3; ++a) {
                        const double out = std::max({b.lo[a] - x[a], 0.0, x[a] - b.hi[a]});
                        d2 += out * out;
                    }
                    d = std::min(d, std::sqrt(d2));
                }
                const double l = std::min(kKarman * d, kMixingCap);
                mixing[s.At(i, j, k)] = l * l;
            }
        }
    }
}

void WindSolver::ApplyInlet() {
    for (int k = 0; k < s.n[2]; ++k) {
        for (int j = 0; j < s.n[1]; ++j) {
            const size_t f = s.At(0, j, k);
            if (s.kind[0][f] == kFaceInlet) u[0][f] = ApproachWind(grid.Coord(1, j) + 0.5 * s.h[1]);
        }
    }
}

// The approaching wind everywhere, made divergence-free around the buildings.
void WindSolver::StartFromApproach() {
    for (int k = 0; k < s.n[2]; ++k) {
        for (int j = 0; j < s.n[1]; ++j) {
            for (int i = 0; i <= s.n[0]; ++i) {
                const size_t f = s.At(i, j, k);
                const uint8_t kind = s.kind[0][f];
                if (kind == kFaceOpen || kind == kFaceInlet || kind == kFaceOutlet) {
                    u[0][f] = ApproachWind(grid.Coord(1, j) + 0.5 * s.h[1]);
                }
            }
        }
    }
    Project(kFinalTolerance);
    std::fill(phi.begin(), phi.end(), 0.0);
}

// Component a of a coarser grid's velocity at x, linear between the faces that carry one.
double WindSolver::Sample(int a, const Vec3& x) const {
    Index base;
    Vec3 t;
    for (int b = 0; b < 3; ++b) {
        double pos = (x[b] - kLo[b]) / s.h[b] - (b == a ? 0.0 : 0.5);
        const int last = b == a ? s.n[b] : s.n[b] - 1;
        pos = std::clamp(pos, 0.0, double(last));
        base[b] = std::min(int(pos), std::max(last - 1, 0));
        t[b] = last > 0 ? pos - base[b] : 0.0;
    }
    double value = 0.0, weights = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        Index q = base;
        double w = 1.0;
        for (int b = 0; b < 3; ++b) {
            const int bit = (corner >> b) & 1;
            q[b] += bit;
            w *= bit ? t[b] : 1.0 - t[b];
        }
        const size_t f = s.At(q[0], q[1], q[2]);
        if (w == 0.0 || !HasValue(s.kind[a][f])) continue;
        value += w * u[a][f];
        weights += w;
    }
    return weights > 0.0 ? value / weights : 0.0;
}

// The coarser grid's flow interpolated onto this grid, made divergence-free again.
void WindSolver::StartFrom(const WindSolver& coarse) {
    for (int a = 0; a < 3; ++a) {
        Index hi = s.n;
        ++hi[a];
        for (int k = 0; k < hi[2]; ++k) {
            for (int j = 0; j < hi[1]; ++j) {
                for (int i = 0; i < hi[0]; ++i) {
                    const size_t f = s.At(i, j, k);
                    if (s.kind[a][f] != kFaceOpen && s.kind[a][f] != kFaceOutlet) continue;
                    const Index p{i, j, k};
                    Vec3 x;
                    for (int b = 0; b < 3; ++b)
                        x[b] = grid.Coord(b, p[b]) + (b == a ? 0.0 : 0.5 * s.h[b]);
                    u[a][f] = coarse.Sample(a, x);
                }
            }
        }
    }
    ApplyInlet();
    Project(kFinalTolerance);
    std::fill(phi.begin(), phi.end(), 0.0);
}

// Eddy viscosity on the edge between the faces f and f + e_d of component a (d != a): the
// edge along the third axis whose cells are f + e_d and its lower neighbours across a and d.
double WindSolver::EdgeViscosity(int a, int d, size_t f) const {
    return edgeNu[3 - a - d][f + s.stride[d]];
}

// Flux of component a's momentum (per unit area, along +d) through the face of its
// control volume between the faces f and f + e_d: advection with QUICK interpolation of the
// carried velocity, diffusion by the eddy viscosity. At the floor and the buildings a rough
// wall's drag takes the place of the viscous flux.
double WindSolver::Flux(int a, int d, size_t f) const {
    const ptrdiff_t sd = s.stride[d], sa = s.stride[a];
    const size_t g = f + sd;
    const uint8_t kf = s.kind[a][f], kg = s.kind[a][g];
    if (kf != kFaceOpen && kg != kFaceOpen) return 0.0;
    const std::vector<double>& v = u[a];
    const bool hasF = HasValue(kf), hasG = HasValue(kg);
    if (hasF && hasG) {
        const double carrier =
            d == a ? 0.5 * (v[f] + v[g]) : 0.5 * (u[d][f - sa + sd] + u[d][f + sd]);
        const size_t up = carrier >= 0 ? f : g, down = carrier >= 0 ? g : f;
        const size_t beyond = carrier >= 0 ? f - sd : g + sd;
        const double far = HasValue(s.kind[a][beyond]) ? v[beyond] : v[up];
        const double carried = 0.75 * v[up] + 0.375 * v[down] - 0.125 * far;
        if (d == 1) return carrier * carried;  // the vertical diffusion is implicit
        const double viscosity = d == a ? nu[f] : EdgeViscosity(a, d, f);
        return carrier * carried - viscosity * (v[g] - v[f]) / s.h[d];
    }
    const size_t q = hasF ? f : g;
    const double side = hasF ? 1.0 : -1.0;  // +1 when the boundary lies above q on axis d
    switch (hasF ? kg : kf) {
        case kFaceDead:
        case kGhostFloor:
            return side * drag[d] * std::fabs(v[q]) * v[q];
        case kGhostInlet:  // still air across the wind just upwind of the domain
            return -2.0 * EdgeViscosity(a, d, f) * v[q] / s.h[d];
        case kGhostOutlet:  // carried out unchanged
            return 0.5 * (u[0][f - sa + sd] + u[0][f + sd]) * v[q];
        default:  // free slip
            return 0.0;
    }
}

// Viscosity over the squared distance between the faces f and f + e_y of component a.
double WindSolver::VerticalConductance(int a, size_t f) const {
    return (a == 1 ? nu[f] : EdgeViscosity(a, 1, f)) / (s.h[1] * s.h[1]);
}

// Diffuses component a along y, implicitly over a step dt: solves (1 - dt D) u_new = u
// for the open faces, column by column (Thomas' algorithm), with the faces that carry a
// fixed value (walls, inlet, outlet) as boundary values. The cells are flattest along y, so
// this is the diffusion that would otherwise limit the step.
void WindSolver::DiffuseVertically(int a, double dt) {
    const ptrdiff_t sy = s.stride[1];
    const std::vector<uint8_t>& kind = s.kind[a];
    std::vector<double>& v = u[a];
    Index top = s.n;
    ++top[a];
    ParallelFor(0, top[2], [&](int k) {
        // Per face of the plane, row by row: the conductance to the face above (times dt),
        // and the eliminated upper coefficient and right-hand side.
        const size_t row = size_t(top[0]);
        std::vector<double> up(row * (top[1] + 1), 0.0), upper(row * top[1]), right(row * top[1]);
        for (int j = 0; j < top[1]; ++j) {
            const size_t f0 = s.At(0, j, k);
            for (int i = 0; i < top[0]; ++i) {
                const size_t f = f0 + i, at = j * row + i;
                if (kind[f] != kFaceOpen) continue;
                const double down =
                    j > 0 && kind[f - sy] == kFaceOpen
                        ? up[at - row]
                        : (HasValue(kind[f - sy]) ? dt * VerticalConductance(a, f - sy) : 0.0);
                up[at] = HasValue(kind[f + sy]) ? dt * VerticalConductance(a, f) : 0.0;
                double diag = 1.0 + down + up[at], r = v[f];
                if (kind[f - sy] == kFaceOpen) {
                    diag -= down * upper[at - row];
                    r += down * right[at - row];
                } else {
                    r += down * v[f - sy];
                }
                const bool chained = kind[f + sy] == kFaceOpen;
                if (!chained) r += up[at] * v[f + sy];
                upper[at] = chained ? up[at] / diag : 0.0;
                right[at] = r / diag;
            }
        }
        for (int j = top[1] - 1; j >= 0; --j) {
            const size_t f0 = s.At(0, j, k);
            for (int i = 0; i < top[0]; ++i) {
                const size_t f = f0 + i, at = j * row + i;
                if (kind[f] == kFaceOpen) v[f] = right[at] + upper[at] * v[f + sy];
            }
        }
    });
}

void WindSolver::ComputeViscosity() {
    for (int a = 0; a < 3; ++a) {
        ForBox(s, {0, 0, 0}, s.n, [&](size_t c) {
            centre[a][c] = s.air[c] ? 0.5 * (u[a][c] + u[a][c + s.stride[a]]) : 0.0;
        });
    }
    ForBox(s, {0, 0, 0}, s.n, [&](size_t c) {
        if (!s.air[c]) return;
        double grad[3][3];  // grad[a][b] = d u_a / d x_b at the cell centre
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) {
                const ptrdiff_t sb = s.stride[b];
                if (a == b) {
                    grad[a][b] = (u[a][c + sb] - u[a][c]) / s.h[b];
                    continue;
                }
                const bool up = s.air[c + sb], down = s.air[c - sb];
                const double hi = up ? centre[a][c + sb] : centre[a][c];
                const double lo = down ? centre[a][c - sb] : centre[a][c];
                const int span = up + down;
                grad[a][b] = span ? (hi - lo) / (span * s.h[b]) : 0.0;
            }
        }
        double strain2 = 0.0;
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) {
                const double sab = 0.5 * (grad[a][b] + grad[b][a]);
                strain2 += sab * sab;
            }
        }
        nu[c] = kViscosity + mixing[c] * std::sqrt(2.0 * strain2);
    });
    // Edges along axis c: the mean of the air cells among the four around them.
    for (int c = 0; c < 3; ++c) {
        const ptrdiff_t sa = s.stride[(c + 1) % 3], sb = s.stride[(c + 2) % 3];
        ForBox(s, {-1, -1, -1}, {s.n[0] + 2, s.n[1] + 2, s.n[2] + 2}, [&](size_t e) {
            const size_t cells[4] = {e, e - sa, e - sb, e - sa - sb};
            double total = 0.0;
            int count = 0;
            for (size_t cell : cells) {
                total += nu[cell];
                count += s.air[cell];
            }
            edgeNu[c][e] = count ? total / count : 0.0;
        });
    }
}

// The explicit part of du_a/dt on every open face of component a.
void WindSolver::ComputeRhs(int a) {
    const Index lo{-1, -1, -1}, hi{s.n[0] + 1, s.n[1] + 1, s.n[2] + 1};
    for (int d = 0; d < 3; ++d) {
        ForBox(s, lo, hi, [&](size_t f) { flux[d][f] = Flux(a, d, f); });
    }
    Index top = s.n;
    ++top[a];
    ForBox(s, {0, 0, 0}, top, [&](size_t f) {
        if (s.kind[a][f] != kFaceOpen) return;
        double r = 0.0;
        for (int d = 0; d < 3; ++d) r -= (flux[d][f] - flux[d][f - s.stride[d]]) / s.h[d];
        rhs[a][f] = r;
    });
}

// The longest stable step: the wind crosses at most kCourant of a cell, and the explicit
// diffusion across x and z stays within its stability limit.
double WindSolver::TimeStep() const {
    const double crossing = MaxOver(0, s.n[2], [&](int k) {
        double largest = 0.0;
        for (int j = 0; j < s.n[1]; ++j) {
            for (int i = 0; i < s.n[0]; ++i) {
                const size_t c = s.At(i, j, k);
                if (!s.air[c]) continue;
                double rate = 0.0;
                for (int a = 0; a < 3; ++a) {
                    rate += std::max(std::fabs(u[a][c]), std::fabs(u[a][c + s.stride[a]])) / s.h[a];
                }
                largest = std::max(largest, rate);
            }
        }
        return largest;
    });
    const double viscosity = MaxOver(0, s.n[2], [&](int k) {
        double largest = 0.0;
        for (int j = 0; j < s.n[1]; ++j) {
            const size_t row = s.At(0, j, k);
            for (int i = 0; i < s.n[0]; ++i) largest = std::max(largest, nu[row + i]);
        }
        return largest;
    });
    const double inverse2 = 1.0 / (s.h[0] * s.h[0]) + 1.0 / (s.h[2] * s.h[2]);  // y is implicit
    return std::min(kCourant / crossing, 0.8 / (4.0 * viscosity * inverse2));
}

// Makes u divergence-free on every air cell (see pressure.h), to `tolerance` of the flux of
// the wind through a face, or, with a tolerance of 0, as far as one preconditioned
// conjugate gradient step gets from the guess in phi: what divergence a time step leaves
// is in the next one's right-hand side and is removed there. phi holds the potential of
// the correction. Returns the solver's iterations.
int WindSolver::Project(double tolerance) {
    ForBox(s, {0, 0, 0}, s.n, [&](size_t c) {
        double out = 0.0;
        if (s.air[c]) {
            for (int a = 0; a < 3; ++a) out += s.Area(a) * (u[a][c + s.stride[a]] - u[a][c]);
        }
        div[c] = -out;
    });
    const int iterations =
        pressure.Solve(div, phi, tolerance * kWind * s.Area(0), tolerance > 0.0 ? 500 : 1);
    for (int a = 0; a < 3; ++a) {
        Index top = s.n;
        ++top[a];
        const ptrdiff_t sa = s.stride[a];
        ForBox(s, {0, 0, 0}, top, [&](size_t f) {
            if (s.kind[a][f] == kFaceOpen) u[a][f] -= (phi[f] - phi[f - sa]) / s.h[a];
            if (s.kind[a][f] == kFaceOutlet) u[a][f] += phi[f - sa] / (0.5 * s.h[a]);
        });
    }
    return iterations;
}

void WindSolver::Run(double time, double average, const ProgressReport& progress) {
    double t = 0.0, dtOld = 0.0;
    int step = 0, reported = 0;
    while (t < time) {
        if (step % kViscosityInterval == 0) ComputeViscosity();
        for (int a = 0; a < 3; ++a) ComputeRhs(a);
        const double dt = std::min(TimeStep(), time - t);
        // Adams-Bashforth, second order for a changing step; Euler on the first step.
        const double ratio = dtOld > 0.0 ? dt / dtOld : 0.0;
        const double now = dt * (1.0 + 0.5 * ratio), before = dt * 0.5 * ratio;
        for (int a = 0; a < 3; ++a) {
            Index top = s.n;
            ++top[a];
            const ptrdiff_t sa = s.stride[a];
            ForBox(s, {0, 0, 0}, top, [&](size_t f) {
                if (s.kind[a][f] == kFaceOpen) {
                    u[a][f] += now * rhs[a][f] - before * rhsOld[a][f];
                } else if (s.kind[a][f] == kFaceOutlet) {  // carried out with its own speed
                    u[a][f] -= dt * std::max(u[a][f], 0.0) * (u[a][f] - u[a][f - sa]) / s.h[a];
                }
            });
            std::swap(rhs[a], rhsOld[a]);
            DiffuseVertically(a, dt);
        }
        if (dtOld > 0.0) {
            for (double& p : phi) p *= dt / dtOld;
        }
        const int iterations = Project(0.0);
        t += dt;
        dtOld = dt;
        ++step;
        if (t > time - average) {
            for (int a = 0; a < 3; ++a) {
                ForBox(s, {0, 0, 0}, {s.n[0] + 1, s.n[1] + 1, s.n[2] + 1},
                       [&](size_t f) { sum[a][f] += dt * u[a][f]; });
            }
            ForBox(s, {0, 0, 0}, s.n, [&](size_t c) { pressureSum[c] += phi[c]; });
            sumTime += dt;
        }
        if (t >= time || t >= (reported + 1) * time / 10) {
            reported = int(t / time * 10);
            char line[160];
            std::snprintf(line, sizeof line,
                          "wind on %dx%dx%d: %.0f of %.0f s simulated (step %d, %.2f s per step, "
                          "%d pressure iterations)",
                          s.n[0], s.n[1], s.n[2], t, time, step, dt, iterations);
            progress(line);
        }
    }
}

// Replaces the flow by its average over the last stretch of the march, projected once more
// to a tight tolerance. phi summed over the steps is the pressure's time integral.
void WindSolver::Settle() {
    for (int a = 0; a < 3; ++a) {
        for (size_t f = 0; f < s.size; ++f) u[a][f] = sumTime > 0.0 ? sum[a][f] / sumTime : u[a][f];
    }
    pressureMean = pressureSum;
    for (double& p : pressureMean) p = sumTime > 0.0 ? p / sumTime : 0.0;
    std::fill(phi.begin(), phi.end(), 0.0);
    Project(kFinalTolerance);
}

}  // namespace

double ApproachWind(double y) {
    return kWind *
           std::pow((y - kLo[1] + kProfileLift) / (kHi[1] - kLo[1] + kProfileLift), kProfileExp);
}

std::vector<WindStage> WindStages(const Index& cells) {
    std::vector<Index> grids{cells};
    while (grids.front()[1] % 2 == 0 && grids.front()[1] / 2 >= kCoarsestRows) {
        Index coarse = grids.front();
        for (int& n : coarse) n /= 2;
        grids.insert(grids.begin(), coarse);
    }
    std::vector<WindStage> stages;
    for (const Index& g : grids) {
        const double time = stages.empty() ? kSettleTime : g[1] <= 36 ? kRefineTime : kDetailTime;
        stages.push_back({g, time, time / 4});
    }
    return stages;
}

WindField SolveWind(const std::vector<Box>& city, const std::vector<WindStage>& stages,
                    const ProgressReport& progress) {
    std::unique_ptr<WindSolver> previous;
    for (const WindStage& stage : stages) {
        const Grid g = MakeGrid(stage.cells, city, int(stage.cells[0] * kDownwindShare));
        auto solver = std::make_unique<WindSolver>(g);
        if (previous) {
            solver->StartFrom(*previous);
        } else {
            solver->StartFromApproach();
        }
        solver->Run(stage.time, stage.average, progress);
        solver->Settle();
        previous = std::move(solver);
    }
    return previous->Result();
}

}  // namespace citygen
