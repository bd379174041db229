// Test grids built with VTK, and helpers to run kavconvert and read what it wrote.
#pragma once

#include <vtkPolyData.h>
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

// A 3 x 3 x 2 arrangement of unit slots, every one filled with cells of one kind so that
// neighbours share whole faces: hexahedra (on jittered inner points, so with warped faces;
// two of them listed mirrored), a voxel, a column of wedge pairs, slots of six pyramids
// around a centre point (one of them with its top pyramid as two tetrahedra), polyhedra
// with quadrilateral faces, and two polyhedra with a point on the middle of an edge they
// share (so pentagonal faces with three corners in a straight line). The box spans
// 0..3 x 0..3 x 0..2.
vtkSmartPointer<vtkUnstructuredGrid> MixedGrid(double jitter);

// The boundary faces of a grid's 3D cells (by VTK's faces of them) on each side of its box,
// as polygon data named xmin, xmax, ymin, ymax, zmin and zmax; they share the grid's points.
struct NamedPatch {
    std::string name;
    vtkSmartPointer<vtkPolyData> faces;
};
std::vector<NamedPatch> SidePatches(vtkUnstructuredGrid* grid);

// Writes a multiblock file of the volume pieces and the named patches.
void WriteMultiBlock(const std::vector<vtkSmartPointer<vtkUnstructuredGrid>>& pieces,
                     const std::vector<NamedPatch>& patches, const std::string& path);

// Cells [first, last) of a grid as a grid of their own with only the points they use;
// `ghosts` cells before `first` are added, marked as ghosts.
vtkSmartPointer<vtkUnstructuredGrid> Piece(vtkUnstructuredGrid* grid, vtkIdType first,
                                           vtkIdType last, vtkIdType ghosts);

// Expects two conversions to hold the same tetrahedra (by their corners), the same values at
// every vertex position, and the same surface triangles wound the same way.
void ExpectSameConversion(const std::string& want, const std::string& got);
