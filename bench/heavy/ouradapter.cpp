#include "bench/heavy/ouradapter.h"

#include <cmath>

#include "volume/marchingtetra.h"
#include "volume/parallel.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"

namespace {

double TriangleArea(const double* a, const double* b, const double* c) {
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) u[k] = b[k] - a[k], v[k] = c[k] - a[k];
    double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2],
           z = u[0] * v[1] - u[1] * v[0];
    return 0.5 * std::sqrt(x * x + y * y + z * z);
}

}  // namespace

// The volume with one store and one searcher, kept from one run to the next as the app keeps
// them, so that later runs reuse the store's memory and the searcher's caches.
struct OurSide::State {
    int threads = 1;
    TetrahedralVolume volume;
    TriangleStore surface;
    std::unique_ptr<PointLocator> locator;
    std::vector<PathLine> lines;
};

OurSide::OurSide() : state(new State) {}

OurSide::~OurSide() = default;

bool OurSide::Load(const std::string& volumePath) {
    if (!state->volume.ReadFile(volumePath.c_str(), Console(), state->threads).Loaded())
        return false;
    state->locator = std::make_unique<PointLocator>(state->volume);
    return !state->volume.GetBlocks().empty();
}

uint64_t OurSide::Tetrahedra() const {
    uint64_t count = 0;
    for (const Block& b : state->volume.GetBlocks()) count += b.num_Tetra;
    return count;
}

int OurSide::Blocks() const {
    return (int)state->volume.GetBlocks().size();
}

uint32_t OurSide::Vertices() const {
    return state->volume.GetNumPoints();
}

void OurSide::Range(BenchField field, double* range) const {
    state->volume.GetRange(FieldVar(field), range);
}

bool OurSide::SetThreads(int threads) {
    state->threads = threads;
    return true;
}

int OurSide::AllThreads() {
    return DefaultThreads();
}

void OurSide::Extract(BenchField field, double value) {
    ExtractIsosurface(state->volume, FieldVar(field), value, &state->surface, Console(), nullptr,
                      state->threads);
}

uint64_t OurSide::TriangleCount() const {
    return state->surface.Size();
}

double OurSide::SurfaceArea() const {
    double area = 0;
    for (size_t i = 0; i < state->surface.Size(); ++i) {
        const Triangle& t = state->surface[i];
        area += TriangleArea(t.point[0], t.point[1], t.point[2]);
    }
    return area;
}

std::vector<Point> OurSide::DrawSeeds(const Point& source, double radius, int count) const {
    RandomSequence random;  // from its first draw, as at the start of the program
    std::vector<Point> seeds;
    for (int i = 0; i < count; ++i) seeds.push_back(DrawSeed(random, source.data(), radius));
    return seeds;
}

void OurSide::TraceLines(const Point& source, double radius, int count) {
    std::vector<Seed> seeds;
    for (const Point& p : DrawSeeds(source, radius, count)) seeds.push_back(p);
    TracePathLines(state->locator.get(), seeds, &state->lines, Console(), nullptr, state->threads);
}

std::vector<std::vector<Point>> OurSide::Lines() const {
    std::vector<std::vector<Point>> lines;
    for (const PathLine& line : state->lines) {
        lines.emplace_back();
        for (const Particle& p : line.Points()) {
            lines.back().push_back({p.position[0], p.position[1], p.position[2]});
        }
    }
    return lines;
}

int OurSide::MaxSteps() {
    return 10001;
}
