// bench_heavy: the heavy workloads side by side with VTK 9.1 in one run, on one volume.
//
//   bench_heavy DATADIR [--rounds N] [--source X Y Z] [--radius R] [--lines N]
//
// DATADIR holds the volume.kav that `gridgen DATADIR` writes (6,000,000 tetrahedra). For each
// field, the isosurface at the middle of the field's range as the file states it, extracted
// by the viewer and by vtkContour3DLinearGrid (one thread, no point merging, no normals); then
// path lines seeded as the path line panel seeds them (by default 100 lines within 20 units
// of (5, 53, 53)), traced by the viewer and by vtkStreamTracer (RK2, steps of one unit of
// time, one thread) with each of its two cell searches. The first run of each is reported on
// its own; then the best of ROUNDS runs (default 5; our path lines run 4 times a round). Both
// sides must do the same work: the same triangle counts and areas, the same seeds and line
// lengths, endpoints within 0.01; otherwise the exit status is 1.
#include <unistd.h>
#include <vtkSMPTools.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/heavy/measure.h"
#include "bench/heavy/ouradapter.h"
#include "bench/heavy/vtkside.h"
#include "bench/heavy/workload.h"
#include "tools/kavconvert/mesh.h"

namespace {

// Line endpoints closer than this (a hundredth of the volume's unit cells) count as the same.
// Both sides accept a point slightly outside a tetrahedron (the viewer within 0.001 in its
// weights, VTK within its own tolerance) and extrapolate the momentum from there, each by its
// own rule, which moves the lines apart by up to about 1e-3 over their 170 steps; VTK also
// stores its lines' points as floats.
const double kEndTolerance = 1e-2;
// The seeds themselves differ by the float rounding alone.
const double kSeedTolerance = 1e-5;
// Surface areas agree to this relative difference.
const double kAreaTolerance = 1e-9;
// Our path-line runs take milliseconds, where the host's noise moves a best of a few runs by
// several per cent: each round runs ours this many times (VTK's runs take 0.1 to 2 s).
const int kOurLineRunsPerRound = 4;

struct Options {
    std::string dir;
    int rounds = 5;
    Point source = {5, 53, 53};
    double radius = 20;
    int lines = 100;
};

[[noreturn]] void Usage(const std::string& problem) {
    fprintf(stderr,
            "bench_heavy: %s\n"
            "usage: bench_heavy DATADIR [--rounds N] [--source X Y Z] [--radius R] [--lines N]\n",
            problem.c_str());
    exit(2);
}

double Number(const char* text) {
    char* end = nullptr;
    double x = strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(x))
        Usage(std::string("bad number '") + text + "'");
    return x;
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto need = [&](int n) {
            if (i + n >= argc) Usage(arg + " needs " + std::to_string(n) + " value(s)");
        };
        if (arg == "--rounds") {
            need(1);
            o.rounds = (int)Number(argv[++i]);
            if (o.rounds < 1) Usage("--rounds needs at least 1");
        } else if (arg == "--source") {
            need(3);
            for (double& x : o.source) x = Number(argv[++i]);
        } else if (arg == "--radius") {
            need(1);
            o.radius = Number(argv[++i]);
        } else if (arg == "--lines") {
            need(1);
            o.lines = (int)Number(argv[++i]);
            if (o.lines < 1) Usage("--lines needs at least 1");
        } else if (arg[0] == '-' || !o.dir.empty()) {
            Usage("unexpected argument '" + arg + "'");
        } else {
            o.dir = arg;
        }
    }
    if (o.dir.empty()) Usage("no data folder given");
    return o;
}

// The report goes to the original standard output; the viewer's console lines, part of the
// work being timed, to /dev/null.
FILE* report = nullptr;

void SilenceConsole() {
    report = fdopen(dup(fileno(stdout)), "w");
    if (!report || !freopen("/dev/null", "w", stdout)) {
        perror("bench_heavy");
        exit(1);
    }
}

// The system's load average, so that a report shows whether other work shared the cores.
std::string LoadAverage() {
    char text[128] = "unknown";
    if (FILE* f = fopen("/proc/loadavg", "r")) {
        if (!fgets(text, sizeof text, f)) snprintf(text, sizeof text, "unknown");
        fclose(f);
    }
    std::string s = text;
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

double Rate(double work, double seconds) {
    return seconds > 0 ? work / seconds / 1e6 : 0;
}

// Runs `rounds` rounds, each of ours and theirs side by side, so that they find the caches
// alike; ours on one thread and on all take turns at going first.
template <typename One, typename All, typename Theirs>
void RunRounds(int rounds, bool parallel, One onOne, All onAll, Theirs theirs) {
    for (int r = 0; r < rounds; ++r) {
        if (!parallel) {
            onOne();
        } else if (r % 2 == 0) {
            onOne(), onAll();
        } else {
            onAll(), onOne();
        }
        theirs();
    }
}

// ---- Isosurfaces

bool RunIsosurfaces(const Options& o, OurSide& ours, VtkSide& vtk, int allThreads, bool parallel) {
    const double tetrahedra = (double)ours.Tetrahedra();
    fprintf(report,
            "\nIsosurface at the middle of each field's range: Mtets/s = tetrahedra per second, "
            "triangle storage included;\nfirst run, then the best of %d; faults = page faults of "
            "the first run / the last run\n",
            o.rounds);
    fprintf(report, "%-9s %11s %6s %9s | %8s %8s %8s %13s | %8s %8s %13s | %8s %8s %8s\n", "field",
            "value", "cut", "triangles", "ours 1st", "ours", "ours all", "faults", "VTK 1st", "VTK",
            "faults", "ours/VTK", "all/1", "all/VTK");
    bool same = true;
    for (int f = 0; f < kBenchFieldCount; ++f) {
        const BenchField field = BenchField(f);
        double range[2];
        ours.Range(field, range);
        const double value = 0.5 * (range[0] + range[1]);
        Runs mine, theirs, mineAll;
        ours.SetThreads(1);
        mine.first = Measure([&] { ours.Extract(field, value); });
        theirs.first = Measure([&] { vtk.Contour(field, value); });
        const uint64_t triangles = ours.TriangleCount(), vtkTriangles = vtk.TriangleCount(field);
        const double area = ours.SurfaceArea(), vtkArea = vtk.SurfaceArea(field);
        bool sameOnAll = true;
        auto onOne = [&] { mine.later.push_back(Measure([&] { ours.Extract(field, value); })); };
        auto onAll = [&] {
            ours.SetThreads(allThreads);
            mineAll.later.push_back(Measure([&] { ours.Extract(field, value); }));
            ours.SetThreads(1);
            // The same triangles in the same order sum to the same area, to the last bit.
            sameOnAll &= ours.TriangleCount() == triangles && ours.SurfaceArea() == area;
        };
        RunRounds(o.rounds, parallel, onOne, onAll,
                  [&] { theirs.later.push_back(Measure([&] { vtk.Contour(field, value); })); });
        const bool agree = triangles == vtkTriangles &&
                           std::fabs(area - vtkArea) <= kAreaTolerance * std::fabs(vtkArea);
        same &= agree && sameOnAll;
        char all[16] = "n/a", speedup[16] = "n/a", allVtk[16] = "n/a", faults[32], vtkFaults[32];
        if (parallel) {
            snprintf(all, sizeof all, "%.1f", Rate(tetrahedra, mineAll.Best()));
            snprintf(speedup, sizeof speedup, "%.2fx", mine.Best() / mineAll.Best());
            snprintf(allVtk, sizeof allVtk, "%.2fx", theirs.Best() / mineAll.Best());
        }
        snprintf(faults, sizeof faults, "%ld/%ld", mine.first.faults, mine.LastFaults());
        snprintf(vtkFaults, sizeof vtkFaults, "%ld/%ld", theirs.first.faults, theirs.LastFaults());
        fprintf(report,
                "%-9s %11.7g %5.1f%% %9llu | %8.1f %8.1f %8s %13s | %8.1f %8.1f %13s | %7.2fx %8s "
                "%8s\n",
                kFieldNames[f], value, 100 * vtk.CutShare(field, value),
                (unsigned long long)triangles, Rate(tetrahedra, mine.first.seconds),
                Rate(tetrahedra, mine.Best()), all, faults, Rate(tetrahedra, theirs.first.seconds),
                Rate(tetrahedra, theirs.Best()), vtkFaults, theirs.Best() / mine.Best(), speedup,
                allVtk);
        fprintf(report, "%-9s   check: VTK %llu triangles, area ours %.9g VTK %.9g: %s\n", "",
                (unsigned long long)vtkTriangles, area, vtkArea, agree ? "same" : "DIFFERENT");
        if (parallel) {
            fprintf(report, "%-9s   check: ours on %d threads against 1, count and area: %s\n", "",
                    allThreads, sameOnAll ? "identical" : "DIFFERENT");
        }
    }
    return same;
}

// ---- Path lines

bool RunPathLines(const Options& o, OurSide& ours, VtkSide& vtk, int allThreads, bool parallel) {
    const std::vector<Point> seeds = ours.DrawSeeds(o.source, o.radius, o.lines);
    const int maxSteps = OurSide::MaxSteps();
    fprintf(report,
            "\nPath lines: %d seeded within %g of (%g, %g, %g); midpoint steps of one unit of "
            "time;\nfirst run (the viewer's first Generate after loading), then the best of %d "
            "(ours: of %d)\n",
            o.lines, o.radius, o.source[0], o.source[1], o.source[2], o.rounds,
            o.rounds * kOurLineRunsPerRound);
    Runs mine, mineAll, theirs[2];
    ours.SetThreads(1);
    mine.first = Measure([&] { ours.TraceLines(o.source, o.radius, o.lines); });
    const auto lines = ours.Lines();
    for (int l = 0; l < 2; ++l) {
        theirs[l].first = Measure([&] { vtk.Trace(VtkSide::Locator(l), seeds, maxSteps); });
    }
    bool sameOnAll = true;
    auto onOne = [&] {
        for (int k = 0; k < kOurLineRunsPerRound; ++k) {
            mine.later.push_back(Measure([&] { ours.TraceLines(o.source, o.radius, o.lines); }));
        }
    };
    auto onAll = [&] {
        ours.SetThreads(allThreads);
        for (int k = 0; k < kOurLineRunsPerRound; ++k) {
            mineAll.later.push_back(Measure([&] { ours.TraceLines(o.source, o.radius, o.lines); }));
            sameOnAll &= ours.Lines() == lines;
        }
        ours.SetThreads(1);
    };
    RunRounds(o.rounds, parallel, onOne, onAll, [&] {
        for (int l = 0; l < 2; ++l) {
            theirs[l].later.push_back(
                Measure([&] { vtk.Trace(VtkSide::Locator(l), seeds, maxSteps); }));
        }
    });
    // The seeds handed to VTK are those the viewer's lines start from, bit for bit.
    int seedsOff = lines.size() == seeds.size() ? 0 : (int)seeds.size();
    for (size_t i = 0; i < lines.size() && i < seeds.size(); ++i) {
        seedsOff += lines[i].empty() || lines[i].front() != seeds[i];
    }
    const long steps = StepsTaken(lines, maxSteps);
    long points = 0;
    for (const auto& line : lines) points += (long)line.size();
    fprintf(report, "%-28s %8s %10s %10s %14s %8s\n", "", "steps", "1st Mst/s", "Mst/s", "ours/VTK",
            "all/VTK");
    fprintf(report, "%-28s %8ld %10.3f %10.3f %12s\n", "ours, 1 thread (2 lookups/st)", steps,
            Rate(steps, mine.first.seconds), Rate(steps, mine.Best()), "");
    if (parallel) {
        // Its runs come after the first on one thread: none is a first Generate.
        fprintf(report, "%-28s %8ld %10s %10.3f   all/1 %.2fx\n",
                ("ours, " + std::to_string(allThreads) + " threads").c_str(), steps, "-",
                Rate(steps, mineAll.Best()), mine.Best() / mineAll.Best());
        fprintf(report, "%-28s   check: the lines on %d threads against 1, point for point: %s\n",
                "", allThreads, sameOnAll ? "identical" : "DIFFERENT");
    } else {
        fprintf(report, "%-28s %8s %10s %10s\n",
                ("ours, " + std::to_string(allThreads) + " threads").c_str(), "", "n/a", "n/a");
    }
    // VTK leaves out the last point of a line when it lies outside the mesh, and makes no line
    // for a seed outside; the viewer keeps that point (its step succeeded, the next one fails
    // at once) and makes a line of the seed alone.
    auto comparable = lines;
    int outside = 0;
    for (auto& line : comparable) {
        if (!line.empty() && !vtk.Inside(line.back())) line.pop_back(), ++outside;
    }
    const char* names[2] = {"VTK, point locator", "VTK, cell locator"};
    bool same = seedsOff == 0 && sameOnAll;
    fprintf(report, "%-28s   check: %d of %zu lines do not start at their seed%s\n", "", seedsOff,
            seeds.size(), seedsOff ? ": DIFFERENT" : "");
    for (int l = 0; l < 2; ++l) {
        const auto theirLines = vtk.Lines(VtkSide::Locator(l), seeds.size());
        const LineAgreement a = CompareLines(comparable, theirLines, kSeedTolerance);
        // The same steps as ours, when the lines agree.
        char allVtk[16] = "n/a";
        if (parallel) snprintf(allVtk, sizeof allVtk, "%.2fx", theirs[l].Best() / mineAll.Best());
        fprintf(report, "%-28s %8ld %10.3f %10.3f %7.2fx/%.2fx %8s\n", names[l], steps,
                Rate(steps, theirs[l].first.seconds), Rate(steps, theirs[l].Best()),
                theirs[l].first.seconds / mine.first.seconds, theirs[l].Best() / mine.Best(),
                allVtk);
        const bool agree =
            a.countMismatches == 0 && a.seedMismatches == 0 && a.endDistance <= kEndTolerance;
        same &= agree;
        fprintf(report,
                "%-28s   check: %d lines, %d differ in length, %d in the seed; endpoints "
                "within %.2g, points within %.2g: %s\n",
                "", a.lines, a.countMismatches, a.seedMismatches, a.endDistance, a.pointDistance,
                agree ? "same" : "DIFFERENT");
    }
    fprintf(report,
            "%-28s   (ours/VTK: first runs / best runs; %ld points in all, of which %d lie\n"
            "%-28s   outside the mesh, where the viewer keeps a line's last point and VTK not)\n",
            "", points, outside, "");
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    SilenceConsole();
    // VTK on one thread throughout, its locator and link builds included.
    vtkSMPTools::SetBackend("Sequential");
    const std::string path = o.dir + "/volume.kav";

    OurSide ours;
    // Loading derives the search data on every thread the viewer would use.
    const int allThreads = OurSide::AllThreads();
    const bool parallel = allThreads > 1 && ours.SetThreads(allThreads);
    Measurement load = Measure([&] {
        if (!ours.Load(path)) {
            fprintf(stderr, "bench_heavy: %s: no volume loaded\n", path.c_str());
            exit(1);
        }
    });
    VtkSide vtk;
    Measurement vtkLoad;
    try {
        vtkLoad = Measure([&] { vtk.Load(path); });
    } catch (const kav::ConvertError& e) {
        fprintf(stderr, "bench_heavy: %s\n", e.what());
        return 1;
    }
    ours.SetThreads(1);
    fprintf(report, "bench_heavy: %s: %llu tetrahedra in %d blocks, %u vertices\n", path.c_str(),
            (unsigned long long)ours.Tetrahedra(), ours.Blocks(), ours.Vertices());
    fprintf(report,
            "loading: ours %.2f s (on %d threads, search and extraction data included), VTK grid "
            "%.2f s; VTK SMP backend %s\n",
            load.seconds, parallel ? allThreads : 1, vtkLoad.seconds, vtkSMPTools::GetBackend());
    fprintf(report, "load average at the start: %s\n", LoadAverage().c_str());
    fprintf(report, "threads: ours 1 and all %d (VELMORA_THREADS): %s\n", allThreads,
            parallel ? "both measured" : "the viewer runs this work on one thread only, so n/a");

    bool same = RunIsosurfaces(o, ours, vtk, allThreads, parallel);
    same &= RunPathLines(o, ours, vtk, allThreads, parallel);
    fprintf(report, "\nload average at the end: %s\n", LoadAverage().c_str());
    fprintf(report, "%s\n", same ? "both sides did the same work" : "THE SIDES DISAGREE");
    fclose(report);
    return same ? 0 : 1;
}
