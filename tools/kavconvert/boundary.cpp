#include "tools/kavconvert/boundary.h"

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkDataSetSurfaceFilter.h>
#include <vtkDoubleArray.h>
#include <vtkIdTypeArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkTypeInt32Array.h>
#include <vtkTypeInt64Array.h>
#include <vtkUnstructuredGrid.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "tools/kavconvert/progress.h"
#include "tools/kavconvert/vtkmessages.h"

namespace kav {

namespace {

// The tetrahedra as VTK cells in `Ids` (an integer array type) numbers.
template <typename Ids>
vtkSmartPointer<vtkCellArray> AsCells(const std::vector<Tet>& tets) {
    const vtkIdType n = static_cast<vtkIdType>(tets.size());
    vtkNew<Ids> offsets, connectivity;
    offsets->SetNumberOfValues(n + 1);
    connectivity->SetNumberOfValues(4 * n);
    for (vtkIdType i = 0; i <= n; ++i) offsets->SetValue(i, 4 * i);
    for (vtkIdType i = 0; i < n; ++i) {
        for (int k = 0; k < 4; ++k) connectivity->SetValue(4 * i + k, tets[i].v[k]);
    }
    auto cells = vtkSmartPointer<vtkCellArray>::New();
    cells->SetData(offsets, connectivity);
    return cells;
}

// The tetrahedra as a VTK grid, with the mesh's numbering of points and cells. Numbers are
// stored in 32 bits where they fit, which halves the largest array of the conversion.
vtkSmartPointer<vtkUnstructuredGrid> AsGrid(const TetMesh& mesh) {
    vtkNew<vtkDoubleArray> coords;
    coords->SetNumberOfComponents(3);
    coords->SetNumberOfTuples(static_cast<vtkIdType>(mesh.vertices.size()));
    for (size_t i = 0; i < mesh.vertices.size(); ++i)
        coords->SetTypedTuple(static_cast<vtkIdType>(i), mesh.vertices[i].point);
    vtkNew<vtkPoints> points;
    points->SetData(coords);

    bool small = 4 * static_cast<uint64_t>(mesh.tets.size()) <= INT32_MAX;
    auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
    grid->SetPoints(points);
    grid->SetCells(VTK_TETRA, small ? AsCells<vtkTypeInt32Array>(mesh.tets)
                                    : AsCells<vtkTypeInt64Array>(mesh.tets));
    return grid;
}

// Which side of the bounding box a triangle lies on.
class Sides {
public:
    explicit Sides(const TetMesh& mesh) {
        for (int a = 0; a < 3; ++a) lo[a] = hi[a] = mesh.vertices.front().point[a];
        for (const Vertex& v : mesh.vertices) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], v.point[a]);
                hi[a] = std::max(hi[a], v.point[a]);
            }
        }
        double extent = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
        tolerance = kSideTolerance * extent;
    }

    SurfaceRole Of(const double* p[3]) const {
        if (On(p, 1, lo[1])) return kSurfaceFloor;
        if (On(p, 1, hi[1])) return kSurfaceCeiling;
        if (On(p, 0, lo[0]) || On(p, 0, hi[0]) || On(p, 2, lo[2]) || On(p, 2, hi[2]))
            return kSurfaceWalls;
        return kSurfaceCity;
    }

private:
    bool On(const double* p[3], int axis, double plane) const {
        for (int k = 0; k < 3; ++k) {
            if (!(std::fabs(p[k][axis] - plane) <= tolerance)) return false;
        }
        return true;
    }

    double lo[3], hi[3];
    double tolerance;
};

// One boundary triangle in mesh vertex numbers, wound and with its unit normal.
struct Oriented {
    Face3 face;
    Normal normal;
};

// Orders a boundary face of tetrahedron `tet` so that its normal points into the
// tetrahedron, which is the side of the flow domain.
Oriented Orient(const TetMesh& mesh, const Tet& tet, Face3 face) {
    uint32_t opposite = tet.v[0];
    for (uint32_t v : tet.v) {
        if (v != face[0] && v != face[1] && v != face[2]) opposite = v;
    }
    const double* a = mesh.vertices[face[0]].point;
    const double* b = mesh.vertices[face[1]].point;
    const double* c = mesh.vertices[face[2]].point;
    const double* d = mesh.vertices[opposite].point;
    double e1[3], e2[3], n[3];
    for (int k = 0; k < 3; ++k) e1[k] = b[k] - a[k], e2[k] = c[k] - a[k];
    n[0] = e1[1] * e2[2] - e1[2] * e2[1];
    n[1] = e1[2] * e2[0] - e1[0] * e2[2];
    n[2] = e1[0] * e2[1] - e1[1] * e2[0];
    double inward = 0;
    for (int k = 0; k < 3; ++k) inward += n[k] * (d[k] - a[k]);
    Oriented o{face, {n[0], n[1], n[2]}};
    if (inward < 0) {
        std::swap(o.face[1], o.face[2]);
        for (double& x : o.normal) x = -x;
    }
    double length = std::sqrt(o.normal[0] * o.normal[0] + o.normal[1] * o.normal[1] +
                              o.normal[2] * o.normal[2]);
    for (double& x : o.normal) x /= length;
    return o;
}

// A surface of the given triangles, with its own vertex array in mesh vertex order.
Surface MakeSurface(const TetMesh& mesh, const std::vector<Oriented>& tris) {
    const uint32_t kUnused = UINT32_MAX;
    std::vector<uint32_t> index(mesh.vertices.size(), kUnused);
    for (const Oriented& t : tris) {
        for (uint32_t v : t.face) index[v] = 0;
    }
    Surface s;
    for (size_t v = 0; v < index.size(); ++v) {
        if (index[v] == kUnused) continue;
        index[v] = static_cast<uint32_t>(s.vertices.size());
        s.vertices.push_back(mesh.vertices[v]);
    }
    s.faces.reserve(tris.size());
    s.normals.reserve(tris.size());
    for (const Oriented& t : tris) {
        s.faces.push_back({index[t.face[0]], index[t.face[1]], index[t.face[2]]});
        s.normals.push_back(t.normal);
    }
    return s;
}

}  // namespace

std::array<Surface, kSurfaceCount> ExtractBoundary(const TetMesh& mesh, const RoleMap& roles) {
    vtkNew<vtkDataSetSurfaceFilter> boundary;
    boundary->SetInputData(AsGrid(mesh));
    boundary->PassThroughCellIdsOn();
    boundary->PassThroughPointIdsOn();
    VtkMessages* messages = VtkMessages::Install();
    messages->TakeError();
    boundary->Update();
    std::string error = messages->TakeError();
    if (!error.empty()) throw ConvertError("VTK could not find the mesh's boundary: " + error);
    vtkPolyData* surface = boundary->GetOutput();
    auto* cellIds = vtkIdTypeArray::SafeDownCast(
        surface->GetCellData()->GetArray(boundary->GetOriginalCellIdsName()));
    auto* pointIds = vtkIdTypeArray::SafeDownCast(
        surface->GetPointData()->GetArray(boundary->GetOriginalPointIdsName()));
    if (!cellIds || !pointIds) throw ConvertError("VTK's surface filter lost the cell numbers");

    Sides sides(mesh);
    std::vector<Oriented> tris[kSurfaceCount];
    const vtkIdType n = surface->GetNumberOfCells();
    Progress progress("Sorting the boundary", static_cast<uint64_t>(n));
    for (vtkIdType i = 0; i < n; ++i) {
        progress.Update(static_cast<uint64_t>(i));
        vtkIdType npts;
        const vtkIdType* ids;
        surface->GetCellPoints(i, npts, ids);
        if (npts != 3) throw ConvertError("VTK's surface filter gave a face that is no triangle");
        Face3 face;
        const double* corners[3];
        for (int k = 0; k < 3; ++k) {
            face[k] = static_cast<uint32_t>(pointIds->GetValue(ids[k]));
            corners[k] = mesh.vertices[face[k]].point;
        }
        const Tet& tet = mesh.tets[static_cast<size_t>(cellIds->GetValue(i))];
        auto named = roles.find(TriangleKey(face));
        int role = named != roles.end() ? named->second : sides.Of(corners);
        tris[role].push_back(Orient(mesh, tet, face));
    }
    progress.Finish();
    std::array<Surface, kSurfaceCount> out;
    for (int r = 0; r < kSurfaceCount; ++r) {
        CheckCount(tris[r].size(), "triangles in one surface");
        out[r] = MakeSurface(mesh, tris[r]);
    }
    return out;
}

}  // namespace kav
