// Round trips through VTK: the demo city exported with --to-vtu and converted back gives the
// same tetrahedra, values and surfaces; so do a copy of it with z up and a copy split into
// the two pieces of a .pvtu file.
#include <gtest/gtest.h>
#include <vtkCellData.h>
#include <vtkDoubleArray.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>
#include <vtkXMLPolyDataReader.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <random>

#include "grids.h"
#include "surface/displaylist.h"
#include "testutil.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using Corners = std::array<double, 12>;  // a tetrahedron's corners in its vertex order
using Position = std::array<double, 3>;
using kav::Normal;

// The demo city, exported to VTK and converted back, made once for all tests.
class CityRoundTrip : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new std::string(MakeTempDir());
        report = new std::string;
        std::string out;
        ASSERT_EQ(RunCommand(std::string(CITYGEN) + " " + *dir + "/city --small", &out), 0) << out;
        ASSERT_EQ(Kavconvert("--to-vtu " + *dir + "/city " + *dir + "/city.vtu", &out), 0) << out;
        ASSERT_EQ(Kavconvert("--to-vtp " + *dir + "/city " + *dir + "/city.vtp", &out), 0) << out;
        ASSERT_EQ(Kavconvert(*dir + "/city.vtu " + *dir + "/back --block-size 2000", &out), 0)
            << out;
        *report = out;
    }
    static void TearDownTestSuite() {
        std::string out;
        RunCommand("rm -rf " + *dir, &out);
        delete dir;
        delete report;
    }
    static std::string* dir;
    static std::string* report;
};
std::string* CityRoundTrip::dir;
std::string* CityRoundTrip::report;

void Load(TetrahedralVolume* v, const std::string& path) {
    CaptureStdout();
    v->ReadFile(path.c_str());
    GetCapturedStdout();
}

std::vector<Corners> SortedTets(const TetrahedralVolume& v) {
    std::vector<Corners> tets;
    for (const Block& b : v.GetBlocks()) {
        for (uint32_t i = 0; i < b.num_Tetra; ++i) {
            Corners c;
            for (int k = 0; k < 4; ++k)
                std::copy(b.tetra[i].v[k]->point, b.tetra[i].v[k]->point + 3, &c[3 * k]);
            tets.push_back(c);
        }
    }
    std::sort(tets.begin(), tets.end());
    return tets;
}

std::map<Position, Vertex> ValuesByPosition(const TetrahedralVolume& v) {
    std::map<Position, Vertex> values;
    for (const Block& b : v.GetBlocks()) {
        for (uint32_t i = 0; i < b.num_Tetra; ++i) {
            for (const Vertex* p : b.tetra[i].v)
                values[{p->point[0], p->point[1], p->point[2]}] = *p;
        }
    }
    return values;
}

void ExpectSameValues(const Vertex& want, const Vertex& got) {
    EXPECT_EQ(want.Density, got.Density);
    EXPECT_EQ(want.Energy, got.Energy);
    for (int a = 0; a < 3; ++a) EXPECT_EQ(want.Momentum[a], got.Momentum[a]);
    EXPECT_NEAR(want.MomentumMag, got.MomentumMag, 1e-12 * (1 + want.MomentumMag));
}

// A triangle as its corners, started at the smallest so that equal triangles with equal
// winding compare equal; its normal alongside.
struct Tri {
    std::array<Position, 3> corners;
    Normal normal;
    bool operator<(const Tri& o) const { return corners < o.corners; }
};

std::vector<Tri> SortedTris(const kav::Surface& s) {
    std::vector<Tri> tris;
    for (size_t i = 0; i < s.faces.size(); ++i) {
        Tri t;
        for (int k = 0; k < 3; ++k) {
            const double* p = s.vertices[s.faces[i][k]].point;
            t.corners[k] = {p[0], p[1], p[2]};
        }
        std::rotate(t.corners.begin(), std::min_element(t.corners.begin(), t.corners.end()),
                    t.corners.end());
        t.normal = s.normals[i];
        tris.push_back(t);
    }
    std::sort(tris.begin(), tris.end());
    return tris;
}

void ExpectSameSurfaces(const std::string& wantDir, const std::string& gotDir) {
    std::array<kav::Surface, 4> want = ReadSurfaces(wantDir), got = ReadSurfaces(gotDir);
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(kav::kRoleNames[r]);
        std::vector<Tri> a = SortedTris(want[r]), b = SortedTris(got[r]);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(a[i].corners, b[i].corners) << "triangle " << i;
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[i].normal[k], b[i].normal[k], 1e-12);
        }
        EXPECT_EQ(want[r].vertices.size(), got[r].vertices.size());
    }
}

}  // namespace

TEST_F(CityRoundTrip, SameTetrahedraValuesAndRanges) {
    TetrahedralVolume city, back;
    Load(&city, *dir + "/city/volume.kav");
    Load(&back, *dir + "/back/volume.kav");
    ASSERT_GT(city.GetNumPoints(), 0u);
    EXPECT_EQ(city.GetNumPoints(), back.GetNumPoints());
    EXPECT_EQ(SortedTets(city), SortedTets(back));

    std::map<Position, Vertex> want = ValuesByPosition(city), got = ValuesByPosition(back);
    ASSERT_EQ(want.size(), got.size());
    for (const auto& [position, v] : want) ExpectSameValues(v, got.at(position));

    for (FieldVar f : {fieldDensity, fieldEnergy, fieldMomentum}) {
        double a[2], b[2];
        city.GetRange(f, a);
        back.GetRange(f, b);
        EXPECT_NEAR(a[0], b[0], 1e-12 * (1 + std::fabs(a[0])));
        EXPECT_NEAR(a[1], b[1], 1e-12 * (1 + std::fabs(a[1])));
    }
    kav::KavVolume header = kav::ReadVolume(*dir + "/back/volume.kav");
    kav::KavVolume cityHeader = kav::ReadVolume(*dir + "/city/volume.kav");
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(header.minimum.point[a], cityHeader.minimum.point[a]);
        EXPECT_EQ(header.maximum.point[a], cityHeader.maximum.point[a]);
    }
}

TEST_F(CityRoundTrip, BlocksAreExactBoxesThatPointLocationFinds) {
    kav::KavVolume back = kav::ReadVolume(*dir + "/back/volume.kav");
    ASSERT_GT(back.blocks.size(), 3u);
    for (const kav::BlockSpan& b : back.blocks) {
        EXPECT_LE(b.count, 2000u);
        double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
        for (size_t i = b.first; i < b.first + b.count; ++i) {
            for (uint32_t v : back.mesh.tets[i].v) {
                for (int a = 0; a < 3; ++a) {
                    lo[a] = std::min(lo[a], back.mesh.vertices[v].point[a]);
                    hi[a] = std::max(hi[a], back.mesh.vertices[v].point[a]);
                }
            }
        }
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(b.min[a], lo[a]);
            EXPECT_EQ(b.max[a], hi[a]);
        }
    }
    EXPECT_NE(report->find("0 with a box overlapping another"), std::string::npos) << *report;

    // The viewer answers every query in the converted city as in the generated one.
    TetrahedralVolume city, converted;
    Load(&city, *dir + "/city/volume.kav");
    Load(&converted, *dir + "/back/volume.kav");
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> x(-500, 500), y(0, 250);
    PointLocator inCityLocator(city), convertedLocator(converted);
    int found = 0;
    for (int i = 0; i < 3000; ++i) {
        double p[3] = {x(rng), y(rng), x(rng)};
        Vertex a{}, b{};
        bool inCity = inCityLocator.InterpolatePoint(p, &a);
        ASSERT_EQ(inCity, convertedLocator.InterpolatePoint(p, &b))
            << p[0] << " " << p[1] << " " << p[2];
        found += inCity;
        // Near a face, a point passes the inside test of both tetrahedra (its tolerance is
        // 0.001 in weights), and the two files may list a different one first: momentum is
        // then extrapolated by up to 0.001 of the differences across a tetrahedron.
        for (int k = 0; k < 3 && inCity; ++k) EXPECT_NEAR(a.Momentum[k], b.Momentum[k], 2e-3);
    }
    EXPECT_GT(found, 2000);
}

// Same triangles, wound the same way, with the same normals: into the air, as the demo
// city has them.
TEST_F(CityRoundTrip, SameSurfacesWithNormalsIntoTheAir) {
    ExpectSameSurfaces(*dir + "/city", *dir + "/back");
    for (int r = 0; r < 4; ++r) {
        std::string name = "/" + SurfaceFileName(r);
        // The headers hold the surface's own box, from which the viewer reads the same
        // bounds, and the whole volume's field ranges, so that colours agree between surfaces.
        Vertex lo[2], hi[2];
        kav::ReadSurface(*dir + "/city" + name, &lo[0], &hi[0]);
        kav::ReadSurface(*dir + "/back" + name, &lo[1], &hi[1]);
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(lo[0].point[a], lo[1].point[a]);
            EXPECT_EQ(hi[0].point[a], hi[1].point[a]);
        }
        kav::KavVolume volume = kav::ReadVolume(*dir + "/back/volume.kav");
        ExpectSameValues(volume.minimum, lo[1]);
        ExpectSameValues(volume.maximum, hi[1]);
        DisplayListObject city, back;
        CaptureStdout();
        city.LoadSurface((*dir + "/city" + name).c_str());
        back.LoadSurface((*dir + "/back" + name).c_str());
        GetCapturedStdout();
        EXPECT_EQ(city.GetNumTris(), back.GetNumTris());
        double want[6], got[6];
        city.GetBounds(want);
        back.GetBounds(got);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(want[k], got[k]);
    }
}

TEST_F(CityRoundTrip, ExportedSurfacesCarryTheirRoleAndNormals) {
    vtkNew<vtkXMLPolyDataReader> reader;
    reader->SetFileName((*dir + "/city.vtp").c_str());
    reader->Update();
    vtkPolyData* poly = reader->GetOutput();
    std::array<kav::Surface, 4> files = ReadSurfaces(*dir + "/city");
    auto* role = vtkIntArray::SafeDownCast(poly->GetCellData()->GetArray("Surface"));
    ASSERT_NE(role, nullptr);
    ASSERT_NE(poly->GetCellData()->GetNormals(), nullptr);
    ASSERT_NE(poly->GetPointData()->GetArray("MomentumMag"), nullptr);
    std::array<size_t, 4> perRole{};
    for (vtkIdType i = 0; i < role->GetNumberOfValues(); ++i) ++perRole.at(role->GetValue(i) - 1);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(perRole[r], files[r].faces.size());
    // The first floor triangle, as stored and as exported.
    vtkIdType first = perRole[0] + perRole[1] + perRole[2];
    double n[3];
    poly->GetCellData()->GetNormals()->GetTuple(first, n);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(n[k], files[3].normals[0][k]);

    auto grid = ReadVtu(*dir + "/city.vtu");
    auto* block = vtkIntArray::SafeDownCast(grid->GetCellData()->GetArray("Block"));
    ASSERT_NE(block, nullptr);
    kav::KavVolume city = kav::ReadVolume(*dir + "/city/volume.kav");
    EXPECT_EQ(grid->GetNumberOfCells(), (vtkIdType)city.mesh.tets.size());
    EXPECT_EQ(block->GetValueRange()[1], (int)city.blocks.size() - 1);
}

// The city turned so that its up axis is z converts with --up z to the same files.
TEST_F(CityRoundTrip, UpAxisZ) {
    auto grid = ReadVtu(*dir + "/city.vtu");
    vtkNew<vtkPoints> turned;
    turned->SetDataTypeToDouble();
    auto* momentum = vtkDoubleArray::SafeDownCast(grid->GetPointData()->GetArray("Momentum"));
    ASSERT_NE(momentum, nullptr);
    for (vtkIdType i = 0; i < grid->GetNumberOfPoints(); ++i) {
        double p[3], m[3];
        grid->GetPoint(i, p);
        turned->InsertNextPoint(p[0], -p[2], p[1]);
        momentum->GetTypedTuple(i, m);
        double t[3] = {m[0], -m[2], m[1]};
        momentum->SetTypedTuple(i, t);
    }
    grid->SetPoints(turned);
    WriteVtu(grid, *dir + "/zup.vtu");
    std::string out;
    ASSERT_EQ(Kavconvert(*dir + "/zup.vtu " + *dir + "/zup --up z --block-size 2000", &out), 0)
        << out;
    TetrahedralVolume back, zup;
    Load(&back, *dir + "/back/volume.kav");
    Load(&zup, *dir + "/zup/volume.kav");
    EXPECT_EQ(SortedTets(back), SortedTets(zup));
    std::map<Position, Vertex> want = ValuesByPosition(back), got = ValuesByPosition(zup);
    ASSERT_EQ(want.size(), got.size());
    for (const auto& [position, v] : want) ExpectSameValues(v, got.at(position));
    ExpectSameSurfaces(*dir + "/back", *dir + "/zup");
}

// Pieces repeat the points of their seam, and one holds ghost copies of the other's cells;
// the conversion must see one seamless mesh.
TEST_F(CityRoundTrip, PartitionedGrid) {
    auto grid = ReadVtu(*dir + "/city.vtu");
    vtkIdType half = grid->GetNumberOfCells() / 2;
    WriteVtu(Piece(grid, 0, half, 0), *dir + "/piece0.vtu");
    WriteVtu(Piece(grid, half, grid->GetNumberOfCells(), 500), *dir + "/piece1.vtu");
    std::ofstream(*dir + "/city.pvtu") << R"(<?xml version="1.0"?>
<VTKFile type="PUnstructuredGrid" version="0.1" byte_order="LittleEndian">
  <PUnstructuredGrid GhostLevel="1">
    <PPointData>
      <PDataArray type="Float64" Name="Density"/>
      <PDataArray type="Float64" Name="Energy"/>
      <PDataArray type="Float64" Name="Momentum" NumberOfComponents="3"/>
      <PDataArray type="Float64" Name="MomentumMag"/>
    </PPointData>
    <PCellData>
      <PDataArray type="UInt8" Name="vtkGhostType"/>
    </PCellData>
    <PPoints>
      <PDataArray type="Float64" NumberOfComponents="3"/>
    </PPoints>
    <Piece Source="piece0.vtu"/>
    <Piece Source="piece1.vtu"/>
  </PUnstructuredGrid>
</VTKFile>
)";
    std::string out;
    ASSERT_EQ(Kavconvert(*dir + "/city.pvtu " + *dir + "/pieces", &out), 0) << out;
    EXPECT_NE(out.find("500 ghost cells"), std::string::npos) << out;
    EXPECT_NE(out.find("points merged"), std::string::npos) << out;
    TetrahedralVolume back, pieces;
    Load(&back, *dir + "/back/volume.kav");
    Load(&pieces, *dir + "/pieces/volume.kav");
    EXPECT_EQ(back.GetNumPoints(), pieces.GetNumPoints());
    EXPECT_EQ(SortedTets(back), SortedTets(pieces));
    ExpectSameSurfaces(*dir + "/back", *dir + "/pieces");
}
