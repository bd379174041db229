// Malformed and odd data files: each is refused with an "ERROR:" line or loaded, allocates no
// more than its size can justify, and whatever the reader leaves behind goes through point
// location, isosurface extraction and path lines without fault. The sanitizer build runs
// these under AddressSanitizer and UndefinedBehaviorSanitizer.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "badfiles.h"
#include "surface/displaylist.h"
#include "testutil.h"
#include "volume/marchingtetra.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

using namespace badfiles;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Allocation accounting: while a reader runs, every operator new is counted, so that a test
// can hold the reader to what the file's size justifies.
namespace {
bool tracking = false;
size_t allocatedBytes = 0;
size_t largestAllocation = 0;

// Out of line, so that the compiler does not pair an inlined `new` with `free` and warn.
__attribute__((noinline)) void Release(void* p) {
    free(p);
}
}  // namespace

void* operator new(size_t size) {
    if (tracking) {
        allocatedBytes += size;
        largestAllocation = std::max(largestAllocation, size);
    }
    void* p = malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}

namespace {

// Reader arrays may take twice a file's size (a 16-byte tetrahedron becomes four pointers),
// and each block record, at least 52 bytes, up to 256 more (the block while the list grows,
// its place in the block grid, its search and extraction caches); anything beyond this is
// sized by a count the file cannot back.
size_t AllocationBound(size_t fileSize) {
    return 4 * fileSize + 256 * (fileSize / 52) + 1024;
}

struct Loaded {
    std::string err;  // the line that reports the refusal; empty when the file loaded
    size_t allocated;
    size_t largest;
};

template <typename Read>
Loaded Load(const std::string& bytes, Read read) {
    std::string copy = bytes;
    FILE* f = fmemopen(&copy[0], copy.size(), "rb");
    CaptureStdout();
    CaptureStderr();
    allocatedBytes = largestAllocation = 0;
    tracking = true;
    LoadResult result = read(f);
    tracking = false;
    GetCapturedStdout();
    EXPECT_EQ(GetCapturedStderr(), "");  // reporting is the caller's
    Loaded r{result.Loaded() ? "" : result.message, allocatedBytes, largestAllocation};
    fclose(f);
    return r;
}

Loaded LoadVolume(TetrahedralVolume& vol, const std::string& bytes) {
    return Load(bytes, [&](FILE* f) { return vol.ReadStream(f, "volume.kav"); });
}

Loaded LoadSurface(DisplayListObject& obj, const std::string& bytes) {
    return Load(bytes, [&](FILE* f) { return obj.LoadStream(f, "surface-1.kav"); });
}

size_t CountTetra(const TetrahedralVolume& vol) {
    size_t n = 0;
    for (const Block& b : vol.GetBlocks()) n += b.num_Tetra;
    return n;
}

size_t CountBlocks(const TetrahedralVolume& vol) {
    return vol.GetBlocks().size();
}

// What the rest of the program made of a volume.
struct Outcome {
    int located = 0;          // points that point location found
    size_t triangles = 0;     // over every isosurface extracted
    size_t maxTriangles = 0;  // the most that one isosurface had
    size_t linePoints = 0;    // over every path line
};

// Runs every operation of the viewer on `vol`, checking what holds for any volume: a failed
// lookup leaves its output alone, a found point is copied, a tetrahedron yields at most two
// isosurface triangles, and a path line ends within its step limit.
Outcome Exercise(TetrahedralVolume& vol) {
    Outcome out;
    std::vector<std::vector<double>> probes = {
        {0.25, 0.25, 0.25}, {0.6, 0.6, 0.6},  {0, 0, 0},        {5.5, 5.5, 5.5},
        {1e6, 1e6, 5e-4},   {kNaN, 0.5, 0.5}, {kInf, 0.5, 0.5}, {-1e308, 1e308, 0}};
    for (const Block& b : vol.GetBlocks()) {
        for (uint32_t t = 0; t < b.num_Tetra && t < 4; ++t) {
            std::vector<double> c(3, 0.0);
            for (const Vertex* v : b.tetra[t].v) {
                for (int a = 0; a < 3; ++a) c[a] += v->point[a] / 4;
            }
            probes.push_back(c);
        }
    }
    CaptureStdout();
    PointLocator locator(vol);
    for (std::vector<double>& p : probes) {
        Vertex v = MakeVertex(7, 7, 7, 7, 7, 7, 7, 7);
        if (locator.InterpolatePoint(p.data(), &v)) {
            ++out.located;
            for (int a = 0; a < 3; ++a) EXPECT_EQ(v.point[a], p[a]);
            EXPECT_EQ(v.Density, 7);
        } else {
            EXPECT_EQ(v.point[0], 7);
            EXPECT_EQ(v.Momentum[0], 7);
        }
    }

    TriangleStore iso;
    const double values[] = {0.5, 1.5, 0, kNaN, kInf, -kInf, 1e308};
    for (int field = 0; field < 3; ++field) {
        for (double value : values) {
            ExtractIsosurface(vol, static_cast<FieldVar>(field), value, &iso);
            size_t n = iso.Size();
            out.triangles += n;
            out.maxTriangles = std::max(out.maxTriangles, n);
        }
    }
    EXPECT_LE(out.maxTriangles, 2 * CountTetra(vol));

    PathLineGenerator lines;
    lines.SetVolume(&vol);
    lines.SetCount(3);
    lines.SetRadius(0.2);
    const double start[3] = {0.1, 0.1, 0.1};
    lines.SetStart(start);
    lines.Generate();
    GetCapturedStdout();
    EXPECT_EQ(lines.GetLineCount(), 3);
    for (int i = 0; i < lines.GetLineCount(); ++i) {
        size_t n = lines.GetLine(i).Points().size();
        EXPECT_GE(n, 1u);
        EXPECT_LE(n, 10002u);
        out.linePoints += n;
    }
    return out;
}

void ExpectEmpty(const TetrahedralVolume& vol) {
    EXPECT_EQ(vol.GetNumPoints(), 0u);
    EXPECT_TRUE(vol.GetBlocks().empty());
    double range[2];
    vol.GetRange(fieldDensity, range);
    EXPECT_TRUE(std::isnan(range[0]) && std::isnan(range[1]));
}

// A refused or empty volume: nothing is found, nothing is extracted, each of the three path
// lines is its seed alone.
void ExpectNothingFound(TetrahedralVolume& vol) {
    Outcome out = Exercise(vol);
    EXPECT_EQ(out.located, 0);
    EXPECT_EQ(out.triangles, 0u);
    EXPECT_EQ(out.linePoints, 3u);
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        fclose(f);
    }
    return bytes;
}

const std::string kTestDir = std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/'));

}  // namespace

TEST(BadVolume, ReferenceFileLoadsAndItsOperationsFindThings) {
    // The yardstick for the tests below: the same checks on a sound file see real work.
    TetrahedralVolume vol;
    std::string bytes = ReferenceVolume().Bytes();
    Loaded r = LoadVolume(vol, bytes);
    EXPECT_EQ(r.err, "");
    EXPECT_LE(r.allocated, AllocationBound(bytes.size()));
    Outcome out = Exercise(vol);
    EXPECT_GE(out.located, 4);
    EXPECT_GT(out.triangles, 0u);
    EXPECT_GT(out.linePoints, 3u);
}

TEST(BadVolume, EveryCutOffCopyIsRefusedUnlessItEndsBetweenRecords) {
    const std::string full = ReferenceVolume().Bytes();
    const std::vector<size_t> ends = VolumeRecordEnds();
    for (size_t size = 0; size < full.size(); ++size) {
        SCOPED_TRACE(size);
        TetrahedralVolume vol;
        Loaded r = LoadVolume(vol, full.substr(0, size));
        EXPECT_LE(r.allocated, AllocationBound(size));
        auto end = std::find(ends.begin(), ends.end(), size);
        if (end == ends.end()) {
            EXPECT_EQ(r.err.rfind("ERROR: \"volume.kav\": ", 0), 0u) << r.err;
            ExpectEmpty(vol);
            ExpectNothingFound(vol);
        } else {
            // A file that stops after a whole record holds the blocks before the cut.
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(CountBlocks(vol), (size_t)(end - ends.begin()));
            Exercise(vol);
        }
    }
}

TEST(BadVolume, BadCountsAndIndicesAreRefusedWithoutAllocatingForThem) {
    for (const BadFile& file : RefusedVolumes()) {
        SCOPED_TRACE(file.name);
        TetrahedralVolume vol;
        Loaded r = LoadVolume(vol, file.bytes);
        EXPECT_EQ(r.err.rfind("ERROR: \"volume.kav\": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(file.message), std::string::npos) << r.err;
        EXPECT_LE(r.allocated, AllocationBound(file.bytes.size()));
        ExpectEmpty(vol);
        ExpectNothingFound(vol);
    }
}

TEST(BadVolume, OddValuesLoadAndEveryOperationCopes) {
    for (const BadFile& file : OddVolumes()) {
        SCOPED_TRACE(file.name);
        TetrahedralVolume vol;
        Loaded r = LoadVolume(vol, file.bytes);
        EXPECT_EQ(r.err, "");
        EXPECT_LE(r.allocated, AllocationBound(file.bytes.size()));
        Exercise(vol);
    }
}

TEST(BadVolume, WhatOddValuesLeadTo) {
    std::vector<BadFile> odd = OddVolumes();
    auto outcome = [&](const char* name) {
        auto f =
            std::find_if(odd.begin(), odd.end(), [&](const BadFile& b) { return b.name == name; });
        TetrahedralVolume vol;
        LoadVolume(vol, f->bytes);
        return Exercise(vol);
    };
    // NaN scalars sit on neither side of any value, so no isosurface cuts them; a NaN or
    // infinite momentum sends the midpoint out of the mesh at once.
    Outcome nan = outcome("NaN values");
    EXPECT_GT(nan.located, 0);
    EXPECT_EQ(nan.triangles, 0u);
    EXPECT_EQ(nan.linePoints, 3u);
    EXPECT_EQ(outcome("infinite values").linePoints, 3u);
    // Nothing that needs a tetrahedron works in degenerate, empty or missing blocks.
    for (const char* name : {"degenerate tetrahedra", "only empty blocks", "no blocks",
                             "no vertices", "all coordinates NaN", "a NaN box"}) {
        SCOPED_TRACE(name);
        Outcome none = outcome(name);
        EXPECT_EQ(none.located, 0);
        EXPECT_EQ(none.linePoints, 3u);
    }
    // Without momentum a line stands still until its step limit (10001 steps after the seed):
    // bounded, not endless.
    EXPECT_EQ(outcome("zero momentum").linePoints, 3u * 10002u);
}

TEST(BadSurface, EveryCutOffCopyIsRefusedAndLeavesTheBoundsAlone) {
    const std::string full = ReferenceSurface().Bytes();
    for (size_t size = 0; size < full.size(); ++size) {
        SCOPED_TRACE(size);
        DisplayListObject obj;
        Loaded r = LoadSurface(obj, full.substr(0, size));
        EXPECT_EQ(r.err.rfind("ERROR: \"surface-1.kav\": ", 0), 0u) << r.err;
        EXPECT_LE(r.allocated, AllocationBound(size));
        EXPECT_EQ(obj.GetNumPoints(), 0u);
        EXPECT_EQ(obj.GetNumTris(), 0u);
        double bounds[6] = {9e10, -9e10, 9e10, -9e10, 9e10, -9e10};
        obj.StretchBounds(bounds);
        EXPECT_EQ(bounds[0], 9e10);
        EXPECT_EQ(bounds[5], -9e10);
    }
}

TEST(BadSurface, BadCountsAndIndicesAreRefusedWithoutAllocatingForThem) {
    for (const BadFile& file : RefusedSurfaces()) {
        SCOPED_TRACE(file.name);
        DisplayListObject obj;
        Loaded r = LoadSurface(obj, file.bytes);
        EXPECT_EQ(r.err.rfind("ERROR: \"surface-1.kav\": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(file.message), std::string::npos) << r.err;
        EXPECT_LE(r.allocated, AllocationBound(file.bytes.size()));
        EXPECT_EQ(obj.GetNumPoints(), 0u);
        EXPECT_EQ(obj.GetNumTris(), 0u);
    }
}

TEST(BadSurface, OddValuesLoadWithTheHeaderBounds) {
    for (const BadFile& file : OddSurfaces()) {
        SCOPED_TRACE(file.name);
        DisplayListObject obj;
        Loaded r = LoadSurface(obj, file.bytes);
        EXPECT_EQ(r.err, "");
        EXPECT_LE(r.allocated, AllocationBound(file.bytes.size()));
        double bounds[6] = {9e10, -9e10, 9e10, -9e10, 9e10, -9e10};
        obj.StretchBounds(bounds);
        EXPECT_EQ(bounds[0], 0);
        EXPECT_EQ(bounds[3], 1);
    }
}

TEST(BadInput, FuzzSeedsAndRegressionFilesLoadOrAreRefusedAndOperationsCope) {
    // Every committed fuzz input (tests/fuzz), with the magic put right as the fuzz targets do.
    size_t volumes = 0, surfaces = 0;
    for (const char* dir : {"/fuzz/corpus/volume", "/fuzz/regressions/volume"}) {
        for (const std::string& path : FilesIn(kTestDir + dir)) {
            SCOPED_TRACE(path);
            std::string bytes = ReadAll(path);
            if (bytes.size() >= 4) bytes.replace(0, 4, "SKAV");
            TetrahedralVolume vol;
            Loaded r = LoadVolume(vol, bytes);
            EXPECT_LE(r.allocated, AllocationBound(bytes.size()));
            if (!r.err.empty()) ExpectEmpty(vol);
            Exercise(vol);
            ++volumes;
        }
    }
    for (const char* dir : {"/fuzz/corpus/surface", "/fuzz/regressions/surface"}) {
        for (const std::string& path : FilesIn(kTestDir + dir)) {
            SCOPED_TRACE(path);
            std::string bytes = ReadAll(path);
            if (bytes.size() >= 4) bytes.replace(0, 4, "SKAV");
            DisplayListObject obj;
            Loaded r = LoadSurface(obj, bytes);
            EXPECT_LE(r.allocated, AllocationBound(bytes.size()));
            if (!r.err.empty()) {
                EXPECT_EQ(obj.GetNumTris(), 0u);
            }
            ++surfaces;
        }
    }
    EXPECT_GT(volumes, 20u);
    EXPECT_GT(surfaces, 15u);
}
