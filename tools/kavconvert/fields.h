// Finding the flow variables among the grid's arrays.
#pragma once

#include <vtkDataArray.h>
#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>

#include <string>

#include "tools/kavconvert/cells.h"
#include "tools/kavconvert/options.h"

namespace kav {

// One flow variable per input point: an array of point values, or a constant.
struct FlowSource {
    vtkSmartPointer<vtkDataArray> array;  // null: `constant` everywhere
    double constant[3] = {0, 0, 0};
    std::string origin;  // for the transcript, e.g. "point array 'rho'"
};

struct FlowSources {
    FlowSource density, energy, momentum;
    bool momentumFromVelocity = false;  // `momentum` holds a velocity, to multiply by density
};

// Resolves density, energy and momentum as the options ask. Arrays are matched by name in
// any case, point arrays before cell arrays; cell arrays are averaged to the points by VTK
// over the 3D cells. Throws ConvertError naming the grid's arrays when one is missing.
FlowSources ResolveFields(vtkUnstructuredGrid* grid, const CellSelection& cells,
                          const Options& options);

}  // namespace kav
