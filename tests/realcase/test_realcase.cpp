// A real CFD result, made by make-case with OpenFOAM (snappyHexMesh around three box
// buildings, potentialFoam, foamToVTK), converted as a user would and measured against the
// original with VTK as the referee: tetrahedra that meet face to face and fill the cells,
// the buildings surface on the building patches, every point found that VTK finds, path
// lines that do not stop in the air, and a partitioned copy that converts the same.
#include <gtest/gtest.h>
#include <vtkCompositeDataSet.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "grids.h"
#include "testutil.h"
#include "tools/kavconvert/pieces.h"
#include "tools/kavconvert/pointkey.h"
#include "tools/kavconvert/vertices.h"
#include "tools/kavconvert/vtkinput.h"
#include "tools/meshcheck/meshcheck.h"

namespace {

const char* const kFields = " --density-constant 1.2 --velocity U --energy p --up z";
const char* const kRoles = " --buildings 'tower,hall,block*' --floor ground";

// The case converted once for all tests, and its measurement.
class RealCase : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::filesystem::exists(REALCASE)) return;
        dir = new std::string(MakeTempDir());
        transcript = new std::string;
        ASSERT_EQ(
            Kavconvert(std::string(REALCASE) + " " + *dir + "/out" + kFields + kRoles, transcript),
            0)
            << *transcript;
        meshcheck::CheckOptions o;
        o.up = 2;
        o.points = 30000;
        o.lines = 150;
        report = new meshcheck::Report(meshcheck::Check(REALCASE, *dir + "/out", o));
        meshcheck::Print(*report, stdout);
    }
    static void TearDownTestSuite() {
        if (!dir) return;
        std::string out;
        RunCommand("rm -rf " + *dir, &out);
        delete dir;
        delete transcript;
        delete report;
        dir = nullptr;
    }
    void SetUp() override {
        if (!dir)
            GTEST_SKIP() << "no real case at " << REALCASE << ": make-case needs OpenFOAM "
                         << "(Debian package openfoam, which scripts/deps installs)";
    }

    static std::string* dir;
    static std::string* transcript;
    static meshcheck::Report* report;
};
std::string* RealCase::dir;
std::string* RealCase::transcript;
meshcheck::Report* RealCase::report;

}  // namespace

TEST_F(RealCase, TetrahedraMeetFaceToFaceAndFillTheCells) {
    const meshcheck::Report& r = *report;
    EXPECT_GT(r.polyhedra, 500u) << "the case should have polyhedra at refinement transitions";
    EXPECT_EQ(r.nonPositive, 0u);
    EXPECT_EQ(r.facesOverused, 0u);
    EXPECT_EQ(r.falseOnce, 0u);
    EXPECT_EQ(r.falseSurface, 0u);
    EXPECT_EQ(r.facesOnce, r.surfaceTriangles);
    // The tetrahedra fill exactly what the surfaces enclose. That differs from the volume of
    // the cells by their faces only where boundary faces are warped (foamToVTK writes 32-bit
    // coordinates, so snapped faces are not quite flat), whose two splits enclose different
    // volumes.
    EXPECT_NEAR(r.tetVolume, r.surfaceVolume, 1e-12 * r.volume);
    EXPECT_NEAR(r.tetVolume, r.volume, 1e-6 * r.volume);
    EXPECT_NEAR(r.surfaceArea, r.boundaryArea, 1e-4 * r.boundaryArea);
    EXPECT_EQ(transcript->find("WARNING"), std::string::npos) << *transcript;
}

TEST_F(RealCase, EveryPointThatVtkFindsIsFound) {
    EXPECT_GT(report->fluid, report->sampled * 9 / 10);
    EXPECT_EQ(report->found, report->fluid);
}

TEST_F(RealCase, PathLinesSeededUpstreamDoNotStopInTheAir) {
    EXPECT_EQ(report->lines, 150u);
    EXPECT_EQ(report->endedInFluid, 0u);
    EXPECT_GT(report->leftFluid, 100u);
}

// Every buildings triangle lies on the building patches: its corners are their points, or
// (for a face split around its centre) the mean of one of their faces; the floor lies on
// the ground at the lowest y.
TEST_F(RealCase, BuildingsSurfaceLiesOnTheBuildingPatches) {
    kav::InputData input = kav::ReadInput(REALCASE);
    std::set<std::array<double, 3>> onBuildings;
    std::set<std::array<double, 3>> faceMeans;
    size_t patchFaces = 0;
    for (const kav::Patch& p : input.patches) {
        if (p.name != "tower" && p.name != "hall" && p.name != "block3") continue;
        for (vtkIdType c = 0; c < p.faces->GetNumberOfCells(); ++c) {
            vtkIdType n;
            const vtkIdType* ids;
            p.faces->GetCellPoints(c, n, ids);
            double mean[3] = {0, 0, 0};
            for (vtkIdType k = 0; k < n; ++k) {
                std::array<double, 3> v;
                kav::ToViewerAxes(2, p.faces->GetPoint(ids[k]), v.data());
                onBuildings.insert(v);
                for (int a = 0; a < 3; ++a) mean[a] += v[a] / n;
            }
            faceMeans.insert({mean[0], mean[1], mean[2]});
            ++patchFaces;
        }
    }
    ASSERT_GT(patchFaces, 500u);
    std::array<kav::Surface, 4> s = ReadSurfaces(*dir + "/out");
    ASSERT_GE(s[kSurfaceCity].faces.size(), patchFaces);
    for (const kav::Face3& f : s[kSurfaceCity].faces) {
        int corners = 0;
        for (uint32_t v : f) {
            const double* p = s[kSurfaceCity].vertices[v].point;
            std::array<double, 3> at = {p[0], p[1], p[2]};
            if (onBuildings.count(at)) {
                ++corners;
                continue;
            }
            // A face centre: near the mean of a patch face (means are summed in another order).
            auto near = faceMeans.lower_bound({at[0] - 1e-9, -1e300, -1e300});
            bool found = false;
            for (; near != faceMeans.end() && (*near)[0] <= at[0] + 1e-9; ++near) {
                found = found || (std::fabs((*near)[1] - at[1]) < 1e-9 &&
                                  std::fabs((*near)[2] - at[2]) < 1e-9);
            }
            EXPECT_TRUE(found) << at[0] << " " << at[1] << " " << at[2];
        }
        EXPECT_GE(corners, 2);
    }
    // The ground is at z = 0 but for rounding noise in its 32-bit coordinates.
    for (const Vertex& v : s[kSurfaceFloor].vertices) EXPECT_NEAR(v.point[1], 0, 1e-6);
    for (const Vertex& v : s[kSurfaceCeiling].vertices) EXPECT_NEAR(v.point[1], 60, 1e-6);
}

// The case cut into three pieces that repeat their seam points, two of them with ghost copies
// of their neighbours' cells, next to its patches in a multiblock file, converts exactly as
// the case in one piece.
TEST_F(RealCase, PiecesConvertLikeTheWholeCase) {
    kav::InputData input = kav::ReadInput(REALCASE);
    ASSERT_EQ(input.pieces.size(), 1u);
    vtkUnstructuredGrid* grid = input.pieces.front();
    vtkIdType n = grid->GetNumberOfCells(), third = n / 3;
    std::vector<NamedPatch> patches;
    for (const kav::Patch& p : input.patches) patches.push_back({p.name, p.faces});
    WriteMultiBlock({Piece(grid, 0, third, 0), Piece(grid, third, 2 * third, 50),
                     Piece(grid, 2 * third, n, 120)},
                    patches, *dir + "/pieces.vtm");
    std::string out;
    ASSERT_EQ(Kavconvert(*dir + "/pieces.vtm " + *dir + "/pieces" + kFields + kRoles, &out), 0)
        << out;
    EXPECT_NE(out.find("170 ghost cells dropped"), std::string::npos) << out;
    ExpectSameConversion(*dir + "/out", *dir + "/pieces");
}
