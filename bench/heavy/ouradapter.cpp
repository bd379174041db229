#include "bench/heavy/ouradapter.h"

#include <cmath>

#include "math/math.h"
#include "math/random.h"
#include "volume/isosurface.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/tetravolume.h"

namespace {

double TriangleArea(const double* a, const double* b, const double* c) {
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) u[k] = b[k] - a[k], v[k] = c[k] - a[k];
    double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2],
           z = u[0] * v[1] - u[1] * v[0];
    return 0.5 * std::sqrt(x * x + y * y + z * z);
}

}  // namespace

struct OurSide::State {
    TetrahedralVolume volume;
    Isosurface surface;
    PathLineGenerator lines;
};

OurSide::OurSide() : state(new State) {
    state->surface.SetVolume(&state->volume);
    state->lines.SetVolume(&state->volume);
    state->lines.Anchor(false);
}

OurSide::~OurSide() = default;

bool OurSide::Load(const std::string& volumePath) {
    state->volume.ReadFile(volumePath.c_str());
    return state->volume.GetFirstBlock() != nullptr;
}

uint64_t OurSide::Tetrahedra() const {
    uint64_t count = 0;
    for (const Block* b = state->volume.GetFirstBlock(); b; b = b->next) count += b->num_Tetra;
    return count;
}

int OurSide::Blocks() const {
    int count = 0;
    for (const Block* b = state->volume.GetFirstBlock(); b; b = b->next) ++count;
    return count;
}

uint32_t OurSide::Vertices() const {
    return state->volume.GetNumPoints();
}

void OurSide::Range(BenchField field, double* range) const {
    state->volume.GetRange(FieldVar(field), range);
}

bool OurSide::SetThreads(int threads) {
    return threads == 1;  // extraction and path lines run on the calling thread only
}

void OurSide::Extract(BenchField field, double value) {
    state->surface.SetField(FieldVar(field));
    state->surface.SetValue(value);
    state->surface.Generate();
}

uint64_t OurSide::TriangleCount() const {
    uint64_t count = 0;
    for (const Triangle* t = state->surface.GetFirstTriangle(); t; t = t->next) ++count;
    return count;
}

double OurSide::SurfaceArea() const {
    double area = 0;
    for (const Triangle* t = state->surface.GetFirstTriangle(); t; t = t->next) {
        area += TriangleArea(t->point[0], t->point[1], t->point[2]);
    }
    return area;
}

std::vector<Point> OurSide::DrawSeeds(const Point& source, double radius, int count) const {
    // The generator's own formula, with the generator's random numbers from their first.
    SeedRandom(1);
    std::vector<Point> seeds;
    for (int i = 0; i < count; ++i) {
        double distance = RandomInt() / (double)kRandomMax * radius;
        double direction[3];
        for (double& d : direction) d = RandomInt() / (double)kRandomMax;
        Normalize(direction);
        Point seed;
        for (int a = 0; a < 3; ++a) seed[a] = source[a] + distance * direction[a];
        seeds.push_back(seed);
    }
    return seeds;
}

void OurSide::TraceLines(const Point& source, double radius, int count) {
    state->lines.SetStart(source.data());
    state->lines.SetRadius(radius);
    state->lines.SetCount(count);
    SeedRandom(1);
    state->lines.Generate();
}

std::vector<std::vector<Point>> OurSide::Lines() const {
    std::vector<std::vector<Point>> lines;
    for (int i = 0; i < state->lines.GetLineCount(); ++i) {
        lines.emplace_back();
        for (const Particle* p = state->lines.GetLine(i).First(); p; p = p->next) {
            lines.back().push_back({p->position[0], p->position[1], p->position[2]});
        }
    }
    return lines;
}

int OurSide::MaxSteps() {
    return 10001;
}
