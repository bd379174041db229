#include "tools/kavconvert/kavfiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/kavconvert/progress.h"

// The files are little-endian and their records are written and read as they lie in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "kavconvert needs a little-endian host");
static_assert(sizeof(kav::Tet) == 16 && sizeof(kav::Face3) == 12 && sizeof(kav::Normal) == 24,
              "records must match the file layout");

namespace kav {

namespace {

const char kMagic[4] = {'S', 'K', 'A', 'V'};

std::string Reason() {
    return errno ? std::strerror(errno) : "input/output error";
}

// Buffered binary output; failures throw with the file's name.
class Writer {
public:
    explicit Writer(const std::string& p) : path(p) {
        file = std::fopen(path.c_str(), "wb");
        if (!file) throw ConvertError("cannot write " + path + ": " + Reason());
        buffer.reserve(kBuffer);
    }
    ~Writer() {
        if (file) std::fclose(file);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void Put(const void* data, size_t n) {
        if (buffer.size() + n > kBuffer) Flush();
        const char* c = static_cast<const char*>(data);
        buffer.insert(buffer.end(), c, c + n);
    }
    template <typename T>
    void Put(const T& value) {
        Put(&value, sizeof value);
    }
    void Close() {
        Flush();
        FILE* f = file;
        file = nullptr;
        if (std::fclose(f) != 0) throw ConvertError("cannot write " + path + ": " + Reason());
    }

private:
    static const size_t kBuffer = 1 << 22;
    void Flush() {
        if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size())
            throw ConvertError("cannot write " + path + ": " + Reason());
        buffer.clear();
    }

    std::string path;
    FILE* file = nullptr;
    std::vector<char> buffer;
};

void PutHeader(Writer& out, const std::vector<Vertex>& vertices) {
    Vertex lo, hi;
    Extremes(vertices, &lo, &hi);
    out.Put(kMagic, sizeof kMagic);
    out.Put(lo);
    out.Put(hi);
}

// Binary input that knows the file's size, so that no count can ask for more than is there.
class Reader {
public:
    explicit Reader(const std::string& p) : path(p) {
        file = std::fopen(path.c_str(), "rb");
        if (!file) throw ConvertError("cannot read " + path + ": " + Reason());
        std::error_code ec;
        size = std::filesystem::file_size(path, ec);
        if (ec) throw ConvertError("cannot read " + path + ": " + ec.message());
    }
    ~Reader() { std::fclose(file); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    void Get(void* data, uint64_t n, const char* what) {
        if (n > Left()) Fail(std::string("the file ends inside ") + what);
        if (n > 0 && std::fread(data, 1, n, file) != n) Fail(std::string("cannot read ") + what);
        offset += n;
    }
    template <typename T>
    void Get(T* value, const char* what) {
        Get(value, sizeof *value, what);
    }
    // Refuses `count` records of `bytes` each when the rest of the file cannot hold them.
    void Expect(uint64_t count, uint64_t bytes, const char* what) {
        if (count > Left() / bytes) Fail(std::string("the file is too short for its ") + what);
    }
    void Magic() {
        char magic[4];
        Get(magic, sizeof magic, "the magic number");
        if (std::memcmp(magic, kMagic, sizeof magic) != 0)
            Fail("it does not start with SKAV, so it is no file of the viewer");
    }
    uint64_t Left() const { return size - offset; }
    [[noreturn]] void Fail(const std::string& problem) const {
        throw ConvertError(path + ": " + problem);
    }

private:
    std::string path;
    FILE* file;
    uint64_t size = 0, offset = 0;
};

void GetTets(Reader& in, uint32_t count, uint32_t vertices, std::vector<Tet>* tets) {
    size_t first = tets->size();
    tets->resize(first + count);
    in.Get(tets->data() + first, uint64_t(count) * sizeof(Tet), "a block record");
    for (size_t i = first; i < tets->size(); ++i) {
        for (uint32_t v : (*tets)[i].v) {
            if (v >= vertices) in.Fail("a tetrahedron refers to a vertex beyond the vertex array");
        }
    }
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

std::string SurfaceFileName(int role) {
    return "surface-" + std::to_string(role + 1) + ".kav";
}

void WriteVolume(const std::string& path, const TetMesh& mesh,
                 const std::vector<BlockSpan>& blocks) {
    Writer out(path);
    PutHeader(out, mesh.vertices);
    out.Put(static_cast<uint32_t>(mesh.vertices.size()));
    out.Put(mesh.vertices.data(), mesh.vertices.size() * sizeof(Vertex));
    Progress progress("Writing the volume", mesh.tets.size());
    for (const BlockSpan& b : blocks) {
        progress.Update(b.first);
        for (int a = 0; a < 3; ++a) {
            out.Put(b.min[a]);
            out.Put(b.max[a]);
        }
        out.Put(b.count);
        out.Put(mesh.tets.data() + b.first, size_t(b.count) * sizeof(Tet));
    }
    progress.Finish();
    out.Close();
}

void WriteSurface(const std::string& path, const Surface& s, const Vertex& volumeLo,
                  const Vertex& volumeHi) {
    Writer out(path);
    Vertex lo = volumeLo, hi = volumeHi, ownLo, ownHi;
    Extremes(s.vertices, &ownLo, &ownHi);
    for (int a = 0; a < 3; ++a) lo.point[a] = ownLo.point[a], hi.point[a] = ownHi.point[a];
    out.Put(kMagic, sizeof kMagic);
    out.Put(lo);
    out.Put(hi);
    out.Put(static_cast<uint32_t>(s.vertices.size()));
    out.Put(static_cast<uint32_t>(s.faces.size()));
    out.Put(s.vertices.data(), s.vertices.size() * sizeof(Vertex));
    for (size_t i = 0; i < s.faces.size(); ++i) {
        out.Put(s.faces[i]);
        out.Put(s.normals[i]);
    }
    out.Close();
}

KavVolume ReadVolume(const std::string& path) {
    Reader in(path);
    KavVolume v;
    in.Magic();
    in.Get(&v.minimum, "the header");
    in.Get(&v.maximum, "the header");
    uint32_t count;
    in.Get(&count, "the header");
    in.Expect(count, sizeof(Vertex), "vertices");
    v.mesh.vertices.resize(count);
    in.Get(v.mesh.vertices.data(), uint64_t(count) * sizeof(Vertex), "the vertex array");
    while (in.Left() > 0) {
        double box[6];
        BlockSpan b;
        in.Get(box, sizeof box, "a block record");
        in.Get(&b.count, "a block record");
        in.Expect(b.count, sizeof(Tet), "tetrahedra");
        for (int a = 0; a < 3; ++a) b.min[a] = box[2 * a], b.max[a] = box[2 * a + 1];
        b.first = v.mesh.tets.size();
        GetTets(in, b.count, count, &v.mesh.tets);
        v.blocks.push_back(b);
    }
    return v;
}

Surface ReadSurface(const std::string& path, Vertex* minimum, Vertex* maximum) {
    Reader in(path);
    Surface s;
    Vertex lo, hi;
    uint32_t points, tris;
    in.Magic();
    in.Get(&lo, "the header");
    in.Get(&hi, "the header");
    in.Get(&points, "the header");
    in.Get(&tris, "the header");
    in.Expect(points, sizeof(Vertex), "vertices");
    s.vertices.resize(points);
    in.Get(s.vertices.data(), uint64_t(points) * sizeof(Vertex), "the vertex array");
    in.Expect(tris, sizeof(Face3) + sizeof(Normal), "triangles");
    s.faces.resize(tris);
    s.normals.resize(tris);
    for (uint32_t i = 0; i < tris; ++i) {
        in.Get(&s.faces[i], "a triangle record");
        in.Get(&s.normals[i], "a triangle record");
        for (uint32_t v : s.faces[i]) {
            if (v >= points) in.Fail("a triangle refers to a vertex beyond the vertex array");
        }
    }
    if (minimum) *minimum = lo;
    if (maximum) *maximum = hi;
    return s;
}

}  // namespace kav
