#include "tools/kavconvert/tetrahedra.h"

#include <vtkCellType.h>
#include <vtkCellTypes.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "tools/kavconvert/progress.h"

namespace kav {

namespace {

// The faces of the linear cell types over their corners, all wound alike: each face as its
// corner count and corners, the list ending with 0.
const signed char kTetraFaces[] = {3, 0, 1, 3, 3, 1, 2, 3, 3, 2, 0, 3, 3, 0, 2, 1, 0};
const signed char kHexFaces[] = {4, 0, 3, 2, 1, 4, 4, 5, 6, 7, 4, 0, 1, 5, 4, 4,
                                 1, 2, 6, 5, 4, 2, 3, 7, 6, 4, 3, 0, 4, 7, 0};
const signed char kVoxelFaces[] = {4, 0, 2, 3, 1, 4, 4, 5, 7, 6, 4, 0, 1, 5, 4, 4,
                                   1, 3, 7, 5, 4, 3, 2, 6, 7, 4, 2, 0, 4, 6, 0};
const signed char kWedgeFaces[] = {3, 0, 1, 2, 3, 3, 5, 4, 4, 0, 3, 4,
                                   1, 4, 1, 4, 5, 2, 4, 2, 5, 3, 0, 0};
const signed char kPyramidFaces[] = {4, 0, 3, 2, 1, 3, 0, 1, 4, 3, 1,
                                     2, 4, 3, 2, 3, 4, 3, 3, 0, 4, 0};
const signed char kPentagonalPrismFaces[] = {5, 0, 4, 3, 2, 1, 5, 5, 6, 7, 8, 9, 4,
                                             0, 1, 6, 5, 4, 1, 2, 7, 6, 4, 2, 3, 8,
                                             7, 4, 3, 4, 9, 8, 4, 4, 0, 5, 9, 0};
const signed char kHexagonalPrismFaces[] = {6, 0, 5,  4, 3, 2, 1, 6,  6,  7, 8, 9, 10, 11, 4,
                                            0, 1, 7,  6, 4, 1, 2, 8,  7,  4, 2, 3, 9,  8,  4,
                                            3, 4, 10, 9, 4, 4, 5, 11, 10, 4, 5, 0, 6,  11, 0};

// A cell type's linear shape: its corners are the cell's first points.
struct Shape {
    int corners;
    const signed char* faces;  // null for a type without one
    bool higherOrder;
};

Shape ShapeOf(int type) {
    switch (type) {
        case VTK_TETRA:
            return {4, kTetraFaces, false};
        case VTK_HEXAHEDRON:
            return {8, kHexFaces, false};
        case VTK_VOXEL:
            return {8, kVoxelFaces, false};
        case VTK_WEDGE:
            return {6, kWedgeFaces, false};
        case VTK_PYRAMID:
            return {5, kPyramidFaces, false};
        case VTK_PENTAGONAL_PRISM:
            return {10, kPentagonalPrismFaces, false};
        case VTK_HEXAGONAL_PRISM:
            return {12, kHexagonalPrismFaces, false};
        case VTK_QUADRATIC_TETRA:
        case VTK_LAGRANGE_TETRAHEDRON:
        case VTK_BEZIER_TETRAHEDRON:
            return {4, kTetraFaces, true};
        case VTK_QUADRATIC_HEXAHEDRON:
        case VTK_TRIQUADRATIC_HEXAHEDRON:
        case VTK_BIQUADRATIC_QUADRATIC_HEXAHEDRON:
        case VTK_LAGRANGE_HEXAHEDRON:
        case VTK_BEZIER_HEXAHEDRON:
            return {8, kHexFaces, true};
        case VTK_QUADRATIC_WEDGE:
        case VTK_QUADRATIC_LINEAR_WEDGE:
        case VTK_BIQUADRATIC_QUADRATIC_WEDGE:
        case VTK_LAGRANGE_WEDGE:
        case VTK_BEZIER_WEDGE:
            return {6, kWedgeFaces, true};
        case VTK_QUADRATIC_PYRAMID:
        case VTK_TRIQUADRATIC_PYRAMID:
        case VTK_LAGRANGE_PYRAMID:
        case VTK_BEZIER_PYRAMID:
            return {5, kPyramidFaces, true};
    }
    return {0, nullptr, false};
}

void Sub(const double* a, const double* b, double* out) {
    for (int k = 0; k < 3; ++k) out[k] = a[k] - b[k];
}

double CrossLength(const double* a, const double* b, const double* c) {
    double e1[3], e2[3];
    Sub(b, a, e1);
    Sub(c, a, e2);
    return std::hypot(e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                      e1[0] * e2[1] - e1[1] * e2[0]);
}

bool Holds(const Face3& t, uint32_t v) {
    return t[0] == v || t[1] == v || t[2] == v;
}

class CellSplitter {
public:
    CellSplitter(vtkUnstructuredGrid* g, FaceSplitter* f, CellCounts* c, std::vector<Tet>* o)
        : grid(g), faces(f), counts(c), out(o) {}

    void Split(vtkIdType cell) {
        int type = grid->GetCellType(cell);
        vtkIdType n;
        const vtkIdType* ids;
        grid->GetCellPoints(cell, n, ids);
        if (type == VTK_TETRA) {
            ++counts->tetra;
            if (n == 4 && Distinct(ids)) {
                out->push_back(Tet{{Id(ids[0]), Id(ids[1]), Id(ids[2]), Id(ids[3])}});
            } else {
                ++counts->degenerate;
            }
            return;
        }
        ++counts->split;
        if (!GatherFaces(cell, type, n, ids) || !Closed(cell, type == VTK_POLYHEDRON)) {
            ++counts->degenerate;
            return;
        }
        Triangulate();
        if (!Orient()) {
            ++counts->degenerate;
            return;
        }
        size_t before = out->size();
        Cone();
        counts->fromSplit += out->size() - before;
    }

private:
    static uint32_t Id(vtkIdType id) { return static_cast<uint32_t>(id); }

    static bool Distinct(const vtkIdType* ids) {
        for (int i = 0; i < 4; ++i) {
            for (int j = i + 1; j < 4; ++j) {
                if (ids[i] == ids[j]) return false;
            }
        }
        return true;
    }

    // The cell's faces as corner lists in `corners`, face f ending at faceEnd[f]; corners
    // repeated next to each other are taken once, and faces left with fewer than three
    // are dropped. False for a cell with fewer points than its type has corners.
    bool GatherFaces(vtkIdType cell, int type, vtkIdType n, const vtkIdType* ids) {
        corners.clear();
        faceEnd.clear();
        if (type == VTK_POLYHEDRON) {
            vtkIdType count;
            const vtkIdType* stream;
            grid->GetFaceStream(cell, count, stream);
            for (vtkIdType f = 0; f < count; ++f) {
                AddFace(stream + 1, stream[0], nullptr);
                stream += stream[0] + 1;
            }
            return true;
        }
        Shape shape = ShapeOf(type);
        if (!shape.faces) {
            throw ConvertError("cell " + std::to_string(cell) + " is a " +
                               vtkCellTypes::GetClassNameFromTypeId(type) + " (VTK cell type " +
                               std::to_string(type) + "), which kavconvert cannot split");
        }
        if (n < shape.corners) return false;
        counts->higherOrder += shape.higherOrder;
        for (const signed char* f = shape.faces; *f; f += *f + 1) AddFace(ids, *f, f + 1);
        return true;
    }

    // Appends a face: ids[k] for k < size, or ids[pick[k]] with a table `pick`.
    void AddFace(const vtkIdType* ids, vtkIdType size, const signed char* pick) {
        size_t start = corners.size();
        for (vtkIdType k = 0; k < size; ++k) {
            uint32_t id = Id(ids[pick ? pick[k] : k]);
            if (corners.size() == start || corners.back() != id) corners.push_back(id);
        }
        while (corners.size() > start + 1 && corners.back() == corners[start]) corners.pop_back();
        if (corners.size() < start + 3) {
            corners.resize(start);
            return;
        }
        faceEnd.push_back(corners.size());
    }

    // Whether the faces close up into a consistently wound surface: every edge run along
    // once each way. A polyhedron that does not is refused.
    bool Closed(vtkIdType cell, bool polyhedron) {
        if (faceEnd.empty()) {
            if (!polyhedron) return false;
            throw ConvertError("polyhedron " + std::to_string(cell) +
                               ": it has no face of three or more points, so it encloses no "
                               "volume");
        }
        edges.clear();
        size_t start = 0;
        for (size_t end : faceEnd) {
            for (size_t k = start; k < end; ++k)
                edges.emplace_back(corners[k], corners[k + 1 < end ? k + 1 : start]);
            start = end;
        }
        std::sort(edges.begin(), edges.end());
        const char* problem = nullptr;
        std::pair<uint32_t, uint32_t> at;
        for (size_t i = 0; i < edges.size() && !problem; ++i) {
            at = edges[i];
            if (i + 1 < edges.size() && edges[i + 1] == at) {
                problem = "two of its faces run along the same edge the same way (points ";
            } else if (!std::binary_search(edges.begin(), edges.end(),
                                           std::make_pair(at.second, at.first))) {
                problem = "its faces leave an edge open (points ";
            }
        }
        if (!problem) return true;
        if (!polyhedron) return false;
        throw ConvertError("polyhedron " + std::to_string(cell) + ": " + problem +
                           std::to_string(at.first) + " and " + std::to_string(at.second) +
                           "), so its faces enclose no volume");
    }

    void Triangulate() {
        tris.clear();
        centred.assign(faceEnd.size(), 0);
        size_t start = 0;
        for (size_t f = 0; f < faceEnd.size(); ++f) {
            FaceSplitter::Kind kind =
                faces->Split(corners.data() + start, faceEnd[f] - start, true, &tris);
            centred[f] = kind == FaceSplitter::kCentreFan;
            start = faceEnd[f];
        }
    }

    // Winds the triangles outwards and measures the cell; false for a flat cell.
    bool Orient() {
        const double* p0 = faces->Position(corners.front());
        double lo[3] = {p0[0], p0[1], p0[2]}, hi[3] = {p0[0], p0[1], p0[2]};
        for (uint32_t id : corners) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], faces->Position(id)[a]);
                hi[a] = std::max(hi[a], faces->Position(id)[a]);
            }
        }
        double extent = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
        double volume6 = 0, area2 = 0;
        for (const Face3& t : tris) {
            const double* a = faces->Position(t[0]);
            const double* b = faces->Position(t[1]);
            const double* c = faces->Position(t[2]);
            volume6 += Determinant(p0, a, b, c);
            area2 += CrossLength(a, b, c);
        }
        // Non-finite positions go on, to be refused with the other non-finite values.
        if (std::isfinite(volume6) && !(std::fabs(volume6) > kFlatRatio * extent * extent * extent))
            return false;
        if (volume6 < 0) {
            for (Face3& t : tris) std::swap(t[1], t[2]);
        }
        thickness = std::fabs(volume6) / area2;
        return true;
    }

    // Whether every tetrahedron of the cone from `apex` (a corner, or kNoCorner) over the
    // triangles that do not hold it has a fair height.
    bool ConeFits(const double* apex, uint32_t corner) const {
        for (size_t i = 0; i < tris.size(); ++i) {
            const Face3& t = tris[i];
            if (Holds(t, corner)) continue;
            const double* a = faces->Position(t[0]);
            const double* b = faces->Position(t[1]);
            const double* c = faces->Position(t[2]);
            if (!(Determinant(apex, a, b, c) > kFairHeight * thickness * CrossLength(a, b, c)))
                return false;
        }
        return true;
    }

    void Cone() {
        uint32_t low = corners.front();
        for (uint32_t id : corners) {
            if (faces->Rank(id) < faces->Rank(low)) low = id;
        }
        // A face through the corner that was fanned from a centre lies flat against it.
        bool flatFace = false;
        size_t start = 0;
        for (size_t f = 0; f < faceEnd.size(); ++f) {
            if (centred[f] && std::find(corners.begin() + start, corners.begin() + faceEnd[f],
                                        low) != corners.begin() + faceEnd[f])
                flatFace = true;
            start = faceEnd[f];
        }
        uint32_t apex = low;
        if (flatFace || !ConeFits(faces->Position(low), low)) {
            apex = AddCentre();
            ++counts->centred;
            if (!ConeFits(faces->Position(apex), kNoCorner)) {
                // The mean of the corners can lie outside a cell that bends, its centroid
                // hardly ever; the point keeps the mean of the corners' values.
                double centroid[3];
                Centroid(faces->Position(apex), centroid);
                if (ConeFits(centroid, kNoCorner)) {
                    faces->MovePoint(apex, centroid);
                } else {
                    ++counts->unseen;
                }
            }
        }
        for (const Face3& t : tris) {
            if (!Holds(t, apex)) out->push_back(Tet{{apex, t[0], t[1], t[2]}});
        }
    }

    // The cell's centroid: the volume-weighted mean of the centroids of the cone's
    // tetrahedra from `apex` (any point).
    void Centroid(const double* apex, double* at) const {
        double sum[3] = {0, 0, 0}, volume = 0;
        for (const Face3& t : tris) {
            const double* a = faces->Position(t[0]);
            const double* b = faces->Position(t[1]);
            const double* c = faces->Position(t[2]);
            double v = Determinant(apex, a, b, c);
            for (int k = 0; k < 3; ++k) sum[k] += v * (apex[k] + a[k] + b[k] + c[k]) / 4;
            volume += v;
        }
        for (int k = 0; k < 3; ++k) at[k] = sum[k] / volume;
    }

    // A point at the mean of the cell's corners, summed in rank order so that the same
    // cell gives the same point however its corners are listed.
    uint32_t AddCentre() {
        unique.assign(corners.begin(), corners.end());
        std::sort(unique.begin(), unique.end(),
                  [this](uint32_t a, uint32_t b) { return faces->Rank(a) < faces->Rank(b); });
        unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
        double mean[3] = {0, 0, 0};
        for (uint32_t id : unique) {
            for (int a = 0; a < 3; ++a) mean[a] += faces->Position(id)[a];
        }
        for (double& m : mean) m /= static_cast<double>(unique.size());
        return faces->AddPoint(mean, unique.data(), unique.size());
    }

    static const uint32_t kNoCorner = UINT32_MAX;

    vtkUnstructuredGrid* grid;
    FaceSplitter* faces;
    CellCounts* counts;
    std::vector<Tet>* out;
    // Scratch of the cell at hand.
    std::vector<uint32_t> corners, unique;
    std::vector<size_t> faceEnd;
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    std::vector<Face3> tris;
    std::vector<uint8_t> centred;
    double thickness = 0;
};

}  // namespace

std::vector<Tet> SplitCells(vtkUnstructuredGrid* grid, const CellSelection& cells,
                            FaceSplitter* faces, CellCounts* counts) {
    std::vector<Tet> tets;
    tets.reserve(cells.ids.size() * 6);
    CellSplitter splitter(grid, faces, counts, &tets);
    Progress progress("Splitting cells", cells.ids.size());
    for (size_t i = 0; i < cells.ids.size(); ++i) {
        progress.Update(i);
        splitter.Split(cells.ids[i]);
    }
    progress.Finish();
    counts->centredFaces = faces->CentredFaces();
    counts->unevenFaces = faces->UnevenFaces();
    return tets;
}

void OrientTetrahedra(const FaceSplitter& faces, std::vector<Tet>* tets, CellCounts* counts) {
    size_t kept = 0;
    Progress progress("Checking tetrahedra", tets->size());
    for (size_t i = 0; i < tets->size(); ++i) {
        progress.Update(i);
        Tet t = (*tets)[i];
        const double* p[4];
        for (int k = 0; k < 4; ++k) p[k] = faces.Position(t.v[k]);
        double edge = 0;
        for (int k = 1; k < 4; ++k) {
            for (int a = 0; a < 3; ++a) edge = std::max(edge, std::fabs(p[k][a] - p[0][a]));
        }
        double det = Determinant(p[0], p[1], p[2], p[3]);
        // Written so that NaN coordinates count as flat here; they are refused later with
        // the other non-finite values.
        if (!(std::fabs(det) > kFlatRatio * edge * edge * edge)) {
            if (std::isfinite(det)) {
                ++counts->degenerate;
                continue;
            }
        } else if (det < 0) {
            std::swap(t.v[2], t.v[3]);
            ++counts->flipped;
        }
        (*tets)[kept++] = t;
    }
    tets->resize(kept);
}

}  // namespace kav
