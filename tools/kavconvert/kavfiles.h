// Writing and reading the viewer's files: volume.kav and surface-1.kav .. surface-4.kav.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/kavconvert/mesh.h"

namespace kav {

// Output files written under temporary names (NAME.part) and given their own names only by
// Commit, so that a conversion that fails leaves no file that looks complete. Temporary
// files not committed are removed when the set is destroyed.
class OutputSet {
public:
    OutputSet() = default;
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Registers the file `path` and returns the temporary name to write it under.
    std::string Add(const std::string& path);
    // Renames every temporary file to its own name.
    void Commit();

private:
    std::vector<std::string> paths;
};

// The header holds the true field-wise extremes of the vertices written.
void WriteVolume(const std::string& path, const TetMesh& mesh,
                 const std::vector<BlockSpan>& blocks);
// The header holds the surface's own box in its `point` members and the volume's field
// ranges (`volumeLo` .. `volumeHi`) in the others, so that one colour means one value on
// every surface.
void WriteSurface(const std::string& path, const Surface& surface, const Vertex& volumeLo,
                  const Vertex& volumeHi);

// A volume file as stored: header, vertices, and the blocks in file order with their boxes.
struct KavVolume {
    Vertex minimum, maximum;
    TetMesh mesh;  // the tetrahedra of all blocks, block after block
    std::vector<BlockSpan> blocks;
};

// The viewer's own readers (every count and index checked against the file), throwing
// ConvertError for a file they refuse.
KavVolume ReadVolume(const std::string& path);
Surface ReadSurface(const std::string& path, Vertex* minimum = nullptr, Vertex* maximum = nullptr);

}  // namespace kav
