#include "tools/kavconvert/convert.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "tools/kavconvert/blocks.h"
#include "tools/kavconvert/boundary.h"
#include "tools/kavconvert/fields.h"
#include "tools/kavconvert/kavfiles.h"
#include "tools/kavconvert/pieces.h"
#include "tools/kavconvert/tetrahedra.h"
#include "tools/kavconvert/vertices.h"
#include "tools/kavconvert/vtkinput.h"
#include "tools/kavconvert/vtkoutput.h"

namespace kav {

namespace {

std::string Join(const std::string& dir, const std::string& name) {
    return (std::filesystem::path(dir) / name).string();
}

void MakeDirectory(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec))
        throw ConvertError("cannot create the directory " + dir);
}

// The viewer's mesh, and the surfaces that the input's patches give its boundary triangles.
struct LoadedMesh {
    TetMesh mesh;
    RoleMap roles;
};

// Reads the input and turns it into the viewer's mesh; the VTK data are gone afterwards.
LoadedMesh LoadMesh(const Options& o, ConversionReport* report) {
    CellCounts* counts = &report->cells;
    std::printf("-> Reading %s\n", o.input.c_str());
    std::fflush(stdout);
    InputData input = ReadInput(o.input);
    std::vector<int> roles = AssignRoles(input.patches, o);
    for (const auto& piece : input.pieces)
        counts->read += static_cast<uint64_t>(piece->GetNumberOfCells());
    vtkSmartPointer<vtkUnstructuredGrid> grid = MergePieces(input.pieces, counts);
    input.pieces.clear();
    std::printf("-> %lld points, %lld cells\n", (long long)grid->GetNumberOfPoints(),
                (long long)grid->GetNumberOfCells());
    CellSelection cells = SelectCells(grid, counts);
    FlowSources sources = ResolveFields(grid, cells, o);
    std::printf("-> Density: %s\n-> Energy: %s\n-> Momentum: %s%s\n",
                sources.density.origin.c_str(), sources.energy.origin.c_str(),
                sources.momentumFromVelocity ? "density x velocity from " : "",
                sources.momentum.origin.c_str());
    std::printf("-> Splitting %zu cells into tetrahedra\n", cells.ids.size());
    std::fflush(stdout);
    Coordinates xyz(grid->GetPoints());
    ExtraPoints extras;
    FaceSplitter faces(xyz, &extras);
    std::vector<Tet> tets = SplitCells(grid, cells, &faces, counts);
    OrientTetrahedra(faces, &tets, counts);
    if (tets.empty()) throw ConvertError("every 3D cell of the grid is flat");
    RoleMap named = PatchTriangles(input.patches, roles, xyz, &faces, &report->strayPatchFaces);
    std::vector<uint32_t> index;
    LoadedMesh loaded;
    loaded.mesh = BuildMesh(grid->GetPoints(), extras, std::move(tets), sources, o.up, &index);
    loaded.roles = Renumber(named, index);
    return loaded;
}

void PrintReport(const ConversionReport& r) {
    const CellCounts& c = r.cells;
    std::printf("Conversion report\n");
    std::printf("  cells read:            %llu\n", (unsigned long long)c.read);
    std::printf("  tetrahedra kept:       %llu\n", (unsigned long long)c.tetra);
    std::printf("  other 3D cells split:  %llu into %llu tetrahedra\n", (unsigned long long)c.split,
                (unsigned long long)c.fromSplit);
    std::printf("  centre points added:   %llu in cells, %llu in faces\n",
                (unsigned long long)c.centred, (unsigned long long)c.centredFaces);
    if (c.higherOrder > 0)
        std::printf("  higher-order cells:    %llu, taken by their corners\n",
                    (unsigned long long)c.higherOrder);
    if (c.unseen > 0 || c.unevenFaces > 0)
        std::printf(
            "  WARNING: %llu cells and %llu faces are not star-shaped around their centre;"
            " their tetrahedra may overlap\n",
            (unsigned long long)c.unseen, (unsigned long long)c.unevenFaces);
    std::printf("  reordered:             %llu tetrahedra, to a positive determinant\n",
                (unsigned long long)c.flipped);
    std::printf(
        "  dropped:               %llu 0D-2D cells, %llu ghost cells, %llu flat tetrahedra\n",
        (unsigned long long)c.lowerDim, (unsigned long long)c.ghost,
        (unsigned long long)c.degenerate);
    if (c.merged > 0)
        std::printf("  points merged:         %llu (same place as an earlier point)\n",
                    (unsigned long long)c.merged);
    std::printf("  vertices written:      %llu\n", (unsigned long long)r.vertices);
    std::printf("  tetrahedra written:    %llu\n", (unsigned long long)r.tetrahedra);
    std::printf("  blocks:                %llu of %u to %u tetrahedra",
                (unsigned long long)r.blocks, r.smallestBlock, r.largestBlock);
    std::printf(", %llu with a box overlapping another\n", (unsigned long long)r.overlappingBlocks);
    std::printf("  surface triangles:     %llu walls, %llu ceiling, %llu city, %llu floor\n",
                (unsigned long long)r.triangles[kSurfaceWalls],
                (unsigned long long)r.triangles[kSurfaceCeiling],
                (unsigned long long)r.triangles[kSurfaceCity],
                (unsigned long long)r.triangles[kSurfaceFloor]);
    if (r.patchTriangles > 0 || r.strayPatchFaces > 0)
        std::printf("  from named patches:    %llu triangles; %llu patch faces are no cell face\n",
                    (unsigned long long)r.patchTriangles, (unsigned long long)r.strayPatchFaces);
    std::printf("  x, y, z:               %g .. %g, %g .. %g, %g .. %g\n", r.minimum.point[0],
                r.maximum.point[0], r.minimum.point[1], r.maximum.point[1], r.minimum.point[2],
                r.maximum.point[2]);
    std::printf("  Density:               %g .. %g\n", r.minimum.Density, r.maximum.Density);
    std::printf("  Energy:                %g .. %g\n", r.minimum.Energy, r.maximum.Energy);
    std::printf("  MomentumMag:           %g .. %g\n", r.minimum.MomentumMag,
                r.maximum.MomentumMag);
}

void Summarise(const TetMesh& mesh, const std::vector<BlockSpan>& blocks, ConversionReport* r) {
    r->vertices = mesh.vertices.size();
    r->tetrahedra = mesh.tets.size();
    r->blocks = blocks.size();
    r->smallestBlock = r->largestBlock = blocks.front().count;
    for (const BlockSpan& b : blocks) {
        r->smallestBlock = std::min(r->smallestBlock, b.count);
        r->largestBlock = std::max(r->largestBlock, b.count);
    }
    r->overlappingBlocks = CountOverlappingBlocks(blocks);
    Extremes(mesh.vertices, &r->minimum, &r->maximum);
}

}  // namespace

ConversionReport ConvertToKav(const Options& o) {
    ConversionReport report;
    LoadedMesh loaded = LoadMesh(o, &report);
    TetMesh& mesh = loaded.mesh;
    std::printf("-> Forming blocks of up to %u tetrahedra\n", o.blockSize);
    std::fflush(stdout);
    std::vector<BlockSpan> blocks = Partition(&mesh, o.blockSize);
    Summarise(mesh, blocks, &report);
    std::printf("-> Finding the boundary\n");
    std::fflush(stdout);
    std::array<Surface, kSurfaceCount> surfaces = ExtractBoundary(mesh, loaded.roles);
    report.patchTriangles = loaded.roles.size();

    MakeDirectory(o.output);
    OutputSet output;
    WriteVolume(output.Add(Join(o.output, "volume.kav")), mesh, blocks);
    for (int r = 0; r < kSurfaceCount; ++r) {
        WriteSurface(output.Add(Join(o.output, SurfaceFileName(r))), surfaces[r], report.minimum,
                     report.maximum);
        report.triangles[r] = surfaces[r].faces.size();
    }
    output.Commit();
    PrintReport(report);
    return report;
}

void ListPatches(const Options& o) {
    PrintPatches(o.input, ReadInput(o.input).patches);
}

void ConvertToVtu(const Options& o) {
    KavVolume volume = ReadVolume(Join(o.input, "volume.kav"));
    WriteVolumeVtu(volume, o.output);
    std::printf("-> %s: %zu points, %zu tetrahedra in %zu blocks\n", o.output.c_str(),
                volume.mesh.vertices.size(), volume.mesh.tets.size(), volume.blocks.size());
}

void ConvertToVtp(const Options& o) {
    std::array<Surface, kSurfaceCount> surfaces;
    size_t triangles = 0;
    for (int r = 0; r < kSurfaceCount; ++r) {
        surfaces[r] = ReadSurface(Join(o.input, SurfaceFileName(r)));
        triangles += surfaces[r].faces.size();
    }
    WriteSurfacesVtp(surfaces, o.output);
    std::printf("-> %s: %zu triangles of the four surfaces\n", o.output.c_str(), triangles);
}

}  // namespace kav
