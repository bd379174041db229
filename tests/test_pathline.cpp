// Path lines: the midpoint rule, how and when a line ends with its console report, and the
// generator's seeding of a set of lines.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "math/math.h"
#include "math/random.h"
#include "testutil.h"
#include "tetmesh.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

namespace {

// A bar of 15 unit cubes along x (x from 0 to 15, y and z from 0 to 1) in one block, with a
// constant momentum along x.
VolumeBytes Bar(double speed) {
    GridMesh g;
    g.n[0] = 15, g.n[1] = 1, g.n[2] = 1;
    g.jitter = 0;
    g.blocks[0] = g.blocks[1] = g.blocks[2] = 1;
    g.momentum = [speed](const double*, double* m) { m[0] = speed, m[1] = m[2] = 0; };
    return g.Build();
}

std::vector<std::vector<double>> Points(const PathLine& line) {
    std::vector<std::vector<double>> out;
    for (const Particle& p : line.Points()) {
        out.push_back({p.position[0], p.position[1], p.position[2]});
    }
    return out;
}

struct Traced {
    std::vector<std::vector<double>> points;
    std::string out;
};

// Traces one line through `vol`, or with no volume at all when it is null.
Traced Trace(TetrahedralVolume* vol, double x, double y, double z) {
    PathLine line;
    std::unique_ptr<PointLocator> locator;
    if (vol) locator = std::make_unique<PointLocator>(*vol);
    double seed[3] = {x, y, z};
    line.SetStart(seed);
    StdoutToFile capture;
    line.Integrate(locator.get());
    return {Points(line), capture.Text()};
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The end of `text`, as long as `expected`.
std::string Tail(const std::string& text, const std::string& expected) {
    size_t n = expected.size();
    return text.size() > n ? text.substr(text.size() - n) : text;
}

}  // namespace

TEST(PathLine, SeedOutsideTheMeshGivesOnePoint) {
    TetrahedralVolume vol;
    LoadBytes(vol, Bar(1).Bytes());
    Traced t = Trace(&vol, 20, 0.5, 0.5);
    ASSERT_EQ(t.points.size(), 1u);
    EXPECT_EQ(t.points[0], (std::vector<double>{20, 0.5, 0.5}));
    EXPECT_EQ(t.out,
              "-> TERMINATED: Due to point not found\n\r-> Pathline terminated with 1 points\n");
    // Without a loaded volume, or without any volume, no point is ever found.
    TetrahedralVolume unloaded;
    EXPECT_EQ(Trace(&unloaded, 0.5, 0.5, 0.5).out, t.out);
    EXPECT_EQ(Trace(nullptr, 0.5, 0.5, 0.5).points.size(), 1u);
}

TEST(PathLine, StepsFollowTheMidpointRule) {
    // A linear field M(p) = (0.1 y, -0.1 x, 0.02): one step is p + M(p + M(p) / 2).
    GridMesh g;
    g.n[0] = g.n[1] = g.n[2] = 6;
    g.origin[0] = g.origin[1] = g.origin[2] = -3;
    g.blocks[0] = g.blocks[1] = g.blocks[2] = 1;
    g.momentum = [](const double* p, double* m) {
        m[0] = 0.1 * p[1], m[1] = -0.1 * p[0], m[2] = 0.02;
    };
    TetrahedralVolume vol;
    LoadBytes(vol, g.Build().Bytes());
    Traced t = Trace(&vol, 1, 0.5, -2);
    ASSERT_GT(t.points.size(), 20u);
    double p[3] = {1, 0.5, -2};
    for (size_t i = 1; i < 20; ++i) {
        double half[3] = {p[0] + 0.05 * p[1], p[1] - 0.05 * p[0], p[2] + 0.01};
        p[0] += 0.1 * half[1], p[1] -= 0.1 * half[0], p[2] += 0.02;
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(t.points[i][a], p[a], 1e-9) << i << " " << a;
    }
}

TEST(PathLine, ZeroMomentumRunsToTheLengthLimit) {
    TetrahedralVolume vol;
    LoadBytes(vol, Bar(0).Bytes());
    Traced t = Trace(&vol, 7.5, 0.5, 0.5);
    ASSERT_EQ(t.points.size(), 10002u);
    for (const auto& p : t.points) EXPECT_EQ(p, t.points[0]);
    EXPECT_EQ(Count(t.out, " points computed..."), 625);  // 16, 32, ..., 10000
    const std::string end =
        "\r10000 points computed..."
        "-> TERMINATED: Due to line too long\n"
        "\r-> Pathline terminated with 10001 points\n";
    EXPECT_EQ(Tail(t.out, end), end);
}

TEST(PathLine, LeavingOnTheSixteenthStep) {
    TetrahedralVolume vol;
    LoadBytes(vol, Bar(0.9).Bytes());
    // From x = 1.8 the 16th step starts at 15.3, past the end of the bar.
    Traced t = Trace(&vol, 1.8, 0.5, 0.5);
    EXPECT_EQ(t.points.size(), 16u);
    EXPECT_NEAR(t.points.back()[0], 1.8 + 15 * 0.9, 1e-9);
    EXPECT_EQ(t.out,
              "-> TERMINATED: Due to point not found\n"
              "\r16 points computed..."
              "\r-> Pathline terminated with 16 points\n");
    // From x = 1.2 the 16th step starts at 14.7 but its half step reaches 15.15.
    t = Trace(&vol, 1.2, 0.5, 0.5);
    EXPECT_EQ(t.points.size(), 16u);
    EXPECT_EQ(t.out,
              "-> TERMINATED: Due to 2nd-order point not found\n"
              "\r16 points computed..."
              "\r-> Pathline terminated with 16 points\n");
}

TEST(PathLine, FailingAsTheLastAllowedStepReportsBoth) {
    TetrahedralVolume vol;
    LoadBytes(vol, Bar(0.001).Bytes());
    // 9999 steps of 0.001 reach 14.99925, whose half step stays inside the block's box;
    // the 10000th reaches 15.00025, beyond it.
    Traced t = Trace(&vol, 5.00025, 0.5, 0.5);
    EXPECT_EQ(t.points.size(), 10001u);
    const std::string end =
        "\r10000 points computed..."
        "-> TERMINATED: Due to point not found\n"
        "-> TERMINATED: Due to line too long\n"
        "\r-> Pathline terminated with 10001 points\n";
    EXPECT_EQ(Tail(t.out, end), end);
}

TEST(PathLine, IntegrateReplacesTheLineAndSetStartWaitsForIt) {
    TetrahedralVolume vol;
    LoadBytes(vol, Bar(0.9).Bytes());
    PathLine line;
    PointLocator locator(vol);
    double seed[3] = {1.8, 0.5, 0.5};
    line.SetStart(seed);
    StdoutToFile quiet;
    line.Integrate(&locator);
    auto first = Points(line);
    line.Integrate(&locator);
    EXPECT_EQ(Points(line), first);
    double other[3] = {9, 0.5, 0.5};
    line.SetStart(other);
    EXPECT_EQ(Points(line), first);
    line.Integrate(&locator);
    EXPECT_EQ(Points(line).size(), 8u);
    EXPECT_EQ(Points(line)[0], (std::vector<double>{9, 0.5, 0.5}));
}

class Generator : public testing::Test {
protected:
    void SetUp() override {
        LoadBytes(vol, Bar(0).Bytes());
        gen.SetVolume(&vol);
    }
    // Seeds of the current set of lines.
    std::vector<std::vector<double>> Seeds() const {
        std::vector<std::vector<double>> out;
        for (int i = 0; i < gen.GetLineCount(); ++i) out.push_back(Points(gen.GetLine(i))[0]);
        return out;
    }
    std::string Generate() {
        StdoutToFile capture;
        gen.Generate();
        return capture.Text();
    }
    TetrahedralVolume vol;
    PathLineGenerator gen;
};

TEST_F(Generator, SeedsLieInTheUpperOctantWithinTheRadius) {
    const double source[3] = {7, 0.25, 0.25};
    gen.SetStart(source);
    gen.SetRadius(0.5);
    gen.SetCount(40);
    std::string out = Generate();
    ASSERT_EQ(gen.GetLineCount(), 40);
    EXPECT_EQ(Count(out, "Generating pathline "), 40);
    EXPECT_EQ(out.find("Generating pathline 0\n"), 0u);
    EXPECT_NE(out.find("Generating pathline 39\n"), std::string::npos);
    double farthest = 0;
    for (const auto& s : Seeds()) {
        double d[3] = {s[0] - source[0], s[1] - source[1], s[2] - source[2]};
        for (double x : d) EXPECT_GE(x, 0);
        double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        EXPECT_LE(r, 0.5 + 1e-12);
        farthest = std::max(farthest, r);
    }
    EXPECT_GT(farthest, 0.3);
    // Zero momentum: every seed inside the bar runs to the length limit.
    EXPECT_EQ(Points(gen.GetLine(0)).size(), 10002u);
}

TEST_F(Generator, FourDrawsPerLineInTheOrderDistanceXYZ) {
    const double source[3] = {1, 2, 3};
    gen.SetStart(source);
    gen.SetRadius(8);
    gen.SetCount(3);
    Generate();
    RandomSequence draws;  // a generator's sequence starts where this one does
    for (const auto& s : Seeds()) {
        double r = draws.Next() / 32767.0 * 8;
        double dir[3] = {draws.Next() / 32767.0, draws.Next() / 32767.0, draws.Next() / 32767.0};
        Normalize(dir);
        for (int a = 0; a < 3; ++a) EXPECT_DOUBLE_EQ(s[a], source[a] + r * dir[a]);
    }
    // A second Generate goes on with the sequence; a new generator starts it again.
    auto first = Seeds();
    Generate();
    EXPECT_NE(Seeds(), first);
    PathLineGenerator fresh;
    fresh.SetVolume(&vol);
    fresh.SetStart(source);
    fresh.SetRadius(8);
    fresh.SetCount(3);
    StdoutToFile quiet;
    fresh.Generate();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Points(fresh.GetLine(i))[0], first[i]);
}

TEST_F(Generator, RadiusZeroAndNegative) {
    const double source[3] = {7, 0.25, 0.25};
    gen.SetStart(source);
    gen.SetCount(4);
    gen.SetRadius(0);
    Generate();
    for (const auto& s : Seeds()) EXPECT_EQ(s, (std::vector<double>{7, 0.25, 0.25}));
    gen.SetRadius(-0.5);
    EXPECT_EQ(gen.GetRadius(), -0.5);
    Generate();
    for (const auto& s : Seeds()) {
        for (int a = 0; a < 3; ++a) EXPECT_LE(s[a], source[a]);
    }
}

TEST_F(Generator, CountChangesTakeEffectAtTheNextGenerate) {
    gen.SetCount(5);
    Generate();
    gen.SetCount(3);
    EXPECT_EQ(gen.GetLineCount(), 5);
    Generate();
    EXPECT_EQ(gen.GetLineCount(), 3);
    for (int count : {0, -4}) {
        gen.SetCount(count);
        EXPECT_EQ(Generate(), "");
        EXPECT_EQ(gen.GetLineCount(), 0);
    }
}

TEST_F(Generator, TracingCountsLinesAndStopsWhenCancelled) {
    gen.SetCount(3);
    std::vector<Seed> seeds = gen.DrawSeeds();
    ASSERT_EQ(seeds.size(), 3u);
    std::vector<PathLine> lines;
    Progress progress;
    std::string printed;
    EXPECT_TRUE(TracePathLines(gen.GetLocator(), seeds, &lines, Console(&printed), &progress));
    EXPECT_EQ(progress.done, 3u);
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(Count(printed, "Generating pathline "), 3);
    EXPECT_EQ(gen.GetLineCount(), 0);  // traced, not yet shown
    gen.SetLines(std::move(lines));
    EXPECT_EQ(gen.GetLineCount(), 3);

    Progress stopped;
    stopped.cancelled = true;
    printed.clear();
    EXPECT_FALSE(TracePathLines(gen.GetLocator(), seeds, &lines, Console(&printed), &stopped));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(printed, "");
}

namespace {

// The small demo city, loaded once for the tests that trace many lines through it.
const TetrahedralVolume& City() {
    static TetrahedralVolume* vol = [] {
        std::string dir = MakeTempDir();
        std::string command = std::string(CITYGEN) + " " + dir + " --small > /dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        auto* v = new TetrahedralVolume;
        StdoutToFile quiet;
        EXPECT_TRUE(v->ReadFile((dir + "/volume.kav").c_str()).Loaded());
        return v;
    }();
    return *vol;
}

std::vector<Seed> CitySeeds(int count) {
    RandomSequence random;
    const double source[3] = {-40, 8, -30};
    std::vector<Seed> seeds;
    for (int i = 0; i < count; ++i) seeds.push_back(DrawSeed(random, source, 25));
    return seeds;
}

// Each line traced on its own by a new searcher, and the text TracePathLines prints for it.
struct Alone {
    std::vector<std::vector<std::vector<double>>> lines;
    std::vector<std::string> texts;
};

Alone TraceAlone(const TetrahedralVolume& vol, const std::vector<Seed>& seeds) {
    Alone a;
    for (size_t i = 0; i < seeds.size(); ++i) {
        std::string text = "Generating pathline " + std::to_string(i) + "\n";
        PointLocator locator(vol, Console(&text));
        PathLine line;
        line.SetStart(seeds[i].data());
        line.Integrate(&locator, Console(&text));
        a.lines.push_back(Points(line));
        a.texts.push_back(text);
    }
    return a;
}

}  // namespace

TEST(PathLineThreads, AnyThreadCountTracesEachLineAsIfAlone) {
    const std::vector<Seed> seeds = CitySeeds(37);
    const Alone alone = TraceAlone(City(), seeds);
    std::string expectedText;
    size_t points = 0;
    for (size_t i = 0; i < seeds.size(); ++i) {
        expectedText += alone.texts[i];
        points += alone.lines[i].size();
    }
    ASSERT_GT(points, 37u * 20u);  // the lines get somewhere
    for (bool scan : {false, true}) {
        PointLocator prototype(City());
        prototype.SetReferenceScan(scan);
        // A searcher left in some state by other work must not matter.
        double away[3] = {-40, 8, -30};
        Vertex ignored;
        prototype.InterpolatePoint(away, &ignored);
        for (int threads : scan ? std::vector<int>{2} : std::vector<int>{1, 2, 3, 5}) {
            SCOPED_TRACE(std::to_string(threads) + (scan ? " threads, scan" : " threads"));
            std::vector<PathLine> lines(3);  // replaced
            std::string text;
            Progress progress;
            ASSERT_TRUE(
                TracePathLines(&prototype, seeds, &lines, Console(&text), &progress, threads));
            ASSERT_EQ(lines.size(), seeds.size());
            EXPECT_EQ(progress.done, seeds.size());
            for (size_t i = 0; i < seeds.size(); ++i) {
                ASSERT_EQ(Points(lines[i]), alone.lines[i]) << "line " << i;
            }
            EXPECT_EQ(text, expectedText);
        }
    }
}

TEST(PathLineThreads, ACancellationKeepsTheLinesFinishedBeforeIt) {
    const std::vector<Seed> seeds = CitySeeds(60);
    const Alone alone = TraceAlone(City(), seeds);
    PointLocator prototype(City());
    bool stoppedMidway = false;
    // The cancel races the tracing, so that on a busy machine a try may end first; one try
    // of many that stops midway is what is needed, and every try must be consistent.
    for (int attempt = 0; attempt < 400 && !stoppedMidway; ++attempt) {
        Progress progress;
        std::atomic<bool> over{false};
        std::thread watcher([&] {
            while (progress.done < 1 && !over) std::this_thread::yield();
            progress.cancelled = true;
        });
        std::vector<PathLine> lines;
        std::string text;
        const bool complete =
            TracePathLines(&prototype, seeds, &lines, Console(&text), &progress, 3);
        over = true;
        watcher.join();
        // The lines kept are those whose text was printed, a prefix of the set.
        std::string expectedText;
        for (size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(Points(lines[i]), alone.lines[i]) << "line " << i;
            expectedText += alone.texts[i];
        }
        EXPECT_EQ(text, expectedText);
        EXPECT_EQ(complete, lines.size() == seeds.size());
        stoppedMidway = !complete && !lines.empty();
    }
    EXPECT_TRUE(stoppedMidway);
}
