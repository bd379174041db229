// citygen: writes the demo city that Velmora displays.
//
//   citygen OUTDIR [--small|--large]
//
// OUTDIR receives volume.kav, a tetrahedral mesh of the air around box buildings that
// carries a steady wind, and surface-1.kav .. surface-4.kav, the triangulated walls,
// ceiling, buildings and floor. The city is laid out in world units by a fixed-seed
// generator, then snapped to a regular grid of cells; the air cells are cut into
// tetrahedra. The wind is a potential flow around the buildings, solved by successive
// over-relaxation on the grid nodes, with a boundary-layer profile of height. Every run
// writes the same bytes: no clock and no library random numbers are involved.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------
// Domain and flow constants

// The domain box in world units, indexed by axis (x, y, z); y is up, the floor is y = 0.
constexpr double kLo[3] = {-500.0, 0.0, -500.0};
constexpr double kHi[3] = {500.0, 250.0, 500.0};

constexpr double kWind = 2.5;         // free-stream speed U along +x, units per second
constexpr double kAmbient = 20.0;     // pressure p0 where the speed is U; keeps p > 0
constexpr double kGamma = 1.4;        // ratio of specific heats of air
constexpr double kProfileLift = 5.0;  // height offset of the boundary-layer profile, units
constexpr double kProfileExp = 0.2;   // power-law exponent of the boundary-layer profile
constexpr double kOmega = 1.9;        // over-relaxation factor of the wind solver
constexpr int kChunk = 16;            // edge of a volume block, in cells

using Index = std::array<int, 3>;  // a node or cell position (i, j, k)
using Vec3 = std::array<double, 3>;

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints one progress line on stdout at once, so a caller sees it while the tool runs.
void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
    std::fflush(stdout);
}

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "citygen: %s\n", message.c_str());
    std::exit(1);
}

// ---------------------------------------------------------------------------------------
// Random numbers: splitmix64, small and the same on every platform.

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [lo, hi), from the top 53 bits.
    double uniform(double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(next() >> 11) * 0x1.0p-53;
    }

    // Uniform integer in [lo, hi].
    int range(int lo, int hi) { return lo + static_cast<int>(next() % uint64_t(hi - lo + 1)); }

private:
    uint64_t state_;
};

// ---------------------------------------------------------------------------------------
// City layout, in world units

struct Box {
    Vec3 lo, hi;
};

constexpr double kMargin = 100.0;  // free ground between the buildings and the domain sides
constexpr double kStreet = 20.0;   // least distance between two buildings

Box random_building(Rng& rng) {
    const double width = rng.uniform(40.0, 150.0);
    const double depth = rng.uniform(40.0, 150.0);
    const double tall = rng.uniform(0.0, 1.0);
    const double height = 30.0 + 170.0 * tall * tall;  // mostly low blocks, a few towers
    const double x = rng.uniform(kLo[0] + kMargin, kHi[0] - kMargin - width);
    const double z = rng.uniform(kLo[2] + kMargin, kHi[2] - kMargin - depth);
    return Box{{x, 0.0, z}, {x + width, height, z + depth}};
}

// True when b keeps a street's distance from every building already placed.
bool fits(const Box& b, const std::vector<Box>& city) {
    for (const Box& other : city) {
        const bool apart_x = b.hi[0] + kStreet <= other.lo[0] || other.hi[0] + kStreet <= b.lo[0];
        const bool apart_z = b.hi[2] + kStreet <= other.lo[2] || other.hi[2] + kStreet <= b.lo[2];
        if (!apart_x && !apart_z) return false;
    }
    return true;
}

// The buildings, by rejection sampling from a fixed seed: the same city at every size.
std::vector<Box> layout_city() {
    Rng rng(0x76656c6d6f7261ULL);
    const size_t wanted = static_cast<size_t>(rng.range(28, 36));
    std::vector<Box> city;
    for (int attempt = 0; attempt < 10000 && city.size() < wanted; ++attempt) {
        const Box b = random_building(rng);
        if (fits(b, city)) city.push_back(b);
    }
    return city;
}

// ---------------------------------------------------------------------------------------
// The grid of cells; nodes are the cell corners.

struct Grid {
    Index n;                       // cells per axis
    Vec3 h;                        // cell size per axis, world units
    std::array<size_t, 3> stride;  // node index step per axis
    std::vector<uint8_t> solid;    // per cell: 1 inside a building

    size_t nodes() const { return stride[2] * size_t(n[2] + 1); }
    size_t node(const Index& p) const { return p[0] + stride[1] * p[1] + stride[2] * p[2]; }
    size_t cell(const Index& c) const { return c[0] + size_t(n[0]) * (c[1] + size_t(n[1]) * c[2]); }
    double coord(int axis, int i) const { return kLo[axis] + h[axis] * i; }

    // False outside the grid, so the domain's faces behave like solid walls.
    bool air(const Index& c) const {
        for (int a = 0; a < 3; ++a) {
            if (c[a] < 0 || c[a] >= n[a]) return false;
        }
        return !solid[cell(c)];
    }

    Index node_position(size_t id) const {
        return {int(id % stride[1]), int(id / stride[1] % (n[1] + 1)), int(id / stride[2])};
    }
};

// Cell range [first, last) on `axis` after moving the faces lo and hi to their nearest grid
// lines; a building thinner than a cell keeps the cell around its middle. The layout keeps
// every building inside the grid with air above it at all sizes used.
std::pair<int, int> snap(const Grid& g, int axis, double lo, double hi) {
    const double scale = 1.0 / g.h[axis];
    int first = int(std::lround((lo - kLo[axis]) * scale));
    int last = int(std::lround((hi - kLo[axis]) * scale));
    if (last <= first) {
        first = int(std::floor((0.5 * (lo + hi) - kLo[axis]) * scale));
        last = first + 1;
    }
    return {first, last};
}

void fill_building(Grid& g, const Box& b) {
    std::array<std::pair<int, int>, 3> r;
    for (int a = 0; a < 3; ++a) r[a] = snap(g, a, b.lo[a], b.hi[a]);
    Index c;
    for (c[2] = r[2].first; c[2] < r[2].second; ++c[2]) {
        for (c[1] = r[1].first; c[1] < r[1].second; ++c[1]) {
            for (c[0] = r[0].first; c[0] < r[0].second; ++c[0]) g.solid[g.cell(c)] = 1;
        }
    }
}

Grid make_grid(const Index& n, const std::vector<Box>& city) {
    Grid g;
    g.n = n;
    for (int a = 0; a < 3; ++a) g.h[a] = (kHi[a] - kLo[a]) / n[a];
    g.stride = {1, size_t(n[0] + 1), size_t(n[0] + 1) * size_t(n[1] + 1)};
    g.solid.assign(size_t(n[0]) * n[1] * n[2], 0);
    for (const Box& b : city) fill_building(g, b);
    return g;
}

// ---------------------------------------------------------------------------------------
// Wind: potential flow phi with laplace(phi) = 0 in the air, phi = U x on the upwind and
// downwind faces, zero normal flux on every other wall.
//
// The Laplacian is the vertex-centred finite-volume one: the link between two neighbouring
// nodes conducts (air cells among the four cells around that edge) / 4 / h^2. A link is
// open when any of those cells is air; the walls of the buildings and of the domain get
// exactly zero flux, and a node without open links lies inside a building.

struct Links {
    std::array<std::vector<double>, 3> up;  // conductance of the link node -> node + e_axis
    std::vector<double> total;              // summed conductance of each node's links
    std::vector<double> none;               // zeros, stand-in for links across the grid faces

    double lower(const Grid& g, const Index& p, size_t id, int axis) const {
        return p[axis] > 0 ? up[axis][id - g.stride[axis]] : 0.0;
    }
    double upper(size_t id, int axis) const { return up[axis][id]; }
};

double link_conductance(const Grid& g, const Index& p, int axis) {
    if (p[axis] == g.n[axis]) return 0.0;
    const int t1 = (axis + 1) % 3, t2 = (axis + 2) % 3;
    int air = 0;
    for (int d1 = -1; d1 <= 0; ++d1) {
        for (int d2 = -1; d2 <= 0; ++d2) {
            Index c = p;
            c[t1] += d1;
            c[t2] += d2;
            air += g.air(c);
        }
    }
    return air / (4.0 * g.h[axis] * g.h[axis]);
}

Links make_links(const Grid& g) {
    Links l;
    for (auto& w : l.up) w.resize(g.nodes());
    for (size_t id = 0; id < g.nodes(); ++id) {
        const Index p = g.node_position(id);
        for (int a = 0; a < 3; ++a) l.up[a][id] = link_conductance(g, p, a);
    }
    l.total.assign(g.nodes(), 0.0);
    for (size_t id = 0; id < g.nodes(); ++id) {
        const Index p = g.node_position(id);
        for (int a = 0; a < 3; ++a) l.total[id] += l.lower(g, p, id, a) + l.upper(id, a);
    }
    l.none.assign(size_t(g.n[0] + 1), 0.0);
    return l;
}

// One neighbour direction of a row of nodes: its potentials and link conductances, both
// indexed by i. Across a grid face the conductances are zeros and the potentials are the
// row itself, so the inner loop needs no bounds tests.
struct Neighbour {
    const double* phi;
    const double* w;
};

std::array<Neighbour, 6> row_neighbours(const Grid& g, const Links& l, const double* phi, int j,
                                        int k) {
    const size_t row = g.node({0, j, k});
    const size_t sy = g.stride[1], sz = g.stride[2];
    const double* none = l.none.data();
    return {{{phi + row - 1, l.up[0].data() + row - 1},
             {phi + row + 1, l.up[0].data() + row},
             {j > 0 ? phi + row - sy : phi + row, j > 0 ? l.up[1].data() + row - sy : none},
             {j < g.n[1] ? phi + row + sy : phi + row, l.up[1].data() + row},
             {k > 0 ? phi + row - sz : phi + row, k > 0 ? l.up[2].data() + row - sz : none},
             {k < g.n[2] ? phi + row + sz : phi + row, l.up[2].data() + row}}};
}

// One red-black half sweep: relaxes the interior nodes with (i + j + k) % 2 == colour.
// The faces x = min and x = max hold their fixed potential; nodes without open links are
// inside buildings and keep theirs.
void relax_colour(const Grid& g, const Links& l, std::vector<double>& phi, int colour) {
    for (int k = 0; k <= g.n[2]; ++k) {
        for (int j = 0; j <= g.n[1]; ++j) {
            const auto nb = row_neighbours(g, l, phi.data(), j, k);
            double* row = phi.data() + g.node({0, j, k});
            const double* total = l.total.data() + g.node({0, j, k});
            for (int i = 1 + ((1 + j + k + colour) & 1); i < g.n[0]; i += 2) {
                if (total[i] == 0.0) continue;
                double flux = 0.0;
                for (const Neighbour& n : nb) flux += n.w[i] * n.phi[i];
                row[i] += kOmega * (flux / total[i] - row[i]);
            }
        }
    }
}

std::vector<double> free_stream(const Grid& g) {
    std::vector<double> phi(g.nodes());
    for (size_t id = 0; id < g.nodes(); ++id) {
        phi[id] = kWind * g.coord(0, int(id % g.stride[1]));
    }
    return phi;
}

// Trilinear interpolation of a coarser grid's potential at the fine grid's nodes, as the
// starting guess there; the fixed faces are reset to their exact values.
std::vector<double> refine(const Grid& coarse, const std::vector<double>& phi, const Grid& g) {
    std::vector<double> out = free_stream(g);
    for (size_t id = 0; id < g.nodes(); ++id) {
        const Index p = g.node_position(id);
        if (p[0] == 0 || p[0] == g.n[0]) continue;
        Index base;
        Vec3 t;
        for (int a = 0; a < 3; ++a) {
            const double u = (g.coord(a, p[a]) - kLo[a]) / coarse.h[a];
            base[a] = std::min(int(u), coarse.n[a] - 1);
            t[a] = u - base[a];
        }
        double sum = 0.0;
        for (int corner = 0; corner < 8; ++corner) {
            Index q = base;
            double weight = 1.0;
            for (int a = 0; a < 3; ++a) {
                const int bit = (corner >> a) & 1;
                q[a] += bit;
                weight *= bit ? t[a] : 1.0 - t[a];
            }
            sum += weight * phi[coarse.node(q)];
        }
        out[id] = sum;
    }
    return out;
}

// Sweeps per level: the coarsest level starts from the free stream and needs many; finer
// levels start from the interpolated coarser solution and mostly fix local detail. These
// counts leave the momentum within about 0.1% of a ten times longer solve.
int sweeps_for(const Grid& g, bool coarsest) {
    return coarsest ? 40 * g.n[0] : 12 * g.n[0];
}

bool can_coarsen(const Grid& g) {
    return g.n[0] % 2 == 0 && g.n[1] % 2 == 0 && g.n[1] >= 16;
}

// Solves for the potential on g, starting from the solution on a grid half as fine when g
// is fine enough to have one; the buildings are snapped anew at each level.
std::vector<double> solve_potential(const Grid& g, const std::vector<Box>& city) {
    std::vector<double> phi;
    const bool coarsest = !can_coarsen(g);
    if (coarsest) {
        phi = free_stream(g);
    } else {
        const Grid coarse = make_grid({g.n[0] / 2, g.n[1] / 2, g.n[2] / 2}, city);
        phi = refine(coarse, solve_potential(coarse, city), g);
    }
    const Links l = make_links(g);
    const int sweeps = sweeps_for(g, coarsest);
    for (int it = 1; it <= sweeps; ++it) {
        relax_colour(g, l, phi, 0);
        relax_colour(g, l, phi, 1);
        if (it % 200 == 0 || it == sweeps) {
            say("citygen: solving wind on %dx%dx%d (iteration %d/%d)", g.n[0], g.n[1], g.n[2], it,
                sweeps);
        }
    }
    return phi;
}

// ---------------------------------------------------------------------------------------
// Flow values at the nodes

// A vertex record as written: point x, y, z, Density, Energy, Momentum x, y, z, MomentumMag.
using Record = std::array<double, 9>;
enum Field { kX, kY, kZ, kDensity, kEnergy, kMomX, kMomY, kMomZ, kMomMag };

// d(phi)/d(axis) at node p. Where the link on one side is missing, that side is either the
// upwind or downwind face, where the one-sided difference holds, or a wall, where zero
// normal flux makes the component vanish; with no open link at all the node is inside a
// building and still.
double derivative(const Grid& g, const Links& l, const std::vector<double>& phi, const Index& p,
                  size_t id, int axis) {
    const size_t s = g.stride[axis];
    const bool lower = l.lower(g, p, id, axis) > 0.0;
    const bool upper = l.upper(id, axis) > 0.0;
    const bool open_end = axis == 0 && (p[0] == 0 || p[0] == g.n[0]);
    if (lower && upper) return (phi[id + s] - phi[id - s]) / (2.0 * g.h[axis]);
    if (upper && open_end) return (phi[id + s] - phi[id]) / g.h[axis];
    if (lower && open_end) return (phi[id] - phi[id - s]) / g.h[axis];
    return 0.0;
}

// Power-law boundary layer: the wind slows towards the floor.
double profile(double y) {
    return std::pow((y + kProfileLift) / (kHi[1] + kProfileLift), kProfileExp);
}

Record node_record(const Grid& g, const Links& l, const std::vector<double>& phi, size_t id) {
    const Index p = g.node_position(id);
    Record r;
    for (int a = 0; a < 3; ++a) r[kX + a] = g.coord(a, p[a]);
    const double rho = 1.25 - 0.25 * (r[kY] - kLo[1]) / (kHi[1] - kLo[1]);
    double speed2 = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double u = derivative(g, l, phi, p, id, a) * profile(r[kY]);
        r[kMomX + a] = rho * u;
        speed2 += u * u;
    }
    const double pressure = kAmbient + 0.5 * rho * (kWind * kWind - speed2);  // Bernoulli
    r[kDensity] = rho;
    r[kEnergy] = pressure / (kGamma - 1.0) + 0.5 * rho * speed2;
    r[kMomMag] = rho * std::sqrt(speed2);
    return r;
}

std::vector<Record> flow_records(const Grid& g, const std::vector<double>& phi) {
    const Links l = make_links(g);
    std::vector<Record> records(g.nodes());
    for (size_t id = 0; id < g.nodes(); ++id) records[id] = node_record(g, l, phi, id);
    return records;
}

// Field-wise minimum and maximum over a set of nodes.
struct Extremes {
    Record lo, hi;
};

Extremes extremes(const std::vector<Record>& records, const std::vector<uint32_t>& nodes) {
    Extremes e{records[nodes.front()], records[nodes.front()]};
    for (uint32_t id : nodes) {
        for (size_t f = 0; f < e.lo.size(); ++f) {
            e.lo[f] = std::min(e.lo[f], records[id][f]);
            e.hi[f] = std::max(e.hi[f], records[id][f]);
        }
    }
    return e;
}

// ---------------------------------------------------------------------------------------
// Compact vertex numbering

// Grid nodes marked in `used`, in node order, and each node's number among them.
struct Numbering {
    std::vector<uint32_t> nodes;  // number -> grid node
    std::vector<uint32_t> local;  // grid node -> number (meaningful for used nodes only)
};

Numbering number_nodes(const std::vector<uint8_t>& used) {
    Numbering n;
    n.local.assign(used.size(), 0);
    for (size_t id = 0; id < used.size(); ++id) {
        if (!used[id]) continue;
        n.local[id] = uint32_t(n.nodes.size());
        n.nodes.push_back(uint32_t(id));
    }
    return n;
}

// ---------------------------------------------------------------------------------------
// Output

// Buffered little-endian file output; any failure ends the program with the file's name.
class FileWriter {
public:
    explicit FileWriter(std::string path) : path_(std::move(path)), buffer_(1 << 22) {
        file_ = std::fopen(path_.c_str(), "wb");
        if (!file_) fail();
    }
    ~FileWriter() {
        if (file_) std::fclose(file_);
    }
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    void bytes(const char* s, size_t n) {
        room(n);
        std::memcpy(buffer_.data() + used_, s, n);
        used_ += n;
    }
    void u32(uint32_t v) {
        room(4);
        for (int b = 0; b < 4; ++b) buffer_[used_++] = uint8_t(v >> (8 * b));
    }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        room(8);
        for (int b = 0; b < 8; ++b) buffer_[used_++] = uint8_t(bits >> (8 * b));
    }
    void record(const Record& r) {
        for (double v : r) f64(v);
    }
    void close() {
        flush();
        FILE* f = file_;
        file_ = nullptr;
        if (std::fclose(f) != 0) fail();
    }

private:
    void room(size_t n) {
        if (used_ + n > buffer_.size()) flush();
    }
    void flush() {
        if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) fail();
        used_ = 0;
    }
    [[noreturn]] void fail() const {
        die("cannot write " + path_ + ": " + std::strerror(errno ? errno : EIO));
    }

    std::string path_;
    FILE* file_ = nullptr;
    std::vector<uint8_t> buffer_;
    size_t used_ = 0;
};

void write_header(FileWriter& out, const Extremes& e) {
    out.bytes("SKAV", 4);
    out.record(e.lo);
    out.record(e.hi);
}

// ---------------------------------------------------------------------------------------
// Volume: the Kuhn split of every air cell, grouped in blocks of kChunk^3 cells.

using Tetra = std::array<size_t, 4>;

// The six tetrahedra of cell c along its diagonal from corner 000 to corner 111: each walks
// from 000 to 111 one axis at a time, in one of the six axis orders. Every cell is split
// the same way, so the mesh is conforming. Odd orders get their last two vertices swapped
// so every tetrahedron has a positive determinant.
std::array<Tetra, 6> kuhn_split(const Grid& g, const Index& c) {
    static const int kOrders[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1},
                                      {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
    std::array<Tetra, 6> tets;
    for (int t = 0; t < 6; ++t) {
        Tetra& v = tets[t];
        v[0] = g.node(c);
        for (int s = 0; s < 3; ++s) v[s + 1] = v[s] + g.stride[kOrders[t][s]];
        if (t >= 3) std::swap(v[2], v[3]);
    }
    return tets;
}

// Calls f(cell) for every air cell of the chunk [lo, hi), in x-fastest order.
template <typename F>
void for_air_cells(const Grid& g, const Index& lo, const Index& hi, F f) {
    Index c;
    for (c[2] = lo[2]; c[2] < hi[2]; ++c[2]) {
        for (c[1] = lo[1]; c[1] < hi[1]; ++c[1]) {
            for (c[0] = lo[0]; c[0] < hi[0]; ++c[0]) {
                if (g.air(c)) f(c);
            }
        }
    }
}

// Calls f(lo, hi) with the cell range of every chunk, in x-fastest order.
template <typename F>
void for_chunks(const Grid& g, F f) {
    Index lo;
    for (lo[2] = 0; lo[2] < g.n[2]; lo[2] += kChunk) {
        for (lo[1] = 0; lo[1] < g.n[1]; lo[1] += kChunk) {
            for (lo[0] = 0; lo[0] < g.n[0]; lo[0] += kChunk) {
                Index hi;
                for (int a = 0; a < 3; ++a) hi[a] = std::min(lo[a] + kChunk, g.n[a]);
                f(lo, hi);
            }
        }
    }
}

Numbering volume_numbering(const Grid& g) {
    std::vector<uint8_t> used(g.nodes(), 0);
    for_air_cells(g, {0, 0, 0}, g.n, [&](const Index& c) {
        for (int corner = 0; corner < 8; ++corner) {
            Index p = c;
            for (int a = 0; a < 3; ++a) p[a] += (corner >> a) & 1;
            used[g.node(p)] = 1;
        }
    });
    return number_nodes(used);
}

// Writes one block record: the chunk's box (min, max per axis), then its tetrahedra.
// Returns the number of tetrahedra written.
size_t write_block(FileWriter& out, const Grid& g, const Numbering& num, const Index& lo,
                   const Index& hi) {
    size_t cells = 0;
    for_air_cells(g, lo, hi, [&](const Index&) { ++cells; });
    if (cells == 0) return 0;
    for (int a = 0; a < 3; ++a) {
        out.f64(g.coord(a, lo[a]));
        out.f64(g.coord(a, hi[a]));
    }
    out.u32(uint32_t(6 * cells));
    for_air_cells(g, lo, hi, [&](const Index& c) {
        for (const Tetra& t : kuhn_split(g, c)) {
            for (size_t id : t) out.u32(num.local[id]);
        }
    });
    return 6 * cells;
}

struct VolumeCounts {
    size_t vertices = 0, tetras = 0, blocks = 0;
};

VolumeCounts write_volume(const std::string& path, const Grid& g,
                          const std::vector<Record>& records) {
    const Numbering num = volume_numbering(g);
    Extremes e = extremes(records, num.nodes);
    for (int a = 0; a < 3; ++a) {
        e.lo[kX + a] = kLo[a];
        e.hi[kX + a] = kHi[a];
    }
    FileWriter out(path);
    write_header(out, e);
    out.u32(uint32_t(num.nodes.size()));
    for (uint32_t id : num.nodes) out.record(records[id]);
    VolumeCounts counts;
    counts.vertices = num.nodes.size();
    for_chunks(g, [&](const Index& lo, const Index& hi) {
        const size_t tetras = write_block(out, g, num, lo, hi);
        counts.tetras += tetras;
        counts.blocks += tetras > 0;
    });
    out.close();
    return counts;
}

// ---------------------------------------------------------------------------------------
// Surfaces: cell faces, each cut into two triangles along the same diagonal as the Kuhn
// split, so they match faces of the volume's tetrahedra.

// A cell face with its corners counter-clockwise seen from the side its normal points to.
struct Quad {
    std::array<size_t, 4> node;
    int axis;  // the normal is sign * e_axis
    int sign;
};

// The face on node plane p[axis] whose lowest corner is node p. With tangents t1, t2 such
// that t1 x t2 = e_axis, corners 00, 10, 11, 01 run counter-clockwise around +e_axis.
Quad face(const Grid& g, const Index& p, int axis, int sign) {
    const size_t base = g.node(p);
    const size_t t1 = g.stride[(axis + 1) % 3], t2 = g.stride[(axis + 2) % 3];
    if (sign > 0) return Quad{{base, base + t1, base + t1 + t2, base + t2}, axis, sign};
    return Quad{{base, base + t2, base + t1 + t2, base + t1}, axis, sign};
}

// Calls f(p) for the lowest corner of every cell face on node plane `plane` of `axis`.
template <typename F>
void for_plane_faces(const Grid& g, int axis, int plane, F f) {
    const int t1 = (axis + 1) % 3, t2 = (axis + 2) % 3;
    Index p;
    p[axis] = plane;
    for (p[t2] = 0; p[t2] < g.n[t2]; ++p[t2]) {
        for (p[t1] = 0; p[t1] < g.n[t1]; ++p[t1]) f(p);
    }
}

// The four sides x = min, x = max, z = min, z = max, facing into the domain.
std::vector<Quad> wall_quads(const Grid& g) {
    std::vector<Quad> quads;
    for (int axis : {0, 2}) {
        for (int side = 0; side < 2; ++side) {
            for_plane_faces(g, axis, side * g.n[axis], [&](const Index& p) {
                quads.push_back(face(g, p, axis, side ? -1 : 1));
            });
        }
    }
    return quads;
}

std::vector<Quad> ceiling_quads(const Grid& g) {
    std::vector<Quad> quads;
    for_plane_faces(g, 1, g.n[1], [&](const Index& p) { quads.push_back(face(g, p, 1, -1)); });
    return quads;
}

// The floor under air cells; under a building there is no floor to see.
std::vector<Quad> floor_quads(const Grid& g) {
    std::vector<Quad> quads;
    for_plane_faces(g, 1, 0, [&](const Index& p) {
        if (g.air(p)) quads.push_back(face(g, p, 1, 1));
    });
    return quads;
}

// Every face between a solid cell and an air cell, facing the air.
std::vector<Quad> building_quads(const Grid& g) {
    std::vector<Quad> quads;
    for (int axis = 0; axis < 3; ++axis) {
        for (int plane = 1; plane < g.n[axis]; ++plane) {
            for_plane_faces(g, axis, plane, [&](const Index& p) {
                Index below = p;
                --below[axis];
                const bool air_below = g.air(below), air_above = g.air(p);
                if (air_above && !air_below) quads.push_back(face(g, p, axis, 1));
                if (air_below && !air_above) quads.push_back(face(g, p, axis, -1));
            });
        }
    }
    return quads;
}

void write_triangle(FileWriter& out, const Numbering& num, const Quad& q, int a, int b, int c) {
    for (int corner : {a, b, c}) out.u32(num.local[q.node[corner]]);
    for (int axis = 0; axis < 3; ++axis) out.f64(axis == q.axis ? double(q.sign) : 0.0);
}

// Writes a surface file; returns its triangle count.
size_t write_surface(const std::string& path, const Grid& g, const std::vector<Record>& records,
                     const std::vector<Quad>& quads) {
    std::vector<uint8_t> used(g.nodes(), 0);
    for (const Quad& q : quads) {
        for (size_t id : q.node) used[id] = 1;
    }
    const Numbering num = number_nodes(used);
    FileWriter out(path);
    write_header(out, extremes(records, num.nodes));
    out.u32(uint32_t(num.nodes.size()));
    out.u32(uint32_t(2 * quads.size()));
    for (uint32_t id : num.nodes) out.record(records[id]);
    for (const Quad& q : quads) {
        write_triangle(out, num, q, 0, 1, 2);
        write_triangle(out, num, q, 0, 2, 3);
    }
    out.close();
    return 2 * quads.size();
}

// ---------------------------------------------------------------------------------------
// Command line

struct Options {
    std::string outdir;
    Index cells{72, 36, 72};
};

[[noreturn]] void usage(const std::string& problem) {
    die(problem + "\nusage: citygen OUTDIR [--small|--large]");
}

Options parse_args(int argc, char** argv) {
    Options o;
    bool sized = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool small = arg == "--small", large = arg == "--large";
        if (small || large) {
            if (sized) usage("more than one size given");
            sized = true;
            o.cells = small ? Index{16, 8, 16} : Index{144, 72, 144};
        } else if (arg.empty() || arg[0] == '-') {
            usage("unknown option '" + arg + "'");
        } else if (!o.outdir.empty()) {
            usage("more than one output directory given");
        } else {
            o.outdir = arg;
        }
    }
    if (o.outdir.empty()) usage("no output directory given");
    return o;
}

void make_outdir(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) die("cannot create " + dir + ": " + ec.message());
    if (!std::filesystem::is_directory(dir, ec)) die("cannot create " + dir + ": not a directory");
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = parse_args(argc, argv);
    make_outdir(opt.outdir);
    const std::vector<Box> city = layout_city();
    const Grid g = make_grid(opt.cells, city);
    say("citygen: %zu buildings on a %dx%dx%d grid", city.size(), g.n[0], g.n[1], g.n[2]);

    const std::vector<Record> records = flow_records(g, solve_potential(g, city));
    const std::string dir = opt.outdir + "/";
    say("citygen: writing %svolume.kav", dir.c_str());
    const VolumeCounts v = write_volume(dir + "volume.kav", g, records);
    say("citygen: %zu vertices, %zu tetrahedra, %zu blocks", v.vertices, v.tetras, v.blocks);

    const std::vector<Quad> surfaces[4] = {wall_quads(g), ceiling_quads(g), building_quads(g),
                                           floor_quads(g)};
    const char* names[4] = {"walls", "ceiling", "buildings", "floor"};
    for (int s = 0; s < 4; ++s) {
        const std::string path = dir + "surface-" + std::to_string(s + 1) + ".kav";
        const size_t tris = write_surface(path, g, records, surfaces[s]);
        say("citygen: %s: %zu triangles (%s)", path.c_str(), tris, names[s]);
    }
    return 0;
}
