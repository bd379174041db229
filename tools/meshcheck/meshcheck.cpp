#include "tools/meshcheck/meshcheck.h"

#include <vtkCell.h>
#include <vtkCellData.h>
#include <vtkCellSizeFilter.h>
#include <vtkCellType.h>
#include <vtkDataArray.h>
#include <vtkGenericCell.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkStaticCellLocator.h>
#include <vtkUnstructuredGrid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "tools/kavconvert/cells.h"
#include "tools/kavconvert/kavfiles.h"
#include "tools/kavconvert/pieces.h"
#include "tools/kavconvert/pointkey.h"
#include "tools/kavconvert/vertices.h"
#include "tools/kavconvert/vtkinput.h"
#include "volume/pathline.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

namespace meshcheck {

namespace {

// The inverse of kavconvert's turn to the viewer's axes.
void FromViewerAxes(int up, const double* in, double* out) {
    double x = in[0], y = in[1], z = in[2];
    if (up == 0) {
        out[0] = y, out[1] = -x, out[2] = z;
    } else if (up == 2) {
        out[0] = x, out[1] = -z, out[2] = y;
    } else {
        out[0] = x, out[1] = y, out[2] = z;
    }
}

double Distance(const double* a, const double* b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

double TriangleArea(const double* a, const double* b, const double* c) {
    double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    return 0.5 * std::hypot(e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                            e1[0] * e2[1] - e1[1] * e2[0]);
}

// The k-th point of a face in order round it: a voxel's faces are pixels, whose last two
// points come the other way round.
vtkIdType LoopOrder(vtkCell* face, vtkIdType k) {
    if (face->GetCellType() == VTK_PIXEL && k >= 2) return 5 - k;
    return k;
}

// The original data: the 3D cells of its joined pieces, VTK's locator over them, and the
// faces that only one cell has (by VTK's own face lists of its cells).
class Original {
public:
    Original(const std::string& path, int up) : up(up) {
        kav::InputData input = kav::ReadInput(path);
        kav::CellCounts counts;
        vtkSmartPointer<vtkUnstructuredGrid> joined = kav::MergePieces(input.pieces, &counts);
        std::vector<vtkIdType> ids;
        for (vtkIdType c = 0; c < joined->GetNumberOfCells(); ++c) {
            if (joined->GetCell(c)->GetCellDimension() == 3) ids.push_back(c);
        }
        grid = kav::SubGrid(joined, ids);
        locator->SetDataSet(grid);
        locator->BuildLocator();
        grid->GetBounds(bounds);
        weights.resize(static_cast<size_t>(std::max<int>(grid->GetMaxCellSize(), 8)));
        for (vtkIdType i = 0; i < grid->GetNumberOfPoints(); ++i)
            pointAt.emplace(kav::KeyOf(Viewer(i).data()), static_cast<uint32_t>(i));
        FindBoundary();
    }

    vtkUnstructuredGrid* Grid() const { return grid; }

    // Whether VTK finds the point (in the viewer's axes) inside an original cell; points
    // beyond the grid's box, which VTK's tolerance can take in, are not. `margin` tells
    // whether it is inside only by that tolerance: some interpolation weight is negative.
    bool Inside(const double* viewer, bool* margin = nullptr) {
        double p[3];
        FromViewerAxes(up, viewer, p);
        for (int a = 0; a < 3; ++a) {
            if (!(p[a] >= bounds[2 * a] && p[a] <= bounds[2 * a + 1])) return false;
        }
        double pcoords[3];
        vtkIdType id = locator->FindCell(p, 0, cell, pcoords, weights.data());
        if (id >= 0 && margin) {
            *margin = false;
            for (vtkIdType k = 0; k < cell->GetNumberOfPoints(); ++k)
                *margin = *margin || weights[static_cast<size_t>(k)] < 0;
        }
        return id >= 0;
    }

    // Whether a triangle (corners in the viewer's axes) lies on the original boundary: its
    // corners are points of one boundary face, or the mean of that face's points (the
    // centre that a split may add).
    bool OnBoundary(const double* a, const double* b, const double* c) const {
        const double* corners[3] = {a, b, c};
        std::vector<uint32_t> known;
        std::vector<const double*> added;
        for (const double* p : corners) {
            auto found = pointAt.find(kav::KeyOf(p));
            if (found != pointAt.end()) {
                known.push_back(found->second);
            } else {
                added.push_back(p);
            }
        }
        if (known.empty()) return false;
        auto range = facesOf.equal_range(known.front());
        for (auto it = range.first; it != range.second; ++it) {
            const Face& f = faces[it->second];
            bool all = true;
            for (uint32_t id : known)
                all = all && std::binary_search(f.ids.begin(), f.ids.end(), id);
            for (const double* p : added) all = all && Distance(p, f.mean.data()) <= f.tolerance;
            if (all) return true;
        }
        return false;
    }

    double BoundaryArea() const { return boundaryArea; }

private:
    // A boundary face: its sorted point numbers, and the mean of its points.
    struct Face {
        std::vector<uint32_t> ids;
        std::array<double, 3> mean;
        double tolerance;
    };

    // A face of up to four points keyed by its sorted point numbers, and where it is.
    struct SmallFace {
        std::array<uint32_t, 4> key;
        uint32_t cell;
        uint32_t face;
        bool operator<(const SmallFace& o) const { return key < o.key; }
    };

    std::array<double, 3> Viewer(vtkIdType id) const {
        std::array<double, 3> out;
        kav::ToViewerAxes(up, grid->GetPoint(id), out.data());
        return out;
    }

    void FindBoundary() {
        std::vector<SmallFace> small;
        std::map<std::vector<uint32_t>, std::pair<int, std::pair<uint32_t, uint32_t>>> large;
        std::vector<uint32_t> key;
        for (vtkIdType c = 0; c < grid->GetNumberOfCells(); ++c) {
            grid->GetCell(c, cell);
            for (int f = 0; f < cell->GetNumberOfFaces(); ++f) {
                vtkIdList* ids = cell->GetFace(f)->GetPointIds();
                key.assign(ids->GetPointer(0), ids->GetPointer(0) + ids->GetNumberOfIds());
                std::sort(key.begin(), key.end());
                key.erase(std::unique(key.begin(), key.end()), key.end());
                if (key.size() < 3) continue;
                auto where = std::make_pair(static_cast<uint32_t>(c), static_cast<uint32_t>(f));
                if (key.size() <= 4) {
                    SmallFace s{{key[0], key[1], key[2], key.size() > 3 ? key[3] : UINT32_MAX},
                                where.first,
                                where.second};
                    small.push_back(s);
                } else {
                    auto& entry = large[key];
                    if (entry.first++ == 0) entry.second = where;
                }
            }
        }
        std::sort(small.begin(), small.end());
        for (size_t i = 0; i < small.size();) {
            size_t j = i;
            while (j < small.size() && small[j].key == small[i].key) ++j;
            if (j - i == 1) AddBoundaryFace(small[i].cell, small[i].face);
            i = j;
        }
        for (const auto& [k, entry] : large) {
            if (entry.first == 1) AddBoundaryFace(entry.second.first, entry.second.second);
        }
    }

    void AddBoundaryFace(uint32_t c, uint32_t f) {
        grid->GetCell(c, cell);
        vtkCell* faceCell = cell->GetFace(static_cast<int>(f));
        vtkIdList* ids = faceCell->GetPointIds();
        Face face;
        face.mean = {0, 0, 0};
        std::vector<std::array<double, 3>> at;
        for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) {
            uint32_t id = static_cast<uint32_t>(ids->GetId(LoopOrder(faceCell, k)));
            if (std::find(face.ids.begin(), face.ids.end(), id) != face.ids.end()) continue;
            face.ids.push_back(id);
            at.push_back(Viewer(id));
        }
        double extent = 0;
        for (const auto& p : at) {
            for (int a = 0; a < 3; ++a) face.mean[a] += p[a] / at.size();
            extent = std::max(extent, Distance(p.data(), at.front().data()));
        }
        face.tolerance = 1e-9 * extent;
        for (size_t k = 1; k + 1 < at.size(); ++k)
            boundaryArea += TriangleArea(at[0].data(), at[k].data(), at[k + 1].data());
        std::sort(face.ids.begin(), face.ids.end());
        for (uint32_t id : face.ids) facesOf.emplace(id, faces.size());
        faces.push_back(std::move(face));
    }

    int up;
    vtkSmartPointer<vtkUnstructuredGrid> grid;
    vtkNew<vtkStaticCellLocator> locator;
    vtkNew<vtkGenericCell> cell;
    std::vector<double> weights;
    double bounds[6];
    std::unordered_map<kav::PointKey, uint32_t, kav::PointKeyHash> pointAt;
    std::vector<Face> faces;
    std::unordered_multimap<uint32_t, size_t> facesOf;
    double boundaryArea = 0;
};

// The cells' volumes summed, each by the divergence theorem over VTK's faces of it, every
// face fanned from the mean of its points (exact for flat faces, and the same from both
// sides of a face, so that the sum is the volume inside the boundary faces).
double FaceVolumes(vtkUnstructuredGrid* grid) {
    vtkNew<vtkGenericCell> cell;
    double sum = 0;
    for (vtkIdType c = 0; c < grid->GetNumberOfCells(); ++c) {
        grid->GetCell(c, cell);
        double origin[3], cellSum = 0;
        cell->GetPoints()->GetPoint(0, origin);
        for (int f = 0; f < cell->GetNumberOfFaces(); ++f) {
            vtkCell* face = cell->GetFace(f);
            vtkPoints* at = face->GetPoints();
            const vtkIdType n = at->GetNumberOfPoints();
            double mean[3] = {0, 0, 0}, a[3], b[3];
            for (vtkIdType k = 0; k < n; ++k) {
                at->GetPoint(k, a);
                for (int d = 0; d < 3; ++d) mean[d] += a[d] / n;
            }
            for (vtkIdType k = 0; k < n; ++k) {
                at->GetPoint(LoopOrder(face, k), a);
                at->GetPoint(LoopOrder(face, (k + 1) % n), b);
                cellSum += kav::Determinant(origin, mean, a, b) / 6;
            }
        }
        sum += std::fabs(cellSum);
    }
    return sum;
}

double CellVolumes(vtkUnstructuredGrid* grid) {
    vtkNew<vtkCellSizeFilter> sizes;
    sizes->SetInputData(grid);
    sizes->ComputeVertexCountOff();
    sizes->ComputeLengthOff();
    sizes->ComputeAreaOff();
    sizes->ComputeVolumeOn();
    sizes->Update();
    vtkDataArray* v =
        vtkDataSet::SafeDownCast(sizes->GetOutput())->GetCellData()->GetArray("Volume");
    if (!v) throw std::runtime_error("VTK's cell size filter gave no volumes");
    double sum = 0;
    for (vtkIdType i = 0; i < v->GetNumberOfTuples(); ++i) sum += v->GetTuple1(i);
    return sum;
}

void CheckTetrahedra(const kav::KavVolume& v, Original& original, Report* r) {
    const auto& verts = v.mesh.vertices;
    std::vector<std::array<uint32_t, 3>> faces;
    faces.reserve(4 * v.mesh.tets.size());
    for (const kav::Tet& t : v.mesh.tets) {
        double det = kav::Determinant(verts[t.v[0]].point, verts[t.v[1]].point, verts[t.v[2]].point,
                                      verts[t.v[3]].point);
        r->tetVolume += det / 6;
        r->nonPositive += !(det > 0);
        for (int skip = 0; skip < 4; ++skip) {
            std::array<uint32_t, 3> f;
            for (int k = 0, j = 0; k < 4; ++k) {
                if (k != skip) f[j++] = t.v[k];
            }
            std::sort(f.begin(), f.end());
            faces.push_back(f);
        }
    }
    std::sort(faces.begin(), faces.end());
    for (size_t i = 0; i < faces.size();) {
        size_t j = i;
        while (j < faces.size() && faces[j] == faces[i]) ++j;
        if (j - i == 1) {
            ++r->facesOnce;
            const auto& f = faces[i];
            if (!original.OnBoundary(verts[f[0]].point, verts[f[1]].point, verts[f[2]].point))
                ++r->falseOnce;
        } else if (j - i == 2) {
            ++r->facesShared;
        } else {
            ++r->facesOverused;
        }
        i = j;
    }
}

void CheckSurfaces(const std::string& kavdir, Original& original, Report* r) {
    for (int role = 0; role < kSurfaceCount; ++role) {
        kav::Surface s = kav::ReadSurface(kavdir + "/" + SurfaceFileName(role));
        const double origin[3] = {0, 0, 0};
        for (const kav::Face3& f : s.faces) {
            const double* a = s.vertices[f[0]].point;
            const double* b = s.vertices[f[1]].point;
            const double* c = s.vertices[f[2]].point;
            // The triangles face into the air, so the divergence theorem takes them reversed.
            r->surfaceVolume -= kav::Determinant(origin, a, b, c) / 6;
            ++r->surfaceTriangles;
            r->surfaceArea += TriangleArea(a, b, c);
            if (!original.OnBoundary(a, b, c)) ++r->falseSurface;
        }
    }
}

void CheckPointLocation(PointLocator& locator, const kav::KavVolume& v, Original& original,
                        const CheckOptions& o, Report* r) {
    std::mt19937_64 rng(o.seed);
    std::uniform_real_distribution<double> at[3];
    for (int a = 0; a < 3; ++a)
        at[a] = std::uniform_real_distribution<double>(v.minimum.point[a], v.maximum.point[a]);
    for (uint64_t i = 0; i < o.points; ++i) {
        double p[3] = {at[0](rng), at[1](rng), at[2](rng)};
        Vertex value;
        bool margin = false;
        bool inside = original.Inside(p, &margin);
        bool found = locator.InterpolatePoint(p, &value);
        ++r->sampled;
        r->fluid += inside;
        r->found += inside && found;
        r->missedInMargin += inside && !found && margin;
        r->viewerOnly += !inside && found;
    }
}

// Seeds on a plane just inside the side of the box that the mean momentum comes from.
void CheckPathLines(PointLocator& locator, const kav::KavVolume& v, Original& original,
                    const CheckOptions& o, Report* r) {
    double mean[3] = {0, 0, 0};
    for (const Vertex& p : v.mesh.vertices) {
        for (int a = 0; a < 3; ++a) mean[a] += p.Momentum[a];
    }
    int axis = std::fabs(mean[0]) >= std::fabs(mean[2]) ? 0 : 2, across = 2 - axis;
    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) lo[a] = v.minimum.point[a], hi[a] = v.maximum.point[a];
    double upstream = mean[axis] >= 0 ? lo[axis] + 0.02 * (hi[axis] - lo[axis])
                                      : hi[axis] - 0.02 * (hi[axis] - lo[axis]);
    std::mt19937_64 rng(o.seed + 1);
    std::uniform_real_distribution<double> unit(0, 1);
    std::string transcript;  // the lines' console output, not wanted here
    for (int tries = 0; r->lines < static_cast<uint64_t>(o.lines) && tries < 20 * o.lines;
         ++tries) {
        double seed[3];
        seed[axis] = upstream;
        seed[1] = lo[1] + unit(rng) * (hi[1] - lo[1]);
        seed[across] = lo[across] + unit(rng) * (hi[across] - lo[across]);
        if (!original.Inside(seed)) continue;
        ++r->lines;
        PathLine line;
        line.SetStart(seed);
        transcript.clear();
        line.Integrate(&locator, Console(&transcript));
        size_t points = line.Points().size();
        const Particle* last = &line.Points().back();
        if (points >= 10002) {
            ++r->stepLimit;
            continue;
        }
        // The query that failed: the last point itself, or the midpoint half a step on.
        double failed[3] = {last->position[0], last->position[1], last->position[2]};
        Vertex value;
        if (locator.InterpolatePoint(failed, &value)) {
            for (int a = 0; a < 3; ++a) failed[a] += 0.5 * value.Momentum[a];
        }
        if (original.Inside(failed)) {
            ++r->endedInFluid;
        } else {
            ++r->leftFluid;
        }
    }
}

}  // namespace

Report Check(const std::string& originalPath, const std::string& kavdir, const CheckOptions& o) {
    Report r;
    Original original(originalPath, o.up);
    vtkUnstructuredGrid* grid = original.Grid();
    r.cells = static_cast<uint64_t>(grid->GetNumberOfCells());
    for (vtkIdType c = 0; c < grid->GetNumberOfCells(); ++c)
        r.polyhedra += grid->GetCellType(c) == VTK_POLYHEDRON;
    r.volume = FaceVolumes(grid);
    r.vtkVolume = CellVolumes(grid);
    r.boundaryArea = original.BoundaryArea();

    kav::KavVolume v = kav::ReadVolume(kavdir + "/volume.kav");
    r.vertices = v.mesh.vertices.size();
    r.tetrahedra = v.mesh.tets.size();
    CheckTetrahedra(v, original, &r);
    CheckSurfaces(kavdir, original, &r);

    TetrahedralVolume volume;
    std::string transcript;  // the viewer's loading and search notices
    volume.ReadFile((kavdir + "/volume.kav").c_str(), Console(&transcript));
    if (volume.GetNumPoints() == 0)
        throw std::runtime_error("the viewer cannot read the volume: " + transcript);
    PointLocator locator(volume, Console(&transcript));
    CheckPointLocation(locator, v, original, o, &r);
    CheckPathLines(locator, v, original, o, &r);
    return r;
}

void Print(const Report& r, FILE* out) {
    auto u = [](uint64_t n) { return static_cast<unsigned long long>(n); };
    auto percent = [](uint64_t a, uint64_t b) { return b ? 100.0 * a / b : 0.0; };
    std::fprintf(out,
                 "original:                 %llu 3D cells (%llu polyhedra), volume %.12g by "
                 "their faces, %.12g by VTK's cell size filter\n",
                 u(r.cells), u(r.polyhedra), r.volume, r.vtkVolume);
    std::fprintf(out,
                 "converted:                %llu vertices, %llu tetrahedra, volume %.12g "
                 "(relative difference %.2e)\n",
                 u(r.vertices), u(r.tetrahedra), r.tetVolume,
                 std::fabs(r.tetVolume - r.volume) / r.volume);
    std::fprintf(out, "inside the surfaces:      volume %.12g (relative difference %.2e)\n",
                 r.surfaceVolume, std::fabs(r.surfaceVolume - r.tetVolume) / r.tetVolume);
    std::fprintf(out, "determinants <= 0:        %llu\n", u(r.nonPositive));
    std::fprintf(out,
                 "tetrahedron faces:        %llu shared by two, %llu used once, %llu by more "
                 "than two\n",
                 u(r.facesShared), u(r.facesOnce), u(r.facesOverused));
    std::fprintf(out,
                 "false boundary triangles: %llu tetrahedron faces used once and %llu of %llu "
                 "surface triangles lie off the original boundary\n",
                 u(r.falseOnce), u(r.falseSurface), u(r.surfaceTriangles));
    std::fprintf(out,
                 "boundary area:            %.12g original, %.12g surfaces (relative "
                 "difference %.2e)\n",
                 r.boundaryArea, r.surfaceArea,
                 std::fabs(r.surfaceArea - r.boundaryArea) / r.boundaryArea);
    std::fprintf(out,
                 "fluid points found:       %llu of %llu (%.4f %%) that VTK's locator finds "
                 "among %llu random points; %llu found by the viewer only\n",
                 u(r.found), u(r.fluid), percent(r.found, r.fluid), u(r.sampled), u(r.viewerOnly));
    std::fprintf(out,
                 "                          of the %llu missed, %llu lie outside the cell that "
                 "VTK names, inside it only by VTK's tolerance\n",
                 u(r.fluid - r.found), u(r.missedInMargin));
    std::fprintf(out,
                 "path lines:               %llu seeded upstream: %llu ended inside the fluid, "
                 "%llu left it, %llu reached the step limit\n",
                 u(r.lines), u(r.endedInFluid), u(r.leftFluid), u(r.stepLimit));
}

}  // namespace meshcheck
