#include "volume/kavformat.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

std::string SurfaceFileName(int role) {
    return "surface-" + std::to_string(role + 1) + ".kav";
}

LoadResult CannotOpen() {
    const std::string reason = strerror(errno);
    return {LoadStatus::kCannotOpen, "ERROR:: " + reason, reason};
}

KavReader::KavReader(FILE* f, const char* n) : file(f), name(n), size(0), offset(0) {
    long start = ftell(file);
    if (start >= 0 && fseek(file, 0, SEEK_END) == 0) {
        long end = ftell(file);
        if (end >= start) size = static_cast<uint64_t>(end - start);
        fseek(file, start, SEEK_SET);
    }
}

bool KavReader::Read(void* dst, uint64_t bytes, const char* what) {
    if (bytes > Remaining()) {
        return Fail("the file ends inside %s (%llu bytes needed at offset %llu, %llu left)", what,
                    (unsigned long long)bytes, (unsigned long long)offset,
                    (unsigned long long)Remaining());
    }
    size_t got = fread(dst, 1, static_cast<size_t>(bytes), file);
    offset += got;
    if (got != bytes)
        return Fail("read error inside %s at offset %llu", what, (unsigned long long)offset);
    return true;
}

bool KavReader::Holds(uint64_t count, uint64_t recordSize) const {
    return recordSize == 0 || count <= Remaining() / recordSize;
}

bool KavReader::CheckMagic() {
    char magic[kMagicBytes];
    if (!Read(magic, sizeof magic, "the magic number")) return false;
    if (memcmp(magic, kKavMagic, kMagicBytes) == 0) return true;
    result = {LoadStatus::kWrongMagic, "File is not in valid SKAV format!",
              "it does not start with SKAV, so it is no file of the viewer"};
    return false;
}

bool KavReader::ReadBlockHeader(double* box, uint32_t* count) {
    return Read(box, 6 * sizeof(double), "a block record") &&
           Read(count, sizeof *count, "a block record");
}

bool KavReader::Fail(const char* format, ...) {
    char what[512];
    va_list args;
    va_start(args, format);
    vsnprintf(what, sizeof what, format, args);
    va_end(args);
    result = {LoadStatus::kRefused,
              std::string("ERROR: \"") + name + "\": " + what + "; nothing loaded from it.", what};
    return false;
}

void KavWriter::Put(const void* data, size_t bytes) {
    if (ok && bytes > 0) ok = fwrite(data, 1, bytes, file) == bytes;
}

void KavWriter::PutVolumeHeader(const Vertex& minimum, const Vertex& maximum, uint32_t numPoints) {
    Put(kKavMagic, kMagicBytes);
    Put(&minimum, kVertexBytes);
    Put(&maximum, kVertexBytes);
    Put(&numPoints, kCountBytes);
}

void KavWriter::PutSurfaceHeader(const Vertex& minimum, const Vertex& maximum, uint32_t numPoints,
                                 uint32_t numTris) {
    PutVolumeHeader(minimum, maximum, numPoints);
    Put(&numTris, kCountBytes);
}

void KavWriter::PutVertices(const Vertex* vertices, size_t count) {
    Put(vertices, count * kVertexBytes);
}

void KavWriter::PutBlockHeader(const double* min, const double* max, uint32_t numTetra) {
    const double box[6] = {min[0], max[0], min[1], max[1], min[2], max[2]};
    Put(box, sizeof box);
    Put(&numTetra, kCountBytes);
}

void KavWriter::PutTetra(const uint32_t* indices) {
    Put(indices, kTetraBytes);
}

void KavWriter::PutTriangle(const uint32_t* indices, const double* normal) {
    Put(indices, 3 * kCountBytes);
    Put(normal, 3 * sizeof(double));
}

namespace {

// Triangle records are read in chunks of this many.
const uint32_t kChunkTris = 4096;

bool ReadTriangles(KavReader& in, uint32_t numPoints, SurfaceData* s) {
    const uint32_t numTris = (uint32_t)s->faces.size();
    unsigned char chunk[kChunkTris * kTriangleBytes];
    for (uint32_t first = 0; first < numTris; first += kChunkTris) {
        uint32_t n = numTris - first < kChunkTris ? numTris - first : kChunkTris;
        if (!in.Read(chunk, n * kTriangleBytes, "the triangle array")) return false;
        for (uint32_t t = 0; t < n; ++t) {
            const unsigned char* rec = chunk + t * kTriangleBytes;
            std::array<uint32_t, 3>& f = s->faces[first + t];
            memcpy(f.data(), rec, 3 * kCountBytes);
            memcpy(s->normals[first + t].data(), rec + 3 * kCountBytes, 3 * sizeof(double));
            if (f[0] >= numPoints || f[1] >= numPoints || f[2] >= numPoints) {
                return in.Fail("triangle %lu refers to a vertex beyond the %lu points",
                               (unsigned long)(first + t), (unsigned long)numPoints);
            }
        }
    }
    return true;
}

}  // namespace

LoadResult ReadSurfaceStream(FILE* file, const char* name, SurfaceData* out, Console console) {
    KavReader in(file, name);
    SurfaceData s;
    uint32_t counts[2];
    if (!in.CheckMagic() || !in.Read(&s.minimum, kVertexBytes, "the header") ||
        !in.Read(&s.maximum, kVertexBytes, "the header") ||
        !in.Read(counts, sizeof counts, "the header")) {
        return in.Result();
    }
    console.Print("File contains %li points and %li triangles...\n", (long)counts[0],
                  (long)counts[1]);
    // Check both arrays against the file's size before either is allocated.
    uint64_t needed = counts[0] * kVertexBytes + counts[1] * kTriangleBytes;
    if (needed > in.Remaining()) {
        in.Fail("%u points and %u triangles need %llu bytes but only %llu follow the header",
                counts[0], counts[1], (unsigned long long)needed,
                (unsigned long long)in.Remaining());
        return in.Result();
    }
    s.points.resize(counts[0]);
    s.faces.resize(counts[1]);
    s.normals.resize(counts[1]);
    if (!in.Read(s.points.data(), counts[0] * kVertexBytes, "the vertex array") ||
        !ReadTriangles(in, counts[0], &s)) {
        return in.Result();
    }
    *out = std::move(s);
    return in.Result();
}
