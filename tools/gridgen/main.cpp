// gridgen: writes the benchmark volume, a grid of unit cubes carrying a smooth analytic flow.
//
//   gridgen OUTDIR [--grid N] [--blocks B]
//
// OUTDIR receives volume.kav (N^3 cubes, six tetrahedra each, in B^3 blocks; by default
// N = 100 and B = 7: 6,000,000 tetrahedra in 343 blocks) and surface-1.kav .. surface-4.kav,
// the grid's boundary, so that the viewer opens the folder. Every run with the same options
// writes the same bytes.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tools/gridgen/flowfield.h"
#include "tools/gridgen/gridmesh.h"
#include "tools/kavconvert/kavfiles.h"

namespace {

// Beyond this the tetrahedra alone outgrow the memory of a desktop (6 * 300^3 * 16 bytes
// is 2.6 GB).
const int kMaxCells = 300;

const char kUsage[] =
    "usage: gridgen OUTDIR [--grid N] [--blocks B]\n"
    "  writes OUTDIR/volume.kav, N^3 unit cubes of six tetrahedra in B^3 blocks\n"
    "  (default N = 100, B = 7), and the boundary surfaces surface-1.kav .. surface-4.kav\n";

struct Options {
    std::string outdir;
    GridShape shape;
};

[[noreturn]] void UsageError(const std::string& problem) {
    std::fprintf(stderr, "gridgen: %s\n%s", problem.c_str(), kUsage);
    std::exit(2);
}

// A whole decimal number in [lo, hi], or a usage error naming `option`.
int ParseCount(const char* text, const char* option, int lo, int hi) {
    errno = 0;
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || n < lo || n > hi) {
        UsageError(std::string(option) + " needs a whole number from " + std::to_string(lo) +
                   " to " + std::to_string(hi) + ", not '" + text + "'");
    }
    return int(n);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--grid" || arg == "--blocks") {
            if (i + 1 == argc) UsageError(arg + " needs a value");
            int& target = arg == "--grid" ? o.shape.cells : o.shape.blocks;
            target = ParseCount(argv[++i], arg.c_str(), 1, kMaxCells);
        } else if (arg.empty() || arg[0] == '-') {
            UsageError("unknown option '" + arg + "'");
        } else if (!o.outdir.empty()) {
            UsageError("more than one output folder given");
        } else {
            o.outdir = arg;
        }
    }
    if (o.outdir.empty()) UsageError("no output folder given");
    if (o.shape.blocks > o.shape.cells) UsageError("more blocks per axis than cubes");
    return o;
}

void Say(const std::string& line) {
    std::printf("gridgen: %s\n", line.c_str());
    std::fflush(stdout);
}

void Write(const Options& o) {
    std::error_code ec;
    std::filesystem::create_directories(o.outdir, ec);
    if (!std::filesystem::is_directory(o.outdir, ec))
        throw kav::ConvertError("cannot create the folder " + o.outdir);
    const std::string dir = o.outdir + "/";
    const FlowField field(o.shape.cells);

    kav::OutputSet output;
    kav::TetMesh mesh;
    mesh.vertices = GridNodes(o.shape, field);
    std::vector<kav::BlockSpan> blocks;
    mesh.tets = GridTetrahedra(o.shape, &blocks);
    Say(std::to_string(mesh.vertices.size()) + " vertices, " + std::to_string(mesh.tets.size()) +
        " tetrahedra in " + std::to_string(blocks.size()) + " blocks");
    kav::WriteVolume(output.Add(dir + "volume.kav"), mesh, blocks);
    const auto surfaces = GridSurfaces(o.shape, mesh.vertices);
    Vertex lo, hi;  // every surface carries the volume's field ranges
    kav::Extremes(mesh.vertices, &lo, &hi);
    for (int role = 0; role < kSurfaceCount; ++role) {
        const std::string name = SurfaceFileName(role);
        kav::WriteSurface(output.Add(dir + name), surfaces[role], lo, hi);
        Say(name + ": " + std::to_string(surfaces[role].faces.size()) + " triangles (" +
            kav::kRoleNames[role] + ")");
    }
    output.Commit();
    Say("wrote " + dir + "volume.kav and its four surfaces");
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    try {
        Write(options);
    } catch (const kav::ConvertError& e) {
        std::fprintf(stderr, "gridgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
