// citygen: writes the demo city that Velmora displays.
//
// The city is laid out in world units by a fixed-seed generator and snapped to a regular
// grid of cells. The wind through it is solved for on that grid (wind.h); the air cells are
// cut into tetrahedra carrying the flow at their corners (mesh.h, vertexrecords.h) and
// written with the four city surfaces (cityfiles.h). Every run writes the same bytes, with
// any number of threads: no clock and no library random numbers are involved.

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/citygen/cityfiles.h"
#include "tools/citygen/layout.h"
#include "tools/citygen/mesh.h"
#include "tools/citygen/options.h"
#include "tools/citygen/parallel.h"
#include "tools/citygen/vertexrecords.h"
#include "tools/citygen/wind.h"

using namespace citygen;

namespace {

// Prints one progress line on stdout at once, so a caller sees it while the tool runs.
void Say(const std::string& line) {
    std::printf("citygen: %s\n", line.c_str());
    std::fflush(stdout);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "citygen: %s\n", message.c_str());
    return 1;
}

bool MakeOutdir(const std::string& dir, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!ec && !std::filesystem::is_directory(dir, ec)) *error = "not a directory";
    if (ec) *error = ec.message();
    return error->empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    std::string error;
    if (!ParseOptions(argc, argv, &opt, &error)) return Fail(error + "\n" + kUsage);
    if (opt.help) {
        std::printf("%s\n", kUsage);
        return 0;
    }
    if (!MakeOutdir(opt.outdir, &error)) return Fail("cannot create " + opt.outdir + ": " + error);
    const ThreadLimit threads(opt.threads);

    const std::vector<Box> city = LayoutCity();
    const Grid g = MakeGrid(opt.cells, city);
    Say(std::to_string(city.size()) + " buildings on a " + std::to_string(g.n[0]) + "x" +
        std::to_string(g.n[1]) + "x" + std::to_string(g.n[2]) + " grid");
    const WindField wind = SolveWind(city, WindStages(opt.cells), Say);
    const std::vector<Record> records = VertexRecords(g, wind, WallAxes(g));

    Say("writing " + opt.outdir);
    CityCounts counts;
    if (!WriteCity(opt.outdir, g, records, &counts, &error)) return Fail(error);
    Say(std::to_string(counts.vertices) + " vertices, " + std::to_string(counts.tetras) +
        " tetrahedra, " + std::to_string(counts.blocks) + " blocks");
    const char* names[4] = {"walls", "ceiling", "buildings", "floor"};
    for (int s = 0; s < 4; ++s) {
        Say("surface-" + std::to_string(s + 1) + ".kav: " + std::to_string(counts.triangles[s]) +
            " triangles (" + names[s] + ")");
    }
    return 0;
}
