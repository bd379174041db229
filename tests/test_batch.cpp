// velmora-batch: its command line, and its results against the viewer's own code path on
// the small demo city.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.h"
#include "tetmesh.h"
#include "tools/batch/options.h"
#include "volume/marchingtetra.h"
#include "volume/pathlinestarter.h"
#include "volume/pointlocator.h"

namespace {

bool Parse(std::vector<const char*> args, BatchOptions* o, std::string* error) {
    args.insert(args.begin(), "velmora-batch");
    return ParseBatchOptions((int)args.size(), args.data(), o, error);
}

struct Outcome {
    int status;
    std::string out, err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Outcome Batch(const std::string& args) {
    static const std::string dir = MakeTempDir();
    const std::string out = dir + "/out.txt", err = dir + "/err.txt";
    int status =
        std::system((std::string(VELMORA_BATCH) + " " + args + " > " + out + " 2> " + err).c_str());
    return {WEXITSTATUS(status), ReadAll(out), ReadAll(err)};
}

// The small demo city, generated once.
const std::string& City() {
    static const std::string dir = [] {
        std::string d = MakeTempDir();
        EXPECT_EQ(std::system((std::string(CITYGEN) + " " + d + " --small > /dev/null").c_str()),
                  0);
        return d;
    }();
    return dir;
}

// A number attribute of the first element of a .vtp file that carries it; -1 when none does.
long Attribute(const std::string& xml, const std::string& name) {
    const std::string key = name + "=\"";
    size_t at = xml.find(key);
    long value = -1;
    if (at == std::string::npos || sscanf(xml.c_str() + at + key.size(), "%ld", &value) != 1)
        return -1;
    return value;
}

}  // namespace

TEST(BatchOptions, CommandsFieldsAndNumbers) {
    BatchOptions o;
    std::string error;
    ASSERT_TRUE(
        Parse({"--repeat", "3", "--quiet", "data", "iso", "energy", "-2.5e3", "--out", "x.vtp"}, &o,
              &error))
        << error;
    EXPECT_EQ(o.repeat, 3);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.dataDir, "data");
    EXPECT_EQ(o.command, BatchOptions::Command::kIso);
    EXPECT_EQ(o.field, fieldEnergy);
    EXPECT_EQ(o.value, -2500);
    EXPECT_EQ(o.out, "x.vtp");

    EXPECT_EQ(o.threads, 0);  // the default count
    BatchOptions t;
    ASSERT_TRUE(Parse({"--threads", "3", "data", "iso", "density", "1"}, &t, &error)) << error;
    EXPECT_EQ(t.threads, 3);

    BatchOptions p;
    ASSERT_TRUE(Parse({"data", "pathlines", "-450", "30", "-100.5", "50", "7"}, &p, &error));
    EXPECT_EQ(p.command, BatchOptions::Command::kPathLines);
    EXPECT_EQ(p.source[0], -450);
    EXPECT_EQ(p.source[2], -100.5);
    EXPECT_EQ(p.radius, 50);
    EXPECT_EQ(p.count, 7);
    EXPECT_EQ(p.repeat, 1);
    EXPECT_TRUE(p.out.empty());
}

TEST(BatchOptions, ConnectTakesTheCommandWithoutADataFolder) {
    BatchOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--connect", "localhost:7420", "--token-file", "t", "iso", "momentum", "2"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.connect, "localhost:7420");
    EXPECT_EQ(o.tokenFile, "t");
    EXPECT_TRUE(o.dataDir.empty());
    EXPECT_EQ(o.command, BatchOptions::Command::kIso);
    EXPECT_EQ(o.field, fieldMomentum);
    BatchOptions p;
    ASSERT_TRUE(Parse({"pathlines", "1", "2", "3", "4", "5", "--connect", "h:1"}, &p, &error));
    EXPECT_EQ(p.count, 5);
}

TEST(BatchOptions, RefusalsSayWhy) {
    const std::vector<std::pair<std::vector<const char*>, const char*>> bad = {
        {{"data", "iso", "pressure", "1"}, "unknown field \"pressure\""},
        {{"data", "contour", "density", "1"}, "unknown command \"contour\""},
        {{"data", "iso", "density", "1x"}, "bad number \"1x\" for VALUE"},
        {{"data", "iso", "density", "nan"}, "bad number \"nan\""},
        {{"data", "iso", "density"}, "iso takes FIELD VALUE"},
        {{"data", "pathlines", "0", "0", "0", "5", "-1"}, "bad number \"-1\" for COUNT"},
        {{"data", "pathlines", "0", "0", "inf", "5", "1"}, "bad number \"inf\" for Z"},
        {{"--repeat", "0", "data", "iso", "density", "1"}, "--repeat takes"},
        {{"--threads", "0", "data", "iso", "density", "1"}, "--threads takes a number"},
        {{"--threads", "two", "data", "iso", "density", "1"}, "--threads takes a number"},
        {{"data", "iso", "density", "1", "--threads"}, "--threads takes a number"},
        {{"--frobnicate", "data", "iso", "density", "1"}, "unknown option \"--frobnicate\""},
        {{"data", "iso", "density", "1", "--out"}, "--out takes a file name"},
        {{"iso"}, "missing DATADIR or COMMAND"},
        {{"--connect", "h:1"}, "missing COMMAND"},
        {{"--connect"}, "--connect takes HOST:PORT"},
        {{"--token-file", "t", "data", "iso", "density", "1"}, "--token-file goes with --connect"},
        {{"--connect", "h:1", "data", "iso", "density", "1"}, "unknown command \"data\""},
    };
    for (const auto& [args, why] : bad) {
        BatchOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, &o, &error)) << why;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

TEST(BatchRun, IsosurfaceMatchesTheViewersExtraction) {
    TetrahedralVolume vol;
    StdoutToFile quiet;
    ASSERT_TRUE(vol.ReadFile((City() + "/volume.kav").c_str()).Loaded());
    double range[2];
    vol.GetRange(fieldMomentum, range);
    const double value = (range[0] + range[1]) / 2;
    std::string expected;
    TriangleStore store;
    ExtractIsosurface(vol, fieldMomentum, value, &store, Console(&expected));
    ASSERT_GT(store.Size(), 0u);

    char args[256];
    snprintf(args, sizeof args, "--repeat 2 %s iso momentum %.17g --out %s/iso.vtp", City().c_str(),
             value, City().c_str());
    Outcome r = Batch(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Per repetition: the extraction's own lines, then the summary.
    uint64_t tetrahedra = 0;
    for (const Block& b : vol.GetBlocks()) tetrahedra += b.num_Tetra;
    const char* summary =
        "iso field=momentum value=%*s tetrahedra=%llu triangles=%zu seconds=%lf%n";
    std::string text = r.out;
    for (int rep = 0; rep < 2; ++rep) {
        ASSERT_EQ(text.compare(0, expected.size(), expected), 0) << rep;
        text = text.substr(expected.size());
        unsigned long long tets = 0;
        size_t triangles = 0;
        double seconds = -1;
        int used = 0;
        ASSERT_EQ(sscanf(text.c_str(), summary, &tets, &triangles, &seconds, &used), 3) << text;
        EXPECT_EQ(tets, tetrahedra);
        EXPECT_EQ(triangles, store.Size());
        EXPECT_GE(seconds, 0);
        ASSERT_EQ(text[used], '\n');
        text = text.substr(used + 1);
    }
    EXPECT_EQ(text, "");
    const std::string vtp = ReadAll(City() + "/iso.vtp");
    EXPECT_EQ(Attribute(vtp, "NumberOfPolys"), (long)store.Size());
    EXPECT_EQ(Attribute(vtp, "NumberOfPoints"), 3 * (long)store.Size());
    EXPECT_NE(vtp.find("Name=\"Normal\""), std::string::npos);
}

TEST(BatchRun, PathLinesMatchAFirstGenerate) {
    TetrahedralVolume vol;
    {
        StdoutToFile quiet;
        ASSERT_TRUE(vol.ReadFile((City() + "/volume.kav").c_str()).Loaded());
    }
    PathLineGenerator generator;
    generator.SetVolume(&vol);
    const double source[3] = {-40, 8, -30};
    generator.SetStart(source);
    generator.SetRadius(20);
    generator.SetCount(6);
    std::string expected;
    generator.Generate(Console(&expected));
    size_t points = 0;
    for (int i = 0; i < generator.GetLineCount(); ++i)
        points += generator.GetLine(i).Points().size();
    ASSERT_GT(points, 6u * 10u);  // the lines get somewhere

    Outcome r =
        Batch("--repeat 2 " + City() + " pathlines -40 8 -30 20 6 --out " + City() + "/lines.vtp");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string line = "pathlines lines=6 points=" + std::to_string(points);
    for (int rep = 0; rep < 2; ++rep) {
        const size_t at = rep * (r.out.size() / 2);
        EXPECT_EQ(r.out.compare(at, expected.size(), expected), 0) << r.out;
        EXPECT_EQ(r.out.compare(at + expected.size(), line.size(), line), 0) << r.out;
    }
    const std::string vtp = ReadAll(City() + "/lines.vtp");
    EXPECT_EQ(Attribute(vtp, "NumberOfLines"), 6);
    EXPECT_EQ(Attribute(vtp, "NumberOfPoints"), (long)points);

    Outcome quiet = Batch("--quiet " + City() + " pathlines -40 8 -30 20 6");
    EXPECT_EQ(quiet.out.find("Generating"), std::string::npos);
    EXPECT_EQ(quiet.out.rfind(line, 0), 0u) << quiet.out;
}

TEST(BatchRun, LinesWhoseSeedsAreOutsideTheDataAreWrittenAsVertices) {
    // Seeded far above the city: every line ends at its seed, one point each.
    const std::string file = City() + "/outside.vtp";
    Outcome r = Batch("--quiet " + City() + " pathlines 0 5000 0 10 3 --out " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("pathlines lines=3 points=3 ", 0), 0u) << r.out;
    const std::string vtp = ReadAll(file);
    EXPECT_EQ(Attribute(vtp, "NumberOfVerts"), 3);
    EXPECT_EQ(Attribute(vtp, "NumberOfLines"), 0);
}

TEST(BatchRun, BadFoldersFilesAndArgumentsGetOneLineAndStatusTwo) {
    const std::string empty = MakeTempDir();
    WriteFile(empty + "/volume.kav", "SKAV");
    const std::vector<std::string> cases = {"/nonexistent-folder iso density 1",
                                            empty + "/missing iso density 1",
                                            empty + " iso density 1",
                                            City() + " iso pressure 1",
                                            City() + " smooth density 1",
                                            City() + " iso density 1e999"};
    for (const std::string& args : cases) {
        Outcome r = Batch(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.out, "") << args;
    }
}

namespace {

// The output of a run without its timings, which differ from run to run.
std::string WithoutSeconds(const std::string& out) {
    std::string text = out;
    const std::string key = "seconds=";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t from = at + key.size();
        const size_t to = text.find_first_not_of("0123456789.", from);
        text.replace(from, to - from, "S");
    }
    return text;
}

}  // namespace

TEST(BatchThreads, OneAndSeveralThreadsGiveTheSameTextAndTheSameFileBytes) {
    TetrahedralVolume vol;
    {
        StdoutToFile quiet;
        ASSERT_TRUE(vol.ReadFile((City() + "/volume.kav").c_str()).Loaded());
    }
    double range[2];
    vol.GetRange(fieldEnergy, range);
    char value[64];
    snprintf(value, sizeof value, "%.17g", range[0] + 0.4 * (range[1] - range[0]));
    // The viewer's own extraction and path lines, on one thread.
    std::string isoText, lineText;
    TriangleStore store;
    ExtractIsosurface(vol, fieldEnergy, atof(value), &store, Console(&isoText), nullptr, 1);
    RandomSequence random;
    const double source[3] = {-40, 8, -30};
    std::vector<Seed> seeds;
    for (int i = 0; i < 12; ++i) seeds.push_back(DrawSeed(random, source, 25));
    PointLocator locator(vol);
    std::vector<PathLine> lines;
    TracePathLines(&locator, seeds, &lines, Console(&lineText), nullptr, 1);
    ASSERT_GT(store.Size(), 0u);

    const std::string iso = City() + " iso energy " + value;
    const std::string traced = City() + " pathlines -40 8 -30 25 12";
    std::string isoOut[2], lineOut[2], isoVtp[2], lineVtp[2];
    const int counts[2] = {1, 2};
    for (int t = 0; t < 2; ++t) {
        const std::string threads = "--threads " + std::to_string(counts[t]) + " ";
        const std::string isoFile = City() + "/iso" + std::to_string(t) + ".vtp";
        const std::string lineFile = City() + "/lines" + std::to_string(t) + ".vtp";
        Outcome a = Batch(threads + iso + " --out " + isoFile);
        Outcome b = Batch(threads + traced + " --out " + lineFile);
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        isoOut[t] = WithoutSeconds(a.out);
        lineOut[t] = WithoutSeconds(b.out);
        isoVtp[t] = ReadAll(isoFile);
        lineVtp[t] = ReadAll(lineFile);
        // The work's text is the viewer's, whatever the thread count.
        EXPECT_EQ(a.out.compare(0, isoText.size(), isoText), 0) << counts[t];
        EXPECT_EQ(b.out.compare(0, lineText.size(), lineText), 0) << counts[t];
    }
    EXPECT_EQ(isoOut[0], isoOut[1]);
    EXPECT_EQ(lineOut[0], lineOut[1]);
    EXPECT_FALSE(isoVtp[0].empty());
    EXPECT_FALSE(lineVtp[0].empty());
    EXPECT_TRUE(isoVtp[0] == isoVtp[1]) << "the .vtp bytes of the isosurface differ";
    EXPECT_TRUE(lineVtp[0] == lineVtp[1]) << "the .vtp bytes of the path lines differ";
    EXPECT_EQ(Attribute(isoVtp[0], "NumberOfPolys"), (long)store.Size());
    size_t points = 0;
    for (const PathLine& line : lines) points += line.Points().size();
    EXPECT_EQ(Attribute(lineVtp[0], "NumberOfPoints"), (long)points);
}
