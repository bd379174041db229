// Reading the user's grid through VTK's readers.
#pragma once

#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>

#include <string>

namespace kav {

// Reads a legacy .vtk dataset (any kind; others than unstructured grids are turned into
// one), a .vtu or a .pvtu file. Throws ConvertError with VTK's reason when it cannot.
vtkSmartPointer<vtkUnstructuredGrid> ReadGrid(const std::string& path);

}  // namespace kav
