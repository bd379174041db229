#include "tools/batch/run.h"

#include <chrono>
#include <vector>

#include "tools/batch/polydata.h"
#include "volume/marchingtetra.h"
#include "volume/pathlinestarter.h"
#include "volume/pointlocator.h"

namespace {

// A line that ends by the length limit took one step more than it kept points for; one that
// ends by a failed lookup counts that step among its points.
const size_t kLongestLine = 10002;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Where the work's console lines go: straight out, or into `sink` to be dropped.
Console WorkConsole(const BatchOptions& o, std::string* sink) {
    return o.quiet ? Console(sink) : Console();
}

bool RunIso(const BatchSource& source, const BatchOptions& o, FILE* out, std::string* error) {
    uint64_t tetrahedra = 0;
    if (source.remote) {
        tetrahedra = source.remote->GetTetraCount();
    } else {
        for (const Block& b : source.volume->GetBlocks()) tetrahedra += b.num_Tetra;
    }
    TriangleStore triangles;
    for (int r = 0; r < o.repeat; ++r) {
        std::string sink;
        auto start = std::chrono::steady_clock::now();
        if (source.remote) {
            if (!source.remote->ExtractIsosurface(o.field, o.value, &triangles,
                                                  WorkConsole(o, &sink), nullptr, error))
                return false;
        } else {
            ExtractIsosurface(*source.volume, o.field, o.value, &triangles, WorkConsole(o, &sink),
                              nullptr, o.threads);
        }
        double seconds = SecondsSince(start);
        fflush(stdout);
        fprintf(out, "iso field=%s value=%.17g tetrahedra=%llu triangles=%zu seconds=%.6f\n",
                FieldName(o.field), o.value, (unsigned long long)tetrahedra, triangles.Size(),
                seconds);
        fflush(out);
    }
    return o.out.empty() || WriteTrianglesVtp(triangles, o.out, error);
}

bool RunPathLines(const BatchSource& source, const BatchOptions& o, FILE* out, std::string* error) {
    std::vector<PathLine> lines;
    for (int r = 0; r < o.repeat; ++r) {
        std::string sink;
        auto start = std::chrono::steady_clock::now();
        // A new generator each time: the seeds of a first "Generate".
        RandomSequence random;
        std::vector<Seed> seeds;
        for (int i = 0; i < o.count; ++i) seeds.push_back(DrawSeed(random, o.source, o.radius));
        if (source.remote) {
            if (!source.remote->TracePathLines(seeds, &lines, WorkConsole(o, &sink), nullptr,
                                               error))
                return false;
        } else {
            PointLocator locator(*source.volume);
            TracePathLines(&locator, seeds, &lines, WorkConsole(o, &sink), nullptr, o.threads);
        }
        double seconds = SecondsSince(start);
        size_t points = 0, steps = 0;
        for (const PathLine& line : lines) {
            size_t n = line.Points().size();
            points += n;
            steps += n == kLongestLine ? n - 1 : n;
        }
        fflush(stdout);
        fprintf(out, "pathlines lines=%zu points=%zu steps=%zu seconds=%.6f\n", lines.size(),
                points, steps, seconds);
        fflush(out);
    }
    return o.out.empty() || WriteLinesVtp(lines, o.out, error);
}

}  // namespace

bool RunBatch(const BatchSource& source, const BatchOptions& o, FILE* out, std::string* error) {
    return o.command == BatchOptions::Command::kIso ? RunIso(source, o, out, error)
                                                    : RunPathLines(source, o, out, error);
}
