// Isosurface extraction side by side with a straightforward marching-tetrahedra reference.
// Usage: bench_isosurface VOLUME_FILE [ROUNDS]
// For each field, at its median (the median scalar of the tetrahedra's first vertices, a value
// that cuts much of the mesh) and near both ends of its range as the file states it (2% of the
// range inside), times the reference and ExtractIsosurface (each including the release of
// the previous surface, as pressing "Generate" again does), checks that both produce the same
// triangles bit for bit in the same order, and prints tetrahedra per second for both and their
// ratio. The best of ROUNDS alternating runs counts. The first extraction of each field also
// records the ranges that later ones skip by; its rate is printed on its own ("1st").
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "math/math.h"
#include "volume/marchingtetra.h"
#include "volume/tetravolume.h"

namespace {

// ---- The reference: one allocation per triangle, every tetrahedron visited, the field
// chosen per vertex. GetVal lives in another translation unit in the viewer, so it is kept
// out of line here as well.

__attribute__((noinline)) double RefGetVal(FieldVar field, const Vertex* v) {
    switch (field) {
        case fieldDensity:
            return v->Density;
        case fieldEnergy:
            return v->Energy;
        case fieldMomentum:
            return v->MomentumMag;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

const int kEdges[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
const int kTriCases[16][7] = {
    {-1, -1, -1, -1, -1, -1, -1}, {0, 3, 2, -1, -1, -1, -1}, {0, 1, 4, -1, -1, -1, -1},
    {3, 2, 4, 4, 2, 1, -1},       {1, 2, 5, -1, -1, -1, -1}, {3, 5, 1, 3, 1, 0, -1},
    {0, 2, 5, 0, 5, 4, -1},       {3, 5, 4, -1, -1, -1, -1}, {3, 4, 5, -1, -1, -1, -1},
    {0, 4, 5, 0, 5, 2, -1},       {0, 5, 3, 0, 1, 5, -1},    {5, 2, 1, -1, -1, -1, -1},
    {3, 4, 1, 3, 1, 2, -1},       {0, 4, 1, -1, -1, -1, -1}, {0, 2, 3, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1},
};

// A triangle of the reference's list, which grows at the head.
struct RefTriangle {
    Vector point[3];
    Vector normal;
    RefTriangle* next;
};

struct RefSurface {
    RefTriangle* triStart = nullptr;

    ~RefSurface() { Purge(); }
    void Purge() {
        while (triStart) {
            RefTriangle* next = triStart->next;
            delete triStart;
            triStart = next;
        }
    }
    void AddTriangle(double* p1, double* p2, double* p3) {
        RefTriangle* tri = new RefTriangle;
        tri->next = triStart;
        triStart = tri;
        for (int k = 0; k < 3; ++k) {
            tri->point[0][k] = p1[k];
            tri->point[1][k] = p2[k];
            tri->point[2][k] = p3[k];
        }
        CrossProd3(p1, p2, p3, tri->normal);
    }
};

int RefMarchingTetra(const Tetra* tet, FieldVar field, double value, RefSurface* iso) {
    const int CASE_MASK[4] = {1, 2, 4, 8};
    int index = 0;
    for (int i = 0; i < 4; ++i) {
        if (RefGetVal(field, tet->v[i]) >= value) index += CASE_MASK[i];
    }
    int count = 0;
    const int* edge = kTriCases[index];
    while (*edge >= 0) {
        double pts[3][3];
        for (int i = 0; i < 3; ++i, ++edge) {
            const int* vert = kEdges[*edge];
            double deltaScalar =
                RefGetVal(field, tet->v[vert[1]]) - RefGetVal(field, tet->v[vert[0]]);
            int v1, v2;
            if (deltaScalar > 0) {
                v1 = vert[0];
                v2 = vert[1];
            } else {
                v1 = vert[1];
                v2 = vert[0];
                deltaScalar = -deltaScalar;
            }
            double t = deltaScalar == 0 ? 0 : (value - RefGetVal(field, tet->v[v1])) / deltaScalar;
            for (int k = 0; k < 3; ++k) {
                pts[i][k] =
                    tet->v[v1]->point[k] + t * (tet->v[v2]->point[k] - tet->v[v1]->point[k]);
            }
        }
        iso->AddTriangle(pts[0], pts[1], pts[2]);
        ++count;
    }
    return count;
}

void RefGenerate(const TetrahedralVolume& vol, FieldVar field, double value, RefSurface* iso) {
    iso->Purge();
    int number = 0;
    for (const Block& block : vol.GetBlocks()) {
        int triCount = 0;
        for (uint32_t i = 0; i < block.num_Tetra; ++i) {
            triCount += RefMarchingTetra(&block.tetra[i], field, value, iso);
        }
        printf("Block %i processed.. %i triangles added.\n", ++number, triCount);
    }
}

// ---- Measurement.

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Compares the reference's list with ours in list order (newest first), record by record;
// returns the common length, or -1 on a difference.
long SameTriangles(const RefTriangle* a, const TriangleStore& ours) {
    size_t i = ours.Size();
    long n = 0;
    for (; a && i > 0; a = a->next, ++n) {
        const Triangle& b = ours[--i];
        if (memcmp(a->point, b.point, sizeof a->point) != 0) return -1;
        if (memcmp(a->normal, b.normal, sizeof a->normal) != 0) return -1;
    }
    return a || i > 0 ? -1 : n;
}

double Scalar(FieldVar field, const Vertex* v) {
    return RefGetVal(field, v);
}

// The q-quantile of the field over the first vertex of every tetrahedron.
double Quantile(const TetrahedralVolume& vol, FieldVar field, double q) {
    std::vector<double> s;
    for (const Block& b : vol.GetBlocks()) {
        for (uint32_t i = 0; i < b.num_Tetra; ++i) s.push_back(Scalar(field, b.tetra[i].v[0]));
    }
    if (s.empty()) return 0;
    size_t k = std::min(s.size() - 1, (size_t)(q * (double)s.size()));
    std::nth_element(s.begin(), s.begin() + (long)k, s.end());
    return s[k];
}

struct Case {
    const char* name;
    FieldVar field;
    const char* where;
};

// The tested value: "median", or 2% of the range inside its "low" or "high" end.
double ValueFor(const TetrahedralVolume& vol, const Case& c) {
    if (strcmp(c.where, "median") == 0) return Quantile(vol, c.field, 0.5);
    double range[2];
    vol.GetRange(c.field, range);
    double inset = 0.02 * (range[1] - range[0]);
    return strcmp(c.where, "low") == 0 ? range[0] + inset : range[1] - inset;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s VOLUME_FILE [ROUNDS]\n", argv[0]);
        return 2;
    }
    int rounds = argc > 2 ? atoi(argv[2]) : 5;
    // The loader's and the extraction's console lines go to /dev/null; the report to the
    // original standard output.
    FILE* report = fdopen(dup(fileno(stdout)), "w");
    if (!report || !freopen("/dev/null", "w", stdout)) return 1;

    TetrahedralVolume vol;
    vol.ReadFile(argv[1]);
    double tetrahedra = 0;
    int blocks = (int)vol.GetBlocks().size();
    for (const Block& b : vol.GetBlocks()) tetrahedra += b.num_Tetra;
    fprintf(report, "%s: %.0f tetrahedra in %i blocks, %u vertices\n", argv[1], tetrahedra, blocks,
            vol.GetNumPoints());
    fprintf(report, "%-9s %-7s %12s %10s %9s %9s %8s %6s %5s %9s\n", "field", "where", "value",
            "triangles", "ref Mt/s", "ours Mt/s", "ratio", "aim", "same", "1st Mt/s");

    const Case cases[] = {
        {"density", fieldDensity, "median"},   {"density", fieldDensity, "low"},
        {"density", fieldDensity, "high"},     {"energy", fieldEnergy, "median"},
        {"energy", fieldEnergy, "low"},        {"energy", fieldEnergy, "high"},
        {"momentum", fieldMomentum, "median"}, {"momentum", fieldMomentum, "low"},
        {"momentum", fieldMomentum, "high"},
    };
    bool allSame = true;
    for (const Case& c : cases) {
        double value = ValueFor(vol, c);
        RefSurface ref;
        TriangleStore ours;
        // The median case comes first for its field: its first extraction records the ranges.
        const bool median = strcmp(c.where, "median") == 0;
        auto start = std::chrono::steady_clock::now();
        ExtractIsosurface(vol, c.field, value, &ours);
        double firstCall = Seconds(start);
        double refBest = 1e30, oursBest = 1e30;
        for (int r = 0; r < rounds; ++r) {
            start = std::chrono::steady_clock::now();
            RefGenerate(vol, c.field, value, &ref);
            refBest = std::min(refBest, Seconds(start));
            start = std::chrono::steady_clock::now();
            ExtractIsosurface(vol, c.field, value, &ours);
            oursBest = std::min(oursBest, Seconds(start));
        }
        long n = SameTriangles(ref.triStart, ours);
        allSame &= n >= 0;
        char first[16] = "";
        if (median) snprintf(first, sizeof first, "%.1f", tetrahedra / firstCall / 1e6);
        fprintf(report, "%-9s %-7s %12.6g %10li %9.1f %9.1f %7.1fx %6s %5s %9s\n", c.name, c.where,
                value, n, tetrahedra / refBest / 1e6, tetrahedra / oursBest / 1e6,
                refBest / oursBest, median ? ">=3x" : ">=20x", n >= 0 ? "yes" : "NO", first);
    }
    fprintf(report, "aim at the median values: ours >= 60 Mt/s on one core\n");
    fclose(report);
    return allSame ? 0 : 1;
}
