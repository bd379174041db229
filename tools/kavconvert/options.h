// The command line of kavconvert.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kav {

// Where one flow variable comes from: an array named by the user, the default names, or a
// constant for every vertex.
struct FieldChoice {
    std::string name;  // empty: look for the default names
    bool isConstant = false;
    double constant[3] = {0, 0, 0};
};

struct Options {
    enum Mode { kToKav, kToVtu, kToVtp, kListPatches, kHelp };
    Mode mode = kToKav;
    std::string input;   // the VTK data, or the directory of .kav files
    std::string output;  // the directory for .kav files, or the VTK file; none to list patches
    FieldChoice density, energy, momentum;
    // The momentum option named a velocity array: momentum = density x velocity.
    bool momentumFromVelocity = false;
    int up = 1;  // the input's up axis (0 x, 1 y, 2 z); the viewer's files have it along y
    uint32_t blockSize = 8192;  // the most tetrahedra in one block
    // Shell patterns of the patch names whose faces make each surface, by SurfaceRole.
    std::vector<std::string> patterns[4];
};

// Parses the arguments after the program name; throws ConvertError on a mistake.
Options ParseOptions(const std::vector<std::string>& args);

const char* Usage();

}  // namespace kav
