// From VTK cells and arrays to the viewer's mesh: splitting every kind of 3D cell, a linear
// field that the viewer's point location reproduces, cell values averaged to the points, and
// the ways of naming the fields.
#include <gtest/gtest.h>
#include <vtkCellType.h>
#include <vtkNew.h>
#include <vtkPoints.h>

#include <cmath>
#include <random>

#include "grids.h"
#include "testutil.h"
#include "tools/kavconvert/convert.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::array<double, 3> Constant(double a, double b = 0, double c = 0) {
    return {a, b, c};
}

// The grid's arrays with constant values, so that only the cells matter.
void AddConstantFlow(vtkUnstructuredGrid* grid) {
    AddPointArray(grid, "Density", 1, [](const double*) { return Constant(1.2); });
    AddPointArray(grid, "Energy", 1, [](const double*) { return Constant(3); });
    AddPointArray(grid, "Momentum", 3, [](const double*) { return Constant(1, 2, 2); });
}

kav::ConversionReport Convert(const std::string& input, const std::string& outdir,
                              std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {input, outdir});
    kav::Options o = kav::ParseOptions(extra);
    CaptureStdout();
    try {
        kav::ConversionReport r = kav::ConvertToKav(o);
        GetCapturedStdout();
        return r;
    } catch (...) {
        GetCapturedStdout();
        throw;
    }
}

double TotalVolume(const kav::KavVolume& v, double* smallestDet) {
    double total = 0;
    *smallestDet = INFINITY;
    for (const kav::Tet& t : v.mesh.tets) {
        double det = kav::Determinant(v.mesh.vertices[t.v[0]].point, v.mesh.vertices[t.v[1]].point,
                                      v.mesh.vertices[t.v[2]].point, v.mesh.vertices[t.v[3]].point);
        *smallestDet = std::min(*smallestDet, det);
        total += det / 6;
    }
    return total;
}

}  // namespace

// One cell of each kind, apart from each other, some listed in the inverted order.
TEST(Cells, EveryKindSplitsIntoPositiveTetrahedraFillingIt) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
    grid->SetPoints(points);
    // A unit cube at x offset `dx`, corners in hexahedron order.
    auto cube = [&](double dx) {
        vtkIdType base = points->GetNumberOfPoints();
        double c[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                          {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
        for (auto& p : c) points->InsertNextPoint(p[0] + dx, p[1], p[2]);
        return base;
    };
    vtkIdType b = cube(0);
    vtkIdType hex[8] = {b, b + 1, b + 2, b + 3, b + 4, b + 5, b + 6, b + 7};
    grid->InsertNextCell(VTK_HEXAHEDRON, 8, hex);  // volume 1
    b = cube(2);
    vtkIdType voxel[8] = {b, b + 1, b + 3, b + 2, b + 4, b + 5, b + 7, b + 6};
    grid->InsertNextCell(VTK_VOXEL, 8, voxel);  // 1
    b = cube(4);
    vtkIdType wedge[6] = {b, b + 1, b + 3, b + 4, b + 5, b + 7};
    grid->InsertNextCell(VTK_WEDGE, 6, wedge);  // 1/2
    b = cube(6);
    vtkIdType pyramid[5] = {b, b + 1, b + 2, b + 3, b + 4};
    grid->InsertNextCell(VTK_PYRAMID, 5, pyramid);  // 1/3
    b = cube(8);
    vtkIdType faces[] = {4, b + 0, b + 3, b + 2, b + 1, 4, b + 4, b + 5, b + 6, b + 7,
                         4, b + 0, b + 1, b + 5, b + 4, 4, b + 1, b + 2, b + 6, b + 5,
                         4, b + 2, b + 3, b + 7, b + 6, 4, b + 3, b + 0, b + 4, b + 7};
    vtkIdType corners[8] = {b, b + 1, b + 2, b + 3, b + 4, b + 5, b + 6, b + 7};
    grid->InsertNextCell(VTK_POLYHEDRON, 8, corners, 6, faces);  // 1
    b = cube(10);
    vtkIdType inverted[4] = {b, b + 3, b + 1, b + 4};
    grid->InsertNextCell(VTK_TETRA, 4, inverted);  // 1/6
    vtkIdType flat[8] = {b, b + 1, b + 2, b + 3, b, b + 1, b + 2, b + 3};
    grid->InsertNextCell(VTK_HEXAHEDRON, 8, flat);  // 0: dropped
    vtkIdType triangle[3] = {b, b + 1, b + 2}, line[2] = {b, b + 5}, vertex[1] = {b + 6};
    grid->InsertNextCell(VTK_TRIANGLE, 3, triangle);
    grid->InsertNextCell(VTK_LINE, 2, line);
    grid->InsertNextCell(VTK_VERTEX, 1, vertex);
    AddConstantFlow(grid);
    std::string dir = MakeTempDir();
    WriteVtu(grid, dir + "/cells.vtu");

    kav::ConversionReport r = Convert(dir + "/cells.vtu", dir + "/out");
    EXPECT_EQ(r.cells.read, 10u);
    EXPECT_EQ(r.cells.tetra, 1u);
    EXPECT_GE(r.cells.flipped, 1u);  // the inverted tetrahedron, and any of VTK's split
    EXPECT_EQ(r.cells.split, 6u);
    EXPECT_EQ(r.cells.lowerDim, 3u);
    EXPECT_EQ(r.cells.degenerate, 1u);  // the flat hexahedron, which makes no tetrahedron
    // Convex cells with flat faces are coned from a corner: a cube makes 6, a wedge 3, a
    // pyramid 2.
    EXPECT_EQ(r.cells.fromSplit, 6u + 6 + 3 + 2 + 6);
    EXPECT_EQ(r.cells.centred, 0u);
    EXPECT_EQ(r.tetrahedra, r.cells.tetra + r.cells.fromSplit);
    kav::KavVolume v = kav::ReadVolume(dir + "/out/volume.kav");
    double smallestDet;
    EXPECT_NEAR(TotalVolume(v, &smallestDet), 1 + 1 + 0.5 + 1.0 / 3 + 1 + 1.0 / 6, 1e-12);
    EXPECT_GT(smallestDet, 0);
    EXPECT_EQ(v.mesh.tets.size(), r.tetrahedra);
    RunCommand("rm -rf " + dir, &dir);
}

// Momentum linear in space, on a hexahedral grid with uneven spacing: every point inside
// is found by the viewer's point location, and its momentum is the field's.
TEST(Cells, LinearFieldThroughThePointLocation) {
    const int n[3] = {6, 5, 4};
    auto grid = HexGrid(n[0], n[1], n[2]);
    auto field = [](const double* p) {
        return std::array<double, 3>{1 + 2 * p[0] - p[1] + 0.5 * p[2], -3 + 0.25 * p[0] + p[2],
                                     2 - p[0] + 0.75 * p[1] - 2 * p[2]};
    };
    AddPointArray(grid, "rho", 1, [](const double* p) { return Constant(1 + 0.1 * p[1]); });
    AddPointArray(grid, "Energy", 1, [](const double* p) { return Constant(5 + p[0]); });
    AddPointArray(grid, "Momentum", 3, field);
    std::string dir = MakeTempDir();
    WriteLegacy(grid, dir + "/hex.vtk");
    kav::ConversionReport r = Convert(dir + "/hex.vtk", dir + "/out", {"--block-size", "40"});
    EXPECT_EQ(r.cells.split, 120u);
    EXPECT_GT(r.blocks, 10u);
    EXPECT_LE(r.largestBlock, 40u);
    EXPECT_EQ(r.overlappingBlocks, 0u);

    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) lo[a] = Plane(a, 0), hi[a] = Plane(a, n[a]);
    kav::KavVolume v = kav::ReadVolume(dir + "/out/volume.kav");
    double smallestDet;
    EXPECT_NEAR(TotalVolume(v, &smallestDet), (hi[0] - lo[0]) * (hi[1] - lo[1]) * (hi[2] - lo[2]),
                1e-9);

    TetrahedralVolume volume;
    CaptureStdout();
    volume.ReadFile((dir + "/out/volume.kav").c_str());
    GetCapturedStdout();
    std::mt19937 rng(3);
    PointLocator locator(volume);
    for (int i = 0; i < 2000; ++i) {
        double p[3];
        for (int a = 0; a < 3; ++a)
            p[a] = std::uniform_real_distribution<double>(lo[a], hi[a])(rng);
        Vertex got{};
        ASSERT_TRUE(locator.InterpolatePoint(p, &got)) << p[0] << " " << p[1] << " " << p[2];
        std::array<double, 3> want = field(p);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(got.Momentum[k], want[k], 1e-9);
    }

    // Without obstacles the boundary is the box: no city, and each side's area is whole.
    std::array<kav::Surface, 4> s = ReadSurfaces(dir + "/out");
    EXPECT_TRUE(s[kSurfaceCity].faces.empty());
    auto area = [](const kav::Surface& surface, const double* inward) {
        double sum = 0;
        for (size_t i = 0; i < surface.faces.size(); ++i) {
            const double* a = surface.vertices[surface.faces[i][0]].point;
            const double* b = surface.vertices[surface.faces[i][1]].point;
            const double* c = surface.vertices[surface.faces[i][2]].point;
            double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            double cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                               e1[0] * e2[1] - e1[1] * e2[0]};
            sum += (cross[0] * inward[0] + cross[1] * inward[1] + cross[2] * inward[2]) / 2;
        }
        return sum;
    };
    const double up[3] = {0, 1, 0}, down[3] = {0, -1, 0};
    EXPECT_NEAR(area(s[kSurfaceFloor], up), (hi[0] - lo[0]) * (hi[2] - lo[2]), 1e-9);
    EXPECT_NEAR(area(s[kSurfaceCeiling], down), (hi[0] - lo[0]) * (hi[2] - lo[2]), 1e-9);
    EXPECT_EQ(s[kSurfaceWalls].faces.size(), 4u * (n[0] * n[1] + n[1] * n[2]));
    RunCommand("rm -rf " + dir, &dir);
}

// A grid with cell values only, and a boundary polygon whose values must not leak in.
TEST(Cells, CellValuesAreAveragedOverThe3DCells) {
    auto grid = HexGrid(3, 3, 3);
    vtkIdType quad[4] = {0, 1, 5, 4};
    grid->InsertNextCell(VTK_QUAD, 4, quad);
    auto density = [](const double* c) { return Constant(c[0] + 10 * c[1] + 100 * c[2]); };
    auto leaky = [&](const double* c) {
        return c[1] == 0 && c[2] == 0 ? Constant(1e6) : density(c);  // the quad's centre
    };
    AddCellArray(grid, "Density", 1, leaky);
    AddCellArray(grid, "Energy", 1, [](const double*) { return Constant(7); });
    AddCellArray(grid, "Momentum", 3, [](const double* c) { return Constant(c[0], 0, 0); });
    std::string dir = MakeTempDir();
    WriteVtu(grid, dir + "/cells.vtu");
    kav::ConversionReport r = Convert(dir + "/cells.vtu", dir + "/out");
    EXPECT_EQ(r.cells.lowerDim, 1u);
    kav::KavVolume v = kav::ReadVolume(dir + "/out/volume.kav");

    // The centre cell's corner at planes (1, 1, 1) is shared by eight cells; the grid's
    // corner at planes (0, 0, 0) belongs to one.
    auto centre = [](int i, int j, int k) {
        double c[3] = {(Plane(0, i) + Plane(0, i + 1)) / 2, (Plane(1, j) + Plane(1, j + 1)) / 2,
                       (Plane(2, k) + Plane(2, k + 1)) / 2};
        return c[0] + 10 * c[1] + 100 * c[2];
    };
    double mean = 0;
    for (int c = 0; c < 8; ++c) mean += centre(c & 1, (c >> 1) & 1, (c >> 2) & 1) / 8;
    int checked = 0;
    for (const Vertex& p : v.mesh.vertices) {
        bool inner =
            p.point[0] == Plane(0, 1) && p.point[1] == Plane(1, 1) && p.point[2] == Plane(2, 1);
        bool corner =
            p.point[0] == Plane(0, 0) && p.point[1] == Plane(1, 0) && p.point[2] == Plane(2, 0);
        if (inner) {
            EXPECT_NEAR(p.Density, mean, 1e-9);
        }
        if (corner) {
            EXPECT_NEAR(p.Density, centre(0, 0, 0), 1e-9);
        }
        checked += inner + corner;
        EXPECT_EQ(p.Energy, 7);
        EXPECT_EQ(p.MomentumMag, std::fabs(p.Momentum[0]));
    }
    EXPECT_EQ(checked, 2);
    RunCommand("rm -rf " + dir, &dir);
}

TEST(Cells, VelocityTimesDensityConstantsAndNamesInAnyCase) {
    auto grid = HexGrid(2, 2, 2);
    AddPointArray(grid, "RHO", 1, [](const double* p) { return Constant(2 + p[0]); });
    AddPointArray(grid, "u", 3, [](const double* p) { return Constant(p[1], -1, 0.5); });
    AddPointArray(grid, "speed", 3, [](const double*) { return Constant(3, 0, 4); });
    std::string dir = MakeTempDir();
    WriteVtu(grid, dir + "/grid.vtu");

    Convert(dir + "/grid.vtu", dir + "/a", {"--energy-constant", "2.5"});
    kav::KavVolume a = kav::ReadVolume(dir + "/a/volume.kav");
    for (const Vertex& p : a.mesh.vertices) {
        double rho = 2 + p.point[0];
        EXPECT_DOUBLE_EQ(p.Density, rho);
        EXPECT_EQ(p.Energy, 2.5);
        EXPECT_DOUBLE_EQ(p.Momentum[0], rho * p.point[1]);
        EXPECT_DOUBLE_EQ(p.Momentum[1], -rho);
    }
    EXPECT_EQ(a.minimum.Energy, 2.5);
    EXPECT_EQ(a.maximum.Density, 2 + Plane(0, 2));

    Convert(dir + "/grid.vtu", dir + "/b",
            {"--density-constant", "0.5", "--velocity", "SPEED", "--energy", "rho"});
    kav::KavVolume b = kav::ReadVolume(dir + "/b/volume.kav");
    for (const Vertex& p : b.mesh.vertices) {
        EXPECT_EQ(p.Density, 0.5);
        EXPECT_EQ(p.Energy, 2 + p.point[0]);
        EXPECT_EQ(p.MomentumMag, 2.5);  // 0.5 * |(3, 0, 4)|
    }
    EXPECT_EQ(b.maximum.MomentumMag, 2.5);

    // Two arrays that differ only in case are ambiguous for a name in a third spelling.
    AddPointArray(grid, "Rho", 1, [](const double*) { return Constant(1); });
    WriteVtu(grid, dir + "/two.vtu");
    try {
        Convert(dir + "/two.vtu", dir + "/c", {"--density", "rHo", "--energy-constant", "1"});
        ADD_FAILURE() << "an ambiguous name was accepted";
    } catch (const kav::ConvertError& e) {
        EXPECT_NE(std::string(e.what()).find("'RHO' and 'Rho' both match 'rHo'"), std::string::npos)
            << e.what();
    }
    RunCommand("rm -rf " + dir, &dir);
}
