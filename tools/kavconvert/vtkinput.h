// Reading the user's data through VTK's readers.
#pragma once

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>

#include <string>
#include <vector>

namespace kav {

// A named boundary patch of the input: the faces of the volume that lie on it.
struct Patch {
    std::string name;
    vtkSmartPointer<vtkPolyData> faces;
};

// What an input file holds: the pieces of the volume, in file order, and its named
// boundary patches (only multiblock files carry them).
struct InputData {
    std::vector<vtkSmartPointer<vtkUnstructuredGrid>> pieces;
    std::vector<Patch> patches;
};

// Reads a legacy .vtk dataset (any kind; others than unstructured grids are turned into
// one), a .vtu or .pvtu file, or a .vtm/.vtmb multiblock file, whose polygon leaves are the
// patches and whose other leaves the volume. Throws ConvertError with VTK's reason when it
// cannot, and when a multiblock file holds no volume.
InputData ReadInput(const std::string& path);

}  // namespace kav
