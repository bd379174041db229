#include "tools/citygen/kavwriter.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace citygen {
namespace {

constexpr size_t kBufferSize = 1 << 22;

// Removes what was written of a file that failed; only a regular file, never a device.
void Discard(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
}

// Appends the little-endian bytes of plain numbers.
void Append(std::vector<uint8_t>& out, uint32_t v) {
    for (int b = 0; b < 4; ++b) out.push_back(uint8_t(v >> (8 * b)));
}

void Append(std::vector<uint8_t>& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int b = 0; b < 8; ++b) out.push_back(uint8_t(bits >> (8 * b)));
}

void Append(std::vector<uint8_t>& out, const Record& r) {
    for (double v : r) Append(out, v);
}

void AppendHeader(std::vector<uint8_t>& out, const Bounds& bounds) {
    out.insert(out.end(), {'S', 'K', 'A', 'V'});
    Append(out, bounds.minimum);
    Append(out, bounds.maximum);
}

}  // namespace

VolumeWriter::~VolumeWriter() {
    if (file) {
        std::fclose(file);
        Discard(path);
    }
}

bool VolumeWriter::Fail() {
    error = "cannot write " + path + ": " + std::strerror(errno ? errno : EIO);
    if (file) {
        std::fclose(file);
        file = nullptr;
        Discard(path);
    }
    return false;
}

bool VolumeWriter::Put(const void* data, size_t size) {
    if (buffer.size() + size > kBufferSize && !buffer.empty()) {
        if (std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size()) return Fail();
        buffer.clear();
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    buffer.insert(buffer.end(), bytes, bytes + size);
    return true;
}

bool VolumeWriter::Open(const std::string& name, const Bounds& bounds,
                        const std::vector<Record>& vertices) {
    path = name;
    errno = 0;
    file = std::fopen(path.c_str(), "wb");
    if (!file) return Fail();
    buffer.reserve(kBufferSize);
    std::vector<uint8_t> bytes;
    AppendHeader(bytes, bounds);
    Append(bytes, uint32_t(vertices.size()));
    if (!Put(bytes.data(), bytes.size())) return false;
    for (const Record& r : vertices) {
        bytes.clear();
        Append(bytes, r);
        if (!Put(bytes.data(), bytes.size())) return false;
    }
    return true;
}

bool VolumeWriter::AddBlock(const std::array<double, 6>& box,
                            const std::vector<std::array<uint32_t, 4>>& tetras) {
    std::vector<uint8_t> bytes;
    for (double v : box) Append(bytes, v);
    Append(bytes, uint32_t(tetras.size()));
    for (const auto& t : tetras) {
        for (uint32_t id : t) Append(bytes, id);
    }
    return Put(bytes.data(), bytes.size());
}

bool VolumeWriter::Close() {
    if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size()) {
        return Fail();
    }
    buffer.clear();
    FILE* f = file;
    file = nullptr;
    if (std::fclose(f) != 0) {
        Discard(path);
        error = "cannot write " + path + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

bool WriteSurface(const std::string& path, const Bounds& bounds,
                  const std::vector<Record>& vertices,
                  const std::vector<std::array<uint32_t, 3>>& triangles,
                  const std::vector<std::array<double, 3>>& normals, std::string* error) {
    std::vector<uint8_t> bytes;
    bytes.reserve(156 + 72 * vertices.size() + 36 * triangles.size());
    AppendHeader(bytes, bounds);
    Append(bytes, uint32_t(vertices.size()));
    Append(bytes, uint32_t(triangles.size()));
    for (const Record& r : vertices) Append(bytes, r);
    for (size_t t = 0; t < triangles.size(); ++t) {
        for (uint32_t id : triangles[t]) Append(bytes, id);
        for (double v : normals[t]) Append(bytes, v);
    }
    errno = 0;
    FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0) ok = false;
    if (!ok) {
        *error = "cannot write " + path + ": " + std::strerror(errno ? errno : EIO);
        if (file) Discard(path);
    }
    return ok;
}

}  // namespace citygen
