// Tetrahedra that meet face to face, from every cell kind mixed in one grid: the face split
// rule, the measured mesh (with VTK as referee through meshcheck), a linear field through the
// viewer's point location, and pieces that convert exactly like the grid in one piece.
#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkPoints.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "grids.h"
#include "testutil.h"
#include "tools/kavconvert/convert.h"
#include "tools/kavconvert/facesplit.h"
#include "tools/meshcheck/meshcheck.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::array<double, 3> Linear(const double* p) {
    return {1 + 2 * p[0] - p[1] + 0.5 * p[2], -3 + 0.25 * p[0] + p[2], 2 - p[0] + 0.75 * p[1]};
}

void AddFlow(vtkUnstructuredGrid* grid) {
    AddPointArray(grid, "Density", 1, [](const double* p) {
        return std::array<double, 3>{1 + 0.1 * p[2], 0, 0};
    });
    AddPointArray(grid, "Energy", 1, [](const double* p) {
        return std::array<double, 3>{p[0] - p[1], 0, 0};
    });
    AddPointArray(grid, "Momentum", 3, Linear);
}

kav::ConversionReport Convert(std::vector<std::string> args) {
    kav::Options o = kav::ParseOptions(args);
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

using Triangles = std::set<std::array<uint32_t, 3>>;

Triangles SortedSplit(kav::FaceSplitter& splitter, std::vector<uint32_t> ids) {
    std::vector<kav::Face3> tris;
    splitter.Split(ids.data(), ids.size(), true, &tris);
    Triangles out;
    for (kav::Face3 t : tris) {
        std::sort(t.begin(), t.end());
        out.insert(t);
    }
    return out;
}

}  // namespace

// The same polygon listed from any corner, either way round, gives the same triangles; a
// corner fan where it is fair, a centre point where corners lie on a straight edge.
TEST(FaceSplit, SameTrianglesFromBothSides) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    double at[7][3] = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0.2}, {0, 1, 0},  // a warped quadrilateral
                       {1, 0, 0}, {2, 2, 0}, {0, 2, 0}};              // with 0, 1: an edge point
    for (auto& p : at) points->InsertNextPoint(p);
    kav::Coordinates xyz(points);
    kav::ExtraPoints extras;
    kav::FaceSplitter splitter(xyz, &extras);
    std::vector<std::vector<uint32_t>> quad = {
        {0, 1, 2, 3}, {2, 3, 0, 1}, {3, 2, 1, 0}, {1, 0, 3, 2}};
    Triangles first = SortedSplit(splitter, quad[0]);
    EXPECT_EQ(first.size(), 2u);
    for (const auto& q : quad) EXPECT_EQ(SortedSplit(splitter, q), first);
    EXPECT_EQ(extras.Count(), 0u);

    // A square whose bottom edge has a point in its middle: fanned from the lowest corner it
    // would have a flat triangle, so it gets one centre point, shared by both listings.
    std::vector<uint32_t> square = {0, 4, 1, 5, 6}, reversed = {6, 5, 1, 4, 0};
    Triangles a = SortedSplit(splitter, square);
    Triangles b = SortedSplit(splitter, reversed);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size(), 5u);
    ASSERT_EQ(extras.Count(), 1u);
    EXPECT_EQ(extras.positions[0], (std::array<double, 3>{1, 0.8, 0}));
    EXPECT_EQ(splitter.CentredFaces(), 1u);
    // Without adding points, a known centre is found and an unknown polygon left alone.
    std::vector<kav::Face3> tris;
    EXPECT_EQ(splitter.Split(square.data(), square.size(), false, &tris),
              kav::FaceSplitter::kCentreFan);
    std::vector<uint32_t> other = {0, 4, 1, 2, 3};
    EXPECT_EQ(splitter.Split(other.data(), other.size(), false, &tris),
              kav::FaceSplitter::kUnknown);
}

// The rule ranks points by position: renumbering the points changes no triangle.
TEST(FaceSplit, NumberingDoesNotMatter) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<std::array<double, 3>> hexagon;
    for (int k = 0; k < 6; ++k)
        hexagon.push_back(
            {std::cos(k * 1.0472) + 0.1 * u(rng), std::sin(k * 1.0472), 0.1 * u(rng)});
    auto corners = [&](const std::vector<int>& order) {
        vtkNew<vtkPoints> points;
        points->SetDataTypeToDouble();
        for (int i : order) points->InsertNextPoint(hexagon[i].data());
        kav::Coordinates xyz(points);
        kav::ExtraPoints extras;
        kav::FaceSplitter splitter(xyz, &extras);
        std::vector<uint32_t> ids(6);
        for (int k = 0; k < 6; ++k)
            ids[k] =
                static_cast<uint32_t>(std::find(order.begin(), order.end(), k) - order.begin());
        std::vector<kav::Face3> tris;
        splitter.Split(ids.data(), 6, true, &tris);
        std::set<std::vector<int>> out;  // triangles by the hexagon's own corner numbers
        for (const kav::Face3& t : tris) {
            std::vector<int> c;
            for (uint32_t v : t) c.push_back(order[v]);
            std::sort(c.begin(), c.end());
            out.insert(c);
        }
        return out;
    };
    auto want = corners({0, 1, 2, 3, 4, 5});
    EXPECT_EQ(corners({5, 3, 1, 0, 2, 4}), want);
    EXPECT_EQ(corners({2, 4, 0, 5, 1, 3}), want);
}

// Every kind of cell in one grid, measured against the original with VTK as referee; flat
// faces, and warped ones where inner points move.
class Conforming : public testing::TestWithParam<double> {};

TEST_P(Conforming, MixedCellsMeetFaceToFace) {
    auto grid = MixedGrid(GetParam());
    AddFlow(grid);
    std::string dir = MakeTempDir();
    WriteVtu(grid, dir + "/mixed.vtu");
    kav::ConversionReport r = Convert({dir + "/mixed.vtu", dir + "/out", "--block-size", "20"});
    EXPECT_EQ(r.cells.degenerate, 0u);
    EXPECT_EQ(r.cells.flipped, 2u);  // the two tetrahedra, listed with a negative determinant
    EXPECT_EQ(r.cells.unseen + r.cells.unevenFaces, 0u);
    // A pentagon with three corners in a line gets a centre point; on the flat grid so does
    // the polyhedron whose lowest corner lies on such a pentagon.
    EXPECT_GE(r.cells.centredFaces, 1u);
    if (GetParam() == 0) {
        EXPECT_EQ(r.cells.centred, 1u);
    }

    meshcheck::CheckOptions o;
    o.points = 20000;
    o.lines = 0;
    meshcheck::Report m = meshcheck::Check(dir + "/mixed.vtu", dir + "/out", o);
    EXPECT_EQ(m.nonPositive, 0u);
    EXPECT_EQ(m.facesOverused, 0u);
    EXPECT_EQ(m.falseOnce, 0u);
    EXPECT_EQ(m.falseSurface, 0u);
    EXPECT_EQ(m.facesOnce, m.surfaceTriangles);
    EXPECT_NEAR(m.tetVolume, 18, 18e-12);
    EXPECT_NEAR(m.volume, 18, 18e-12);
    EXPECT_NEAR(m.surfaceArea, 2 * (9 + 6 + 6), 1e-9);
    EXPECT_EQ(m.fluid, m.sampled);  // the cells fill their box
    EXPECT_EQ(m.found, m.fluid);

    // A linear field is linear in every tetrahedron, centre points included.
    TetrahedralVolume volume;
    std::string transcript;
    volume.ReadFile((dir + "/out/volume.kav").c_str(), Console(&transcript));
    PointLocator locator(volume);
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> x(0, 3), z(0, 2);
    for (int i = 0; i < 3000; ++i) {
        double p[3] = {x(rng), x(rng), z(rng)};
        Vertex got{};
        ASSERT_TRUE(locator.InterpolatePoint(p, &got)) << p[0] << " " << p[1] << " " << p[2];
        std::array<double, 3> want = Linear(p);
        for (int k = 0; k < 3; ++k) ASSERT_NEAR(got.Momentum[k], want[k], 1e-9);
    }
    RunCommand("rm -rf " + dir, &dir);
}

INSTANTIATE_TEST_SUITE_P(FlatAndWarped, Conforming, testing::Values(0.0, 0.15));

// Pieces that repeat their seam points, some with ghost copies of their neighbours' cells,
// in a .pvtu file and in a multiblock file, convert exactly like the grid in one piece.
TEST(Pieces, ConvertLikeOnePiece) {
    auto grid = MixedGrid(0.15);
    AddFlow(grid);
    AddCellArray(grid, "Pressure", 1, [](const double* c) {
        return std::array<double, 3>{c[0] * c[1], 0, 0};
    });
    std::string dir = MakeTempDir();
    WriteVtu(grid, dir + "/whole.vtu");
    vtkIdType n = grid->GetNumberOfCells(), third = n / 3;
    std::vector<vtkSmartPointer<vtkUnstructuredGrid>> pieces = {
        Piece(grid, 0, third, 0), Piece(grid, third, 2 * third, 4), Piece(grid, 2 * third, n, 7)};
    for (size_t p = 0; p < pieces.size(); ++p)
        WriteVtu(pieces[p], dir + "/piece" + std::to_string(p) + ".vtu");
    std::ofstream(dir + "/pieces.pvtu") << R"(<?xml version="1.0"?>
<VTKFile type="PUnstructuredGrid" version="0.1" byte_order="LittleEndian">
  <PUnstructuredGrid GhostLevel="1">
    <PPointData>
      <PDataArray type="Float64" Name="Density"/>
      <PDataArray type="Float64" Name="Energy"/>
      <PDataArray type="Float64" Name="Momentum" NumberOfComponents="3"/>
    </PPointData>
    <PCellData>
      <PDataArray type="Float64" Name="Pressure"/>
      <PDataArray type="UInt8" Name="vtkGhostType"/>
    </PCellData>
    <PPoints>
      <PDataArray type="Float64" NumberOfComponents="3"/>
    </PPoints>
    <Piece Source="piece0.vtu"/>
    <Piece Source="piece1.vtu"/>
    <Piece Source="piece2.vtu"/>
  </PUnstructuredGrid>
</VTKFile>
)";
    WriteMultiBlock(pieces, SidePatches(grid), dir + "/pieces.vtm");
    for (const char* energy : {"Energy", "Pressure"}) {
        SCOPED_TRACE(energy);
        for (const char* input : {"whole.vtu", "pieces.pvtu", "pieces.vtm"}) {
            kav::ConversionReport r =
                Convert({dir + "/" + input, dir + "/" + input + ".out", "--energy", energy});
            if (std::string(input) != "whole.vtu") {
                EXPECT_EQ(r.cells.ghost, 11u) << input;
                EXPECT_GT(r.cells.merged, 0u) << input;
            }
        }
        ExpectSameConversion(dir + "/whole.vtu.out", dir + "/pieces.pvtu.out");
        ExpectSameConversion(dir + "/whole.vtu.out", dir + "/pieces.vtm.out");
    }
    RunCommand("rm -rf " + dir, &dir);
}

// Named patches: listed with their face counts, assigned by shell patterns, the rest by
// position; a pattern that matches nothing is refused.
TEST(Patches, RolesByPattern) {
    auto grid = MixedGrid(0.15);
    AddFlow(grid);
    std::string dir = MakeTempDir(), out;
    WriteMultiBlock({grid}, SidePatches(grid), dir + "/mixed.vtm");
    ASSERT_EQ(Kavconvert("--list-patches " + dir + "/mixed.vtm", &out), 0) << out;
    EXPECT_NE(out.find("6 patches"), std::string::npos) << out;
    // The top: 7 quadrilaterals, 2 triangles of the wedges, 2 of the tetrahedra; the
    // bottom: 6 quadrilaterals, 2 pentagons, 2 triangles.
    EXPECT_NE(out.find("  zmax 11 faces"), std::string::npos) << out;
    EXPECT_NE(out.find("  zmin 10 faces"), std::string::npos) << out;

    // Up is z: the zmax patch, the top, becomes the buildings; x* the floor, the rest by
    // position (ymin and ymax walls, zmin, now at the lowest y, the floor).
    kav::ConversionReport r = Convert(
        {dir + "/mixed.vtm", dir + "/out", "--up", "z", "--buildings", "zmax", "--floor", "x*"});
    std::array<kav::Surface, 4> s = ReadSurfaces(dir + "/out");
    EXPECT_TRUE(s[kSurfaceCeiling].faces.empty());
    EXPECT_EQ(r.triangles[kSurfaceCity], 18u);
    for (const Vertex& v : s[kSurfaceCity].vertices) EXPECT_EQ(v.point[1], 2);
    for (const Vertex& v : s[kSurfaceWalls].vertices)
        EXPECT_TRUE(v.point[2] == 0 || v.point[2] == -3);
    EXPECT_EQ(s[kSurfaceFloor].faces.size(), r.triangles[kSurfaceFloor]);
    for (const Vertex& v : s[kSurfaceFloor].vertices)
        EXPECT_TRUE(v.point[0] == 0 || v.point[0] == 3 || v.point[1] == 0);
    EXPECT_EQ(r.strayPatchFaces, 0u);

    WriteFile(dir + "/out/volume.kav", "old");
    EXPECT_EQ(Kavconvert(dir + "/mixed.vtm " + dir + "/out --buildings 'tower*'", &out), 1);
    EXPECT_NE(out.find("--buildings 'tower*' matches no patch (its patches: xmin, xmax, ymin, "
                       "ymax, zmin, zmax)"),
              std::string::npos)
        << out;
    EXPECT_EQ(Kavconvert(dir + "/mixed.vtm " + dir + "/out --walls x* --floor xmin", &out), 1);
    EXPECT_NE(out.find("the patch 'xmin' is named by both --walls and --floor"), std::string::npos)
        << out;
    std::ifstream old(dir + "/out/volume.kav");
    std::string content((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "old");
    RunCommand("rm -rf " + dir, &dir);
}
