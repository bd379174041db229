#include "volume/pathlinestarter.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "math/math.h"
#include "volume/parallel.h"
#include "volume/tetravolume.h"

Seed DrawSeed(RandomSequence& random, const double* source, double radius) {
    // A uniform draw in [0, 1] at the generator's resolution.
    auto unitDraw = [&random] { return random.Next() / (double)kRandomMax; };
    double deltaR = unitDraw() * radius;
    double vector[3];
    for (double& d : vector) d = unitDraw();
    Normalize(vector);
    Seed seed;
    for (int a = 0; a < 3; ++a) seed[a] = source[a] + deltaR * vector[a];
    return seed;
}

namespace {

// Lines that one thread traces side by side: enough lookups in flight to overlap their cache
// misses, few enough that their data stays in the cache between the stages.
const int kLinesInFlight = 16;

// One thread's share of the lines. It keeps up to kLinesInFlight lines in a ring of places
// and takes the next untraced line whenever a place comes free. Each tick does one lookup of
// one place; meanwhile the lookups of the other places are prefetched, a stage per tick, so
// that each stage's loads have a few lookups' time to arrive before the next stage reads
// them.
class LineGroup {
public:
    LineGroup(PointLocator* prototype, int inFlight, const std::vector<Seed>& seeds,
              std::vector<PathLine>* lines, OrderedConsole* output, Progress* progress,
              std::atomic<size_t>* next)
        : seeds(seeds), lines(*lines), output(*output), progress(progress), next(*next) {
        places.reserve(inFlight);
        for (int i = 0; i < inFlight; ++i) places.emplace_back(prototype);
    }

    void Run() {
        const size_t count = places.size();
        // Ticks between one stage of a lookup and the next.
        const size_t gap = std::max<size_t>(1, count / PointLocator::kPrefetchStages);
        // How many places before the current one each stage runs (no divisions in the loop).
        size_t behind[PointLocator::kPrefetchStages];
        for (int stage = 1; stage < PointLocator::kPrefetchStages; ++stage) {
            behind[stage] = (stage * gap) % count;
        }
        int active = 0;
        for (Place& place : places) active += Take(place);
        for (size_t p = 0; active > 0; p = p + 1 == count ? 0 : p + 1) {
            for (int stage = 1; stage < PointLocator::kPrefetchStages; ++stage) {
                const size_t e = p >= behind[stage] ? p - behind[stage] : p + count - behind[stage];
                if (places[e].active) places[e].Stage(stage);
            }
            Place& place = places[p];
            if (!place.active) continue;
            if (place.tracer.Advance()) {
                place.Stage(0);
                continue;
            }
            lines[place.number] = std::move(place.line);
            output.Finish(place.number, std::move(place.text));
            if (progress) ++progress->done;
            if (!Take(place)) --active;
            if (progress && progress->Cancelled()) return;  // unfinished lines are dropped
        }
    }

private:
    struct Place {
        explicit Place(PointLocator* prototype) {
            if (prototype) locator.reset(new PointLocator(*prototype));
        }
        void Stage(int stage) {
            if (locator) locator->Prefetch(stage, tracer.Query());
        }
        std::unique_ptr<PointLocator> locator;
        LineTracer tracer;
        // The line and its text are traced here, apart from other threads' data, and handed
        // over when the line ends.
        PathLine line;
        std::string text;
        size_t number = 0;
        bool active = false;
    };

    // Starts the next untraced line in `place`; false when there is none left.
    bool Take(Place& place) {
        place.active = false;
        if (progress && progress->Cancelled()) return false;
        const size_t i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= seeds.size()) return false;
        place.text.clear();
        Console console(&place.text);
        console.Print("Generating pathline %i\n", (int)i);
        if (place.locator) {
            place.locator->ResetCaches();
            place.locator->SetConsole(console);
        }
        place.line.SetStart(seeds[i].data());
        place.tracer.Begin(&place.line, place.locator.get(), console);
        place.number = i;
        place.active = true;
        place.Stage(0);
        return true;
    }

    const std::vector<Seed>& seeds;
    std::vector<PathLine>& lines;
    OrderedConsole& output;
    Progress* progress;
    std::atomic<size_t>& next;
    std::vector<Place> places;
};

}  // namespace

bool TracePathLines(PointLocator* locator, const std::vector<Seed>& seeds,
                    std::vector<PathLine>* lines, Console console, Progress* progress,
                    int threads) {
    lines->clear();
    lines->resize(seeds.size());
    if (progress) progress->total = seeds.size();
    OrderedConsole output(console, seeds.size());
    std::atomic<size_t> next{0};
    const size_t count = std::max<size_t>(seeds.size(), 1);
    const int workers = (int)std::min<size_t>(ResolveThreads(threads), count);
    const int inFlight = (int)std::min<size_t>(kLinesInFlight, (count + workers - 1) / workers);
    RunOnThreads(workers, [&](int) {
        LineGroup(locator, inFlight, seeds, lines, &output, progress, &next).Run();
    });
    // A cancellation keeps the lines finished before it, as their text was printed.
    lines->resize(output.Printed());
    return lines->size() == seeds.size();
}

PathLineGenerator::PathLineGenerator()
    : genStart{-405, 10, -405}, genCount(10), genRadius(50), ghost(false), anchored(true) {}

void PathLineGenerator::SetStart(const double* position) {
    for (int a = 0; a < 3; ++a) genStart[a] = position[a];
}

void PathLineGenerator::GetStart(double* position) const {
    for (int a = 0; a < 3; ++a) position[a] = genStart[a];
}

void PathLineGenerator::SetVolume(const TetrahedralVolume* vol) {
    locator = vol ? std::make_unique<PointLocator>(*vol) : nullptr;
}

std::vector<Seed> PathLineGenerator::DrawSeeds() {
    std::vector<Seed> seeds;
    for (int i = 0; i < genCount; ++i) seeds.push_back(DrawSeed(random, genStart, genRadius));
    return seeds;
}

void PathLineGenerator::Generate(Console console) {
    std::vector<PathLine> lines;
    TracePathLines(locator.get(), DrawSeeds(), &lines, console);
    SetLines(std::move(lines));
}
