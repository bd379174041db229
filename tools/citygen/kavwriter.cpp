#include "tools/citygen/kavwriter.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "volume/kavformat.h"

namespace citygen {
namespace {

static_assert(sizeof(Record) == sizeof(Vertex), "a record is a vertex record");

constexpr size_t kBufferSize = 1 << 22;

// Removes what was written of a file that failed; only a regular file, never a device.
void Discard(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
}

Vertex ToVertex(const Record& r) {
    Vertex v;
    std::memcpy(&v, r.data(), sizeof v);
    return v;
}

std::string WriteError(const std::string& path) {
    return "cannot write " + path + ": " + std::strerror(errno ? errno : EIO);
}

// Opens `path` for writing with a large buffer; null with `error` set when it cannot.
FILE* OpenForWriting(const std::string& path, std::string* error) {
    errno = 0;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = WriteError(path);
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IOFBF, kBufferSize);
    return file;
}

// Closes a file that `writer` wrote; false, the file removed and `error` set, when any write
// or the close failed.
bool Finish(FILE* file, const KavWriter& writer, const std::string& path, std::string* error) {
    bool ok = writer.Ok();
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        *error = WriteError(path);
        Discard(path);
    }
    return ok;
}

}  // namespace

VolumeWriter::~VolumeWriter() {
    if (file) {
        std::fclose(file);
        Discard(path);
    }
}

bool VolumeWriter::Open(const std::string& name, const Bounds& bounds,
                        const std::vector<Record>& vertices) {
    path = name;
    file = OpenForWriting(path, &error);
    if (!file) return false;
    writer = std::make_unique<KavWriter>(file);
    writer->PutVolumeHeader(ToVertex(bounds.minimum), ToVertex(bounds.maximum),
                            uint32_t(vertices.size()));
    for (const Record& r : vertices) {
        const Vertex v = ToVertex(r);
        writer->PutVertices(&v, 1);
    }
    return writer->Ok() || Close();
}

bool VolumeWriter::AddBlock(const std::array<double, 6>& box,
                            const std::vector<std::array<uint32_t, 4>>& tetras) {
    const double min[3] = {box[0], box[2], box[4]}, max[3] = {box[1], box[3], box[5]};
    writer->PutBlockHeader(min, max, uint32_t(tetras.size()));
    for (const auto& t : tetras) writer->PutTetra(t.data());
    return writer->Ok() || Close();
}

bool VolumeWriter::Close() {
    FILE* f = file;
    file = nullptr;
    return Finish(f, *writer, path, &error);
}

bool WriteSurface(const std::string& path, const Bounds& bounds,
                  const std::vector<Record>& vertices,
                  const std::vector<std::array<uint32_t, 3>>& triangles,
                  const std::vector<std::array<double, 3>>& normals, std::string* error) {
    FILE* file = OpenForWriting(path, error);
    if (!file) return false;
    KavWriter out(file);
    out.PutSurfaceHeader(ToVertex(bounds.minimum), ToVertex(bounds.maximum),
                         uint32_t(vertices.size()), uint32_t(triangles.size()));
    for (const Record& r : vertices) {
        const Vertex v = ToVertex(r);
        out.PutVertices(&v, 1);
    }
    for (size_t t = 0; t < triangles.size(); ++t)
        out.PutTriangle(triangles[t].data(), normals[t].data());
    return Finish(file, out, path, error);
}

}  // namespace citygen
