#include "tools/kavconvert/kavfiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/kavconvert/progress.h"
#include "volume/kavformat.h"
#include "volume/tetravolume.h"

static_assert(sizeof(kav::Tet) == kTetraBytes, "a tetrahedron is four vertex indices");

namespace kav {

namespace {

std::string Reason() {
    return errno ? std::strerror(errno) : "input/output error";
}

// A file being written through the format module's writer, with a large buffer; failures
// throw with the file's name.
class OutputFile {
public:
    explicit OutputFile(const std::string& p) : path(p), file(std::fopen(p.c_str(), "wb")) {
        if (!file) throw ConvertError("cannot write " + path + ": " + Reason());
        std::setvbuf(file, nullptr, _IOFBF, 1 << 22);
    }
    ~OutputFile() {
        if (file) std::fclose(file);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    KavWriter& Writer() { return writer; }
    void Close() {
        FILE* f = file;
        file = nullptr;
        if (std::fclose(f) != 0 || !writer.Ok())
            throw ConvertError("cannot write " + path + ": " + Reason());
    }

private:
    std::string path;
    FILE* file;
    KavWriter writer{file};
};

// A load that failed, as the converter reports it: the file's name and the problem.
[[noreturn]] void Refuse(const std::string& path, const LoadResult& result) {
    throw ConvertError(result.status == LoadStatus::kCannotOpen
                           ? "cannot read " + path + ": " + result.problem
                           : path + ": " + result.problem);
}

}  // namespace

OutputSet::~OutputSet() {
    for (const std::string& p : paths) std::remove((p + ".part").c_str());
}

std::string OutputSet::Add(const std::string& path) {
    paths.push_back(path);
    return path + ".part";
}

void OutputSet::Commit() {
    for (const std::string& p : paths) {
        if (std::rename((p + ".part").c_str(), p.c_str()) != 0)
            throw ConvertError("cannot rename " + p + ".part to " + p + ": " + Reason());
    }
    paths.clear();
}

void WriteVolume(const std::string& path, const TetMesh& mesh,
                 const std::vector<BlockSpan>& blocks) {
    OutputFile file(path);
    KavWriter& out = file.Writer();
    Vertex lo, hi;
    Extremes(mesh.vertices, &lo, &hi);
    out.PutVolumeHeader(lo, hi, static_cast<uint32_t>(mesh.vertices.size()));
    out.PutVertices(mesh.vertices.data(), mesh.vertices.size());
    Progress progress("Writing the volume", mesh.tets.size());
    for (const BlockSpan& b : blocks) {
        progress.Update(b.first);
        out.PutBlockHeader(b.min, b.max, b.count);
        for (size_t i = b.first; i < b.first + b.count; ++i) out.PutTetra(mesh.tets[i].v);
    }
    progress.Finish();
    file.Close();
}

void WriteSurface(const std::string& path, const Surface& s, const Vertex& volumeLo,
                  const Vertex& volumeHi) {
    OutputFile file(path);
    KavWriter& out = file.Writer();
    Vertex lo = volumeLo, hi = volumeHi, ownLo, ownHi;
    Extremes(s.vertices, &ownLo, &ownHi);
    for (int a = 0; a < 3; ++a) lo.point[a] = ownLo.point[a], hi.point[a] = ownHi.point[a];
    out.PutSurfaceHeader(lo, hi, static_cast<uint32_t>(s.vertices.size()),
                         static_cast<uint32_t>(s.faces.size()));
    out.PutVertices(s.vertices.data(), s.vertices.size());
    for (size_t i = 0; i < s.faces.size(); ++i)
        out.PutTriangle(s.faces[i].data(), s.normals[i].data());
    file.Close();
}

KavVolume ReadVolume(const std::string& path) {
    // The viewer's own reader, with its console lines kept off the converter's output.
    std::string quiet;
    auto volume = std::make_unique<TetrahedralVolume>();
    LoadResult loaded = volume->ReadFile(path.c_str(), Console(&quiet));
    if (!loaded.Loaded()) Refuse(path, loaded);
    KavVolume v;
    const Vertex* points = volume->GetPoints();
    v.mesh.vertices.assign(points, points + volume->GetNumPoints());
    // The header's records as stored.
    v.minimum = volume->GetMinimum();
    v.maximum = volume->GetMaximum();
    // The viewer lists the blocks in the reverse of their order in the file.
    const std::vector<Block>& blocks = volume->GetBlocks();
    for (auto b = blocks.rbegin(); b != blocks.rend(); ++b) {
        BlockSpan span;
        span.first = v.mesh.tets.size();
        span.count = b->num_Tetra;
        for (int a = 0; a < 3; ++a) span.min[a] = b->min[a], span.max[a] = b->max[a];
        for (uint32_t i = 0; i < b->num_Tetra; ++i) {
            Tet t;
            for (int k = 0; k < 4; ++k) t.v[k] = (uint32_t)(b->tetra[i].v[k] - points);
            v.mesh.tets.push_back(t);
        }
        v.blocks.push_back(span);
    }
    return v;
}

Surface ReadSurface(const std::string& path, Vertex* minimum, Vertex* maximum) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) Refuse(path, CannotOpen());
    SurfaceData data;
    std::string quiet;
    LoadResult loaded = ReadSurfaceStream(file, path.c_str(), &data, Console(&quiet));
    std::fclose(file);
    if (!loaded.Loaded()) Refuse(path, loaded);
    Surface s;
    s.vertices = std::move(data.points);
    s.faces = std::move(data.faces);
    s.normals = std::move(data.normals);
    if (minimum) *minimum = data.minimum;
    if (maximum) *maximum = data.maximum;
    return s;
}

}  // namespace kav
