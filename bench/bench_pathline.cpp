// Path lines through the demo city: the straightforward scan of a block's tetrahedra against
// the block index, side by side on the same volume.
//
// Usage: bench_pathline [benchmark flags] DIR...
// Each DIR holds a volume.kav written by citygen (e.g. `citygen DIR` or `citygen DIR --large`).
// Per volume: 100 path lines from a fixed source, seeded as the path line panel seeds them.
// Both searches trace the same lines once and are compared point for point and by their
// console output before anything is timed; then each is timed, as integration steps per
// second, and the ratio is printed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "math/random.h"
#include "volume/cellindex.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

namespace {

const int kLines = 100;
// Upwind of the city, low enough for the lines to pass between the buildings.
const double kSource[3] = {-450, 30, -100};

// Sends the viewer's console output to a file (or /dev/null) while it lives.
class Quiet {
public:
    explicit Quiet(FILE* to = nullptr) {
        fflush(stdout);
        saved = dup(1);
        int fd = to ? dup(fileno(to)) : open("/dev/null", O_WRONLY);
        dup2(fd, 1);
        close(fd);
    }
    ~Quiet() {
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }

private:
    int saved;
};

struct Dataset {
    std::string name;
    std::unique_ptr<TetrahedralVolume> volume;
    std::vector<PathLine> lines;
};

// Steps attempted by the current lines, as each line reports them: every point but the seed
// is a step, plus the failed step that ended the line, unless the length limit ended it.
long Steps(const Dataset& d) {
    long steps = 0;
    for (const PathLine& line : d.lines) {
        long points = (long)line.Points().size();
        steps += points == 10002 ? 10001 : points;
    }
    return steps;
}

// The same seeds on every run, as a new path line generator draws them, traced by a new
// searcher: the lines of a first "Generate".
void Generate(Dataset& d, bool reference) {
    PointLocator locator(*d.volume);
    locator.SetReferenceScan(reference);
    RandomSequence random;
    std::vector<Seed> seeds;
    for (int i = 0; i < kLines; ++i) seeds.push_back(DrawSeed(random, kSource, 50));
    TracePathLines(&locator, seeds, &d.lines);
}

// Every line's points in order, each line closed by its point count.
std::vector<double> Points(const Dataset& d) {
    std::vector<double> out;
    for (const PathLine& line : d.lines) {
        for (const Particle& p : line.Points()) {
            out.insert(out.end(), p.position, p.position + 3);
        }
        out.push_back((double)line.Points().size());
    }
    return out;
}

// Memory of the block indices, against the tetrahedra they cover.
void PrintIndexMemory(const TetrahedralVolume& vol) {
    uint64_t bytes = 0, tetras = 0;
    for (size_t b = 0; b < vol.GetBlocks().size(); ++b) {
        bytes += vol.GetCellIndex(b).MemoryBytes();
        tetras += vol.GetBlocks()[b].num_Tetra;
    }
    printf(
        "  indices of all %zu blocks: %.1f MiB, %.1f bytes per tetrahedron "
        "(the tetrahedron array itself holds %zu)\n",
        vol.GetBlocks().size(), bytes / (1024.0 * 1024.0), tetras ? (double)bytes / tetras : 0.0,
        sizeof(Tetra));
}

std::string Transcript(FILE* f) {
    fflush(f);
    std::string text(ftell(f), '\0');
    rewind(f);
    if (fread(&text[0], 1, text.size(), f) != text.size()) text.clear();
    return text;
}

// Traces the lines with both searches; false when they differ in any point or message. The
// first run with the index also builds the index of every block the lines visit, so its
// time is reported on its own.
bool Verify(Dataset& d) {
    FILE* out[2] = {tmpfile(), tmpfile()};
    std::vector<double> points[2];
    double indexSeconds = 0;
    for (int reference = 1; reference >= 0; --reference) {
        clock_t start = clock();
        {
            Quiet quiet(out[reference]);
            Generate(d, reference);
        }
        if (!reference) indexSeconds = (clock() - start) / (double)CLOCKS_PER_SEC;
        points[reference] = Points(d);
    }
    bool same = points[0] == points[1] && Transcript(out[0]) == Transcript(out[1]);
    printf(
        "%s: %d lines, %ld steps, %zu points: %s; first run with the index, building it "
        "for the blocks visited: %.1f ms\n",
        d.name.c_str(), kLines, Steps(d), (points[0].size() - kLines) / 3,
        same ? "identical lines and console output" : "THE SEARCHES DIFFER", indexSeconds * 1e3);
    PrintIndexMemory(*d.volume);
    fclose(out[0]);
    fclose(out[1]);
    return same;
}

void BM_PathLines(benchmark::State& state, Dataset* d, bool reference) {
    long steps = 0;
    for (auto _ : state) {
        Quiet quiet;
        Generate(*d, reference);
        steps += Steps(*d);
    }
    state.counters["steps/s"] = benchmark::Counter((double)steps, benchmark::Counter::kIsRate);
}

// Prints the usual table, and keeps each run's rate for the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) rates[run.benchmark_name()] = run.counters.at("steps/s");
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: %s [benchmark flags] DIR...  (DIR holds a citygen volume.kav)\n",
                argv[0]);
        return 2;
    }
    std::vector<std::unique_ptr<Dataset>> sets;
    for (int i = 1; i < argc; ++i) {
        auto d = std::make_unique<Dataset>();
        d->name = argv[i];
        d->volume = std::make_unique<TetrahedralVolume>();
        {
            Quiet quiet;
            d->volume->ReadFile((d->name + "/volume.kav").c_str());
        }
        if (d->volume->GetBlocks().empty()) {
            fprintf(stderr, "%s: no volume loaded\n", d->name.c_str());
            return 1;
        }
        if (!Verify(*d)) return 1;
        for (bool reference : {true, false}) {
            std::string name = d->name + (reference ? "/reference_scan" : "/block_index");
            benchmark::RegisterBenchmark(name.c_str(), BM_PathLines, d.get(), reference)
                ->Unit(benchmark::kMillisecond);
        }
        sets.push_back(std::move(d));
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& d : sets) {
        auto scan = reporter.rates.find(d->name + "/reference_scan");
        auto index = reporter.rates.find(d->name + "/block_index");
        if (scan == reporter.rates.end() || index == reporter.rates.end()) continue;
        printf("%s: %.2f M steps/s with the index, %.3f M with the scan: %.0fx\n", d->name.c_str(),
               index->second / 1e6, scan->second / 1e6, index->second / scan->second);
    }
    benchmark::Shutdown();
    return 0;
}
