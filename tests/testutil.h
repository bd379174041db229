// Builders for small data files and other helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "volume/types.h"

Vertex MakeVertex(double x, double y, double z, double density = 0, double energy = 0,
                  double mx = 0, double my = 0, double mz = 0);

// The bytes of a volume file, built record by record.
struct VolumeBytes {
    struct BlockRec {
        double box[6];  // min x, max x, min y, max y, min z, max z
        std::vector<uint32_t> indices;
    };
    Vertex minimum{}, maximum{};
    std::vector<Vertex> vertices;
    std::vector<BlockRec> blocks;
    std::string Bytes() const;
};

// The bytes of a surface file.
struct SurfaceBytes {
    struct Tri {
        uint32_t idx[3];
        double normal[3];
    };
    Vertex minimum{}, maximum{};
    std::vector<Vertex> vertices;
    std::vector<Tri> tris;
    std::string Bytes() const;
};

// Calls `load` with a stream over `bytes`, dropping what it prints on stdout.
template <typename Load>
void LoadQuietly(const std::string& bytes, Load load) {
    FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    testing::internal::CaptureStdout();
    load(file);
    testing::internal::GetCapturedStdout();
    fclose(file);
}

// A fresh empty directory under the system's temporary directory.
std::string MakeTempDir();
void WriteFile(const std::string& path, const std::string& bytes);
void Append(std::string& out, const void* data, size_t size);
template <typename T>
void AppendValue(std::string& out, const T& value) {
    Append(out, &value, sizeof value);
}
