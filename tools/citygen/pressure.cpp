#include "tools/citygen/pressure.h"

#include <algorithm>
#include <cmath>

#include "tools/citygen/parallel.h"

namespace citygen {
namespace {

constexpr int kSmoothing = 2;        // red-black sweep pairs before and after the coarser level
constexpr int kCoarsestSweeps = 40;  // sweep pairs that stand in for a solve on the last level
constexpr size_t kCoarsestCells = 64;

// (A x)_c for one cell of a level with couplings `up` and diagonal `diag`.
template <typename L>
double Apply(const L& l, const std::vector<double>& x, size_t c) {
    double sum = l.diag[c] * x[c];
    for (int a = 0; a < 3; ++a) {
        const ptrdiff_t s = l.stride[a];
        sum -= l.up[a][c] * x[c + s] + l.up[a][c - s] * x[c - s];
    }
    return sum;
}

}  // namespace

PressureSolver::PressureSolver(const Staggered& s) {
    Level fine;
    fine.n = s.n;
    fine.factor = {1, 1, 1};
    fine.pad = Staggered::kPad;
    fine.stride = s.stride;
    fine.size = s.size;
    for (auto& u : fine.up) u.assign(s.size, 0.0);
    fine.diag.assign(s.size, 0.0);
    for (int k = 0; k < s.n[2]; ++k) {
        for (int j = 0; j < s.n[1]; ++j) {
            for (int i = 0; i < s.n[0]; ++i) {
                const size_t c = s.At(i, j, k);
                if (!s.air[c]) continue;
                for (int a = 0; a < 3; ++a) {
                    const double w = s.Area(a) / s.h[a];
                    if (s.air[c + s.stride[a]]) fine.up[a][c] = w;
                    fine.diag[c] += w * (s.air[c + s.stride[a]] + s.air[c - s.stride[a]]);
                }
                if (i == s.n[0] - 1) fine.diag[c] += 2.0 * s.Area(0) / s.h[0];
            }
        }
    }
    levels.push_back(std::move(fine));
    Vec3 h = s.h;
    while (true) {
        const Level& last = levels.back();
        if (size_t(last.n[0]) * last.n[1] * last.n[2] <= kCoarsestCells) break;
        Level coarse = Coarsen(last, h);
        if (coarse.factor == Index{1, 1, 1}) break;
        for (int a = 0; a < 3; ++a) h[a] *= coarse.factor[a];
        levels.push_back(std::move(coarse));
    }
    for (Level& l : levels) {
        l.x.assign(l.size, 0.0);
        l.b.assign(l.size, 0.0);
        l.r.assign(l.size, 0.0);
    }
    for (auto* v : {&r, &z, &p, &q}) v->assign(s.size, 0.0);
}

// Halves the axes whose cells are not much longer than the shortest, so that the coarser
// cells are about as long on every axis. Couplings across the coarse faces are the sums of
// the fine ones divided by the factor: the operator the coarse grid would have itself.
PressureSolver::Level PressureSolver::Coarsen(const Level& fine, const Vec3& h) {
    Level c;
    double shortest = 1e300;
    for (int a = 0; a < 3; ++a) {
        if (fine.n[a] > 1) shortest = std::min(shortest, h[a]);
    }
    for (int a = 0; a < 3; ++a) {
        c.factor[a] = fine.n[a] > 1 && h[a] <= 1.5 * shortest ? 2 : 1;
        c.n[a] = (fine.n[a] + c.factor[a] - 1) / c.factor[a];
    }
    c.stride = {1, c.n[0] + 2, ptrdiff_t(c.n[0] + 2) * (c.n[1] + 2)};
    c.size = size_t(c.stride[2]) * (c.n[2] + 2);
    for (auto& u : c.up) u.assign(c.size, 0.0);
    c.diag.assign(c.size, 0.0);
    for (int k = 0; k < fine.n[2]; ++k) {
        for (int j = 0; j < fine.n[1]; ++j) {
            for (int i = 0; i < fine.n[0]; ++i) {
                const size_t f = fine.At(i, j, k);
                const Index p{i, j, k};
                const size_t cc = c.At(i / c.factor[0], j / c.factor[1], k / c.factor[2]);
                double couplings = 0.0;
                for (int a = 0; a < 3; ++a) {
                    const double up = fine.up[a][f], down = fine.up[a][f - fine.stride[a]];
                    couplings += up + down;
                    const bool upCrosses = (p[a] + 1) % c.factor[a] == 0;
                    const bool downCrosses = p[a] % c.factor[a] == 0;
                    if (upCrosses) c.up[a][cc] += up / c.factor[a];
                    c.diag[cc] += (upCrosses ? up : 0.0) / c.factor[a];
                    c.diag[cc] += (downCrosses ? down : 0.0) / c.factor[a];
                }
                c.diag[cc] += (fine.diag[f] - couplings) / c.factor[0];  // the outlet's part
            }
        }
    }
    return c;
}

void PressureSolver::Smooth(Level& l, int colour) const {
    ParallelFor(0, l.n[2], [&](int k) {
        for (int j = 0; j < l.n[1]; ++j) {
            for (int i = (j + k + colour) & 1; i < l.n[0]; i += 2) {
                const size_t c = l.At(i, j, k);
                if (l.diag[c] == 0.0) continue;
                double sum = l.b[c];
                for (int a = 0; a < 3; ++a) {
                    const ptrdiff_t s = l.stride[a];
                    sum += l.up[a][c] * l.x[c + s] + l.up[a][c - s] * l.x[c - s];
                }
                l.x[c] = sum / l.diag[c];
            }
        }
    });
}

void PressureSolver::ComputeResidual(Level& l) const {
    ParallelFor(0, l.n[2], [&](int k) {
        for (int j = 0; j < l.n[1]; ++j) {
            for (int i = 0; i < l.n[0]; ++i) {
                const size_t c = l.At(i, j, k);
                l.r[c] = l.diag[c] == 0.0 ? 0.0 : l.b[c] - Apply(l, l.x, c);
            }
        }
    });
}

void PressureSolver::Restrict(const Level& fine, Level& coarse) const {
    const Index& f = coarse.factor;
    ParallelFor(0, coarse.n[2], [&](int k) {
        for (int j = 0; j < coarse.n[1]; ++j) {
            for (int i = 0; i < coarse.n[0]; ++i) {
                double sum = 0.0;
                for (int dk = 0; dk < f[2] && k * f[2] + dk < fine.n[2]; ++dk) {
                    for (int dj = 0; dj < f[1] && j * f[1] + dj < fine.n[1]; ++dj) {
                        for (int di = 0; di < f[0] && i * f[0] + di < fine.n[0]; ++di) {
                            sum += fine.r[fine.At(i * f[0] + di, j * f[1] + dj, k * f[2] + dk)];
                        }
                    }
                }
                coarse.b[coarse.At(i, j, k)] = sum;
            }
        }
    });
}

void PressureSolver::Prolong(const Level& coarse, Level& fine) const {
    const Index& f = coarse.factor;
    ParallelFor(0, fine.n[2], [&](int k) {
        for (int j = 0; j < fine.n[1]; ++j) {
            for (int i = 0; i < fine.n[0]; ++i) {
                const size_t c = fine.At(i, j, k);
                if (fine.diag[c] != 0.0)
                    fine.x[c] += coarse.x[coarse.At(i / f[0], j / f[1], k / f[2])];
            }
        }
    });
}

// One V-cycle on A x = b of `level` from x = 0. Smoothing after the coarser level runs
// the colours in reverse order, which keeps the cycle symmetric, as conjugate gradients
// need of a preconditioner.
void PressureSolver::Cycle(size_t level) {
    Level& l = levels[level];
    std::fill(l.x.begin(), l.x.end(), 0.0);
    const bool coarsest = level + 1 == levels.size();
    const int sweeps = coarsest ? kCoarsestSweeps : kSmoothing;
    for (int s = 0; s < sweeps; ++s) Smooth(l, 0), Smooth(l, 1);
    if (!coarsest) {
        ComputeResidual(l);
        Restrict(l, levels[level + 1]);
        Cycle(level + 1);
        Prolong(levels[level + 1], l);
    }
    for (int s = 0; s < sweeps; ++s) Smooth(l, 1), Smooth(l, 0);
}

void PressureSolver::Precondition(const std::vector<double>& residual, std::vector<double>& out) {
    levels[0].b = residual;
    Cycle(0);
    out = levels[0].x;
}

double PressureSolver::Dot(const std::vector<double>& a, const std::vector<double>& b) const {
    const Level& l = levels[0];
    return SumOver(0, l.n[2], [&](int k) {
        double sum = 0.0;
        for (int j = 0; j < l.n[1]; ++j) {
            const size_t row = l.At(0, j, k);
            for (int i = 0; i < l.n[0]; ++i) sum += a[row + i] * b[row + i];
        }
        return sum;
    });
}

void PressureSolver::Multiply(const std::vector<double>& x, std::vector<double>& y) const {
    const Level& l = levels[0];
    ParallelFor(0, l.n[2], [&](int k) {
        for (int j = 0; j < l.n[1]; ++j) {
            for (int i = 0; i < l.n[0]; ++i) {
                const size_t c = l.At(i, j, k);
                y[c] = l.diag[c] == 0.0 ? 0.0 : Apply(l, x, c);
            }
        }
    });
}

double PressureSolver::Residual(const std::vector<double>& b, const std::vector<double>& x) const {
    const Level& l = levels[0];
    return MaxOver(0, l.n[2], [&](int k) {
        double largest = 0.0;
        for (int j = 0; j < l.n[1]; ++j) {
            for (int i = 0; i < l.n[0]; ++i) {
                const size_t c = l.At(i, j, k);
                if (l.diag[c] != 0.0) largest = std::max(largest, std::fabs(b[c] - Apply(l, x, c)));
            }
        }
        return largest;
    });
}

int PressureSolver::Solve(const std::vector<double>& b, std::vector<double>& phi, double tolerance,
                          int maxIterations) {
    const Level& l = levels[0];
    auto planes = [&](auto work) {  // work(begin, end) over the index range of each k-plane
        ParallelFor(0, int(l.size / l.stride[2]),
                    [&](int k) { work(size_t(k) * l.stride[2], size_t(k + 1) * l.stride[2]); });
    };
    Multiply(phi, q);
    planes([&](size_t begin, size_t end) {
        for (size_t c = begin; c < end; ++c) r[c] = l.diag[c] == 0.0 ? 0.0 : b[c] - q[c];
    });
    auto largest = [&] {
        return MaxOver(0, l.n[2], [&](int k) {
            double m = 0.0;
            for (int j = 0; j < l.n[1]; ++j) {
                const size_t row = l.At(0, j, k);
                for (int i = 0; i < l.n[0]; ++i) m = std::max(m, std::fabs(r[row + i]));
            }
            return m;
        });
    };
    double rz = 0.0;
    for (int it = 0; it < maxIterations; ++it) {
        if (tolerance > 0.0 && largest() <= tolerance) return it;
        Precondition(r, z);
        const double rzNext = Dot(r, z);
        const double beta = it == 0 ? 0.0 : rzNext / rz;
        rz = rzNext;
        planes([&](size_t begin, size_t end) {
            for (size_t c = begin; c < end; ++c) p[c] = z[c] + beta * p[c];
        });
        Multiply(p, q);
        const double pq = Dot(p, q);
        if (!(pq > 0.0)) return it;
        const double alpha = rz / pq;
        planes([&](size_t begin, size_t end) {
            for (size_t c = begin; c < end; ++c) {
                phi[c] += alpha * p[c];
                r[c] -= alpha * q[c];
            }
        });
    }
    return maxIterations;
}

}  // namespace citygen
