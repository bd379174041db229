// Test grids built with VTK, and helpers to run kavconvert and read what it wrote.
#pragma once

#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "tools/kavconvert/kavfiles.h"

// A hexahedral grid of nx * ny * nz cells over unevenly spaced planes: plane i of axis a
// lies at Plane(a, i). Point numbers run x fastest.
vtkSmartPointer<vtkUnstructuredGrid> HexGrid(int nx, int ny, int nz);
double Plane(int axis, int i);

// Adds a point or cell array whose tuple at a point (or cell centre) p is f(p).
using FieldFn = std::function<std::array<double, 3>(const double* p)>;
void AddPointArray(vtkUnstructuredGrid* grid, const char* name, int components, FieldFn f);
void AddCellArray(vtkUnstructuredGrid* grid, const char* name, int components, FieldFn f);

void WriteVtu(vtkUnstructuredGrid* grid, const std::string& path);
void WriteLegacy(vtkUnstructuredGrid* grid, const std::string& path);
vtkSmartPointer<vtkUnstructuredGrid> ReadVtu(const std::string& path);

// Runs a shell command; returns its exit status and leaves stdout and stderr in `output`.
int RunCommand(const std::string& command, std::string* output);
// Runs kavconvert with the given arguments.
int Kavconvert(const std::string& args, std::string* output);

// The four surface files of a directory, in file order.
std::array<kav::Surface, 4> ReadSurfaces(const std::string& dir);

// Files of a directory, by name, sorted.
std::vector<std::string> ListDir(const std::string& dir);
