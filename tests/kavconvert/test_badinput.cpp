// Input that kavconvert must refuse: a clear message, exit status 1, and the output
// directory exactly as it was (no partial or temporary file).
#include <gtest/gtest.h>
#include <vtkCellType.h>
#include <vtkDoubleArray.h>
#include <vtkPointData.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

#include "grids.h"
#include "testutil.h"
#include "tools/kavconvert/mesh.h"
#include "tools/kavconvert/options.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class BadInput : public testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        // A previous conversion's files, which a failed one must leave alone.
        RunCommand("mkdir " + dir + "/out", &output);
        WriteFile(dir + "/out/volume.kav", "old volume");
        WriteFile(dir + "/out/surface-1.kav", "old surface");
    }
    void TearDown() override { RunCommand("rm -rf " + dir, &output); }

    // Runs kavconvert and expects it to fail with `message` and to leave out/ untouched.
    void ExpectRefused(const std::string& args, const std::string& message) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Kavconvert(args, &output), 1) << output;
        EXPECT_NE(output.find("kavconvert: "), std::string::npos) << output;
        EXPECT_NE(output.find(message), std::string::npos) << output;
        EXPECT_EQ(ListDir(dir + "/out"), (std::vector<std::string>{"surface-1.kav", "volume.kav"}));
        EXPECT_EQ(ReadAll(dir + "/out/volume.kav"), "old volume");
    }

    // A small grid of hexahedra with all three fields; `density` and `momentum` (its z) at
    // point 5.
    void WriteGrid(const std::string& name, double density, double momentum) {
        auto grid = HexGrid(2, 2, 2);
        AddPointArray(grid, "Density", 1, [](const double*) {
            return std::array<double, 3>{1, 0, 0};
        });
        AddPointArray(grid, "Energy", 1, [](const double*) {
            return std::array<double, 3>{2, 0, 0};
        });
        AddPointArray(grid, "Momentum", 3, [](const double*) {
            return std::array<double, 3>{0, 1, 0};
        });
        grid->GetPointData()->GetArray("Density")->SetComponent(5, 0, density);
        grid->GetPointData()->GetArray("Momentum")->SetComponent(5, 2, momentum);
        WriteVtu(grid, dir + "/" + name);
    }

    std::string dir, output;
};

const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST_F(BadInput, FilesVtkCannotRead) {
    ExpectRefused(dir + "/missing.vtu " + dir + "/out", "missing.vtu: no such file");
    WriteFile(dir + "/junk.vtu", "<VTKFile type=\"UnstructuredGrid\"> not really");
    ExpectRefused(dir + "/junk.vtu " + dir + "/out", "cannot read " + dir + "/junk.vtu: ");
    WriteFile(dir + "/junk.vtk", "# vtk DataFile Version 3.0\nnothing\nASCII\nDATASET NONE\n");
    ExpectRefused(dir + "/junk.vtk " + dir + "/out", "cannot read " + dir + "/junk.vtk: ");
    // VTK's legacy reader only warns about a file that ends early, and returns part of it.
    auto grid = HexGrid(3, 3, 3);
    AddPointArray(grid, "Density", 1, [](const double*) { return std::array<double, 3>{1, 0, 0}; });
    WriteLegacy(grid, dir + "/whole.vtk");
    std::string whole = ReadAll(dir + "/whole.vtk");
    WriteFile(dir + "/cut.vtk", whole.substr(0, whole.size() - 20));
    ExpectRefused(dir + "/cut.vtk " + dir + "/out --energy-constant 1 --momentum-constant 0,0,0",
                  "cannot read " + dir + "/cut.vtk: Error reading binary data!");
    WriteFile(dir + "/grid.txt", "x");
    ExpectRefused(dir + "/grid.txt " + dir + "/out", "must end in .vtk, .vtu, .pvtu");
}

TEST_F(BadInput, GridWithoutVolumeCells) {
    auto grid = HexGrid(1, 1, 1);
    auto flat = vtkSmartPointer<vtkUnstructuredGrid>::New();
    flat->SetPoints(grid->GetPoints());
    vtkIdType tri[3] = {0, 1, 2}, quad[4] = {4, 5, 7, 6};
    flat->InsertNextCell(VTK_TRIANGLE, 3, tri);
    flat->InsertNextCell(VTK_QUAD, 4, quad);
    WriteVtu(flat, dir + "/flat.vtu");
    ExpectRefused(dir + "/flat.vtu " + dir + "/out", "the grid has no 3D cells (2 cells read");
}

TEST_F(BadInput, CellsReferringToMissingPoints) {
    auto grid = HexGrid(1, 1, 1);
    vtkIdType tet[4] = {0, 1, 2, 8};
    grid->InsertNextCell(VTK_TETRA, 4, tet);
    WriteVtu(grid, dir + "/beyond.vtu");
    ExpectRefused(dir + "/beyond.vtu " + dir + "/out",
                  "cell 1 refers to point 8, but the grid has 8 points");
}

// A unit cube as a polyhedron whose face list `faces` may be broken.
vtkSmartPointer<vtkUnstructuredGrid> Polyhedron(std::vector<std::vector<vtkIdType>> faces) {
    auto grid = HexGrid(1, 1, 1);
    auto poly = vtkSmartPointer<vtkUnstructuredGrid>::New();
    poly->SetPoints(grid->GetPoints());
    std::vector<vtkIdType> stream, points = {0, 1, 2, 3, 4, 5, 6, 7};
    for (const auto& f : faces) {
        stream.push_back(static_cast<vtkIdType>(f.size()));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    poly->InsertNextCell(VTK_POLYHEDRON, 8, points.data(), static_cast<vtkIdType>(faces.size()),
                         stream.data());
    AddPointArray(poly, "Density", 1, [](const double*) { return std::array<double, 3>{1, 0, 0}; });
    return poly;
}

TEST_F(BadInput, BrokenPolyhedra) {
    // HexGrid numbers the cube's corners x fastest: 0 1 / 2 3 at the bottom, 4 5 / 6 7 on top.
    std::vector<std::vector<vtkIdType>> cube = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                                {1, 3, 7, 5}, {3, 2, 6, 7}, {2, 0, 4, 6}};
    const std::string fields = " --energy-constant 1 --momentum-constant 0,0,0";
    auto open = cube;
    open.pop_back();
    WriteVtu(Polyhedron(open), dir + "/open.vtu");
    ExpectRefused(dir + "/open.vtu " + dir + "/out" + fields,
                  "polyhedron 0: its faces leave an edge open (points ");
    auto flipped = cube;
    std::reverse(flipped[2].begin(), flipped[2].end());
    WriteVtu(Polyhedron(flipped), dir + "/flipped.vtu");
    ExpectRefused(dir + "/flipped.vtu " + dir + "/out" + fields,
                  "polyhedron 0: two of its faces run along the same edge the same way");
    auto beyond = cube;
    beyond[0][2] = 99;
    WriteVtu(Polyhedron(beyond), dir + "/beyond.vtu");
    ExpectRefused(dir + "/beyond.vtu " + dir + "/out" + fields,
                  "cell 0 refers to point 99, but the grid has 8 points");
    WriteVtu(Polyhedron({{0, 1, 1}, {2, 2, 2, 2}}), dir + "/empty.vtu");
    ExpectRefused(dir + "/empty.vtu " + dir + "/out" + fields,
                  "polyhedron 0: it has no face of three or more points");
    // The whole cube is fine.
    WriteVtu(Polyhedron(cube), dir + "/cube.vtu");
    EXPECT_EQ(Kavconvert(dir + "/cube.vtu " + dir + "/cube" + fields, &output), 0) << output;
}

TEST_F(BadInput, CellsWithoutSplit) {
    auto grid = HexGrid(1, 1, 1);
    vtkIdType ids[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    auto odd = vtkSmartPointer<vtkUnstructuredGrid>::New();
    odd->SetPoints(grid->GetPoints());
    odd->InsertNextCell(VTK_CONVEX_POINT_SET, 8, ids);
    WriteVtu(odd, dir + "/odd.vtu");
    ExpectRefused(
        dir + "/odd.vtu " + dir +
            "/out --density-constant 1 --energy-constant 1 "
            "--momentum-constant 0,0,0",
        "cell 0 is a vtkConvexPointSet (VTK cell type 41), which kavconvert cannot split");
}

TEST_F(BadInput, MultiblockWithoutVolume) {
    auto grid = HexGrid(2, 1, 1);
    std::vector<NamedPatch> patches = SidePatches(grid);
    WriteMultiBlock({}, patches, dir + "/patches.vtm");
    ExpectRefused(
        dir + "/patches.vtm " + dir + "/out",
        "patches.vtm: the multiblock file holds no volume (no unstructured grid among its "
        "6 blocks)");
    auto flat = vtkSmartPointer<vtkUnstructuredGrid>::New();
    flat->SetPoints(grid->GetPoints());
    vtkIdType quad[4] = {0, 1, 4, 3};
    flat->InsertNextCell(VTK_QUAD, 4, quad);
    WriteMultiBlock({flat, flat}, patches, dir + "/flat.vtm");
    ExpectRefused(dir + "/flat.vtm " + dir + "/out", "the grid has no 3D cells (2 cells read");
}

TEST_F(BadInput, NaNAndInfiniteValues) {
    WriteGrid("nan.vtu", std::numeric_limits<double>::quiet_NaN(), 0);
    ExpectRefused(dir + "/nan.vtu " + dir + "/out",
                  "1 input points have NaN or infinite values (Density: 1); the first is point 5");
    WriteGrid("inf.vtu", 1, kInf);
    ExpectRefused(dir + "/inf.vtu " + dir + "/out", "(Momentum z: 1, MomentumMag: 1)");
    // Finite inputs whose product overflows are refused as well.
    WriteGrid("huge.vtu", 1e300, 1e300);
    ExpectRefused(dir + "/huge.vtu " + dir + "/out --velocity Momentum",
                  "(Momentum z: 1, MomentumMag: 1)");
}

TEST_F(BadInput, MissingFieldNamesTheArraysPresent) {
    auto grid = HexGrid(1, 1, 1);
    AddPointArray(grid, "rho", 1, [](const double*) { return std::array<double, 3>{1, 0, 0}; });
    AddCellArray(grid, "U", 3, [](const double*) { return std::array<double, 3>{1, 0, 0}; });
    WriteVtu(grid, dir + "/noenergy.vtu");
    ExpectRefused(dir + "/noenergy.vtu " + dir + "/out",
                  "the grid has no energy array (point arrays: 'rho' (1); cell arrays: 'U' (3)). "
                  "Name one with --energy NAME or give --energy-constant VALUE.");
    ExpectRefused(dir + "/noenergy.vtu " + dir + "/out --energy-constant 1 --momentum rho",
                  "the array 'rho' for the momentum has 1 components; it needs 3");
    ExpectRefused(dir + "/noenergy.vtu " + dir + "/out --energy rho --density p",
                  "the grid has no density 'p' array");
}

TEST_F(BadInput, CountsBeyondThirtyTwoBits) {
    EXPECT_NO_THROW(kav::CheckCount(kav::kMaxCount, "points"));
    try {
        kav::CheckCount(kav::kMaxCount + 1, "points");
        ADD_FAILURE() << "2^32 points accepted";
    } catch (const kav::ConvertError& e) {
        EXPECT_STREQ(e.what(),
                     "the mesh has 4294967296 points, more than the 4294967295 that the viewer's "
                     "32-bit counts can hold");
    }
}

TEST_F(BadInput, DamagedViewerFiles) {
    std::string kav = dir + "/kav";
    RunCommand("mkdir " + kav, &output);
    VolumeBytes v;
    v.vertices = {MakeVertex(0, 0, 0), MakeVertex(1, 0, 0), MakeVertex(0, 1, 0)};
    v.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3}});  // vertex 3 does not exist
    WriteFile(kav + "/volume.kav", v.Bytes());
    EXPECT_EQ(Kavconvert("--to-vtu " + kav + " " + dir + "/out/v.vtu", &output), 1);
    EXPECT_NE(output.find("volume.kav: tetrahedron 0 of a block refers to a vertex beyond the 3 "
                          "vertices"),
              std::string::npos)
        << output;
    std::string bytes = v.Bytes();
    WriteFile(kav + "/volume.kav", bytes.substr(0, bytes.size() - 3));
    EXPECT_EQ(Kavconvert("--to-vtu " + kav + " " + dir + "/out/v.vtu", &output), 1);
    EXPECT_NE(output.find("a block of 1 tetrahedra at offset 368 runs past the end of the file"),
              std::string::npos)
        << output;
    WriteFile(kav + "/volume.kav", "SKAB" + bytes.substr(4));
    EXPECT_EQ(Kavconvert("--to-vtu " + kav + " " + dir + "/out/v.vtu", &output), 1);
    EXPECT_NE(output.find("does not start with SKAV"), std::string::npos) << output;
    EXPECT_EQ(Kavconvert("--to-vtp " + kav + " " + dir + "/out/s.vtp", &output), 1);
    EXPECT_NE(output.find("surface-1.kav: No such file"), std::string::npos) << output;
    EXPECT_EQ(ListDir(dir + "/out"), (std::vector<std::string>{"surface-1.kav", "volume.kav"}));
}

TEST(Options, MistakesAreRefusedWithTheUsage) {
    auto refused = [](std::vector<std::string> args, const char* message) {
        try {
            kav::ParseOptions(args);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const kav::ConvertError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("usage:"), std::string::npos);
        }
    };
    refused({"in.vtu"}, "give one input and one output");
    refused({"in.vtu", "out", "--up", "w"}, "--up needs x, y or z, not 'w'");
    refused({"in.vtu", "out", "--block-size", "0"}, "--block-size needs a whole number");
    refused({"in.vtu", "out", "--density", "a", "--density-constant", "1"},
            "--density-constant: this field is already given");
    refused({"in.vtu", "out", "--momentum-constant", "1,2"}, "--momentum-constant needs X,Y,Z");
    refused({"in.vtu", "out", "--energy-constant", "nan"}, "needs a finite number");
    refused({"--to-vtu", "dir", "out.vtu", "--up", "z"}, "apply only to the first form");
    refused({"in.vtu", "out", "--colour", "red"}, "unknown option '--colour'");

    refused({"in.vtu", "out", "--velocity", "U", "--momentum-constant", "1,2,3"},
            "--momentum-constant: this field is already given");
    kav::Options o = kav::ParseOptions({"in.vtu", "out", "--velocity", "U", "--up", "Z"});
    EXPECT_EQ(o.up, 2);
    EXPECT_EQ(o.momentum.name, "U");
    EXPECT_TRUE(o.momentumFromVelocity);
}
