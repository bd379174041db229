// The pressure equation of the projection step. The velocity correction is the gradient of
// a potential phi, u = u* - grad(phi) across every face between two air cells and
// u = u* + phi / (h / 2) across the outlet faces (phi = 0 just outside). Zero net outflow of
// every air cell then reads A phi = -div(u*), where
//   (A phi)_c = sum over open faces of (area / h) (phi_c - phi_nb) + (2 area / h) phi_c
// with the last term on the outlet faces only: symmetric and positive definite.
#pragma once

#include <vector>

#include "tools/citygen/staggered.h"

namespace citygen {

class PressureSolver {
public:
    explicit PressureSolver(const Staggered& s);

    // Solves A phi = b on the air cells of the staggered index space by conjugate gradients
    // with a multigrid preconditioner, from the guess in phi, until no cell's residual
    // exceeds `tolerance` (never, for a tolerance of 0) or after maxIterations. Returns the
    // iterations used.
    int Solve(const std::vector<double>& b, std::vector<double>& phi, double tolerance,
              int maxIterations);

    // y = A x.
    void Multiply(const std::vector<double>& x, std::vector<double>& y) const;

    // The largest |b - A x| over the air cells.
    double Residual(const std::vector<double>& b, const std::vector<double>& x) const;

private:
    // One level of the multigrid hierarchy: the operator on cells that aggregate `factor`
    // cells of the level above (1 or 2 per axis), in a padded index space of its own.
    struct Level {
        Index n;
        Index factor;
        int pad = 1;
        std::array<ptrdiff_t, 3> stride;
        size_t size = 0;
        std::array<std::vector<double>, 3> up;  // coupling of each cell to its + neighbour
        std::vector<double> diag;               // 0 for cells without air
        std::vector<double> x, b, r;            // work arrays of the cycle

        size_t At(int i, int j, int k) const {
            return size_t(i + pad) + stride[1] * (j + pad) + stride[2] * (k + pad);
        }
    };

    static Level Coarsen(const Level& fine, const Vec3& h);
    void Smooth(Level& l, int colour) const;
    void ComputeResidual(Level& l) const;
    void Restrict(const Level& fine, Level& coarse) const;
    void Prolong(const Level& coarse, Level& fine) const;
    void Cycle(size_t level);
    void Precondition(const std::vector<double>& r, std::vector<double>& z);
    double Dot(const std::vector<double>& a, const std::vector<double>& b) const;

    std::vector<Level> levels;
    std::vector<double> r, z, p, q;  // conjugate gradient work arrays
};

}  // namespace citygen
